// What the in-process tests under Wine share: a hidden window, a scratch registry key and the
// folder a module came from.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "support/Path.h"

// A hidden top-level window: a real handle for the command line and an owner for dialogs.
class TestWindow {
public:
    TestWindow() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "ShellTestWindow";
        ::RegisterClassA(&wc);
        FWindow = ::CreateWindowExA(0, "ShellTestWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                    nullptr, wc.hInstance, nullptr);
    }
    ~TestWindow() { ::DestroyWindow(FWindow); }
    HWND Get() const { return FWindow; }
    std::string Number() const {
        return std::to_string(static_cast<long long>(reinterpret_cast<LONG_PTR>(FWindow)));
    }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        return ::DefWindowProcA(w, m, wp, lp);
    }
    HWND FWindow;
};

// A registry key below HKEY_CURRENT_USER that is gone again after the test.
class ScratchKey {
public:
    explicit ScratchKey(std::string path) : FPath(std::move(path)) { Delete(); }
    ~ScratchKey() { Delete(); }
    const std::string& Path() const { return FPath; }
    void SetDword(const char* name, DWORD value) {
        ::RegSetKeyValueA(HKEY_CURRENT_USER, FPath.c_str(), name, REG_DWORD, &value, sizeof(value));
    }
    void SetBytes(const char* name, DWORD type, const void* data, DWORD size) {
        ::RegSetKeyValueA(HKEY_CURRENT_USER, FPath.c_str(), name, type, data, size);
    }
    DWORD GetDword(const char* name) {
        DWORD value = 0, size = sizeof(value);
        ::RegGetValueA(HKEY_CURRENT_USER, FPath.c_str(), name, RRF_RT_ANY, nullptr, &value, &size);
        return value;
    }

private:
    void Delete() {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, FPath.c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, FPath.c_str());
    }
    std::string FPath;
};

// The folder of a module of this process (nullptr: the program).
inline std::string ModuleFolder(HMODULE module) {
    char path[kPathSize];
    if (!ModuleFileName(module, path)) return "";
    char folder[kPathSize];
    SplitPath(path, folder, sizeof(folder), nullptr, 0);
    return folder;
}
