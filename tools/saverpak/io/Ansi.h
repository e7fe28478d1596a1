// Text conversion between the manifest (UTF-8, as TOML is) and the container, whose texts are
// single-byte text in the Windows ANSI code page. We write Windows-1252, the code page of the
// systems the saver is built for; a character it cannot hold is refused rather than mangled.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The UTF-8 sequence that starts at text[at]: its length, with its code point in `cp`, or 0
// when it is not one (cut short, a stray continuation byte, an overlong form, a surrogate or a
// value past U+10FFFF). Every UTF-8 text the tool reads is decoded through here.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& cp);

// False when `utf8` is not valid UTF-8 or holds a character Windows-1252 has no byte for.
bool Utf8ToAnsi(std::string_view utf8, std::string& ansi);

// UTF-8 from and to the UTF-16 that resources hold. nullopt for text that is not UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Windows-1252 to UTF-8 (for showing container texts) is Windows1252ToUtf8 in support/Text.h.

// A text from a container as a terminal may be sent it: Windows-1252 shown as UTF-8, with
// control characters, DEL and the bytes the code page leaves unassigned written as \xNN and a
// backslash doubled, so a hostile saver can send no escape sequence and no text can pass for an
// escaped byte. Every container text the tool prints goes through here.
std::string TerminalText(std::string_view ansi);

// A UTF-8 text from a saver (its resources) as a terminal may be sent it: control characters
// and DEL written as \xNN and a backslash doubled, as TerminalText does.
std::string TerminalUtf8(std::string_view utf8);

// A path as the user gave it (not a container text): shown in its own code page, with control
// characters written as \xNN.
std::string PrintablePath(std::string_view path);
