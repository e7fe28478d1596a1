// Running the tool in-process, and reading what it wrote, for the tool's tests.
#pragma once

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/saverpak/Commands.h"

namespace tool_test {

inline nlohmann::json ListJson(const std::string& file) {
    std::ostringstream out;
    ListSaver(file, true, out);
    return nlohmann::json::parse(out.str());
}

// Runs the tool's command line in-process; returns the exit code, with stdout and stderr.
struct RunResult {
    int Code;
    std::string Out;
    std::string Err;
};

inline RunResult RunTool(std::vector<std::string> args) {
    args.insert(args.begin(), "saverpak");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    auto* oldOut = std::cout.rdbuf(out.rdbuf());
    auto* oldErr = std::cerr.rdbuf(err.rdbuf());
    int code = RunSaverpak(static_cast<int>(argv.size()), argv.data());
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    return {code, out.str(), err.str()};
}

// The files left in a folder, to show that a refused build leaves nothing behind.
inline std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tool_test
