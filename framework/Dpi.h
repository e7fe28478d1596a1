// Pixels per inch and the scaling of 96-DPI designs.
//
// Windows are designed in pixels at 96 DPI (100 %) and laid out at the DPI of the monitor they
// are on. The per-window calls arrived with Windows 10 (GetDpiForWindow, 1607) and are looked
// up at run time, so that the saver still starts where they are missing; there the system DPI
// (the screen's LOGPIXELSX) stands for every window.
#pragma once

#include <windows.h>

namespace fw {

constexpr UINT kDesignDpi = USER_DEFAULT_SCREEN_DPI;

// The system DPI: GetDpiForSystem where the system has it, else the screen's LOGPIXELSX.
UINT SystemDpi();
// The DPI of the monitor the window is on, or the system DPI where that cannot be asked.
UINT WindowDpi(HWND window);
// A length of a 96-DPI design at `dpi`, rounded to the nearest pixel (an identity at 96).
int ScaleForDpi(int value, UINT dpi);
// The window rectangle around a client area of that size at `dpi`, with the frame of `dpi`
// where the system can say (AdjustWindowRectExForDpi), else with the system's frame.
RECT WindowRectForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace fw
