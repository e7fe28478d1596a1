#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>

#include "PeImage.h"
#include "RawPak.h"
#include "SoundPak.h"
#include "TestFolder.h"
#include "package/PakEntries.h"
#include "package/kwPak.h"

namespace {

// An index with no tables and a settings block: the smallest container that binds.
std::string EmptyPak(RawPak::Index index = {}, std::size_t stubSize = 64) {
    RawPak pak(stubSize);
    index.SettingsOffset = pak.Settings("", "", 0);
    pak.Finish(index);
    return pak.Bytes();
}

// One key entry as KeyPak writes it; the sizes may be wrong on purpose.
struct KeySpec {
    std::uint32_t Code;
    std::uint8_t Function;
    std::optional<std::string> Command = std::nullopt;
    std::uint32_t EntrySize = 13;
    std::uint32_t CommandSize = 8;
};

// Builds a container whose key table holds the given entries.
std::string KeyPak(const std::vector<KeySpec>& keys) {
    RawPak pak;
    std::vector<std::uint32_t> positions;
    for (const KeySpec& key : keys) {
        std::uint32_t commandOffset =
            key.Function == 1 ? pak.String(key.Command, key.CommandSize) : 0;
        positions.push_back(pak.Key(key.Code, key.Function, commandOffset, key.EntrySize));
    }
    pak.Finish({.KeyTableOffset = pak.Table(positions),
                .KeyCount = static_cast<std::uint32_t>(positions.size()),
                .SettingsOffset = pak.Settings("", "", 0)});
    return pak.Bytes();
}

TEST(PakBind, LoadsIndexTablesKeysAndSettingsAndKeepsTheFileOpen) {
    TestFolder folder;
    SoundPak sound;
    std::string path = folder.Write("saver.scr", sound.pak.Bytes());

    kwPak pak;
    pak.Bind(path.c_str());
    EXPECT_TRUE(pak.IsOpen());
    EXPECT_STREQ(pak.Path(), path.c_str());
    ASSERT_EQ(pak.ModuleTable().size(), 2u);
    EXPECT_EQ(pak.ModuleTable()[0], sound.module0);
    EXPECT_EQ(pak.ModuleTable()[1], sound.module1);
    ASSERT_EQ(pak.ContentTable().size(), 2u);
    EXPECT_EQ(pak.ContentTable()[1], sound.picture1);
    EXPECT_EQ(pak.Keys().Count(), 2);
    const ssPakKey::Entry* f1 = pak.Keys().Find(0x70);
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(f1->Function, kShellExecute);
    EXPECT_STREQ(f1->Command.Text(), "https://example.invalid/");
    EXPECT_EQ(pak.Keys().Find(0x71)->Function, kExitAndLeaveRunning);
    EXPECT_STREQ(pak.URLLink(), "https://example.invalid/");
    EXPECT_STREQ(pak.URLCaption(), "Visit us");
    EXPECT_EQ(pak.Music(), 1u);

    // On-demand reads by position, as the module runner and picture loader make them.
    ssModuleEntry module;
    ReadModuleEntry(pak, sound.module0, module);
    EXPECT_TRUE(module.ForceMaximize());
    EXPECT_FALSE(module.IsExternal());
    EXPECT_EQ(module.Descriptor.ArgMethod, 7);
    EXPECT_STREQ(module.Name.Text(), "show.exe");
    ReadModuleEntry(pak, sound.module1, module);
    EXPECT_TRUE(module.IsExternal());
    EXPECT_STREQ(module.Name.Text(), "C:\\Programs\\show.exe");  // used as it is
    EXPECT_EQ(ReadPictureDescriptor(pak, sound.picture1).PictureType, kPictureJpeg);
    EXPECT_EQ(pak.ReadDword(sound.picture0Data), 6u);
    EXPECT_EQ(pak.File().Tell(), static_cast<std::int32_t>(sound.picture0Data + 4));

    // Unbind drops tables and keys but keeps the index and the settings.
    pak.Unbind();
    EXPECT_FALSE(pak.IsOpen());
    EXPECT_TRUE(pak.ModuleTable().empty());
    EXPECT_TRUE(pak.ContentTable().empty());
    EXPECT_EQ(pak.Keys().Count(), 0);
    EXPECT_EQ(pak.Index().ModuleCount, 2u);
    EXPECT_STREQ(pak.URLLink(), "https://example.invalid/");
}

TEST(PakBind, EmptyTablesAreNotReadWhateverTheirOffsets) {
    TestFolder folder;
    std::string path = folder.Write("saver.scr", EmptyPak({.ModuleTableOffset = 0xFFFFFFF0,
                                                           .KeyTableOffset = 0xFFFFFFF0,
                                                           .ContentTableOffset = 0xFFFFFFF0}));
    kwPak pak;
    pak.Bind(path.c_str());
    EXPECT_TRUE(pak.ModuleTable().empty());
    EXPECT_TRUE(pak.ContentTable().empty());
    EXPECT_EQ(pak.Keys().Count(), 0);
    pak.Unbind();
}

TEST(PakBind, TheRunningExecutableIsOpenedByItsOwnPath) {
    // A test program carries no container: the reader finds its path, opens it and refuses it.
    char self[kPathSize];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    kwPak pak;
    EXPECT_EQ(ErrorOf([&] { pak.Bind(); }), std::string("Invalid header in module file. ") + self);
    EXPECT_FALSE(pak.IsOpen());
}

TEST(PakBind, RefusesBrokenFilesWithTheSaversMessagesAndClosesTheFile) {
    TestFolder folder;
    const std::string path = folder.Path("saver.scr");
    const std::string readError = "Error reading module file. " + path;

    struct Case {
        const char* what;
        std::function<std::string()> bytes;
        std::string message;
    };
    const Case cases[] = {
        {"bare stub", [] { return RawPak(4096).Bytes(); },
         "Invalid header in module file. " + path},
        {"shorter than a trailer", [] { return std::string("MZ\x08\0", 4); },
         "Error reading module. " + path},
        {"index of 36 bytes", [] { return EmptyPak({.StructSize = 36}); },
         "File is corrupt, invalid record size in PakIndex."},
        {"index beyond the end",
         [] {
             RawPak pak;
             pak.Le32(8);
             pak.Le32(0x100000);
             return pak.Bytes();
         },
         readError},
        {"settings beyond the end",
         [] {
             RawPak pak;
             pak.Finish({.SettingsOffset = 0x7FFFFF00});
             return pak.Bytes();
         },
         readError},
        // Counts that no file of this size can hold are refused before anything is allocated:
        // 4,000,000,000 modules would ask for 16 GB.
        {"huge module count",
         [] { return EmptyPak({.ModuleTableOffset = 64, .ModuleCount = 4000000000u}); }, readError},
        {"huge content count",
         [] { return EmptyPak({.ContentCount = 0x40000000u, .ContentTableOffset = 64}); },
         readError},
        {"table running past the end",
         [] { return EmptyPak({.ModuleTableOffset = 64 + 560 + 32 + 4, .ModuleCount = 2}); },
         readError},
        {"more than 32 key entries",
         [] { return EmptyPak({.KeyTableOffset = 64, .KeyCount = 33}); },
         "File is corrupt. Too many entries in key table."},
        {"key entry of the wrong size",
         [] {
             return KeyPak({{0x70, 2, std::nullopt, 14}});
         },
         "File is corrupt. Invalid key entry size."},  // before its bad function is seen
        {"key function 2",
         [] {
             return KeyPak({{0x70, 2}});
         },
         "File is corrupt. Invalid function in key table."},
        {"key command with a bad descriptor",
         [] {
             return KeyPak({{0x70, 1, "x", 13, 9}});
         },
         "File is corrupt. Invalid string descriptor size."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.Write("saver.scr", c.bytes());
        kwPak pak;
        EXPECT_EQ(ErrorOf([&] { pak.Bind(path.c_str()); }), c.message);
        EXPECT_FALSE(pak.IsOpen());
        pak.Unbind();  // after a failed Bind too
        EXPECT_FALSE(pak.IsOpen());
    }

    kwPak missing;
    std::string absent = folder.Path("absent.scr");
    EXPECT_EQ(ErrorOf([&] { missing.Bind(absent.c_str()); }), "Error opening module. " + absent);
    // A path longer than a path buffer is held whole where the file system takes it (the
    // Windows build's file calls refuse it, and say which file).
    std::filesystem::path deep =
        std::filesystem::path(folder.Path()) / std::string(200, 'd') / std::string(100, 'e');
    std::filesystem::create_directories(deep);
    std::string longPath = (deep / "saver.scr").string();
    std::ofstream(longPath, std::ios::binary) << EmptyPak();
    kwPak deepPak;
#ifdef _WIN32
    EXPECT_EQ(ErrorOf([&] { deepPak.Bind(longPath.c_str()); }),
              "Error opening module. " + longPath);
#else
    EXPECT_EQ(ErrorOf([&] { deepPak.Bind(longPath.c_str()); }), "");
    EXPECT_STREQ(deepPak.Path(), longPath.c_str());
#endif
    deepPak.Unbind();
}

TEST(PakStrings, AbsentEmptyAndBrokenDescriptors) {
    TestFolder folder;
    RawPak raw;
    std::uint32_t none = raw.String(std::nullopt);
    std::uint32_t text = raw.String("hello");
    std::uint32_t badSize = raw.String("x", 9);
    std::uint32_t huge = raw.Le32(8);
    raw.Le32(0xFFFFFFFF);  // Length + 1 would wrap to 0
    std::uint32_t pastEnd = raw.Le32(8);
    raw.Le32(1000);
    raw.Text("short");
    raw.Finish({.SettingsOffset = raw.Settings("", "", 0)});
    std::string path = folder.Write("saver.scr", raw.Bytes());

    kwPak container;
    container.Bind(path.c_str());
    EXPECT_TRUE(ssPakString(container, static_cast<std::int32_t>(none)).IsNone());
    EXPECT_STREQ(ssPakString(container, static_cast<std::int32_t>(text)).Text(), "hello");
    EXPECT_EQ(ErrorOf([&] { ssPakString(container, static_cast<std::int32_t>(badSize)); }),
              "File is corrupt. Invalid string descriptor size.");
    EXPECT_EQ(ErrorOf([&] { ssPakString(container, static_cast<std::int32_t>(huge)); }),
              "Error reading module file. " + path);
    EXPECT_EQ(ErrorOf([&] { ssPakString(container, static_cast<std::int32_t>(pastEnd)); }),
              "Error reading module file. " + path);
    EXPECT_EQ(ErrorOf([&] { container.ReadDword(-4); }), "Error reading module file. " + path);
    container.Unbind();

    ssPakString empty("");
    EXPECT_FALSE(empty.IsNone());  // an empty text is not "none"
    EXPECT_STREQ(empty.Text(), "");
    ssPakString absent(nullptr);
    EXPECT_TRUE(absent.IsNone());
    empty.Assign("again");
    EXPECT_STREQ(empty.Text(), "again");
    empty.Clear();
    EXPECT_TRUE(empty.IsNone());
}

TEST(PakSettings, TextsThatFillTheirFieldsAreCutInsideThem) {
    TestFolder folder;
    RawPak pak;
    pak.Finish(
        {.SettingsOffset = pak.Settings(std::string(300, 'L'), std::string(256, 'C'), 0x01010101)});
    std::string path = folder.Write("saver.scr", pak.Bytes());
    kwPak container;
    container.Bind(path.c_str());
    EXPECT_EQ(std::strlen(container.URLLink()), 299u);
    EXPECT_EQ(std::strlen(container.URLCaption()), 255u);
    EXPECT_EQ(container.Music(), 0x01010101u);
    container.Unbind();
}

TEST(PakKeys, ALaterEntryForTheSameKeyWins) {
    TestFolder folder;
    std::string path = folder.Write(
        "saver.scr",
        KeyPak({{0x70, 1, "first"}, {0x41, 1, std::nullopt}, {0x70, 0, std::nullopt}}));
    kwPak pak;
    pak.Bind(path.c_str());
    EXPECT_EQ(pak.Keys().Count(), 2);
    const ssPakKey::Entry* f1 = pak.Keys().Find(0x70);
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(f1->Function, kExitAndLeaveRunning);
    EXPECT_TRUE(f1->Command.IsNone());
    // A shell-execute command of Length 0 binds with no command text.
    const ssPakKey::Entry* a = pak.Keys().Find(0x41);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Function, kShellExecute);
    EXPECT_TRUE(a->Command.IsNone());
    EXPECT_EQ(pak.Keys().Find(0x42), nullptr);
    EXPECT_EQ(pak.Keys().Find(0), nullptr);  // 0 only marks free entries
    pak.Unbind();
}

TEST(PakKeys, TwentyDistinctKeysBindAndTheTwentyFirstFillsTheTable) {
    TestFolder folder;
    std::vector<KeySpec> keys;
    for (std::uint32_t i = 0; i < 20; ++i) keys.push_back({0x41 + i, 1, "cmd" + std::to_string(i)});
    // Repeats of bound keys take no new entry: 32 entries, 20 distinct keys.
    for (std::uint32_t i = 0; i < 12; ++i) keys.push_back({0x41 + i, 0});
    std::string path = folder.Write("saver.scr", KeyPak(keys));
    kwPak pak;
    pak.Bind(path.c_str());
    EXPECT_EQ(pak.Keys().Count(), 20);
    EXPECT_STREQ(pak.Keys().Find(0x54)->Command.Text(), "cmd19");
    pak.Unbind();

    keys.resize(20);
    keys.push_back({0x70, 0});
    folder.Write("saver.scr", KeyPak(keys));
    EXPECT_EQ(ErrorOf([&] { pak.Bind(path.c_str()); }), "Allocate key failed, table is full.");
    EXPECT_FALSE(pak.IsOpen());
    EXPECT_EQ(pak.Keys().Count(), 20);  // the first 20 stay until Unbind
    EXPECT_EQ(pak.Keys().Find(0x70), nullptr);
    pak.Unbind();
    EXPECT_EQ(pak.Keys().Count(), 0);
    EXPECT_EQ(pak.Keys().Find(0x41), nullptr);
}

TEST(PakKeys, TableOperations) {
    ssPakKey keys;
    EXPECT_EQ(keys.Count(), 0);
    keys.AddExit(0x70);
    keys.AddShellExecute(0x71, "notepad");
    keys.AddShellExecute(0x72, nullptr);
    EXPECT_EQ(keys.Count(), 3);
    EXPECT_EQ(keys.Allocate(0x71), 1);
    EXPECT_EQ(keys.Allocate(0x99), 3);
    keys.AddShellExecute(0x70, "replaced");
    EXPECT_EQ(keys.Count(), 3);
    EXPECT_STREQ(keys.Find(0x70)->Command.Text(), "replaced");
    keys.AddExit(0x70);
    EXPECT_TRUE(keys.Find(0x70)->Command.IsNone());
    keys.Clear();
    EXPECT_EQ(keys.Count(), 0);
    EXPECT_EQ(keys.Find(0x71), nullptr);
}

// Every refusal of a module or picture descriptor, read the way the runner and the tool read
// them; the runner's Extract passes these messages on unchanged.
}  // namespace
