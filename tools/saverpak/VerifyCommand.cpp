#include <iostream>

#include <CLI/CLI.hpp>

#include "tools/saverpak/Commands.h"
#include "tools/saverpak/Inspect.h"
#include "tools/saverpak/PathText.h"
#include "tools/saverpak/ToolError.h"

void VerifySaver(const std::filesystem::path& file) {
    NamingFile(PathText(file), [&] { InspectPak(PathText(file), InspectDepth::Everything); });
}

void AddVerifyCommand(CLI::App& app) {
    CLI::App* verify = app.add_subcommand(
        "verify",
        "Read the whole container with the saver's own reader; exit 1 with the saver's "
        "message when it would fail");
    auto file = std::make_shared<std::string>();
    verify->add_option("FILE", *file, "The saver file")->required();
    verify->callback([=] { VerifySaver(PathFromText(*file)); });
}
