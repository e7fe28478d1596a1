#include "tools/saverpak/manifest/KeyNames.h"

#include "support/Text.h"

namespace {

struct NamedKey {
    const char* Name;
    std::uint32_t Code;
};

// Windows virtual-key codes. The first name of a code is the one that list prints.
constexpr NamedKey kKeys[] = {
    {"Backspace", 0x08}, {"Back", 0x08},        {"Tab", 0x09},      {"Clear", 0x0C},
    {"Enter", 0x0D},     {"Return", 0x0D},      {"Shift", 0x10},    {"Control", 0x11},
    {"Ctrl", 0x11},      {"Alt", 0x12},         {"Menu", 0x12},     {"Pause", 0x13},
    {"CapsLock", 0x14},  {"Escape", 0x1B},      {"Esc", 0x1B},      {"Space", 0x20},
    {"PageUp", 0x21},    {"Prior", 0x21},       {"PageDown", 0x22}, {"Next", 0x22},
    {"End", 0x23},       {"Home", 0x24},        {"Left", 0x25},     {"Up", 0x26},
    {"Right", 0x27},     {"Down", 0x28},        {"Select", 0x29},   {"Print", 0x2A},
    {"Execute", 0x2B},   {"PrintScreen", 0x2C}, {"Snapshot", 0x2C}, {"Insert", 0x2D},
    {"Delete", 0x2E},    {"Help", 0x2F},        {"LWin", 0x5B},     {"RWin", 0x5C},
    {"Apps", 0x5D},      {"Sleep", 0x5F},       {"Multiply", 0x6A}, {"Add", 0x6B},
    {"Separator", 0x6C}, {"Subtract", 0x6D},    {"Decimal", 0x6E},  {"Divide", 0x6F},
    {"NumLock", 0x90},   {"ScrollLock", 0x91},  {"Scroll", 0x91},
};

// The decimal number after `prefix` when `name` is prefix + digits, else -1.
int NumberAfter(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 2) return -1;
    if (!EqualsIgnoringCase(name.substr(0, prefix.size()), prefix)) return -1;
    int value = 0;
    for (char c : name.substr(prefix.size())) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::optional<std::uint32_t> KeyCodeFromName(std::string_view name) {
    if (name.size() == 1) {
        auto c = static_cast<unsigned char>(AsciiUpper(name[0]));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
        return std::nullopt;
    }
    for (const NamedKey& key : kKeys) {
        if (EqualsIgnoringCase(name, key.Name)) return key.Code;
    }
    int f = NumberAfter(name, "F");
    if (f >= 1 && f <= 24) return 0x70 + static_cast<std::uint32_t>(f - 1);
    int pad = NumberAfter(name, "Numpad");
    if (pad >= 0 && pad <= 9 && name.size() == 7) return 0x60 + static_cast<std::uint32_t>(pad);
    return std::nullopt;
}

std::string KeyNameFromCode(std::uint32_t code) {
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
        return std::string(1, static_cast<char>(code));
    // Appended rather than added: GCC 12 warns falsely (-Wrestrict) about "F" + std::string.
    std::string name;
    if (code >= 0x70 && code <= 0x87) return name.append("F").append(std::to_string(code - 0x6F));
    if (code >= 0x60 && code <= 0x69)
        return name.append("Numpad").append(std::to_string(code - 0x60));
    for (const NamedKey& key : kKeys) {
        if (key.Code == code) return key.Name;
    }
    return "";
}
