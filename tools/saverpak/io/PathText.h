// Paths between the tool's texts and std::filesystem. The tool's texts (its command line, its
// messages) are in the active code page: UTF-8 on Linux and, through the tool's manifest, on
// Windows. mingw's std::filesystem::path would widen a narrow text byte by byte and narrow it
// again the same way, so a path that is not ASCII would name another file; these convert
// through the system instead.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "support/Handles.h"

std::filesystem::path PathFromText(std::string_view text);
std::string PathText(const std::filesystem::path& path);

// fopen for a path of any letters (on Windows through its UTF-16 name). Empty on failure, with
// errno set.
UniqueStream OpenStream(const std::filesystem::path& path, const char* mode);
