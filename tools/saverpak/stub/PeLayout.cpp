#include "tools/saverpak/stub/PeLayout.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "support/Bytes.h"

namespace {

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

void Need(std::span<const std::uint8_t> head, std::uint64_t fileSize, std::uint64_t end,
          const char* what) {
    if (end > head.size() || end > fileSize)
        throw FormatError(std::string("its ") + what + " is cut short");
}

// The data directory, whose count sits at `countField` in the optional header at `optional`.
void ReadDirectories(std::span<const std::uint8_t> head, std::uint64_t optional,
                     std::uint64_t countField, std::uint16_t optionalSize, PeLayout& layout) {
    const std::uint32_t directoryCount = LoadLe32(&head[optional + countField]);
    if (directoryCount > 16 || countField + 4 + 8ull * directoryCount > optionalSize)
        throw FormatError("its data directory does not fit its optional header");
    for (std::uint32_t i = 0; i < directoryCount; ++i) {
        const std::uint64_t at = optional + countField + 4 + 8ull * i;
        layout.Directories.push_back(
            {static_cast<std::uint32_t>(at), LoadLe32(&head[at]), LoadLe32(&head[at + 4])});
    }
}

// The section table at `table`, its sections in address order and inside the file.
void ReadSections(std::span<const std::uint8_t> head, std::uint64_t fileSize, std::uint64_t table,
                  std::uint16_t sectionCount, PeLayout& layout) {
    if (sectionCount == 0 || sectionCount > 96)
        throw FormatError("its section count is implausible");
    Need(head, fileSize, table + kPeSectionHeaderSize * sectionCount, "section table");
    if (table + kPeSectionHeaderSize * sectionCount > layout.SizeOfHeaders)
        throw FormatError("its section table lies outside its headers");
    std::uint32_t previousEnd = 0;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = table + kPeSectionHeaderSize * i;
        PeSection s;
        const char* name = reinterpret_cast<const char*>(&head[at]);
        s.Name.assign(name, strnlen(name, 8));
        s.HeaderPosition = static_cast<std::uint32_t>(at);
        s.VirtualSize = LoadLe32(&head[at + 8]);
        s.VirtualAddress = LoadLe32(&head[at + 12]);
        s.RawSize = LoadLe32(&head[at + 16]);
        s.RawPosition = LoadLe32(&head[at + 20]);
        if (s.VirtualAddress < previousEnd || s.VirtualAddress % layout.SectionAlignment != 0)
            throw FormatError("its sections are not in address order");
        if (static_cast<std::uint64_t>(s.VirtualAddress) + std::max(s.VirtualSize, s.RawSize) >
            0x7FFFFFFF)
            throw FormatError("its image is larger than 2 GiB");
        previousEnd =
            AlignUp(s.VirtualAddress + std::max(s.VirtualSize, s.RawSize), layout.SectionAlignment);
        if (s.RawSize != 0 && (s.RawPosition < layout.SizeOfHeaders ||
                               static_cast<std::uint64_t>(s.RawPosition) + s.RawSize > fileSize))
            throw FormatError("section " + s.Name + " lies outside the file");
        layout.Sections.push_back(std::move(s));
    }
}

}  // namespace

PeLayout PeLayout::Parse(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
    auto need = [&](std::uint64_t end, const char* what) { Need(head, fileSize, end, what); };
    need(0x40, "DOS header");
    if (head[0] != 'M' || head[1] != 'Z') throw FormatError("it does not begin with \"MZ\"");
    const std::uint64_t pe = LoadLe32(&head[0x3C]);
    need(pe + 24, "PE header");
    if (std::memcmp(&head[pe], "PE\0\0", 4) != 0)
        throw FormatError("it has no PE header (an MS-DOS program?)");
    const std::uint16_t sectionCount = LoadLe16(&head[pe + 6]);
    const std::uint16_t optionalSize = LoadLe16(&head[pe + 20]);
    const std::uint64_t optional = pe + 24;
    need(optional + optionalSize, "optional header");
    if (optionalSize < 2) throw FormatError("it has no optional header");
    const std::uint16_t magic = LoadLe16(&head[optional]);
    if (magic != 0x10B && magic != 0x20B)
        throw FormatError("its optional header is of an unknown kind");
    const std::uint64_t countField = magic == 0x20B ? 108 : 92;
    if (countField + 4 > optionalSize) throw FormatError("its optional header is cut short");

    PeLayout layout;
    layout.SectionAlignment = LoadLe32(&head[optional + 32]);
    layout.FileAlignment = LoadLe32(&head[optional + 36]);
    layout.SizeOfImagePosition = static_cast<std::uint32_t>(optional + 56);
    layout.SizeOfHeaders = LoadLe32(&head[optional + 60]);
    layout.ChecksumPosition = static_cast<std::uint32_t>(optional + 64);
    layout.SectionCountPosition = static_cast<std::uint32_t>(pe + 6);
    if (!IsPowerOfTwo(layout.FileAlignment) || layout.FileAlignment < 0x200 ||
        layout.FileAlignment > 0x10000 || !IsPowerOfTwo(layout.SectionAlignment) ||
        layout.SectionAlignment < layout.FileAlignment)
        throw FormatError("its file or section alignment is not one a linker writes");

    ReadDirectories(head, optional, countField, optionalSize, layout);
    ReadSections(head, fileSize, optional + optionalSize, sectionCount, layout);
    return layout;
}

std::optional<PeDirectory> PeLayout::Directory(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= Directories.size()) return std::nullopt;
    return Directories[static_cast<std::size_t>(index)];
}

const PeSection* PeLayout::SectionAt(std::uint32_t rva, std::uint32_t size) const {
    for (const PeSection& s : Sections) {
        const std::uint64_t end = static_cast<std::uint64_t>(rva) + size;
        if (rva >= s.VirtualAddress &&
            end <= static_cast<std::uint64_t>(s.VirtualAddress) + s.RawSize &&
            end <=
                static_cast<std::uint64_t>(s.VirtualAddress) + std::max(s.VirtualSize, s.RawSize))
            return &s;
    }
    return nullptr;
}

std::uint32_t PeLayout::NextSectionHeader() const {
    return Sections.back().HeaderPosition + kPeSectionHeaderSize;
}

bool PeLayout::HasRoomForSection() const {
    std::uint32_t limit = SizeOfHeaders;
    for (const PeSection& s : Sections)
        if (s.RawSize != 0) limit = std::min(limit, s.RawPosition);
    return NextSectionHeader() + kPeSectionHeaderSize <= limit;
}

std::uint32_t PeLayout::RawEnd() const {
    std::uint32_t end = SizeOfHeaders;
    for (const PeSection& s : Sections) end = std::max(end, s.RawPosition + s.RawSize);
    return end;
}

std::uint32_t PeLayout::VirtualEnd() const {
    const PeSection& last = Sections.back();
    return AlignUp(last.VirtualAddress + std::max(last.VirtualSize, last.RawSize),
                   SectionAlignment);
}

void PeChecksum::Add(const std::uint8_t* bytes, std::size_t count) {
    const std::uint64_t end = FPosition + count, skipEnd = FSkip + 4ull;
    if (FPosition < skipEnd && end > FSkip) {
        static constexpr std::uint8_t kZeros[4] = {};
        const std::size_t before =
            FPosition < FSkip ? static_cast<std::size_t>(FSkip - FPosition) : 0;
        const std::size_t field =
            static_cast<std::size_t>(std::min(end, skipEnd) - (FPosition + before));
        AddRun(bytes, before);
        AddRun(kZeros, field);
        bytes += before + field;
        count -= before + field;
    }
    AddRun(bytes, count);
}

void PeChecksum::AddRun(const std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t kLaneBlock = 16384;  // each load adds less than 2^17 to a lane
    if (count != 0 && FPosition % 2 != 0) {    // the high byte of the word the last piece began
        FSum += static_cast<std::uint32_t>(*bytes++) << 8;
        --count;
        ++FPosition;
    }
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kLowWords = 0x0000FFFF0000FFFFull;
        while (count >= 32) {
            // Four loads a step, each into its own lanes, which the processor adds side by side.
            const std::size_t steps = std::min(count / 32, kLaneBlock);
            std::uint64_t lanes[4] = {};
            for (std::size_t i = 0; i < steps; ++i, bytes += 32)
                for (int k = 0; k < 4; ++k) {
                    std::uint64_t v;
                    std::memcpy(&v, bytes + 8 * k, 8);
                    lanes[k] += (v & kLowWords) + ((v >> 16) & kLowWords);
                }
            for (std::uint64_t l : lanes) FSum += (l & 0xFFFFFFFFull) + (l >> 32);
            count -= 32 * steps;
            FPosition += 32 * steps;
        }
    }
    for (; count >= 2; count -= 2, bytes += 2, FPosition += 2) FSum += LoadLe16(bytes);
    if (count != 0) {  // the low byte of a word the next piece ends
        FSum += *bytes;
        ++FPosition;
    }
}

std::uint32_t PeChecksum::Finish() const {
    std::uint64_t sum = FSum;
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + FPosition);
}
