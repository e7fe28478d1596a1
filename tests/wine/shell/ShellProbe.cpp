// A console helper for the saver's window tests: it looks at windows and system state from a
// second process, makes host windows, and posts messages, printing what it finds on stdout.
// Every wait polls with a timeout.
//
//   running | set-running 0|1              the system's screen-saver-running flag
//   find <class> <timeout ms>              print the first visible window of the class
//   find-title <class> <title>             print the window FindWindowA finds, hidden or not
//   info <hwnd>                            style, extended style, rectangle, parent, class, text
//   cursor                                 the foreground thread's cursor handle and flags
//   post <hwnd> <msg> <wparam> <lparam>    PostMessageA
//   host <stop file> <timeout ms> [w h]    a visible top-level window until the file appears;
//                                          w h: its client size (default window 400 x 300)
//   host <stop file> <timeout ms> dialog   a hidden dialog box instead; Enter or Escape closes it
//   client <hwnd>                          the client size, "WxH"
//   controls <hwnd>                        every descendant window, one a line: handle, class,
//                                          visible, enabled, checked, screen rectangle, text
//   wait-child <hwnd> <timeout ms>         print the first child window of hwnd
//   wait-foreground <class> <timeout ms>   wait until the foreground window has that class
//   foreground                             print the foreground window's class
//   screen                                 the primary screen's width and height
//   reg-set <subkey> <name> <dword> | reg-set-text <subkey> <name> <text>
//   reg-get <subkey> <name> | reg-get-text <subkey> <name> | reg-delete <subkey> [name]
//                                          values below HKEY_CURRENT_USER; reg-get prints
//                                          "none" for a missing value
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../ProbeCommands.h"

namespace {

HWND ParseHwnd(const char* text) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(std::strtoll(text, nullptr, 0)));
}

template <typename Predicate>
bool PollFor(DWORD timeoutMs, Predicate done) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (done()) return true;
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(10);
    }
}

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcA(window, msg, wParam, lParam);
}

// As a dialog box's own procedure does, IDOK and IDCANCEL (Enter and Escape) close it.
INT_PTR CALLBACK DialogHostProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::DestroyWindow(dialog);
        return TRUE;
    }
    if (msg == WM_DESTROY) ::PostQuitMessage(0);
    return FALSE;
}

HWND CreateDialogHost() {
    struct alignas(4) {
        DLGTEMPLATE head;
        WORD menu, windowClass, title;
    } blank = {};
    blank.head.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    blank.head.cx = 200;
    blank.head.cy = 150;
    HWND dialog = ::CreateDialogIndirectParamA(nullptr, &blank.head, nullptr, DialogHostProc, 0);
    if (dialog) ::SetWindowTextA(dialog, "Probe Host");
    return dialog;
}

HWND CreateHost(int clientWidth, int clientHeight) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "ShellProbeHost";
    ::RegisterClassA(&wc);
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, 400, 300};
    if (clientWidth > 0 && clientHeight > 0) {
        frame = {0, 0, clientWidth, clientHeight};
        ::AdjustWindowRect(&frame, style, FALSE);
    }
    return ::CreateWindowExA(0, "ShellProbeHost", "Probe Host", style, 100, 100,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                             wc.hInstance, nullptr);
}

int Host(const char* stopFile, DWORD timeoutMs, int clientWidth = 0, int clientHeight = 0,
         bool dialog = false) {
    HWND window = dialog ? CreateDialogHost() : CreateHost(clientWidth, clientHeight);
    if (!window) return 2;
    if (!dialog) {  // the dialog stays hidden: no activation to race with its guest's
        ::ShowWindow(window, SW_SHOW);
        ::SetForegroundWindow(window);
    }
    std::printf("%lld\n", static_cast<long long>(reinterpret_cast<LONG_PTR>(window)));
    std::fflush(stdout);
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return 0;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (::GetFileAttributesA(stopFile) != INVALID_FILE_ATTRIBUTES) break;
        if (::GetTickCount() - start > timeoutMs) break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    ::DestroyWindow(window);
    return 0;
}

const ProbeCommand kCommands[] = {
    {"running", 0, ScreenSaverRunning},
    {"set-running", 1, SetScreenSaverRunning},
    {"find", 2,
     [](char** args) {
         struct Search {
             const char* className;
             HWND found;
         } search = {args[0], nullptr};
         // Every top-level window: FindWindowA stops at the first of the class, which may be an
         // invisible one.
         auto visit = [](HWND window, LPARAM param) -> BOOL {
             auto* s = reinterpret_cast<Search*>(param);
             if (::IsWindowVisible(window) && ClassOf(window) == s->className) {
                 s->found = window;
                 return FALSE;
             }
             return TRUE;
         };
         bool ok = PollFor(std::strtoul(args[1], nullptr, 10), [&] {
             search.found = nullptr;
             ::EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
             return search.found != nullptr;
         });
         HWND found = search.found;
         if (!ok) return 1;
         return Answer("%lld\n", static_cast<long long>(reinterpret_cast<LONG_PTR>(found)));
     }},
    {"info", 1,
     [](char** args) {
         HWND window = ParseHwnd(args[0]);
         if (!::IsWindow(window)) return 1;
         RECT r;
         ::GetWindowRect(window, &r);
         char text[256] = {};
         ::GetWindowTextA(window, text, sizeof(text));
         return Answer(
             "style=0x%08lx exstyle=0x%08lx rect=%ld,%ld,%ld,%ld visible=%d enabled=%d "
             "parent=%lld class=%s text=%s\n",
             static_cast<unsigned long>(::GetWindowLongA(window, GWL_STYLE)),
             static_cast<unsigned long>(::GetWindowLongA(window, GWL_EXSTYLE)), r.left, r.top,
             r.right, r.bottom, ::IsWindowVisible(window) ? 1 : 0,
             ::IsWindowEnabled(window) ? 1 : 0,
             static_cast<long long>(reinterpret_cast<LONG_PTR>(::GetParent(window))),
             ClassOf(window).c_str(), text);
     }},
    {"find-title", 2,
     [](char** args) {
         HWND found = ::FindWindowA(args[0], args[1]);
         if (!found) return 1;
         return Answer("%lld\n", static_cast<long long>(reinterpret_cast<LONG_PTR>(found)));
     }},
    {"cursor", 0,
     [](char**) {
         CURSORINFO info = {};
         info.cbSize = sizeof(info);
         if (!::GetCursorInfo(&info)) return 1;
         return Answer("cursor=%lld flags=%lu\n",
                       static_cast<long long>(reinterpret_cast<LONG_PTR>(info.hCursor)),
                       static_cast<unsigned long>(info.flags));
     }},
    {"post", 4,
     [](char** args) {
         return ::PostMessageA(ParseHwnd(args[0]), std::strtoul(args[1], nullptr, 0),
                               std::strtoull(args[2], nullptr, 0),
                               std::strtoll(args[3], nullptr, 0))
                    ? 0
                    : 1;
     }},
    {"host", 4,
     [](char** args) {
         return Host(args[0], std::strtoul(args[1], nullptr, 10), std::atoi(args[2]),
                     std::atoi(args[3]));
     }},
    {"host", 3,
     [](char** args) {
         const bool dialog = !std::strcmp(args[2], "dialog");
         return Host(args[0], std::strtoul(args[1], nullptr, 10), 0, 0, dialog);
     }},
    {"host", 2, [](char** args) { return Host(args[0], std::strtoul(args[1], nullptr, 10)); }},
    {"client", 1,
     [](char** args) {
         RECT r;
         if (!::GetClientRect(ParseHwnd(args[0]), &r)) return 1;
         return Answer("%ldx%ld\n", r.right, r.bottom);
     }},
    {"controls", 1,
     [](char** args) {
         auto visit = [](HWND window, LPARAM) -> BOOL {
             char text[256] = {};
             ::GetWindowTextA(window, text, sizeof(text));
             RECT r;
             ::GetWindowRect(window, &r);
             LRESULT checked = ClassOf(window) == "Button" || ClassOf(window) == "BUTTON"
                                   ? ::SendMessageA(window, BM_GETCHECK, 0, 0)
                                   : 0;
             std::printf(
                 "%lld class=%s visible=%d enabled=%d checked=%d rect=%ld,%ld,%ld,%ld "
                 "text=%s\n",
                 static_cast<long long>(reinterpret_cast<LONG_PTR>(window)),
                 ClassOf(window).c_str(), ::IsWindowVisible(window) ? 1 : 0,
                 ::IsWindowEnabled(window) ? 1 : 0, static_cast<int>(checked), r.left, r.top,
                 r.right, r.bottom, text);
             return TRUE;
         };
         HWND parent = ParseHwnd(args[0]);
         if (!::IsWindow(parent)) return 1;
         ::EnumChildWindows(parent, visit, 0);
         return 0;
     }},
    {"wait-child", 2,
     [](char** args) {
         HWND parent = ParseHwnd(args[0]);
         HWND child = nullptr;
         bool ok = PollFor(std::strtoul(args[1], nullptr, 10), [&] {
             child = ::GetWindow(parent, GW_CHILD);
             // The saver's application window becomes a child too; its form is the one shown.
             while (child && !::IsWindowVisible(child)) child = ::GetWindow(child, GW_HWNDNEXT);
             return child != nullptr;
         });
         if (!ok) return 1;
         return Answer("%lld\n", static_cast<long long>(reinterpret_cast<LONG_PTR>(child)));
     }},
    {"wait-foreground", 2,
     [](char** args) {
         return PollFor(std::strtoul(args[1], nullptr, 10),
                        [&] { return ClassOf(::GetForegroundWindow()) == args[0]; })
                    ? 0
                    : 1;
     }},
    {"foreground", 0, ForegroundClass},
    {"reg-set", 3,
     [](char** args) {
         HKEY key = nullptr;
         if (::RegCreateKeyExA(HKEY_CURRENT_USER, args[0], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &key, nullptr) != ERROR_SUCCESS) {
             return 1;
         }
         DWORD value = std::strtoul(args[2], nullptr, 0);
         LONG result = ::RegSetValueExA(key, args[1], 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&value), sizeof(value));
         ::RegCloseKey(key);
         return result == ERROR_SUCCESS ? 0 : 1;
     }},
    {"screen", 0,
     [](char**) {
         return Answer("%d %d\n", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
     }},
    {"reg-set-text", 3,
     [](char** args) {
         return ::RegSetKeyValueA(HKEY_CURRENT_USER, args[0], args[1], REG_SZ, args[2],
                                  static_cast<DWORD>(std::strlen(args[2]) + 1)) == ERROR_SUCCESS
                    ? 0
                    : 1;
     }},
    {"reg-get", 2,
     [](char** args) {
         DWORD value = 0, size = sizeof(value);
         if (::RegGetValueA(HKEY_CURRENT_USER, args[0], args[1], RRF_RT_REG_DWORD, nullptr, &value,
                            &size) != ERROR_SUCCESS) {
             std::printf("none\n");
         } else {
             std::printf("%lu\n", static_cast<unsigned long>(value));
         }
         return 0;
     }},
    {"reg-get-text", 2,
     [](char** args) {
         char text[256] = {};
         DWORD size = sizeof(text);
         if (::RegGetValueA(HKEY_CURRENT_USER, args[0], args[1], RRF_RT_REG_SZ, nullptr, text,
                            &size) != ERROR_SUCCESS) {
             std::printf("none\n");
         } else {
             std::printf("%s\n", text);
         }
         return 0;
     }},
    {"reg-delete", 1,
     [](char** args) {
         if (args[1]) {
             HKEY key = nullptr;
             if (::RegOpenKeyExA(HKEY_CURRENT_USER, args[0], 0, KEY_ALL_ACCESS, &key) ==
                 ERROR_SUCCESS) {
                 ::RegDeleteValueA(key, args[1]);
                 ::RegCloseKey(key);
             }
         } else {
             ::RegDeleteTreeA(HKEY_CURRENT_USER, args[0]);
         }
         return 0;
     }},
};

}  // namespace

int main(int argc, char** argv) { return RunProbeCommand(argc, argv, kCommands, 2); }
