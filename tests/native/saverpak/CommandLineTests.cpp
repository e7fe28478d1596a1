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
#endif

}  // namespace
