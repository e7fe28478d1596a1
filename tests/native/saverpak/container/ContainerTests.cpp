// The container build writes: its layout, what each manifest table becomes, and what verify
// finds wrong in one.
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

// [slideshow]: a folder's pictures by name (others passed over with a note, hidden ones and
// folders inside silently) and a file; our program as module 0; the settings as the resource
// SLIDESHOW; without [[picture]] entries picture 0 shares the first slide's data block and the
// logo is a small copy of it.
TEST(SaverpakBuild, ASlideshowOfAFolderAndAFile) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("Slideshow.exe", ProgramBytes(5000));
    fs::create_directories(folder.Path("photos/inside"));
    fs::create_directories(folder.Path("extra"));
    folder.Write("photos/b.bmp", BmpBytes(5, 4));
    folder.Write("photos/a.BMP", BmpBytes(4, 4));
    folder.Write("photos/notes.txt", "not a picture");
    folder.Write("photos/.hidden.bmp", "hidden");
    folder.Write("photos/inside/c.bmp", BmpBytes(7, 4));
    folder.Write("extra/e.bmp", BmpBytes(6, 4));
    folder.Write("preview.bmp", BmpBytes(8, 4));
    const std::string slideshow =
        "[slideshow]\npictures = [\"photos\", \"extra/e.bmp\"]\nseconds = 5\nfit = \"fill\"\n"
        "[settings]\nmusic = true\n";
    for (const bool pictures : {false, true}) {
        SCOPED_TRACE(pictures ? "with [[picture]] entries" : "without");
        folder.Write("saver.toml", slideshow + (pictures ? "[[picture]]\nfile = \"preview.bmp\"\n"
                                                           "[[picture]]\nfile = \"preview.bmp\"\n"
                                                         : ""));
        testing::internal::CaptureStderr();
        BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), folder.Path("pics.scr"));
        const std::string notes = testing::internal::GetCapturedStderr();
        EXPECT_NE(notes.find("not pictures, passed over: notes.txt"), std::string::npos) << notes;
        EXPECT_EQ(notes.find("hidden"), std::string::npos) << notes;
        const json j = ListJson(folder.Path("pics.scr"));
        EXPECT_EQ(j["modules"][0]["name"]["text"], "Slideshow.exe");
        EXPECT_EQ(j["modules"][0]["data"]["length"], 5000);
        const json& p = j["pictures"];
        std::vector<int> widths;
        for (const json& picture : p) widths.push_back(picture["width"]);
        // Without a logo, picture 1 is picture 0 fitted into 180 x 135: here its own data block.
        EXPECT_EQ(widths,
                  pictures ? std::vector<int>({8, 8, 4, 5, 6}) : std::vector<int>({4, 4, 4, 5, 6}));
        EXPECT_EQ(p[0]["dataOffset"] == p[1]["dataOffset"], !pictures);
        EXPECT_EQ(j["slideshow"]["first"], 2);
        EXPECT_EQ(j["slideshow"]["count"], 3);
        EXPECT_EQ(j["slideshow"]["seconds"], 5);
        EXPECT_EQ(j["slideshow"]["fit"], "fill");
        EXPECT_EQ(j["settings"]["music"], 0);  // the slideshow is silent: no Music to offer
        EXPECT_EQ(p[1]["role"], "logo");
        EXPECT_EQ(p[2]["role"], "slide");
        EXPECT_EQ(p[0]["dataOffset"] == p[2]["dataOffset"], !pictures);
        VerifySaver(folder.Path("pics.scr"));
    }
    // Named on the command line, the program may lie anywhere.
    fs::rename(folder.Path("Slideshow.exe"), folder.Path("extra/Show.exe"));
    EXPECT_NE(ErrorOf([&] {
                  BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"),
                             folder.Path("pics.scr"));
              }).find("is missing; it comes beside Saverpak.scr, or name it with --slideshow"),
              std::string::npos);
    BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), folder.Path("pics.scr"),
               fs::path(folder.Path("extra/Show.exe")));
    EXPECT_EQ(ListJson(folder.Path("pics.scr"))["modules"][0]["data"]["length"], 5000);
}

TEST(SaverpakVerify, PictureContentMustMatchItsStoredType) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("a.bmp", BmpBytes(8, 8));
    folder.Write("saver.toml",
                 "[[module]]\nexternal = true\nname = \"C:/Show/show.exe\"\n"
                 "[[picture]]\nfile = \"a.bmp\"\n");
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

}  // namespace
