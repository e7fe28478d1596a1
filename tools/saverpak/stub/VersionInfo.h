// The version resource (VS_VERSIONINFO): its fixed part, which Explorer shows as the file and
// product version, and the texts of its first string table (FileDescription, CompanyName...).
// Read from a stub to take what an author leaves out, and written whole for the saver.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

using VersionNumber = std::array<std::uint16_t, 4>;

struct VersionInfo {
    VersionNumber FileVersion{};
    VersionNumber ProductVersion{};
    // The fixed part's other fields (flags, OS, type), kept as the stub has them.
    std::uint32_t FlagsMask = 0x3F, Flags = 0, Os = 0x40004, Type = 1, Subtype = 0;
    std::u16string TableKey = u"040904B0";  // language and code page of the string table
    std::map<std::u16string, std::u16string> Strings;

    // nullopt when the bytes are not a version resource the tool can read.
    static std::optional<VersionInfo> Parse(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> Write() const;

    const std::u16string* String(const std::u16string& key) const;
};

// "1.2.3" or "1.2.3.4", each part 0 to 65535; nullopt otherwise.
std::optional<VersionNumber> ParseVersionText(const std::string& text);
std::string VersionText(const VersionNumber& version);

// UTF-8 from and to the UTF-16 that resources hold. nullopt for text that is not UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
