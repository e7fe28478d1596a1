// The parts of a Windows program image (PE) that branding a stub reads and rewrites: the
// optional header's fields that describe the image, the data directory, and the section table.
// Read from the file's first bytes only, field by field, every position checked against what
// was read; a program that is not laid out as a linker lays out a PE32+ or PE32 image is
// refused with the reason.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/saverpak/io/ToolError.h"

struct PeSection {
    std::string Name;                  // up to 8 characters
    std::uint32_t HeaderPosition = 0;  // file position of its 40-byte header
    std::uint32_t VirtualAddress = 0;
    std::uint32_t VirtualSize = 0;
    std::uint32_t RawPosition = 0;
    std::uint32_t RawSize = 0;
};

struct PeDirectory {
    std::uint32_t Position = 0;  // file position of the entry's 8 bytes
    std::uint32_t Address = 0;   // a virtual address (a file position for the certificate table)
    std::uint32_t Size = 0;
};

constexpr std::uint32_t kPeSectionHeaderSize = 40;
constexpr int kPeResourceDirectory = 2;
constexpr int kPeSecurityDirectory = 4;

class PeLayout {
public:
    // `head` is the file's first bytes (at least its headers); `fileSize` its whole length.
    static PeLayout Parse(std::span<const std::uint8_t> head, std::uint64_t fileSize);

    std::uint32_t FileAlignment = 0;
    std::uint32_t SectionAlignment = 0;
    std::uint32_t SizeOfHeaders = 0;
    std::uint32_t SizeOfImagePosition = 0;
    std::uint32_t ChecksumPosition = 0;
    std::uint32_t SectionCountPosition = 0;
    std::vector<PeSection> Sections;
    std::vector<PeDirectory> Directories;

    std::optional<PeDirectory> Directory(int index) const;
    // The section that holds `size` bytes at virtual address `rva`, if one does.
    const PeSection* SectionAt(std::uint32_t rva, std::uint32_t size) const;
    // Where the next section header would go, and whether the headers have room for it.
    std::uint32_t NextSectionHeader() const;
    bool HasRoomForSection() const;
    // The end of the last section's bytes in the file, and of the image in memory.
    std::uint32_t RawEnd() const;
    std::uint32_t VirtualEnd() const;
};

inline std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(value) + alignment - 1) /
                                      alignment * alignment);
}

// The image checksum as the system's loader and CheckSumMappedFile compute it: the file's
// 16-bit little-endian words summed with their carries folded back in (a ones' complement
// sum), the checksum field itself counted as zeros, plus the file's length.
//
// Fed in pieces of any length as the file is written, so build reads no byte twice for it. A
// ones' complement sum may fold its carries at any time with the same result, so the words are
// summed in plain 64-bit arithmetic and folded once in Finish. The bulk goes eight bytes at a
// time: the four words of a 64-bit load are added as two pairs into two 32-bit lanes, which
// cannot overflow within a block of kLaneBlock loads and are then added to the sum. That is a
// few instructions per eight bytes, and the compiler vectorises it further: the checksum of a
// large module costs less than copying it.
class PeChecksum {
public:
    explicit PeChecksum(std::uint32_t checksumPosition) : FSkip(checksumPosition) {}
    void Add(const std::uint8_t* bytes, std::size_t count);
    std::uint32_t Finish() const;

private:
    void AddRun(const std::uint8_t* bytes, std::size_t count);

    std::uint32_t FSkip;
    std::uint64_t FPosition = 0;
    std::uint64_t FSum = 0;  // of the words, and of the low byte of a word cut by a piece's end
};
