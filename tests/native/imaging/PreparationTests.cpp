// The loader's preparation by screen depth, through the display seam.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <thread>

#include "TestFiles.h"
#include "imaging/Display.h"
#include "imaging/Preparation.h"

namespace {

void LoadSource(ssPicture& p) { p.Load(PicturePath("c420.jpg").c_str()); }

}  // namespace

TEST(Preparation, TrueColourLeavesThePictureAsDecoded) {
    OnDisplay screen(24);
    ssPicture p;
    LoadSource(p);
    const Bytes before = TopDownRgb(p);
    ssPicture* pictures[] = {&p};
    EXPECT_EQ(PreparePictures(pictures, 1, 0, 0, 1), 24);
    EXPECT_EQ(p.BitCount(), 24);
    EXPECT_EQ(TopDownRgb(p), before);
    // Fitting only.
    EXPECT_EQ(PreparePictures(pictures, 1, 30, 30, 1), 24);
    EXPECT_EQ(p.Width(), 30);
    EXPECT_EQ(p.Height(), 20);
}

TEST(Preparation, SixteenBitsReducesChannels) {
    OnDisplay screen(16);
    ssPicture p;
    LoadSource(p);
    ssPicture* pictures[] = {&p};
    PicturePreparation prep(1);
    prep.BuildPalette(pictures, 1);
    EXPECT_EQ(prep.Cube(), nullptr);
    EXPECT_EQ(prep.PaletteRecord(), nullptr);
    EXPECT_EQ(prep.RedLevels(), 0);
    EXPECT_EQ(prep.DitherSpread(), 6);
    prep.DitherPictures(pictures, 1);
    EXPECT_EQ(p.BitCount(), 24);
    for (std::int32_t y = 0; y < p.Height(); ++y) {
        const BYTE* row = p.Row(y);
        for (std::int32_t x = 0; x < p.Width(); ++x) {
            ASSERT_EQ(row[3 * x] & 7, 0);
            ASSERT_EQ(row[3 * x + 1] & 7, 0);
            ASSERT_EQ(row[3 * x + 2] & 3, 0);
        }
    }
}

TEST(Preparation, EightBitsMakesAnAdaptivePalette) {
    OnDisplay screen(8);
    ssPicture a, b;
    LoadSource(a);
    b.Load(PicturePath("src8.bmp").c_str());
    ssPicture* pictures[] = {&a, &b};
    PicturePreparation prep(1);
    prep.BuildPalette(pictures, 2);
    ASSERT_NE(prep.PaletteRecord(), nullptr);
    EXPECT_EQ(prep.PaletteRecord()->palNumEntries, 256);
    EXPECT_EQ(prep.RedLevels(), 5);
    EXPECT_EQ(prep.BlueLevels(), 4);
    prep.DitherPictures(pictures, 2);
    for (ssPicture* p : pictures) {
        EXPECT_EQ(p->BitCount(), 8);
        EXPECT_EQ(p->FStride, DWORD(cBitmap::RowStride(p->Width(), 8)));
        // The colour table is the palette: static colours at both ends.
        EXPECT_EQ(p->FPalette[9].rgbBlue, 240);
        EXPECT_EQ(p->FPalette[255].rgbRed, 255);
    }
    prep.Release();
}

TEST(Preparation, UniformAndSixteenColours) {
    {
        OnDisplay screen(8);
        ssPicture p;
        LoadSource(p);
        ssPicture* pictures[] = {&p};
        PicturePreparation prep(0);
        prep.BuildPalette(pictures, 1);
        EXPECT_EQ(prep.Adaptive(), 0);
        EXPECT_EQ(prep.RedLevels(), 6);
        EXPECT_EQ(prep.DitherSpread(), 0);
        prep.DitherPictures(pictures, 1);
        EXPECT_EQ(p.BitCount(), 8);
        for (std::int32_t y = 0; y < p.Height(); ++y)
            for (std::int32_t x = 0; x < p.Width(); ++x) {
                ASSERT_GE(p.Row(y)[x], 10);
                ASSERT_LE(p.Row(y)[x], 225);
            }
    }
    {
        // Below 8 bits uniform is not offered: the loader turns adaptive.
        OnDisplay screen(4);
        ssPicture p;
        LoadSource(p);
        ssPicture* pictures[] = {&p};
        PicturePreparation prep(0);
        prep.BuildPalette(pictures, 1);
        EXPECT_EQ(prep.Adaptive(), 1);
        EXPECT_EQ(prep.RedLevels(), 5);
        prep.DitherPictures(pictures, 1);
        EXPECT_EQ(p.BitCount(), 4);
        EXPECT_EQ(p.FPalette[12].rgbBlue, 255);  // the 16-colour table
        EXPECT_EQ(p.FPalette[12].rgbRed, 0);
    }
}

TEST(Preparation, FailuresCarryTheirMessages) {
    OnDisplay screen(8);
    ssPicture p;
    p.Load(PicturePath("src4.bmp").c_str());
    ssPicture* pictures[] = {&p};
    PicturePreparation prep(1);
    prep.BuildPalette(pictures, 1);
    p.SetCancel(1);
    try {
        prep.DitherPictures(pictures, 1);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error increasing color depth.");
    }
    prep.Release();
    EXPECT_EQ(prep.Cube(), nullptr);

    // A cancel request from another thread reaches the cube while it counts.
    // A tall picture of distinct rows, so the count takes many rows to finish.
    ssPicture tall;
    Make24(tall, 64, 200000);
    for (std::int32_t y = 0; y < tall.Height(); ++y) {
        for (int x = 0; x < 64 * 3; ++x) tall.Row(y)[x] = BYTE(x * 37 + y * 11 + (y >> 8));
    }
    ssPicture* more[] = {&tall};
    PicturePreparation cancelled(1);
    cancelled.Cancel();  // nothing exists yet: nothing to do
    std::thread canceller([&] {
        while (!cancelled.Cube() || cancelled.Cube()->FProgress.load() < 10)
            std::this_thread::yield();
        cancelled.Cancel();
    });
    try {
        cancelled.BuildPalette(more, 1);
        ADD_FAILURE() << "the count was not cancelled";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error quantizing picture.");
    }
    canceller.join();
    char text[128];
    tall.GetErrorText(text, sizeof(text));
    EXPECT_STREQ(text, "Operation cancelled.");
    EXPECT_LT(cancelled.Cube()->FProgress.load(), tall.Height() - 1);
    cancelled.Release();
}
