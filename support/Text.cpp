#include "support/Text.h"

#include <cstdint>

#include "support/Platform.h"

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 where the code page assigns nothing. Every other byte is the
// Unicode code point of the same value.
constexpr std::uint16_t kHighTable[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t cp) {
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

char32_t Windows1252CodePoint(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) return byte;
    return kHighTable[byte - 0x80] ? kHighTable[byte - 0x80] : 0xFFFD;
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) AppendUtf8(out, Windows1252CodePoint(static_cast<unsigned char>(c)));
    return out;
}

#ifdef _WIN32

std::wstring WideText(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string ActiveText(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

std::string FromWindows1252(std::string_view text) {
    if (GetACP() == CP_UTF8) return Windows1252ToUtf8(text);
    // A system that ignores the manifest: its own ANSI code page.
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text)
        wide += static_cast<wchar_t>(Windows1252CodePoint(static_cast<unsigned char>(c)));
    return ActiveText(wide);
}

std::size_t CharacterCount(std::string_view text) { return WideText(text).size(); }

#else

std::string FromWindows1252(std::string_view text) { return Windows1252ToUtf8(text); }

std::size_t CharacterCount(std::string_view text) {
    // UTF-8: every byte but a continuation byte begins a character; one beyond U+FFFF (a
    // four-byte sequence) takes two UTF-16 units.
    std::size_t count = 0;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++count;
        if (byte >= 0xF0) ++count;
    }
    return count;
}

#endif
