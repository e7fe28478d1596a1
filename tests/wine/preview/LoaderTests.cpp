// TPictureLoader on its own thread, against screens of every depth through the display seam:
// what it leaves in the pictures and the palette, and how it ends (finished, failed, cancelled);
// and the sound resource the preview plays.
#include <gtest/gtest.h>

#include <windows.h>
// mmsystem.h needs windows.h first.
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestFolder.h"
#include "imaging/Display.h"
#include "imaging/PictureLoaderUnit.h"

namespace {

struct Rgb {
    BYTE r, g, b;
};

// Writes a 24-bit BMP whose pixel (x, y), y counted from the top, is colour(x, y).
template <typename Colour>
void WriteBmp(const std::string& path, int width, int height, Colour colour) {
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + DWORD(stride) * height;
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(&file, sizeof(file), 1, out);
    std::fwrite(&info, sizeof(info), 1, out);
    std::vector<BYTE> row(stride);
    for (int stored = 0; stored < height; ++stored) {
        const int y = height - 1 - stored;
        for (int x = 0; x < width; ++x) {
            Rgb c = colour(x, y);
            row[x * 3] = c.b;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.r;
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    std::fclose(out);
}

// Four quadrants: red, green, blue, white.
Rgb Quadrants(int x, int y, int width, int height) {
    const bool right = x >= width / 2, bottom = y >= height / 2;
    if (!right && !bottom) return {255, 0, 0};
    if (right && !bottom) return {0, 200, 0};
    if (!right) return {0, 0, 255};
    return {255, 255, 255};
}

class LoaderTest : public ::testing::Test {
protected:
    void SetDepth(int depth) {
        FDisplay = SimulatedDisplay(depth);
        SetDisplayOverride(&FDisplay);
    }
    void TearDown() override { SetDisplayOverride(nullptr); }

    // Loads `path` into FPicture through a loader and waits for it.
    std::unique_ptr<TPictureLoader> Load(const std::string& path, int targetWidth,
                                         int targetHeight) {
        FPath = path;
        FRequest = LoadRequest{FPath.c_str(), nullptr, 0, &FPicture};
        auto loader = std::make_unique<TPictureLoader>(&FRequest, 1, targetWidth, targetHeight, 1);
        loader->WaitFor();
        return loader;
    }

    TestFolder FTemp;
    DisplayInfo FDisplay;
    std::string FPath;
    LoadRequest FRequest;
    ssPicture FPicture;
};

// The colour GDI shows for a pixel of an 8-bit (or 4-bit) picture: its colour-table entry.
Rgb ShownColour(const ssPicture& picture, int x, int storedRow) {
    const BYTE* row = picture.Row(storedRow);
    const int index = picture.BitCount() == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    const RGBQUAD& q = picture.FPalette[index];
    return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

}  // namespace

TEST_F(LoaderTest, TrueColourScreenFitsAndLeavesNoPalette) {
    SetDepth(24);
    const std::string path = FTemp.Path("quadrants.bmp");
    WriteBmp(path, 300, 200, [](int x, int y) { return Quadrants(x, y, 300, 200); });
    auto loader = Load(path, 152, 112);
    EXPECT_FALSE(loader->IsBusy());
    EXPECT_FALSE(loader->Failed()) << loader->ErrorMessage();
    EXPECT_EQ(loader->Palette(), nullptr);
    EXPECT_EQ(loader->ScreenDepth(), 24);
    // 300 x 200 into 152 x 112: 200/112 < 300/152, so the width rule: 152 x 101.
    EXPECT_EQ(FPicture.Width(), 152);
    EXPECT_EQ(FPicture.Height(), 101);
    EXPECT_EQ(FPicture.BitCount(), 24);
    // Not dithered: the top-left pixel (last stored row) is pure red.
    const BYTE* topRow = FPicture.Row(FPicture.Height() - 1);
    EXPECT_EQ(topRow[0], 0);
    EXPECT_EQ(topRow[1], 0);
    EXPECT_EQ(topRow[2], 255);
    // A finished loader leaves the picture's cancel flag set; the next loader clears it.
    EXPECT_TRUE(FPicture.IsCancelled());
    FPicture.FreeBits();
    auto again = Load(path, 0, 0);
    EXPECT_FALSE(again->Failed()) << again->ErrorMessage();
    EXPECT_EQ(FPicture.Width(), 300) << "a target of 0 skips fitting";
}

TEST_F(LoaderTest, SixteenBitScreenDithersWithoutPalette) {
    SetDepth(16);
    const std::string path = FTemp.Path("gradient.bmp");
    WriteBmp(path, 64, 32, [](int x, int y) { return Rgb{BYTE(x * 4), BYTE(y * 8), 77}; });
    auto loader = Load(path, 0, 0);
    EXPECT_FALSE(loader->Failed()) << loader->ErrorMessage();
    EXPECT_EQ(loader->Palette(), nullptr);
    EXPECT_EQ(FPicture.BitCount(), 24);
    EXPECT_EQ(FPicture.Width(), 64);
    // Every channel cut to the screen's bits (red six, green and blue five), and the error
    // carried on: blue 77 alone would always cut to 72, diffused it also shows as 80.
    std::set<int> blues;
    for (int y = 0; y < FPicture.Height(); ++y) {
        const BYTE* row = FPicture.Row(y);
        for (int x = 0; x < FPicture.Width(); ++x) {
            ASSERT_EQ(row[3 * x] & 0x07, 0) << x << "," << y;
            ASSERT_EQ(row[3 * x + 1] & 0x07, 0) << x << "," << y;
            ASSERT_EQ(row[3 * x + 2] & 0x03, 0) << x << "," << y;
            blues.insert(row[3 * x]);
        }
    }
    EXPECT_EQ(blues, (std::set<int>{72, 80}));
}

TEST_F(LoaderTest, PaletteScreenGetsPaletteReservedColoursAndDitheredIndices) {
    SetDepth(8);
    const std::string path = FTemp.Path("quadrants8.bmp");
    WriteBmp(path, 120, 80, [](int x, int y) { return Quadrants(x, y, 120, 80); });
    auto loader = Load(path, 152, 112);
    ASSERT_FALSE(loader->Failed()) << loader->ErrorMessage();
    HPALETTE palette = loader->TakePalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(loader->Palette(), nullptr) << "taken over by the caller";

    PALETTEENTRY entries[256];
    const UINT count = GetPaletteEntries(palette, 0, 256, entries);
    ASSERT_EQ(count, 256u);
    // The reserved system colours keep their places at both ends.
    for (int i = 0; i < 10; ++i) {
        for (int at : {i, 246 + i}) {
            EXPECT_EQ(entries[at].peRed, FDisplay.systemPalette[at].peRed) << "entry " << at;
            EXPECT_EQ(entries[at].peGreen, FDisplay.systemPalette[at].peGreen) << "entry " << at;
            EXPECT_EQ(entries[at].peBlue, FDisplay.systemPalette[at].peBlue) << "entry " << at;
        }
    }
    // Fits already: same size, reduced to 8-bit indices into that palette.
    ASSERT_EQ(FPicture.Width(), 120);
    ASSERT_EQ(FPicture.BitCount(), 8);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(FPicture.FPalette[i].rgbRed, entries[i].peRed) << "colour table " << i;
        EXPECT_EQ(FPicture.FPalette[i].rgbGreen, entries[i].peGreen) << "colour table " << i;
        EXPECT_EQ(FPicture.FPalette[i].rgbBlue, entries[i].peBlue) << "colour table " << i;
    }
    // What Draw shows: each quadrant's centre in (nearly) its own colour.
    struct Probe {
        int x, y;
        Rgb want;
    } probes[] = {{30, 20, {255, 0, 0}},
                  {90, 20, {0, 200, 0}},
                  {30, 60, {0, 0, 255}},
                  {90, 60, {255, 255, 255}}};
    for (const Probe& p : probes) {
        Rgb shown = ShownColour(FPicture, p.x, FPicture.Height() - 1 - p.y);
        EXPECT_NEAR(shown.r, p.want.r, 40) << p.x << "," << p.y;
        EXPECT_NEAR(shown.g, p.want.g, 40) << p.x << "," << p.y;
        EXPECT_NEAR(shown.b, p.want.b, 40) << p.x << "," << p.y;
    }

    // And drawn for real, with the palette selected into a memory DC: the same colours.
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 120, -80, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(target, nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, target);
    HPALETTE oldPalette = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
    EXPECT_TRUE(FPicture.Draw(dc, 0, 0, SRCCOPY));
    GdiFlush();
    for (const Probe& p : probes) {
        const BYTE* pixel = static_cast<const BYTE*>(bits) + (p.y * 120 + p.x) * 4;
        Rgb shown = ShownColour(FPicture, p.x, FPicture.Height() - 1 - p.y);
        EXPECT_EQ(pixel[2], shown.r) << p.x << "," << p.y;
        EXPECT_EQ(pixel[1], shown.g) << p.x << "," << p.y;
        EXPECT_EQ(pixel[0], shown.b) << p.x << "," << p.y;
    }
    SelectPalette(dc, oldPalette, FALSE);
    SelectObject(dc, oldBitmap);
    DeleteObject(target);
    DeleteDC(dc);
    DeleteObject(palette);
}

TEST_F(LoaderTest, SixteenColourScreenGetsASmallPalette) {
    SetDepth(4);
    const std::string path = FTemp.Path("quadrants4.bmp");
    WriteBmp(path, 40, 40, [](int x, int y) { return Quadrants(x, y, 40, 40); });
    auto loader = Load(path, 0, 0);
    ASSERT_FALSE(loader->Failed()) << loader->ErrorMessage();
    HPALETTE palette = loader->TakePalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 16u);
    EXPECT_EQ(FPicture.BitCount(), 4);
    DeleteObject(palette);
}

TEST_F(LoaderTest, AFailureIsKeptAsItsMessage) {
    SetDepth(24);
    auto loader = Load(FTemp.Path("missing.bmp"), 152, 112);
    EXPECT_FALSE(loader->IsBusy());
    ASSERT_TRUE(loader->Failed());
    EXPECT_NE(loader->ErrorMessage().find("Error loading picture."), std::string::npos)
        << loader->ErrorMessage();
    EXPECT_FALSE(FPicture.HasPixels());

    TPictureLoader nothing(nullptr, 1, 0, 0, 1);
    nothing.WaitFor();
    EXPECT_FALSE(nothing.IsBusy());
    EXPECT_EQ(nothing.ErrorMessage(), "Internal error, NULL parameter passed to picture loader.");
}

TEST_F(LoaderTest, CancelStopsALongLoadAndJoins) {
    // A 6000 x 4000 picture on a palette screen: loaded, quantised and dithered whole it takes
    // seconds. Cancelled while it loads, the loader ends within 200 ms (and in a fifth of the
    // whole run's time), the load cancelled and no pixels left.
    SetDepth(8);
    const std::string path = FTemp.Path("large.bmp");
    WriteBmp(path, 6000, 4000, [](int x, int y) { return Rgb{BYTE(x), BYTE(y), BYTE(x ^ y)}; });
    FPath = path;
    FRequest = LoadRequest{FPath.c_str(), nullptr, 0, &FPicture};
    using Clock = std::chrono::steady_clock;
    const auto wholeStart = Clock::now();
    {
        TPictureLoader whole(&FRequest, 1, 0, 0, 1);
        whole.WaitFor();
        ASSERT_FALSE(whole.Failed()) << whole.ErrorMessage();
        if (HPALETTE palette = whole.TakePalette()) DeleteObject(palette);
    }
    const auto wholeTime = Clock::now() - wholeStart;
    ASSERT_EQ(FPicture.BitCount(), 8);
    FPicture.FreeBits();

    const std::uint64_t before = PixelBlockBytes();
    {
        TPictureLoader loader(&FRequest, 1, 0, 0, 1);
        EXPECT_TRUE(loader.IsBusy());
        // Cancelled once the read is under way (its pixel block exists); a loader cancelled
        // before its thread runs never loads at all.
        const auto pollStart = Clock::now();
        while (PixelBlockBytes() == before && Clock::now() - pollStart < std::chrono::seconds(10)) {
            std::this_thread::yield();
        }
        ASSERT_GT(PixelBlockBytes(), before) << "the load never started";
        const auto cancelStart = Clock::now();
        loader.Cancel();
        EXPECT_FALSE(loader.IsBusy());
        loader.WaitFor();
        const auto cancelTime = Clock::now() - cancelStart;
        EXPECT_TRUE(loader.Finished());
        EXPECT_LT(cancelTime, std::chrono::milliseconds(200));
        EXPECT_LT(cancelTime * 5, wholeTime);
        EXPECT_NE(loader.ErrorMessage().find("Error loading picture. Operation cancelled."),
                  std::string::npos)
            << loader.ErrorMessage();
        EXPECT_EQ(FPicture.GetError(), ERR_CANCELLED);
        EXPECT_FALSE(FPicture.HasPixels());
        EXPECT_EQ(loader.Palette(), nullptr);
    }
    EXPECT_EQ(PixelBlockBytes(), before) << "a cancelled load leaves no pixel block behind";
}

// The preview's sound as the saver carries it: a WAVE resource "MusicSound" holding RIFF PCM,
// mono, 11,025 Hz, 16 bits, with exactly 30,142 bytes of samples.
TEST(MusicSound, IsTheWaveResourceThePreviewPlays) {
    const char* saver = std::getenv("SAVERPAK_SAVER");
    ASSERT_NE(saver, nullptr) << "SAVERPAK_SAVER names the built saver";
    // ctest hands over a host path; Wine's drive Z: is the host's root.
    std::string path = saver[0] == '/' ? std::string("Z:") + saver : std::string(saver);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << path;
    HRSRC found = FindResourceA(module, "MUSICSOUND", "WAVE");
    ASSERT_NE(found, nullptr);
    const DWORD size = SizeofResource(module, found);
    const BYTE* wave = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(wave, nullptr);
    ASSERT_GE(size, 44u);
    auto dword = [&](DWORD at) {
        DWORD value;
        std::memcpy(&value, wave + at, 4);
        return value;
    };
    auto word = [&](DWORD at) {
        WORD value;
        std::memcpy(&value, wave + at, 2);
        return value;
    };
    EXPECT_EQ(std::memcmp(wave, "RIFF", 4), 0);
    EXPECT_EQ(dword(4), size - 8);
    EXPECT_EQ(std::memcmp(wave + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(dword(16), 16u);
    EXPECT_EQ(word(20), WAVE_FORMAT_PCM);
    EXPECT_EQ(word(22), 1) << "channels";
    EXPECT_EQ(dword(24), 11025u) << "samples a second";
    EXPECT_EQ(dword(28), 22050u) << "bytes a second";
    EXPECT_EQ(word(32), 2) << "block align";
    EXPECT_EQ(word(34), 16) << "bits a sample";
    EXPECT_EQ(std::memcmp(wave + 36, "data", 4), 0);
    EXPECT_EQ(dword(40), 30142u);
    EXPECT_EQ(size, 44u + 30142u);
    // Not silence, and it fades out to nothing at the end.
    int loudest = 0;
    for (DWORD at = 44; at + 1 < size; at += 2) {
        loudest = std::max(loudest, std::abs(static_cast<int>(static_cast<short>(word(at)))));
    }
    EXPECT_GT(loudest, 8000);
    EXPECT_LT(std::abs(static_cast<int>(static_cast<short>(word(size - 2)))), 64);
    FreeLibrary(module);
}
