// A fresh folder under the system's temporary directory, removed with everything in it when the
// test ends. Paths are built with the system's separator so the same test runs on both builds.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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
