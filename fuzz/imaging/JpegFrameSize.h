// Whether JPEG data declares a frame of more than 4 megapixels. Fuzz targets pass over such
// inputs: they only slow the search (libjpeg buffers whole progressive pictures).
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/Bytes.h"

inline bool JpegOversized(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 8 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
            data[i + 1] != 0xC8 && data[i + 1] != 0xCC) {
            const std::uint32_t h = LoadBe16(data + i + 5);
            const std::uint32_t w = LoadBe16(data + i + 7);
            if (std::uint64_t(w) * h > (4u << 20)) return true;
        }
    }
    return false;
}
