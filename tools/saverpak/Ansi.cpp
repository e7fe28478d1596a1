#include "tools/saverpak/Ansi.h"

#include <cstdint>

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 where the code page assigns nothing. Every other byte is the
// Unicode code point of the same value.
constexpr std::uint16_t kHighTable[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool CodePointToAnsi(std::uint32_t cp, char& out) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        out = static_cast<char>(cp);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighTable[i] != 0 && kHighTable[i] == cp) {
            out = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

bool Utf8ToAnsi(std::string_view utf8, std::string& ansi) {
    ansi.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(utf8[k]); };
        std::uint8_t lead = byte(i);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (extra != 0 && i + extra >= utf8.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms would smuggle a zero byte or a separator past the checks.
        static constexpr std::uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra]) return false;
        char out;
        if (!CodePointToAnsi(cp, out)) return false;
        ansi += out;
        i += extra + 1;
    }
    return true;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        auto b = static_cast<std::uint8_t>(c);
        std::uint32_t cp = b;
        if (b >= 0x80 && b < 0xA0) cp = kHighTable[b - 0x80] ? kHighTable[b - 0x80] : 0xFFFD;
        AppendUtf8(out, cp);
    }
    return out;
}

std::string TerminalText(std::string_view ansi) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        auto byte = static_cast<std::uint8_t>(c);
        bool unassigned = byte >= 0x80 && byte < 0xA0 && kHighTable[byte - 0x80] == 0;
        if (byte < 0x20 || byte == 0x7F || unassigned)
            out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        else if (c == '\\')
            out += "\\\\";
        else
            out += AnsiToUtf8(std::string_view(&c, 1));
    }
    return out;
}
