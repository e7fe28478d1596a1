// The ditherer and the resampler against plain transcriptions of their rules, written here
// without any of the shortcuts the real code takes (hoisted tables, precomputed columns,
// specialised loops, in-place output): every output byte must be the same.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "TestFiles.h"
#include "imaging/Display.h"
#include "imaging/Dither.h"
#include "imaging/JpegFile.h"
#include "imaging/Transitionsunit.h"

namespace {

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

std::vector<int> SpreadTable(int spread) {
    std::vector<int> table(511, 0);
    if (spread <= 0) return table;
    int out = 1, step = 1, countdown = 1;
    const int divisor = 256 / (1 << (spread - 1));
    for (int e = 1; e <= 255; ++e) {
        table[255 + e] = out;
        table[255 - e] = -out;
        countdown -= 1;
        if (countdown == 0) {
            out += 1;
            countdown = step;
        }
        if (step < 256 && e % divisor == 0) step *= 2;
    }
    return table;
}

struct Mode {
    bool uniform;
    int r, g, b, spread;
};

// Dithers a copy of the 24-bit rows into indices (or reduced 24-bit pixels), one pixel at a
// time, straight from the rules. Returns the output rows as the bitmap would hold them.
std::vector<BYTE> ReferenceDither(const cBitmap& source, cColorCube* cube, const Mode& m,
                                  WORD& outBits) {
    const int w = source.Width(), h = source.Height();
    const std::vector<int> spread = SpreadTable(m.spread);
    std::vector<int> rows[2] = {std::vector<int>((w + 2) * 3, 0), std::vector<int>((w + 2) * 3, 0)};
    std::vector<std::int16_t> cache(std::size_t(1) << (m.uniform ? 0 : m.r + m.g + m.b), -1);
    const LOGPALETTE* palette = cube ? cube->Palette() : nullptr;
    const int entries = palette ? palette->palNumEntries : 0;
    outBits = !cube ? 24 : entries > 16 ? 8 : entries >= 3 ? 4 : 1;
    const int outStride = cBitmap::RowStride(w, outBits);
    // Starts as the input, since unwritten bytes keep what the rows held.
    std::vector<BYTE> out(source.FPixels, source.FPixels + std::size_t(source.FStride) * h);
    std::vector<BYTE> in = out;
    for (int i = 0; i < h; ++i) {
        std::vector<int>& cur = rows[i & 1];
        std::vector<int>& next = rows[(i & 1) ^ 1];
        for (int x = 0; x < w; ++x) {
            const BYTE* px = &in[std::size_t(i) * source.FStride + 3 * x];
            int v[3];  // red, green, blue
            for (int c = 0; c < 3; ++c) {
                const int value = px[2 - c];
                const int carried = cur[3 * (x + 1) + c] >> 4;
                v[c] = Clamp(value + (cube && m.uniform ? carried : spread[255 + carried]));
            }
            int d[3];
            if (!cube) {
                const int masks[3] = {0xFC, 0xF8, 0xF8};
                BYTE* o = &out[std::size_t(i) * source.FStride + 3 * x];
                for (int c = 0; c < 3; ++c) {
                    o[2 - c] = BYTE(v[c] & masks[c]);
                    d[c] = v[c] - (v[c] & masks[c]);
                }
            } else {
                int p;
                if (m.uniform) {
                    const int rs = 255 / (m.r - 1), gs = 255 / (m.g - 1), bs = 255 / (m.b - 1);
                    p = (v[0] / rs) * (m.b * m.g) + (v[1] / gs) * m.b + v[2] / bs +
                        cube->FirstFreeIndex();
                } else if (entries == 2) {
                    p = (v[0] + v[1] + v[2]) / 384;
                } else {
                    const int bits[3] = {m.r, m.g, m.b};
                    int key = 0, pos = 0, probe[3];
                    for (int c = 0; c < 3; ++c) {
                        const int shift = 8 - bits[c];
                        key |= (v[c] >> shift) << pos;
                        pos += bits[c];
                        probe[c] = ((v[c] >> shift) << shift) + (1 << (6 - bits[c]));
                    }
                    if (cache[key] < 0) {
                        cache[key] = std::int16_t(
                            cube->NearestIndex(BYTE(probe[0]), BYTE(probe[1]), BYTE(probe[2])));
                    }
                    p = cache[key];
                }
                const PALETTEENTRY& e = palette->palPalEntry[p];
                d[0] = v[0] - e.peRed;
                d[1] = v[1] - e.peGreen;
                d[2] = v[2] - e.peBlue;
                BYTE* row = &out[std::size_t(i) * outStride];
                if (outBits == 8) {
                    row[x] = BYTE(p);
                } else if (outBits == 4) {
                    row[x / 2] = (x % 2) ? BYTE((row[x / 2] & 0xF0) | p)
                                         : BYTE((row[x / 2] & 0x0F) | (p << 4));
                } else {
                    if (x % 8 == 0) row[x / 8] = 0;
                    row[x / 8] |= BYTE((p & 1) << (7 - x % 8));
                }
            }
            for (int c = 0; c < 3; ++c) {
                cur[3 * (x + 1) + c] = 0;
                cur[3 * (x + 2) + c] += 7 * d[c];
                next[3 * x + c] += 3 * d[c];
                next[3 * (x + 1) + c] += 5 * d[c];
                next[3 * (x + 2) + c] += d[c];
            }
        }
    }
    return out;
}

void Copy(const cBitmap& from, cBitmap& to) {
    to.FHeader = from.FHeader;
    std::memcpy(to.FPalette, from.FPalette, sizeof(to.FPalette));
    ASSERT_EQ(to.AllocateBits(), 0);
    std::memcpy(to.FPixels, from.FPixels, std::size_t(from.FStride) * from.Height());
}

void ExpectSameDither(const std::string& picture, int depth, const Mode& m, int colors) {
    OnDisplay screen(depth);
    ssPicture source;
    source.Load(PicturePath(picture).c_str());
    source.Resize(RECT{0, 0, 61, 61});  // odd widths exercise padding and nibbles
    ASSERT_EQ(source.IncreaseColorDepth(), 0);
    cColorCube cube;
    cColorCube* used = nullptr;
    if (colors > 0) {
        ASSERT_EQ(cube.Initialize(0, colors), 0);
        if (m.uniform) {
            ASSERT_NE(cube.FillUniform(m.r, m.g, m.b, true), nullptr);
        } else {
            ASSERT_EQ(cube.AddPicture(source), 0);
            ASSERT_NE(cube.ChooseColors(colors, colors > 2), nullptr);
        }
        used = &cube;
    }
    WORD bits = 0;
    const std::vector<BYTE> expected = ReferenceDither(source, used, m, bits);

    cBitmap ours;
    Copy(source, ours);
    cDither d;
    ASSERT_EQ(d.Setup(used, m.uniform, used ? m.r : 0, used ? m.g : 0, used ? m.b : 0, m.spread),
              0);
    ASSERT_EQ(d.DitherBitmap(ours), 0);
    EXPECT_EQ(ours.BitCount(), bits);
    const std::size_t n = std::size_t(ours.FStride) * ours.Height();
    ASSERT_LE(n, expected.size());
    EXPECT_EQ(std::memcmp(ours.FPixels, expected.data(), n), 0)
        << picture << " depth " << depth << " colours " << colors;
    d.FreeTables();
    cube.FreeTree();
    ours.FreeBits();
}

}  // namespace

TEST(ReferenceAlgorithm, DitherMatchesTheRulesByteForByte) {
    ExpectSameDither("c420.jpg", 8, {false, 5, 5, 4, 6}, 256);
    ExpectSameDither("src24.bmp", 24, {false, 5, 5, 4, 6}, 256);
    ExpectSameDither("c444.jpg", 24, {false, 5, 5, 4, 6}, 16);
    ExpectSameDither("c420.jpg", 4, {false, 5, 5, 4, 6}, 16);
    ExpectSameDither("grey.jpg", 24, {false, 5, 5, 4, 6}, 2);
    ExpectSameDither("c420.jpg", 8, {true, 6, 6, 6, 0}, 256);
    ExpectSameDither("c420.jpg", 16, {false, 0, 0, 0, 6}, 0);
    ExpectSameDither("src24.bmp", 12, {false, 0, 0, 0, 6}, 256);  // 9-15 bits: one cache cell
}

TEST(ReferenceAlgorithm, ResampleTakesTwoDivisionsPerPixel) {
    cBitmap source;
    ASSERT_EQ(LoadJpeg(source, PicturePath("c444.jpg").c_str(), 0), 0);
    const int sizes[][2] = {{67, 45}, {30, 20}, {66, 1}, {1, 44}, {13, 7}, {5, 45}};
    for (const auto& s : sizes) {
        cBitmap ours;
        Copy(source, ours);
        cDither resampler;
        ASSERT_EQ(resampler.Resample(ours, s[0], s[1]), 0);
        const int stride = cBitmap::RowStride(s[0], 24);
        ASSERT_EQ(int(ours.FStride), stride);
        for (int i = 0; i < s[1]; ++i) {
            const int sr = (source.Height() * i) / s[1];
            for (int j = 0; j < s[0]; ++j) {
                const int sc = (source.Width() * j) / s[0];
                ASSERT_EQ(std::memcmp(ours.Row(i) + 3 * j, source.Row(sr) + 3 * sc, 3), 0)
                    << s[0] << "x" << s[1] << " at " << j << "," << i;
            }
        }
        ours.FreeBits();
    }
    source.FreeBits();
}

namespace {

// The fitted decode against the full decode shrunk by Resize, byte for byte.
void ExpectFittedEqualsResized(const std::string& path, int targetWidth, int targetHeight,
                               const std::string& label) {
    ssPicture plain, fitted;
    plain.Load(path.c_str());
    plain.Resize(RECT{0, 0, targetWidth, targetHeight});
    fitted.Load(path.c_str(), targetWidth, targetHeight);
    const BYTE* before = fitted.FPixels;
    fitted.Resize(RECT{0, 0, targetWidth, targetHeight});
    EXPECT_EQ(fitted.FPixels, before) << label << ": not decoded to the fitted size";
    ASSERT_EQ(std::memcmp(&plain.FHeader, &fitted.FHeader, sizeof(plain.FHeader)), 0) << label;
    ASSERT_EQ(plain.FStride, fitted.FStride) << label;
    // Row padding is written by neither; the pixels must agree.
    for (std::int32_t y = 0; y < plain.Height(); ++y) {
        ASSERT_EQ(std::memcmp(plain.Row(y), fitted.Row(y), 3 * plain.Width()), 0)
            << label << " stored row " << y;
    }
}

}  // namespace

TEST(ReferenceAlgorithm, FittedJpegDecodeEqualsDecodeThenResize) {
    // Every sampling layout, with heights of well over 40 MCU rows, so that skips start at
    // every offset within a row group and an iMCU row.
    struct Layout {
        const char* name;
        int components;
        int sampling[3][2];
    };
    const Layout layouts[] = {
        {"1x1", 3, {{1, 1}, {1, 1}, {1, 1}}},
        {"2x1", 3, {{2, 1}, {1, 1}, {1, 1}}},
        {"1x2", 3, {{1, 2}, {1, 1}, {1, 1}}},
        {"2x2", 3, {{2, 2}, {1, 1}, {1, 1}}},
        {"4x1", 3, {{4, 1}, {1, 1}, {1, 1}}},
        {"4x2", 3, {{4, 2}, {1, 1}, {1, 1}}},
        {"grey 1x1", 1, {{1, 1}}},
        {"grey 2x2", 1, {{2, 2}}},
        {"2x2 chroma 1x2", 3, {{2, 2}, {1, 2}, {1, 2}}},
    };
    const int sizes[][2] = {{1, 641}, {2, 700}, {3, 655}, {4, 643}, {5, 690}, {37, 651}};
    // Heights to fit to: ratios near 1, near 2, between, and large.
    const int targetHeights[] = {640, 327, 250, 97, 13};
    TestFolder folder;
    int n = 0;
    for (const Layout& layout : layouts) {
        for (int mode = 0; mode < 3; ++mode) {  // baseline, progressive, restart markers
            for (const auto& size : sizes) {
                JpegPicture picture;
                picture.width = size[0];
                picture.height = size[1];
                picture.components = layout.components;
                std::memcpy(picture.sampling, layout.sampling, sizeof(picture.sampling));
                picture.progressive = mode == 1;
                picture.restartRows = mode == 2 ? 3 : 0;
                const std::string path =
                    folder.Write(std::to_string(n++) + ".jpg", MakeJpeg(picture));
                for (int th : targetHeights) {
                    const std::string label = std::string(layout.name) + " mode " +
                                              std::to_string(mode) + " " + std::to_string(size[0]) +
                                              "x" + std::to_string(size[1]) + " to height " +
                                              std::to_string(th);
                    ExpectFittedEqualsResized(path, 1000, th, label);
                    if (HasFatalFailure()) return;
                }
                // The width rule too, where there is width to shrink.
                if (size[0] > 5) ExpectFittedEqualsResized(path, 7, 1000, layout.name);
            }
        }
    }
    // Pictures from an independent encoder, four-component CMYK included.
    const char* names[] = {"c420.jpg", "c444.jpg",    "c422.jpg", "grey.jpg",
                           "prog.jpg", "restart.jpg", "cmyk.jpeg"};
    const int targets[][2] = {{30, 30}, {66, 44}, {67, 1}, {1, 45}, {13, 40}};
    for (const char* name : names) {
        for (const auto& t : targets)
            ExpectFittedEqualsResized(PicturePath(name), t[0], t[1], name);
    }
    // The same picture record loaded again without a target comes out whole.
    ssPicture reused;
    reused.Load(PicturePath("c420.jpg").c_str(), 10, 10);
    EXPECT_EQ(reused.Width(), 10);
    reused.Load(PicturePath("c420.jpg").c_str());
    EXPECT_EQ(reused.Width(), 67);
    EXPECT_EQ(reused.Height(), 45);

    // Cancelled before the first row: no pixels, as for a plain decode.
    ssPicture cancelled;
    cancelled.SetCancel(1);
    EXPECT_THROW(cancelled.Load(PicturePath("c420.jpg").c_str(), 10, 10), std::runtime_error);
    EXPECT_EQ(cancelled.GetError(), ERR_CANCELLED);
    EXPECT_FALSE(cancelled.HasPixels());
}
