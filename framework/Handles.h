// Owning wrappers for the Win32 handles the framework and the shell hold.
//
// One move-only type per kind of handle, each with the empty value that its API uses, so no
// exit path has to remember a CloseHandle, DeleteObject or ReleaseDC.
#pragma once

#include <windows.h>

#include <utility>

#include "support/Handles.h"

namespace fw {

using ::UniqueAny;
using ::CloseKernelHandle;
using ::UniqueHandle;  // threads, events, processes
inline void DeleteGdiObject(HGDIOBJ h) { ::DeleteObject(h); }
inline void DestroyWindowHandle(HWND h) { ::DestroyWindow(h); }
inline void FreeLibraryHandle(HMODULE h) { ::FreeLibrary(h); }
inline void CloseRegistryKey(HKEY h) { ::RegCloseKey(h); }

using UniqueGdiObject = UniqueAny<HGDIOBJ, DeleteGdiObject>;  // fonts, brushes, palettes
using UniqueFont = UniqueAny<HFONT, DeleteGdiObject>;
using UniqueBrush = UniqueAny<HBRUSH, DeleteGdiObject>;
using UniqueWindow = UniqueAny<HWND, DestroyWindowHandle>;
using UniqueLibrary = UniqueAny<HMODULE, FreeLibraryHandle>;
using UniqueKey = UniqueAny<HKEY, CloseRegistryKey>;

// GetDC / ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : FWindow(window), FDC(::GetDC(window)) {}
    ~WindowDC() {
        if (FDC) ::ReleaseDC(FWindow, FDC);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWindow;
    HDC FDC;
};

// BeginPaint / EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND window) : FWindow(window) { FDC = ::BeginPaint(window, &FPaint); }
    ~PaintDC() { ::EndPaint(FWindow, &FPaint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC Get() const { return FDC; }
    const RECT& Area() const { return FPaint.rcPaint; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint = {};
    HDC FDC = nullptr;
};

// SelectObject that puts the previous object back when the scope ends.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object)
        : FDC(dc), FOld(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (FOld) ::SelectObject(FDC, FOld);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

}  // namespace fw
