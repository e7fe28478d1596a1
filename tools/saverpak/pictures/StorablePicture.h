// Pictures as authors have them, made into pictures the saver reads.
//
// The saver shows BMPs of 1, 4, 8 and 24 bits (bottom-up, RLE at 4 and 8) and JPEGs. Authors
// have PNGs, and BMPs of 16 or 32 bits, with bit fields, top-down rows or alpha. The build tool
// decodes those here and stores each as a BMP the saver reads, exact at 8 bits per channel
// after compositing: an 8-bit BMP when the picture has at most 256 colours (RLE8 where that is
// smaller), otherwise a 24-bit BMP. Alpha is composited over a background chosen by the
// picture's role (black behind the preview, the dialog face colour behind the logo).
//
// Used by the tool only: the saver never links it (nor libpng).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class PictureFormat {
    Bmp,
    Jpeg,
    Png,
    Gif,
    WebP,
    Tiff,
    Heif,
    Avif,
    Icon,
    Photoshop,
    Jpeg2000,
    JpegXl,
    Pnm,
    Pdf,
    Unknown
};

// The format by the data's signature.
PictureFormat RecognizeFormat(const std::uint8_t* data, std::size_t size);
// Its usual name ("PNG", "GIF", "WebP", ...); "unknown" for Unknown.
const char* FormatName(PictureFormat format);

struct RgbColour {
    std::uint8_t red, green, blue;
};

// What a picture becomes.
struct StorableBmp {
    std::vector<std::uint8_t> bytes;  // a whole BMP file
    std::string source;               // what the input was, e.g. "PNG 400×300 with alpha"
    std::string stored;               // what is stored, e.g. "an 8-bit BMP"
};

// Decodes a PNG (every colour type and depth, interlaced or not) or a BMP the saver does not
// read (16 or 32 bits, RGB or bit fields, alpha, top-down rows at any depth), composites it over
// `background` and encodes the storable BMP. Returns "" and fills `out`, or says what is wrong
// with the picture.
std::string ConvertToStorableBmp(const std::uint8_t* data, std::size_t size, RgbColour background,
                                 StorableBmp& out);

// Encodes top-down rows of red, green, blue as the BMP the converter stores (8 bits when they
// hold at most 256 colours, RLE8 where that is smaller, else 24 bits).
std::vector<std::uint8_t> EncodeRgbAsBmp(std::int64_t width, std::int64_t height,
                                         std::vector<std::uint8_t> rgb);

// True when ConvertToStorableBmp takes BMP data of this kind (its bit count, compression or
// row order is one the saver refuses, and one we convert).
bool IsConvertibleBmp(const std::uint8_t* data, std::size_t size);
