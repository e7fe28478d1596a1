// sdk/saverpak_module.h, the module author's reader of the argument file, against the saver's
// own writer: every file the saver writes reads back whole, and anything else gives the saver's
// defaults.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestFolder.h"
#include "package/ssModule.h"
#include "saverpak_module.h"

namespace {

int TodaysDays() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return DaysToNextChristmas(now.wYear, now.wMonth, now.wDay);
}

std::wstring Wide(const std::string& path) { return std::filesystem::path(path).wstring(); }

TEST(ModuleHeader, ReadsEveryArgumentFileTheSaverWrites) {
    TestFolder folder;
    std::filesystem::create_directories(folder.Path("john.smith"));
    // The names the saver runs modules under: with an extension, without one in a dotted
    // folder, a unique "pak" name, and dots inside the name.
    const std::string names[] = {"Snow.exe", "john.smith\\Snow", "pak1A2B.tmp", "Snow.fall.exe"};
    int index = 0;
    for (int sound = 0; sound <= 2; ++sound) {
        for (int music = 0; music <= 2; ++music) {
            for (int days : {0, 1, 30, 364, 365}) {
                const std::string module = folder.Path(names[index++ % 4]);
                SCOPED_TRACE(module + " " + ModuleArgumentText(sound, music, days));
                ssModule writer;
                writer.SetFileArgs(module.c_str(), ModuleArgumentText(sound, music, days).c_str());
                SaverpakArguments read;
                EXPECT_TRUE(SaverpakReadArgumentsOf(Wide(module).c_str(), &read));
                EXPECT_EQ(read.sound, sound);
                EXPECT_EQ(read.music, music);
                EXPECT_EQ(read.days, days);
                EXPECT_EQ(read.defaulted, 0u);
                WCHAR path[SAVERPAK_PATH_MAX];
                ASSERT_TRUE(
                    SaverpakArgumentFilePath(Wide(module).c_str(), path, SAVERPAK_PATH_MAX));
                EXPECT_EQ(std::wstring(path), Wide(writer.ArgumentPath()));
            }
        }
    }
}

TEST(ModuleHeader, GivesTheSaverDefaultsForWhatTheFileDoesNotGive) {
    TestFolder folder;
    const std::string valid = "SS_Sound=2&SS_Music=1&SS_Days=42";
    std::string garbage;
    for (unsigned i = 0, x = 7; i < 300; ++i)
        garbage += static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
    const unsigned all = SAVERPAK_DEFAULTED_ALL;
    struct Case {
        const char* what;
        std::string text;        // "-" for no file at all
        int sound, music, days;  // -1: the default
        unsigned defaulted;
    } cases[] = {
        {"no file", "-", -1, -1, -1, all},
        {"an empty file", "", -1, -1, -1, all},
        {"cut short in a key", "SS_Sound=1&SS_Mu", 1, -1, -1,
         SAVERPAK_DEFAULTED_MUSIC | SAVERPAK_DEFAULTED_DAYS},
        {"cut short after a key", "SS_Sound=2&SS_Music=1&SS_Days=", 2, 1, -1,
         SAVERPAK_DEFAULTED_DAYS},
        {"the longest text the saver writes",
         valid + "&" + std::string(511 - valid.size() - 1, 'x'), 2, 1, 42, 0},
        {"one byte longer than the saver writes",
         valid + "&" + std::string(511 - valid.size(), 'x'), -1, -1, -1, all},
        {"a megabyte", valid + std::string(1 << 20, '&'), -1, -1, -1, all},
        {"garbage", garbage, -1, -1, -1, all},
        {"NUL bytes in place of digits", std::string("SS_Sound=\0&SS_Music=\0&SS_Days=\0", 32), -1,
         -1, -1, all},
        {"values out of range", "SS_Sound=3&SS_Music=-1&SS_Days=366", -1, -1, -1, all},
        {"a number too long for any integer",
         "SS_Sound=0&SS_Music=0&SS_Days=99999999999999999999999", 0, 0, -1,
         SAVERPAK_DEFAULTED_DAYS},
        {"signs, spaces and hexadecimal", "SS_Sound= 1&SS_Music=0x1&SS_Days=+5", -1, -1, -1, all},
        {"a line end after the text", valid + "\r\n", 2, 1, -1, SAVERPAK_DEFAULTED_DAYS},
        {"keys in lower case", "ss_sound=1&ss_music=1&ss_days=1", -1, -1, -1, all},
        {"another order and a key of a later saver", "SS_Days=7&SS_Later=9&SS_Music=2&SS_Sound=1",
         1, 2, 7, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(folder.Path("Snow.cfg"));
        if (c.text != "-") folder.Write("Snow.cfg", c.text);
        const int before = TodaysDays();
        SaverpakArguments read;
        EXPECT_EQ(SaverpakReadArgumentsOf(Wide(folder.Path("Snow.exe")).c_str(), &read) != FALSE,
                  c.defaulted == 0);
        const int after = TodaysDays();  // the date may change between the two
        EXPECT_EQ(read.sound, c.sound < 0 ? 0 : c.sound);
        EXPECT_EQ(read.music, c.music < 0 ? 0 : c.music);
        if (c.days >= 0) {
            EXPECT_EQ(read.days, c.days);
        } else {
            EXPECT_TRUE(read.days == before || read.days == after) << read.days;
        }
        EXPECT_EQ(read.defaulted, c.defaulted);
    }
    // A folder where the file should be.
    std::filesystem::remove(folder.Path("Snow.cfg"));
    std::filesystem::create_directories(folder.Path("Snow.cfg"));
    SaverpakArguments read;
    EXPECT_FALSE(SaverpakReadArgumentsOf(Wide(folder.Path("Snow.exe")).c_str(), &read));
    EXPECT_EQ(read.defaulted, all);
}

TEST(ModuleHeader, CountsDaysAsTheSaverDoes) {
    // Every day of a common and a leap year, late in the day: the time of day plays no part.
    SYSTEMTIME day = {2027, 1, 0, 1, 23, 59, 59, 999};
    ULARGE_INTEGER time;
    for (FILETIME file; day.wYear <= 2028; FileTimeToSystemTime(&file, &day)) {
        ASSERT_EQ(SaverpakDaysToChristmas(&day),
                  DaysToNextChristmas(day.wYear, day.wMonth, day.wDay))
            << day.wYear << "-" << day.wMonth << "-" << day.wDay;
        ASSERT_TRUE(SystemTimeToFileTime(&day, &file));
        time = {{file.dwLowDateTime, file.dwHighDateTime}};
        time.QuadPart += 864000000000ULL;
        file = {time.LowPart, time.HighPart};
    }
}

TEST(ModuleHeader, GivesTheSaversPathFromTheEnvironment) {
    const std::wstring saver = L"C:\\Мария 雪\\My Pictures Saver.scr";
    WCHAR path[SAVERPAK_PATH_MAX];
    ASSERT_TRUE(SetEnvironmentVariableW(L"SAVERPAK_SAVER", saver.c_str()));
    EXPECT_TRUE(SaverpakSaverPath(path, SAVERPAK_PATH_MAX));
    EXPECT_EQ(std::wstring(path), saver);
    EXPECT_TRUE(SaverpakSaverPath(path, saver.size() + 1));
    EXPECT_FALSE(SaverpakSaverPath(path, saver.size()));  // no room for the NUL
    EXPECT_FALSE(SaverpakSaverPath(path, 0));
    ASSERT_TRUE(SetEnvironmentVariableW(L"SAVERPAK_SAVER", nullptr));
    EXPECT_FALSE(SaverpakSaverPath(path, SAVERPAK_PATH_MAX));
}

// The one call, in a program of C run from a folder and under a name of letters no ANSI code
// page holds all of, with the argument file the saver's writer put beside it.
TEST(ModuleHeader, FindsTheFileBesideAProgramInAFolderOfAnyLetters) {
    TestFolder folder;
    WCHAR self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::filesystem::path probe =
        std::filesystem::path(self).parent_path() / L"ArgumentsProbe.exe";
    const std::filesystem::path where =
        std::filesystem::path(Wide(folder.Path())) / L"Мария 雪 Ωμέγα";
    std::filesystem::create_directories(where);
    const std::filesystem::path program = where / L"Снег.exe";
    std::filesystem::copy_file(probe, program);
    struct Case {
        const char* text;  // nullptr: no argument file
        DWORD expected;
    } cases[] = {
        {"SS_Sound=2&SS_Music=1&SS_Days=42", 2 + 10 * 1 + 100 * 42},
        {nullptr, 100 * static_cast<DWORD>(TodaysDays()) + 100000 * SAVERPAK_DEFAULTED_ALL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "no file");
        ssModule writer;
        // The saver's writer takes the path in the code page of the UTF-8 manifest.
        if (c.text)
            writer.SetFileArgs(reinterpret_cast<const char*>(program.u8string().c_str()), c.text);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::wstring command = L"\"" + program.wstring() + L"\"";
        ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
        DWORD code = 0;
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(code, c.expected);
        writer.Terminate(0);  // deletes the argument file
    }
}

}  // namespace
