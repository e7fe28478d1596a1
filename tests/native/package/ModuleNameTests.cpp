#include <gtest/gtest.h>

#include <string>

#include "package/ModuleName.h"

namespace {

TEST(ModuleName, PlainFileNamesAreAccepted) {
    for (const char* name :
         {"show.exe", "a", "My Show 2.exe", "CONSOLE.exe", "COM10.exe", "nul-less.exe", "LPT.exe",
          "x.y.z", "cfg", "x.cfg.exe", "\xE9t\xE9.exe", "con-game.exe"}) {
        EXPECT_EQ(ModuleNameProblem(name), nullptr) << name;
    }
    EXPECT_EQ(ModuleNameProblem(std::string(255, 'n')), nullptr);
}

TEST(ModuleName, AnythingThatCouldLeaveTheFolderOrOpenADeviceIsRefused) {
    const char* refused[] = {
        "",
        "..",
        ".",
        "..\\x.exe",
        "../x.exe",
        "a\\b.exe",
        "a/b.exe",
        "C:x.exe",
        "x.exe:stream",
        "\\\\?\\C:\\x.exe",
        "\\\\.\\PhysicalDrive0",
        "a..b",
        " x.exe",
        "x.exe ",
        ".x",
        "x.",
        "a<b",
        "a>b",
        "a\"b",
        "a|b",
        "a?b",
        "a*b",
        "tab\there",
        "new\nline",
        "CON",
        "con",
        "PRN.txt",
        "aux.tar.gz",
        "NUL",
        "Nul.exe",
        "COM1",
        "com9.exe",
        "LPT1",
        "lpt9.dat",
        "COM0",
        "CONIN$",
        "conout$.txt",
        "CON .txt",
        "COM\xB9",
        "show.cfg",
        "SHOW.CFG",
        "x.exe.Cfg",  // the argument file would overwrite the program
    };
    for (const char* name : refused) EXPECT_NE(ModuleNameProblem(name), nullptr) << name;
    EXPECT_NE(ModuleNameProblem(std::string("a\0b", 3)), nullptr);
    EXPECT_NE(ModuleNameProblem(std::string(256, 'n')), nullptr);
    // An external program path: Windows opens "x.cfg. " as "x.cfg".
    EXPECT_TRUE(IsArgumentFileName("C:\\Show\\x.Cfg. "));
    EXPECT_FALSE(IsArgumentFileName("C:\\x.cfg\\show.exe"));
}

}  // namespace
