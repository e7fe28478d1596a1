// Window classes of this program and the object each window of ours serves.
//
// Every window the framework makes (a control's, a timer's, the application's) keeps a pointer
// to its object in its user data, so that the class's one window procedure can find it.
#pragma once

#include <windows.h>

namespace fw {

// This program's module, the instance its classes are registered for.
HINSTANCE Instance();

// Registers a window class of this module once; `visible` classes get the program's icon and
// the arrow cursor.
void RegisterWindowClass(const char* className, WNDPROC procedure, UINT classStyle, bool visible);

// The object stored in the window's user data; null when none (or after it was cleared).
template <typename T>
T* WindowObject(HWND window) {
    return reinterpret_cast<T*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}
void SetWindowObject(HWND window, const void* object);

}  // namespace fw
