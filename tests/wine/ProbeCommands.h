// The command line of the test probes: "<probe> <command> <arguments>...". Each probe lists its
// commands in a table; the first whose name matches and whose arguments are there runs.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

struct ProbeCommand {
    const char* name;
    int arguments;            // at least this many after the name
    int (*run)(char** args);  // args[0] is the first argument; returns the exit status
};

// printf for a command that has answered: `return Answer("%d\n", value);`
inline int Answer(const char* format, ...) {
    va_list values;
    va_start(values, format);
    std::vprintf(format, values);
    va_end(values);
    return 0;
}

inline std::string ClassOf(HWND window) {  // "" for no window
    char name[256] = {};
    if (window) GetClassNameA(window, name, sizeof name);
    return name;
}

// Commands the window probes share: "foreground" prints the foreground window's class,
// "running" the system's screen-saver-running flag, which "set-running 0|1" sets.
inline int ForegroundClass(char**) {
    return Answer("%s\n", ClassOf(GetForegroundWindow()).c_str());
}
inline int ScreenSaverRunning(char**) {
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return Answer("%d\n", running ? 1 : 0);
}
inline int SetScreenSaverRunning(char** args) {
    BOOL old = FALSE;
    return SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, std::atoi(args[0]), &old, 0) ? 0 : 1;
}

// The status of the command argv names, or `unknown` when none does (or its arguments are short).
template <int N>
int RunProbeCommand(int argc, char** argv, const ProbeCommand (&commands)[N], int unknown) {
    for (const ProbeCommand& command : commands) {
        if (argc >= 2 && !std::strcmp(argv[1], command.name) && argc - 2 >= command.arguments) {
            return command.run(argv + 2);
        }
    }
    std::fprintf(stderr, "%s: no command '%s' with these arguments\n", argv[0],
                 argc >= 2 ? argv[1] : "");
    return unknown;
}
