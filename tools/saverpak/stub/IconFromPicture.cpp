// An icon made from a picture: the sizes Windows uses for a program (256 for large views, stored
// as a PNG as Windows Vista and later read it; 48, 32 and 16 as 32-bit bitmaps with alpha).
//
// The picture is decoded twice, over black and over white, which gives alpha without a decoder
// of its own: over black a pixel is its colour times alpha (premultiplied), over white that plus
// the white that shows through. Premultiplied colour and alpha are each scaled down by area
// averaging, which is exact for premultiplied colour (a transparent pixel adds nothing to its
// neighbours), and divided again at the end. A picture that is not square is centred on a
// transparent square.
#include <csetjmp>
#include <cstring>

#include <png.h>

#include "support/Bytes.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/pictures/StorablePicture.h"
#include "tools/saverpak/stub/IconFile.h"

namespace {

constexpr std::int32_t kIconSizes[] = {256, 48, 32, 16};

// Top-down rows of red, green, blue, alpha, not premultiplied.
struct RgbaSquare {
    std::int32_t size = 0;
    std::vector<std::uint8_t> pixels;
};

// The alpha of each pixel, from the picture over black and over white, as a grey picture.
RgbPicture AlphaOf(const RgbPicture& black, const RgbPicture& white) {
    RgbPicture alpha{black.width, black.height, std::vector<std::uint8_t>(black.pixels.size())};
    for (std::size_t i = 0; i < black.pixels.size(); i += 3) {
        int shown = 0;  // of white, through the pixel: its most transparent channel
        for (int c = 0; c < 3; ++c)
            shown = std::max(shown, white.pixels[i + c] - black.pixels[i + c]);
        std::memset(&alpha.pixels[i], 255 - shown, 3);
    }
    return alpha;
}

// The picture at `size` x `size`: fitted, centred, transparent around it.
RgbaSquare Square(const RgbPicture& premultiplied, const RgbPicture& alpha, std::int32_t size) {
    const auto [width, height] = FittedSize(premultiplied.width, premultiplied.height, size, size);
    const RgbPicture colour = ScalePicture(premultiplied, width, height);
    const RgbPicture cover = ScalePicture(alpha, width, height);
    RgbaSquare square{size, std::vector<std::uint8_t>(std::size_t(size) * size * 4)};
    const std::int32_t left = (size - width) / 2, top = (size - height) / 2;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::size_t from = (std::size_t(y) * width + x) * 3;
            std::uint8_t* to = &square.pixels[(std::size_t(y + top) * size + x + left) * 4];
            const unsigned a = cover.pixels[from];
            for (int c = 0; c < 3; ++c)
                to[c] = a == 0 ? 0
                               : std::uint8_t(
                                     std::min(255u, (colour.pixels[from + c] * 255u + a / 2) / a));
            to[3] = std::uint8_t(a);
        }
    }
    return square;
}

// A 32-bit bitmap as an icon holds it: the header (twice as high, for the mask), bottom-up rows
// of blue, green, red, alpha, then the mask, set where the pixel is fully transparent.
std::vector<std::uint8_t> IconBitmap(const RgbaSquare& square) {
    const std::uint32_t size = std::uint32_t(square.size), maskStride = (size + 31) / 32 * 4;
    std::vector<std::uint8_t> out;
    for (std::uint32_t v : {40u, size, 2 * size}) AppendLe32(out, v);
    AppendLe16(out, 1);
    AppendLe16(out, 32);
    for (std::uint32_t v : {0u, size * size * 4 + maskStride * size, 0u, 0u, 0u, 0u})
        AppendLe32(out, v);
    for (std::uint32_t y = size; y-- > 0;) {
        const std::uint8_t* p = &square.pixels[std::size_t(y) * size * 4];
        for (std::uint32_t x = 0; x < size; ++x, p += 4)
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
    for (std::uint32_t y = size; y-- > 0;) {
        std::vector<std::uint8_t> row(maskStride, 0);
        for (std::uint32_t x = 0; x < size; ++x)
            if (square.pixels[(std::size_t(y) * size + x) * 4 + 3] == 0)
                row[x / 8] |= std::uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// libpng reports failure by longjmp: everything it touches is set up before setjmp, and nothing
// here has a destructor that a jump would skip.
bool WriteRgbaPng(png_structp png, png_infop info, const RgbaSquare& square,
                  std::vector<std::uint8_t>& out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &out, AppendToVector, nullptr);
    png_set_IHDR(png, info, png_uint_32(square.size), png_uint_32(square.size), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::int32_t y = 0; y < square.size; ++y)
        png_write_row(png, &square.pixels[std::size_t(y) * square.size * 4]);
    png_write_end(png, nullptr);
    return true;
}

std::vector<std::uint8_t> IconPng(const RgbaSquare& square) {
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool written = info && WriteRgbaPng(png, info, square, out);
    png_destroy_write_struct(&png, &info);
    if (!written) throw FormatError("could not be made into a PNG icon image");
    return out;
}

}  // namespace

std::vector<IconImage> IconFromPicture(std::span<const std::uint8_t> bytes, std::string& source) {
    RgbPicture black, white;
    std::string problem = DecodePicture(bytes.data(), bytes.size(), {0, 0, 0}, black, source);
    if (problem.empty())
        problem = DecodePicture(bytes.data(), bytes.size(), {255, 255, 255}, white, source);
    if (!problem.empty()) throw FormatError("is a picture the tool cannot read: " + problem);
    const RgbPicture alpha = AlphaOf(black, white);
    std::vector<IconImage> images;
    for (std::int32_t size : kIconSizes) {
        const RgbaSquare square = Square(black, alpha, size);
        const bool png = size == 256;
        images.push_back({std::uint32_t(size), std::uint32_t(size), 32, png,
                          png ? IconPng(square) : IconBitmap(square)});
    }
    return images;
}
