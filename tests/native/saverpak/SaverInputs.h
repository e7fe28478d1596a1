// Input files for building savers in tests: stubs and module programs ("MZ" and filler), BMPs
// with sound headers, and JPEGs encoded on the spot.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "TestJpeg.h"

inline std::string Le32Bytes(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

inline std::string Le16Bytes(std::uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

// A Windows program as far as the tool looks: "MZ" then filler, `size` bytes in all.
inline std::string ProgramBytes(std::size_t size, char filler = '\x90') {
    std::string bytes(size, filler);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    return bytes;
}

// A 24-bit BMP of width x height, padded with zero bytes to `totalSize` when that is larger.
inline std::string BmpBytes(std::int32_t width, std::int32_t height, std::size_t totalSize = 0,
                            std::uint16_t bits = 24, std::uint32_t infoSize = 40) {
    std::uint32_t stride = ((static_cast<std::uint32_t>(width) * bits + 31) / 32) * 4;
    std::uint32_t paletteBytes = bits <= 8 ? (4u << bits) : 0;
    std::uint32_t image = stride * static_cast<std::uint32_t>(height);
    std::uint32_t fileSize = 54 + paletteBytes + image;
    std::string b = "BM" + Le32Bytes(fileSize) + Le32Bytes(0) + Le32Bytes(54 + paletteBytes);
    b += Le32Bytes(infoSize) + Le32Bytes(static_cast<std::uint32_t>(width)) +
         Le32Bytes(static_cast<std::uint32_t>(height)) + Le16Bytes(1) + Le16Bytes(bits) +
         Le32Bytes(0) + Le32Bytes(image) + Le32Bytes(2835) + Le32Bytes(2835) + Le32Bytes(0) +
         Le32Bytes(0);
    b += std::string(paletteBytes, '\x20');
    for (std::uint32_t i = 0; i < image; ++i) b += static_cast<char>(i * 7);
    if (b.size() < totalSize) b.resize(totalSize, '\0');
    return b;
}

// A baseline colour JPEG of width x height.
inline std::string JpegBytes(int width, int height) {
    return MakeJpeg<std::string>({.width = width, .height = height, .gradient = true});
}
