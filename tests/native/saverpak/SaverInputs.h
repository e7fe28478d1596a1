// Input files for building savers in tests: the stub, module programs ("MZ" and filler), BMPs
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

// The tests' stub (tests/native/stub): a small program with the saver's marker, a version
// resource, an icon and resources that branding keeps. Padded with zero bytes after its image
// to `size` when that is larger.
#ifdef SAVERPAK_TEST_STUB
inline std::string StubBytes(std::size_t size = 0) {
    std::string bytes;
    if (std::FILE* f = std::fopen(SAVERPAK_TEST_STUB, "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    if (bytes.size() < size) bytes.resize(size, '\0');
    return bytes;
}
#endif

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

// An icon file of 32-bit bitmaps, one a size, each filled with `colour` (0xAARRGGBB); with
// `pngSize`, a PNG entry of that size too (its header only: the tool reads no further).
inline std::string IcoBytes(const std::vector<int>& sizes, std::uint32_t colour = 0xFF2040C0,
                            int pngSize = 0) {
    std::vector<std::string> images;
    for (int size : sizes) {
        const std::uint32_t w = static_cast<std::uint32_t>(size), mask = (w + 31) / 32 * 4 * w;
        std::string b = Le32Bytes(40) + Le32Bytes(w) + Le32Bytes(2 * w) + Le16Bytes(1) +
                        Le16Bytes(32) + Le32Bytes(0) + Le32Bytes(w * w * 4 + mask) +
                        std::string(16, '\0');
        for (std::uint32_t i = 0; i < w * w; ++i) b += Le32Bytes(colour);
        images.push_back(b + std::string(mask, '\0'));
    }
    if (pngSize)
        images.push_back(std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16) + std::string(2, '\0') +
                         Le16Bytes(static_cast<std::uint16_t>(pngSize << 8 | pngSize >> 8)) +
                         std::string(2, '\0') +
                         Le16Bytes(static_cast<std::uint16_t>(pngSize << 8 | pngSize >> 8)) +
                         "\x08\x06" + std::string(7, '\0'));
    std::string ico =
        Le16Bytes(0) + Le16Bytes(1) + Le16Bytes(static_cast<std::uint16_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = i < sizes.size() ? sizes[i] : pngSize;
        ico += std::string{static_cast<char>(size & 0xFF), static_cast<char>(size & 0xFF), 0, 0} +
               Le16Bytes(1) + Le16Bytes(32) +
               Le32Bytes(static_cast<std::uint32_t>(images[i].size())) + Le32Bytes(offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const std::string& image : images) ico += image;
    return ico;
}

// A baseline colour JPEG of width x height.
inline std::string JpegBytes(int width, int height) {
    return MakeJpeg<std::string>({.width = width, .height = height, .gradient = true});
}
