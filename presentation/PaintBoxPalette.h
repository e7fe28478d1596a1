// A paint box that shows a picture reduced to a palette, on a screen of 256 colours or fewer:
// the palette goes into the box's DC for every paint, and the window realises it again when it
// gains the focus or another window changed the system palette. The preview and the
// configuration dialog's logo both do this, through these two.
#pragma once

#include "framework/PaintBox.h"
#include "framework/WinControl.h"
#include "support/Handles.h"

// Selects `palette` (when there is one) into `dc` and realises it; the DC's previous palette is
// back when the scope ends.
class ScopedPaintPalette {
public:
    ScopedPaintPalette(HDC dc, HPALETTE palette);
    // Whether realising it changed the system palette (what is shown must be drawn again).
    bool Changed() const { return FChanged; }

private:
    ScopedSelectPalette FSelected;
    bool FChanged = false;
};

// Answers WM_QUERYNEWPALETTE and WM_PALETTECHANGED (not of `window`'s own making) for the form
// `window` whose `box` shows `palette`: the palette is realised in the box's DC, and the box
// repainted when that changed the system palette. Other messages, and no palette, do nothing.
// The form's own window procedure goes on as before either way.
void RealizePaletteOnMessage(const fw::TMessage& message, HWND window, fw::TPaintBox& box,
                             HPALETTE palette);
