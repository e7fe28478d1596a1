// The preview's host for bench/startup-bench.sh: a window as the display control panel shows
// one, with the saver started in it as the panel starts it.
//   PreviewHost.exe SAVER
// Prints the milliseconds from the saver's start until its window has become the host's
// child (the preview attached), then destroys the host, which ends the preview. Exit code 1
// when the preview did not attach within 10 s, 3 when it outlived its host by 5 s (it is then
// ended, so that the bench goes on).
#include <windows.h>

#include <cstdio>

namespace {

// Answers what other threads send to this one (a control panel goes on doing so) while it
// waits up to `milliseconds` for the process to end; true when it ended.
bool WaitPumping(HANDLE process, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        if (MsgWaitForMultipleObjects(1, &process, FALSE, 10, QS_ALLINPUT) == WAIT_OBJECT_0)
            return true;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR saver, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "SaverpakPreviewHost";
    RegisterClassA(&windowClass);
    HWND host = CreateWindowExA(0, windowClass.lpszClassName, "Preview host",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 160, nullptr, nullptr,
                                instance, nullptr);
    char commandLine[MAX_PATH + 64];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\" /p %llu", saver,
                  static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(host)));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const DWORD start = GetTickCount();
    if (!host || !CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process))
        return 2;
    bool attached = false;
    while (!attached && GetTickCount() - start < 10000) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        attached = FindWindowExA(host, nullptr, nullptr, nullptr) != nullptr;
        if (!attached) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    std::printf("%lu\n", attached ? GetTickCount() - start : 0UL);
    std::fflush(stdout);
    DestroyWindow(host);
    if (!WaitPumping(process.hProcess, 5000)) {
        std::fprintf(stderr, "the preview of %s outlived its host\n", saver);
        TerminateProcess(process.hProcess, 0);
        return 3;
    }
    return attached ? 0 : 1;
}
