// A version as authors write it in a manifest and as list shows it: "1.2.3" or "1.2.3.4", the
// four numbers of a version resource's fixed part.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

using VersionNumber = std::array<std::uint16_t, 4>;

// "1.2.3" or "1.2.3.4", each part 0 to 65535; nullopt otherwise.
std::optional<VersionNumber> ParseVersionText(const std::string& text);
std::string VersionText(const VersionNumber& version);
