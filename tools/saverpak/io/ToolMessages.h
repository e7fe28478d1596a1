// The tool's own words where it reports what the saver's reader said, or what it found wrong
// with the files and the command line it was given. The reader's messages stay the saver's:
// they are reworded here, where the tool reports them, and only where the reader's generic text
// would mislead someone who is using the tool (a missing file, a file that is not a saver).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "package/ssPak.h"

// "" when `path` is a regular file that can be opened for reading; else what stands in the way,
// e.g. "there is no such file" or "it is a folder".
std::string InputFileProblem(const std::filesystem::path& path);

// Throws ToolError ("cannot open the picture x.jpg: there is no such file") unless `path` can be
// read; `what` names its role.
void RequireInputFile(const std::filesystem::path& path, const std::string& what);

// What the reader raised on opening the saver file `path`, in the tool's words.
std::string FileErrorInToolWords(const std::string& path, const ssPakFileError& error);

// The command among `commands` nearest to `typed` (fewest letters added, removed, changed or
// swapped), or "" when none is close enough to be what was meant.
std::string NearestCommand(std::string_view typed, const std::vector<std::string>& commands);
