// The module and picture descriptors, and the copies extracted from them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RawPak.h"
#include "SoundPak.h"
#include "TestFolder.h"
#include "package/PakEntries.h"
#include "package/kwPak.h"

namespace {

TEST(PakEntries, ModuleAndPictureDescriptorChecks) {
    TestFolder folder;
    RawPak pak;
    std::uint32_t noName = pak.String(std::nullopt);
    std::uint32_t badName = pak.String("..\\..\\evil.exe");
    std::uint32_t cfgName = pak.String("show.CFG");
    std::uint32_t longPath = pak.String(std::string(260, 'p'));
    std::uint32_t cfgPath = pak.String("C:\\Show\\show.cfg. ");
    std::uint32_t wrongSize = pak.Module(0, noName, 0, 0, 18);
    std::uint32_t shortSize = pak.Module(0, noName, 0, 0, 16);
    std::uint32_t externalNoName = pak.Module(1, noName, 0);
    std::uint32_t externalLong = pak.Module(1, longPath, 0);
    std::uint32_t externalCfg = pak.Module(1, cfgPath, 0);
    std::uint32_t embeddedBadName = pak.Module(0, badName, 0);
    std::uint32_t embeddedCfgName = pak.Module(0, cfgName, 0);
    std::uint32_t embeddedNoName = pak.Module(0, noName, 0);
    std::uint32_t pictureSize = pak.Picture(0, 0, 10);
    std::uint32_t pictureType = pak.Picture(2, 0);
    pak.Finish({.SettingsOffset = pak.Settings("", "", 0)});
    std::string path = folder.Write("saver.scr", pak.Bytes());

    kwPak container;
    container.Bind(path.c_str());
    ssModuleEntry entry;
    struct Case {
        std::uint32_t at;
        std::string error;
    } modules[] = {
        {wrongSize, "File is corrupt. Error reading module descriptor."},
        {shortSize, "File is corrupt. Error reading module descriptor."},
        {externalNoName, "File is corrupt. External module has no name."},
        {externalLong, "File is corrupt. Module name is too long."},
        {embeddedBadName, "File is corrupt. Invalid module name."},
        // Its argument file would be the program itself.
        {embeddedCfgName, "File is corrupt. Invalid module name."},
        {externalCfg, "File is corrupt. Invalid module name."},
        {0x7FFFFFF0, "Error reading module file. " + path},
        {embeddedNoName, ""},
    };
    for (const Case& c : modules) {
        SCOPED_TRACE(c.at);
        const auto at = static_cast<std::int32_t>(c.at);
        EXPECT_EQ(ErrorOf([&] { ReadModuleEntry(container, at, entry); }), c.error);
    }
    EXPECT_TRUE(entry.Name.IsNone());
    auto picture = [&](std::uint32_t at) {
        return ErrorOf([&] { ReadPictureDescriptor(container, static_cast<std::int32_t>(at)); });
    };
    EXPECT_EQ(picture(pictureSize), "File is corrupt. Error reading picture descriptor.");
    EXPECT_EQ(picture(pictureType), "File is corrupt. Invalid picture type.");
    container.Unbind();
}

TEST(PakExtract, NamedAndUnnamedCopiesInTheTemporaryFolder) {
    TestFolder folder;
    SoundPak sound;
    std::string path = folder.Write("saver.scr", sound.pak.Bytes());
    kwPak pak;
    pak.Bind(path.c_str());

    char tempDir[kPathSize];
    ASSERT_GT(GetTempPathA(sizeof tempDir, tempDir), 0u);
    std::string name = "saverpak-extract-" +
                       std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".exe";
    char expected[kPathSize];
    ASSERT_TRUE(JoinPath(expected, sizeof expected, tempDir, name.c_str()));

    char chosen[kPathSize] = {};
    pak.ExtractModuleToTemp(static_cast<std::int32_t>(sound.moduleData), name.c_str(), chosen,
                            sizeof chosen);
    EXPECT_STREQ(chosen, expected);
    EXPECT_EQ(ReadWholeFile(chosen), sound.program);
    // A second extraction under the same name overwrites the first copy.
    pak.ExtractModuleToTemp(static_cast<std::int32_t>(sound.picture0Data), name.c_str());
    EXPECT_EQ(ReadWholeFile(chosen), "BM....");
    std::filesystem::remove(chosen);

    pak.ExtractModuleToTemp(static_cast<std::int32_t>(sound.moduleData), nullptr, chosen,
                            sizeof chosen);
    std::string unnamed = std::filesystem::path(chosen).filename().string();
    EXPECT_EQ(unnamed.substr(0, 3), "pak") << unnamed;
    EXPECT_EQ(std::filesystem::path(chosen).parent_path(),
              std::filesystem::path(expected).parent_path());
    EXPECT_EQ(ReadWholeFile(chosen), sound.program);
    std::filesystem::remove(chosen);
    pak.Unbind();
}

// A stored name of Windows-1252 letters, extracted into a temporary folder named in letters of
// other scripts: the copy bears the name's own letters, and the path given back names it.
TEST(PakExtract, AStoredNameInAFolderOfAnyLetters) {
    TestFolder folder;
    SoundPak sound;
    kwPak pak;
    pak.Bind(folder.Write("saver.scr", sound.pak.Bytes()).c_str());
    const auto temp =
        std::filesystem::path(folder.Path()) / u8"\u041C\u0430\u0440\u0438\u044F \u96EA";
    std::filesystem::create_directories(temp);
    TempDirectoryOverride override(folder.Path() + "/\u041C\u0430\u0440\u0438\u044F \u96EA");
    char tempDir[kPathSize], chosen[kPathSize] = {};
    ASSERT_GT(GetTempPathA(sizeof tempDir, tempDir), 0u);

    const auto data = static_cast<std::int32_t>(sound.moduleData);
    pak.ExtractModuleToTemp(data, "Caf\xE9.exe", chosen, sizeof chosen);
    EXPECT_EQ(std::string(chosen), std::string(tempDir) + "Caf\u00E9.exe");
    EXPECT_EQ(ReadWholeFile(temp / u8"Caf\u00E9.exe"), sound.program);
    pak.ExtractModuleToTemp(data, nullptr, chosen, sizeof chosen);  // a unique "pak" name
    EXPECT_EQ(std::string(chosen).rfind(tempDir, 0), 0u) << chosen;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp), {}), 2);
    pak.Unbind();
}

TEST(PakExtract, RefusesUnsafeNamesLongPathsAndShortBlocksWithoutWriting) {
    TestFolder folder;
    RawPak raw;
    std::uint32_t good = raw.Data("MZgood");
    std::uint32_t shortBlock = raw.Le32(100000);  // runs past the end of the file
    raw.Text("MZ");
    raw.Finish({.SettingsOffset = raw.Settings("", "", 0)});
    std::string path = folder.Write("saver.scr", raw.Bytes());
    kwPak pak;
    pak.Bind(path.c_str());
    const std::string temp = folder.Path("temp");
    std::filesystem::create_directories(temp);
    TempDirectoryOverride override(temp);

    for (const char* name :
         {"..\\evil.exe", "../evil.exe", "C:evil.exe", "NUL", "con.txt", "a|b"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ErrorOf([&] { pak.ExtractModuleToTemp(static_cast<std::int32_t>(good), name); }),
                  "File is corrupt. Invalid module name.");
    }
    std::string longName(255, 'n');  // a plain name, but too long once joined
    EXPECT_EQ(ErrorOf([&] {
                  pak.ExtractModuleToTemp(static_cast<std::int32_t>(good), longName.c_str());
              }),
              "Error creating output file. The path is too long.");
    EXPECT_TRUE(Listing(temp).empty());  // nothing was written where the copies go

    // A block longer than the file: refused before the target is created, so an earlier copy
    // under that name is not lost.
    std::string target = folder.Write("copy.exe", "earlier copy");
    EXPECT_EQ(
        ErrorOf([&] { pak.ExtractModule(static_cast<std::int32_t>(shortBlock), target.c_str()); }),
        "Error extracting module. " + target);
    EXPECT_EQ(ReadWholeFile(target), "earlier copy");
    std::string nowhere = folder.Path("missing-folder/copy.exe");
    EXPECT_EQ(ErrorOf([&] { pak.ExtractModule(static_cast<std::int32_t>(good), nowhere.c_str()); }),
              "Error creating output file. " + nowhere);
    EXPECT_EQ(ErrorOf([&] { pak.ExtractModule(0x7FFFFFF0, target.c_str()); }),
              "Error reading module file. " + path);
    pak.ExtractModule(static_cast<std::int32_t>(good), target.c_str());
    EXPECT_EQ(ReadWholeFile(target), "MZgood");
    pak.Unbind();
}

}  // namespace
