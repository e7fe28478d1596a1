// A stand-in for the system's password libraries, installed as PASSWORD.CPL in the test prefix's
// system folder.
//
// VerifyScreenSavePwd answers "wrong" at the first call and "right" at every later one;
// PwdChangePasswordA (MPR.DLL's export) records what it was given. The library is loaded afresh
// for every call, so what it records lives in the registry. With "Hold" set to 1 either call
// stays in its dialog, dispatching messages as a real one does, until "Release" is set to 1;
// with "Hold" 2 the dialog is a button at (600, 500), 200 x 100, and a click on it releases.
//
// Loaded from anywhere, it leaves a file "<its own path>.loaded": a copy planted beside the
// saver or in the current folder shows that way whether it was ever taken.
#include <windows.h>

namespace {

constexpr const char* kKey = "Software\\Saverpak Tests\\Password";
constexpr DWORD kHoldLimitMs = 20000;

class TestKey {
public:
    TestKey() {
        ::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FKey,
                          nullptr);
    }
    ~TestKey() {
        if (FKey) ::RegCloseKey(FKey);
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    DWORD Get(const char* name) const {
        DWORD value = 0, size = sizeof(value);
        if (FKey) {
            ::RegQueryValueExA(FKey, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size);
        }
        return value;
    }
    void Set(const char* name, DWORD value) {
        if (FKey) ::RegSetValueExA(FKey, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
    }
    void SetText(const char* name, const char* text) {
        if (FKey) {
            ::RegSetValueExA(FKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(::lstrlenA(text) + 1));
        }
    }
    DWORD Count(const char* name) {
        DWORD calls = Get(name) + 1;
        Set(name, calls);
        return calls;
    }

private:
    HKEY FKey = nullptr;
};

// True when a button press on `button` was among the messages.
bool DispatchPending(HWND button = nullptr) {
    MSG msg;
    bool pressed = false;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {  // a modal loop leaves the quit to its caller's loop
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        pressed = pressed || (button && msg.hwnd == button && msg.message == WM_LBUTTONDOWN);
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return pressed;
}

// As a modal dialog would: the caller's windows keep getting their messages meanwhile.
void HoldWhileAsked(TestKey& key, HWND owner) {
    const DWORD hold = key.Get("Hold");
    if (hold != 1 && hold != 2) return;
    HWND button = hold != 2
                      ? nullptr
                      : ::CreateWindowExA(WS_EX_TOPMOST, "BUTTON", "OK", WS_POPUP | WS_VISIBLE, 600,
                                          500, 200, 100, owner, nullptr, nullptr, nullptr);
    if (button) key.Set("Release", 0);
    DWORD start = ::GetTickCount();
    while (key.Get("Release") != 1 && ::GetTickCount() - start < kHoldLimitMs) {
        if (DispatchPending(button)) key.Set("Release", 1);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    if (button) ::DestroyWindow(button);
    DispatchPending();  // whatever was posted before the release
}

void LeaveLoadedMark(HMODULE self) {
    char path[MAX_PATH + 8];
    DWORD length = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    ::lstrcatA(path, ".loaded");
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LeaveLoadedMark(self);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
    TestKey key;
    DWORD calls = key.Count("Calls");
    // The saver must raise the cursor's display count while it asks: from the default 0 to 1,
    // so that our own decrement still leaves it at 0 or more.
    int count = ::ShowCursor(FALSE);
    ::ShowCursor(TRUE);
    key.Set("CursorShown", count >= 0 ? 1 : 0);
    key.Set("OwnerValid", window && ::IsWindow(window) ? 1 : 0);
    HoldWhileAsked(key, window);
    key.Set("Answered", calls);
    return calls >= 2;
}

extern "C" __declspec(dllexport) DWORD WINAPI
    PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD, LPVOID) {
    TestKey key;
    key.Count("ChangeCalls");
    key.SetText("ChangeProvider", provider ? provider : "(none)");
    key.Set("ChangeOwner", static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(owner)));
    HoldWhileAsked(key, owner);
    return 0;
}
