// The tool's own words where it reports what the saver's reader said, or what it found wrong
// with the files and the command line it was given. The reader's messages stay the saver's:
// they are reworded here, where the tool reports them, and only where the reader's generic text
// would mislead someone who is using the tool (a missing file, a file that is not a saver).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "package/ssPak.h"
#include "tools/saverpak/io/ToolError.h"

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

// Runs `action`, which reads the saver file `path` with the saver's reader. The reader's
// messages are the saver's own, but for a file that is missing or not a saver, which the tool
// says in its own words; one that does not end with the path gets it added, in the reader's
// style (one space, then the path), so every failure names its file.
template <typename Action>
auto NamingFile(const std::string& path, Action&& action) {
    try {
        return std::forward<Action>(action)();
    } catch (const ToolError&) {
        throw;
    } catch (const ssPakFileError& error) {
        throw ToolError(FileErrorInToolWords(path, error));
    } catch (const std::runtime_error& error) {
        std::string message = error.what();
        if (message.size() < path.size() ||
            message.compare(message.size() - path.size(), path.size(), path) != 0)
            message += " " + path;
        throw ToolError(message);
    }
}
