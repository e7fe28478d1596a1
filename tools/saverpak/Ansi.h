// Text conversion between the manifest (UTF-8, as TOML is) and the container, whose texts are
// single-byte text in the Windows ANSI code page. We write Windows-1252, the code page of the
// systems the saver is built for; a character it cannot hold is refused rather than mangled.
#pragma once

#include <string>
#include <string_view>

// False when `utf8` is not valid UTF-8 or holds a character Windows-1252 has no byte for.
bool Utf8ToAnsi(std::string_view utf8, std::string& ansi);

// Windows-1252 to UTF-8 (for showing container texts) is Windows1252ToUtf8 in support/Text.h.

// A text from a container as a terminal may be sent it: Windows-1252 shown as UTF-8, with
// control characters, DEL and the bytes the code page leaves unassigned written as \xNN and a
// backslash doubled, so a hostile saver can send no escape sequence and no text can pass for an
// escaped byte. Every container text the tool prints goes through here.
std::string TerminalText(std::string_view ansi);

// A path as the user gave it (not a container text): shown in its own code page, with control
// characters written as \xNN.
std::string PrintablePath(std::string_view path);
