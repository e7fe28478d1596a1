// Text helpers shared by the saver and the tool.
//
// The container stores its texts (module names, hot-key commands, the link and its caption) in
// Windows-1252, whatever system built or reads it. Where such a text meets the system (a file
// name, a command, a window text) it is converted explicitly, never read in whatever the ANSI
// code page happens to be. The saver's own strings are in the active code page: UTF-8 where the
// system honours the program's manifest, the ANSI code page where it does not, UTF-8 elsewhere.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The one case-insensitive comparison of the system: ASCII letters only, whatever the locale,
// as Windows compares device names and the tool compares key names.
constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

// The Unicode code point of a Windows-1252 byte; U+FFFD for the five bytes it leaves unassigned.
char32_t Windows1252CodePoint(unsigned char byte);

// Windows-1252 to UTF-8.
std::string Windows1252ToUtf8(std::string_view text);

// A stored text as the system is given it: Windows-1252 converted to the active code page. A
// character that code page lacks becomes the system's default character.
std::string FromWindows1252(std::string_view text);

#ifdef _WIN32
// A text in the active code page as UTF-16, for the system's "W" calls, and back.
std::wstring WideText(std::string_view text);
std::string ActiveText(std::wstring_view wide);
#endif

// How many characters (UTF-16 units) a text in the active code page has: what the system's
// 260-character path limit counts.
std::size_t CharacterCount(std::string_view text);
