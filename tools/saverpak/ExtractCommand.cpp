#include <CLI/CLI.hpp>

#include "package/PakEntries.h"
#include "package/kwPak.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/OutputFile.h"
#include "tools/saverpak/ToolError.h"

namespace fs = std::filesystem;

void ExtractFromSaver(const fs::path& file, ExtractKind kind, unsigned index,
                      const fs::path& outputArg) {
    fs::path output = fs::absolute(outputArg);
    RefuseSameFile(output, file, "saver file");

    kwPak pak;
    kwPakScope scope(pak);
    pak.Bind(file.string().c_str());

    const char* what = kind == ExtractKind::Module ? "module" : "picture";
    std::span<const std::uint32_t> table =
        kind == ExtractKind::Module ? pak.ModuleTable() : pak.ContentTable();
    if (index >= table.size())
        throw ToolError(file.string() + " has no " + what + " " + std::to_string(index) +
                        " (it has " + std::to_string(table.size()) + ")");

    std::uint32_t dataOffset = 0;
    if (kind == ExtractKind::Module) {
        ssModuleEntry entry;
        ReadModuleEntry(pak, static_cast<std::int32_t>(table[index]), entry);
        if (entry.IsExternal())
            throw ToolError("module " + std::to_string(index) + " is external (" +
                            entry.Name.Text() + "); the container holds no program for it");
        dataOffset = entry.Descriptor.DataOffset;
    } else {
        dataOffset = ReadPictureDescriptor(pak, static_cast<std::int32_t>(table[index])).DataOffset;
    }
    if (dataOffset > kMaxPakPosition) pak.RaiseReadError();

    // The saver's own extraction writes the copy; it goes to a temporary file first so that a
    // failure leaves no partial output.
    OutputFile out(output);
    out.CloseStream();
    pak.ExtractModule(static_cast<std::int32_t>(dataOffset), out.TempPath().string().c_str());
    out.Commit();
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
        if (*module < 0 && *picture < 0) throw ToolError("extract: give --module N or --picture N");
        if (*module >= 0)
            ExtractFromSaver(*file, ExtractKind::Module, static_cast<unsigned>(*module), *output);
        else
            ExtractFromSaver(*file, ExtractKind::Picture, static_cast<unsigned>(*picture), *output);
    });
}
