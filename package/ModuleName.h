// Whether a module's Name may be used as a file name in the temporary directory.
//
// The saver joins an embedded module's Name to the temporary directory and writes the module's
// bytes there, so a Name that is anything but one plain file name ("..\..\Windows\x.exe",
// "C:\x.exe", "NUL", "x.exe:stream") would let a container write wherever the user may write.
// The build tool refuses the same names, so a container it builds always extracts.
#pragma once

#include <string_view>

// nullptr when `name` is a plain file name; else a short reason, e.g. "contains a path
// separator". The whole view is checked, so a zero byte inside it is refused too.
const char* ModuleNameProblem(std::string_view name);

// Whether Windows opens a device, not a file, for `name` in any folder, whatever extension
// follows it ("nul.txt", "COM1.tar.gz"), and ignoring spaces before the extension ("CON .txt").
bool IsDeviceName(std::string_view name);

// Whether a module at `path` would be its own argument file (the module's path with ".cfg" for
// its extension): writing the arguments would truncate the program, and its deletion the user's
// file. Refused for embedded names and external program paths alike.
bool IsArgumentFileName(std::string_view path);

inline bool IsPlainModuleName(std::string_view name) { return ModuleNameProblem(name) == nullptr; }
