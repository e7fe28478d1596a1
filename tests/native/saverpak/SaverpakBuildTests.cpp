// Building savers: the layout, what each manifest table becomes, the pictures accepted.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "SaverInputs.h"
#include "TestFolder.h"
#include "ToolRun.h"
#include "imaging/Transitionsunit.h"
#include "tools/saverpak/Commands.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using tool_test::ListJson;

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
    EXPECT_NE(table.str().find("picture 0 data (preview, JPEG colour 40 x 30, length"),
              std::string::npos)
        << table.str();
    EXPECT_NE(table.str().find("picture 1 data (logo, BMP 8-bit 16 x 8, length"), std::string::npos)
        << table.str();
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
    EXPECT_EQ(folder.Read("saver.scr").find("Caf\xE9 \x80"),
              j["settings"]["position"].get<std::size_t>() + 300);

    ExtractFromSaver(out, ExtractKind::Module, 0, folder.Path("module-copy.exe"));
    EXPECT_EQ(folder.Read("module-copy.exe"), program);
    ExtractFromSaver(out, ExtractKind::Picture, 0, folder.Path("photo-copy.jpg"));
    EXPECT_EQ(folder.Read("photo-copy.jpg"), jpeg);
    EXPECT_EQ(ErrorOf([&] { ExtractFromSaver(out, ExtractKind::Module, 1, folder.Path("x")); }),
              out +
                  ": module 1 is external (C:\\\\Programs\\\\Leave\\\\leave.exe); the container "
                  "holds no program for it");
    EXPECT_NE(ErrorOf([&] {
                  ExtractFromSaver(out, ExtractKind::Picture, 2, folder.Path("x"));
              }).find("has no picture 2 (it has 2)"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] {
                  ExtractFromSaver(out, ExtractKind::Picture, 0, out);
              }).find("is the saver file"),
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
    const std::string out = folder.Path("Acme Christmas.scr"),
                      again = folder.Path("again/Acme Christmas.scr");
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
    EXPECT_EQ(saver["icons"],
              json::parse(R"([{"width":16,"height":16,"bits":32},{"width":32,"height":32,"bits":32},
                                             {"width":256,"height":256,"bits":32}])"));
    std::ostringstream table;
    ListSaver(out, false, table);
    EXPECT_NE(
        table.str().find("saver \"Снег Christmas\", version 1.2.3.0, icon 16x16 (32 bits), 32x32"),
        std::string::npos)
        << table.str();
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

TEST(SaverpakBuild, AcceptsExactlyThePicturesTheSaverShows) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    const std::string manifest = folder.Write("saver.toml", "[[picture]]\nfile = \"p.bmp\"\n");
    auto with = [](std::string b, std::size_t at, std::uint32_t v) {
        return b.replace(at, 4, Le32Bytes(v));
    };
    auto rle8 = [&](const std::string& data) {  // 4 x 2
        return with(with(BmpBytes(4, 2, 0, 8), 30, 1), 34, std::uint32_t(data.size()))
                   .substr(0, 1078) +
               data;
    };
    const std::pair<std::string, bool> cases[] = {
        {BmpBytes(21844, 2, 0, 8), true},
        {BmpBytes(21845, 2, 0, 8), false},
        {BmpBytes(21845, 2, 0, 1), false},
        {BmpBytes(21845, 1), false},
        {with(BmpBytes(4, 2), 34, 26) + std::string(2, '\0'), true},  // image size counts padding
        {with(BmpBytes(4, 2), 34, 26), true},                         // the padding is not there
        {with(rle8(std::string("\2\5\0\1", 4)), 34, 0), false},       // RLE without image size
        {rle8(std::string("\11\1\0\1", 4)), false},                   // a run past the block
        {rle8(std::string("\2\5\0\0\1\6\0\0\0\1", 10)), true},  // a line end after the last row
    };
    for (const auto& [bytes, shown] : cases) {
        SCOPED_TRACE(bytes.size());
        const std::string picture = folder.Write("p.bmp", bytes);
        ssPicture saver;
        EXPECT_EQ(ErrorOf([&] {
                      saver.Load(picture.c_str());
                      saver.Resize(RECT{0, 0, 152, 112});
                      if (saver.IncreaseColorDepth() != 0) throw std::runtime_error("depth");
                  }).empty(),
                  shown);
        const std::string error =
            ErrorOf([&] { BuildSaver(folder.Path("stub.scr"), manifest, folder.Path("out.scr")); });
        EXPECT_EQ(error.empty(), shown) << error;
        EXPECT_EQ(error.find("picture 0") != std::string::npos &&
                      error.find(picture) != std::string::npos,
                  !shown);
    }
}

}  // namespace
