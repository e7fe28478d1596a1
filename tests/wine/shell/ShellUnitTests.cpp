// In-process checks of the shell: the command line with real window handles, the ".ini" path,
// the application's title from the settings, the close-saver dialog answered by a helper thread
// and the error line. The framework's own checks are in tests/wine/framework/, the settings' in
// tests/wine/preview/, and the password and desktop services' in PasswordTests.cpp.
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
#include "presentation/DataUnit.h"
#include "shell/SaverServices.h"
#include "shell/ScreensaverUnit.h"
#include "support/Path.h"
#include "tests/wine/UnitTestHelpers.h"

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
