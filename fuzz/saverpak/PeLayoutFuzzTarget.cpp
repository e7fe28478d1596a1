// The program-image reader of the tool's branding step, fed what a hostile stub could be: the
// layout is read from the input's first bytes as build reads it, and every question branding
// asks of a layout that reads is asked, which must stay inside what was read. The image checksum
// of the input, fed whole and in pieces of the lengths its first bytes give, must be the one a
// word-at-a-time sum gives.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/saverpak/stub/PeLayout.h"

namespace {

std::uint32_t PlainChecksum(const std::uint8_t* data, std::size_t size, std::uint32_t skip) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; i += 2) {
        std::uint32_t word = 0;
        for (std::size_t k = i; k < std::min(size, i + 2); ++k)
            if (k < skip || k >= skip + 4ull)
                word |= static_cast<std::uint32_t>(data[k]) << (8 * (k - i));
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return ((sum & 0xFFFF) + (sum >> 16)) + static_cast<std::uint32_t>(size);
}

void CheckChecksum(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t skip = size > 0 ? data[0] * 2u : 0;
    PeChecksum whole(skip), pieces(skip);
    whole.Add(data, size);
    for (std::size_t at = 0, i = 1; at < size; ++i) {
        const std::size_t piece = std::min<std::size_t>(size - at, i < size ? data[i] % 67 : 64);
        pieces.Add(data + at, piece);
        at += piece;
    }
    const std::uint32_t expected = PlainChecksum(data, size, skip);
    if (whole.Finish() != expected || pieces.Finish() != expected) std::abort();
}

}  // namespace

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
    } catch (const FormatError&) {
    }
    CheckChecksum(data, size);
    return 0;
}
