#include "tools/saverpak/io/ToolMessages.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"

namespace fs = std::filesystem;

std::string InputFileProblem(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return "there is no such file";
    if (error) return error.message();
    if (fs::is_directory(status)) return "it is a folder";
    if (!fs::is_regular_file(status)) return "it is not a regular file";
    if (!OpenStream(path, "rb")) return std::strerror(errno);
    return "";
}

void RequireInputFile(const fs::path& path, const std::string& what) {
    const std::string problem = InputFileProblem(path);
    if (!problem.empty())
        throw ToolError("cannot open the " + what + " " + PathText(path) + ": " + problem);
}

std::string FileErrorInToolWords(const std::string& path, const ssPakFileError& error) {
    // The saver could not open its own file: for the tool, a file it was pointed at.
    if (error.Why() == ssPakFileError::Reason::CannotOpen) {
        std::string problem = InputFileProblem(PathFromText(path));
        return "cannot open " + path + ": " + (problem.empty() ? "it cannot be read" : problem);
    }
    // No trailer at the end: a file that never had content appended, or no saver at all.
    return path +
           " is not a saver with content: it has no container at its end (saverpak "
           "build makes one from the saver program Saverpak.scr and a manifest)";
}

std::string NearestCommand(std::string_view typed, const std::vector<std::string>& commands) {
    // Optimal string alignment distance: an edit is one letter added, removed or changed, or
    // two neighbours swapped ("buidl").
    auto distance = [](std::string_view a, std::string_view b) {
        std::vector<std::vector<std::size_t>> d(a.size() + 1,
                                                std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
        for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            for (std::size_t j = 1; j <= b.size(); ++j) {
                const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
        return d[a.size()][b.size()];
    };
    if (typed.size() > 64) return "";
    std::string lower(typed);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string best;
    std::size_t bestDistance = 0;
    for (const std::string& command : commands) {
        const std::size_t d = distance(lower, command);
        if (best.empty() || d < bestDistance) {
            best = command;
            bestDistance = d;
        }
    }
    // Close enough: at most two edits, and fewer than half the command's letters.
    return bestDistance <= 2 && bestDistance * 2 < best.size() ? best : "";
}
