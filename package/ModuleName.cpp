#include "package/ModuleName.h"

#include <array>

#include "support/Text.h"

bool IsDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : kPlain) {
        if (EqualsIgnoringCase(base, device)) return true;
    }
    if (base.size() == 4 && (EqualsIgnoringCase(base.substr(0, 3), "COM") ||
                             EqualsIgnoringCase(base.substr(0, 3), "LPT"))) {
        // COM0..COM9 and LPT0..LPT9, and the superscript digits 1, 2, 3 of the ANSI code page,
        // which Windows treats as the same ports.
        unsigned char digit = static_cast<unsigned char>(base[3]);
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

bool IsArgumentFileName(std::string_view path) {
    // Windows drops trailing spaces and dots from a name it opens: "x.cfg." is "x.cfg".
    while (!path.empty() && (path.back() == ' ' || path.back() == '.')) path.remove_suffix(1);
    return path.size() >= 4 && EqualsIgnoringCase(path.substr(path.size() - 4), ".cfg");
}

const char* ModuleNameProblem(std::string_view name) {
    if (name.empty()) return "is empty";
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20) return "contains a control character";
        if (c == '\\' || c == '/' || c == ':') return "contains a path separator";
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return "contains one of < > \" | ? *";
    }
    // A name that is only dots would climb out of the directory; inside a name two dots serve
    // no purpose and are refused with them.
    if (name.find("..") != std::string_view::npos) return "contains \"..\"";
    if (name.front() == ' ' || name.front() == '.') return "begins with a space or a dot";
    if (name.back() == ' ' || name.back() == '.') return "ends with a space or a dot";
    if (IsDeviceName(name)) return "is a reserved device name";
    if (IsArgumentFileName(name)) return "ends in \".cfg\", the argument file's extension";
    // One path component; longer names are refused by every Windows file system.
    if (name.size() > 255) return "is longer than 255 characters";
    return nullptr;
}
