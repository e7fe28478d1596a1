#include <gtest/gtest.h>

#include <string>

#include "TestFolder.h"
#include "package/ssModule.h"

namespace {

TEST(DaysToNextChristmas, CountsWholeDaysToTheNext25December) {
    EXPECT_EQ(DaysToNextChristmas(2026, 12, 25), 0);
    EXPECT_EQ(DaysToNextChristmas(2026, 12, 24), 1);
    EXPECT_EQ(DaysToNextChristmas(2026, 11, 25), 30);
    EXPECT_EQ(DaysToNextChristmas(2026, 1, 1), 358);
    EXPECT_EQ(DaysToNextChristmas(2026, 12, 26), 364);  // to 25 December of the next year
    EXPECT_EQ(DaysToNextChristmas(2027, 12, 26), 365);  // 2028 is a leap year
    EXPECT_EQ(DaysToNextChristmas(2028, 2, 29), 300);
    EXPECT_EQ(DaysToNextChristmas(2026, 12, 31), 359);
}

TEST(ModuleArgumentText, HasTheExactFormAndOnlyDigitsZeroToTwo) {
    EXPECT_EQ(ModuleArgumentText(1, 0, 30), "SS_Sound=1&SS_Music=0&SS_Days=30");
    EXPECT_EQ(ModuleArgumentText(2, 2, 0), "SS_Sound=2&SS_Music=2&SS_Days=0");
    EXPECT_EQ(ModuleArgumentText(-1, 7, 364), "SS_Sound=0&SS_Music=0&SS_Days=364");
}

std::string ArgumentPathOf(const char* modulePath) {
    char out[kPathSize];
    EXPECT_TRUE(ArgumentFilePath(modulePath, out, sizeof out));
    return out;
}

TEST(ArgumentFilePath, ReplacesFromTheLastDotOfTheWholePath) {
    EXPECT_EQ(ArgumentPathOf("C:\\TEMP\\SHOW.EXE"), "C:\\TEMP\\SHOW.cfg");
    EXPECT_EQ(ArgumentPathOf("C:\\TEMP\\SHOW"), "C:\\TEMP\\SHOW.cfg");
    EXPECT_EQ(ArgumentPathOf("C:\\A.B\\SHOW"), "C:\\A.cfg");
    EXPECT_EQ(ArgumentPathOf("x.tar.exe"), "x.tar.cfg");

    std::string longPath(256, 'a');
    char out[kPathSize];
    EXPECT_FALSE(ArgumentFilePath(longPath.c_str(), out, sizeof out));  // 260 with ".cfg"
    longPath.pop_back();
    EXPECT_TRUE(ArgumentFilePath(longPath.c_str(), out, sizeof out));
}

TEST(SetFileArgs, WritesExactlyTheTextBesideTheModule) {
    TestFolder folder;
    std::string module = folder.Path("Snow.exe");
    ssModule runner;
    runner.SetFileArgs(module.c_str(), "SS_Sound=1&SS_Music=0&SS_Days=30");
    EXPECT_EQ(folder.Read("Snow.cfg"), "SS_Sound=1&SS_Music=0&SS_Days=30");
    EXPECT_EQ(std::string(runner.ArgumentPath()), folder.Path("Snow.cfg"));
    EXPECT_STREQ(runner.ArgumentText(), "SS_Sound=1&SS_Music=0&SS_Days=30");
}

TEST(SetFileArgs, OverwritesAReadOnlyFileLeftByAnEarlierRun) {
    TestFolder folder;
    std::string old = folder.Write("Snow.cfg", "an old and much longer argument text");
    SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_READONLY);
    ssModule runner;
    runner.SetFileArgs(folder.Path("Snow.exe").c_str(), "SS_Sound=0&SS_Music=0&SS_Days=1");
    EXPECT_EQ(folder.Read("Snow.cfg"), "SS_Sound=0&SS_Music=0&SS_Days=1");
}

TEST(SetFileArgs, RaisesWhenTheFileCannotBeCreated) {
    TestFolder folder;
    ssModule runner;
    try {
        runner.SetFileArgs(folder.Path("missing\\Snow.exe").c_str(), "x");
        runner.SetFileArgs(folder.Path("missing/Snow.exe").c_str(), "x");
        FAIL() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Error creating argument file.");
    }
    std::string tooLong(600, 'x');
    EXPECT_THROW(runner.SetFileArgs(folder.Path("Snow.exe").c_str(), tooLong.c_str()),
                 std::runtime_error);
}

}  // namespace
