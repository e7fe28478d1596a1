// What a build refuses in a manifest, and that it then leaves the output alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SaverInputs.h"
#include "TestFolder.h"
#include "ToolRun.h"
#include "tools/saverpak/Commands.h"

namespace fs = std::filesystem;

namespace {

using tool_test::Listing;

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
    std::filesystem::create_directories(folder.Path("empty"));
    folder.Write("empty/notes.txt", "no pictures here");
    folder.Write("Slideshow.exe", ProgramBytes(100));  // beside the stub
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
        keys21 += "[[key]]\nkey = " + std::to_string(0x41 + i) +
                  "\nfunction = \"exit-and-leave-running\"\n";
    std::string entries33;
    for (int i = 0; i < 33; ++i)
        entries33 += "[[key]]\nkey = \"F1\"\nfunction = \"exit-and-leave-running\"\n";

    const std::string kShow = "[[module]]\nfile = \"show.exe\"\n";
    struct Case {
        std::string manifest;
        std::string expected;  // part of the message
        std::string stub = "stub.scr";
    };
    const Case cases[] = {
        {"[[module]]\nfile = \"show.exe\"\nnmae = \"x\"\n", "module 0: unknown entry 'nmae'"},
        {"[[module]]\nname = \"x.exe\"\n", "module 0: 'file' is required"},
        {"[[module]]\nfile = \"absent.exe\"\n",
         "cannot open the module " + folder.Path("absent.exe") + ": there is no such file"},
        {"[[module]]\nfile = \"C:\\Snow\\show.exe\"\n",
         "escape. Write a Windows path in single quotes, 'C:\\Snow\\show.exe', or with /"},
        {"[[module]]\nfile = \"bin\\new.exe\"\n",
         "module 0: 'file' holds a line break, tab or other control character"},
        {"[[module]]\nexternal = true\nname = \"C:\\new\\tools.exe\"\n",
         "'name' holds a line break"},
        {"\xFF\xFE[", "saver.toml: the manifest is UTF-16 text; save it as UTF-8"},
        {std::string("[\0[\0", 4), "saver.toml: the manifest is UTF-16 text; save it as UTF-8"},
        {"[[module]]\nfiel = \"show.exe\"\n",
         "saver.toml:2:1: module 0: unknown entry 'fiel'; did you mean 'file'?"},
        {"# Schnee\n[settings]\ncaption = \"f\xFCr\"\n",
         "saver.toml:3:13: the manifest is not UTF-8 text (byte 0xFC"},
        {"[[module]]\nfile = \"text.exe\"\n",
         "text.exe is not a Windows program (.exe file); give the program itself, not a shortcut"},
        {"[[module]]\nfile = \"show.exe\"\nname = '..\\evil.exe'\n",
         "'name' contains a path separator"},
        {"[[module]]\nfile = \"show.exe\"\nname = \"NUL.exe\"\n",
         "'name' is a reserved device name"},
        {"[[module]]\nexternal = true\n", "an external module needs 'name'"},
        {"[[module]]\nexternal = true\nfile = \"show.exe\"\nname = \"C:\\\\x.exe\"\n",
         "names its program with 'name'"},
        {"[[module]]\nexternal = true\nname = 'C:\\Show\\show.CFG'\n", "'name' ends in \".cfg\""},
        {"[[module]]\nfile = \"show.exe\"\narg-method = 256\n",
         "'arg-method' must be an integer from 0 to 255"},
        {kShow + "[[picture]]\nfile = \"text.png\"\n", "not a picture the tool knows"},
        {kShow + "[[picture]]\nfile = \"deep.bmp\"\n", "1, 4, 8, 16, 24 or 32 bits"},
        {kShow + "[[picture]]\nfile = \"gap.bmp\"\n", "ends before its pixel data"},
        {kShow + "[[picture]]\nfile = \"cut.bmp\"\n", "ends before its pixel data"},
        {kShow + "[[picture]]\nfile = \"core.bmp\"\n", "runs past the file"},
        {kShow + "[[picture]]\nfile = \"fake.jpg\"\n", "JPEG does not decode"},
        {"[settings]\nlink = \"" + std::string(300, 'l') + "\"\n",
         "'link' is longer than 299 characters"},
        {"[settings]\ncaption = \"" + std::string(256, 'c') + "\"\n",
         "'caption' is longer than 255 characters"},
        {"[settings]\ncaption = \"\\u4e2d\"\n", "Windows-1252"},
        {"[settings]\nlink = \"a\\u0000b\"\n", "zero character"},
        {"[settings]\nmusic = \"yes\"\n", "'music' must be true or false"},
        {"[settings]\nmusic = 2\n", "'music' must be true or false"},
        {keys21, "at most 20 distinct keys; the manifest has 21"},
        {entries33, "at most 32 key entries; the manifest has 33"},
        {"[[key]]\nkey = \"Hyper\"\nfunction = \"exit-and-leave-running\"\n",
         "unknown key name 'Hyper'"},
        {"[[key]]\nkey = 0\nfunction = \"exit-and-leave-running\"\n", "code must be from 1 to 254"},
        {"[[key]]\nkey = \"F1\"\nfunction = \"shell-execute\"\n", "needs a 'command'"},
        {"[[key]]\nkey = \"F1\"\nfunction = \"run\"\n", "'function' must be"},
        {"[[module]\n", "saver.toml:1:"},
        {"stub = \"x\"\n", "unknown entry 'stub'"},
        {"[[picture]]\nfile = \"good.bmp\"\n[settings]\nmusic = true\n",
         "the manifest names nothing to show: add [slideshow]"},
        {"[slideshow]\npictures = [\"good.bmp\"]\n[[module]]\nfile = \"show.exe\"\n",
         "[slideshow] and [[module]] do not go together"},
        {"[slideshow]\npictures = []\n", "slideshow: 'pictures' is empty"},
        {"[slideshow]\nseconds = 8\n", "'pictures' is required"},
        {"[slideshow]\npictures = [\"good.bmp\"]\nseconds = 1\n",
         "'seconds' must be a whole number from 2 to 3600"},
        {"[slideshow]\npictures = [\"good.bmp\"]\norder = \"random\"\n",
         "'order' must be \"in-turn\" or \"shuffle\""},
        {"[slideshow]\npictures = [\"good.bmp\"]\nmonitors = \"all\"\n",
         "'monitors' must be \"each\" or \"span\" or \"primary\""},
        {"[slideshow]\npictures = [\"absent.jpg\"]\n", "cannot find the picture"},
        {"[slideshow]\npictures = [\"empty\"]\n", "holds no pictures (PNG, JPEG or BMP)"},
        {"[slideshow]\npictures = [\"good.bmp\", \"deep.bmp\"]\n",
         "picture 3: " + folder.Path("deep.bmp")},

        {"[saver]\nnmae = \"x\"\n", "saver: unknown entry 'nmae'"},
        {"saver = \"x\"\n", "saver: must be a table"},
        {"[saver]\nname = 1\n", "'name' must be a string"},
        {"[saver]\nname = \"\"\n", "'name' is empty"},
        {"[saver]\ncompany = \"" + std::string(256, 'c') + "\"\n",
         "'company' is longer than 255 characters"},
        {"[saver]\ndescription = \"a\\tb\"\n", "'description' contains a control character"},
        {"[saver]\ncopyright = \"a\\u0085b\"\n", "'copyright' contains a control character"},
        {"[saver]\nversion = \"1.2\"\n", "'version' must be a string such as \"1.2.3\""},
        {"[saver]\nversion = \"1.2.3.65536\"\n", "'version' must be"},
        {"[saver]\nversion = 1.2\n", "'version' must be"},
        {kShow + "[saver]\nicon = \"absent.ico\"\n", "cannot open the icon "},
        {kShow + "[saver]\nicon = \"text.ico\"\n",
         "text.ico is not an icon file (.ico), nor a picture the tool makes one from"},
        {kShow + "[saver]\nicon = \"cut.ico\"\n", "image 0 lies outside the file"},
        {kShow + "[saver]\nicon = \"wrong.ico\"\n",
         "wrong.ico image 0 (24x16) is a bitmap of another size than the directory says"},
        {"[[module]]\nfile = \"show.exe\"\n",
         "stub " + folder.Path("built.scr") +
             " already holds content: build from the saver program Saverpak.scr",
         "built.scr"},
        {"[[module]]\nfile = \"show.exe\"\n",
         "stub " + folder.Path("program.exe") +
             " is not the saver program (it lacks the saver's marker resource): build from the "
             "saver program Saverpak.scr",
         "program.exe"},
        {"[[module]]\nfile = \"show.exe\"\n", "is not a Windows program the tool can read (",
         "show.exe"},
    };
    std::vector<std::string> before;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manifest.substr(0, 80));
        folder.Write("saver.toml", c.manifest);
        if (before.empty()) before = Listing(folder.Path());
        std::string message =
            ErrorOf([&] { BuildSaver(folder.Path(c.stub), folder.Path("saver.toml"), out); });
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        EXPECT_EQ(folder.Read("saver.scr"), "previous saver");
        EXPECT_EQ(Listing(folder.Path()), before);  // no temporary file left behind
    }

    folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\n");
    folder.Write("plain.scr", "no MZ here");
    EXPECT_NE(ErrorOf([&] {
                  BuildSaver(folder.Path("plain.scr"), folder.Path("saver.toml"), out);
              }).find("is not a Windows program"),
              std::string::npos);
}

}  // namespace
