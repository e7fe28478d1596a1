// Owning types for every kind of handle the saver holds, one move-only type per kind, each with
// the empty value its API uses, so that no exit path has to remember a CloseHandle, FindClose,
// GlobalFree or DeleteObject. `Unique...` types own what they hold; `Scoped...` types undo one
// pairing (GetDC, BeginPaint, SelectObject) when the scope ends.
//
// The kernel kinds and the memory kinds serve the portable core on both builds; the window and
// drawing kinds exist on Windows only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <type_traits>
#include <utility>

#include "support/Platform.h"

// Owns a handle of type T that `Close` releases. `EmptyBits` is the value meaning "no handle":
// 0 for most kinds, -1 for the kinds whose failure value is INVALID_HANDLE_VALUE.
template <typename T, auto Close, std::intptr_t EmptyBits = 0>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : FValue(value) {}
    ~UniqueAny() { Reset(); }
    UniqueAny(UniqueAny&& other) noexcept : FValue(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    static T Empty() {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<T>(EmptyBits);
        } else {
            return static_cast<T>(EmptyBits);
        }
    }
    T Get() const { return FValue; }
    explicit operator bool() const { return FValue != Empty(); }
    T Release() { return std::exchange(FValue, Empty()); }
    void Reset(T value = Empty()) {
        T old = std::exchange(FValue, value);
        if (old != Empty()) Close(old);
    }

private:
    T FValue = Empty();
};

inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void CloseFindHandle(HANDLE h) { ::FindClose(h); }
inline void FreeGlobalMemory(HGLOBAL h) { ::GlobalFree(h); }

// Threads, processes, events: empty at NULL.
using UniqueHandle = UniqueAny<HANDLE, CloseKernelHandle>;
using UniqueJob = UniqueHandle;
using UniqueMutex = UniqueHandle;
// What CreateFile returns: empty at INVALID_HANDLE_VALUE, so the result can be kept unchecked.
using UniqueFile = UniqueAny<HANDLE, CloseKernelHandle, -1>;
// What FindFirstFile returns: empty at INVALID_HANDLE_VALUE.
using UniqueFind = UniqueAny<HANDLE, CloseFindHandle, -1>;
using UniqueGlobal = UniqueAny<HGLOBAL, FreeGlobalMemory>;
// A C stream (the tool's files; the tool opens them by path with OpenStream, io/PathText.h).
inline void CloseStream(std::FILE* f) { std::fclose(f); }
using UniqueStream = UniqueAny<std::FILE*, CloseStream>;
// Releases a block kept locked for as long as it is held, as a bitmap's pixels are: unlocked,
// then freed (imaging's UniquePixelBlock owns such blocks).
inline void UnlockAndFreeGlobalMemory(HGLOBAL h) {
    ::GlobalUnlock(h);
    ::GlobalFree(h);
}

// A block from malloc or calloc, for the C-style buffers of imaging that report a failed
// allocation as an error code instead of throwing.
struct FreeMemory {
    void operator()(void* block) const { std::free(block); }
};
template <typename T>
using UniqueMemory = std::unique_ptr<T, FreeMemory>;

#ifdef _WIN32

inline void CloseRegistryKey(HKEY h) { ::RegCloseKey(h); }
inline void DeleteGdiObject(HGDIOBJ h) { ::DeleteObject(h); }
inline void DestroyWindowHandle(HWND h) { ::DestroyWindow(h); }
inline void FreeLibraryHandle(HMODULE h) { ::FreeLibrary(h); }
inline void UnhookHook(HHOOK h) { ::UnhookWindowsHookEx(h); }
inline void DeleteMemoryDC(HDC h) { ::DeleteDC(h); }

using UniqueKey = UniqueAny<HKEY, CloseRegistryKey>;
using UniqueFont = UniqueAny<HFONT, DeleteGdiObject>;
using UniqueBrush = UniqueAny<HBRUSH, DeleteGdiObject>;
using UniquePalette = UniqueAny<HPALETTE, DeleteGdiObject>;
using UniqueWindow = UniqueAny<HWND, DestroyWindowHandle>;
using UniqueLibrary = UniqueAny<HMODULE, FreeLibraryHandle>;
using UniqueHook = UniqueAny<HHOOK, UnhookHook>;
using UniqueBitmap = UniqueAny<HBITMAP, DeleteGdiObject>;
// A DC of CreateCompatibleDC (never one of GetDC, which ScopedWindowDC releases).
using UniqueMemoryDC = UniqueAny<HDC, DeleteMemoryDC>;

// A process and its first thread, as CreateProcess hands them over.
class UniqueProcessInformation {
public:
    UniqueProcessInformation() = default;
    explicit UniqueProcessInformation(const PROCESS_INFORMATION& started)
        : FProcess(started.hProcess), FThread(started.hThread) {}
    HANDLE Process() const { return FProcess.Get(); }
    HANDLE Thread() const { return FThread.Get(); }
    explicit operator bool() const { return static_cast<bool>(FProcess); }
    void Reset() {
        FThread.Reset();
        FProcess.Reset();
    }

private:
    UniqueHandle FProcess;
    UniqueHandle FThread;
};

// GetDC / ReleaseDC.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND window) : FWindow(window), FDC(::GetDC(window)) {}
    ~ScopedWindowDC() {
        if (FDC) ::ReleaseDC(FWindow, FDC);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWindow;
    HDC FDC;
};

// BeginPaint / EndPaint.
class ScopedPaintDC {
public:
    explicit ScopedPaintDC(HWND window) : FWindow(window) { FDC = ::BeginPaint(window, &FPaint); }
    ~ScopedPaintDC() { ::EndPaint(FWindow, &FPaint); }
    ScopedPaintDC(const ScopedPaintDC&) = delete;
    ScopedPaintDC& operator=(const ScopedPaintDC&) = delete;
    HDC Get() const { return FDC; }
    const RECT& Area() const { return FPaint.rcPaint; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint = {};
    HDC FDC = nullptr;
};

// SelectObject that puts the previous object back when the scope ends.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object)
        : FDC(dc), FOld(object ? ::SelectObject(dc, object) : nullptr) {}
    ~ScopedSelectObject() {
        if (FOld) ::SelectObject(FDC, FOld);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// SelectPalette that puts the previous palette back when the scope ends; nothing without a
// palette.
class ScopedSelectPalette {
public:
    ScopedSelectPalette(HDC dc, HPALETTE palette, bool background)
        : FDC(dc), FOld(palette ? ::SelectPalette(dc, palette, background) : nullptr) {}
    ~ScopedSelectPalette() {
        if (FOld) ::SelectPalette(FDC, FOld, FALSE);
    }
    ScopedSelectPalette(const ScopedSelectPalette&) = delete;
    ScopedSelectPalette& operator=(const ScopedSelectPalette&) = delete;

private:
    HDC FDC;
    HPALETTE FOld;
};

#endif  // _WIN32
