#include "framework/Form.h"

#include "framework/Application.h"
#include "framework/Buttons.h"
#include "framework/Dpi.h"

namespace fw {

namespace {

// The visible, enabled button that Enter (or, with `cancel`, Escape) clicks, depth first.
TButton* DialogButton(const TWinControl& control, bool cancel) {
    for (TWinControl* child : control.Children()) {
        auto* button = dynamic_cast<TButton*>(child);
        if (button && (cancel ? button->Cancel : button->Default) && button->Visible() &&
            button->Enabled()) {
            return button;
        }
        if (TButton* found = DialogButton(*child, cancel)) return found;
    }
    return nullptr;
}

}  // namespace

TForm::TForm(TComponent* owner, const TFormDescription& description)
    : TWinControl(owner, nullptr),
      FDescription(description),
      FFormStyle(description.FormStyle),
      FWindowState(description.WindowState) {
    TWinControl::SetColor(description.Color);
    TWinControl::SetFont(description.Font);
    TWinControl::SetCaption(description.Caption);
    TWinControl::SetVisible(false);
    FUseParentColor = false;
    // The design size is the client area; the window size follows from the border.
    SetBounds(description.Left, description.Top, description.ClientWidth, description.ClientHeight);
}

TForm::~TForm() { DestroyHandle(); }

RECT TForm::DesignFrame(DWORD style, DWORD exStyle) const {
    return WindowRectForClient(Scale(FDescription.ClientWidth), Scale(FDescription.ClientHeight),
                               style, exStyle, Dpi());
}

void TForm::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = FDescription.ClassName;
    switch (FDescription.BorderStyle) {
        case bsNone:
            params.Style = WS_POPUP;
            break;
        case bsSingle:
            params.Style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_BORDER;
            break;
        case bsDialog:
            params.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
            params.ExStyle = WS_EX_DLGMODALFRAME;
            break;
        case bsSizeable:
            params.Style = WS_OVERLAPPEDWINDOW;
            break;
    }
    params.Style |= WS_CLIPCHILDREN;
    params.ExStyle |= WS_EX_CONTROLPARENT;
    if (FFormStyle == fsStayOnTop) params.ExStyle |= WS_EX_TOPMOST;
    // Owned by the application window, so the application's hidden window leads its forms
    // (GetLastActivePopup on it finds the form the user last used).
    params.Parent = Application ? Application->Handle() : nullptr;
    const RECT r = DesignFrame(params.Style, params.ExStyle);
    params.Width = r.right - r.left;
    params.Height = r.bottom - r.top;
    params.X = FDescription.Left;
    params.Y = FDescription.Top;
    if (FDescription.Position == poScreenCenter) {
        params.X = (::GetSystemMetrics(SM_CXSCREEN) - params.Width) / 2;
        params.Y = (::GetSystemMetrics(SM_CYSCREEN) - params.Height) / 2;
    }
}

void TForm::CreateHandle() {
    TWinControl::CreateHandle();
    const UINT dpi = WindowDpi(FHandle);
    if (dpi == Dpi()) return;
    // Made on a monitor whose DPI is not the system's: laid out again for it, about the same
    // centre.
    RECT before;
    ::GetWindowRect(FHandle, &before);
    ChangeDpi(dpi);
    const RECT frame = DesignFrame(static_cast<DWORD>(::GetWindowLongA(FHandle, GWL_STYLE)),
                                   static_cast<DWORD>(::GetWindowLongA(FHandle, GWL_EXSTYLE)));
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    ::SetWindowPos(FHandle, nullptr, (before.left + before.right - width) / 2,
                   (before.top + before.bottom - height) / 2, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    Realign();
}

void TForm::WMDpiChanged(UINT dpi, const RECT& suggested) {
    ChangeDpi(dpi);
    // A maximised window is sized by the system, a preview by its host.
    const LONG style = ::GetWindowLongA(FHandle, GWL_STYLE);
    if (!(style & WS_CHILD) && !::IsZoomed(FHandle)) {
        ::SetWindowPos(FHandle, nullptr, suggested.left, suggested.top,
                       suggested.right - suggested.left, suggested.bottom - suggested.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Realign();
    DpiChanged();
    ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TForm::SetWidth(int width) {
    Handle();
    SetOuterSize(width, Height());
}

void TForm::SetHeight(int height) {
    Handle();
    SetOuterSize(Width(), height);
}

void TForm::SetOuterSize(int width, int height) {
    ::SetWindowPos(FHandle, nullptr, 0, 0, width, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ApplyStayOnTop() {
    if (!HandleAllocated()) return;
    bool topmost = (::GetWindowLongA(FHandle, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (topmost == (FFormStyle == fsStayOnTop)) return;
    // The extended-style bit alone is not honoured once the window exists; SetWindowPos is.
    ::SetWindowPos(FHandle, FFormStyle == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm::SetFormStyle(TFormStyle style) {
    FFormStyle = style;
    ApplyStayOnTop();
}

void TForm::SetWindowState(TWindowState state) {
    FWindowState = state;
    if (HandleAllocated() && ::IsWindowVisible(FHandle)) {
        ::ShowWindow(FHandle, state == wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    }
}

void TForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TForm::Show() {
    Handle();
    if (FShowing) return;
    FShowing = true;
    DoShow();
    ApplyStayOnTop();
    ::ShowWindow(FHandle, FWindowState == wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    ::UpdateWindow(FHandle);
}

void TForm::Hide() {
    FShowing = false;
    if (FHandle) ::ShowWindow(FHandle, SW_HIDE);
}

void TForm::Close() {
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application && Application->MainForm() == this) {
        Application->Terminate();
    } else if (action == caMinimize) {
        if (FHandle) ::ShowWindow(FHandle, SW_MINIMIZE);
    } else {
        Hide();
    }
}

bool TForm::WMCommand(WPARAM wParam, LPARAM lParam) {
    // Enter and Escape arrive from IsDialogMessage as IDOK and IDCANCEL without a control.
    if (lParam == 0 && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (TButton* button = DialogButton(*this, LOWORD(wParam) == IDCANCEL)) {
            button->Click();
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) return true;
    }
    // Enter on a focused button comes from IsDialogMessage to the form, not to the button's
    // parent; a button inside a panel is then handed to the panel that owns it.
    HWND from = reinterpret_cast<HWND>(lParam);
    if (from && ::GetParent(from) != FHandle && ::IsChild(FHandle, from)) {
        ::SendMessageA(::GetParent(from), WM_COMMAND, wParam, lParam);
        return true;
    }
    return TWinControl::WMCommand(wParam, lParam);
}

// A form with controls passes the focus on to the control used last, or the first one, as a
// dialog box does, so the keyboard works at once.
bool TForm::WMSetFocus() {
    if (!FWantsDialogKeys) return false;
    HWND target = ::IsWindow(FLastFocus) && ::IsChild(FHandle, FLastFocus)
                      ? FLastFocus
                      : ::GetNextDlgTabItem(FHandle, nullptr, FALSE);
    if (!target || !::IsWindowVisible(target) || !::IsWindowEnabled(target)) return false;
    ::SetFocus(target);
    return true;
}

void TForm::WndProc(TMessage& message) {
    switch (message.Msg) {
        case WM_CLOSE:
            Close();
            message.Result = 0;
            return;
        case WM_SHOWWINDOW:
            if (!message.WParam) FShowing = false;
            break;
        case WM_ACTIVATE:
            if (LOWORD(message.WParam) != WA_INACTIVE) {
                if (Application) Application->NoteActiveForm(FHandle);
            } else if (HWND focus = ::GetFocus(); focus && ::IsChild(FHandle, focus)) {
                FLastFocus = focus;
            }
            break;
        case WM_SETFOCUS:
            if (WMSetFocus()) {
                message.Result = 0;
                return;
            }
            break;
        case WM_DPICHANGED:
            if (LOWORD(message.WParam) && message.LParam) {
                WMDpiChanged(LOWORD(message.WParam),
                             *reinterpret_cast<const RECT*>(message.LParam));
                message.Result = 0;
                return;
            }
            break;
        case WM_DESTROY:
            // Destroyed from outside (a preview's host window going away takes its children
            // with it): without its main window the application has nothing left to do.
            if (Application && Application->MainForm() == this) Application->Terminate();
            break;
        default:
            break;
    }
    TWinControl::WndProc(message);
}

}  // namespace fw
