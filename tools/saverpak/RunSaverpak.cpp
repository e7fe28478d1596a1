#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "tools/saverpak/Commands.h"

int RunSaverpak(CLI::App& app, int argc, const char* const* argv) {
    // CLI11 on Windows takes "/x" for an option; here it is a path (Wine passes Unix paths, and
    // the tool's own options are all "--x").
    app.allow_windows_style_options(false);
    for (CLI::App* command : app.get_subcommands({})) command->allow_windows_style_options(false);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    } catch (const std::exception& error) {
        // The reader's messages are the saver's own and are shown unchanged.
        std::cerr << error.what() << std::endl;
        return 1;
    }
    return 0;
}
