#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "TestFolder.h"
#include "support/File.h"
#include "support/Path.h"

namespace {

struct Split {
    std::string directory, name;
};

Split SplitOf(const char* path) {
    char directory[kPathSize], name[kPathSize];
    EXPECT_TRUE(SplitPath(path, directory, sizeof directory, name, sizeof name));
    return {directory, name};
}

std::string Join(const char* directory, const char* name) {
    char out[kPathSize];
    EXPECT_TRUE(JoinPath(out, sizeof out, directory, name));
    return out;
}

TEST(SplitPath, SplitsAtTheLastSeparatorOfAnyKind) {
    EXPECT_EQ(SplitOf("C:\\dir\\file.scr").directory, "C:\\dir");
    EXPECT_EQ(SplitOf("C:\\dir\\file.scr").name, "file.scr");
    EXPECT_EQ(SplitOf("file.scr").directory, "");
    EXPECT_EQ(SplitOf("file.scr").name, "file.scr");
    EXPECT_EQ(SplitOf("C:file").directory, "C");
    EXPECT_EQ(SplitOf("C:file").name, "file");
    EXPECT_EQ(SplitOf("a/b\\c:d").directory, "a/b\\c");
    EXPECT_EQ(SplitOf("C:\\dir\\").name, "");

    char name[kPathSize];
    EXPECT_TRUE(SplitPath("x\\y", nullptr, 0, name, sizeof name));  // either side may be left out
    EXPECT_STREQ(name, "y");
}

TEST(SplitPath, RefusesWhatDoesNotFit) {
    char directory[4], name[4];
    EXPECT_FALSE(SplitPath("C:\\dir\\file.scr", directory, sizeof directory, name, sizeof name));
    EXPECT_STREQ(directory, "");
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(SplitPath("abc\\xyz", directory, sizeof directory, name, sizeof name));
    EXPECT_STREQ(name, "xyz");
}

TEST(JoinPath, InsertsABackslashOnlyWhereNeeded) {
    EXPECT_EQ(Join("C:\\Temp\\", "x.exe"), "C:\\Temp\\x.exe");
    EXPECT_EQ(Join("C:\\Temp", "x.exe"), "C:\\Temp\\x.exe");
    EXPECT_EQ(Join("C:", "x.exe"), "C:x.exe");
    EXPECT_EQ(Join("/tmp/", "x.exe"), "/tmp/x.exe");
    EXPECT_EQ(Join("", "x.exe"), "x.exe");
    EXPECT_EQ(Join(nullptr, "x.exe"), "x.exe");
    EXPECT_EQ(Join("C", "x.exe"), "Cx.exe");
    EXPECT_EQ(Join("C:\\Temp", nullptr), "C:\\Temp");
}

// The limit is the system's 260 characters, not bytes: in UTF-8 (the saver's code page) a
// Cyrillic or CJK letter takes two or three bytes.
TEST(JoinPath, RefusesAResultOf260CharactersOrMore) {
    std::string snow;
    for (int i = 0; i < 250; ++i) snow += "\u96EA";  // 雪, three bytes each
    for (const std::string& directory : {std::string(250, 'd'), snow}) {
        char out[kPathSize];
        std::memset(out, 'x', sizeof out);
        EXPECT_TRUE(JoinPath(out, sizeof out, directory.c_str(), "12345678"));  // 259 characters
        EXPECT_EQ(out, directory + "\\12345678");
        EXPECT_FALSE(JoinPath(out, sizeof out, directory.c_str(), "123456789"));
        EXPECT_STREQ(out, "");
    }
}

TEST(JoinPath, MayWriteOverItsOwnDirectory) {
    char buffer[kPathSize] = "C:\\Temp";
    EXPECT_TRUE(JoinPath(buffer, sizeof buffer, buffer, "x.exe"));
    EXPECT_STREQ(buffer, "C:\\Temp\\x.exe");
}

// The one extension rule of the ".ini" file beside the saver and the ".cfg" beside a module.
TEST(ReplaceExtension, ReplacesOnlyTheLastComponentsExtension) {
    struct Case {
        const char* path;
        const char* extension;
        const char* expected;
    } cases[] = {
        {"C:\\WINDOWS\\SAVER.SCR", ".ini", "C:\\WINDOWS\\SAVER.ini"},
        {"C:\\TEMP\\SHOW", ".cfg", "C:\\TEMP\\SHOW.cfg"},
        {"x.tar.exe", ".cfg", "x.tar.cfg"},
        {"SHOW", ".cfg", "SHOW.cfg"},
        // A dot in a folder name is not the extension's: the file stays in its folder.
        {"C:\\A.B\\SAVER", ".ini", "C:\\A.B\\SAVER.ini"},
        {"C:\\Users\\john.smith\\AppData\\Local\\Temp\\Snow", ".cfg",
         "C:\\Users\\john.smith\\AppData\\Local\\Temp\\Snow.cfg"},
        {"C:\\Users\\JOHN~1.SMI\\AppData\\Local\\Temp\\pak1F.tmp", ".cfg",
         "C:\\Users\\JOHN~1.SMI\\AppData\\Local\\Temp\\pak1F.cfg"},
        {"/home/a.b/show", ".cfg", "/home/a.b/show.cfg"},
        {"C:.x", ".cfg", "C:.cfg"},
        {"a.b:show", ".cfg", "a.b:show.cfg"},
    };
    for (const Case& c : cases) {
        char out[kPathSize];
        EXPECT_TRUE(ReplaceExtension(out, sizeof out, c.path, c.extension)) << c.path;
        EXPECT_STREQ(out, c.expected);
    }

    char same[16] = "x.tar.exe";
    EXPECT_TRUE(ReplaceExtension(same, sizeof same, same, ".cfg"));  // in place
    EXPECT_STREQ(same, "x.tar.cfg");

    char small[9];
    EXPECT_TRUE(ReplaceExtension(small, sizeof small, "abcd.exe", ".cfg"));  // 8 and the zero
    EXPECT_FALSE(ReplaceExtension(small, sizeof small, "abcde.exe", ".cfg"));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(ReplaceExtension(small, sizeof small, "a.b\\abcd", ".cfg"));  // appended: 12
    EXPECT_FALSE(ReplaceExtension(small, sizeof small, nullptr, ".cfg"));
}

TEST(FindLongFileName, GivesTheNameOfAnExistingFile) {
    TestFolder folder;
    std::string path = folder.Write("a long file name.scr", "MZ");
    char out[kPathSize];
    EXPECT_TRUE(FindLongFileName(out, sizeof out, path.c_str()));
    EXPECT_STREQ(out, "a long file name.scr");
}

// A name of 87 characters in 253 bytes of UTF-8. On Windows a name of up to 255 such letters
// (765 bytes) outgrows the 260 bytes of a narrow find record; a Linux file system under Wine
// holds no name above 255 bytes, so this is as near as a test here comes.
TEST(FindLongFileName, GivesALongNameOfAnyLetters) {
    TestFolder folder;
    std::string name;
    for (int i = 0; i < 83; ++i) name += "\xE9\x9B\xAA";  // 雪
    name += ".scr";
    // Made through the system's own calls: the test folder's paths take the C library's
    // conversion, which need not be UTF-8.
    std::string path = folder.Path() + "/" + name;
    cFile file;
    ASSERT_EQ(file.Create(path.c_str(), FILE_ATTRIBUTE_NORMAL, 0), 0);
    file.Close();
    char out[kPathSize];
    EXPECT_TRUE(FindLongFileName(out, sizeof out, path.c_str()));
    EXPECT_EQ(out, name);
}

TEST(FindLongFileName, LeavesAMissingPathUnchanged) {
    TestFolder folder;
    std::string path = folder.Path("absent.scr");
    char out[kPathSize];
    EXPECT_FALSE(FindLongFileName(out, sizeof out, path.c_str()));
    EXPECT_EQ(out, path);
    EXPECT_FALSE(FindLongFileName(out, sizeof out, folder.Path().c_str()));  // folders never match
}

TEST(cFileSearch, MatchesFilesByAttributeMaskAndSkipsFolders) {
    TestFolder folder;
    folder.Write("one.txt", "1");
    folder.Write("two.txt", "22");
    folder.Write("other.bin", "333");
    std::filesystem::create_directory(folder.Path("sub.txt"));

    cFileSearch search;
    std::string pattern = folder.Path("*.txt");
    int files = 0;
    for (bool found = search.FindFirst(kLongNameSearchMask, pattern.c_str()); found;
         found = search.FindNext()) {
        std::string name = search.Name;
        EXPECT_TRUE(name == "one.txt" || name == "two.txt") << name;
        EXPECT_EQ(search.SizeLow, name == "one.txt" ? 1u : 2u);
        EXPECT_NE(search.LastWriteTime, 0u);
        ++files;
    }
    EXPECT_EQ(files, 2);
    EXPECT_FALSE(search.FindNext());

    EXPECT_TRUE(search.FindFirst(FILE_ATTRIBUTE_DIRECTORY, pattern.c_str()));
    EXPECT_STREQ(search.Name, "sub.txt");
    EXPECT_FALSE(search.FindFirst(0, pattern.c_str()));  // an empty mask matches nothing
    search.EndFind();
    EXPECT_FALSE(search.FindNext());
}

}  // namespace
