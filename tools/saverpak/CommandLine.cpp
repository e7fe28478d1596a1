// The tool's command line: every command with its options and --help, parsed and run. CLI11 is
// header-only and costs more to compile than the commands themselves, so it is read here alone.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include <CLI/CLI.hpp>

#include "tools/saverpak/Commands.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/io/ToolMessages.h"

namespace {

// Parses "WxH" (both positive).
void ParsePreviewSize(const std::string& text, int& width, int& height) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') ||
        w <= 0 || h <= 0) {
        throw ToolError("preview: --size wants WIDTHxHEIGHT with both above 0, not \"" + text +
                        "\"");
    }
    width = w;
    height = h;
}

void AddBuildCommand(CLI::App& app) {
    CLI::App* build = app.add_subcommand(
        "build", "Write a saver: the stub followed by a container made from a manifest");
    auto stub = std::make_shared<std::string>();
    auto manifest = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    build->add_option("--stub", *stub, "The saver program (.scr) without content")->required();
    build->add_option("--manifest", *manifest, "The manifest (TOML) naming the content")
        ->required();
    build->add_option("-o,--output", *output, "The saver file to write")->required();
    auto slideshow = std::make_shared<std::string>();
    build->add_option("--slideshow", *slideshow,
                      "For a manifest with [slideshow]: the slideshow program (default: "
                      "Slideshow.exe beside the stub)");
    build->callback([=] {
        BuildSaver(PathFromText(*stub), PathFromText(*manifest), PathFromText(*output),
                   slideshow->empty() ? std::nullopt : std::optional(PathFromText(*slideshow)));
        PrintBuildSummary(PathFromText(*output), std::cout);
    });
}

void AddListCommand(CLI::App& app) {
    CLI::App* list = app.add_subcommand(
        "list", "Show every record of a saver's container with its position and size");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    list->add_option("FILE", *file, "The saver file")->required();
    list->add_flag("--json", *json, "Print JSON (the shape is described in the README)");
    list->callback([=] { ListSaver(PathFromText(*file), *json, std::cout); });
}

void AddVerifyCommand(CLI::App& app) {
    CLI::App* verify = app.add_subcommand(
        "verify",
        "Read the whole container with the saver's own reader; exit 1 with the saver's "
        "message when it would fail");
    auto file = std::make_shared<std::string>();
    verify->add_option("FILE", *file, "The saver file")->required();
    verify->callback([=] {
        VerifySaver(PathFromText(*file));
        PrintVerifySummary(PathFromText(*file), std::cout);
    });
}

void AddExtractCommand(CLI::App& app) {
    CLI::App* extract =
        app.add_subcommand("extract", "Copy a stored module program or picture out of a saver");
    auto file = std::make_shared<std::string>();
    auto module = std::make_shared<int>(-1);
    auto picture = std::make_shared<int>(-1);
    auto output = std::make_shared<std::string>();
    extract->add_option("FILE", *file, "The saver file")->required();
    CLI::Option* moduleOption =
        extract->add_option("--module", *module, "Number of the module to extract (from 0)")
            ->check(CLI::NonNegativeNumber);
    CLI::Option* pictureOption =
        extract->add_option("--picture", *picture, "Number of the picture to extract (from 0)")
            ->check(CLI::NonNegativeNumber);
    moduleOption->excludes(pictureOption);
    extract->add_option("-o,--output", *output, "The file to write")->required();
    extract->callback([=] {
        if (*module < 0 && *picture < 0)
            throw CLI::ValidationError("extract", "give --module N or --picture N");
        ExtractKind kind = *module >= 0 ? ExtractKind::Module : ExtractKind::Picture;
        unsigned index = static_cast<unsigned>(*module >= 0 ? *module : *picture);
        ExtractFromSaver(PathFromText(*file), kind, index, PathFromText(*output));
    });
}

void AddPreviewCommand(CLI::App& app) {
    CLI::App* preview = app.add_subcommand(
        "preview", "Prepare a picture as the saver shows it on a screen of a given depth");
    auto options = std::make_shared<PreviewOptions>();
    auto size = std::make_shared<std::string>();
    auto input = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    preview
        ->add_option("INPUT", *input,
                     "A picture (PNG, JPEG, BMP) as build stores it, or a saver with --picture")
        ->required();
    preview
        ->add_option("--picture", options->picture,
                     "Content item of the saver (from 0); for a picture file, its role "
                     "(0 preview, 1 logo; default: INPUT is a picture file)")
        ->check(CLI::NonNegativeNumber);
    preview->add_option("--size", *size,
                        "Fit into WIDTHxHEIGHT, as the preview window does (default: the "
                        "picture's own size)");
    preview->add_option("--depth", options->depth, "Bits per pixel of the screen")
        ->check(CLI::IsMember({4, 8, 16, 24}))
        ->capture_default_str();
    preview->add_option("--adaptive", options->adaptive, "1: palette from the picture; 0: fixed")
        ->check(CLI::IsMember({0, 1}))
        ->capture_default_str();
    preview->add_option("-o,--output", *output, "The PNG to write")->required();
    preview->callback([options, size, input, output] {
        PreviewOptions run = *options;
        run.input = PathFromText(*input);
        run.output = PathFromText(*output);
        if (!size->empty()) ParsePreviewSize(*size, run.width, run.height);
        RequireInputFile(run.input, run.picture >= 0 ? "saver" : "picture");
        if (run.picture >= 0)
            NamingFile(PathText(run.input), [&] { PreviewPicture(run); });
        else
            PreviewPicture(run);
    });
}

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::vector<std::string> CommandNames(CLI::App& app) {
    std::vector<std::string> names;
    for (CLI::App* command : app.get_subcommands({})) names.push_back(command->get_name());
    return names;
}

// The arguments as CLI11 is to read them: "saverpak help COMMAND" is "saverpak COMMAND --help",
// and on Windows "/?" asks for help as in every Windows program. Returns the command the user
// typed when it is none of the tool's (the caller names the nearest).
std::optional<std::string> Normalise(std::vector<std::string>& args,
                                     const std::vector<std::string>& commands) {
#ifdef _WIN32
    for (std::string& arg : args)
        if (arg == "/?") arg = "--help";
#endif
    if (!args.empty() && args[0] == "help") {
        args.erase(args.begin());
        args.resize(std::min<std::size_t>(args.size(), 1));
        args.push_back("--help");
    }
    if (args.empty() || args[0].empty() || args[0][0] == '-') return std::nullopt;
    if (std::find(commands.begin(), commands.end(), args[0]) != commands.end()) return std::nullopt;
    return args[0];
}

// One line naming the commands, for a command line the tool cannot use.
std::string UsageLine(CLI::App& app) {
    std::string commands;
    for (CLI::App* command : app.get_subcommands({}))
        commands += (commands.empty() ? "" : "|") + command->get_name();
    return "usage: saverpak " + commands +
           " ARGUMENTS...  (saverpak --help, saverpak help COMMAND)";
}

// A listing that never reached its reader (a full disk, a closed pipe) is a failure: standard
// output is flushed and checked before the tool says it succeeded.
int CheckOutput(int code) {
    std::cout.flush();
    errno = 0;
    bool written = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written) return code;
    std::cerr << "saverpak: cannot write to standard output"
              << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string())
              << std::endl;
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

int RunSaverpak(int argc, const char* const* argv) {
#ifdef _WIN32
    ConsoleUtf8 console;
#endif
    CLI::App app{"saverpak: build, list, verify and extract the content container of a saver"};
    app.name("saverpak");
    app.require_subcommand(1);
    AddBuildCommand(app);
    AddListCommand(app);
    AddVerifyCommand(app);
    AddExtractCommand(app);
    AddPreviewCommand(app);
    // CLI11 on Windows takes "/x" for an option; here it is a path (Wine passes Unix paths, and
    // the tool's own options are all "--x").
    app.allow_windows_style_options(false);
    for (CLI::App* command : app.get_subcommands({})) command->allow_windows_style_options(false);
    app.set_version_flag("--version", "saverpak " SAVERPAK_VERSION);
    app.footer("Every command has its own --help: saverpak help COMMAND.");
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    if (std::optional<std::string> unknown = Normalise(args, CommandNames(app))) {
        std::string nearest = NearestWord(*unknown, CommandNames(app));
        std::cerr << "saverpak: unknown command '" << *unknown << "'"
                  << (nearest.empty() ? "" : "; did you mean " + nearest + "?") << "\n"
                  << UsageLine(app) << std::endl;
        return kExitUsage;
    }
    std::vector<const char*> arguments{argc > 0 ? argv[0] : "saverpak"};
    for (const std::string& arg : args) arguments.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(arguments.size()), arguments.data());
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
