// In-process checks of the shell: the command line with real window handles, the ".ini"
// path, the password and desktop services against the registry and a password double, the
// application's title from the settings, the close-saver dialog answered by a helper thread and
// the error line. The framework's own checks are in tests/wine/framework/, the settings' in
// tests/wine/preview/.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "framework/Application.h"
#include "framework/Dpi.h"
#include "framework/Form.h"
#include "support/Handles.h"
#include "presentation/DataUnit.h"
#include "shell/SaverServices.h"
#include "shell/ScreensaverUnit.h"
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

// ---- Command line ----

TEST(CommandLine, SwitchLetterAndWindowHandle) {
    TestWindow window;
    const std::string h = window.Number();
    HWND hw = window.Get();
    struct Case {
        std::string line;
        std::uint8_t mode;
        HWND parent;
    } cases[] = {
        {"/s", smRun, nullptr},
        {"-S", smRun, nullptr},
        {"s", smRun, nullptr},
        {"   /s", smRun, nullptr},
        {"/save", smRun, nullptr},
        {"\t/s", smConfigure, nullptr},  // a tab is not skipped: it is the letter
        {"//s", smConfigure, nullptr},   // one slash only
        {"", smConfigure, nullptr},
        {"/x", smConfigure, nullptr},
        {"/p " + h, smPreview, hw},
        {"/p:" + h, smPreview, hw},
        {"/P" + h, smPreview, hw},
        {"/l " + h, smPreview, hw},
        {"/p : " + h, smPreview, nullptr},  // the colon must come first
        {"/p:\t " + h + "junk", smPreview, hw},
        {"/preview " + h, smPreview, nullptr},  // 'r' reads as no number
        {"/p 987654321", smPreview, nullptr},   // no such window
        {"/p 99999999999999999999", smPreview, nullptr},
        {"/p -" + h, smPreview, nullptr},
        {"/p", smPreview, nullptr},
        {"/a " + h, smChangePassword, hw},
        {"/a", smChangePassword, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("command line '" + c.line + "'");
        EXPECT_EQ(ParseCommandLine(c.line.c_str()), c.mode);
        EXPECT_EQ(SaverMode, c.mode);
        EXPECT_EQ(ParentWindow, c.parent);
        EXPECT_EQ(StartForeground, ::GetForegroundWindow());
    }
}

TEST(CommandLine, ConfigureTakesTheForegroundWindowAndIgnoresTheNumber) {
    TestWindow window;
    for (std::string line : {std::string("/c"), "/c:" + window.Number(), std::string("/configure"),
                             std::string("C 1234")}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(ParseCommandLine(line.c_str()), smConfigure);
        EXPECT_EQ(ParentWindow, ::GetForegroundWindow());
    }
}

TEST(CommandLine, RunningFlagOnlyInFullScreenRun) {
    UINT scratch = 0, running = 0;
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &scratch, 0);
    for (const char* line : {"/p 1", "/c", "/a 1"}) {
        ParseCommandLine(line);
        BeginSaverRun();
        ::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
        EXPECT_EQ(running, 0u) << line;
        EndSaverRun();
    }
    ParseCommandLine("/s");
    BeginSaverRun();
    ::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    EXPECT_NE(running, 0u);
    EndSaverRun();
    ::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    EXPECT_EQ(running, 0u);
}

// ---- The ".ini" file ----

// The extension rule itself is ReplaceExtension's (tested with the path helpers); here only
// that the ".ini" file takes it.
TEST(IniFile, PathBesideTheProgram) {
    char out[kPathSize];
    ASSERT_TRUE(IniPathFor("C:\\A.B\\My.Night.scr", out, sizeof(out)));
    EXPECT_STREQ(out, "C:\\A.B\\My.Night.ini");
}

TEST(IniFile, WritesBesideTheProgramAndDeletes) {
    char path[kPathSize];
    ASSERT_TRUE(IniFileName(path));
    std::string name = path;
    ASSERT_GE(name.size(), 4u);
    EXPECT_EQ(name.substr(name.size() - 4), ".ini");
    ::DeleteFileA(path);
    char value[64];
    WriteIniString("ShellExecute", "Command", "https://example.invalid/");
    ::GetPrivateProfileStringA("ShellExecute", "Command", "", value, sizeof(value), path);
    EXPECT_STREQ(value, "https://example.invalid/");
    WriteIniString("ShellExecute", "ShellExecute", "text");
    WriteIniString("ShellExecute", "Command", nullptr);  // the key goes
    ::GetPrivateProfileStringA("ShellExecute", "Command", "gone", value, sizeof(value), path);
    EXPECT_STREQ(value, "gone");
    WriteIniString("ShellExecute", nullptr, nullptr);  // the section goes
    ::GetPrivateProfileStringA("ShellExecute", "ShellExecute", "gone", value, sizeof(value), path);
    EXPECT_STREQ(value, "gone");
    ::DeleteFileA(path);
}

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
    ASSERT_TRUE(::CopyFileA((ModuleFolder(nullptr) + "\\PASSWORD.CPL").c_str(), planted.c_str(),
                            FALSE));
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

// ---- Settings ----

TEST(Settings, TitleFromTheProgramsLongName) {
    fw::TApplication application;
    application.Initialize();
    application.SetTitle(kDefaultTitle);
    auto* settings = new TScreensaverSettings(&application);
    EXPECT_EQ(ScreensaverSettings, settings);
    EXPECT_STREQ(settings->BaseName(), "shell_unit_tests");
    EXPECT_EQ(application.Title(), "shell_unit_tests Screen Saver");
    char caption[128] = {};
    ::GetWindowTextA(application.Handle(), caption, sizeof(caption));
    EXPECT_STREQ(caption, "shell_unit_tests Screen Saver");
}

// ---- Close-saver dialog ----

namespace {

// Answers the confirmation box from another thread: finds it by its caption, records its
// text, presses the button.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int answer) : FThread([this, answer] { Run(answer); }) {}
    ~BoxAnswerer() { FThread.join(); }
    bool Answered() const { return FAnswered; }
    std::string Text;

private:
    void Run(int answer) {
        for (int i = 0; i < 500 && !FAnswered; ++i) {
            HWND box = ::FindWindowA("#32770", kCloseSaverConfirmationCaption);
            if (box && ::IsWindowVisible(box)) {
                ::EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(this));
                ::PostMessageA(box, WM_COMMAND, answer, 0);
                FAnswered = true;
                return;
            }
            ::Sleep(10);
        }
    }
    static BOOL CALLBACK CollectText(HWND child, LPARAM self) {
        char text[512] = {};
        ::GetWindowTextA(child, text, sizeof(text));
        auto* me = reinterpret_cast<BoxAnswerer*>(self);
        if (std::strlen(text) > me->Text.size()) me->Text = text;
        return TRUE;
    }
    std::atomic<bool> FAnswered{false};
    std::thread FThread;
};

bool ClosePostedTo(HWND owner) {
    MSG msg;
    return ::PeekMessageA(&msg, owner, WM_CLOSE, WM_CLOSE, PM_REMOVE) != 0;
}

}  // namespace

TEST(CloseSaverDialog, ConfirmsBeforeClosingTheOwner) {
    fw::TApplication application;
    application.Initialize();
    application.SetTitle("Night Skies Screen Saver");
    TestWindow owner;
    HWND dialog = CreateCloseSaverDialog(owner.Get());
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_EQ(::GetParent(dialog), nullptr);
    char text[512];
    ::GetWindowTextA(dialog, text, sizeof(text));
    EXPECT_STREQ(text, "Night Skies Screen Saver");
    ::GetDlgItemTextA(dialog, 101, text, sizeof(text));
    EXPECT_EQ(std::string(text).rfind("You have accessed a web site", 0), 0u);
    ::GetDlgItemTextA(dialog, IDOK, text, sizeof(text));
    EXPECT_STREQ(text, "OK");
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongA(dialog, GWL_STYLE)) & 0x90C800C4u, 0x90C800C4u);

    {  // No: nothing changes.
        BoxAnswerer no(IDNO);
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(no.Answered());
        EXPECT_EQ(no.Text, kCloseSaverConfirmation);
    }
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_FALSE(ClosePostedTo(owner.Get()));

    {  // The caption's close button asks the same; Yes closes both.
        BoxAnswerer yes(IDYES);
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        EXPECT_TRUE(yes.Answered());
    }
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_TRUE(ClosePostedTo(owner.Get()));
}

TEST(CloseSaverDialog, OtherCommandsAskNothing) {
    TestWindow owner;
    HWND dialog = CreateCloseSaverDialog(owner.Get());
    ASSERT_NE(dialog, nullptr);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(101, 0), 0);
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_FALSE(ClosePostedTo(owner.Get()));
    ::DestroyWindow(dialog);
}

// ---- The base window ----

namespace {

class ProbeForm : public TScreensaverForm {
public:
    explicit ProbeForm(fw::TComponent* owner) : TScreensaverForm(owner) {}
    void SetPrefix(const char* prefix) { FErrorPrefix = prefix; }
    void Tick() { ErrorTimerTimer(this); }
};

}  // namespace

TEST(ScreensaverForm, ErrorLineText) {
    fw::TApplication application;
    application.Initialize();
    SaverMode = smRun;
    auto* form = application.CreateForm<ProbeForm>();
    form->ShowError(nullptr);
    EXPECT_TRUE(form->ErrorTimer->Enabled());
    EXPECT_EQ(form->ErrorText(), "");
    form->ShowError("Bad thing.");
    EXPECT_EQ(form->ErrorText(), "Bad thing.");
    form->SetPrefix("Night Screen Saver");
    form->ShowError("Bad thing.");
    EXPECT_EQ(form->ErrorText(), "Night Screen Saver: Bad thing.");
    form->ShowError("");
    EXPECT_EQ(form->ErrorText(), "Night Screen Saver: ");
    form->ShowError(nullptr);
    EXPECT_EQ(form->ErrorText(), "Night Screen Saver");
}

TEST(ScreensaverForm, ErrorLineScrollsAndWraps) {
    fw::TApplication application;
    application.Initialize();
    SaverMode = smRun;
    auto* form = application.CreateForm<ProbeForm>();
    form->Handle();
    form->ShowError("Scrolling");
    ErrorScrollX = kErrorScrollNotStarted;
    int width = form->ScreensaverPaintBox->ClientWidth();
    ASSERT_GT(width, 0);
    form->Tick();
    EXPECT_EQ(ErrorScrollX, width - 2);
    form->Tick();
    EXPECT_EQ(ErrorScrollX, width - 4);
    ErrorScrollX = -1000;  // the text has left the window: start again at the right edge
    form->Tick();
    EXPECT_EQ(ErrorScrollX, width);
}

// At the system's DPI, and after a move to a monitor of twice that DPI (WM_DPICHANGED): the
// line's font follows the window's DPI.
TEST(ScreensaverForm, ErrorLineIsDrawnAlongTheTopEdge) {
    for (UINT factor : {1u, 2u}) {
        fw::TApplication application;
        application.Initialize();
        SaverMode = smRun;
        auto* form = application.CreateForm<ProbeForm>();
        form->ScreensaverPaintBox->Font().SetColor(fw::clWhite);
        form->Show();
        const UINT dpi = form->Dpi() * factor;
        if (factor != 1) {
            RECT suggested;
            ::GetWindowRect(form->Handle(), &suggested);
            ::SendMessageA(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                           reinterpret_cast<LPARAM>(&suggested));
        }
        form->ShowError("MMMMMMMM");
        ErrorScrollX = kErrorScrollNotStarted;
        int width = form->ScreensaverPaintBox->ClientWidth();
        for (int i = 0; i < 200; ++i) form->Tick();  // 400 pixels in from the right edge
        HDC dc = form->ScreensaverPaintBox->Canvas().Handle();
        const int line = fw::ScaleForDpi(20, dpi);
        int lit = 0, litBelow = 0, lowest = -1;
        for (int x = width - 400; x < width; ++x) {
            for (int y = 0; y < 2 * line; ++y) {
                // Smoothed glyph edges are grey: anything clearly brighter than the black counts.
                if (GetRValue(::GetPixel(dc, x, y)) <= 96) continue;
                ++(y < line ? lit : litBelow);
                lowest = std::max(lowest, y);
            }
        }
        EXPECT_GT(lit, 50) << dpi;      // the text is there, at the top
        EXPECT_EQ(litBelow, 0) << dpi;  // and only there
        EXPECT_GE(lowest, fw::ScaleForDpi(8, dpi)) << dpi << " DPI: a font for another DPI";
        EXPECT_EQ(::GetPixel(dc, width / 2, 2 * line + 60), RGB(0, 0, 0));
        SaverMode = smConfigure;
    }
}

// What the shipped window leaves to its base; what input does runs on the shipped saver (the
// shell's run_keys scenario, the preview suite's preview_child).
TEST(ScreensaverForm, FullScreenAndPreviewWindows) {
    fw::TApplication application;
    application.Initialize();
    SaverMode = smRun;
    auto* form = application.CreateForm<ProbeForm>();
    form->Show();
    EXPECT_EQ(form->WindowState(), fw::wsMaximized);
    EXPECT_EQ(form->FormStyle(), fw::fsStayOnTop);
    // The form is owned by the application window, so the single-instance search finds it.
    EXPECT_EQ(::GetWindow(form->Handle(), GW_OWNER), application.Handle());
    EXPECT_EQ(::SendMessageA(form->Handle(), WM_NCACTIVATE, 0, 0), 1);

    SaverMode = smPreview;
    ParentWindow = nullptr;
    auto* preview = new ProbeForm(&application);
    EXPECT_FALSE(preview->Enabled());
    SaverMode = smConfigure;
}
