// What a build refuses, and what it never writes over or replaces.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "PeImage.h"
#include "SaverInputs.h"
#include "TestFolder.h"
#include "ToolRun.h"
#include "tools/saverpak/Commands.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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
        {"# Schnee\n[settings]\ncaption = \"f\xFCr\"\n",
         "saver.toml:3:13: the manifest is not UTF-8 text (byte 0xFC"},
        {"[[module]]\nfile = \"text.exe\"\n", "is not a Windows program (no \"MZ\")"},
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
        {"[[picture]]\nfile = \"text.png\"\n", "not a picture the tool knows"},
        {"[[picture]]\nfile = \"deep.bmp\"\n", "1, 4, 8, 16, 24 or 32 bits"},
        {"[[picture]]\nfile = \"gap.bmp\"\n", "ends before its pixel data"},
        {"[[picture]]\nfile = \"cut.bmp\"\n", "ends before its pixel data"},
        {"[[picture]]\nfile = \"core.bmp\"\n", "runs past the file"},
        {"[[picture]]\nfile = \"fake.jpg\"\n", "JPEG does not decode"},
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
        {"[saver]\nicon = \"absent.ico\"\n", "cannot open the icon "},
        {"[saver]\nicon = \"text.ico\"\n", "text.ico is not an icon file (.ico)"},
        {"[saver]\nicon = \"cut.ico\"\n", "image 0 lies outside the file"},
        {"[saver]\nicon = \"wrong.ico\"\n",
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

// What build accepts, the saver shows: build succeeds exactly when the saver's own load, fit
// into the preview and change to 24 bits do; a refusal names the picture.
TEST(SaverpakBuild, NeverWritesOverItsInputs) {
    TestFolder folder;
    std::string stub = folder.Write("stub.scr", StubBytes());
    std::string module = folder.Write("show.exe", ProgramBytes(100));
    folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\n");
    std::string manifest = folder.Path("saver.toml");

    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, stub); }).find("is the stub"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, module); }).find("is the module"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, manifest); }).find("is the manifest"),
              std::string::npos);
    // The same file under another name is caught by identity.
    std::string otherName = folder.Path("same-stub.scr");
    std::error_code linkError;
    fs::create_hard_link(stub, otherName, linkError);
    if (!linkError) {
        EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, otherName); }).find("is the stub"),
                  std::string::npos);
    }
    std::string dotted = (fs::path(folder.Path()) / "." / "stub.scr").string();
    EXPECT_NE(ErrorOf([&] { BuildSaver(stub, manifest, dotted); }).find("is the stub"),
              std::string::npos);
    EXPECT_EQ(folder.Read("stub.scr"), StubBytes());
    EXPECT_EQ(folder.Read("show.exe"), ProgramBytes(100));

    // A good build replaces an existing output whole.
    std::string out = folder.Write("saver.scr", "previous saver");
    BuildSaver(stub, manifest, out);
    VerifySaver(out);
    EXPECT_EQ(folder.Read("saver.scr").substr(4096, StubBytes().size() - 4096),
              StubBytes().substr(4096));
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
        {folder.Path("none") + "/x.scr", "the folder " + folder.Path("none") + " does not exist",
         ""},
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
                if (extract)
                    ExtractFromSaver(saver, ExtractKind::Module, 0, c.output);
                else
                    BuildSaver(stub, manifest, c.output);
            });
            if (!c.refused.empty()) {
                EXPECT_NE(error.find(c.refused), std::string::npos) << error;
                EXPECT_EQ(Listing(folder.Path()), before);
                continue;
            }
            EXPECT_EQ(error, "");
            EXPECT_TRUE(fs::is_symlink(c.output));
            // The saver is named (in its version resource) by the output as given.
            const std::string named =
                folder.Path("by-name/") + fs::path(c.output).filename().string();
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

}  // namespace
