#include "shell/ScreensaverUnit.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/Exception.h"
#include "shell/SaverServices.h"
#include "support/Error.h"
#include "support/Path.h"

std::uint8_t SaverMode = smConfigure;
HWND ParentWindow = nullptr;
HWND StartForeground = nullptr;
std::int32_t ErrorScrollX = kErrorScrollNotStarted;

namespace {

// The configuration mutex lives as long as the process: its name marks the first instance.
HANDLE ConfigurationMutex = nullptr;

}  // namespace

// ---- Command line ----

HWND ParseWindowHandle(const char* text) {
    if (!text) return nullptr;
    if (*text == ':') ++text;
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    // strtol rather than atol: the same digits, but a number too long for 32 bits saturates
    // instead of being undefined.
    errno = 0;
    long number = std::strtol(text, nullptr, 10);
    if (errno == ERANGE || number == 0) return nullptr;
    HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(number));
    return ::IsWindow(window) ? window : nullptr;
}

std::uint8_t ParseCommandLine(const char* tail) {
    StartForeground = ::GetForegroundWindow();
    const char* p = tail ? tail : "";
    while (*p == ' ') ++p;
    if (*p == '-' || *p == '/') ++p;
    int letter = std::toupper(static_cast<unsigned char>(*p));
    const char* rest = *p ? p + 1 : p;
    switch (letter) {
        case 'S':
            SaverMode = smRun;
            ParentWindow = nullptr;
            break;
        case 'P':
        case 'L':
            SaverMode = smPreview;
            ParentWindow = ParseWindowHandle(rest);
            break;
        case 'C':
            SaverMode = smConfigure;
            ParentWindow = ::GetForegroundWindow();
            break;
        case 'A':
            SaverMode = smChangePassword;
            ParentWindow = ParseWindowHandle(rest);
            break;
        default:
            SaverMode = smConfigure;
            ParentWindow = nullptr;
            break;
    }
    return SaverMode;
}

void BeginSaverRun() {
    if (SaverMode != smRun) return;
    UINT scratch = 0;
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &scratch, 0);
}

void EndSaverRun() {
    if (SaverMode != smRun) return;
    UINT scratch = 0;
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &scratch, 0);
}

// ---- Dispatch ----

namespace {

struct InstanceSearch {
    const char* Title;
    DWORD OwnProcess;
    HWND Found;
};

bool IsApplicationWindow(HWND window, const InstanceSearch& search) {
    char name[16], title[256];
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process != search.OwnProcess && ::GetClassNameA(window, name, sizeof(name)) &&
           std::strcmp(name, "TApplication") == 0 &&
           ::GetWindowTextA(window, title, sizeof(title)) && std::strcmp(title, search.Title) == 0;
}

BOOL CALLBACK FindApplicationWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<InstanceSearch*>(param);
    if (!IsApplicationWindow(window, *search)) return TRUE;
    search->Found = window;
    return FALSE;
}

// A first instance started from a window made its application window a child of that window
// (DisableParentWindow), where a search of the top-level windows alone never finds it.
BOOL CALLBACK FindApplicationWindowBelow(HWND topLevel, LPARAM param) {
    if (!FindApplicationWindow(topLevel, param)) return FALSE;
    ::EnumChildWindows(topLevel, FindApplicationWindow, param);
    return reinterpret_cast<InstanceSearch*>(param)->Found ? FALSE : TRUE;
}

}  // namespace

HWND FindRunningInstance(const char* title) {
    InstanceSearch search = {title, ::GetCurrentProcessId(), nullptr};
    ::EnumWindows(FindApplicationWindowBelow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

void BringInstanceToFront(HWND other) {
    if (::GetAncestor(other, GA_PARENT) == ::GetDesktopWindow()) {
        ::ShowWindow(other, SW_SHOW);
        ::SetForegroundWindow(other);
        HWND popup = ::GetLastActivePopup(other);
        if (popup && popup != other) ::BringWindowToTop(popup);
        return;
    }
    // Made a child of the window the first instance was started from, its application window
    // can no longer be activated; told of an activation, it brings its dialog to the front from
    // inside its own process, where the dialog also gets the keyboard. We may lend it the
    // foreground right the user gave us.
    DWORD process = 0;
    ::GetWindowThreadProcessId(other, &process);
    ::AllowSetForegroundWindow(process);
    ::PostMessageA(other, WM_ACTIVATE, WA_ACTIVE, 0);
}

void RunConfiguration(fw::TApplication& application, const SaverParts& parts) {
    ConfigurationMutex = ::CreateMutexA(nullptr, FALSE, kConfigurationMutex);
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        parts.CreateConfigurationForm(application);
        return;
    }
    // Another process shows the dialog. Our own application window carries the same title;
    // renamed, it no longer matches, and the search finds the other one.
    std::string title = application.Title();
    application.SetTitle("Testing");
    if (HWND other = FindRunningInstance(title.c_str())) BringInstanceToFront(other);
}

void DispatchMode(fw::TApplication& application, const SaverParts& parts) {
    switch (SaverMode) {
        case smRun:
            parts.CreatePresentationForm(application);
            break;
        case smPreview: {
            // Without a window to draw into a preview has nothing to show: no window at all,
            // rather than one on the desktop that lingers, drawing and sounding, until killed.
            if (!PreviewParentUsable()) break;
            fw::TForm* form = parts.CreatePresentationForm(application);
            if (!AttachToPreviewParent(application.Handle(), form->Handle())) {
                application.Terminate();
            }
            break;
        }
        case smChangePassword:
            if (parts.ChangePassword) {
                parts.ChangePassword(ParentWindow);
            } else {
                ChangePassword(ParentWindow);
            }
            break;
        default:
            RunConfiguration(application, parts);
            break;
    }
}

int SaverMain(const char* tail, const SaverParts& parts) {
    RestrictLibrarySearch();
    SetErrorBoxFunction(ShowErrorBox);
    ParseCommandLine(tail);
    BeginSaverRun();
    fw::TApplication application;
    try {
        application.Initialize();
        application.SetTitle(kDefaultTitle);
        parts.CreateSettings(application);
        DispatchMode(application, parts);
        application.Run();
        EndSaverRun();
    } catch (const fw::Exception& error) {
        EndSaverRun();
        application.ShowException(error);
    } catch (const std::exception& error) {
        EndSaverRun();
        application.MessageBox(error.what());
    }
    return 0;
}

// ---- Shell-wide operations ----

bool PreviewParentUsable() { return ParentWindow && ::IsWindow(ParentWindow); }

bool AttachToPreviewParent(HWND applicationWindow, HWND formWindow) {
    if (!PreviewParentUsable()) return false;
    if (StartForeground) ::SetForegroundWindow(StartForeground);
    ::ShowWindow(applicationWindow, SW_HIDE);
    ::SetParent(applicationWindow, ParentWindow);
    ::SetWindowLongA(applicationWindow, GWL_STYLE, WS_CHILD | WS_DISABLED);
    ::SetParent(formWindow, ParentWindow);
    ::SetWindowLongA(formWindow, GWL_STYLE, WS_CHILD | WS_DISABLED);
    // The parent may have gone between the check and here.
    if (::GetParent(formWindow) != ParentWindow) return false;
    RECT client;
    ::GetClientRect(ParentWindow, &client);
    ::MoveWindow(formWindow, 0, 0, client.right, client.bottom, FALSE);
    return true;
}

void DisableParentWindow(HWND applicationWindow) {
    if (!ParentWindow) return;
    ::SetParent(applicationWindow, ParentWindow);
    ::EnableWindow(ParentWindow, FALSE);
}

void EnableParentWindow(HWND applicationWindow) {
    if (!ParentWindow) return;
    ::SetParent(applicationWindow, nullptr);
    ::EnableWindow(ParentWindow, TRUE);
}

int ShowErrorBox(HWND owner, const char* text) {
    return ::MessageBoxA(owner, text ? text : "", "Error", MB_ICONWARNING);
}

bool IniPathFor(const char* modulePath, char* out, std::size_t outSize) {
    return ReplaceExtension(out, outSize, modulePath, ".ini");  // refuses rather than cuts
}

bool IniFileName(char* buffer) {
    char path[kPathSize];
    if (!ModuleFileName(nullptr, path)) {
        buffer[0] = '\0';
        return false;
    }
    return IniPathFor(path, buffer, kPathSize);
}

void WriteIniString(const char* section, const char* key, const char* value) {
    char path[kPathSize];
    if (!IniFileName(path)) return;
    ::WritePrivateProfileStringA(section, key, value, path);
}

// ---- TScreensaverForm ----

fw::TFormDescription ScreensaverFormDescription() {
    fw::TFormDescription description;
    description.ClassName = "TScreensaverForm";
    description.BorderStyle = fw::bsNone;
    description.Color = fw::clAqua;
    description.Font = fw::TFont("MS Sans Serif", 8);
    description.ClientWidth = 640;
    description.ClientHeight = 480;
    description.Visible = true;
    return description;
}

TScreensaverForm::TScreensaverForm(fw::TComponent* owner)
    : TScreensaverForm(owner, ScreensaverFormDescription()) {}

TScreensaverForm::TScreensaverForm(fw::TComponent* owner, const fw::TFormDescription& description)
    : fw::TForm(owner, description) {
    ScreensaverPaintBox = new fw::TPaintBox(this, this);
    ScreensaverPaintBox->SetAlign(fw::alClient);
    ScreensaverPaintBox->SetColor(fw::clBlack);
    ScreensaverPaintBox->SetEnabled(false);  // mouse input goes to the form itself
    ErrorTimer = new fw::TTimer(this, 50, false);
    ErrorTimer->OnTimer = [this](fw::TObject* sender) { ErrorTimerTimer(sender); };
    OnShow = [this](fw::TObject* sender) { FormShow(sender); };
    OnClose = [this](fw::TObject* sender, fw::TCloseAction& action) { FormClose(sender, action); };
    Construct();
}

TScreensaverForm::~TScreensaverForm() = default;

void TScreensaverForm::Construct() {
    FErrorPrefix.clear();
    FErrorText.clear();
    FMode = SaverMode;
    FPasswordProtected = FALSE;
    FSuspendInput = FALSE;
    FMouseThreshold = 8;
    if (FMode == smPreview) SetEnabled(false);
    if (FMode == smRun) SetWindowState(fw::wsMaximized);
}

void TScreensaverForm::FormShow(fw::TObject*) {
    if (FMode == smRun) SetFormStyle(fw::fsStayOnTop);
    if (FMode == smPreview && fw::Application &&
        !AttachToPreviewParent(fw::Application->Handle(), Handle())) {
        fw::Application->Terminate();  // the parent is gone: nothing to show in
        return;
    }
    FPasswordProtected = IsPasswordConfigured() ? TRUE : FALSE;
    ::GetCursorPos(&FMouseOrigin);
}

void TScreensaverForm::FormClose(fw::TObject*, fw::TCloseAction& action) {
    // A close requested while one is under way (the password dialog is up) is refused: left at
    // its default it would end the application, whatever the answer to the password.
    if (FClosing) {
        action = fw::caNone;
        return;
    }
    FClosing = TRUE;
    if (FMode == smRun && FPasswordProtected) {
        FSuspendInput = TRUE;
        bool ok = VerifyPassword(Handle());
        FSuspendInput = FALSE;
        if (!ok) {
            action = fw::caNone;
            ::GetCursorPos(&FMouseOrigin);
            if (fw::Application) fw::Application->SetScreenCursor(fw::crDefault);
            FClosing = FALSE;
            return;
        }
    }
    SetWindowState(fw::wsNormal);
}

bool TScreensaverForm::HandleMouseInput(UINT) { return false; }

bool TScreensaverForm::HandleKeyInput(UINT, WPARAM) { return false; }

bool TScreensaverForm::MovedBeyondThreshold(const POINT& cursor) const {
    // 64-bit differences: no overflow whatever the two points are.
    long long dx = static_cast<long long>(cursor.x) - FMouseOrigin.x;
    long long dy = static_cast<long long>(cursor.y) - FMouseOrigin.y;
    return (dx < 0 ? -dx : dx) > FMouseThreshold || (dy < 0 ? -dy : dy) > FMouseThreshold;
}

void TScreensaverForm::WndProc(fw::TMessage& message) {
    switch (message.Msg) {
        case WM_SETCURSOR:
            if (InputLive()) {
                ::SetCursor(nullptr);
                message.Result = 0;
                return;
            }
            break;
        case WM_NCACTIVATE:
            if (message.WParam == 0 && FMode == smRun) {
                message.Result = 1;
                return;
            }
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (InputLive()) {
                if (HotKeysAllowed() && HandleKeyInput(message.Msg, message.WParam)) {
                    message.Result = 0;
                    return;
                }
                Close();
            }
            break;
        case WM_SYSCOMMAND:
            if (FMode == smRun && (message.WParam == SC_SCREENSAVE || message.WParam == SC_CLOSE)) {
                message.Result = 0;
                return;
            }
            break;
        case WM_MOUSEMOVE:
            if (InputLive()) {
                POINT cursor;
                ::GetCursorPos(&cursor);
                if (MovedBeyondThreshold(cursor)) {
                    if (HandleMouseInput(WM_MOUSEMOVE)) {
                        ::GetCursorPos(&FMouseOrigin);
                        message.Result = 0;
                        return;
                    }
                    Close();
                }
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (InputLive()) {
                if (HandleMouseInput(message.Msg)) {
                    message.Result = 0;
                    return;
                }
                Close();
            }
            break;
        default:
            break;
    }
    fw::TForm::WndProc(message);
}

void TScreensaverForm::ShowError(const char* text) {
    ErrorTimer->SetEnabled(true);
    if (!FErrorPrefix.empty() && text) {
        FErrorText = FErrorPrefix + ": " + text;
    } else if (!FErrorPrefix.empty()) {
        FErrorText = FErrorPrefix;
    } else if (text) {
        FErrorText = text;
    } else {
        FErrorText.clear();
    }
}

void TScreensaverForm::ErrorTimerTimer(fw::TObject*) {
    fw::TCanvas& canvas = ScreensaverPaintBox->Canvas();
    RECT client = ScreensaverPaintBox->ClientRect();
    canvas.BrushColor = ScreensaverPaintBox->Color();
    if (ErrorScrollX == kErrorScrollNotStarted) {
        canvas.FillRect(client);
        ErrorScrollX = client.right;
    }
    canvas.TextOut(ErrorScrollX, 0, FErrorText);
    SIZE extent = canvas.TextExtent(FErrorText);
    RECT trail = {ErrorScrollX + extent.cx, 0, ErrorScrollX + extent.cx + 2, extent.cy};
    canvas.FillRect(trail);
    ErrorScrollX -= 2;
    if (ErrorScrollX + extent.cx < 0) ErrorScrollX = client.right;
}
