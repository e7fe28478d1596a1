// How build brands a saver: its author's name, version and icon in the stub's resources, and
// a signed stub or saver read as it should be.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "PeImage.h"
#include "SaverInputs.h"
#include "TestFolder.h"
#include "ToolRun.h"
#include "tools/saverpak/Commands.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using tool_test::ListJson;
using tool_test::RunResult;
using tool_test::RunTool;

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

#ifndef _WIN32
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
