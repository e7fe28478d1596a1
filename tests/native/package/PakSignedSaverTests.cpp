// Savers signed with Authenticode: where the container ends, and certificate tables refused.
#include <gtest/gtest.h>

#include <string>

#include "PeImage.h"
#include "RawPak.h"
#include "TestFolder.h"
#include "package/kwPak.h"

namespace {

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
            .ModuleTableOffset = pak.Table({module}),
            .ModuleCount = 1,
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
            EXPECT_EQ(
                ErrorOf([&] { pak.ReadDword(static_cast<std::int32_t>(pak.ContainerEnd())); }),
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
         withEntry(signedBytes, saver.index,
                   static_cast<std::uint32_t>(signedBytes.size()) - saver.index),
         "Invalid header in module file. " + path},
        // A table inside the file (a stub signed before its content was appended) keeps the
        // container after it; records inside it are refused.
        {"over the container's records", withEntry(saver.bytes, stub, saver.index + 8 - stub),
         readError},
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

}  // namespace
