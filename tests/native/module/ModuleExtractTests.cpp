#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

#include "../package/RawPak.h"
#include "TestFolder.h"
#include "package/kwPak.h"
#include "package/ssModule.h"

namespace {

// A saver whose container holds four module descriptors: embedded with a name, embedded
// without one, External, and one whose StructSize is wrong.
struct ModulePak {
    RawPak pak;
    std::string program = "MZ module program bytes";
    std::string name;
    std::uint32_t named = 0, unnamed = 0, external = 0, broken = 0;

    ModulePak(const std::string& moduleName, const std::string& externalPath) : name(moduleName) {
        std::uint32_t nameAt = pak.String(moduleName);
        std::uint32_t data = pak.Data(program);
        named = pak.Module(kModuleForceMaximize, nameAt, data, 7);
        unnamed = pak.Module(0, pak.String(std::nullopt), data);
        external = pak.Module(kModuleExternal, pak.String(externalPath), 0);
        broken = pak.Module(0, nameAt, data, 0, 16);
        pak.Finish({.ModuleTableOffset = pak.Table({named, unnamed, external, broken}),
                    .ModuleCount = 4,
                    .SettingsOffset = pak.Settings("", "", 0)});
    }
};

class ModuleExtract : public ::testing::Test {
protected:
    void SetUp() override {
        char directory[kPathSize];
        ASSERT_GT(GetTempPathA(sizeof directory, directory), 0u);
        tempDir = directory;
    }
    std::string TempPath(const std::string& name) {
        char path[kPathSize];
        EXPECT_TRUE(JoinPath(path, sizeof path, tempDir.c_str(), name.c_str()));
        return path;
    }
    TestFolder folder;
    std::string tempDir;
};

// Where the module's copies go: on Windows a run folder of its own in the temporary directory
// (what it holds is listed without its lock), elsewhere the temporary directory itself.
std::string CopyFolder(const ssModule& module, const std::string& temp) {
#ifdef _WIN32
    const std::string folder = module.RunFolder();
    auto windowsForm = [](std::string path) {
        for (char& c : path) c = c == '/' ? '\\' : c;
        if (!path.empty() && path.back() != '\\') path += '\\';
        return path;
    };
    EXPECT_EQ(windowsForm(folder).rfind(windowsForm(temp) + "Saverpak-", 0), 0u) << folder;
    return folder;
#else
    (void)module;
    return temp;
#endif
}
std::set<std::string> Copies(const std::string& folder) {
    auto names = Listing(folder);
    names.erase(".saverpak-run");
    return names;
}

TEST_F(ModuleExtract, CopiesTheProgramUnderItsNameAndKeepsTheDescriptorsFlags) {
    std::string name = "saverpak-module-" +
                       std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".exe";
    ModulePak source(name, "C:\\Programs\\Show.exe");
    std::string saver = folder.Write("saver.scr", source.pak.Bytes());
    kwPak pak;
    pak.Bind(saver.c_str());

    ssModule module;
    module.Extract(pak, static_cast<std::int32_t>(source.named));
    char expected[kPathSize];
    EXPECT_TRUE(
        JoinPath(expected, sizeof expected, CopyFolder(module, tempDir).c_str(), name.c_str()));
    EXPECT_EQ(std::string(module.ModulePath()), expected);
    EXPECT_EQ(ReadWholeFile(module.ModulePath()), source.program);
    EXPECT_EQ(module.Flags(), kModuleForceMaximize);
    EXPECT_EQ(module.ArgMethod(), 7);
    EXPECT_FALSE(module.IsExternal());
    std::filesystem::remove(module.ModulePath());

    // Without a name the copy gets a new unique "pak" name, and the argument file follows it.
    module.Extract(pak, static_cast<std::int32_t>(source.unnamed));
    std::string unnamed = std::filesystem::path(module.ModulePath()).filename().string();
    EXPECT_EQ(unnamed.substr(0, 3), "pak");
    EXPECT_EQ(ReadWholeFile(module.ModulePath()), source.program);
    module.SetFileArgs(module.ModulePath(), "SS_Sound=0&SS_Music=0&SS_Days=1");
    std::string cfg = module.ModulePath();
    cfg = cfg.substr(0, cfg.rfind('.')) + ".cfg";
    EXPECT_EQ(std::string(module.ArgumentPath()), cfg);
    std::filesystem::remove(module.ModulePath());
    std::filesystem::remove(cfg);
    pak.Unbind();
}

TEST_F(ModuleExtract, AnExternalModuleIsRunFromWhereItIsAndNothingIsWrittenOrDeleted) {
    std::string program = folder.Write("Show.exe", "MZ the user's own program");
    ModulePak source("unused.exe", program);
    std::string saver = folder.Write("saver.scr", source.pak.Bytes());
    kwPak pak;
    pak.Bind(saver.c_str());
    TempDirectoryOverride temp(folder.Path());
    const auto before = Listing(folder.Path());
    ssModule module;
    module.Extract(pak, static_cast<std::int32_t>(source.external));
    EXPECT_EQ(std::string(module.ModulePath()), program);
    EXPECT_TRUE(module.IsExternal());
    EXPECT_EQ(Listing(folder.Path()), before);
    // Its argument file is the run's own; the program is not.
    module.SetFileArgs(module.ModulePath(), "x");
    module.RemoveExtractedFiles();
    EXPECT_EQ(Listing(folder.Path()), before);
    EXPECT_EQ(ReadWholeFile(program), "MZ the user's own program");
    pak.Unbind();
}

TEST_F(ModuleExtract, NeitherARestartNorAFailureLeavesACopyBehind) {
    ModulePak source("Full.exe", "C:\\Programs\\Show.exe");
    std::string saver = folder.Write("saver.scr", source.pak.Bytes());
    kwPak pak;
    pak.Bind(saver.c_str());
    const std::string temp = folder.Path("temp");
    std::filesystem::create_directories(temp);
    TempDirectoryOverride override(temp);
    ssModule module;
    // What the presentation window does on every start of an unnamed module.
    for (int start = 0; start < 3; ++start) {
        module.RemoveExtractedFiles();
        module.Extract(pak, static_cast<std::int32_t>(source.unnamed));
        module.SetFileArgs(module.ModulePath(), "x");
        EXPECT_EQ(Copies(CopyFolder(module, temp)).size(), 2u) << "start " << start;
    }
    const std::string copies = CopyFolder(module, temp);
#ifdef _WIN32
    // A copy that a program outliving its end still holds goes at the next restart or close.
    HANDLE held =
        CreateFileA(module.ModulePath(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    module.RemoveExtractedFiles();
    EXPECT_EQ(Copies(copies).size(), 1u);
    CloseHandle(held);
#endif
    module.RemoveExtractedFiles();
    EXPECT_TRUE(Copies(copies).empty());
#ifdef _WIN32
    module.RemoveRunFolder();  // what the close does last: the folder goes with its lock
#endif
    EXPECT_TRUE(Listing(temp).empty());
#ifndef _WIN32
    // A named copy cut short by a full disk goes at once.
    std::filesystem::create_symlink("/dev/full", temp + "/Full.exe");
    EXPECT_EQ(ErrorOf([&] {
                  module.Extract(pak, static_cast<std::int32_t>(source.named));
              }).rfind("Error extracting module.", 0),
              0u);
    EXPECT_TRUE(Listing(temp).empty());
#endif
    pak.Unbind();
}

}  // namespace
