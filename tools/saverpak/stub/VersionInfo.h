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

#include "tools/saverpak/io/Ansi.h"
#include "tools/saverpak/manifest/VersionText.h"

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
