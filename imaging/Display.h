// What the imaging code asks about the screen: its depth, whether it is a palette display,
// its palette size, its reserved colours and its system palette.
//
// All of it goes through one seam, so the tests and `saverpak preview` can prepare pictures as
// they would appear on a screen of any depth, on any machine. Without an override the real
// screen is asked on Windows; elsewhere there is no screen and the answer is a true-colour one.
#pragma once

#include "support/Platform.h"

struct DisplayInfo {
    int bitsPerPixel = 24;                 // GetDeviceCaps(BITSPIXEL)
    bool hasPalette = false;               // RASTERCAPS has RC_PALETTE
    int sizePalette = 0;                   // GetDeviceCaps(SIZEPALETTE), palette displays
    int numColors = -1;                    // GetDeviceCaps(NUMCOLORS), other displays
    int numReserved = 20;                  // GetDeviceCaps(NUMRESERVED)
    PALETTEENTRY systemPalette[256] = {};  // GetSystemPaletteEntries, palette displays
};

// The display as a screen of `bitsPerPixel` would report it: 8 bits or fewer with a palette of
// 1 << depth entries whose 20 static colours (at 8 bits) are the system's defaults; 4 bits and
// fewer as a 16-colour device without a palette; more than 8 bits as true colour.
DisplayInfo SimulatedDisplay(int bitsPerPixel);

// Makes every display query answer from `info` (copied); null returns to the real screen.
// Set it before any loader thread runs.
void SetDisplayOverride(const DisplayInfo* info);

// The screen's bits per pixel.
int ScreenBitsPerPixel();
// The display palette size: SIZEPALETTE on palette displays, else NUMCOLORS (may be -1).
int DisplayPaletteSize();
bool IsPaletteDisplay();
int ReservedColorCount();
// Copies the first `count` (at most 256) entries of the system palette.
void GetSystemPalette(PALETTEENTRY* entries, int count);
