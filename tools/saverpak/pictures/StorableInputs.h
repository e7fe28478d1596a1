// The converter's inputs: PNG through libpng, and the BMP kinds the saver does not read, each
// decoded and composited over a background into one picture of 8-bit red, green and blue,
// which StorablePicture.cpp then encodes as the BMP that is stored. Private to the converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/BmpHeader.h"
#include "tools/saverpak/pictures/StorablePicture.h"

// A picture decoded and composited: top-down rows of red, green, blue.
struct RgbPicture {
    std::int64_t width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

// "400×300".
std::string SizeText(std::int64_t width, std::int64_t height);
// "" when a picture of this size can be stored, else why not ("PNG width must be ...").
std::string SizeProblem(const char* format, std::int64_t width, std::int64_t height);

// Alpha compositing, rounded once at the end: exact at 8 bits per channel.
inline std::uint8_t Over8(unsigned c, unsigned a, unsigned background) {
    return std::uint8_t((c * a + background * (255 - a) + 127) / 255);
}
inline std::uint8_t Over16(std::uint64_t c, std::uint64_t a, unsigned background) {
    constexpr std::uint64_t kScale = 65535ull * 257;
    const std::uint64_t value = c * a + std::uint64_t(background) * 257 * (65535 - a);
    return std::uint8_t((value + kScale / 2) / kScale);
}

// Each returns "" and fills `picture` and `source` (what the input was: "PNG 400×300 with
// alpha"), or says what is wrong with the data.
std::string DecodePng(const std::uint8_t* data, std::size_t size, RgbColour background,
                      RgbPicture& picture, std::string& source);
std::string DecodeBmp(const std::uint8_t* data, std::size_t size, RgbColour background,
                      RgbPicture& picture, std::string& source);
