// The headers every BMP begins with, and the bounds of the pictures the saver shows: one parser
// and one set of limits for the saver's reader, the build tool's check of a picture, its
// converter and list's facts about a stored picture.
//
// A BMP opens with a 14-byte file header ("BM", the file's size, the pixel data's offset) and an
// info header whose first 40 bytes are BITMAPINFOHEADER; writers that record colour-space data
// write a longer one (108 or 124 bytes) that begins with the same 40. Fields are read one by one
// in little-endian order, never by casting bytes to the structure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/Platform.h"

constexpr std::size_t kBmpFileHeaderSize = 14;
constexpr std::size_t kBmpHeadersSize = kBmpFileHeaderSize + 40;

// Widths beyond which the 16-bit row-stride rule can no longer describe a row. The saver raises
// an indexed picture to 24 bits to fit and dither it, so every picture it shows fits the 24-bit
// bound.
constexpr std::int32_t kMaxWidth24 = 21844;
constexpr std::int32_t kMaxWidth8 = 65532;
constexpr std::int32_t kMaxWidth4 = 65528;
constexpr std::int32_t kMaxWidth1 = 65504;

// Largest pixel block the saver asks for. Sizes come from file headers; a cap keeps a 60-byte
// file from asking for terabytes, and 1 GiB is far beyond any picture a screen saver shows.
constexpr std::uint64_t kMaxPixelBlock = 1ull << 30;

// The pictures the build tool stores, checked or converted: within the saver's bounds, and no
// taller and no larger in 24-bit rows than a screen saver has any use for.
constexpr std::int32_t kMaxPictureHeight = 32768;
constexpr std::uint64_t kMaxPictureBytes = 256u * 1024 * 1024;

struct BmpHeaders {
    std::uint32_t DataOffset = 0;  // of the pixel data, from the file's start
    BITMAPINFOHEADER Info{};       // as stored: biSize the info header's own length, biHeight
                                   // negative for top-down rows
};

// Whether `bytes` begin with "BM".
bool IsBmp(const std::uint8_t* bytes, std::size_t size);

// Reads both headers from the file's first `size` bytes. True when they begin with "BM" and hold
// both headers whole; the fields the bytes do hold are filled either way, the others left zero,
// so a reader of the first fields may pass fewer.
bool ParseBmpHeaders(const std::uint8_t* bytes, std::size_t size, BmpHeaders& headers);
