#include "framework/Canvas.h"

#include <cstring>

#include "support/Text.h"

namespace fw {

COLORREF ColorToRGB(TColor color) {
    if (color & kSystemColorFlag) return ::GetSysColor(static_cast<int>(color & 0xFF));
    return color;
}

void FillSolidRect(HDC dc, const RECT& rect, TColor color) {
    UniqueBrush brush(::CreateSolidBrush(ColorToRGB(color)));
    ::FillRect(dc, &rect, brush.Get());
}

// ---- TFont ----

TFont& TFont::operator=(const TFont& other) {
    bool same = FName == other.FName && FSize == other.FSize && FColor == other.FColor &&
                FStyle == other.FStyle && FDpi == other.FDpi;
    if (this != &other && !same) {
        FName = other.FName;
        FSize = other.FSize;
        FColor = other.FColor;
        FStyle = other.FStyle;
        FDpi = other.FDpi;
        FHandle.Reset();
    }
    return *this;
}

void TFont::SetDpi(UINT dpi) {
    if (dpi == FDpi) return;
    FDpi = dpi;
    FHandle.Reset();
}

HFONT TFont::Handle() {
    if (!FHandle) {
        LOGFONTA lf = {};
        int pixelsPerInch = static_cast<int>(FDpi);
        if (!pixelsPerInch) {
            ScopedWindowDC screen(nullptr);
            pixelsPerInch = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
        }
        lf.lfHeight = -::MulDiv(FSize, pixelsPerInch, 72);
        lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (FStyle & fsItalic) ? 1 : 0;
        lf.lfUnderline = (FStyle & fsUnderline) ? 1 : 0;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::strncpy(lf.lfFaceName, FName.c_str(), LF_FACESIZE - 1);
        FHandle.Reset(::CreateFontIndirectA(&lf));
    }
    return FHandle.Get();
}

// ---- TCanvas ----

void TCanvas::FillRect(const RECT& rect) {
    if (!FDC) return;
    FillSolidRect(FDC, rect, BrushColor);
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    if (!FDC) return;
    ScopedSelectObject font(FDC, Font.Handle());
    ::SetBkMode(FDC, OPAQUE);
    ::SetBkColor(FDC, ColorToRGB(BrushColor));
    ::SetTextColor(FDC, ColorToRGB(Font.Color()));
    // GDI's "A" text calls read the font's code page, not the process's (UTF-8 under the
    // saver's manifest): the text goes to the "W" call.
    std::wstring wide = WideText(text);
    ::TextOutW(FDC, x, y, wide.data(), static_cast<int>(wide.size()));
}

SIZE TCanvas::TextExtent(const std::string& text) {
    SIZE size = {0, 0};
    if (!FDC) return size;
    ScopedSelectObject font(FDC, Font.Handle());
    if (text.empty()) {
        TEXTMETRICA tm = {};
        ::GetTextMetricsA(FDC, &tm);
        size.cy = tm.tmHeight;
        return size;
    }
    std::wstring wide = WideText(text);
    ::GetTextExtentPoint32W(FDC, wide.data(), static_cast<int>(wide.size()), &size);
    return size;
}

}  // namespace fw
