// In-process checks of the framework the saver's windows stand on: the thread, the registry,
// forms and their close actions, the timer, the dialog keys, and messages naming windows that
// are not ours.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "framework/Application.h"
#include "framework/Buttons.h"
#include "framework/Form.h"
#include "framework/Panel.h"
#include "framework/Registry.h"
#include "framework/Thread.h"
#include "framework/Timer.h"
#include "support/Handles.h"
#include "tests/wine/UnitTestHelpers.h"

namespace {

class CountingThread : public fw::TThread {
public:
    explicit CountingThread(bool suspended) : fw::TThread(suspended) { AfterConstruction(); }
    ~CountingThread() override {
        Terminate();
        WaitFor();
    }
    std::atomic<int> Loops{0};

protected:
    void Execute() override {
        while (!Terminated()) {
            ++Loops;
            ::Sleep(1);
        }
        ReturnValue = 42;
    }
};

}  // namespace

TEST(Framework, ThreadRunsUntilTerminated) {
    CountingThread thread(false);
    while (thread.Loops == 0) ::Sleep(1);
    thread.Terminate();
    EXPECT_EQ(thread.WaitFor(), 42u);
    EXPECT_TRUE(thread.Finished());
    CountingThread suspended(true);
    EXPECT_EQ(suspended.Loops, 0);
    // Destroyed without ever being started: it must not hang.
}

TEST(Framework, RegistryReadsOnlyIntegersAsIntegers) {
    ScratchKey key("Software\\Saverpak Tests\\Registry");
    fw::TRegistry registry(HKEY_CURRENT_USER);
    EXPECT_FALSE(registry.OpenKeyReadOnly("\\" + key.Path()));
    ASSERT_TRUE(registry.OpenKey("\\" + key.Path(), true));
    registry.WriteInteger("Number", -5);
    EXPECT_TRUE(registry.ValueExists("Number"));
    EXPECT_FALSE(registry.ValueExists("Missing"));
    EXPECT_EQ(registry.ReadInteger("Number"), -5);
    EXPECT_THROW(registry.ReadInteger("Missing"), fw::ERegistryException);
    key.SetBytes("Text", REG_SZ, "abc", 4);
    try {
        registry.ReadInteger("Text");
        FAIL() << "a text read as an integer";
    } catch (const fw::ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Text'");
    }
    key.SetBytes("Long", REG_SZ, "a longer text", 14);
    EXPECT_THROW(registry.ReadInteger("Long"), fw::ERegistryException);
}

TEST(Framework, CloseActionNoneKeepsTheMainFormAndTheLoop) {
    fw::TApplication application;
    application.Initialize();
    fw::TFormDescription description;
    auto* form = application.CreateForm<fw::TForm>(description);
    int shows = 0, closes = 0;
    form->OnShow = [&](fw::TObject*) { ++shows; };
    form->OnClose = [&](fw::TObject*, fw::TCloseAction& action) {
        if (++closes == 1) action = fw::caNone;
    };
    form->Show();
    form->Show();
    EXPECT_EQ(shows, 1);
    ::SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(application.Terminated());
    ::SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(application.Terminated());
    EXPECT_EQ(closes, 2);
}

TEST(Framework, TimerFiresThroughTheMessageLoop) {
    fw::TApplication application;
    application.Initialize();
    MSG stale;  // a quit left by an earlier test's application would end this loop at once
    while (::PeekMessageA(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    fw::TTimer timer(nullptr, 10, true);
    int ticks = 0;
    timer.OnTimer = [&](fw::TObject*) {
        if (++ticks == 3) application.Terminate();
    };
    DWORD start = ::GetTickCount();
    while (!application.Terminated() && ::GetTickCount() - start < 5000) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        application.ProcessMessages();
    }
    EXPECT_EQ(ticks, 3);
    timer.SetEnabled(false);
}

TEST(Framework, EnterAndEscapeClickTheDefaultAndCancelButtons) {
    fw::TApplication application;
    application.Initialize();
    fw::TFormDescription description;
    description.BorderStyle = fw::bsDialog;
    auto* form = application.CreateForm<fw::TForm>(description);
    auto* panel = new fw::TPanel(form, form);
    panel->SetAlign(fw::alRight);
    panel->SetBounds(0, 0, 115, 0);
    auto* ok = new fw::TButton(form, panel);
    auto* cancel = new fw::TButton(form, panel);
    ok->Default = true;
    cancel->Cancel = true;
    int oks = 0, cancels = 0;
    ok->OnClick = [&](fw::TObject*) { ++oks; };
    cancel->OnClick = [&](fw::TObject*) { ++cancels; };
    ::SendMessageA(form->Handle(), WM_COMMAND, IDOK, 0);
    ::SendMessageA(form->Handle(), WM_COMMAND, IDCANCEL, 0);
    ::SendMessageA(form->Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(oks, 1);
    EXPECT_EQ(cancels, 2);
    // A click on the button itself arrives at its parent from the button's window.
    ::SendMessageA(panel->Handle(), WM_COMMAND,
                   MAKEWPARAM(::GetDlgCtrlID(ok->Handle()), BN_CLICKED),
                   reinterpret_cast<LPARAM>(ok->Handle()));
    EXPECT_EQ(oks, 2);
    // The panel is aligned to the right edge of the client area, full height, its design width
    // scaled to the form's DPI.
    RECT client = form->ClientRect();
    EXPECT_EQ(panel->Left(), client.right - panel->Scale(115));
    EXPECT_EQ(panel->Height(), client.bottom);
}

TEST(Framework, ForeignWindowsInControlMessagesAreNotOurs) {
    // A window of another program whose user data is no control of ours: the messages that
    // name a control by its window must leave it alone.
    fw::TApplication application;
    application.Initialize();
    fw::TFormDescription description;
    auto* form = application.CreateForm<fw::TForm>(description);
    auto* button = new fw::TButton(form, form);
    int clicks = 0;
    button->OnClick = [&](fw::TObject*) { ++clicks; };
    TestWindow foreign;
    ::SetWindowLongPtrA(foreign.Get(), GWLP_USERDATA, 0x10);
    LPARAM from = reinterpret_cast<LPARAM>(foreign.Get());
    ::SendMessageA(form->Handle(), WM_COMMAND,
                   MAKEWPARAM(::GetDlgCtrlID(button->Handle()), BN_CLICKED), from);
    ScopedWindowDC dc(form->Handle());
    EXPECT_EQ(
        ::SendMessageA(form->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()), from),
        ::DefWindowProcA(form->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()),
                         from));
    ::SendMessageA(form->Handle(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc.Get()), from);
    ::SendMessageA(form->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(foreign.Get()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(clicks, 0);
    // Its own button still counts.
    ::SendMessageA(form->Handle(), WM_COMMAND,
                   MAKEWPARAM(::GetDlgCtrlID(button->Handle()), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button->Handle()));
    EXPECT_EQ(clicks, 1);
}

TEST(Framework, KeysInAnotherProgramsDialogAreNotItsDialogKeys) {
    // A preview's host may be another program's dialog box. Our windows inside it (attached as
    // a preview attaches them) keep their keys: an Escape is not that dialog's Cancel.
    std::string probe = "\"" + ModuleFolder(nullptr) + "\\shell_probe.exe\" host none 10000 dialog";
    STARTUPINFOA startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(::CreateProcessA(nullptr, probe.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &process));
    UniqueHandle probeProcess(process.hProcess), probeThread(process.hThread);
    HWND dialog = nullptr;
    for (DWORD start = ::GetTickCount(); !dialog && ::GetTickCount() - start < 5000;) {
        dialog = ::FindWindowA("#32770", "Probe Host");
        if (!dialog) ::Sleep(10);
    }
    ASSERT_TRUE(dialog);
    fw::TApplication application;
    application.Initialize();
    HWND window = application.Handle();
    ::SetParent(window, dialog);
    ::SetWindowLongA(window, GWL_STYLE, WS_CHILD | WS_DISABLED);
    MSG stale;
    while (::PeekMessageA(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    ::PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    application.ProcessMessages();
    EXPECT_TRUE(::IsWindow(dialog)) << "our Escape closed the other program's dialog";
    ::SetParent(window, nullptr);
    ::TerminateProcess(probeProcess.Get(), 0);
}
