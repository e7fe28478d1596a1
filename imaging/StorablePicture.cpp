#include "imaging/StorablePicture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

namespace {

bool StartsWith(const std::uint8_t* data, std::size_t size, const char* text, std::size_t at = 0) {
    const std::size_t n = std::strlen(text);
    return size >= at + n && std::memcmp(data + at, text, n) == 0;
}

std::string SizeText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "\u00D7" + std::to_string(height);
}

// A picture decoded and composited: top-down rows of red, green, blue.
struct RgbPicture {
    std::int64_t width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

std::string SizeProblem(const char* format, std::int64_t width, std::int64_t height) {
    if (width < 1 || width > kMaxStorableWidth || height < 1 || height > kMaxStorableHeight) {
        return std::string(format) + " width must be 1 to " + std::to_string(kMaxStorableWidth) +
               " and height 1 to " + std::to_string(kMaxStorableHeight) + " (it is " +
               SizeText(width, height) + ")";
    }
    if (std::uint64_t((3 * width + 3) & ~3) * std::uint64_t(height) > kMaxStorableBytes) {
        return std::string(format) + " is too large (" + SizeText(width, height) + ")";
    }
    return "";
}

// Alpha compositing, rounded once at the end: exact at 8 bits per channel.
inline std::uint8_t Over8(unsigned c, unsigned a, unsigned background) {
    return std::uint8_t((c * a + background * (255 - a) + 127) / 255);
}
inline std::uint8_t Over16(std::uint64_t c, std::uint64_t a, unsigned background) {
    constexpr std::uint64_t kScale = 65535ull * 257;
    const std::uint64_t value = c * a + std::uint64_t(background) * 257 * (65535 - a);
    return std::uint8_t((value + kScale / 2) / kScale);
}

// ---- PNG, through libpng ----

struct PngSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    char message[200];
};

void PngRead(png_structp png, png_bytep out, std::size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "the file ends early");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

void PngError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof(source->message), "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct PngHeader {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    bool alpha = false;
    std::size_t rowBytes = 0;
};

// libpng reports failures by longjmp to these two functions, which hold no object with a
// destructor. Rows come out as red, green, blue, alpha at 8 or 16 bits, whatever was stored.
bool ReadPngHeader(png_structp png, png_infop info, PngHeader& header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_get_IHDR(png, info, &header.width, &header.height, &header.bitDepth, &header.colourType,
                 &header.interlace, nullptr, nullptr);
    header.alpha = (header.colourType & PNG_COLOR_MASK_ALPHA) != 0 ||
                   png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    if (!header.alpha) png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header.rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadPngRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    // The chunks after the picture are not read: the picture is complete without them.
    png_read_image(png, rows);
    return true;
}

bool ReadPngRow(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_row(png, row, nullptr);
    return true;
}

// One row of red, green, blue, alpha samples (8 or 16 bits, big-endian) over the background.
void CompositeRow(const std::uint8_t* in, std::size_t width, int sample, const std::uint8_t* bg,
                  std::uint8_t* out) {
    for (std::size_t i = 0; i < width; ++i, out += 3) {
        if (sample == 1) {
            for (int c = 0; c < 3; ++c) out[c] = Over8(in[c], in[3], bg[c]);
            in += 4;
        } else {
            const unsigned a = (in[6] << 8) | in[7];
            for (int c = 0; c < 3; ++c) out[c] = Over16((in[2 * c] << 8) | in[2 * c + 1], a, bg[c]);
            in += 8;
        }
    }
}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

std::string DecodePng(const std::uint8_t* data, std::size_t size, RgbColour background,
                      RgbPicture& picture, std::string& source) {
    PngSource input{data, size, 0, "out of memory"};
    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, PngError, PngWarning);
    if (!reader.png) return "PNG cannot be read: out of memory";
    reader.info = png_create_info_struct(reader.png);
    if (!reader.info) return "PNG cannot be read: out of memory";
    png_set_read_fn(reader.png, &input, PngRead);
    PngHeader header;
    if (!ReadPngHeader(reader.png, reader.info, header))
        return std::string("PNG does not decode: ") + input.message;
    const std::string problem = SizeProblem("PNG", header.width, header.height);
    if (!problem.empty()) return problem;
    const int sample = header.bitDepth == 16 ? 2 : 1;
    if (header.rowBytes != std::size_t(header.width) * 4 * sample)
        return "PNG does not decode: unexpected row layout";

    // Rows are read and composited one at a time, and the picture grows as they come, so a
    // short file that claims a large picture fails before much is set aside for it. An
    // interlaced picture is complete only after its last pass, so it is read whole.
    const std::uint8_t bg[3] = {background.red, background.green, background.blue};
    const std::size_t width = header.width, outRow = width * 3;
    picture.width = header.width;
    picture.height = header.height;
    if (header.interlace == PNG_INTERLACE_NONE) {
        std::vector<std::uint8_t> row(header.rowBytes);
        for (png_uint_32 y = 0; y < header.height; ++y) {
            if (!ReadPngRow(reader.png, row.data()))
                return std::string("PNG does not decode: ") + input.message;
            picture.pixels.resize(picture.pixels.size() + outRow);
            CompositeRow(row.data(), width, sample, bg, picture.pixels.data() + y * outRow);
        }
    } else {
        std::vector<std::uint8_t> rgba(header.rowBytes * header.height);
        std::vector<png_bytep> rows(header.height);
        for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = rgba.data() + y * header.rowBytes;
        if (!ReadPngRows(reader.png, rows.data()))
            return std::string("PNG does not decode: ") + input.message;
        picture.pixels.resize(outRow * header.height);
        for (png_uint_32 y = 0; y < header.height; ++y)
            CompositeRow(rows[y], width, sample, bg, picture.pixels.data() + y * outRow);
    }
    source = "PNG " + SizeText(header.width, header.height);
    if (header.bitDepth == 16) source += ", 16 bits per channel";
    if (header.interlace != PNG_INTERLACE_NONE) source += ", interlaced";
    if (header.alpha) source += " with alpha";
    return "";
}

// ---- BMP kinds the saver does not read ----

std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

// One channel of a bit-field pixel: its mask, and the scale from its width to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;
    explicit Channel(std::uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        max = m >> shift;
    }
    // A channel without a mask reads as `absent`. Narrow channels are widened by repeating
    // their bits (5-bit 11100 is 11100111), as GDI, ImageMagick and most readers do: exact at
    // 1, 2 and 4 bits, within one of the nearest value at 5 to 7. Wider ones are rounded.
    std::uint8_t Value(std::uint32_t pixel, std::uint8_t absent) const {
        if (!mask) return absent;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (max >= 255) return std::uint8_t((std::uint64_t(v) * 255 + max / 2) / max);
        int bits = 0;
        while ((max >> bits) != 0) ++bits;
        unsigned out = 0;
        for (int at = 8 - bits; at > -bits; at -= bits) out |= at >= 0 ? v << at : v >> -at;
        return std::uint8_t(out);
    }
};

constexpr std::uint32_t kBiRgb = 0, kBiBitfields = 3, kBiAlphaBitfields = 6;

struct BmpLayout {
    std::int64_t width = 0, height = 0;
    bool topDown = false;
    unsigned bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t masks[4] = {};  // red, green, blue, alpha
    std::size_t palette = 0, paletteEntries = 0;  // offset and count of the colour table
    std::size_t pixels = 0;
    std::uint64_t stride = 0;
};

std::string ParseBmp(const std::uint8_t* data, std::size_t size, BmpLayout& bmp) {
    if (size < 54) return "BMP file is too short for its headers";
    const std::uint32_t headerSize = Le32(data + 14);
    if (headerSize < 40 || 14 + std::uint64_t(headerSize) > size)
        return "BMP info header is shorter than 40 bytes or runs past the file";
    const std::int32_t height = std::int32_t(Le32(data + 22));
    bmp.width = std::int32_t(Le32(data + 18));
    bmp.topDown = height < 0;
    bmp.height = bmp.topDown ? -std::int64_t(height) : height;
    bmp.bits = Le16(data + 28);
    bmp.compression = Le32(data + 30);
    std::size_t tableAt = 14 + headerSize;
    const bool fields = bmp.compression == kBiBitfields || bmp.compression == kBiAlphaBitfields;
    if (fields) {
        if (bmp.bits != 16 && bmp.bits != 32) return "BMP bit fields need 16 or 32 bits per pixel";
        // A 40-byte header is followed by the masks; longer ones hold them.
        const unsigned count = bmp.compression == kBiAlphaBitfields || headerSize >= 56 ? 4 : 3;
        if (54 + 4 * count > size) return "BMP file ends inside its bit fields";
        for (unsigned i = 0; i < count; ++i) bmp.masks[i] = Le32(data + 54 + 4 * i);
        if (headerSize == 40) tableAt += 4 * count;
    } else if (bmp.compression != kBiRgb) {
        return bmp.topDown ? "BMP with top-down rows cannot be compressed"
                           : "BMP of 16 or 32 bits must be uncompressed or use bit fields";
    } else if (bmp.bits == 16) {
        bmp.masks[0] = 0x7C00, bmp.masks[1] = 0x03E0, bmp.masks[2] = 0x001F;
    } else if (bmp.bits == 32) {
        bmp.masks[0] = 0xFF0000, bmp.masks[1] = 0xFF00, bmp.masks[2] = 0xFF;
    } else if (bmp.bits != 1 && bmp.bits != 4 && bmp.bits != 8 && bmp.bits != 24) {
        return "BMP must have 1, 4, 8, 16, 24 or 32 bits per pixel";
    }
    for (std::uint32_t m : bmp.masks) {
        // Contiguous masks only: a mask with holes describes no channel.
        if (m && ((m >> Channel(m).shift) & ((m >> Channel(m).shift) + 1)) != 0)
            return "BMP bit fields must be runs of bits";
    }
    const std::string problem = SizeProblem("BMP", bmp.width, bmp.height);
    if (!problem.empty()) return problem;
    if (bmp.bits <= 8) {
        const std::uint32_t used = Le32(data + 46);
        bmp.paletteEntries = used ? used : 1u << bmp.bits;
        if (bmp.paletteEntries > 256) return "BMP has more than 256 colours in its table";
        if (tableAt + 4 * bmp.paletteEntries > size) return "BMP file ends inside its colour table";
    }
    bmp.palette = tableAt;
    const std::size_t tableEnd = tableAt + 4 * bmp.paletteEntries;
    const std::uint32_t offset = Le32(data + 10);
    bmp.pixels = offset >= tableEnd && offset < size ? offset : tableEnd;
    bmp.stride = (std::uint64_t(bmp.width) * bmp.bits + 31) / 32 * 4;
    if (bmp.pixels + bmp.stride * std::uint64_t(bmp.height) > size)
        return "BMP file ends before its pixel data does";
    return "";
}

std::string DecodeBmp(const std::uint8_t* data, std::size_t size, RgbColour background,
                      RgbPicture& picture, std::string& source) {
    BmpLayout bmp;
    const std::string problem = ParseBmp(data, size, bmp);
    if (!problem.empty()) return problem;
    const Channel red(bmp.masks[0]), green(bmp.masks[1]), blue(bmp.masks[2]), alpha(bmp.masks[3]);
    picture.width = bmp.width;
    picture.height = bmp.height;
    picture.pixels.resize(std::size_t(bmp.width * bmp.height * 3));
    std::uint8_t* out = picture.pixels.data();
    for (std::int64_t y = 0; y < bmp.height; ++y) {
        const std::int64_t stored = bmp.topDown ? y : bmp.height - 1 - y;
        const std::uint8_t* row = data + bmp.pixels + std::size_t(stored) * bmp.stride;
        for (std::int64_t x = 0; x < bmp.width; ++x, out += 3) {
            if (bmp.bits <= 8) {
                const unsigned perByte = 8 / bmp.bits;
                const unsigned shift = 8 - bmp.bits * (1 + unsigned(x) % perByte);
                const unsigned index = (row[x / perByte] >> shift) & ((1u << bmp.bits) - 1);
                // An index past the table shows its first colour.
                const std::uint8_t* entry =
                    data + bmp.palette + 4 * (index < bmp.paletteEntries ? index : 0);
                out[0] = entry[2], out[1] = entry[1], out[2] = entry[0];
            } else if (bmp.bits == 24) {
                const std::uint8_t* p = row + 3 * x;
                out[0] = p[2], out[1] = p[1], out[2] = p[0];
            } else {
                const std::uint32_t pixel =
                    bmp.bits == 16 ? Le16(row + 2 * x) : Le32(row + 4 * x);
                const unsigned a = alpha.Value(pixel, 255);
                out[0] = Over8(red.Value(pixel, 0), a, background.red);
                out[1] = Over8(green.Value(pixel, 0), a, background.green);
                out[2] = Over8(blue.Value(pixel, 0), a, background.blue);
            }
        }
    }
    source = "BMP " + SizeText(bmp.width, bmp.height) + ", " + std::to_string(bmp.bits) +
             (bmp.bits == 1 ? " bit" : " bits");
    if (bmp.compression != kBiRgb) source += " with bit fields";
    if (bmp.topDown) source += ", top-down";
    if (bmp.masks[3]) source += " with alpha";
    return "";
}

// ---- The storable BMP ----

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutHeaders(std::vector<std::uint8_t>& out, const RgbPicture& picture, unsigned bits,
                std::uint32_t compression, std::uint32_t colours, std::uint32_t imageSize) {
    const std::uint32_t offset = 54 + 4 * colours;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, std::uint32_t(picture.width));
    Put32(out, std::uint32_t(picture.height));
    Put16(out, 1);
    Put16(out, bits);
    Put32(out, compression);
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 pixels per inch
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
}

// The picture's colours, when there are at most 256: an open-addressed table of the colours
// seen, and each pixel's index into it. Stops at the 257th colour.
bool Index(const RgbPicture& picture, std::vector<std::uint32_t>& colours,
           std::vector<std::uint8_t>& indices) {
    constexpr std::size_t kSlots = 1024;  // a power of two, four times the colours kept
    std::uint32_t keys[kSlots];
    std::uint16_t values[kSlots];
    std::memset(values, 0xFF, sizeof(values));
    const std::size_t count = std::size_t(picture.width * picture.height);
    indices.resize(count);
    const std::uint8_t* p = picture.pixels.data();
    for (std::size_t i = 0; i < count; ++i, p += 3) {
        const std::uint32_t key = (std::uint32_t(p[0]) << 16) | (p[1] << 8) | p[2];
        std::size_t slot = (key * 2654435761u) >> 22;
        while (values[slot] != 0xFFFF && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
        if (values[slot] == 0xFFFF) {
            if (colours.size() == 256) return false;
            keys[slot] = key;
            values[slot] = std::uint16_t(colours.size());
            colours.push_back(key);
        }
        indices[i] = std::uint8_t(values[slot]);
    }
    return true;
}

// RLE8 in the form the saver expands: per row encoded runs of 1 to 255 equal pixels and
// absolute runs of 3 to 255 (padded to an even length), an end of line after every row but the
// last and an end of bitmap after that. Runs never cross a row.
std::vector<std::uint8_t> EncodeRle8(const std::uint8_t* indices, std::int64_t width,
                                     std::int64_t height) {
    std::vector<std::uint8_t> out;
    for (std::int64_t y = height - 1; y >= 0; --y) {
        const std::uint8_t* row = indices + y * width;
        std::int64_t x = 0;
        while (x < width) {
            std::int64_t run = 1;
            while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
            if (run >= 2) {
                out.push_back(std::uint8_t(run));
                out.push_back(row[x]);
                x += run;
                continue;
            }
            // Pixels that start no run of two go into one absolute run.
            std::int64_t n = 1;
            while (x + n < width && n < 255 &&
                   (x + n + 1 >= width || row[x + n] != row[x + n + 1])) {
                ++n;
            }
            if (n < 3) {
                for (std::int64_t i = 0; i < n; ++i) {
                    out.push_back(1);
                    out.push_back(row[x + i]);
                }
            } else {
                out.push_back(0);
                out.push_back(std::uint8_t(n));
                out.insert(out.end(), row + x, row + x + n);
                if (n & 1) out.push_back(0);
            }
            x += n;
        }
        out.push_back(0);
        out.push_back(y == 0 ? 1 : 0);
    }
    return out;
}

void EncodeBmp(const RgbPicture& picture, StorableBmp& out) {
    std::vector<std::uint32_t> colours;
    std::vector<std::uint8_t> indices;
    std::vector<std::uint8_t>& bytes = out.bytes;
    bytes.clear();
    if (Index(picture, colours, indices)) {
        const std::uint64_t stride = (std::uint64_t(picture.width) + 3) & ~3ull;
        const std::uint64_t plain = stride * std::uint64_t(picture.height);
        std::vector<std::uint8_t> rle = EncodeRle8(indices.data(), picture.width, picture.height);
        const bool compressed = rle.size() < plain;
        const auto count = std::uint32_t(colours.size());
        PutHeaders(bytes, picture, 8, compressed ? 1 : 0, count,
                   std::uint32_t(compressed ? rle.size() : plain));
        for (std::uint32_t c : colours) Put32(bytes, c);  // blue, green, red, 0 in the file
        if (compressed) {
            bytes.insert(bytes.end(), rle.begin(), rle.end());
            out.stored = "an 8-bit BMP (RLE8)";
        } else {
            for (std::int64_t y = picture.height - 1; y >= 0; --y) {
                const std::uint8_t* row = indices.data() + y * picture.width;
                bytes.insert(bytes.end(), row, row + picture.width);
                bytes.insert(bytes.end(), std::size_t(stride - std::uint64_t(picture.width)), 0);
            }
            out.stored = "an 8-bit BMP";
        }
        return;
    }
    const std::uint64_t stride = (std::uint64_t(picture.width) * 3 + 3) & ~3ull;
    PutHeaders(bytes, picture, 24, 0, 0, std::uint32_t(stride * std::uint64_t(picture.height)));
    bytes.reserve(bytes.size() + std::size_t(stride * std::uint64_t(picture.height)));
    for (std::int64_t y = picture.height - 1; y >= 0; --y) {
        const std::uint8_t* p = picture.pixels.data() + std::size_t(y * picture.width * 3);
        for (std::int64_t x = 0; x < picture.width; ++x, p += 3) {
            bytes.push_back(p[2]);
            bytes.push_back(p[1]);
            bytes.push_back(p[0]);
        }
        bytes.insert(bytes.end(), std::size_t(stride - std::uint64_t(picture.width) * 3), 0);
    }
    out.stored = "a 24-bit BMP";
}

}  // namespace

PictureFormat RecognizeFormat(const std::uint8_t* data, std::size_t size) {
    if (StartsWith(data, size, "BM")) return PictureFormat::Bmp;
    if (StartsWith(data, size, "\xFF\xD8\xFF")) return PictureFormat::Jpeg;
    if (StartsWith(data, size, "\x89PNG\r\n\x1A\n")) return PictureFormat::Png;
    if (StartsWith(data, size, "GIF87a") || StartsWith(data, size, "GIF89a"))
        return PictureFormat::Gif;
    if (StartsWith(data, size, "RIFF") && StartsWith(data, size, "WEBP", 8))
        return PictureFormat::WebP;
    if (size >= 4 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0))
        return PictureFormat::Tiff;
    if (StartsWith(data, size, "ftyp", 4)) {
        if (StartsWith(data, size, "avif", 8) || StartsWith(data, size, "avis", 8))
            return PictureFormat::Avif;
        for (const char* brand : {"heic", "heix", "hevc", "heim", "heis", "mif1", "msf1"})
            if (StartsWith(data, size, brand, 8)) return PictureFormat::Heif;
    }
    if (size >= 4 && std::memcmp(data, "\0\0\1\0", 4) == 0) return PictureFormat::Icon;
    if (StartsWith(data, size, "8BPS")) return PictureFormat::Photoshop;
    if ((size >= 12 && std::memcmp(data, "\0\0\0\x0CjP  \r\n\x87\n", 12) == 0) ||
        StartsWith(data, size, "\xFF\x4F\xFF\x51"))
        return PictureFormat::Jpeg2000;
    if (StartsWith(data, size, "\xFF\x0A") ||
        (size >= 12 && std::memcmp(data, "\0\0\0\x0CJXL \r\n\x87\n", 12) == 0))
        return PictureFormat::JpegXl;
    if (size >= 2 && data[0] == 'P' && data[1] >= '1' && data[1] <= '7') return PictureFormat::Pnm;
    if (StartsWith(data, size, "%PDF")) return PictureFormat::Pdf;
    return PictureFormat::Unknown;
}

const char* FormatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::Bmp: return "BMP";
        case PictureFormat::Jpeg: return "JPEG";
        case PictureFormat::Png: return "PNG";
        case PictureFormat::Gif: return "GIF";
        case PictureFormat::WebP: return "WebP";
        case PictureFormat::Tiff: return "TIFF";
        case PictureFormat::Heif: return "HEIF";
        case PictureFormat::Avif: return "AVIF";
        case PictureFormat::Icon: return "Windows icon";
        case PictureFormat::Photoshop: return "Photoshop";
        case PictureFormat::Jpeg2000: return "JPEG 2000";
        case PictureFormat::JpegXl: return "JPEG XL";
        case PictureFormat::Pnm: return "PNM";
        case PictureFormat::Pdf: return "PDF";
        case PictureFormat::Unknown: break;
    }
    return "unknown";
}

bool IsConvertibleBmp(const std::uint8_t* data, std::size_t size) {
    if (size < 54 || RecognizeFormat(data, size) != PictureFormat::Bmp) return false;
    const unsigned bits = Le16(data + 28);
    const std::uint32_t compression = Le32(data + 30);
    const bool topDown = std::int32_t(Le32(data + 22)) < 0;
    return bits == 16 || bits == 32 || compression == kBiBitfields ||
           compression == kBiAlphaBitfields || topDown;
}

std::string ConvertToStorableBmp(const std::uint8_t* data, std::size_t size,
                                 RgbColour background, StorableBmp& out) {
    RgbPicture picture;
    std::string problem;
    switch (RecognizeFormat(data, size)) {
        case PictureFormat::Png:
            problem = DecodePng(data, size, background, picture, out.source);
            break;
        case PictureFormat::Bmp:
            problem = DecodeBmp(data, size, background, picture, out.source);
            break;
        default:
            return "not a PNG or BMP file";
    }
    if (problem.empty()) EncodeBmp(picture, out);
    return problem;
}
