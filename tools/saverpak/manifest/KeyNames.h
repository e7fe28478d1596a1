// Names of the virtual-key codes that a manifest may bind ("F1", "Escape", "A", "Numpad5").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The code of a key name, case-insensitive; nullopt for an unknown name.
std::optional<std::uint32_t> KeyCodeFromName(std::string_view name);

// The name of a code, or "" when it has none.
std::string KeyNameFromCode(std::uint32_t code);
