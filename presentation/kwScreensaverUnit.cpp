#include "presentation/kwScreensaverUnit.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "framework/Exception.h"
#include "presentation/DataUnit.h"
#include "presentation/PaintBoxPalette.h"
#include "shell/SaverServices.h"
#include "support/Error.h"
#include "support/Text.h"

namespace {

constexpr const char* kBackdropClass = "vntScreensaverBackdrop";
constexpr const char* kInitializeFailure = "Error initializing screen saver.";
constexpr const char* kModuleFailure = "An unknown exception occurred while launching a module.";
constexpr const char* kLoadPictureFailure = "Error loading picture.";
constexpr const char* kShowPictureFailure = "Error initializing pak.";
constexpr const char* kPaintFailure = "Error creating bitmap.";
constexpr const char* kSoundName = "MusicSound";

// A pointer event as the low-level mouse hook saw it: lParam holds its point, wParam its step
// from where the pointer was when the hook was called (signed 16-bit x and y each).
constexpr UINT kPointerEvent = WM_APP + 0x51;

// While the module program shows, its window lies above the saver's, so the pointer's messages
// go to the module. The low-level mouse hook sees every button press and movement first and
// hands it to the saver's window, whose usual input handling then decides (threshold, password).
//
// Movement is taken only from the hook's events, never from where the pointer is: a module may
// move or clip the pointer itself (SetCursorPos, ClipCursor, a display-mode change), and that
// is no user. An event's step is the smaller of two: from the pointer's place when the hook is
// called (the event has not moved it yet; a position a program set is already there, and Wine
// echoes SetCursorPos as such an event), and from the previous event's point (the place the
// system reports may lag behind the real pointer, as in Wine before its first event). Injected
// moves are left out: the hook cannot tell which program injected one, and while a module
// runs it is the likely one. Presses count whatever their source.
//
// The hook runs on the window thread, and the system drops a hook that does not answer in
// time, after which clicks reach the module: it is removed before any long step on that
// thread (extraction, starting a module, launching a command), and the wait while a module
// ends answers it.
// A hook has no context argument: the one window it serves is process-wide.
class MouseForwarder {
public:
    static void Start(HWND target) {
        FTarget = target;
        if (!FHook) FHook = SetWindowsHookExA(WH_MOUSE_LL, HookProc, GetModuleHandleA(nullptr), 0);
    }
    static void Stop() {
        if (FHook) UnhookWindowsHookEx(FHook);
        FHook = nullptr;
        FTarget = nullptr;
    }
    static bool Running() { return FHook != nullptr; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION && FTarget) {
            const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
            switch (wParam) {
            case WM_MOUSEMOVE:
                if (!(event->flags & LLMHF_INJECTED)) {
                    POINT now;
                    GetCursorPos(&now);
                    PostMessageA(FTarget, kPointerEvent,
                                 MAKELPARAM(event->pt.x - now.x, event->pt.y - now.y),
                                 MAKELPARAM(event->pt.x, event->pt.y));
                }
                break;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
                // The press ends the saver; the module program never sees it.
                PostMessageA(FTarget, static_cast<UINT>(wParam), 0, 0);
                return 1;
            case WM_LBUTTONUP:
            case WM_RBUTTONUP:
            case WM_MBUTTONUP:
                return 1;
            }
        }
        return CallNextHookEx(FHook, code, wParam, lParam);
    }

    static inline HHOOK FHook = nullptr;
    static inline HWND FTarget = nullptr;
};

fw::TFormDescription PresentationFormDescription() {
    fw::TFormDescription description = ScreensaverFormDescription();
    description.ClassName = "TkwScreensaverForm";
    description.Color = fw::clBlack;
    return description;
}

// Whether `upper` lies above `lower` in the z-order.
bool IsAbove(HWND upper, HWND lower) {
    for (HWND window = GetWindow(lower, GW_HWNDPREV); window; window = GetWindow(window, GW_HWNDPREV)) {
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
    ScreensaverPaintBox->OnPaint = [this](fw::TObject* sender) { ScreensaverPaintBoxPaint(sender); };
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

void TkwScreensaverForm::PlaySaverSound(const char* name, HMODULE module, DWORD flags) {
    if (!FSoundLibrary) FSoundLibrary.Reset(LoadSystemLibrary("WINMM.DLL"));
    using PlayFunction = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
    auto play = FSoundLibrary ? reinterpret_cast<PlayFunction>(reinterpret_cast<void*>(
                                    GetProcAddress(FSoundLibrary.Get(), "PlaySoundA")))
                              : nullptr;
    if (play) play(name, module, flags);
}

template <typename Step>
void TkwScreensaverForm::Guarded(const char* fallback, Step step) {
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
            if (--form.FModuleWaits > 0 || !form.FCloseDeferred) return;
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
        PlaySaverSound(kSoundName, GetModuleHandleA(nullptr), SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
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
        if (modules.empty()) throw std::runtime_error("File is corrupt. The container holds no module.");
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
    windowClass.hInstance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(Handle(), GWLP_HINSTANCE));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kBackdropClass;
    // A class left registered by an earlier backdrop of this process is just as good.
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    // The whole virtual screen, so that no monitor keeps showing the desktop; the saver's
    // window and the module stay on the primary monitor. In the topmost band, or a secondary
    // monitor's taskbar and other stay-on-top windows show through; the saver's window is
    // brought above it, and the module goes above both.
    FBackdrop = CreateWindowExA(WS_EX_TOPMOST, kBackdropClass, "",
                                WS_POPUP | WS_VISIBLE | WS_DISABLED | WS_CLIPCHILDREN,
                                GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    BringWindowToTop(Handle());
    return FBackdrop;
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

void TkwScreensaverForm::StartPointerWatch() {
    // The user's steps add up across restarts of the module. The first event's previous point
    // is the origin: the pointer's place now may be the module's doing already.
    if (!FPointerWatched) FLastPointer = FMouseOrigin;
    FPointerWatched = true;
    MouseForwarder::Start(Handle());
}

void TkwScreensaverForm::StopPointerWatch() {
    if (!MouseForwarder::Running()) return;
    MouseForwarder::Stop();
    // From here the base measures the pointer against the origin again; the origin moves by
    // whatever the module did to the pointer, so that only the user's own movement counts.
    POINT cursor;
    ::GetCursorPos(&cursor);
    FMouseOrigin = {cursor.x - FPointerMoved.x, cursor.y - FPointerMoved.y};
}

void TkwScreensaverForm::PointerEvent(WPARAM stepFromCursor, LPARAM point) {
    const POINT at = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    POINT step = {GET_X_LPARAM(stepFromCursor), GET_Y_LPARAM(stepFromCursor)};
    const POINT fromLast = {at.x - FLastPointer.x, at.y - FLastPointer.y};
    auto size = [](const POINT& p) { return std::max(std::labs(p.x), std::labs(p.y)); };
    if (size(fromLast) < size(step)) step = fromLast;
    FLastPointer = at;
    FPointerMoved.x += step.x;
    FPointerMoved.y += step.y;
    if (FClosing || FSuspendInput) return;
    if (size(FPointerMoved) > FMouseThreshold && !HandleMouseInput(WM_MOUSEMOVE)) Close();
}

void TkwScreensaverForm::ResumeAfterRefusal(bool watched) {
    // What the user moved before the refusal was answered by it.
    FPointerMoved = {0, 0};
    ::GetCursorPos(&FLastPointer);
    if (watched) StartPointerWatch();
}

bool TkwScreensaverForm::HandleMouseInput(UINT) { return false; }

bool TkwScreensaverForm::HandleKeyInput(UINT message, WPARAM key) {
    if (message != WM_KEYDOWN) return false;  // a system key never acts as a hot key
    const ssPakKey::Entry* entry = FPak.Keys().Find(static_cast<std::uint32_t>(key));
    if (!entry) return false;
    switch (entry->Function) {
    case kExitAndLeaveRunning: {
        StopPointerWatch();
        // Only a program that runs is left running; otherwise the close cleans up as any other
        // (its start failed, or it ended between ticks).
        if (!ModuleRunning()) return false;
        // Modules 1 and 2 are extracted for the program that stays; a container without them
        // just leaves module 0 running.
        auto modules = FPak.ModuleTable();
        try {
            for (std::size_t i = 1; i <= 2 && i < modules.size(); ++i) {
                FModule.Extract(FPak, static_cast<std::int32_t>(modules[i]));
            }
        } catch (const std::exception&) {
            // The saver closes all the same; the module keeps running.
        }
        FLeaveModuleRunning = TRUE;
        PostKeyToModule(key);
        FModule.LeaveRunning();
        return false;
    }
    case kShellExecute:
        ItemTimer->SetEnabled(false);
        StopPointerWatch();
        EnterCloseSaverMode();
        ExecuteCommand(FromWindows1252(entry->Command.Text()).c_str());
        return false;
    default:
        return false;
    }
}

void TkwScreensaverForm::PostKeyToModule(WPARAM key) {
    if (ModuleRunning() && FModule.ProgramWindow()) {
        PostMessageA(FModule.ProgramWindow(), WM_KEYDOWN, key, 0);
    }
}

void TkwScreensaverForm::ExecuteCommand(const char* command) {
    WriteIniString("ShellExecute", nullptr, nullptr);
    WriteIniString("ShellExecute", "Command", command);
    if (fw::Application) fw::Application->SetScreenCursor(fw::crHourGlass);
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, command, nullptr, nullptr, SW_SHOW));
    if (fw::Application) fw::Application->SetScreenCursor(fw::crDefault);
    if (result <= 32) WriteIniString("ShellExecute", "ShellExecute", LastErrorText().c_str());
}

bool TkwScreensaverForm::EnterCloseSaverMode() {
    if (!IsSystemSaverRunning()) return false;
    if (!FLeaveModuleRunning) StopModule(3000);
    EndSaverRun();  // the system's screen-saver-running flag is cleared
    Hide();
    if (FBackdrop) {
        DestroyWindow(FBackdrop);
        FBackdrop = nullptr;
    }
    FSuspendInput = TRUE;
    FCloseDialog = CreateCloseSaverDialog(Handle());
    return false;
}

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

void TkwScreensaverForm::FormClose(fw::TObject* sender, fw::TCloseAction& action) {
    // Refused: a second close while one is under way (the password dialog is up), and one that
    // arrives inside a module wait, which is taken up when the wait is over: run now, it would
    // end the module under the wait, and the saver after it.
    if (FClosing || FModuleWaits > 0 || (FCloseDialog && IsWindowVisible(FCloseDialog))) {
        if (!FClosing && FModuleWaits > 0) FCloseDeferred = true;
        action = fw::caNone;
        return;
    }
    // The password dialog must get the clicks that the pointer watch would take from it.
    const bool watched = MouseForwarder::Running();
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
    if (FBackdrop) {
        DestroyWindow(FBackdrop);
        FBackdrop = nullptr;
    }
}

void TkwScreensaverForm::WndProc(fw::TMessage& message) {
    switch (message.Msg) {
    case kPointerEvent:
        PointerEvent(message.WParam, message.LParam);
        return;
    case WM_MOUSEMOVE:
        // While the hook watches, the pointer's place says nothing about the user.
        if (MouseForwarder::Running()) return;
        break;
    case WM_DESTROY:
        // However the window goes, the module goes with it.
        EndModuleRun();
        break;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
        RealizePaletteOnMessage(message, HandleIfCreated(), *ScreensaverPaintBox, FPalette.Get());
        break;
    }
    TScreensaverForm::WndProc(message);
}

// ---- Preview path ----
// The first picture of the container is loaded, fitted and (on palette screens) reduced to a
// palette by a loader thread; the window polls it, draws the picture centred and plays the
// sound once.

void TkwScreensaverForm::LoadPicture() {
    Guarded(kLoadPictureFailure, [&] {
        auto contents = FPak.ContentTable();
        // A container without pictures has nothing to preview; the table is not read past
        // its end.
        if (contents.empty()) throw std::runtime_error(kLoadPictureFailure);
        FLoadRequest = LoadRequest{nullptr, &FPak, static_cast<std::int32_t>(contents[0]),
                                   &FPictures[0]};
        FLoader = std::make_unique<TPictureLoader>(&FLoadRequest, 1,
                                                   ScreensaverPaintBox->ClientWidth(),
                                                   ScreensaverPaintBox->ClientHeight(), 1);
        ItemTimer->SetInterval(100);
        ItemTimer->SetEnabled(true);
        FState = kStateLoadingPicture;
    });
}

void TkwScreensaverForm::ShowPicture() {
    Guarded(kShowPictureFailure, [&] {
        FState = kStatePictureShown;
        if (HWND box = ScreensaverPaintBox->HandleIfCreated()) {
            RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        }
    });
}

void TkwScreensaverForm::TakeLoaderPalette() {
    if (!FPalette && FLoader && !FLoader->IsBusy()) FPalette.Reset(FLoader->TakePalette());
}

void TkwScreensaverForm::StopPicture() {
    if (FLoader) {
        FLoader->Cancel();
        FLoader->WaitFor();  // the worker may still be writing the picture
        TakeLoaderPalette();
        FLoader.reset();
    }
    FPictures[0].FreeBits();
    FPictures[1].FreeBits();
    FPalette.Reset();
}

void TkwScreensaverForm::ScreensaverPaintBoxPaint(fw::TObject*) {
    Guarded(kPaintFailure, [&] {
        if (FMode != smPreview) return;
        if (FLoader && FLoader->IsBusy()) return;
        const ssPicture& picture = FPictures[0];
        if (!picture.HasPixels()) return;
        // Integer division truncates toward zero: a picture larger than the box is clipped
        // evenly on both sides.
        const int x = (ScreensaverPaintBox->ClientWidth() - picture.Width()) / 2;
        const int y = (ScreensaverPaintBox->ClientHeight() - picture.Height()) / 2;
        TakeLoaderPalette();
        HDC dc = ScreensaverPaintBox->Canvas().Handle();
        bool drawn;
        {
            ScopedPaintPalette palette(dc, FPalette.Get());
            drawn = picture.Draw(dc, x, y, SRCCOPY);
        }
        if (!drawn) throw std::runtime_error(kPaintFailure);
    });
}

fw::TForm* CreatePresentationForm(fw::TApplication& application) {
    return application.CreateForm<TkwScreensaverForm>();
}
