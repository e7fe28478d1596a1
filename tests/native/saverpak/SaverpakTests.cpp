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

#include "SaverInputs.h"
#include "TestFolder.h"
#include "ToolRun.h"
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

using tool_test::Listing;
using tool_test::ListJson;
using tool_test::RunResult;
using tool_test::RunTool;

TEST(SaverpakCommandLine, ExitCodesMessagesAndHelp) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    folder.Write("show.exe", ProgramBytes(100));
    folder.Write("saver.toml", "[[module]]\nfile = \"show.exe\"\nname = \"show.exe\"\n");
    std::string out = folder.Path("saver.scr");

    RunResult build = RunTool({"build", "--stub", folder.Path("stub.scr"), "--manifest",
                               folder.Path("saver.toml"), "-o", out});
    EXPECT_EQ(build.Code, 0) << build.Err;
    const std::uintmax_t size =
        fs::file_size(out);  // the branded stub, then 741 bytes of container
    EXPECT_EQ(build.Out, "saverpak: wrote " + out + ", " + std::to_string(size) +
                             " bytes: the stub (" + std::to_string(size - 741) +
                             " bytes), 1 module (100 bytes), "
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
    extract = RunTool(
        {"extract", out, "--module", "0", "-o", folder.Path(std::string(251, 'n') + ".exe")});
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
    EXPECT_EQ(RunTool({"buidl", "--stub", "x"})
                  .Err.rfind("saverpak: unknown command 'buidl'; did you mean build?\n", 0),
              0u);
    EXPECT_EQ(RunTool({"help", "lsit"})
                  .Err.rfind("saverpak: unknown command 'lsit'; did you mean list?\n", 0),
              0u);
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
        SCOPED_TRACE(args.empty() ? "(nothing)"
                                  : args[0] + " " + (args.size() > 1 ? args.back() : ""));
        EXPECT_EQ(r.Code, 2);
        EXPECT_EQ(r.Err.rfind("saverpak: ", 0), 0u) << r.Err;
        EXPECT_NE(r.Err.find("\nusage: saverpak build|list|verify|extract"), std::string::npos)
            << r.Err;
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
        {{"verify", stub},
         stub + " is not a saver with content: it has no container at its end (saverpak build "
                "makes one "
                "from the saver program Saverpak.scr and a manifest)"},
        {{"list", cut}, "Error reading module file. " + cut},
        {{"verify", index}, "File is corrupt, invalid record size in PakIndex. " + index},
        {{"list", "--json", absent}, "cannot open " + absent + ": there is no such file"},
        {{"extract", folder.Path(), "--module", "0", "-o", y},
         "cannot open " + folder.Path() + ": it is a folder"},
        {{"extract", out, "--picture", "0", "-o", y}, out + " has no picture 0 (it has 0)"},
        {{"build", "--stub", stub, "--manifest", absent, "-o", y},
         "cannot open the manifest " + absent},
        {{"build", "--stub", stub, "--manifest", folder.Path(), "-o", y},
         "the manifest " + folder.Path() + " is not a regular file"},
        {{"build", "--stub", stub, "--manifest", big, "-o", y},
         "the manifest " + big + " is larger than 1 MiB"},
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
    for (std::vector<std::string> args :
         {std::vector<std::string>{"list", path},
          {"list", "--json", path},
          {"verify", path},
          {"extract", path, "--module", "0", "-o", folder.Path("x")}}) {
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
        if (child == 0)
            _exit(RunTool({"extract", pipe, "--module", "0", "-o", folder.Path("x.exe")}).Code);
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
        : FKey(folder.Path("key.pem")),
          FCert(folder.Path("cert.pem")),
          FLog(folder.Path("sign.log")) {}

    bool MakeCertificate() const {
        return Run(
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Saverpak-Test "
            "-addext extendedKeyUsage=codeSigning -keyout '" +
            FKey + "' -out '" + FCert + "'");
    }
    bool Sign(const std::string& in, const std::string& out, bool nest = false) const {
        return Run("osslsigncode sign -certs '" + FCert + "' -key '" + FKey +
                   "' -h sha256 -n Saverpak " + (nest ? "-nest " : "") + "-in '" + in + "' -out '" +
                   out + "'");
    }
    bool Verify(const std::string& file) const {
        return Run("osslsigncode verify -CAfile '" + FCert + "' -in '" + file + "'");
    }
    std::string Log() const { return ReadWholeFile(FLog); }

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
        "saver.toml",
        "[settings]\ncaption = \"signed\"\n[[module]]\nfile = \"show.exe\"\nname = \"show.exe\"\n");
    const std::string saver = folder.Path("saver.scr"), signedSaver = folder.Path("signed.scr");
    BuildSaver(stub, manifest, saver);
    const std::string built = folder.Read("saver.scr");
    EXPECT_EQ(ListJson(saver)["signature"], nullptr);

    ASSERT_TRUE(signer.Sign(saver, signedSaver)) << signer.Log();
    EXPECT_TRUE(signer.Verify(signedSaver)) << signer.Log();
    EXPECT_EQ(ErrorOf([&] { VerifySaver(signedSaver); }), "");
    json j = ListJson(signedSaver);
    EXPECT_EQ(j["signature"]["position"], (built.size() + 7) / 8 * 8);
    EXPECT_EQ(j["signature"]["position"].get<std::uint64_t>() +
                  j["signature"]["size"].get<std::uint64_t>(),
              j["fileSize"]);
    EXPECT_EQ(j["trailer"]["position"], built.size() - 8);
    EXPECT_EQ(j["containerSize"], ListJson(saver)["containerSize"]);
    ExtractFromSaver(signedSaver, ExtractKind::Module, 0, folder.Path("copy.exe"));
    EXPECT_EQ(folder.Read("copy.exe"), program);
    std::ostringstream table;
    ListSaver(signedSaver, false, table);
    EXPECT_NE(table.str().find("certificate table (signature, after"), std::string::npos)
        << table.str();

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
    EXPECT_EQ(build.Err.rfind("saverpak: note: the stub " + signedStub + " is signed;", 0), 0u)
        << build.Err;
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
