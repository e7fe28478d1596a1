// The resource reader of the tool's branding step, fed what a hostile stub could hold: the
// input is a resource section loaded at 0x6000 (where the tests' stub has it), read as a tree
// and written back, every version resource and icon group in it read, and the same bytes read
// as an icon file. A tree that reads must read again, unchanged, from what it writes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>

#include "tools/saverpak/stub/IconFile.h"
#include "tools/saverpak/stub/PeLayout.h"
#include "tools/saverpak/stub/ResourceTree.h"
#include "tools/saverpak/stub/VersionInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t kBase = 0x6000;
    std::span<const std::uint8_t> bytes(data, size);
    try {
        ResourceTree tree = ResourceTree::Parse(bytes, kBase);
        for (const auto& [type, names] : tree.Types)
            for (const auto& [name, languages] : names)
                for (const auto& [language, resource] : languages) {
                    if (type == ResourceKey::Number(kRtVersion)) {
                        if (auto info = VersionInfo::Parse(resource.Bytes)) {
                            auto again = VersionInfo::Parse(info->Write());
                            if (!again || again->Strings != info->Strings) std::abort();
                        }
                    }
                    if (type == ResourceKey::Number(kRtGroupIcon)) ReadIconGroup(resource.Bytes);
                }
        const std::vector<std::uint8_t> written = tree.Write(kBase);
        if (ResourceTree::Parse(written, kBase).Write(kBase) != written) std::abort();
    } catch (const FormatError&) {
    }
    try {
        ParseIconFile(bytes);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
