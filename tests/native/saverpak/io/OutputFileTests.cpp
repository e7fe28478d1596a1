// What build and extract never write over or replace, and the container's texts made safe for
// a terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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
using nlohmann::json;

namespace {

using tool_test::Listing;

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

// list and extract show texts from the container, which a hostile saver controls: nothing it
// holds may reach the terminal as a control sequence, nor pass for an escaped byte.
TEST(SaverpakList, EscapesControlCharactersFromTheContainer) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("saver.toml",
                 "[settings]\nlink = \"LLLLLLLLLLLL\"\ncaption = \"CCCCCCCCCCCC\"\n"
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
    EXPECT_NE(table.str().find("link \"" + shown + "\", caption \"" + shown + "\""),
              std::string::npos)
        << table.str();
    EXPECT_NE(table.str().find("command \"" + shown + "\""), std::string::npos) << table.str();
    EXPECT_NE(table.str().find("name \"" + shown + "\""), std::string::npos) << table.str();
    for (char c : table.str())
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    EXPECT_EQ(
        ErrorOf([&] { ExtractFromSaver(out, ExtractKind::Module, 0, folder.Path("x.exe")); }),
        out + ": module 0 is external (" + shown + "); the container holds no program for it");
    std::ostringstream jsonText;
    ListSaver(out, true, jsonText);
    for (char c : jsonText.str())
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    EXPECT_EQ(json::parse(jsonText.str())["settings"]["caption"],
              "\x1B]0;x\x07\u203A\uFFFD\x7F\t\u00E9\\");
}

}  // namespace
