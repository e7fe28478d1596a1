// A module program for the full-screen tests: a green window over the primary screen that logs
// what happens to it. TESTMODULE_LOG names the log file (lines "start", "key N", "close",
// "exit"). Behaviours, each chosen by its variable:
//   TESTMODULE_SECONDS=N        ends by itself N seconds after the saver has taken its window
//                               (made it topmost); 0 or unset: never
//   TESTMODULE_MILLISECONDS=N   the same in milliseconds, for quick restarts
//   TESTMODULE_LAST_START=N     from its Nth start on (counted in the log) it no longer ends
//   TESTMODULE_IGNORE_CLOSE=1   logs WM_CLOSE and stays
//   TESTMODULE_REPLACE_WINDOW=1 replaces its first window by a new one soon after showing it
//   TESTMODULE_MOVE_POINTER=1   moves the pointer itself every 200 ms (logs "pointer")
//   TESTMODULE_HIDDEN=1         never shows its window
//   TESTMODULE_LIBRARY=NAME     loads the library NAME by name at start, as a program that
//                               uses it does (logs "library" and the path it came from)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum : UINT_PTR { kEndTimer = 1, kReplaceTimer = 2, kPointerTimer = 3, kTakenTimer = 4 };

HINSTANCE Instance;
int PointerMoves = 0;
int EndMilliseconds = 0;

void Log(const char* format, unsigned value = 0) {
    const char* path = std::getenv("TESTMODULE_LOG");
    if (!path) return;
    if (FILE* log = std::fopen(path, "ab")) {
        std::fprintf(log, format, value);
        std::fputc('\n', log);
        std::fclose(log);
    }
}

int Setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : 0;
}

HWND CreateModuleWindow() {
    const DWORD visible = Setting("TESTMODULE_HIDDEN") ? 0 : WS_VISIBLE;
    return CreateWindowExA(0, "SaverpakTestModule", "TestModule", WS_POPUP | visible, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                           nullptr, Instance, nullptr);
}

int StartsLogged() {
    int starts = 0;
    const char* path = std::getenv("TESTMODULE_LOG");
    if (FILE* log = path ? std::fopen(path, "rb") : nullptr) {
        char line[64];
        while (std::fgets(line, sizeof line, log)) starts += std::strcmp(line, "start\n") == 0;
        std::fclose(log);
    }
    return starts;
}

void StartTimers(HWND window) {
    int milliseconds = Setting("TESTMODULE_SECONDS") * 1000;
    if (milliseconds <= 0) milliseconds = Setting("TESTMODULE_MILLISECONDS");
    const int lastStart = Setting("TESTMODULE_LAST_START");
    if (lastStart > 0 && StartsLogged() >= lastStart) milliseconds = 0;
    // The countdown starts once the saver has found the window: a program that ended before
    // that would be one the saver cannot run, which is not what these runs are about.
    EndMilliseconds = milliseconds;
    if (milliseconds > 0) SetTimer(window, kTakenTimer, 10, nullptr);
    if (Setting("TESTMODULE_REPLACE_WINDOW")) SetTimer(window, kReplaceTimer, 300, nullptr);
    if (Setting("TESTMODULE_MOVE_POINTER")) SetTimer(window, kPointerTimer, 200, nullptr);
}

void OnTimer(HWND window, UINT_PTR timer) {
    switch (timer) {
        case kTakenTimer:
            if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
                KillTimer(window, kTakenTimer);
                SetTimer(window, kEndTimer, EndMilliseconds, nullptr);
            }
            break;
        case kEndTimer:
            DestroyWindow(window);
            break;
        case kReplaceTimer: {
            // The new window first, so the program never has none; the old one then goes without
            // ending the program.
            KillTimer(window, kReplaceTimer);
            HWND replacement = CreateModuleWindow();
            SetWindowLongPtrA(window, GWLP_USERDATA, 1);
            DestroyWindow(window);
            Log("replaced");
            if (replacement) StartTimers(replacement);
            break;
        }
        case kPointerTimer:
            // Far from where the pointer rests, as a program that takes over the pointer does.
            SetCursorPos((++PointerMoves % 2) ? 100 : 700, 100);
            Log("pointer");
            break;
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            Log("key %u", static_cast<unsigned>(wParam));
            return 0;
        case WM_CLOSE:
            Log("close");
            if (!Setting("TESTMODULE_IGNORE_CLOSE")) DestroyWindow(window);
            return 0;
        case WM_TIMER:
            OnTimer(window, wParam);
            return 0;
        case WM_DESTROY:
            // A window being replaced does not end the program.
            if (!GetWindowLongPtrA(window, GWLP_USERDATA)) PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Log("start");
    if (const char* library = std::getenv("TESTMODULE_LIBRARY")) {
        char path[MAX_PATH] = "none";
        if (HMODULE loaded = LoadLibraryA(library)) GetModuleFileNameA(loaded, path, MAX_PATH);
        const char* logPath = std::getenv("TESTMODULE_LOG");
        if (FILE* log = logPath ? std::fopen(logPath, "ab") : nullptr) {
            std::fprintf(log, "library %s\n", path);
            std::fclose(log);
        }
    }
    Instance = instance;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = CreateSolidBrush(RGB(0, 200, 0));
    windowClass.lpszClassName = "SaverpakTestModule";
    RegisterClassA(&windowClass);
    HWND window = CreateModuleWindow();
    if (!window) return 1;
    StartTimers(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Log("exit");
    return 0;
}
