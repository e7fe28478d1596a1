#include "tools/saverpak/Ansi.h"

#include <cstdint>

#include "support/Text.h"

namespace {

bool CodePointToAnsi(std::uint32_t cp, char& out) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        out = static_cast<char>(cp);
        return true;
    }
    // U+FFFD stands for the unassigned bytes when reading; no byte is written for it.
    for (unsigned byte = 0x80; byte < 0xA0 && cp != 0xFFFD; ++byte) {
        if (Windows1252CodePoint(static_cast<unsigned char>(byte)) == cp) {
            out = static_cast<char>(byte);
            return true;
        }
    }
    return false;
}

void AppendEscaped(std::string& out, std::uint8_t byte) {
    static const char kHex[] = "0123456789ABCDEF";
    out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
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

std::string TerminalText(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        auto byte = static_cast<std::uint8_t>(c);
        bool unassigned = Windows1252CodePoint(byte) == 0xFFFD;
        if (byte < 0x20 || byte == 0x7F || unassigned)
            AppendEscaped(out, byte);
        else if (c == '\\')
            out += "\\\\";
        else
            out += Windows1252ToUtf8(std::string_view(&c, 1));
    }
    return out;
}

std::string PrintablePath(std::string_view path) {
    std::string out;
    for (char c : path) {
        auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F)
            AppendEscaped(out, byte);
        else
            out += c;
    }
    return out;
}
