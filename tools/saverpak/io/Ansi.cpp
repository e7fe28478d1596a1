#include "tools/saverpak/io/Ansi.h"

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

// The one escaper of text for a terminal: control characters and DEL as \xNN, and, where
// escaped bytes must not be forged, a backslash doubled.
std::string ForTerminal(std::string_view utf8, bool doubleBackslash) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F)
            AppendEscaped(out, byte);
        else if (c == '\\' && doubleBackslash)
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& cp) {
    auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(at);
    const std::size_t extra = lead < 0x80             ? 0
                              : (lead & 0xE0) == 0xC0 ? 1
                              : (lead & 0xF0) == 0xE0 ? 2
                              : (lead & 0xF8) == 0xF0 ? 3
                                                      : 4;
    if (extra == 4 || at + extra >= text.size()) return 0;
    cp = extra == 0 ? lead : lead & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(at + k) & 0x3F);
    }
    // Overlong forms would smuggle a zero byte or a separator past the checks.
    static constexpr char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return extra + 1;
}

bool Utf8ToAnsi(std::string_view utf8, std::string& ansi) {
    ansi.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        const std::size_t length = Utf8SequenceAt(utf8, i, cp);
        char out;
        if (length == 0 || !CodePointToAnsi(cp, out)) return false;
        ansi += out;
        i += length;
    }
    return true;
}

std::string TerminalText(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        auto byte = static_cast<std::uint8_t>(c);
        if (Windows1252CodePoint(byte) == 0xFFFD)
            AppendEscaped(out, byte);
        else
            out += ForTerminal(Windows1252ToUtf8(std::string_view(&c, 1)), true);
    }
    return out;
}

std::string TerminalUtf8(std::string_view utf8) { return ForTerminal(utf8, true); }

std::string PrintablePath(std::string_view path) { return ForTerminal(path, false); }

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp;
        const std::size_t length = Utf8SequenceAt(text, i, cp);
        if (length == 0) return std::nullopt;
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}
