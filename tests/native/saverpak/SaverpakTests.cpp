#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "PeImage.h"
#include "SaverInputs.h"
#include "TestFolder.h"
#include "imaging/Transitionsunit.h"
#include "tools/saverpak/Commands.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#endif

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

json ListJson(const std::string& file) {
    std::ostringstream out;
    ListSaver(file, true, out);
    return json::parse(out.str());
}

// Runs the tool's command line in-process; returns the exit code, with stdout and stderr.
struct RunResult {
    int Code;
    std::string Out;
    std::string Err;
};

RunResult RunTool(std::vector<std::string> args) {
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
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SaverpakBuild, LaysOutTheReferenceSaverExactly) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes(648704));
    folder.Write("module.exe", ProgramBytes(1714499, '\x11'));
    folder.Write("picture0.bmp", BmpBytes(152, 112, 51128));
    folder.Write("picture1.bmp", BmpBytes(300, 210, 189056));
    // Relative names resolve against the manifest's folder, not the working directory.
    folder.Write("saver.toml",
                 "[[module]]\nfile = \"module.exe\"\nname = \"twenty-chars-name.ex\"\n"
                 "[[picture]]\nfile = \"picture0.bmp\"\n[[picture]]\nfile = \"picture1.bmp\"\n");
    std::string out = folder.Path("saver.scr");
    BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), out);

    // The stub grows by its new resource section; the container follows it, laid out as in the
    // reference, every position moved by as much.
    json j = ListJson(out);
    const std::uint64_t base = j["containerStart"];
    EXPECT_GT(base, 648704u);
    auto at = [&](std::uint64_t reference) { return reference - 648704 + base; };
    EXPECT_EQ(fs::file_size(out), at(2604074));
    EXPECT_EQ(j["fileSize"], at(2604074));
    EXPECT_EQ(j["containerStart"], at(648704));
    EXPECT_EQ(j["containerSize"], 1955370);
    const json& m = j["modules"][0];
    EXPECT_EQ(m["name"]["position"], at(648704));
    EXPECT_EQ(m["name"]["size"], 28);
    EXPECT_EQ(m["name"]["length"], 20);
    EXPECT_EQ(m["data"]["position"], at(648732));
    EXPECT_EQ(m["data"]["size"], 1714503);
    EXPECT_EQ(m["position"], at(2363235));
    EXPECT_EQ(m["size"], 17);
    EXPECT_EQ(m["flags"], 0);
    EXPECT_EQ(m["nameOffset"], at(648704));
    EXPECT_EQ(m["dataOffset"], at(648732));
    EXPECT_EQ(j["moduleTable"]["position"], at(2363252));
    EXPECT_EQ(j["moduleTable"]["entries"], json::array({at(2363235)}));
    EXPECT_EQ(j["pictures"][0]["data"]["position"], at(2363256));
    EXPECT_EQ(j["pictures"][0]["data"]["size"], 51132);
    EXPECT_EQ(j["pictures"][0]["position"], at(2414388));
    EXPECT_EQ(j["pictures"][0]["dataOffset"], at(2363256));
    EXPECT_EQ(j["pictures"][1]["data"]["position"], at(2414397));
    EXPECT_EQ(j["pictures"][1]["data"]["size"], 189060);
    EXPECT_EQ(j["pictures"][1]["position"], at(2603457));
    EXPECT_EQ(j["pictures"][1]["type"], "bmp");
    EXPECT_EQ(j["contentTable"]["position"], at(2603466));
    EXPECT_EQ(j["contentTable"]["entries"], json::array({at(2414388), at(2603457)}));
    EXPECT_EQ(j["settings"]["position"], at(2603474));
    EXPECT_EQ(j["settings"]["size"], 560);
    EXPECT_EQ(j["index"]["position"], at(2604034));
    EXPECT_EQ(j["index"]["moduleTableOffset"], at(2363252));
    EXPECT_EQ(j["index"]["moduleCount"], 1);
    EXPECT_EQ(j["index"]["keyTableOffset"], 0);
    EXPECT_EQ(j["index"]["keyCount"], 0);
    EXPECT_EQ(j["index"]["contentCount"], 2);
    EXPECT_EQ(j["index"]["contentTableOffset"], at(2603466));
    EXPECT_EQ(j["index"]["settingsOffset"], at(2603474));
    EXPECT_EQ(j["trailer"]["position"], at(2604066));
    EXPECT_EQ(j["trailer"]["indexOffset"], at(2604034));
    EXPECT_NO_THROW(VerifySaver(out));
}

TEST(SaverpakBuild, KeysSettingsExternalModulesAndJpegRoundTrip) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    std::string program = ProgramBytes(30000, 'p');
    folder.Write("show.exe", program);
    std::string jpeg = JpegBytes(40, 30);
    folder.Write("photo.bmp", jpeg);  // the type follows the content, not the extension
    folder.Write("logo.bmp", BmpBytes(16, 8, 0, 8));
    folder.Write("saver.toml", R"(
[settings]
link = "https://example.invalid/caf\u00e9"
caption = "Caf\u00e9 \u20ac"
music = true

[[module]]
file = "show.exe"
force-maximize = true
arg-method = 3

[[module]]
external = true
name = 'C:\Programs\Leave\leave.exe'

[[picture]]
file = "photo.bmp"

[[picture]]
file = "logo.bmp"

[[key]]
key = "F1"
function = "shell-execute"
command = "https://example.invalid/help"

[[key]]
key = 0x1B
function = "exit-and-leave-running"

[[key]]
key = "f1"
function = "exit-and-leave-running"
)");
    std::string out = folder.Path("saver.scr");
    BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), out);
    VerifySaver(out);

    json j = ListJson(out);
    EXPECT_GT(j["containerStart"], StubBytes().size());
    EXPECT_EQ(j["modules"][0]["name"]["text"], nullptr);  // absent: the saver picks a "pak" name
    EXPECT_EQ(j["modules"][0]["name"]["length"], 0);
    EXPECT_EQ(j["modules"][0]["forceMaximize"], true);
    EXPECT_EQ(j["modules"][0]["argMethod"], 3);
    EXPECT_EQ(j["modules"][1]["external"], true);
    EXPECT_EQ(j["modules"][1]["name"]["text"], "C:\\Programs\\Leave\\leave.exe");
    EXPECT_EQ(j["modules"][1]["data"], nullptr);
    EXPECT_EQ(j["modules"][1]["dataOffset"], 0);
    EXPECT_EQ(j["pictures"][0]["type"], "jpeg");
    EXPECT_EQ(j["pictures"][1]["type"], "bmp");
    EXPECT_EQ(j["pictures"][0]["role"], "preview");
    EXPECT_EQ(j["pictures"][1]["kind"], "BMP 8-bit");
    EXPECT_EQ(j["pictures"][1]["width"], 16);
    std::ostringstream table;
    ListSaver(out, false, table);
    EXPECT_NE(table.str().find("picture 0 data (preview, JPEG colour 40 x 30, length"), std::string::npos) << table.str();
    EXPECT_NE(table.str().find("picture 1 data (logo, BMP 8-bit 16 x 8, length"), std::string::npos) << table.str();
    ASSERT_EQ(j["keys"].size(), 3u);
    EXPECT_EQ(j["keys"][0]["key"], 0x70);
    EXPECT_EQ(j["keys"][0]["keyName"], "F1");
    EXPECT_EQ(j["keys"][0]["function"], "shell-execute");
    EXPECT_EQ(j["keys"][0]["command"]["text"], "https://example.invalid/help");
    EXPECT_EQ(j["keys"][1]["key"], 0x1B);
    EXPECT_EQ(j["keys"][1]["command"], nullptr);
    EXPECT_EQ(j["keys"][2]["function"], "exit-and-leave-running");
    EXPECT_EQ(j["settings"]["link"], "https://example.invalid/caf\u00e9");
    EXPECT_EQ(j["settings"]["caption"], "Caf\u00e9 \u20ac");
    EXPECT_EQ(j["settings"]["music"], 1);
    // Stored as Windows-1252, one byte a character.
    EXPECT_EQ(folder.Read("saver.scr").find("Caf\xE9 \x80"), j["settings"]["position"].get<std::size_t>() + 300);

    ExtractFromSaver(out, ExtractKind::Module, 0, folder.Path("module-copy.exe"));
    EXPECT_EQ(folder.Read("module-copy.exe"), program);
    ExtractFromSaver(out, ExtractKind::Picture, 0, folder.Path("photo-copy.jpg"));
    EXPECT_EQ(folder.Read("photo-copy.jpg"), jpeg);
    EXPECT_EQ(ErrorOf([&] { ExtractFromSaver(out, ExtractKind::Module, 1, folder.Path("x")); }),
              out + ": module 1 is external (C:\\\\Programs\\\\Leave\\\\leave.exe); the container holds no program for it");
    EXPECT_NE(ErrorOf([&] { ExtractFromSaver(out, ExtractKind::Picture, 2, folder.Path("x")); }).find("has no picture 2 (it has 2)"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { ExtractFromSaver(out, ExtractKind::Picture, 0, out); }).find("is the saver file"),
              std::string::npos);
}

// [saver] names the saver and its file; what it leaves out comes from the output's name and
// the stub. The stub's other resources come through byte for byte, and a build is repeatable.
TEST(SaverpakBuild, TheSaverCarriesItsAuthorsNameVersionAndIcon) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("show.exe", ProgramBytes(100));
    folder.Write("icon.ico", IcoBytes({16, 32}, 0xFF10A020, 256));
    const std::string branded = folder.Write("branded.toml", R"([saver]
name = "Снег Christmas"
description = "Snow over 雪 town"
product = "Acme Seasons"
company = "Acme Ltd"
version = "1.2.3"
copyright = "© 2026 Acme"
icon = "icon.ico"
[[module]]
file = "show.exe"
)");
    const std::string plain = folder.Write("plain.toml", "[[module]]\nfile = \"show.exe\"\n");
    const std::string out = folder.Path("Acme Christmas.scr"), again = folder.Path("again/Acme Christmas.scr");
    BuildSaver(folder.Path("stub.scr"), branded, out);
    fs::create_directory(folder.Path("again"));
    BuildSaver(folder.Path("stub.scr"), branded, again);
    EXPECT_EQ(folder.Read("Acme Christmas.scr"), folder.Read("again/Acme Christmas.scr"));
    VerifySaver(out);

    json saver = ListJson(out)["saver"];
    EXPECT_EQ(saver["name"], "Снег Christmas");
    EXPECT_EQ(saver["version"], "1.2.3.0");
    EXPECT_EQ(saver["description"], "Snow over 雪 town");
    EXPECT_EQ(saver["product"], "Acme Seasons");
    EXPECT_EQ(saver["company"], "Acme Ltd");
    EXPECT_EQ(saver["copyright"], "© 2026 Acme");
    EXPECT_EQ(saver["originalFilename"], "Acme Christmas.scr");
    EXPECT_EQ(saver["icons"], json::parse(R"([{"width":16,"height":16,"bits":32},{"width":32,"height":32,"bits":32},
                                             {"width":256,"height":256,"bits":32}])"));
    std::ostringstream table;
    ListSaver(out, false, table);
    EXPECT_NE(table.str().find("saver \"Снег Christmas\", version 1.2.3.0, icon 16x16 (32 bits), 32x32"),
              std::string::npos) << table.str();
    // The file's own texts are UTF-16: the version's and the name's (string 1, beside the stub's
    // string 2, which stays).
    const std::string bytes = folder.Read("Acme Christmas.scr");
    auto utf16 = [](const std::string& ascii) {
        std::string wide;
        for (char c : ascii) wide += std::string{c, '\0'};
        return wide;
    };
    const std::size_t stubEnd = StubBytes().size();
    for (const char* text : {"InternalName", "Acme Christmas", "1.2.3", "the second string"})
        EXPECT_NE(bytes.find(utf16(text), stubEnd), std::string::npos) << text;
    for (const char* kept : {"kept byte for byte", "Saverpak saver program", "Saverpak.TestStub"})
        EXPECT_NE(bytes.find(kept, stubEnd), std::string::npos) << kept;
    EXPECT_EQ(bytes.find(utf16("Stub Company"), stubEnd), std::string::npos);
    EXPECT_EQ(bytes.substr(4096, stubEnd - 4096), StubBytes().substr(4096));

    // Without [saver]: called by its file, the rest as the stub has it.
    BuildSaver(folder.Path("stub.scr"), plain, out);
    saver = ListJson(out)["saver"];
    EXPECT_EQ(saver["name"], "Acme Christmas");
    EXPECT_EQ(saver["product"], "Acme Christmas");
    EXPECT_EQ(saver["description"], "Acme Christmas Screen Saver");
    EXPECT_EQ(saver["version"], "2.3.4.5");
    EXPECT_EQ(saver["company"], "Stub Company");
    EXPECT_EQ(saver["copyright"], "Stub Copyright");
    EXPECT_EQ(saver["originalFilename"], "Acme Christmas.scr");
    EXPECT_EQ(saver["icons"].size(), 3u);
    EXPECT_EQ(saver["icons"][0]["width"], 48);
}

TEST(SaverpakBuild, RefusesBadManifestsAndLeavesTheOutputAlone) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("show.exe", ProgramBytes(100));
    folder.Write("text.exe", "not a program");
    folder.Write("good.bmp", BmpBytes(4, 4));
    folder.Write("deep.bmp", BmpBytes(4, 4, 0, 2));
    folder.Write("gap.bmp", BmpBytes(4, 4).replace(10, 4, Le32Bytes(60)));
    folder.Write("cut.bmp", BmpBytes(40, 40).substr(0, 200));
    folder.Write("core.bmp", BmpBytes(4, 4, 0, 24, 108));
    folder.Write("fake.jpg", std::string("\xFF\xD8\xFF\xE0 not really", 15));
    folder.Write("text.png", "PNG?");
    folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\n");
    BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), folder.Path("built.scr"));
    folder.Write("program.exe", PeProgramBytes());
    folder.Write("icon.ico", IcoBytes({16}));
    folder.Write("text.ico", "not an icon");
    folder.Write("cut.ico", IcoBytes({32}).substr(0, 600));
    std::string wrongSize = IcoBytes({16});
    wrongSize[6] = 24;  // the directory says 24 x 24
    folder.Write("wrong.ico", wrongSize);
    std::string out = folder.Write("saver.scr", "previous saver");

    std::string keys21;
    for (int i = 0; i < 21; ++i)
        keys21 += "[[key]]\nkey = " + std::to_string(0x41 + i) + "\nfunction = \"exit-and-leave-running\"\n";
    std::string entries33;
    for (int i = 0; i < 33; ++i)
        entries33 += "[[key]]\nkey = \"F1\"\nfunction = \"exit-and-leave-running\"\n";

    struct Case {
        std::string manifest;
        std::string expected;  // part of the message
        std::string stub = "stub.scr";
    };
    const Case cases[] = {
        {"[[module]]\nfile = \"show.exe\"\nnmae = \"x\"\n", "module 0: unknown entry 'nmae'"},
        {"[[module]]\nname = \"x.exe\"\n", "module 0: 'file' is required"},
        {"[[module]]\nfile = \"absent.exe\"\n", "cannot open the module " + folder.Path("absent.exe") + ": there is no such file"},
        {"[[module]]\nfile = \"C:\\Snow\\show.exe\"\n", "escape. Write a Windows path in single quotes, 'C:\\Snow\\show.exe', or with /"},
        {"[[module]]\nfile = \"bin\\new.exe\"\n", "module 0: 'file' holds a line break, tab or other control character"},
        {"[[module]]\nexternal = true\nname = \"C:\\new\\tools.exe\"\n", "'name' holds a line break"},
        {"\xFF\xFE[", "saver.toml: the manifest is UTF-16 text; save it as UTF-8"},
        {"# Schnee\n[settings]\ncaption = \"f\xFCr\"\n", "saver.toml:3:13: the manifest is not UTF-8 text (byte 0xFC"},
        {"[[module]]\nfile = \"text.exe\"\n", "is not a Windows program (no \"MZ\")"},
        {"[[module]]\nfile = \"show.exe\"\nname = '..\\evil.exe'\n", "'name' contains a path separator"},
        {"[[module]]\nfile = \"show.exe\"\nname = \"NUL.exe\"\n", "'name' is a reserved device name"},
        {"[[module]]\nexternal = true\n", "an external module needs 'name'"},
        {"[[module]]\nexternal = true\nfile = \"show.exe\"\nname = \"C:\\\\x.exe\"\n", "names its program with 'name'"},
        {"[[module]]\nexternal = true\nname = 'C:\\Show\\show.CFG'\n", "'name' ends in \".cfg\""},
        {"[[module]]\nfile = \"show.exe\"\narg-method = 256\n", "'arg-method' must be an integer from 0 to 255"},
        {"[[picture]]\nfile = \"text.png\"\n", "not a picture the tool knows"},
        {"[[picture]]\nfile = \"deep.bmp\"\n", "1, 4, 8, 16, 24 or 32 bits"},
        {"[[picture]]\nfile = \"gap.bmp\"\n", "ends before its pixel data"},
        {"[[picture]]\nfile = \"cut.bmp\"\n", "ends before its pixel data"},
        {"[[picture]]\nfile = \"core.bmp\"\n", "runs past the file"},
        {"[[picture]]\nfile = \"fake.jpg\"\n", "JPEG does not decode"},
        {"[settings]\nlink = \"" + std::string(300, 'l') + "\"\n", "'link' is longer than 299 characters"},
        {"[settings]\ncaption = \"" + std::string(256, 'c') + "\"\n", "'caption' is longer than 255 characters"},
        {"[settings]\ncaption = \"\\u4e2d\"\n", "Windows-1252"},
        {"[settings]\nlink = \"a\\u0000b\"\n", "zero character"},
        {"[settings]\nmusic = \"yes\"\n", "'music' must be true or false"},
        {"[settings]\nmusic = 2\n", "'music' must be true or false"},
        {keys21, "at most 20 distinct keys; the manifest has 21"},
        {entries33, "at most 32 key entries; the manifest has 33"},
        {"[[key]]\nkey = \"Hyper\"\nfunction = \"exit-and-leave-running\"\n", "unknown key name 'Hyper'"},
        {"[[key]]\nkey = 0\nfunction = \"exit-and-leave-running\"\n", "code must be from 1 to 254"},
        {"[[key]]\nkey = \"F1\"\nfunction = \"shell-execute\"\n", "needs a 'command'"},
        {"[[key]]\nkey = \"F1\"\nfunction = \"run\"\n", "'function' must be"},
        {"[[module]\n", "saver.toml:1:"},
        {"stub = \"x\"\n", "unknown entry 'stub'"},
        {"[saver]\nnmae = \"x\"\n", "saver: unknown entry 'nmae'"},
        {"saver = \"x\"\n", "saver: must be a table"},
        {"[saver]\nname = 1\n", "'name' must be a string"},
        {"[saver]\nname = \"\"\n", "'name' is empty"},
        {"[saver]\ncompany = \"" + std::string(256, 'c') + "\"\n", "'company' is longer than 255 characters"},
        {"[saver]\ndescription = \"a\\tb\"\n", "'description' contains a control character"},
        {"[saver]\ncopyright = \"a\\u0085b\"\n", "'copyright' contains a control character"},
        {"[saver]\nversion = \"1.2\"\n", "'version' must be a string such as \"1.2.3\""},
        {"[saver]\nversion = \"1.2.3.65536\"\n", "'version' must be"},
        {"[saver]\nversion = 1.2\n", "'version' must be"},
        {"[saver]\nicon = \"absent.ico\"\n", "cannot open the icon "},
        {"[saver]\nicon = \"text.ico\"\n", "text.ico is not an icon file (.ico)"},
        {"[saver]\nicon = \"cut.ico\"\n", "image 0 lies outside the file"},
        {"[saver]\nicon = \"wrong.ico\"\n", "wrong.ico image 0 (24x16) is a bitmap of another size than the directory says"},
        {"[[module]]\nfile = \"show.exe\"\n", "stub " + folder.Path("built.scr") +
             " already holds content: build from the saver program Saverpak.scr", "built.scr"},
        {"[[module]]\nfile = \"show.exe\"\n", "stub " + folder.Path("program.exe") +
             " is not the saver program (it lacks the saver's marker resource): build from the saver program Saverpak.scr",
         "program.exe"},
        {"[[module]]\nfile = \"show.exe\"\n", "is not a Windows program the tool can read (", "show.exe"},
    };
    std::vector<std::string> before;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manifest.substr(0, 80));
        folder.Write("saver.toml", c.manifest);
        if (before.empty()) before = Listing(folder.Path());
        std::string message = ErrorOf([&] { BuildSaver(folder.Path(c.stub), folder.Path("saver.toml"), out); });
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        EXPECT_EQ(folder.Read("saver.scr"), "previous saver");
        EXPECT_EQ(Listing(folder.Path()), before);  // no temporary file left behind
    }

    folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\n");
    folder.Write("plain.scr", "no MZ here");
    EXPECT_NE(ErrorOf([&] { BuildSaver(folder.Path("plain.scr"), folder.Path("saver.toml"), out); })
                  .find("is not a Windows program"),
              std::string::npos);
}

// What build accepts, the saver shows: build succeeds exactly when the saver's own load, fit
// into the preview and change to 24 bits do; a refusal names the picture.
TEST(SaverpakBuild, AcceptsExactlyThePicturesTheSaverShows) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    const std::string manifest = folder.Write("saver.toml", "[[picture]]\nfile = \"p.bmp\"\n");
    auto with = [](std::string b, std::size_t at, std::uint32_t v) { return b.replace(at, 4, Le32Bytes(v)); };
    auto rle8 = [&](const std::string& data) {  // 4 x 2
        return with(with(BmpBytes(4, 2, 0, 8), 30, 1), 34, std::uint32_t(data.size())).substr(0, 1078) + data;
    };
    const std::pair<std::string, bool> cases[] = {
        {BmpBytes(21844, 2, 0, 8), true},
        {BmpBytes(21845, 2, 0, 8), false},
        {BmpBytes(21845, 2, 0, 1), false},
        {BmpBytes(21845, 1), false},
        {with(BmpBytes(4, 2), 34, 26) + std::string(2, '\0'), true},  // image size counts padding
        {with(BmpBytes(4, 2), 34, 26), true},                         // the padding is not there
        {with(rle8(std::string("\2\5\0\1", 4)), 34, 0), false},     // RLE without image size
        {rle8(std::string("\11\1\0\1", 4)), false},                 // a run past the block
        {rle8(std::string("\2\5\0\0\1\6\0\0\0\1", 10)), true},    // a line end after the last row
    };
    for (const auto& [bytes, shown] : cases) {
        SCOPED_TRACE(bytes.size());
        const std::string picture = folder.Write("p.bmp", bytes);
        ssPicture saver;
        EXPECT_EQ(ErrorOf([&] {
                      saver.Load(picture.c_str());
                      saver.Resize(RECT{0, 0, 152, 112});
                      if (saver.IncreaseColorDepth() != 0) throw std::runtime_error("depth");
                  }).empty(), shown);
        const std::string error = ErrorOf([&] { BuildSaver(folder.Path("stub.scr"), manifest, folder.Path("out.scr")); });
        EXPECT_EQ(error.empty(), shown) << error;
        EXPECT_EQ(error.find("picture 0") != std::string::npos && error.find(picture) != std::string::npos, !shown);
    }
}

TEST(SaverpakBuild, NeverWritesOverItsInputs) {
    TestFolder folder;
    std::string stub = folder.Write("stub.scr", StubBytes());
    std::string module = folder.Write("show.exe", ProgramBytes(100));
    folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\n");
    std::string manifest = folder.Path("saver.toml");

    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, stub); }).find("is the stub"), std::string::npos);
    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, module); }).find("is the module"), std::string::npos);
    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, manifest); }).find("is the manifest"), std::string::npos);
    // The same file under another name is caught by identity.
    std::string otherName = folder.Path("same-stub.scr");
    std::error_code linkError;
    fs::create_hard_link(stub, otherName, linkError);
    if (!linkError) {
        EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, otherName); }).find("is the stub"), std::string::npos);
    }
    std::string dotted = (fs::path(folder.Path()) / "." / "stub.scr").string();
    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, dotted); }).find("is the stub"), std::string::npos);
    EXPECT_EQ(folder.Read("stub.scr"), StubBytes());
    EXPECT_EQ(folder.Read("show.exe"), ProgramBytes(100));

    // A good build replaces an existing output whole.
    std::string out = folder.Write("saver.scr", "previous saver");
    BuildSaver(stub, manifest, out);
    VerifySaver(out);
    EXPECT_EQ(folder.Read("saver.scr").substr(4096, StubBytes().size() - 4096), StubBytes().substr(4096));
}

// Build and extract replace nothing but a regular file: a special file is refused before
// anything is written, a symbolic link is followed and stays, a replaced file keeps its mode
// and owner.
TEST(SaverpakBuild, OutputsReplaceOnlyRegularFiles) {
    TestFolder folder;
    const std::string stub = folder.Write("stub.scr", StubBytes());
    folder.Write("show.exe", ProgramBytes(100));
    const std::string manifest = folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\n");
    const std::string saver = folder.Path("built.scr");
    BuildSaver(stub, manifest, saver);
    struct Case {
        std::string output;
        std::string refused;  // part of the message; "" for an output that is written
        std::string written;  // the file that must hold the result
    };
    std::vector<Case> cases = {
        {folder.Path("none") + "/x.scr", "the folder " + folder.Path("none") + " does not exist", ""},
        {folder.Path(), "is a folder, not a regular file", ""},
    };
#ifdef _WIN32
    cases.push_back({folder.Path("NUL.txt"), "is a device name", ""});
#endif
#ifndef _WIN32
    ASSERT_EQ(mkfifo(folder.Path("fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", folder.Path("null-link"));
    fs::create_symlink("kept.scr", folder.Path("link.scr"));
    fs::create_symlink("new.scr", folder.Path("dangling.scr"));
    folder.Write("kept.scr", "previous");
    chmod(folder.Path("kept.scr").c_str(), 0640);
    const bool root = geteuid() == 0;
    if (root) {
        EXPECT_EQ(chown(folder.Path("kept.scr").c_str(), 4321, 4321), 0);
    }
    cases.push_back({folder.Path("fifo"), "fifo is a FIFO (named pipe), not a regular file", ""});
    cases.push_back({folder.Path("null-link"), "null-link (/dev/null) is a device", ""});
    cases.push_back({"/dev/null", "the output /dev/null is a device", ""});
    cases.push_back({folder.Path("link.scr"), "", "kept.scr"});
    cases.push_back({folder.Path("dangling.scr"), "", "new.scr"});
#endif
    for (const Case& c : cases) {
        for (bool extract : {false, true}) {
            SCOPED_TRACE(c.output + (extract ? " (extract)" : " (build)"));
            const auto before = Listing(folder.Path());
            const std::string error = ErrorOf([&] {
                if (extract) ExtractFromSaver(saver, ExtractKind::Module, 0, c.output);
                else BuildSaver(stub, manifest, c.output);
            });
            if (!c.refused.empty()) {
                EXPECT_NE(error.find(c.refused), std::string::npos) << error;
                EXPECT_EQ(Listing(folder.Path()), before);
                continue;
            }
            EXPECT_EQ(error, "");
            EXPECT_TRUE(fs::is_symlink(c.output));
            // The saver is named (in its version resource) by the output as given.
            const std::string named = folder.Path("by-name/") + fs::path(c.output).filename().string();
            fs::create_directories(folder.Path("by-name"));
            if (!extract) BuildSaver(stub, manifest, named);
            EXPECT_EQ(folder.Read(c.written), extract ? ProgramBytes(100) : ReadWholeFile(named));
        }
    }
#ifndef _WIN32
    struct stat kept {};
    ASSERT_EQ(stat(folder.Path("kept.scr").c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(kept.st_uid, 4321u);
    }
    EXPECT_FALSE(fs::is_symlink(folder.Path("kept.scr")));
#endif
}

TEST(SaverpakCommandLine, ExitCodesMessagesAndHelp) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("show.exe", ProgramBytes(100));
    folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\nname = \"show.exe\"\n");
    std::string out = folder.Path("saver.scr");

    RunResult build = RunTool({"build", "--stub", folder.Path("stub.scr"), "--manifest",
                           folder.Path("saver.toml"), "-o", out});
    EXPECT_EQ(build.Code, 0) << build.Err;
    const std::uintmax_t size = fs::file_size(out);  // the branded stub, then 741 bytes of container
    EXPECT_EQ(build.Out, "saverpak: wrote " + out + ", " + std::to_string(size) + " bytes: the stub (" +
                             std::to_string(size - 741) + " bytes), 1 module (100 bytes), "
                             "0 pictures (0 bytes), 0 hot keys, no link, Music check box hidden\n");
    RunResult verify = RunTool({"verify", out});
    EXPECT_EQ(verify.Code, 0) << verify.Err;
    RunResult list = RunTool({"list", out});
    EXPECT_EQ(list.Code, 0);
    EXPECT_NE(list.Out.find("module 0 name \"show.exe\""), std::string::npos) << list.Out;
    RunResult extract = RunTool({"extract", out, "--module", "0", "-o", folder.Path("copy.exe")});
    EXPECT_EQ(extract.Code, 0) << extract.Err;
    EXPECT_EQ(folder.Read("copy.exe"), ProgramBytes(100));
    // A name at the file-name limit: the temporary file beside it must fit the limit too.
    extract = RunTool({"extract", out, "--module", "0", "-o", folder.Path(std::string(251, 'n') + ".exe")});
    EXPECT_EQ(extract.Code, 0) << extract.Err;

    for (const char* command : {"build", "list", "verify", "extract"}) {
        RunResult help = RunTool({command, "--help"});
        EXPECT_EQ(help.Code, 0) << command;
        EXPECT_NE(help.Out.find(command), std::string::npos) << help.Out;
        EXPECT_EQ(RunTool({"help", command}).Out, help.Out);
    }
    EXPECT_EQ(RunTool({"help"}).Out, RunTool({"--help"}).Out);
#ifdef _WIN32
    EXPECT_EQ(RunTool({"/?"}).Out, RunTool({"--help"}).Out);
    EXPECT_EQ(RunTool({"build", "/?"}).Out, RunTool({"build", "--help"}).Out);
#endif
    EXPECT_EQ(RunTool({"buidl", "--stub", "x"}).Err.rfind("saverpak: unknown command 'buidl'; did you mean build?\n", 0), 0u);
    EXPECT_EQ(RunTool({"help", "lsit"}).Err.rfind("saverpak: unknown command 'lsit'; did you mean list?\n", 0), 0u);
    RunResult version = RunTool({"--version"});
    EXPECT_EQ(version.Code, 0);
    EXPECT_EQ(version.Out.rfind("saverpak 1.", 0), 0u) << version.Out;

    // A command line the tool cannot use: status 2, the parser's complaint and one usage line.
    const std::string y = folder.Path("y");
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"buidl"},
        {"build", "--stub", "x"},
        {"list"},
        {"list", out, "--colour"},
        {"extract", out, "-o", y},
        {"extract", out, "--module", "0", "--picture", "0", "-o", y},
        {"extract", out, "--module", "-1", "-o", y},
    };
    for (const auto& args : wrong) {
        RunResult r = RunTool(args);
        SCOPED_TRACE(args.empty() ? "(nothing)" : args[0] + " " + (args.size() > 1 ? args.back() : ""));
        EXPECT_EQ(r.Code, 2);
        EXPECT_EQ(r.Err.rfind("saverpak: ", 0), 0u) << r.Err;
        EXPECT_NE(r.Err.find("\nusage: saverpak build|list|verify|extract"), std::string::npos) << r.Err;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 2) << r.Err;
        EXPECT_FALSE(fs::exists(y));
    }

    // A failure: status 1 and one message that begins "saverpak: " and names its file; the
    // reader's own messages are kept.
    std::string bytes = folder.Read("saver.scr");
    folder.Write("cut.scr", bytes.substr(0, 2060) + bytes.substr(bytes.size() - 40));
    std::string badIndex = bytes;
    badIndex[bytes.size() - 40] = 36;
    folder.Write("index.scr", badIndex);
    const std::string stub = folder.Path("stub.scr"), cut = folder.Path("cut.scr");
    const std::string index = folder.Path("index.scr"), absent = folder.Path("absent.scr");
    const std::string big = folder.Write("big.toml", "#" + std::string(1 << 20, ' '));
    struct Failure {
        std::vector<std::string> args;
        std::string message;
    };
    const Failure failures[] = {
        {{"verify", stub}, stub + " is not a saver with content: it has no container at its end (saverpak build makes one "
                            "from the saver program Saverpak.scr and a manifest)"},
        {{"list", cut}, "Error reading module file. " + cut},
        {{"verify", index}, "File is corrupt, invalid record size in PakIndex. " + index},
        {{"list", "--json", absent}, "cannot open " + absent + ": there is no such file"},
        {{"extract", folder.Path(), "--module", "0", "-o", y}, "cannot open " + folder.Path() + ": it is a folder"},
        {{"extract", out, "--picture", "0", "-o", y}, out + " has no picture 0 (it has 0)"},
        {{"build", "--stub", stub, "--manifest", absent, "-o", y}, "cannot open the manifest " + absent},
        {{"build", "--stub", stub, "--manifest", folder.Path(), "-o", y},
         "the manifest " + folder.Path() + " is not a regular file"},
        {{"build", "--stub", stub, "--manifest", big, "-o", y}, "the manifest " + big + " is larger than 1 MiB"},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.args[0] + " " + f.args[1]);
        RunResult r = RunTool(f.args);
        EXPECT_EQ(r.Code, 1);
        EXPECT_EQ(r.Err, "saverpak: " + f.message + "\n");
        EXPECT_EQ(r.Out, "");
    }
}

// list and extract show texts from the container, which a hostile saver controls: nothing it
// holds may reach the terminal as a control sequence, nor pass for an escaped byte.
TEST(SaverpakList, EscapesControlCharactersFromTheContainer) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("saver.toml", "[settings]\nlink = \"LLLLLLLLLLLL\"\ncaption = \"CCCCCCCCCCCC\"\n"
                               "[[key]]\nkey = \"F1\"\nfunction = \"shell-execute\"\ncommand = \"KKKKKKKKKKKK\"\n"
                               "[[module]]\nexternal = true\nname = \"EEEEEEEEEEEE\"\n");
    std::string out = folder.Path("saver.scr");
    BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), out);
    std::string bytes = folder.Read("saver.scr");
    const std::string hostile("\x1B]0;x\x07\x9B\x81\x7F\t\xE9\\", 12);
    for (const char* text : {"LLLLLLLLLLLL", "CCCCCCCCCCCC", "KKKKKKKKKKKK", "EEEEEEEEEEEE"})
        bytes.replace(bytes.find(text), hostile.size(), hostile);
    folder.Write("saver.scr", bytes);

    std::ostringstream table;
    ListSaver(out, false, table);
    const std::string shown = "\\x1B]0;x\\x07\u203A\\x81\\x7F\\x09\u00E9\\\\";
    EXPECT_NE(table.str().find("link \"" + shown + "\", caption \"" + shown + "\""), std::string::npos)
        << table.str();
    EXPECT_NE(table.str().find("command \"" + shown + "\""), std::string::npos) << table.str();
    EXPECT_NE(table.str().find("name \"" + shown + "\""), std::string::npos) << table.str();
    for (char c : table.str()) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    EXPECT_EQ(ErrorOf([&] { ExtractFromSaver(out, ExtractKind::Module, 0, folder.Path("x.exe")); }),
              out + ": module 0 is external (" + shown + "); the container holds no program for it");
    std::ostringstream jsonText;
    ListSaver(out, true, jsonText);
    for (char c : jsonText.str()) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    EXPECT_EQ(json::parse(jsonText.str())["settings"]["caption"], "\x1B]0;x\x07\u203A\uFFFD\x7F\t\u00E9\\");
}

TEST(SaverpakVerify, PictureContentMustMatchItsStoredType) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("a.bmp", BmpBytes(8, 8));
    folder.Write("saver.toml", "[[picture]]\nfile = \"a.bmp\"\n");
    std::string out = folder.Path("saver.scr");
    BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), out);
    json j = ListJson(out);
    std::string bytes = folder.Read("saver.scr");
    bytes[j["pictures"][0]["position"].get<std::size_t>() + 4] = 1;  // now claims to be a JPEG
    folder.Write("saver.scr", bytes);
    EXPECT_EQ(ErrorOf([&] { VerifySaver(out); }),
              "Error loading picture. The file format is invalid or unrecognized. " + out);
    bytes[j["pictures"][0]["position"].get<std::size_t>() + 4] = 2;
    folder.Write("saver.scr", bytes);
    EXPECT_EQ(ErrorOf([&] { VerifySaver(out); }), "File is corrupt. Invalid picture type. " + out);
}

#ifndef _WIN32
// A sparse saver of 5 GiB whose index asks for a table of 4 GiB: refused at once, before
// anything is set aside for it (positions end at 2 GiB).
TEST(SaverpakLimits, AFileOfFiveGigabytesIsRefusedPromptlyInLittleMemory) {
    TestFolder folder;
    const std::string path = folder.Path("huge.scr");
    const std::uint64_t size = 5ull << 30;
    {
        std::ofstream out(path, std::ios::binary);
        out << ProgramBytes(64);
        out << Le32Bytes(32) << Le32Bytes(0) << Le32Bytes(0x40000000) << std::string(20, '\0');
        out.seekp(static_cast<std::streamoff>(size - 8));
        out << Le32Bytes(8) << Le32Bytes(64);
    }
    ASSERT_EQ(fs::file_size(path), size);
    const auto start = std::chrono::steady_clock::now();
    for (std::vector<std::string> args : {std::vector<std::string>{"list", path}, {"list", "--json", path},
                                          {"verify", path}, {"extract", path, "--module", "0", "-o", folder.Path("x")}}) {
        RunResult r = RunTool(args);
        EXPECT_EQ(r.Code, 1);
        EXPECT_EQ(r.Err, "saverpak: Error reading module file. " + path + "\n");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024);  // KiB
#endif
}

// An interrupted extract leaves no temporary file and ends as the signal would. The saver is a
// pipe that nobody writes: the tool, its temporary file made, waits on it until the signal.
TEST(SaverpakLimits, AnInterruptRemovesTheTemporaryFile) {
    TestFolder folder;
    const std::string pipe = folder.Path("saver.scr");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        pid_t child = fork();
        if (child == 0) _exit(RunTool({"extract", pipe, "--module", "0", "-o", folder.Path("x.exe")}).Code);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Listing(folder.Path()).size() < 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the temporary file
        int status = 0;
        ASSERT_TRUE(kill(child, signal) == 0 && waitpid(child, &status, 0) == child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{"saver.scr"});
    }
}

// Signing as a user signs: Debian's openssl makes a throw-away certificate and osslsigncode
// signs with it (only options that osslsigncode 2.5 has too).
class Signer {
public:
    explicit Signer(const TestFolder& folder)
        : FKey(folder.Path("key.pem")), FCert(folder.Path("cert.pem")), FLog(folder.Path("sign.log")) {}

    bool MakeCertificate() const {
        return Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Saverpak-Test "
                   "-addext extendedKeyUsage=codeSigning -keyout '" + FKey + "' -out '" + FCert + "'");
    }
    bool Sign(const std::string& in, const std::string& out, bool nest = false) const {
        return Run("osslsigncode sign -certs '" + FCert + "' -key '" + FKey + "' -h sha256 -n Saverpak " +
                   (nest ? "-nest " : "") + "-in '" + in + "' -out '" + out + "'");
    }
    bool Verify(const std::string& file) const {
        return Run("osslsigncode verify -CAfile '" + FCert + "' -in '" + file + "'");
    }
    std::string Log() const {
        return ReadWholeFile(FLog);
    }

private:
    bool Run(const std::string& command) const {
        return std::system((command + " >'" + FLog + "' 2>&1").c_str()) == 0;
    }
    std::string FKey, FCert, FLog;
};

TEST(SaverpakSigning, SignedAndTwiceSignedSaversReadAndSignedStubsAreStripped) {
    TestFolder folder;
    Signer signer(folder);
    ASSERT_TRUE(signer.MakeCertificate()) << signer.Log();
    const std::string stub = folder.Write("stub.scr", StubBytes());
    const std::string program = ProgramBytes(70001, 's');
    folder.Write("show.exe", program);
    const std::string manifest = folder.Write(
        "saver.toml", "[settings]\ncaption = \"signed\"\n[[module]]\nfile = \"show.exe\"\nname = \"show.exe\"\n");
    const std::string saver = folder.Path("saver.scr"), signedSaver = folder.Path("signed.scr");
    BuildSaver(stub, manifest, saver);
    const std::string built = folder.Read("saver.scr");
    EXPECT_EQ(ListJson(saver)["signature"], nullptr);

    ASSERT_TRUE(signer.Sign(saver, signedSaver)) << signer.Log();
    EXPECT_TRUE(signer.Verify(signedSaver)) << signer.Log();
    EXPECT_EQ(ErrorOf([&] { VerifySaver(signedSaver); }), "");
    json j = ListJson(signedSaver);
    EXPECT_EQ(j["signature"]["position"], (built.size() + 7) / 8 * 8);
    EXPECT_EQ(j["signature"]["position"].get<std::uint64_t>() + j["signature"]["size"].get<std::uint64_t>(),
              j["fileSize"]);
    EXPECT_EQ(j["trailer"]["position"], built.size() - 8);
    EXPECT_EQ(j["containerSize"], ListJson(saver)["containerSize"]);
    ExtractFromSaver(signedSaver, ExtractKind::Module, 0, folder.Path("copy.exe"));
    EXPECT_EQ(folder.Read("copy.exe"), program);
    std::ostringstream table;
    ListSaver(signedSaver, false, table);
    EXPECT_NE(table.str().find("certificate table (signature, after"), std::string::npos) << table.str();

    // A second signature nested in the first makes a larger table; the container stays put.
    const std::string nested = folder.Path("nested.scr");
    ASSERT_TRUE(signer.Sign(signedSaver, nested, true)) << signer.Log();
    EXPECT_TRUE(signer.Verify(nested)) << signer.Log();
    EXPECT_EQ(ErrorOf([&] { VerifySaver(nested); }), "");
    json n = ListJson(nested);
    EXPECT_GT(n["signature"]["size"], j["signature"]["size"]);
    EXPECT_EQ(n["trailer"], j["trailer"]);

    // A signed stub: its table and entry are left out, with a note; the saver is the one built
    // from the unsigned stub.
    const std::string signedStub = folder.Path("signed-stub.scr");
    ASSERT_TRUE(signer.Sign(stub, signedStub)) << signer.Log();
    // Built under the same name, as the name goes into the version resource.
    fs::create_directory(folder.Path("again"));
    const std::string again = folder.Path("again/saver.scr");
    RunResult build = RunTool({"build", "--stub", signedStub, "--manifest", manifest, "-o", again});
    EXPECT_EQ(build.Code, 0) << build.Err;
    EXPECT_EQ(build.Err.rfind("saverpak: note: the stub " + signedStub + " is signed;", 0), 0u) << build.Err;
    EXPECT_NE(build.Err.find("Sign " + again + " instead"), std::string::npos) << build.Err;
    EXPECT_EQ(ReadWholeFile(again), built);  // the checksum too: computed over the saver
    EXPECT_EQ(ListJson(again)["signature"], nullptr);
    ASSERT_TRUE(signer.Sign(again, folder.Path("again-signed.scr"))) << signer.Log();
    EXPECT_TRUE(signer.Verify(folder.Path("again-signed.scr"))) << signer.Log();

    // Padded with 7 and 6 bytes, savers whose index offset (0x80001, 0x80002) holds 08 00 where
    // a shorter padding would look for the trailer's size.
    for (std::size_t size : {524329u, 524330u}) {
        folder.Write("show.exe", ProgramBytes(size - (built.size() - program.size()), 's'));
        BuildSaver(stub, manifest, saver);
        const std::string signedBig = folder.Path("signed-" + std::to_string(size) + ".scr");
        ASSERT_TRUE(fs::file_size(saver) == size && signer.Sign(saver, signedBig)) << signer.Log();
        EXPECT_EQ(ErrorOf([&] { VerifySaver(signedBig); }), "") << size;
    }
}
#endif

}  // namespace
