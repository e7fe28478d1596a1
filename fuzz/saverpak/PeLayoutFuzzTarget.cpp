// The program-image reader of the tool's branding step, fed what a hostile stub could be: the
// layout is read from the input's first bytes as build reads it, and every question branding
// asks of a layout that reads is asked, which must stay inside what was read.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/saverpak/stub/PeLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> head(data, std::min<std::size_t>(size, 4096));
    try {
        const PeLayout layout = PeLayout::Parse(head, size);
        for (const PeSection& s : layout.Sections) {
            if (layout.SectionAt(s.VirtualAddress, s.RawSize) == nullptr && s.RawSize != 0 &&
                s.VirtualSize >= s.RawSize)
                std::abort();
            if (s.RawSize != 0 && s.RawPosition + static_cast<std::uint64_t>(s.RawSize) > size)
                std::abort();
        }
        for (int i = 0; i < 16; ++i) layout.Directory(i);
        if (layout.HasRoomForSection() && layout.NextSectionHeader() + 40 > layout.SizeOfHeaders)
            std::abort();
        layout.RawEnd();
        layout.VirtualEnd();
    } catch (const PeError&) {
    }
    return 0;
}
