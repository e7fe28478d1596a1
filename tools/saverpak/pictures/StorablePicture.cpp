#include "tools/saverpak/pictures/StorablePicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/AreaScaler.h"
#include "imaging/Bitmap.h"
#include "imaging/JpegFile.h"
#include "support/Bytes.h"
#include "tools/saverpak/pictures/StorableInputs.h"

namespace {

bool StartsWith(const std::uint8_t* data, std::size_t size, const char* text, std::size_t at = 0) {
    const std::size_t n = std::strlen(text);
    return size >= at + n && std::memcmp(data + at, text, n) == 0;
}

void PutHeaders(std::vector<std::uint8_t>& out, const RgbPicture& picture, unsigned bits,
                std::uint32_t compression, std::uint32_t colours, std::uint32_t imageSize) {
    const std::uint32_t offset = 54 + 4 * colours;
    out.push_back('B');
    out.push_back('M');
    AppendLe32(out, offset + imageSize);
    AppendLe32(out, 0);
    AppendLe32(out, offset);
    AppendLe32(out, 40);
    AppendLe32(out, std::uint32_t(picture.width));
    AppendLe32(out, std::uint32_t(picture.height));
    AppendLe16(out, 1);
    AppendLe16(out, static_cast<std::uint16_t>(bits));
    AppendLe32(out, compression);
    AppendLe32(out, imageSize);
    AppendLe32(out, 2835);  // 72 pixels per inch
    AppendLe32(out, 2835);
    AppendLe32(out, colours);
    AppendLe32(out, 0);
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
        for (std::uint32_t c : colours) AppendLe32(bytes, c);  // blue, green, red, 0 in the file
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

// A picture the saver reads as it is, decoded as the saver decodes it.
std::string DecodeAsTheSaver(const std::uint8_t* data, std::size_t size, PictureFormat format,
                             RgbPicture& picture, std::string& source) {
    cBitmap bitmap;
    ErrorCode code = format == PictureFormat::Jpeg ? LoadJpegBytes(bitmap, data, size)
                                                   : bitmap.ReadBmpBytes(data, size);
    if (code == 0) code = bitmap.Decompress();
    if (code == 0) code = bitmap.IncreaseColorDepth();
    if (code != 0) {
        bitmap.FreeBits();
        return std::string(FormatName(format)) + " does not decode";
    }
    picture.width = bitmap.Width(), picture.height = bitmap.Height();
    picture.pixels.resize(std::size_t(picture.width * picture.height * 3));
    std::uint8_t* out = picture.pixels.data();
    for (std::int64_t y = picture.height - 1; y >= 0; --y) {
        const std::uint8_t* in = bitmap.Row(std::int32_t(y));  // bottom-up, blue first
        for (std::int64_t x = 0; x < picture.width; ++x, in += 3, out += 3)
            out[0] = in[2], out[1] = in[1], out[2] = in[0];
    }
    bitmap.FreeBits();
    source = std::string(FormatName(format)) + " " + SizeText(picture.width, picture.height);
    return "";
}

}  // namespace

std::string SizeText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "\u00D7" + std::to_string(height);
}

std::string SizeProblem(const char* format, std::int64_t width, std::int64_t height) {
    if (width < 1 || width > kMaxWidth24 || height < 1 || height > kMaxPictureHeight) {
        return std::string(format) + " width must be 1 to " + std::to_string(kMaxWidth24) +
               " and height 1 to " + std::to_string(kMaxPictureHeight) + " (it is " +
               SizeText(width, height) + ")";
    }
    if (std::uint64_t((3 * width + 3) & ~3) * std::uint64_t(height) > kMaxPictureBytes) {
        return std::string(format) + " is too large (" + SizeText(width, height) + ")";
    }
    return "";
}

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
        case PictureFormat::Bmp:
            return "BMP";
        case PictureFormat::Jpeg:
            return "JPEG";
        case PictureFormat::Png:
            return "PNG";
        case PictureFormat::Gif:
            return "GIF";
        case PictureFormat::WebP:
            return "WebP";
        case PictureFormat::Tiff:
            return "TIFF";
        case PictureFormat::Heif:
            return "HEIF";
        case PictureFormat::Avif:
            return "AVIF";
        case PictureFormat::Icon:
            return "Windows icon";
        case PictureFormat::Photoshop:
            return "Photoshop";
        case PictureFormat::Jpeg2000:
            return "JPEG 2000";
        case PictureFormat::JpegXl:
            return "JPEG XL";
        case PictureFormat::Pnm:
            return "PNM";
        case PictureFormat::Pdf:
            return "PDF";
        case PictureFormat::Unknown:
            break;
    }
    return "unknown";
}

std::string ConvertToStorableBmp(const std::uint8_t* data, std::size_t size, RgbColour background,
                                 StorableBmp& out) {
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

std::string DecodePicture(const std::uint8_t* data, std::size_t size, RgbColour background,
                          RgbPicture& picture, std::string& source) {
    const PictureFormat format = RecognizeFormat(data, size);
    if (format == PictureFormat::Png) return DecodePng(data, size, background, picture, source);
    if (format == PictureFormat::Bmp && IsConvertibleBmp(data, size))
        return DecodeBmp(data, size, background, picture, source);
    if (format == PictureFormat::Bmp || format == PictureFormat::Jpeg)
        return DecodeAsTheSaver(data, size, format, picture, source);
    return "not a PNG, JPEG or BMP file";
}

RgbPicture ScalePicture(const RgbPicture& picture, std::int32_t width, std::int32_t height) {
    RgbPicture scaled{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
    const auto sourceWidth = std::int32_t(picture.width);
    AreaScaler scaler(sourceWidth, std::int32_t(picture.height), width, height, ScaleWindow{},
                      [&](std::int32_t y, const std::uint8_t* pixels) {
                          std::memcpy(scaled.pixels.data() + std::size_t(y) * width * 3, pixels,
                                      std::size_t(width) * 3);
                      });
    for (std::int64_t y = 0; y < picture.height; ++y)
        scaler.PushRow(picture.pixels.data() + std::size_t(y) * sourceWidth * 3);
    return scaled;
}

std::pair<std::int32_t, std::int32_t> FittedSize(std::int64_t width, std::int64_t height,
                                                 std::int32_t boxWidth, std::int32_t boxHeight) {
    const double scale =
        std::min(double(boxWidth) / double(width), double(boxHeight) / double(height));
    return {
        std::clamp<std::int32_t>(std::int32_t(std::lround(double(width) * scale)), 1, boxWidth),
        std::clamp<std::int32_t>(std::int32_t(std::lround(double(height) * scale)), 1, boxHeight)};
}

std::string FitToStorableBmp(const std::uint8_t* data, std::size_t size, RgbColour background,
                             std::int32_t boxWidth, std::int32_t boxHeight, StorableBmp& out) {
    out = StorableBmp{};
    RgbPicture picture;
    std::string source;
    const std::string problem = DecodePicture(data, size, background, picture, source);
    if (!problem.empty() || (picture.width <= boxWidth && picture.height <= boxHeight))
        return problem;
    const auto [width, height] = FittedSize(picture.width, picture.height, boxWidth, boxHeight);
    EncodeBmp(ScalePicture(picture, width, height), out);
    out.source = source;
    out.stored += " of " + SizeText(width, height);
    return "";
}
