#include "framework/Application.h"

#include <cstring>

#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/WinControl.h"
#include "framework/WindowClass.h"

namespace fw {

TApplication* Application = nullptr;

namespace {

constexpr UINT kActivateLastPopup = WM_APP + 0x100;  // the application window's own message

}  // namespace

TApplication::TApplication() : TComponent(nullptr) { Application = this; }

TApplication::~TApplication() {
    // Forms go before the application window that owns them.
    FMainForm = nullptr;
    DestroyComponents();
    if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
    if (FWindow) return;
    const char* kClass = "TApplication";
    RegisterWindowClass(kClass, AppWndProc, 0, true);
    // A caption but no size: it carries the title for other processes to find and owns the
    // forms, but is never seen.
    FWindow.Reset(
        ::CreateWindowExA(0, kClass, FTitle.c_str(),
                          WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                          ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2,
                          0, 0, nullptr, nullptr, Instance(), nullptr));
    if (!FWindow) throw Exception("Error creating window.");
    SetWindowObject(FWindow.Get(), this);
}

void TApplication::SetTitle(const std::string& title) {
    FTitle = title;
    if (FWindow) ::SetWindowTextA(FWindow.Get(), FTitle.c_str());
}

LRESULT CALLBACK TApplication::AppWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject<TApplication>(window);
    switch (msg) {
        case WM_CLOSE:
            if (self && self->FMainForm) self->FMainForm->Close();
            return 0;
        case WM_ACTIVATE:
        case WM_SETFOCUS:
            // The user never works in this invisible window: when something activates it (a
            // second instance bringing us to the front does), hand the activation on to the
            // form used last. Posted, because the activation that brought us here is still
            // under way and would otherwise win.
            if (msg == WM_SETFOCUS || LOWORD(wParam) != WA_INACTIVE) {
                ::PostMessageA(window, kActivateLastPopup, 0, 0);
            }
            return 0;
        case kActivateLastPopup: {
            // Some systems count this window itself as its last active popup once it has
            // been activated; the form we saw active last is then the better answer.
            HWND last = ::GetLastActivePopup(window);
            if (self && (!last || last == window) && ::IsWindow(self->FLastActiveForm)) {
                last = self->FLastActiveForm;
            }
            if (self && last && last != window && ::IsWindowVisible(last) &&
                ::IsWindowEnabled(last)) {
                ::SetForegroundWindow(last);
            }
            return 0;
        }
        default:
            return ::DefWindowProcA(window, msg, wParam, lParam);
    }
}

bool TApplication::TakesDialogKeys(HWND root) {
    // Our windows may sit inside another program's (a preview's host, the window that started
    // the configuration); our keys must not work that program's dialog.
    DWORD process = 0;
    ::GetWindowThreadProcessId(root, &process);
    if (process != ::GetCurrentProcessId()) return false;
    char className[16] = {};
    ::GetClassNameA(root, className, sizeof(className));
    if (std::strcmp(className, "#32770") == 0) return true;
    // One of our forms, if the window's procedure is ours; then its user data is its control.
    if (::GetWindowLongPtrA(root, GWLP_WNDPROC) !=
        reinterpret_cast<LONG_PTR>(&TWinControl::StaticWndProc)) {
        return false;
    }
    auto* control = WindowObject<TWinControl>(root);
    return control && control->WantsDialogKeys();
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return false;
    }
    // Modeless dialogs (and forms with buttons) get Tab, Enter and Escape the dialog way.
    if (msg.hwnd) {
        HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
        if (root && TakesDialogKeys(root) && ::IsDialogMessageA(root, &msg)) return true;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!ProcessMessage(msg)) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
    }
}

void TApplication::Run() {
    if (!FMainForm || FTerminated) return;  // ended before it began: nothing is shown
    if (FMainForm->ShowRequested()) FMainForm->Show();
    MSG msg;
    while (!FTerminated) {
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        ProcessMessage(msg);
    }
    FTerminated = true;
}

void TApplication::Terminate() {
    if (FTerminated) return;
    FTerminated = true;
    ::PostQuitMessage(0);
}

void TApplication::SetScreenCursor(TCursor cursor) {
    FScreenCursor = cursor;
    ::SetCursor(CursorHandle(cursor == crDefault ? crArrow : cursor));
}

}  // namespace fw
