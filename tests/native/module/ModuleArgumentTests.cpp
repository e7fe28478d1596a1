#include <gtest/gtest.h>

#include <filesystem>
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

TEST(SetFileArgs, RaisesAndRecordsNothingWhenTheFileCannotBeWritten) {
    TestFolder folder;
    std::string tooLong(600, 'x');
    struct Case {
        const char* what;
        std::string modulePath;
        std::string text;
    } cases[] = {
        {"a folder that does not exist", folder.Path("missing") + "/Snow.exe", "x"},
        {"a text longer than the record holds", folder.Path("Snow.exe"), tooLong},
        {"a path too long with its extension", folder.Path(std::string(260, 'p')), "x"},
#ifndef _WIN32
        // A disk that takes no bytes: the file is created but the write fails.
        {"a full disk", folder.Path("Full.exe"), "SS_Sound=1&SS_Music=0&SS_Days=30"},
#endif
    };
#ifndef _WIN32
    std::filesystem::create_symlink("/dev/full", folder.Path("Full.cfg"));
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ssModule runner;
        try {
            runner.SetFileArgs(c.modulePath.c_str(), c.text.c_str());
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Error creating argument file.");
        }
        // What the run did not write is not its to delete at the end.
        EXPECT_STREQ(runner.ArgumentPath(), "");
    }
}

}  // namespace
