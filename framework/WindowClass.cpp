#include "framework/WindowClass.h"

namespace fw {

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

void RegisterWindowClass(const char* className, WNDPROC procedure, UINT classStyle, bool visible) {
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExA(Instance(), className, &existing)) return;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = procedure;
    wc.hInstance = Instance();
    if (visible) {
        wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        wc.hIcon = ::LoadIconA(Instance(), MAKEINTRESOURCEA(1));
    }
    wc.lpszClassName = className;
    ::RegisterClassExA(&wc);
}

void SetWindowObject(HWND window, const void* object) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
}

}  // namespace fw
