// In-process checks of the password and desktop services: the desktop's password values in the
// registry, the libraries from the system folder only, the password double's calls, and what
// the hot keys and the running flag do on each platform.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "shell/SaverServices.h"
#include "shell/ScreensaverUnit.h"
#include "support/Handles.h"
#include "support/Path.h"
#include "tests/wine/UnitTestHelpers.h"

namespace {

// The two password values of "Control Panel\Desktop", put back as they were afterwards.
class DesktopPasswordValues {
public:
    DesktopPasswordValues() { Clear(); }
    ~DesktopPasswordValues() { Clear(); }
    void Clear() {
        HKEY key;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueA(key, "ScreenSaverIsSecure");
            ::RegDeleteValueA(key, "ScreenSaveUsePassword");
            ::RegCloseKey(key);
        }
    }
    void SetSecure(const void* data, DWORD size, DWORD type = REG_SZ) {
        ::RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaverIsSecure", type,
                          data, size);
    }
    void SetSecureText(const std::string& text) {
        SetSecure(text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    void SetUsePassword(DWORD value) {
        ::RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword",
                          REG_DWORD, &value, sizeof(value));
    }
};

}  // namespace

// ---- Password and desktop services ----

TEST(Password, ConfiguredFromTheDesktopValues) {
    DesktopPasswordValues values;
    EXPECT_FALSE(IsPasswordConfigured());
    values.SetUsePassword(1);
    EXPECT_TRUE(IsPasswordConfigured());
    values.SetUsePassword(0);
    EXPECT_FALSE(IsPasswordConfigured());
    struct Case {
        std::string secure;
        bool configured;
    } cases[] = {
        {"0", false},
        {"1", true},
        {"", true},
        {"00", true},
        {std::string(31, '1'), true},   // fits the 32-byte buffer with its terminator
        {std::string(32, '1'), false},  // does not: unreadable, taken as "0"
    };
    for (const Case& c : cases) {
        values.SetSecureText(c.secure);
        EXPECT_EQ(IsPasswordConfigured(), c.configured) << "'" << c.secure << "'";
    }
}

TEST(Password, TextWithoutTerminatorIsNeverReadPastTheBuffer) {
    DesktopPasswordValues values;
    char full[32];
    std::memset(full, '1', sizeof(full));  // 32 bytes, no terminator
    values.SetSecure(full, sizeof(full));
    EXPECT_FALSE(IsPasswordConfigured());
    values.SetSecure("0", 1);  // "0" stored without its terminator reads as "0"
    EXPECT_FALSE(IsPasswordConfigured());

    cReg reg;
    ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, "Control Panel", "Desktop"));
    ScopedRegClose closer(reg);
    char buffer[4];
    values.SetSecureText("long text");
    EXPECT_EQ(reg.QueryString("ScreenSaverIsSecure", buffer, sizeof(buffer), "fallback"), 0u);
    EXPECT_STREQ(buffer, "fal");  // the fallback, cut to the buffer
    values.SetSecureText("ab");
    EXPECT_EQ(reg.QueryString("ScreenSaverIsSecure", buffer, sizeof(buffer), "0"), 3u);
    EXPECT_STREQ(buffer, "ab");
}

TEST(Password, RegHolderFallsBackWithoutAKey) {
    cReg reg;
    EXPECT_FALSE(reg.Open(HKEY_CURRENT_USER, "Software\\Saverpak Tests\\No Such Key", ""));
    EXPECT_EQ(reg.QueryDword("Anything", 77u), 77u);
    char buffer[8];
    EXPECT_EQ(reg.QueryString("Anything", buffer, sizeof(buffer), "0"), 0u);
    EXPECT_STREQ(buffer, "0");
    reg.Close();  // closing nothing is harmless
}

TEST(Password, LibrariesComeFromTheSystemFolderOnly) {
    // The test run puts the double into the system folder; the build leaves one beside this
    // program too, which a search by bare name would take first.
    char system[kPathSize];
    ASSERT_GT(::GetSystemDirectoryA(system, sizeof(system)), 0u);
    UniqueLibrary library(LoadSystemLibrary("PASSWORD.CPL"));
    ASSERT_TRUE(library) << "the double is not in " << system;
    EXPECT_EQ(::lstrcmpiA(ModuleFolder(library.Get()).c_str(), system), 0)
        << ModuleFolder(library.Get());
    std::string planted = ModuleFolder(nullptr) + "\\PLANTED.CPL";
    ASSERT_TRUE(
        ::CopyFileA((ModuleFolder(nullptr) + "\\PASSWORD.CPL").c_str(), planted.c_str(), FALSE));
    UniqueLibrary beside(LoadSystemLibrary("PLANTED.CPL"));
    EXPECT_FALSE(beside);
    beside.Reset();
    ::DeleteFileA(planted.c_str());
}

TEST(Password, VerifiedThroughTheLibraryInTheSystemFolder) {
    // The double: wrong, then right.
    ScratchKey calls("Software\\Saverpak Tests\\Password");
    TestWindow owner;
    EXPECT_FALSE(VerifyPassword(owner.Get()));
    EXPECT_TRUE(VerifyPassword(owner.Get()));
    EXPECT_EQ(calls.GetDword("Calls"), 2u);
    EXPECT_EQ(calls.GetDword("CursorShown"), 1u);
    EXPECT_EQ(calls.GetDword("OwnerValid"), 1u);
}

TEST(Password, ChangeAsksForScrsaveWithTheOwner) {
    // The double exports MPR.DLL's change call too and records what it was given.
    ScratchKey calls("Software\\Saverpak Tests\\Password");
    TestWindow owner;
    ChangePasswordThrough("PASSWORD.CPL", owner.Get());
    EXPECT_EQ(calls.GetDword("ChangeCalls"), 1u);
    char provider[32] = {};
    DWORD size = sizeof(provider);
    ::RegGetValueA(HKEY_CURRENT_USER, calls.Path().c_str(), "ChangeProvider", RRF_RT_REG_SZ,
                   nullptr, provider, &size);
    EXPECT_STREQ(provider, "SCRSAVE");
    EXPECT_EQ(calls.GetDword("ChangeOwner"),
              static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(owner.Get())));
    ChangePasswordThrough("NO SUCH LIBRARY.DLL", owner.Get());  // nothing to ask with: no call
    EXPECT_EQ(calls.GetDword("ChangeCalls"), 1u);
}

namespace {
bool gPassword = false, gRunningFlag = false, gDesktop = false;
bool FakePassword() { return gPassword; }
bool FakeRunningFlag() { return gRunningFlag; }
bool FakeDesktop() { return gDesktop; }
}  // namespace

TEST(Password, HotKeysAndSaverRunningByPlatform) {
    struct Case {
        DWORD platform, major;
        bool password, flag, desktop;
        bool running, hotKeys;
    } cases[] = {
        // NT from 5: both a password and the system's saver switch hot keys off.
        {VER_PLATFORM_WIN32_NT, 10, false, false, false, false, true},
        {VER_PLATFORM_WIN32_NT, 10, true, false, false, false, true},  // started by hand
        {VER_PLATFORM_WIN32_NT, 5, false, true, false, true, true},
        {VER_PLATFORM_WIN32_NT, 5, true, true, false, true, false},
        // NT before 5: the "screen-saver" desktop alone decides.
        {VER_PLATFORM_WIN32_NT, 4, false, false, true, true, false},
        {VER_PLATFORM_WIN32_NT, 4, true, true, false, false, true},
        // The other family: the password alone decides; the saver never counts as running.
        {VER_PLATFORM_WIN32_WINDOWS, 4, false, true, true, false, true},
        {VER_PLATFORM_WIN32_WINDOWS, 4, true, false, false, false, false},
    };
    for (const Case& c : cases) {
        gPassword = c.password;
        gRunningFlag = c.flag;
        gDesktop = c.desktop;
        SaverPlatform platform = {c.platform, c.major, FakePassword, FakeRunningFlag, FakeDesktop};
        SCOPED_TRACE(std::to_string(c.platform) + "/" + std::to_string(c.major) + " password " +
                     std::to_string(c.password) + " flag " + std::to_string(c.flag) + " desktop " +
                     std::to_string(c.desktop));
        EXPECT_EQ(IsSystemSaverRunningOn(platform), c.running);
        EXPECT_EQ(HotKeysAllowedOn(platform), c.hotKeys);
    }
}

TEST(Password, SystemSaverRunningFollowsTheFlagHere) {
    DesktopPasswordValues values;
    UINT scratch = 0;
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &scratch, 0);
    EXPECT_TRUE(IsSystemSaverRunning());
    EXPECT_TRUE(HotKeysAllowed());  // no password
    values.SetUsePassword(1);
    EXPECT_FALSE(HotKeysAllowed());
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &scratch, 0);
    EXPECT_FALSE(IsSystemSaverRunning());
    EXPECT_TRUE(HotKeysAllowed());  // a saver started by hand keeps its hot keys
}
