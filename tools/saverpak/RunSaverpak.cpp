#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include <CLI/CLI.hpp>

#include "tools/saverpak/Commands.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// One line naming the commands, for a command line the tool cannot use.
std::string UsageLine(CLI::App& app) {
    std::string commands;
    for (CLI::App* command : app.get_subcommands({}))
        commands += (commands.empty() ? "" : "|") + command->get_name();
    return "usage: saverpak " + commands +
           " ARGUMENTS...  (saverpak --help, saverpak COMMAND --help)";
}

// A listing that never reached its reader (a full disk, a closed pipe) is a failure: standard
// output is flushed and checked before the tool says it succeeded.
int CheckOutput(int code) {
    std::cout.flush();
    errno = 0;
    bool written = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written) return code;
    std::cerr << "saverpak: cannot write to standard output"
              << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << std::endl;
    return kExitFailure;
}

#ifdef _WIN32
// The tool's texts are UTF-8 (container texts always, paths through its manifest); a console
// shows them so only in its UTF-8 code page. Other programs share the console: its own code page
// comes back at the end, after everything written has reached it.
class ConsoleUtf8 {
public:
    ConsoleUtf8() : FOld(GetConsoleOutputCP()) {
        if (FOld) SetConsoleOutputCP(CP_UTF8);
    }
    ~ConsoleUtf8() {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        if (FOld) SetConsoleOutputCP(FOld);
    }
    ConsoleUtf8(const ConsoleUtf8&) = delete;
    ConsoleUtf8& operator=(const ConsoleUtf8&) = delete;

private:
    UINT FOld;
};
#endif

}  // namespace

int RunSaverpak(CLI::App& app, int argc, const char* const* argv) {
#ifdef _WIN32
    ConsoleUtf8 console;
#endif
    // CLI11 on Windows takes "/x" for an option; here it is a path (Wine passes Unix paths, and
    // the tool's own options are all "--x").
    app.allow_windows_style_options(false);
    for (CLI::App* command : app.get_subcommands({})) command->allow_windows_style_options(false);
    app.set_version_flag("--version", "saverpak " SAVERPAK_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return CheckOutput(app.exit(done));  // --help, --version
    } catch (const CLI::ParseError& error) {
        std::cerr << "saverpak: " << error.what() << "\n" << UsageLine(app) << std::endl;
        return kExitUsage;
    } catch (const std::exception& error) {
        // Every message names the file it is about (ToolError and NamingFile see to that).
        std::cerr << "saverpak: " << error.what() << std::endl;
        return kExitFailure;
    }
    return CheckOutput(0);
}
