// The one error type of the tool's own checks. Its text is shown as it is, so it names the file
// or manifest entry it is about.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "tools/saverpak/io/ToolMessages.h"

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

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
