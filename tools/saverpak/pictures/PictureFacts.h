// What list says about a stored picture beyond its record: its role in the saver, its kind and
// its size in pixels, read from its own header (BMP) or frame header (JPEG).
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>

struct PictureFacts {
    std::string Kind;  // "BMP 24-bit", "BMP 8-bit RLE8", "JPEG colour", "JPEG grey progressive"...
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
};

// "preview" for content item 0, "logo" for item 1; "" for the items the saver does not show.
const char* PictureRole(std::size_t index);

// Reads the header of the picture stored in `length` bytes from `position` of `file`; nullopt
// when it is not one the tool recognises (the saver's own load says what is wrong with it).
std::optional<PictureFacts> ReadPictureFacts(std::istream& file, std::uint64_t position,
                                             std::uint32_t length, std::uint8_t type);
