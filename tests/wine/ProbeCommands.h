// The command line of the test probes: "<probe> <command> <arguments>...". Each probe lists its
// commands in a table; the first whose name matches and whose arguments are there runs.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>

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

// The status of the command argv names, or `unknown` when none does (or its arguments are short).
template <int N>
int RunProbeCommand(int argc, char** argv, const ProbeCommand (&commands)[N], int unknown) {
    for (const ProbeCommand& command : commands) {
        if (argc >= 2 && !std::strcmp(argv[1], command.name) && argc - 2 >= command.arguments) {
            return command.run(argv + 2);
        }
    }
    std::fprintf(stderr, "%s: no command '%s' with these arguments\n", argv[0], argc >= 2 ? argv[1] : "");
    return unknown;
}
