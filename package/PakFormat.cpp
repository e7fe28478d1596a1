#include "package/PakFormat.h"

#include <cstring>

PakTrailer PakTrailer::Decode(const std::uint8_t* bytes) {
    PakTrailer r;
    r.StructSize = LoadLe32(bytes + 0);
    r.IndexOffset = LoadLe32(bytes + 4);
    return r;
}

std::array<std::uint8_t, kTrailerSize> PakTrailer::Encode() const {
    std::array<std::uint8_t, kTrailerSize> out{};
    StoreLe32(&out[0], StructSize);
    StoreLe32(&out[4], IndexOffset);
    return out;
}

PakIndex PakIndex::Decode(const std::uint8_t* bytes) {
    PakIndex r;
    r.StructSize = LoadLe32(bytes + 0);
    r.ModuleTableOffset = LoadLe32(bytes + 4);
    r.ModuleCount = LoadLe32(bytes + 8);
    r.KeyTableOffset = LoadLe32(bytes + 12);
    r.KeyCount = LoadLe32(bytes + 16);
    r.ContentCount = LoadLe32(bytes + 20);
    r.ContentTableOffset = LoadLe32(bytes + 24);
    r.SettingsOffset = LoadLe32(bytes + 28);
    return r;
}

std::array<std::uint8_t, kPakIndexSize> PakIndex::Encode() const {
    std::array<std::uint8_t, kPakIndexSize> out{};
    StoreLe32(&out[0], StructSize);
    StoreLe32(&out[4], ModuleTableOffset);
    StoreLe32(&out[8], ModuleCount);
    StoreLe32(&out[12], KeyTableOffset);
    StoreLe32(&out[16], KeyCount);
    StoreLe32(&out[20], ContentCount);
    StoreLe32(&out[24], ContentTableOffset);
    StoreLe32(&out[28], SettingsOffset);
    return out;
}

PakStringHeader PakStringHeader::Decode(const std::uint8_t* bytes) {
    PakStringHeader r;
    r.StructSize = LoadLe32(bytes + 0);
    r.Length = LoadLe32(bytes + 4);
    return r;
}

std::array<std::uint8_t, kStringDescriptorSize> PakStringHeader::Encode() const {
    std::array<std::uint8_t, kStringDescriptorSize> out{};
    StoreLe32(&out[0], StructSize);
    StoreLe32(&out[4], Length);
    return out;
}

PakModuleDescriptor PakModuleDescriptor::Decode(const std::uint8_t* bytes) {
    PakModuleDescriptor r;
    r.StructSize = LoadLe32(bytes + 0);
    r.Flags = LoadLe32(bytes + 4);
    r.NameOffset = LoadLe32(bytes + 8);
    r.DataOffset = LoadLe32(bytes + 12);
    r.ArgMethod = bytes[16];
    return r;
}

std::array<std::uint8_t, kModuleDescriptorSize> PakModuleDescriptor::Encode() const {
    std::array<std::uint8_t, kModuleDescriptorSize> out{};
    StoreLe32(&out[0], StructSize);
    StoreLe32(&out[4], Flags);
    StoreLe32(&out[8], NameOffset);
    StoreLe32(&out[12], DataOffset);
    out[16] = ArgMethod;
    return out;
}

PakPictureDescriptor PakPictureDescriptor::Decode(const std::uint8_t* bytes) {
    PakPictureDescriptor r;
    r.StructSize = LoadLe32(bytes + 0);
    r.PictureType = bytes[4];
    r.DataOffset = LoadLe32(bytes + 5);
    return r;
}

std::array<std::uint8_t, kPictureDescriptorSize> PakPictureDescriptor::Encode() const {
    std::array<std::uint8_t, kPictureDescriptorSize> out{};
    StoreLe32(&out[0], StructSize);
    out[4] = PictureType;
    StoreLe32(&out[5], DataOffset);
    return out;
}

PakKeyEntry PakKeyEntry::Decode(const std::uint8_t* bytes) {
    PakKeyEntry r;
    r.StructSize = LoadLe32(bytes + 0);
    r.Key = LoadLe32(bytes + 4);
    r.Function = bytes[8];
    r.CommandOffset = LoadLe32(bytes + 9);
    return r;
}

std::array<std::uint8_t, kKeyEntrySize> PakKeyEntry::Encode() const {
    std::array<std::uint8_t, kKeyEntrySize> out{};
    StoreLe32(&out[0], StructSize);
    StoreLe32(&out[4], Key);
    out[8] = Function;
    StoreLe32(&out[9], CommandOffset);
    return out;
}

PakSettings PakSettings::Decode(const std::uint8_t* bytes) {
    PakSettings r;
    std::memcpy(r.URLLink, bytes, kUrlLinkSize);
    std::memcpy(r.URLCaption, bytes + kUrlLinkSize, kUrlCaptionSize);
    r.Music = LoadLe32(bytes + kUrlLinkSize + kUrlCaptionSize);
    return r;
}

std::array<std::uint8_t, kSettingsSize> PakSettings::Encode() const {
    std::array<std::uint8_t, kSettingsSize> out{};
    std::memcpy(&out[0], URLLink, kUrlLinkSize);
    std::memcpy(&out[kUrlLinkSize], URLCaption, kUrlCaptionSize);
    StoreLe32(&out[kUrlLinkSize + kUrlCaptionSize], Music);
    return out;
}

std::optional<PeCertificateEntry> FindCertificateEntry(const std::uint8_t* head, std::size_t size) {
    constexpr std::size_t kPeOffsetField = 0x3C;
    constexpr std::size_t kCoffSize = 24;  // "PE\0\0" and the file header
    constexpr std::uint32_t kSecurityEntry = 4;
    if (size < kPeOffsetField + 4 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
    std::uint64_t pe = LoadLe32(head + kPeOffsetField);
    if (pe + kCoffSize + 2 > size || std::memcmp(head + pe, "PE\0\0", 4) != 0) return std::nullopt;
    std::uint16_t optionalSize = LoadLe16(head + pe + 20);
    std::uint64_t optional = pe + kCoffSize;
    // The data directory follows the fields of the 32- or 64-bit optional header.
    std::uint16_t magic = LoadLe16(head + optional);
    std::uint64_t countField = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (countField == 0 || optional + countField + 4 > size) return std::nullopt;
    std::uint32_t entries = LoadLe32(head + optional + countField);
    std::uint64_t entry = countField + 4 + kSecurityEntry * 8;
    if (entries <= kSecurityEntry || entry + 8 > optionalSize || optional + entry + 8 > size)
        return std::nullopt;
    PeCertificateEntry result;
    result.EntryPosition = static_cast<std::uint32_t>(optional + entry);
    result.Position = LoadLe32(head + optional + entry);
    result.Size = LoadLe32(head + optional + entry + 4);
    return result;
}
