#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <tuple>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "PeImage.h"
#include "RawPak.h"
#include "TestFolder.h"
#include "package/PakEntries.h"
#include "package/kwPak.h"

namespace {

// A saver with one embedded module, one external module, two pictures, two keys and settings.
struct SoundPak {
    RawPak pak{100};
    std::uint32_t moduleName, moduleData, module0, module1, picture0Data, picture0, picture1,
        keyCommand, key0, key1, settings;
    std::string program = "MZ" + std::string(5000, '\x11') + "end";

    SoundPak() {
        moduleName = pak.String("show.exe");
        moduleData = pak.Data(program);
        module0 = pak.Module(0x2, moduleName, moduleData, 7);
        std::uint32_t externalName = pak.String("C:\\Programs\\show.exe");
        module1 = pak.Module(0x1, externalName, 0);
        std::uint32_t moduleTable = pak.Table({module0, module1});
        picture0Data = pak.Data("BM....");
        picture0 = pak.Picture(0, picture0Data);
        std::uint32_t picture1Data = pak.Data("\xFF\xD8\xFF....");
        picture1 = pak.Picture(1, picture1Data);
        std::uint32_t contentTable = pak.Table({picture0, picture1});
        keyCommand = pak.String("https://example.invalid/");
        key0 = pak.Key(0x70, 1, keyCommand);
        key1 = pak.Key(0x71, 0, 0);
        std::uint32_t keyTable = pak.Table({key0, key1});
        settings = pak.Settings("https://example.invalid/", "Visit us", 1);
        pak.Finish({.ModuleTableOffset = moduleTable, .ModuleCount = 2, .KeyTableOffset = keyTable,
                    .KeyCount = 2, .ContentCount = 2, .ContentTableOffset = contentTable,
                    .SettingsOffset = settings});
    }
};

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
        std::uint32_t commandOffset = key.Function == 1 ? pak.String(key.Command, key.CommandSize) : 0;
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

// A saver on a Windows program stub: one embedded module whose name is `name`, and a link;
// the index at `indexAt` when it is given.
struct PeSaver {
    std::string bytes;
    std::uint32_t moduleData = 0, index = 0;

    explicit PeSaver(const std::string& name, std::uint32_t indexAt = 0) {
        RawPak pak(PeProgramBytes());
        std::uint32_t nameAt = pak.String(name);
        moduleData = pak.Data("MZ module");
        std::uint32_t module = pak.Module(0, nameAt, moduleData);
        const RawPak::Index i{
            .ModuleTableOffset = pak.Table({module}), .ModuleCount = 1,
            .SettingsOffset = pak.Settings("https://example.invalid/", "signed", 0)};
        if (indexAt > pak.Here()) pak.Text(std::string(indexAt - pak.Here(), 'x'));
        index = pak.Finish(i);
        bytes = pak.Bytes();
    }
};

TEST(PakBind, ASignedSaverEndsItsContainerWhereTheCertificateTableBegins) {
    TestFolder folder;
    const std::string path = folder.Path("saver.scr");
    // Every amount of padding a signer adds, with index offsets whose bytes hold 08 00 00 00
    // where a shorter padding would look for the trailer's size.
    for (std::uint32_t base : {0x400u, 0x800u, 0x80000u})
    for (std::uint32_t length = 1; length <= 8; ++length) {
        SCOPED_TRACE(testing::Message() << base << " " << length);
        PeSaver saver(std::string(length, 'n'), base == 0x400 ? 0 : base + length);
        folder.Write("saver.scr", AppendCertificateTable(saver.bytes, 1000 + 8 * length));
        kwPak pak;
        ScopedUnbind scope(pak);
        ASSERT_EQ(ErrorOf([&] { pak.Bind(path.c_str()); }), "");
        ASSERT_TRUE(pak.Signature());
        EXPECT_EQ(pak.Signature()->Position, (saver.bytes.size() + 7) / 8 * 8);
        EXPECT_EQ(pak.Signature()->Size, 1000 + 8 * length);
        EXPECT_EQ(pak.ContainerEnd(), saver.bytes.size());
        EXPECT_EQ(pak.Trailer().IndexOffset, saver.index);
        EXPECT_STREQ(pak.URLCaption(), "signed");
        std::string copy = folder.Path("copy.exe");
        pak.ExtractModule(static_cast<std::int32_t>(saver.moduleData), copy.c_str());
        EXPECT_EQ(folder.Read("copy.exe"), "MZ module");
        // The padding and the table are no part of the container.
        EXPECT_EQ(ErrorOf([&] { pak.ReadDword(static_cast<std::int32_t>(pak.ContainerEnd())); }),
                  "Error reading module file. " + path);
    }

    // The same stub unsigned (an empty entry) reads as any other file does.
    PeSaver plain("plain.exe");
    folder.Write("saver.scr", plain.bytes);
    kwPak pak;
    ScopedUnbind scope(pak);
    pak.Bind(path.c_str());
    EXPECT_FALSE(pak.Signature());
    EXPECT_EQ(pak.ContainerEnd(), plain.bytes.size());
}

TEST(PakBind, RefusesCertificateTablesOutsideTheFileOrOverTheContainer) {
    TestFolder folder;
    const std::string path = folder.Path("saver.scr");
    PeSaver saver("show.exe");
    const std::string signedBytes = AppendCertificateTable(saver.bytes);
    const std::uint32_t stub = static_cast<std::uint32_t>(PeProgramBytes().size());
    const std::uint32_t table = static_cast<std::uint32_t>((saver.bytes.size() + 7) / 8 * 8);
    auto withEntry = [](std::string bytes, std::uint32_t position, std::uint32_t size) {
        RawPak patch(bytes);
        patch.Patch(pe_image::kSecurityEntry, position);
        patch.Patch(pe_image::kSecurityEntry + 4, size);
        return patch.Bytes();
    };
    const std::string readError = "Error reading module file. " + path;
    struct Case {
        const char* what;
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        {"running past the end", withEntry(signedBytes, table, 1501), readError},
        {"beyond the end", withEntry(signedBytes, 0xFFFFFF00u, 0x1000), readError},
        {"at position 0", withEntry(signedBytes, 0, 1500), readError},
        {"of size 0", withEntry(signedBytes, table, 0), readError},
        // A table said to start inside the container leaves no trailer before it.
        {"starting on the index",
         withEntry(signedBytes, saver.index, static_cast<std::uint32_t>(signedBytes.size()) - saver.index),
         "Invalid header in module file. " + path},
        // A table inside the file (a stub signed before its content was appended) keeps the
        // container after it; records inside it are refused.
        {"over the container's records", withEntry(saver.bytes, stub, saver.index + 8 - stub), readError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.Write("saver.scr", c.bytes);
        kwPak pak;
        ScopedUnbind scope(pak);
        EXPECT_EQ(ErrorOf([&] { pak.Bind(path.c_str()); }), c.message);
        EXPECT_FALSE(pak.IsOpen());
    }
    // The same table inside the file, ending before the container: the container reads.
    folder.Write("saver.scr", withEntry(saver.bytes, 0x200, stub - 0x200));
    kwPak pak;
    ScopedUnbind scope(pak);
    EXPECT_EQ(ErrorOf([&] { pak.Bind(path.c_str()); }), "");
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
        {"bare stub", [] { return RawPak(4096).Bytes(); }, "Invalid header in module file. " + path},
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
         [] { return EmptyPak({.ModuleTableOffset = 64, .ModuleCount = 4000000000u}); },
         readError},
        {"huge content count",
         [] { return EmptyPak({.ContentCount = 0x40000000u, .ContentTableOffset = 64}); },
         readError},
        {"table running past the end",
         [] { return EmptyPak({.ModuleTableOffset = 64 + 560 + 32 + 4, .ModuleCount = 2}); },
         readError},
        {"more than 32 key entries",
         [] { return EmptyPak({.KeyTableOffset = 64, .KeyCount = 33}); },
         "File is corrupt. Too many entries in key table."},
        {"key entry of the wrong size", [] { return KeyPak({{0x70, 2, std::nullopt, 14}}); },
         "File is corrupt. Invalid key entry size."},  // before its bad function is seen
        {"key function 2", [] { return KeyPak({{0x70, 2}}); },
         "File is corrupt. Invalid function in key table."},
        {"key command with a bad descriptor", [] { return KeyPak({{0x70, 1, "x", 13, 9}}); },
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
    std::filesystem::path deep = std::filesystem::path(folder.Path()) / std::string(200, 'd') /
                                 std::string(100, 'e');
    std::filesystem::create_directories(deep);
    std::string longPath = (deep / "saver.scr").string();
    std::ofstream(longPath, std::ios::binary) << EmptyPak();
    kwPak deepPak;
#ifdef _WIN32
    EXPECT_EQ(ErrorOf([&] { deepPak.Bind(longPath.c_str()); }), "Error opening module. " + longPath);
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
        "saver.scr", KeyPak({{0x70, 1, "first"}, {0x41, 1, std::nullopt}, {0x70, 0, std::nullopt}}));
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
    std::string name = "saverpak-extract-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".exe";
    char expected[kPathSize];
    ASSERT_TRUE(JoinPath(expected, sizeof expected, tempDir, name.c_str()));

    char chosen[kPathSize] = {};
    pak.ExtractModuleToTemp(static_cast<std::int32_t>(sound.moduleData), name.c_str(), chosen, sizeof chosen);
    EXPECT_STREQ(chosen, expected);
    EXPECT_EQ(ReadWholeFile(chosen), sound.program);
    // A second extraction under the same name overwrites the first copy.
    pak.ExtractModuleToTemp(static_cast<std::int32_t>(sound.picture0Data), name.c_str());
    EXPECT_EQ(ReadWholeFile(chosen), "BM....");
    std::filesystem::remove(chosen);

    pak.ExtractModuleToTemp(static_cast<std::int32_t>(sound.moduleData), nullptr, chosen, sizeof chosen);
    std::string unnamed = std::filesystem::path(chosen).filename().string();
    EXPECT_EQ(unnamed.substr(0, 3), "pak") << unnamed;
    EXPECT_EQ(std::filesystem::path(chosen).parent_path(), std::filesystem::path(expected).parent_path());
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

    for (const char* name : {"..\\evil.exe", "../evil.exe", "C:evil.exe", "NUL", "con.txt", "a|b"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ErrorOf([&] { pak.ExtractModuleToTemp(static_cast<std::int32_t>(good), name); }),
                  "File is corrupt. Invalid module name.");
    }
    std::string longName(255, 'n');  // a plain name, but too long once joined
    EXPECT_EQ(ErrorOf([&] { pak.ExtractModuleToTemp(static_cast<std::int32_t>(good), longName.c_str()); }),
              "Error creating output file. The path is too long.");
    EXPECT_TRUE(Listing(temp).empty());  // nothing was written where the copies go

    // A block longer than the file: refused before the target is created, so an earlier copy
    // under that name is not lost.
    std::string target = folder.Write("copy.exe", "earlier copy");
    EXPECT_EQ(ErrorOf([&] { pak.ExtractModule(static_cast<std::int32_t>(shortBlock), target.c_str()); }),
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
