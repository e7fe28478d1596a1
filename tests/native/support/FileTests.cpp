#include <gtest/gtest.h>

#include <string>

#include "TestFolder.h"
#include "support/File.h"

namespace {

TEST(cFile, ReadsShortThenEndOfFile) {
    TestFolder folder;
    std::string path = folder.Write("five.bin", "12345");
    cFile file;
    ASSERT_EQ(file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ), 0);
    char buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 8), 5u);
    EXPECT_EQ(file.GetError(), 0);  // a short read is not an error
    EXPECT_EQ(std::string(buffer, 5), "12345");
    EXPECT_EQ(file.Read(buffer, 8), 0u);
    EXPECT_EQ(file.GetError(), ERR_END_OF_FILE);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_FALSE(file.IsOpen());
}

TEST(cFile, SeeksAndTellsPositions) {
    TestFolder folder;
    std::string path = folder.Write("data.bin", std::string(200, 'a'));
    cFile file;
    ASSERT_EQ(file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ), 0);
    file.SetError(ERR_SYNTAX);
    EXPECT_EQ(file.Seek(100, FILE_BEGIN), 100);
    EXPECT_EQ(file.GetError(), ERR_SYNTAX);  // a good seek leaves the code alone
    EXPECT_EQ(file.Seek(-8, FILE_END), 192);
    EXPECT_EQ(file.Seek(3, FILE_CURRENT), 195);
    EXPECT_EQ(file.Tell(), 195);
    EXPECT_EQ(file.Seek(300, FILE_BEGIN), 300);  // past the end is a valid position
    char c;
    EXPECT_EQ(file.Read(&c, 1), 0u);
    EXPECT_EQ(file.GetError(), ERR_END_OF_FILE);

    file.SetError(0);
    file.Seek(-1, FILE_BEGIN);  // before the start: refused by the system
    EXPECT_NE(file.GetError(), 0);
    EXPECT_FALSE(file.IsOwnError());
    EXPECT_EQ(file.Tell(), 300);  // and the position stays
    file.Close();
}

TEST(cFile, ClosedFilesFailWithoutTouchingTheSystem) {
    cFile file;
    EXPECT_EQ(file.Close(), 0);  // never opened
    EXPECT_EQ(file.Seek(10, FILE_BEGIN), -1);
    EXPECT_EQ(file.GetError(), ERR_INVALID_FORMAT);
    char c;
    EXPECT_EQ(file.Read(&c, 1), 0u);
    EXPECT_EQ(file.GetError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(file.Write(&c, 1), 0u);
    EXPECT_EQ(file.GetError(), ERROR_INVALID_HANDLE);
}

TEST(cFile, ReportsTheSystemCodesOfFailedOpens) {
    TestFolder folder;
    cFile file;
    EXPECT_EQ(file.Open(folder.Path("missing.bin").c_str(), GENERIC_READ, FILE_SHARE_READ),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Open(folder.Path("nowhere/x.bin").c_str(), GENERIC_READ, FILE_SHARE_READ),
              ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(file.Create(folder.Path("nowhere/x.bin").c_str(), FILE_ATTRIBUTE_NORMAL, 0),
              ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(file.Open(folder.Path().c_str(), GENERIC_READ, FILE_SHARE_READ), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(file.IsOpen());
}

TEST(cFile, WritingNeedsWriteAccess) {
    TestFolder folder;
    std::string path = folder.Write("ro.bin", "abc");
    cFile file;
    ASSERT_EQ(file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ), 0);
    EXPECT_EQ(file.Write("x", 1), 0u);
    EXPECT_EQ(file.GetError(), ERROR_ACCESS_DENIED);
    file.Close();
    EXPECT_EQ(folder.Read("ro.bin"), "abc");
}

TEST(cFile, CreateTruncatesAndWrites) {
    TestFolder folder;
    std::string path = folder.Write("out.bin", "old contents that are long");
    cFile file;
    ASSERT_EQ(file.Create(path.c_str(), FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ), 0);
    EXPECT_EQ(file.Write("new", 3), 3u);
    EXPECT_EQ(file.GetError(), 0);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_EQ(folder.Read("out.bin"), "new");
}

class CopyTest : public ::testing::Test {
protected:
    std::string MakeSource(std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
        sourcePath = folder.Write("source.bin", bytes);
        return bytes;
    }
    void OpenBoth() {
        ASSERT_EQ(source.Open(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ), 0);
        ASSERT_EQ(target.Create(folder.Path("target.bin").c_str(), FILE_ATTRIBUTE_NORMAL,
                                FILE_SHARE_READ),
                  0);
    }
    void TearDown() override {
        source.Close();
        target.Close();
    }
    TestFolder folder;
    std::string sourcePath;
    cFile source, target;
};

TEST_F(CopyTest, CopiesAcrossManyChunksFromTheCurrentPosition) {
    std::string bytes = MakeSource(3 * 8192 + 100);
    OpenBoth();
    source.Seek(50, FILE_BEGIN);
    EXPECT_EQ(source.CopyTo(target, 3 * 8192 + 40), 0);
    target.Close();
    EXPECT_EQ(folder.Read("target.bin"), bytes.substr(50, 3 * 8192 + 40));
}

TEST_F(CopyTest, ASourceThatEndsEarlyCopiesWholeChunksAndReportsEndOfFile) {
    struct Case {
        std::size_t size;
        DWORD asked;
    } cases[] = {
        {8192 + 10, 3 * 8192},   // a middle chunk comes up short
        {8192 + 10, 8192 + 20},  // the last chunk does
        {8192, 8192 + 1},
        {5, 6},  // the only chunk does
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        std::string bytes = MakeSource(c.size);
        OpenBoth();
        EXPECT_EQ(source.CopyTo(target, c.asked), ERR_END_OF_FILE);
        source.Close();
        target.Close();
        // A chunk read only in part is not written.
        EXPECT_EQ(folder.Read("target.bin"), bytes.substr(0, c.size / 8192 * 8192));
    }
}

TEST_F(CopyTest, AFailingDestinationStopsTheCopyWithItsCode) {
    MakeSource(100);
    ASSERT_EQ(source.Open(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ), 0);
    ASSERT_EQ(target.Open(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), 0);
    EXPECT_EQ(source.CopyTo(target, 100), ERROR_ACCESS_DENIED);
}

TEST_F(CopyTest, NothingToCopySucceeds) {
    MakeSource(10);
    OpenBoth();
    EXPECT_EQ(source.CopyTo(target, 0), 0);
}

}  // namespace
