#include "shell/SaverServices.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "support/Handles.h"
#include "support/Path.h"

namespace {

constexpr REGSAM kDesktopAccess = 0x2001F;  // query, set, create, enumerate, notify, read control

// The version as the system reports it to a program without a compatibility manifest; only the
// family and the major version matter here.
OSVERSIONINFOA SystemVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExA(&info);
#pragma GCC diagnostic pop
    return info;
}

bool SaverDesktopExists() {
    HDESK desktop = ::OpenDesktopA("screen-saver", 0, FALSE, MAXIMUM_ALLOWED);
    if (desktop) {
        ::CloseDesktop(desktop);
        return true;
    }
    // It exists but we may not open it: the system is showing a saver there.
    return ::GetLastError() == ERROR_ACCESS_DENIED;
}

SaverPlatform ThisPlatform() {
    OSVERSIONINFOA version = SystemVersion();
    return {version.dwPlatformId, version.dwMajorVersion, IsPasswordConfigured,
            SystemSaverRunningFlag, SaverDesktopExists};
}

}  // namespace

bool cReg::Open(HKEY root, const char* keyPath, const char* subKey) {
    std::string path = keyPath ? keyPath : "";
    if (subKey && *subKey) path += std::string("\\") + subKey;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, kDesktopAccess, &key) != ERROR_SUCCESS) {
        return false;
    }
    FKey = key;
    return true;
}

void cReg::Close() {
    if (FKey) ::RegCloseKey(FKey);
    FKey = nullptr;
}

DWORD cReg::QueryDword(const char* name, DWORD fallback) {
    if (!FKey) return fallback;
    DWORD type = REG_DWORD, value = 0, size = sizeof(value);
    if (::RegQueryValueExA(FKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS) {
        return fallback;
    }
    return value;
}

DWORD cReg::QueryString(const char* name, char* buffer, std::size_t size, const char* fallback) {
    if (!buffer || size == 0) return 0;
    if (FKey) {
        DWORD type = REG_SZ, got = static_cast<DWORD>(size);
        if (::RegQueryValueExA(FKey, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &got) ==
            ERROR_SUCCESS) {
            // A value stored without its terminator may fill the buffer to the last byte;
            // such a text is as unreadable as a longer one.
            if (got < size) {
                buffer[got] = '\0';
                return got;
            }
            if (got == size && buffer[size - 1] == '\0') return got;
        }
    }
    const char* text = fallback ? fallback : "";
    std::size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return 0;
}

bool IsPasswordConfigured() {
    cReg reg;
    if (!reg.Open(HKEY_CURRENT_USER, "Control Panel\\Desktop", "")) return false;
    ScopedRegClose closer(reg);
    char secure[32];
    reg.QueryString("ScreenSaverIsSecure", secure, sizeof(secure), "0");
    DWORD usePassword = reg.QueryDword("ScreenSaveUsePassword", 0);
    if (usePassword != 0) return true;
    return std::strcmp(secure, "0") != 0;
}

HMODULE LoadSystemLibrary(const char* name) {
    // Searched for by bare name, a library would also be taken from the saver's own folder, the
    // current folder and PATH: a copy planted there (PASSWORD.CPL is absent from the NT
    // family's system folder) would run inside the saver.
    HMODULE library = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library || ::GetLastError() != ERROR_INVALID_PARAMETER) return library;
    // A system that does not know the flag: the full path names the system folder instead.
    char folder[kPathSize], path[kPathSize];
    UINT length = ::GetSystemDirectoryA(folder, sizeof(folder));
    if (length == 0 || length >= sizeof(folder) || !JoinPath(path, sizeof(path), folder, name)) {
        return nullptr;
    }
    return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

INT_PTR ShellExecuteCommand(const char* command) {
    // Kept to the end of the process, never freed: what ShellExecute starts may still run in
    // the library's code (its threads, the objects it hands to the system) after it returns.
    static HMODULE shell = nullptr;
    if (!shell) shell = LoadSystemLibrary("SHELL32.DLL");
    if (!shell) return 0;
    using ExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    auto execute = LibraryFunction<ExecuteFunction>(shell, "ShellExecuteA");
    if (!execute) return 0;
    return reinterpret_cast<INT_PTR>(execute(nullptr, nullptr, command, nullptr, nullptr, SW_SHOW));
}

void RestrictLibrarySearch() {
    // Looked up, not imported: older systems lack it, and the saver must still start there.
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    auto set = LibraryFunction<SetDirectories>(::GetModuleHandleA("kernel32.dll"),
                                               "SetDefaultDllDirectories");
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool VerifyPassword(HWND window) {
    UniqueLibrary library(LoadSystemLibrary("PASSWORD.CPL"));
    if (!library) return true;
    using VerifyFunction = BOOL(WINAPI*)(HWND);
    auto verify = LibraryFunction<VerifyFunction>(library.Get(), "VerifyScreenSavePwd");
    if (!verify) return true;
    // The saver hides the cursor; the password dialog needs it.
    ::ShowCursor(TRUE);
    BOOL ok = verify(window);
    ::ShowCursor(FALSE);
    return ok != FALSE;
}

void ChangePasswordThrough(const char* library, HWND owner) {
    UniqueLibrary module(LoadSystemLibrary(library));
    if (!module) return;
    using ChangeFunction = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, LPVOID);
    auto change = LibraryFunction<ChangeFunction>(module.Get(), "PwdChangePasswordA");
    if (change) change("SCRSAVE", owner, 0, nullptr);
}

void ChangePassword(HWND owner) { ChangePasswordThrough("MPR.DLL", owner); }

bool IsSystemSaverRunningOn(const SaverPlatform& platform) {
    if (platform.PlatformId != VER_PLATFORM_WIN32_NT) return false;
    if (platform.MajorVersion >= 5) return platform.SaverRunningFlag();
    return platform.SaverDesktopExists();
}

bool HotKeysAllowedOn(const SaverPlatform& platform) {
    if (platform.PlatformId != VER_PLATFORM_WIN32_NT) return !platform.PasswordConfigured();
    if (platform.MajorVersion < 5) return !IsSystemSaverRunningOn(platform);
    return !(platform.PasswordConfigured() && IsSystemSaverRunningOn(platform));
}

bool IsSystemSaverRunning() { return IsSystemSaverRunningOn(ThisPlatform()); }

bool HotKeysAllowed() { return HotKeysAllowedOn(ThisPlatform()); }
