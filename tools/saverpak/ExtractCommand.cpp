#include "package/PakEntries.h"
#include "package/kwPak.h"
#include "support/Text.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/io/Ansi.h"
#include "tools/saverpak/io/OutputFile.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/io/ToolMessages.h"

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
                        TerminalText({entry.Name.Text(), entry.Name.Length()}) +
                        "); the container holds no program for it");
    return entry.Descriptor.DataOffset;
}

}  // namespace

void ExtractFromSaver(const fs::path& file, ExtractKind kind, unsigned index,
                      const fs::path& outputArg) {
    fs::path output = fs::absolute(outputArg);
    RefuseSameFile(output, file, "saver file");
    const std::string path = PathText(file);

    kwPak pak;
    ScopedUnbind scope(pak);
    // The copy goes to a temporary file, written through the handle that created it, and takes
    // the output's place only when whole.
    OutputFile out(output);
    NamingFile(path, [&] {
        pak.Bind(path.c_str());
        std::uint32_t dataOffset = DataBlockOf(pak, file, kind, index);
        if (dataOffset > kMaxPakPosition) pak.RaiseReadError();
        std::uint32_t length = pak.ReadDataBlockLength(static_cast<std::int32_t>(dataOffset));
        pak.StreamBytes(
            static_cast<std::int32_t>(dataOffset + kDataBlockHeaderSize), length,
            [&](const std::uint8_t* bytes, std::uint32_t count) { out.Write(bytes, count); });
    });
    out.Commit();
}
