// Text conversion between the manifest (UTF-8, as TOML is) and the container, whose texts are
// single-byte text in the Windows ANSI code page. We write Windows-1252, the code page of the
// systems the saver is built for; a character it cannot hold is refused rather than mangled.
#pragma once

#include <string>
#include <string_view>

// False when `utf8` is not valid UTF-8 or holds a character Windows-1252 has no byte for.
bool Utf8ToAnsi(std::string_view utf8, std::string& ansi);

// Windows-1252 to UTF-8 (for showing container texts) is Windows1252ToUtf8 in support/Text.h.
