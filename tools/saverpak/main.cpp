// saverpak: builds, inspects, verifies and takes apart savers (a stub with a container).
#include "tools/saverpak/Commands.h"

#ifdef _WIN32
#include <windows.h>

#include <conio.h>

#include <cstdio>

namespace {

// Double-clicked in Explorer, the tool gets a console of its own (no other process shares it)
// and no arguments; the console closes the moment the tool ends. A command line has its shell
// in the console too.
bool StartedFromExplorer(int argc) {
    DWORD processes[2];
    return argc <= 1 && GetConsoleProcessList(processes, 2) == 1;
}

// Says what the tool is and how to start with it, and keeps the window until a key is pressed.
void GreetFromExplorer() {
    std::fputs(
        "saverpak makes Windows screen savers (.scr) from a program, pictures and a manifest,\n"
        "and lists, checks and takes them apart. It is a command-line tool: it is used from a\n"
        "command prompt, not by double-clicking it.\n"
        "\n"
        "To start:\n"
        "  1. Open a command prompt in this folder: in Explorer's address bar type cmd and\n"
        "     press Enter.\n"
        "  2. Type:  saverpak.exe build --help\n"
        "  3. Read README.md beside this program: it walks through a first saver.\n"
        "\n"
        "Press any key to close this window.\n",
        stdout);
    std::fflush(stdout);
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) _getch();
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    if (StartedFromExplorer(argc)) {
        GreetFromExplorer();
        return 0;
    }
#endif
    return RunSaverpak(argc, argv);
}
