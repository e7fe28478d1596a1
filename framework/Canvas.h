// Colours, fonts and the canvas that draws with them on a device context.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "support/Handles.h"

namespace fw {

// A colour: an RGB value, or a system colour index with the top bit set.
using TColor = DWORD;
constexpr TColor kSystemColorFlag = 0x80000000;
constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clAqua = RGB(0, 255, 255);
constexpr TColor clWindowText = kSystemColorFlag | COLOR_WINDOWTEXT;
constexpr TColor clBtnFace = kSystemColorFlag | COLOR_BTNFACE;
constexpr TColor clInfoBk = kSystemColorFlag | COLOR_INFOBK;
COLORREF ColorToRGB(TColor color);

// Fills the rectangle with a solid brush of the colour.
void FillSolidRect(HDC dc, const RECT& rect, TColor color);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4 };

// A font description and the GDI font made from it on demand. The size is in points; the
// font's pixels follow the DPI of the window it is used on (0: the screen's logical pixels).
class TFont {
public:
    TFont() = default;
    TFont(std::string name, int size, TColor color = clWindowText, unsigned style = 0)
        : FName(std::move(name)), FSize(size), FColor(color), FStyle(style) {}
    TFont(const TFont& other) : TFont(other.FName, other.FSize, other.FColor, other.FStyle) {
        FDpi = other.FDpi;
    }
    TFont& operator=(const TFont& other);

    const std::string& Name() const { return FName; }
    int Size() const { return FSize; }
    TColor Color() const { return FColor; }
    unsigned Style() const { return FStyle; }
    void SetColor(TColor color) { FColor = color; }
    UINT Dpi() const { return FDpi; }
    void SetDpi(UINT dpi);
    HFONT Handle();

private:
    std::string FName = "MS Sans Serif";
    int FSize = 8;
    TColor FColor = clWindowText;
    unsigned FStyle = 0;
    UINT FDpi = 0;
    UniqueFont FHandle;
};

// Drawing on a device context with the current brush and font.
class TCanvas {
public:
    void SetHandle(HDC dc) { FDC = dc; }
    HDC Handle() const { return FDC; }
    TColor BrushColor = clWhite;
    TFont Font;

    void FillRect(const RECT& rect);
    // Draws opaque, the text's background in the brush colour.
    void TextOut(int x, int y, const std::string& text);
    SIZE TextExtent(const std::string& text);

private:
    HDC FDC = nullptr;
};

}  // namespace fw
