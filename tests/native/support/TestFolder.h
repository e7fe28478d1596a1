// Helpers shared by the tests: a fresh folder per test under the system's temporary directory,
// removed with everything in it when the test ends; whole-file reads; the message of a raised
// error. Paths are built with the system's separator so the same test runs on both builds.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/Platform.h"

#ifndef _WIN32
#include <unistd.h>
#endif

// The bytes of a file, or nothing when it cannot be read; Bytes is std::string or a vector of
// bytes.
template <typename Bytes = std::string>
Bytes ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The message of the error `action` raises, or "" when it raises none.
inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

class TestFolder {
public:
    // Named by the test and the process, so that two builds' suites (or two trees) running at
    // once never share a folder.
    TestFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
#ifdef _WIN32
        const unsigned long process = GetCurrentProcessId();
#else
        const unsigned long process = static_cast<unsigned long>(getpid());
#endif
        FPath = std::filesystem::temp_directory_path() /
                (std::string("saverpak-") + info->test_suite_name() + "-" + info->name() + "-" +
                 std::to_string(process));
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

    // Writes the bytes to the named file and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        return Write(name, bytes.data(), bytes.size());
    }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        return Write(name, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

    std::string Read(const std::string& name) const { return ReadWholeFile(FPath / name); }

private:
    std::string Write(const std::string& name, const char* bytes, std::size_t size) const {
        std::ofstream(FPath / name, std::ios::binary)
            .write(bytes, static_cast<std::streamsize>(size));
        return Path(name);
    }

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
