// The BMP kinds the saver does not read, for the converter: 16 and 32 bits (RGB or bit fields,
// masks in the header or after a 40-byte one, alpha), and top-down rows at any depth.
#include "support/Bytes.h"
#include "tools/saverpak/pictures/StorableInputs.h"

namespace {

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
    // their bits (5-bit 11100 is 11100111), as ImageMagick and most readers do: exact at
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
    std::uint32_t masks[4] = {};                  // red, green, blue, alpha
    std::size_t palette = 0, paletteEntries = 0;  // offset and count of the colour table
    std::size_t pixels = 0;
    std::uint64_t stride = 0;
};

std::string ParseBmp(const std::uint8_t* data, std::size_t size, BmpLayout& bmp) {
    if (size < kBmpHeadersSize) return "BMP file is too short for its headers";
    BmpHeaders headers;
    ParseBmpHeaders(data, size, headers);
    const std::uint32_t headerSize = headers.Info.biSize;
    if (headerSize < 40 || 14 + std::uint64_t(headerSize) > size)
        return "BMP info header is shorter than 40 bytes or runs past the file";
    const std::int32_t height = headers.Info.biHeight;
    bmp.width = headers.Info.biWidth;
    bmp.topDown = height < 0;
    bmp.height = bmp.topDown ? -std::int64_t(height) : height;
    bmp.bits = headers.Info.biBitCount;
    bmp.compression = headers.Info.biCompression;
    std::size_t tableAt = 14 + headerSize;
    const bool fields = bmp.compression == kBiBitfields || bmp.compression == kBiAlphaBitfields;
    if (fields) {
        if (bmp.bits != 16 && bmp.bits != 32) return "BMP bit fields need 16 or 32 bits per pixel";
        // A 40-byte header is followed by the masks; longer ones hold them.
        const unsigned count = bmp.compression == kBiAlphaBitfields || headerSize >= 56 ? 4 : 3;
        if (54 + 4 * count > size) return "BMP file ends inside its bit fields";
        for (unsigned i = 0; i < count; ++i) bmp.masks[i] = LoadLe32(data + 54 + 4 * i);
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
        const std::uint32_t used = headers.Info.biClrUsed;
        bmp.paletteEntries = used ? used : 1u << bmp.bits;
        if (bmp.paletteEntries > 256) return "BMP has more than 256 colours in its table";
        if (tableAt + 4 * bmp.paletteEntries > size) return "BMP file ends inside its colour table";
    }
    bmp.palette = tableAt;
    const std::size_t tableEnd = tableAt + 4 * bmp.paletteEntries;
    const std::uint32_t offset = headers.DataOffset;
    bmp.pixels = offset >= tableEnd && offset < size ? offset : tableEnd;
    bmp.stride = (std::uint64_t(bmp.width) * bmp.bits + 31) / 32 * 4;
    if (bmp.pixels + bmp.stride * std::uint64_t(bmp.height) > size)
        return "BMP file ends before its pixel data does";
    return "";
}

}  // namespace

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
                    bmp.bits == 16 ? LoadLe16(row + 2 * x) : LoadLe32(row + 4 * x);
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

bool IsConvertibleBmp(const std::uint8_t* data, std::size_t size) {
    BmpHeaders headers;
    if (RecognizeFormat(data, size) != PictureFormat::Bmp || !ParseBmpHeaders(data, size, headers))
        return false;
    const unsigned bits = headers.Info.biBitCount;
    const std::uint32_t compression = headers.Info.biCompression;
    const bool topDown = headers.Info.biHeight < 0;
    return bits == 16 || bits == 32 || compression == kBiBitfields ||
           compression == kBiAlphaBitfields || topDown;
}
