// Binds a fuzzed saver file and makes every on-demand read the saver and the tool make:
// module entries and their data, picture descriptors, key lookups, strings, extraction, and
// what the tool's own commands do with a saver: verify, and list as a table and as JSON.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "package/PakEntries.h"
#include "package/kwPak.h"
#include "tools/saverpak/Commands.h"

#ifdef _WIN32
#include <process.h>
#define GetPid _getpid
#else
#include <unistd.h>
#define GetPid getpid
#endif

namespace {

std::string ScratchPath(const char* what) {
    return (std::filesystem::temp_directory_path() /
            ("pak-fuzz-" + std::to_string(GetPid()) + "-" + what))
        .string();
}

const std::string& InputPath() {
    static const std::string path = [] {
        std::atexit([] {
            std::remove(ScratchPath("input.scr").c_str());
            std::remove(ScratchPath("module.bin").c_str());
        });
        return ScratchPath("input.scr");
    }();
    return path;
}

void ReadEverything(kwPak& pak) {
    for (std::uint32_t position : pak.ModuleTable()) {
        try {
            ssModuleEntry entry;
            ReadModuleEntry(pak, static_cast<std::int32_t>(position), entry);
            if (!entry.IsExternal() && entry.Descriptor.DataOffset <= kMaxPakPosition) {
                static const std::string target = ScratchPath("module.bin");
                pak.ExtractModule(static_cast<std::int32_t>(entry.Descriptor.DataOffset),
                                  target.c_str());
            }
        } catch (const std::runtime_error&) {
        }
    }
    for (std::uint32_t position : pak.ContentTable()) {
        try {
            PakPictureDescriptor picture =
                ReadPictureDescriptor(pak, static_cast<std::int32_t>(position));
            if (picture.DataOffset <= kMaxPakPosition)
                pak.ReadDword(static_cast<std::int32_t>(picture.DataOffset));
        } catch (const std::runtime_error&) {
        }
    }
    for (int i = 0; i < pak.Keys().Count(); ++i) {
        const ssPakKey::Entry& entry = pak.Keys()[i];
        if (pak.Keys().Find(entry.Key) == nullptr) std::abort();  // every bound key is found
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = InputPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    kwPak pak;
    try {
        pak.Bind(path.c_str());
        ReadEverything(pak);
    } catch (const std::runtime_error&) {
    }
    pak.Unbind();

    // The tool's commands, as `build` runs them on its own output.
    try {
        VerifySaver(path);
    } catch (const std::runtime_error&) {
    }
    for (bool json : {false, true}) {
        try {
            std::ostringstream out;
            ListSaver(path, json, out);
        } catch (const std::runtime_error&) {
        }
    }
    return 0;
}
