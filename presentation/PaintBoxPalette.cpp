#include "presentation/PaintBoxPalette.h"

ScopedPaintPalette::ScopedPaintPalette(HDC dc, HPALETTE palette)
    : FSelected(dc, palette, false), FChanged(palette && RealizePalette(dc) != 0) {}

namespace {

void RealizeIn(fw::TPaintBox& box, HPALETTE palette) {
    if (!box.HandleIfCreated()) return;
    ScopedPaintPalette selected(box.Canvas().Handle(), palette);
    if (selected.Changed()) box.Invalidate();
}

}  // namespace

void RealizePaletteOnMessage(const fw::TMessage& message, HWND window, fw::TPaintBox& box,
                             HPALETTE palette) {
    if (!palette) return;
    switch (message.Msg) {
        case WM_QUERYNEWPALETTE:
            RealizeIn(box, palette);
            break;
        case WM_PALETTECHANGED:
            if (reinterpret_cast<HWND>(message.WParam) != window) RealizeIn(box, palette);
            break;
    }
}
