#include "framework/Dpi.h"

#include "support/Handles.h"

namespace fw {

namespace {

// One of user32's newer exports, or null where this system has none.
template <typename Function>
Function User32Export(const char* name) {
    HMODULE user32 = ::GetModuleHandleA("user32.dll");
    return user32
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
               : nullptr;
}

using GetDpiForSystemFunction = UINT(WINAPI*)();
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

}  // namespace

UINT SystemDpi() {
    static const auto getDpiForSystem = User32Export<GetDpiForSystemFunction>("GetDpiForSystem");
    if (getDpiForSystem) {
        if (UINT dpi = getDpiForSystem()) return dpi;
    }
    ScopedWindowDC screen(nullptr);
    const int dpi = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = User32Export<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        if (UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return SystemDpi();
}

int ScaleForDpi(int value, UINT dpi) {
    return ::MulDiv(value, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}

RECT WindowRectForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi =
        User32Export<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    RECT r = {0, 0, clientWidth, clientHeight};
    // At the system DPI the classic call says the same, on every system.
    if (dpi == SystemDpi() || !adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, dpi)) {
        r = {0, 0, clientWidth, clientHeight};
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return r;
}

}  // namespace fw
