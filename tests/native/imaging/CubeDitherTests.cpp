// cColorCube and cDither against the rules they implement.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TestFiles.h"
#include "imaging/ColorCube.h"
#include "imaging/Display.h"
#include "imaging/Dither.h"

namespace {

void SetPixel(cBitmap& b, int x, int y, BYTE r, BYTE g, BYTE bl) {
    BYTE* p = b.Row(y) + 3 * x;
    p[0] = bl;
    p[1] = g;
    p[2] = r;
}

const PALETTEENTRY& Entry(const LOGPALETTE* p, int i) { return p->palPalEntry[i]; }

}  // namespace

TEST(ColorCube, InitializeChoosesDepthAndRefusesBadCounts) {
    cColorCube cube;
    EXPECT_EQ(cube.Initialize(0, 257), -1);
    EXPECT_EQ(cube.Initialize(0, -1), -1);
    EXPECT_EQ(cube.GetError(), 0);
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    EXPECT_EQ(cube.Depth(), 4u);
    ASSERT_EQ(cube.Initialize(0, 16), 0);
    EXPECT_EQ(cube.Depth(), 2u);
    ASSERT_EQ(cube.Initialize(12, 16), 0);
    EXPECT_EQ(cube.Depth(), 8u);
    {
        OnDisplay screen(8);
        ASSERT_EQ(cube.Initialize(0, 0), 0);  // the display's 256 colours
        EXPECT_EQ(cube.Depth(), 4u);
    }
    {
        OnDisplay screen(24);  // no palette, NUMCOLORS -1
        EXPECT_EQ(cube.Initialize(0, 0), -1);
    }
    cube.FreeTree();
}

TEST(ColorCube, RunsCountOneMoreThanTheirLength) {
    cBitmap b;
    Make24(b, 5, 1);
    SetPixel(b, 0, 0, 200, 10, 10);
    for (int x = 1; x < 5; ++x) SetPixel(b, x, 0, 10, 200, 10);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    ASSERT_EQ(cube.AddPicture(b), 0);
    EXPECT_EQ(cube.Colors(), 2);
    // Red cell: slot 1 at every level (red high, green and blue low).
    const cColorCube::Node* n = cube.Root()->children[1];
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->weight, 2u);
    while (n->level < 4) n = n->children[n->childMask == 0 ? 0 : __builtin_ctz(n->childMask)];
    EXPECT_EQ(n->pixelCount, 2u);
    EXPECT_EQ(n->redSum, 400u);
    EXPECT_EQ(cube.Root()->children[2]->weight, 5u);  // a run of four counts five
    cube.FreeTree();
    b.FreeBits();
}

TEST(ColorCube, FewColoursKeepTheirOwnEntries) {
    OnDisplay screen(24);
    cBitmap b;
    Make24(b, 3, 2);
    SetPixel(b, 0, 0, 10, 20, 30);
    SetPixel(b, 1, 0, 10, 20, 30);
    SetPixel(b, 2, 0, 250, 5, 5);
    SetPixel(b, 0, 1, 5, 240, 100);
    SetPixel(b, 1, 1, 5, 240, 100);
    SetPixel(b, 2, 1, 5, 240, 100);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    ASSERT_EQ(cube.AddPicture(b), 0);
    const LOGPALETTE* p = cube.ChooseColors(256, true);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->palVersion, 0x300);
    EXPECT_EQ(p->palNumEntries, 256);
    EXPECT_EQ(cube.FirstFreeIndex(), 8);
    // Reserved: the first eight and last eight colours of the 16-colour table.
    EXPECT_EQ(Entry(p, 7).peRed, 192);
    EXPECT_EQ(Entry(p, 248).peRed, 128);
    EXPECT_EQ(Entry(p, 255).peBlue, 255);
    // Numbered slots 0-3 first: the dark colour (slot 0), the red (slot 1), then the green
    // with blue below the centre (slot 2).
    EXPECT_EQ(Entry(p, 8).peRed, 10);
    EXPECT_EQ(Entry(p, 8).peBlue, 30);
    EXPECT_EQ(Entry(p, 9).peRed, 250);
    EXPECT_EQ(Entry(p, 10).peGreen, 240);
    EXPECT_EQ(Entry(p, 11).peRed, 255);  // unfilled entries stay white
    EXPECT_EQ(cube.NearestIndex(10, 20, 30), 8);
    EXPECT_EQ(cube.NearestIndex(250, 5, 5), 9);
    EXPECT_EQ(cube.NearestIndex(6, 239, 101), 10);
    cube.FreeTree();
    b.FreeBits();
}

TEST(ColorCube, PaletteSizeAndReservedColoursFollowTheDisplay) {
    cBitmap b;
    Make24(b, 64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) SetPixel(b, x, y, BYTE(x * 4), BYTE(y * 4), BYTE(x ^ y));
    {
        OnDisplay screen(8);  // palette display, 256 entries, 20 reserved
        cColorCube cube;
        ASSERT_EQ(cube.Initialize(0, 16), 0);
        ASSERT_EQ(cube.AddPicture(b), 0);
        const LOGPALETTE* p = cube.ChooseColors(16, true);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->palNumEntries, 256);
        EXPECT_EQ(cube.FirstFreeIndex(), 10);
        EXPECT_EQ(Entry(p, 8).peGreen, 220);  // the system's static colours kept
        EXPECT_EQ(Entry(p, 246).peBlue, 240);
        cube.FreeTree();
    }
    {
        OnDisplay screen(4);  // 16 colours, no palette: nothing left to choose
        cColorCube cube;
        ASSERT_EQ(cube.Initialize(0, 16), 0);
        ASSERT_EQ(cube.AddPicture(b), 0);
        const LOGPALETTE* p = cube.ChooseColors(16, true);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->palNumEntries, 16);
        EXPECT_EQ(Entry(p, 8).peRed, 128);
        EXPECT_EQ(Entry(p, 9).peRed, 255);
        EXPECT_EQ(Entry(p, 9).peGreen, 0);
        cube.FreeTree();
    }
    {
        // Reduction to fewer colours than the picture has, without system colours.
        OnDisplay screen(24);
        cColorCube cube;
        ASSERT_EQ(cube.Initialize(0, 16), 0);
        ASSERT_EQ(cube.AddPicture(b), 0);
        const LOGPALETTE* p = cube.ChooseColors(16, false);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->palNumEntries, 16);
        EXPECT_LE(cube.Colors(), 16);
        cube.FreeTree();
    }
    b.FreeBits();
}

TEST(ColorCube, ManyColoursFoldTheDeepestLevel) {
    cBitmap b;
    Make24(b, 700, 700);
    std::mt19937 random(1);
    for (int y = 0; y < 700; ++y) {
        BYTE* p = b.Row(y);
        for (int x = 0; x < 700 * 3; ++x) p[x] = BYTE(random());
    }
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(8, 256), 0);
    ASSERT_EQ(cube.AddPicture(b), 0);
    EXPECT_LT(cube.Depth(), 8u);
    EXPECT_LE(cube.NodeCount(), kMaxCubeNodes + 8);
    OnDisplay screen(24);
    ASSERT_NE(cube.ChooseColors(256, true), nullptr);
    cube.FreeTree();
    b.FreeBits();
}

TEST(ColorCube, UniformCubeAndItsLimits) {
    OnDisplay screen(8);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    const LOGPALETTE* p = cube.FillUniform(6, 6, 6, true);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(cube.FirstFreeIndex(), 10);
    EXPECT_EQ(Entry(p, 10).peRed, 0);
    EXPECT_EQ(Entry(p, 11).peBlue, 51);
    EXPECT_EQ(Entry(p, 16).peGreen, 51);
    EXPECT_EQ(Entry(p, 16).peBlue, 0);
    EXPECT_EQ(Entry(p, 10 + 36).peRed, 51);
    EXPECT_EQ(Entry(p, 225).peRed, 255);
    EXPECT_EQ(Entry(p, 225).peGreen, 255);
    EXPECT_EQ(Entry(p, 225).peBlue, 255);
    EXPECT_EQ(Entry(p, 226).peRed, 255);  // a system palette entry
    EXPECT_EQ(cube.FillUniform(7, 7, 7, true), nullptr);
    EXPECT_EQ(cube.GetError(), ERR_OUT_OF_MEMORY);
    cube.FreeTree();
}

TEST(ColorCube, AWhitePictureOfSeventeenMegapixelsStaysWhite) {
    // 255 x 17 million passes 2^32: the channel sums must not wrap.
    OnDisplay screen(24);
    cBitmap b;
    Make24(b, 4200, 4100);
    std::memset(b.FPixels, 255, std::size_t(b.FStride) * b.Height());
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    ASSERT_EQ(cube.AddPicture(b), 0);
    const LOGPALETTE* p = cube.ChooseColors(256, false);
    ASSERT_NE(p, nullptr);
    const PALETTEENTRY& white = Entry(p, cube.NearestIndex(255, 255, 255));
    EXPECT_EQ(white.peRed, 255);
    EXPECT_EQ(white.peGreen, 255);
    EXPECT_EQ(white.peBlue, 255);
    cube.FreeTree();
    b.FreeBits();
}

TEST(ColorCube, CancelStopsCountingAndChoosing) {
    cBitmap b;
    Make24(b, 16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) SetPixel(b, x, y, BYTE(x * 16), BYTE(y * 16), 0);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 16), 0);
    ASSERT_EQ(cube.AddPicture(b), 0);
    // The picture's own flag stops the count too, before its first row.
    b.SetCancel(1);
    EXPECT_EQ(cube.AddPicture(b), ERR_CANCELLED);
    EXPECT_EQ(cube.FProgress, 0);
    b.SetCancel(0);
    cube.SetCancel(1);
    EXPECT_EQ(cube.AddPicture(b), ERR_CANCELLED);
    EXPECT_EQ(cube.ChooseColors(4, false), nullptr);  // needs reduction passes
    EXPECT_EQ(cube.GetError(), ERR_CANCELLED);
    EXPECT_EQ(cube.Palette(), nullptr);
    cube.FreeTree();
    b.FreeBits();
}

TEST(Dither, SpreadTableForSpreadSix) {
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    cDither d;
    ASSERT_EQ(d.Setup(&cube, false, 5, 5, 4, 6), 0);
    const int start[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                         10, 11, 11, 12, 12, 13, 13, 14, 14, 14, 14};
    for (int e = 0; e < int(std::size(start)); ++e) {
        EXPECT_EQ(d.Spread(e), start[e]) << e;
        EXPECT_EQ(d.Spread(-e), -start[e]) << e;
    }
    auto firstAt = [&](int value) {
        for (int e = 0; e <= 255; ++e)
            if (d.Spread(e) == value) return e;
        return -1;
    };
    EXPECT_EQ(firstAt(16), 26);
    EXPECT_EQ(firstAt(17), 34);
    EXPECT_EQ(firstAt(18), 50);
    EXPECT_EQ(firstAt(19), 114);
    EXPECT_EQ(d.Spread(255), 19);
    EXPECT_EQ(d.Spread(-255), -19);
    for (int e = 1; e <= 255; ++e) EXPECT_GE(d.Spread(e), d.Spread(e - 1));
    d.FreeTables();
    ASSERT_EQ(d.Setup(&cube, false, 5, 5, 4, 0), 0);
    EXPECT_EQ(d.Spread(200), 0);
    d.FreeTables();
    cube.FreeTree();
}

TEST(Dither, ReducedBitsCutChannelsAndDiffuseTheRest) {
    cBitmap b;
    Make24(b, 3, 2);
    SetPixel(b, 0, 0, 255, 255, 255);
    SetPixel(b, 1, 0, 245, 245, 245);
    SetPixel(b, 0, 1, 0, 6, 0);
    cDither d;
    ASSERT_EQ(d.Setup(nullptr, false, 0, 0, 0, 6), 0);
    ASSERT_EQ(d.DitherBitmap(b), 0);
    EXPECT_EQ(b.BitCount(), 24);
    const BYTE* p = b.Row(0);
    EXPECT_EQ(p[2], 252);
    EXPECT_EQ(p[1], 248);
    EXPECT_EQ(p[0], 248);
    // 7/16 of the errors 3, 7, 7 reach the next pixel: 245+1 -> 244, 245+3 -> 248.
    EXPECT_EQ(p[5], 244);
    EXPECT_EQ(p[4], 248);
    EXPECT_EQ(p[3], 248);
    // 5/16 of the first pixel's green error of 7 (and 3/16 of the second's 0) reach the pixel
    // above it in the next stored row: 6 + 35/16 = 8 keeps its fifth bit; undiffused it is 0.
    EXPECT_EQ(b.Row(1)[1], 8);
    d.FreeTables();
    b.FreeBits();
}

TEST(Dither, PaletteSizeChoosesTheOutputDepth) {
    cBitmap b;
    Make24(b, 5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) SetPixel(b, x, y, BYTE(x * 60), BYTE(y * 100), 128);
    // Sixteen entries without system colours: 4-bit output, high nibble first.
    OnDisplay screen(24);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 16), 0);
    ASSERT_EQ(cube.AddPicture(b), 0);
    ASSERT_NE(cube.ChooseColors(16, false), nullptr);
    // What the fifth pixel's byte holds before dithering: its low nibble must survive.
    const BYTE lowBefore = b.Row(0)[2] & 0x0F;
    cDither d;
    ASSERT_EQ(d.Setup(&cube, false, 5, 5, 4, 6), 0);
    ASSERT_EQ(d.DitherBitmap(b), 0);
    EXPECT_EQ(b.BitCount(), 4);
    EXPECT_EQ(b.FStride, 4u);
    EXPECT_EQ(b.Row(0)[2] & 0x0F, lowBefore);
    const BYTE first = b.Row(0)[0] >> 4;
    EXPECT_EQ(b.FPalette[first].rgbRed, cube.Palette()->palPalEntry[first].peRed);
    // A bitmap that is no longer 24-bit is refused and left as it is.
    const BYTE keep = b.Row(0)[0];
    EXPECT_EQ(d.DitherBitmap(b), ERR_INVALID_FORMAT);
    EXPECT_EQ(b.Row(0)[0], keep);
    d.FreeTables();
    cube.FreeTree();
    b.FreeBits();
}

TEST(Dither, TwoEntriesMakeOneBitAndUniformIsArithmetic) {
    OnDisplay screen(24);
    cBitmap b;
    Make24(b, 10, 1);
    for (int x = 0; x < 10; ++x)
        SetPixel(b, x, 0, x < 5 ? 0 : 255, x < 5 ? 0 : 255, x < 5 ? 0 : 255);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 2), 0);
    ASSERT_EQ(cube.AddPicture(b), 0);
    ASSERT_NE(cube.ChooseColors(2, false), nullptr);
    cDither d;
    ASSERT_EQ(d.Setup(&cube, false, 5, 5, 4, 6), 0);
    ASSERT_EQ(d.DitherBitmap(b), 0);
    EXPECT_EQ(b.BitCount(), 1);
    const int white = cube.Palette()->palPalEntry[0].peRed == 255 ? 0 : 1;
    const BYTE expectTop = white ? 0x07 : 0xF8;  // pixels 5-7 white in the first byte
    EXPECT_EQ(b.Row(0)[0], expectTop);
    d.FreeTables();
    cube.FreeTree();
    b.FreeBits();

    OnDisplay palette(8);
    Make24(b, 2, 1);
    SetPixel(b, 0, 0, 0, 51, 102);
    SetPixel(b, 1, 0, 255, 255, 255);
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    ASSERT_NE(cube.FillUniform(6, 6, 6, true), nullptr);
    ASSERT_EQ(d.Setup(&cube, true, 6, 6, 6, 0), 0);
    ASSERT_EQ(d.DitherBitmap(b), 0);
    EXPECT_EQ(b.BitCount(), 8);
    EXPECT_EQ(b.FPixels[0], 10 + 6 + 2);
    EXPECT_EQ(b.FPixels[1], 225);
    d.FreeTables();
    cube.FreeTree();
    b.FreeBits();
}

TEST(Dither, CancelAndMisuse) {
    cBitmap b;
    Make24(b, 4, 4);
    cDither d;
    ASSERT_EQ(d.Setup(nullptr, false, 0, 0, 0, 6), 0);
    d.SetCancel(1);
    EXPECT_EQ(d.DitherBitmap(b), ERR_CANCELLED);
    EXPECT_EQ(b.BitCount(), 24);
    d.FreeTables();
    // The picture's flag stops a ditherer whose own flag is clear, in both passes.
    {
        OnDisplay screen(24);
        cColorCube few;
        ASSERT_EQ(few.Initialize(0, 16), 0);
        ASSERT_EQ(few.AddPicture(b), 0);
        ASSERT_NE(few.ChooseColors(16, false), nullptr);
        b.SetCancel(1);
        for (cColorCube* with : {static_cast<cColorCube*>(nullptr), &few}) {
            cDither fresh;
            ASSERT_EQ(fresh.Setup(with, false, with ? 5 : 0, with ? 5 : 0, with ? 4 : 0, 6), 0);
            EXPECT_EQ(fresh.DitherBitmap(b), ERR_CANCELLED);
            EXPECT_EQ(fresh.FProgress, 0);
            fresh.FreeTables();
        }
        b.SetCancel(0);
        few.FreeTree();
    }
    EXPECT_EQ(d.Setup(nullptr, true, 6, 6, 6, 0), ERR_INVALID_FUNCTION);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    EXPECT_EQ(d.Setup(&cube, true, 1, 6, 6, 0), ERR_INVALID_FUNCTION);
    ASSERT_EQ(d.Setup(&cube, false, 5, 5, 4, 6), 0);
    EXPECT_EQ(d.DitherBitmap(b), ERR_INVALID_FUNCTION);  // the cube has no palette yet
    d.FreeTables();
    cube.FreeTree();
    b.FreeBits();
}
