#include <CLI/CLI.hpp>

#include "package/PakEntries.h"
#include "package/kwPak.h"
#include "tools/saverpak/Ansi.h"
#include "support/Text.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/OutputFile.h"
#include "tools/saverpak/PathText.h"
#include "tools/saverpak/ToolError.h"

namespace fs = std::filesystem;

namespace {

// The position of the data block that module or picture `index` names.
std::uint32_t DataBlockOf(kwPak& pak, const fs::path& file, ExtractKind kind, unsigned index) {
    const char* what = kind == ExtractKind::Module ? "module" : "picture";
    std::span<const std::uint32_t> table =
        kind == ExtractKind::Module ? pak.ModuleTable() : pak.ContentTable();
    if (index >= table.size())
        throw ToolError(PathText(file) + " has no " + what + " " + std::to_string(index) +
                        " (it has " + std::to_string(table.size()) + ")");
    if (kind == ExtractKind::Picture)
        return ReadPictureDescriptor(pak, static_cast<std::int32_t>(table[index])).DataOffset;
    ssModuleEntry entry;
    ReadModuleEntry(pak, static_cast<std::int32_t>(table[index]), entry);
    if (entry.IsExternal())
        throw ToolError(PathText(file) + ": module " + std::to_string(index) + " is external (" +
                        TerminalText({entry.Name.Text(), entry.Name.Length()}) + "); the container holds no program for it");
    return entry.Descriptor.DataOffset;
}

}  // namespace

void ExtractFromSaver(const fs::path& file, ExtractKind kind, unsigned index,
                      const fs::path& outputArg) {
    fs::path output = fs::absolute(outputArg);
    RefuseSameFile(output, file, "saver file");
    const std::string path = PathText(file);

    kwPak pak;
    kwPakScope scope(pak);
    // The copy goes to a temporary file, written through the handle that created it, and takes
    // the output's place only when whole.
    OutputFile out(output);
    NamingFile(path, [&] {
        pak.Bind(path.c_str());
        std::uint32_t dataOffset = DataBlockOf(pak, file, kind, index);
        if (dataOffset > kMaxPakPosition) pak.RaiseReadError();
        std::uint32_t length = pak.ReadDataBlockLength(static_cast<std::int32_t>(dataOffset));
        pak.StreamBytes(static_cast<std::int32_t>(dataOffset + kDataBlockHeaderSize), length,
                        [&](const std::uint8_t* bytes, std::uint32_t count) { out.Write(bytes, count); });
    });
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
        if (*module < 0 && *picture < 0)
            throw CLI::ValidationError("extract", "give --module N or --picture N");
        ExtractKind kind = *module >= 0 ? ExtractKind::Module : ExtractKind::Picture;
        unsigned index = static_cast<unsigned>(*module >= 0 ? *module : *picture);
        ExtractFromSaver(PathFromText(*file), kind, index, PathFromText(*output));
    });
}
