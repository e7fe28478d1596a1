// A fresh folder under the system's temporary directory, removed with everything in it when the
// test ends. Paths are built with the system's separator so the same test runs on both builds.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/Platform.h"

class TestFolder {
public:
    TestFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        FPath = std::filesystem::temp_directory_path() /
                (std::string("saverpak-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    std::string Path(const std::string& name) const { return (FPath / name).string(); }
    std::string Path() const { return FPath.string(); }

    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(FPath / name, std::ios::binary) << bytes;
        return Path(name);
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(FPath / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path FPath;
};

// The names in a folder, to show that a step wrote or deleted nothing there.
inline std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Points the system's temporary directory (GetTempPathA) at `folder` for the life of the
// object, so that what a test extracts there can be listed without other programs' files.
class TempDirectoryOverride {
public:
    explicit TempDirectoryOverride(const std::string& folder) {
        for (const char* name : kNames) {
            const char* old = std::getenv(name);
            FOld.push_back(old ? std::optional<std::string>(old) : std::nullopt);
            Set(name, folder.c_str());
        }
    }
    ~TempDirectoryOverride() {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            Set(kNames[i], FOld[i] ? FOld[i]->c_str() : nullptr);
        }
    }
    TempDirectoryOverride(const TempDirectoryOverride&) = delete;
    TempDirectoryOverride& operator=(const TempDirectoryOverride&) = delete;

private:
    static void Set(const char* name, const char* value) {
#ifdef _WIN32
        SetEnvironmentVariableA(name, value);
#else
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
#endif
    }
    static constexpr const char* kNames[] = {"TMP", "TEMP", "TMPDIR"};
    std::vector<std::optional<std::string>> FOld;
};
