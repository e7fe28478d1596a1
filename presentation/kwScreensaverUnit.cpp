#include "presentation/kwScreensaverUnit.h"

#include <mmsystem.h>

#include <stdexcept>

#include "framework/Exception.h"
#include "presentation/DataUnit.h"
#include "presentation/PaintBoxPalette.h"

namespace {

constexpr const char* kBackdropClass = "vntScreensaverBackdrop";
constexpr const char* kInitializeFailure = "Error initializing screen saver.";
constexpr const char* kModuleFailure = "An unknown exception occurred while launching a module.";
constexpr const char* kSoundName = "MusicSound";

fw::TFormDescription PresentationFormDescription() {
    fw::TFormDescription description = ScreensaverFormDescription();
    description.ClassName = "TkwScreensaverForm";
    description.Color = fw::clBlack;
    return description;
}

// Whether `upper` lies above `lower` in the z-order.
bool IsAbove(HWND upper, HWND lower) {
    for (HWND window = GetWindow(lower, GW_HWNDPREV); window;
         window = GetWindow(window, GW_HWNDPREV)) {
        if (window == upper) return true;
    }
    return false;
}

void SetExStyleBit(HWND window, LONG bit, bool on) {
    LONG style = GetWindowLongA(window, GWL_EXSTYLE);
    SetWindowLongA(window, GWL_EXSTYLE, on ? (style | bit) : (style & ~bit));
}

}  // namespace

TkwScreensaverForm::TkwScreensaverForm(fw::TComponent* owner)
    : TScreensaverForm(owner, PresentationFormDescription()) {
    ScreensaverPaintBox->SetFont(fw::TFont("MS Sans Serif", 8, fw::clInfoBk));
    ScreensaverPaintBox->OnPaint = [this](fw::TObject* sender) {
        ScreensaverPaintBoxPaint(sender);
    };
    ItemTimer = new fw::TTimer(this, 100, false);
    ItemTimer->OnTimer = [this](fw::TObject* sender) { ItemTimerTimer(sender); };
    FLeaveModuleRunning = FALSE;
    FErrorPrefix = fw::Application ? fw::Application->Title() : std::string();
    if (FMode == smRun) SetFormStyle(fw::fsStayOnTop);
}

TkwScreensaverForm::~TkwScreensaverForm() {
    EndModuleRun();
    // A form destroyed without closing must still stop its loader before the pictures go.
    StopPicture();
    // A sound still playing is read from the library's code: it stops before that goes.
    if (FSoundLibrary) PlaySaverSound(nullptr, nullptr, 0);
}

void TkwScreensaverForm::Guarded(const char* fallback, const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        ReportFailure(fw::IsOurError(error) ? error.what() : fallback);
    } catch (...) {
        ReportFailure(fallback);
    }
}

template <typename Step>
void TkwScreensaverForm::DuringModuleWait(Step step) {
    struct Scope {
        TkwScreensaverForm& form;
        explicit Scope(TkwScreensaverForm& f) : form(f) { ++form.FModuleWaits; }
        ~Scope() {
            --form.FModuleWaits;
            // A close that waited for the module waits is asked for again once they are over.
            if (!form.FCloseDeferred) return;
            if (form.AnswerClose(CloseCause::kRequest) == CloseAnswer::kLater) return;
            form.FCloseDeferred = false;
            if (HWND window = form.HandleIfCreated()) PostMessageA(window, WM_CLOSE, 0, 0);
        }
    } scope(*this);
    step();
}

void TkwScreensaverForm::FormShow(fw::TObject* sender) {
    Guarded(kInitializeFailure, [&] {
        TScreensaverForm::FormShow(sender);
        FPak.Bind();
        FState = kStateStarting;
        ItemTimer->SetInterval(50);
        ItemTimer->SetEnabled(true);
    });
}

void TkwScreensaverForm::ItemTimerTimer(fw::TObject*) {
    if (FClosing) return;
    switch (FState) {
        case kStateLoadingPicture:
            if (FLoader && FLoader->IsBusy()) break;
            if (FLoader && FLoader->Failed()) {
                // The loader keeps the error that ended it; a failed load ends the sequence
                // (nothing is shown in a preview) instead of playing the sound over nothing.
                ReportFailure(FLoader->ErrorMessage());
                break;
            }
            Advance();
            break;
        case kStateModuleRunning:
            if (ModuleRunning()) {
                KeepModuleInFront();
            } else {
                Advance();
            }
            break;
        default:
            Advance();
            break;
    }
}

void TkwScreensaverForm::Advance() {
    switch (FState) {
        case kStateLoadingPicture:
            ShowPicture();
            if (FMode == smPreview) {
                FState = kStateSoundPending;
                ItemTimer->SetInterval(50);
            } else {
                ItemTimer->SetEnabled(false);
            }
            break;
        case kStateSoundPending:
            PlaySaverSound(kSoundName, GetModuleHandleA(nullptr),
                           SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
            ItemTimer->SetEnabled(false);
            break;
        default:
            if (FState == kStateModuleRunning) {
                ClearTransparent();
                StopPointerWatch();
            }
            ItemTimer->SetEnabled(false);
            StartContent();
            break;
    }
}

void TkwScreensaverForm::StartContent() {
    if (FMode == smPreview) {
        LoadPicture();
    } else {
        RunModule();
    }
}

void TkwScreensaverForm::RunModule() {
    Guarded(kModuleFailure, [&] {
        auto modules = FPak.ModuleTable();
        if (modules.empty())
            throw std::runtime_error("File is corrupt. The container holds no module.");
        StopPointerWatch();  // extraction may take long
        // A module that ends again and again must not pile up copies in the temporary folder
        // (an unnamed one gets a new name each time).
        FModule.RemoveExtractedFiles();
        FModule.Extract(FPak, static_cast<std::int32_t>(modules[0]));
        if (!FBackdrop) CreateBackdrop();
        SetExStyleBit(Handle(), WS_EX_TRANSPARENT, true);
        FModule.SetFileArgs(FModule.ModulePath(), BuildModuleQuery().c_str());
        DuringModuleWait([&] { FModule.Run(FModule.ModulePath(), Handle(), FModule.Flags()); });
        // The module's window now lies above ours: keys still come here through the shared
        // input state and the focus, the pointer through the hook.
        StartPointerWatch();
        ItemTimer->SetInterval(100);
        ItemTimer->SetEnabled(true);
        FState = kStateModuleRunning;
    });
}

std::string TkwScreensaverForm::BuildModuleQuery() const {
    SYSTEMTIME now;
    GetLocalTime(&now);
    int sound = ScreensaverSettings ? ScreensaverSettings->Sound : 0;
    int music = ScreensaverSettings ? ScreensaverSettings->Music : 0;
    return ModuleArgumentText(sound, music, DaysToNextChristmas(now.wYear, now.wMonth, now.wDay));
}

HWND TkwScreensaverForm::CreateBackdrop() {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(Handle(), GWLP_HINSTANCE));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kBackdropClass;
    // A class left registered by an earlier backdrop of this process is just as good.
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;

    // The whole virtual screen, so that no monitor keeps showing the desktop; the saver's
    // window and the module stay on the primary monitor. In the topmost band, or a secondary
    // monitor's taskbar and other stay-on-top windows show through; the saver's window is
    // brought above it, and the module goes above both.
    FBackdrop.Reset(CreateWindowExA(
        WS_EX_TOPMOST, kBackdropClass, "", WS_POPUP | WS_VISIBLE | WS_DISABLED | WS_CLIPCHILDREN,
        GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
        GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr,
        nullptr, windowClass.hInstance, nullptr));
    BringWindowToTop(Handle());
    return FBackdrop.Get();
}

void TkwScreensaverForm::KeepModuleInFront() {
    // Keys must come to this window, so it keeps the foreground and the focus; but taking them
    // raises it, and the module's window must stay above it. So the saver takes them back only
    // when it has lost them, and then puts the module's window on top again.
    HWND program = FModule.FollowProgramWindow() ? FModule.ProgramWindow() : nullptr;
    if (GetForegroundWindow() != Handle()) SetForegroundWindow(Handle());
    if (GetFocus() != Handle()) SetFocus(Handle());
    if (program && !IsAbove(program, Handle())) {
        SetWindowPos(program, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void TkwScreensaverForm::StartPointerWatch() { FPointerWatch.Start(Handle(), FMouseOrigin); }

void TkwScreensaverForm::StopPointerWatch() {
    if (!FPointerWatch.Stop()) return;
    // From here the base measures the pointer against the origin again; the origin moves by
    // whatever the module did to the pointer, so that only the user's own movement counts.
    POINT cursor;
    ::GetCursorPos(&cursor);
    const POINT moved = FPointerWatch.Moved();
    FMouseOrigin = {cursor.x - moved.x, cursor.y - moved.y};
}

void TkwScreensaverForm::PointerEvent(WPARAM stepFromCursor, LPARAM point) {
    FPointerWatch.Add(stepFromCursor, point);
    if (AnswerClose(CloseCause::kPointerWatch) != CloseAnswer::kGo) return;
    if (FPointerWatch.MovedBeyond(FMouseThreshold) && !HandleMouseInput(WM_MOUSEMOVE)) Close();
}

void TkwScreensaverForm::ResumeAfterRefusal(bool watched) {
    // What the user moved before the refusal was answered by it.
    FPointerWatch.Forget();
    if (watched) StartPointerWatch();
}

bool TkwScreensaverForm::HandleMouseInput(UINT) { return false; }

void TkwScreensaverForm::StopModule(std::int32_t milliseconds) {
    DuringModuleWait([&] { FModule.Terminate(milliseconds); });
}

bool TkwScreensaverForm::ModuleRunning() {
    bool running = false;
    DuringModuleWait([&] { running = !FModule.Wait(0); });
    return running;
}

void TkwScreensaverForm::ClearTransparent() { SetExStyleBit(Handle(), WS_EX_TRANSPARENT, false); }

void TkwScreensaverForm::ReportFailure(const std::string& text) {
    ItemTimer->SetEnabled(false);
    if (FMode == smPreview) return;
    ClearTransparent();
    ShowError(text.c_str());
}

// Every close is answered here, whatever asks for it:
// - kRequest, a close asked for (WM_CLOSE: the base's input handling, the close-saver dialog's
//   confirmation, another program). Refused while one is under way (the password dialog is up)
//   and while the close-saver dialog shows, whose confirmation closes the saver. One that
//   arrives inside a module wait goes ahead when the wait is over: run now, it would end the
//   module under the wait, and the saver after it.
// - kPointerWatch, the user's movement as the pointer watch adds it up: it may ask for a close
//   only while input counts (no close under way, input not suspended).
// - kCursorMessage, the pointer's message at this window, by which the base would close: while
//   the watch runs the pointer's place says nothing about the user; otherwise the base's own
//   measure goes ahead.
TkwScreensaverForm::CloseAnswer TkwScreensaverForm::AnswerClose(CloseCause cause) const {
    switch (cause) {
        case CloseCause::kCursorMessage:
            return FPointerWatch.Running() ? CloseAnswer::kRefuse : CloseAnswer::kGo;
        case CloseCause::kPointerWatch:
            return FClosing || FSuspendInput ? CloseAnswer::kRefuse : CloseAnswer::kGo;
        case CloseCause::kRequest:
            break;
    }
    if (FClosing) return CloseAnswer::kRefuse;
    if (FModuleWaits > 0) return CloseAnswer::kLater;
    if (FCloseDialog && IsWindowVisible(FCloseDialog)) return CloseAnswer::kRefuse;
    return CloseAnswer::kGo;
}

void TkwScreensaverForm::FormClose(fw::TObject* sender, fw::TCloseAction& action) {
    const CloseAnswer answer = AnswerClose(CloseCause::kRequest);
    if (answer != CloseAnswer::kGo) {
        if (answer == CloseAnswer::kLater) FCloseDeferred = true;
        action = fw::caNone;
        return;
    }
    // The password dialog must get the clicks that the pointer watch would take from it.
    const bool watched = FPointerWatch.Running();
    StopPointerWatch();
    TScreensaverForm::FormClose(sender, action);
    if (action == fw::caNone) {
        ResumeAfterRefusal(watched);
        return;
    }
    try {
        EndModuleRun();
        StopPicture();
        FPak.Unbind();
    } catch (...) {
        // Nothing at close may keep the saver from ending.
    }
}

void TkwScreensaverForm::EndModuleRun() {
    StopPointerWatch();
    if (!FLeaveModuleRunning) {
        StopModule(3000);
        // Only a copy the saver extracted is removed; an External module is the user's.
        FModule.RemoveExtractedFiles();
        FModule.RemoveRunFolder();
    }
    FBackdrop.Reset();
}

void TkwScreensaverForm::WndProc(fw::TMessage& message) {
    switch (message.Msg) {
        case PointerWatch::kPointerEvent:
            PointerEvent(message.WParam, message.LParam);
            return;
        case WM_MOUSEMOVE:
            if (AnswerClose(CloseCause::kCursorMessage) != CloseAnswer::kGo) return;
            break;
        case WM_DESTROY:
            // However the window goes, the module goes with it.
            EndModuleRun();
            break;
        case WM_QUERYNEWPALETTE:
        case WM_PALETTECHANGED:
            RealizePaletteOnMessage(message, HandleIfCreated(), *ScreensaverPaintBox,
                                    FPalette.Get());
            break;
    }
    TScreensaverForm::WndProc(message);
}

fw::TForm* CreatePresentationForm(fw::TApplication& application) {
    return application.CreateForm<TkwScreensaverForm>();
}
