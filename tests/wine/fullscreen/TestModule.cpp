// A module program for the full-screen tests: a green window over the primary screen that logs
// what happens to it. TESTMODULE_LOG names the log file (lines "start", "key N", "close",
// "exit"); TESTMODULE_SECONDS ends it by itself after that many seconds (0 or unset: never).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Log(const char* format, unsigned value = 0) {
    const char* path = std::getenv("TESTMODULE_LOG");
    if (!path) return;
    if (FILE* log = std::fopen(path, "ab")) {
        std::fprintf(log, format, value);
        std::fputc('\n', log);
        std::fclose(log);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
        Log("key %u", static_cast<unsigned>(wParam));
        return 0;
    case WM_CLOSE:
        Log("close");
        DestroyWindow(window);
        return 0;
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Log("start");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = CreateSolidBrush(RGB(0, 200, 0));
    windowClass.lpszClassName = "SaverpakTestModule";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "SaverpakTestModule", "TestModule", WS_POPUP | WS_VISIBLE, 0,
                                  0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    if (const char* seconds = std::getenv("TESTMODULE_SECONDS")) {
        if (int value = std::atoi(seconds); value > 0) SetTimer(window, 1, value * 1000, nullptr);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Log("exit");
    return 0;
}
