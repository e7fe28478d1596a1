// The bare launcher of bench/startup-bench.sh: a program that only starts another one, as the
// saver starts its module, so that both sides of the comparison pay for two process starts.
//   StartupLauncher.exe PROGRAM
//
// It imports KERNEL32 alone, so that its own start costs no more than a program's can: each
// further library (SHELL32 for CommandLineToArgvW, msvcrt for the C runtime's start-up) is work
// that no launcher needs and that would flatter the saver. So it has no C runtime: it is built
// with -nostdlib and this entry point, and reads its command line by hand.
#include <windows.h>

namespace {

// The command line's second word: the first is the program's own path, quoted or not.
const wchar_t* ProgramArgument(const wchar_t* line) {
    if (*line == L'"') {
        for (++line; *line && *line != L'"'; ++line) {
        }
        if (*line) ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

// The argument without the quotes around it, in `out` of `size` characters.
bool Unquote(const wchar_t* argument, wchar_t* out, unsigned size) {
    const bool quoted = *argument == L'"';
    if (quoted) ++argument;
    unsigned length = 0;
    for (; *argument && !(quoted ? *argument == L'"' : *argument == L' '); ++argument) {
        if (length + 1 >= size) return false;
        out[length++] = *argument;
    }
    out[length] = L'\0';
    return length > 0;
}

UINT Launch() {
    wchar_t program[MAX_PATH];
    if (!Unquote(ProgramArgument(GetCommandLineW()), program, MAX_PATH)) return 2;
    // Filled by hand: the compiler may turn an initialiser into a call to memset, which
    // lives in the C runtime this program goes without.
    STARTUPINFOW startup;
    volatile unsigned char* bytes = reinterpret_cast<volatile unsigned char*>(&startup);
    for (unsigned i = 0; i < sizeof startup; ++i) bytes[i] = 0;
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 3;
    // Stays while the program runs, as the saver does.
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

}  // namespace

extern "C" void __stdcall LauncherEntry() { ExitProcess(Launch()); }
