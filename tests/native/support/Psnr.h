// Peak signal-to-noise ratio of two pictures of the same size, in dB (99 when they are equal):
// how the tests hold our scaling to ImageMagick's.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

inline double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    double sum = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) sum += std::pow(a[i] - b[i], 2);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}
