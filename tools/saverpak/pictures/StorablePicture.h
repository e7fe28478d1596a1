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
#include <utility>
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

// A picture decoded and composited: top-down rows of red, green, blue.
struct RgbPicture {
    std::int64_t width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
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

// "400×300".
std::string SizeText(std::int64_t width, std::int64_t height);

// The box a logo (picture 1) is fitted into. The configuration dialog grows with its logo; a
// phone photograph as it is would push the dialog's buttons off a small screen.
constexpr std::int32_t kLogoBoxWidth = 480;
constexpr std::int32_t kLogoBoxHeight = 360;

// Decodes any picture the tool stores (PNG, BMP, JPEG: the saver's kinds as the saver decodes
// them, Exif orientation applied) and, when it is larger than `boxWidth` x `boxHeight`, scales
// it down to fit by area averaging, its proportions kept, and encodes the storable BMP. Returns
// "" with `out` empty when the picture fits as it is, "" with `out` filled when it was fitted
// (`out.source` then says what it was, `out.stored` what it became and at what size), or what
// is wrong with the picture.
std::string FitToStorableBmp(const std::uint8_t* data, std::size_t size, RgbColour background,
                             std::int32_t boxWidth, std::int32_t boxHeight, StorableBmp& out);

// Decodes any picture the tool stores, as FitToStorableBmp does, composited over `background`.
// Returns "" and fills `picture` and `source` ("PNG 400×300 with alpha"), or what is wrong.
std::string DecodePicture(const std::uint8_t* data, std::size_t size, RgbColour background,
                          RgbPicture& picture, std::string& source);

// `picture` scaled to width x height by area averaging (imaging/AreaScaler.h).
RgbPicture ScalePicture(const RgbPicture& picture, std::int32_t width, std::int32_t height);

// The largest size inside the box with the proportions of width x height.
std::pair<std::int32_t, std::int32_t> FittedSize(std::int64_t width, std::int64_t height,
                                                 std::int32_t boxWidth, std::int32_t boxHeight);

// True when ConvertToStorableBmp takes BMP data of this kind (its bit count, compression or
// row order is one the saver refuses, and one we convert).
bool IsConvertibleBmp(const std::uint8_t* data, std::size_t size);
