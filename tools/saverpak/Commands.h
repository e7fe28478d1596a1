// The tool's subcommands: the functions that do the work (what the tests call in-process) and
// the command line that reaches them.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

// Builds OUT = stub + container from the manifest. Throws ToolError (or the reader's
// std::runtime_error) on any fault; OUT is then left as it was.
// A manifest with [slideshow] runs our slideshow program: `slideshow`, or Slideshow.exe beside
// the stub.
void BuildSaver(const std::filesystem::path& stub, const std::filesystem::path& manifest,
                const std::filesystem::path& output,
                const std::optional<std::filesystem::path>& slideshow = std::nullopt);

// Prints one line on what the built saver OUT holds: its size, the stub's, and the content.
void PrintBuildSummary(const std::filesystem::path& output, std::ostream& out);

// Prints every record of FILE, as a table or as JSON.
void ListSaver(const std::filesystem::path& file, bool json, std::ostream& out);

// Reads the whole container with the saver's reader; throws with the saver's message.
void VerifySaver(const std::filesystem::path& file);

// Prints the line verify ends with on a sound saver: its name, what it holds, "sound".
void PrintVerifySummary(const std::filesystem::path& file, std::ostream& out);

enum class ExtractKind { Module, Picture };
void ExtractFromSaver(const std::filesystem::path& file, ExtractKind kind, unsigned index,
                      const std::filesystem::path& output);

struct PreviewOptions {
    std::filesystem::path input;
    int picture = -1;  // content item of a saver; -1: the input is a picture file
    int width = 0;     // 0 x 0: no fitting
    int height = 0;
    int depth = 24;    // bits per pixel of the screen to prepare for
    int adaptive = 1;  // 0: the fixed 6 x 6 x 6 cube on 8-bit screens
    std::filesystem::path output;
};
// Loads, fits, quantises and dithers exactly as the saver's picture loader does for that
// screen, and writes the result as an 8-bit RGB PNG. Throws with a message on any failure; the
// output is then left as it was.
void PreviewPicture(const PreviewOptions& options);

// Parses the command line and runs the chosen command; errors go to stderr. Returns the exit
// code.
int RunSaverpak(int argc, const char* const* argv);
