// The byte layout of the content container appended to a saver file.
//
// Every record is little-endian and packed. Records are never read by casting file bytes to a
// struct: each has a Decode that takes exactly its size in bytes and picks the fields out one by
// one, and an Encode that writes them back the same way. The saver, the build tool and the tests
// all go through these, so there is one definition of where each field lives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "support/Bytes.h"

// Fixed record sizes; every record but the data block and the settings block begins with its
// own size, which readers compare with these.
constexpr std::uint32_t kStringDescriptorSize = 8;
constexpr std::uint32_t kModuleDescriptorSize = 17;
constexpr std::uint32_t kPictureDescriptorSize = 9;
constexpr std::uint32_t kKeyEntrySize = 13;
constexpr std::uint32_t kSettingsSize = 560;
constexpr std::uint32_t kPakIndexSize = 32;
constexpr std::uint32_t kTrailerSize = 8;
constexpr std::uint32_t kDataBlockHeaderSize = 4;

// Positions and lengths travel through the file object's signed 32-bit seek.
constexpr std::uint32_t kMaxPakPosition = 0x7FFFFFFF;

constexpr std::uint32_t kModuleExternal = 0x1;       // Flags bit 0
constexpr std::uint32_t kModuleForceMaximize = 0x2;  // Flags bit 1

constexpr std::uint8_t kPictureBmp = 0;
constexpr std::uint8_t kPictureJpeg = 1;

constexpr std::uint8_t kExitAndLeaveRunning = 0;
constexpr std::uint8_t kShellExecute = 1;

// A reader keeps at most this many key-entry positions.
constexpr std::uint32_t kMaxKeyEntries = 32;

constexpr std::size_t kUrlLinkSize = 300;
constexpr std::size_t kUrlCaptionSize = 256;

struct PakTrailer {
    std::uint32_t StructSize = kTrailerSize;
    std::uint32_t IndexOffset = 0;

    static PakTrailer Decode(const std::uint8_t* bytes);
    std::array<std::uint8_t, kTrailerSize> Encode() const;
};

struct PakIndex {
    std::uint32_t StructSize = kPakIndexSize;
    std::uint32_t ModuleTableOffset = 0;
    std::uint32_t ModuleCount = 0;
    std::uint32_t KeyTableOffset = 0;
    std::uint32_t KeyCount = 0;
    // Content gives its count before its offset, unlike the other two pairs.
    std::uint32_t ContentCount = 0;
    std::uint32_t ContentTableOffset = 0;
    std::uint32_t SettingsOffset = 0;

    static PakIndex Decode(const std::uint8_t* bytes);
    std::array<std::uint8_t, kPakIndexSize> Encode() const;
};

struct PakStringHeader {
    std::uint32_t StructSize = kStringDescriptorSize;
    std::uint32_t Length = 0;  // text bytes that follow; 0 = no string at all

    static PakStringHeader Decode(const std::uint8_t* bytes);
    std::array<std::uint8_t, kStringDescriptorSize> Encode() const;
};

struct PakModuleDescriptor {
    std::uint32_t StructSize = kModuleDescriptorSize;
    std::uint32_t Flags = 0;
    std::uint32_t NameOffset = 0;
    std::uint32_t DataOffset = 0;
    std::uint8_t ArgMethod = 0;

    static PakModuleDescriptor Decode(const std::uint8_t* bytes);
    std::array<std::uint8_t, kModuleDescriptorSize> Encode() const;
};

struct PakPictureDescriptor {
    std::uint32_t StructSize = kPictureDescriptorSize;
    std::uint8_t PictureType = kPictureBmp;
    std::uint32_t DataOffset = 0;

    static PakPictureDescriptor Decode(const std::uint8_t* bytes);
    std::array<std::uint8_t, kPictureDescriptorSize> Encode() const;
};

struct PakKeyEntry {
    std::uint32_t StructSize = kKeyEntrySize;
    std::uint32_t Key = 0;
    std::uint8_t Function = kExitAndLeaveRunning;
    std::uint32_t CommandOffset = 0;

    static PakKeyEntry Decode(const std::uint8_t* bytes);
    std::array<std::uint8_t, kKeyEntrySize> Encode() const;
};

// The settings block has no size field; both texts are zero-terminated inside their fields.
struct PakSettings {
    char URLLink[kUrlLinkSize] = {};
    char URLCaption[kUrlCaptionSize] = {};
    std::uint32_t Music = 0;

    static PakSettings Decode(const std::uint8_t* bytes);
    std::array<std::uint8_t, kSettingsSize> Encode() const;
};

// A signed saver is a Windows program image whose certificate table (the security entry of its
// optional header's data directory) follows the container: signing appends the table after
// padding the file with zero bytes to an 8-byte boundary. Only what finding the table's start
// needs is read: the entry's place and its two values, never the certificate itself.
constexpr std::uint32_t kPeHeadSize = 4096;       // the headers looked at lie in the first 4 KiB
constexpr std::uint32_t kCertificatePadding = 8;  // the table starts on this boundary

struct PeCertificateEntry {
    std::uint32_t EntryPosition = 0;  // file position of the entry's 8 bytes
    std::uint32_t Position = 0;       // the table's file position (the entry's VirtualAddress)
    std::uint32_t Size = 0;

    bool IsEmpty() const { return Position == 0 && Size == 0; }
};

// The security directory entry found through the headers at the start of `head` (the file's
// first bytes, at most kPeHeadSize of them); nullopt when they are not those of a PE image
// that has the entry.
std::optional<PeCertificateEntry> FindCertificateEntry(const std::uint8_t* head, std::size_t size);
