// cBitmap::Draw through StretchDIBits into a memory bitmap, and the display seam on a real
// screen.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/Bitmap.h"
#include "imaging/Display.h"

namespace {

// A 32-bit memory bitmap selected into a memory DC, released at the end.
class Canvas {
public:
    Canvas(int width, int height) {
        FDc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        FBitmap = CreateDIBSection(FDc, &info, DIB_RGB_COLORS, &FBits, nullptr, 0);
        FOld = SelectObject(FDc, FBitmap);
        std::memset(FBits, 0x11, std::size_t(width) * height * 4);
    }
    ~Canvas() {
        SelectObject(FDc, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC Dc() const { return FDc; }

private:
    HDC FDc = nullptr;
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOld = nullptr;
    void* FBits = nullptr;
};

}  // namespace

TEST(Draw, CopiesTheBitmapOneToOne) {
    cBitmap b;
    b.FHeader.biSize = 40;
    b.FHeader.biWidth = 3;
    b.FHeader.biHeight = 2;
    b.FHeader.biPlanes = 1;
    b.FHeader.biBitCount = 8;
    ASSERT_EQ(b.AllocateBits(), 0);
    b.FPalette[1] = {255, 0, 0, 0};    // blue
    b.FPalette[2] = {0, 128, 255, 0};  // orange
    b.FPalette[3] = {10, 20, 30, 0};
    const BYTE bottom[4] = {1, 2, 3, 0};
    const BYTE top[4] = {3, 3, 1, 0};
    std::memcpy(b.Row(0), bottom, 4);
    std::memcpy(b.Row(1), top, 4);

    Canvas canvas(8, 8);
    ASSERT_TRUE(b.Draw(canvas.Dc(), 2, 3, SRCCOPY));
    EXPECT_EQ(GetPixel(canvas.Dc(), 2, 3), RGB(30, 20, 10));  // top row, left
    EXPECT_EQ(GetPixel(canvas.Dc(), 4, 3), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(canvas.Dc(), 2, 4), RGB(0, 0, 255));  // bottom row
    EXPECT_EQ(GetPixel(canvas.Dc(), 3, 4), RGB(255, 128, 0));
    EXPECT_EQ(GetPixel(canvas.Dc(), 5, 4), RGB(0x11, 0x11, 0x11));  // outside: untouched
    b.FreeBits();
}

TEST(Display, RealScreenAndOverride) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    const bool palette = (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(ScreenBitsPerPixel(), bits);
    EXPECT_EQ(IsPaletteDisplay(), palette);

    const DisplayInfo eight = SimulatedDisplay(8);
    SetDisplayOverride(&eight);
    EXPECT_EQ(ScreenBitsPerPixel(), 8);
    EXPECT_TRUE(IsPaletteDisplay());
    EXPECT_EQ(DisplayPaletteSize(), 256);
    EXPECT_EQ(ReservedColorCount(), 20);
    SetDisplayOverride(nullptr);
    EXPECT_EQ(ScreenBitsPerPixel(), bits);
}
