// The tool's subcommands. Each Add*Command registers one subcommand with its options and
// --help; the functions under it do the work and are what the tests call in-process.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

void AddBuildCommand(CLI::App& app);
void AddListCommand(CLI::App& app);
void AddVerifyCommand(CLI::App& app);
void AddExtractCommand(CLI::App& app);

// Builds OUT = stub + container from the manifest. Throws ToolError (or the reader's
// std::runtime_error) on any fault; OUT is then left as it was.
void BuildSaver(const std::filesystem::path& stub, const std::filesystem::path& manifest,
                const std::filesystem::path& output);

// Prints every record of FILE, as a table or as JSON.
void ListSaver(const std::filesystem::path& file, bool json, std::ostream& out);

// Reads the whole container with the saver's reader; throws with the saver's message.
void VerifySaver(const std::filesystem::path& file);

enum class ExtractKind { Module, Picture };
void ExtractFromSaver(const std::filesystem::path& file, ExtractKind kind, unsigned index,
                      const std::filesystem::path& output);

// Parses the command line and runs the chosen command; errors go to stderr. Returns the exit
// code.
int RunSaverpak(CLI::App& app, int argc, const char* const* argv);
