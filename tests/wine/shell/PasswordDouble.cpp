// A stand-in for the system's PASSWORD.CPL: the first call answers "wrong", every later call
// "right". The library is loaded afresh for every check, so the count lives in the registry,
// beside what the caller's cursor looked like during the call.
#include <windows.h>

namespace {

constexpr const char* kKey = "Software\\Saverpak Tests\\Password";

DWORD ReadCount(HKEY key) {
    DWORD value = 0, size = sizeof(value);
    ::RegQueryValueExA(key, "Calls", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    return value;
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return TRUE;
    }
    DWORD calls = ReadCount(key) + 1;
    ::RegSetValueExA(key, "Calls", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&calls),
                     sizeof(calls));
    // The saver must raise the cursor's display count while it asks: from the default 0 to 1,
    // so that our own decrement still leaves it at 0 or more.
    int count = ::ShowCursor(FALSE);
    ::ShowCursor(TRUE);
    DWORD shown = count >= 0 ? 1 : 0;
    ::RegSetValueExA(key, "CursorShown", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&shown),
                     sizeof(shown));
    DWORD owner = window && ::IsWindow(window) ? 1 : 0;
    ::RegSetValueExA(key, "OwnerValid", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&owner),
                     sizeof(owner));
    ::RegCloseKey(key);
    return calls >= 2;
}
