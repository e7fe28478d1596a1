// The bare launcher of bench/startup-bench.sh: a program that only starts another one, as the
// saver starts its module, so that both sides of the comparison pay for two process starts.
//   StartupLauncher.exe PROGRAM
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count < 2) return 2;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(args[1], nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 3;
    // Stays while the program runs, as the saver does.
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
