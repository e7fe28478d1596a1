// How a control answers its window messages: the default handling, the background, commands
// and colours for its children, the pointer shape, and the one window procedure every control
// enters through.
#include "framework/WinControl.h"

#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "framework/WindowClass.h"

namespace fw {

LRESULT TWinControl::DefaultHandler(TMessage& message) {
    message.Result = ::DefWindowProcA(FHandle, message.Msg, message.WParam, message.LParam);
    return message.Result;
}

bool TWinControl::WMEraseBkgnd(HDC dc) {
    RECT r;
    ::GetClientRect(FHandle, &r);
    FillSolidRect(dc, r, BackgroundColor());
    return true;
}

void TWinControl::WMPaint() { ScopedPaintDC paint(FHandle); }

void TWinControl::WMSize() { Realign(); }

bool TWinControl::WMCommand(WPARAM wParam, LPARAM lParam) {
    HWND from = reinterpret_cast<HWND>(lParam);
    if (!from) return false;
    TWinControl* control = ChildByHandle(from);
    if (!control) return false;
    WORD code = HIWORD(wParam);
    if (code == BN_CLICKED || code == STN_CLICKED) {
        control->Click();
        return true;
    }
    return false;
}

bool TWinControl::WMCtlColor(TMessage& message) {
    HWND from = reinterpret_cast<HWND>(message.LParam);
    TWinControl* control = ChildByHandle(from);
    if (!control) return false;
    HDC dc = reinterpret_cast<HDC>(message.WParam);
    TColor back = control->BackgroundColor();
    ::SetTextColor(dc, ColorToRGB(control->FFont.Color()));
    ::SetBkColor(dc, ColorToRGB(back));
    if (FBrushColor != back || !FBrush) {
        FBrush.Reset(::CreateSolidBrush(ColorToRGB(back)));
        FBrushColor = back;
    }
    message.Result = reinterpret_cast<LRESULT>(FBrush.Get());
    return true;
}

bool TWinControl::WMSetCursor(TMessage& message) {
    if (LOWORD(message.LParam) != HTCLIENT) return false;
    TCursor screen = Application ? Application->ScreenCursor() : crDefault;
    if (screen != crDefault) {
        ::SetCursor(CursorHandle(screen));
        message.Result = TRUE;
        return true;
    }
    HWND over = reinterpret_cast<HWND>(message.WParam);
    TWinControl* control = over == FHandle ? this : ChildByHandle(over);
    if (control && control->FCursor != crDefault) {
        ::SetCursor(CursorHandle(control->FCursor));
        message.Result = TRUE;
        return true;
    }
    return false;
}

void TWinControl::WndProc(TMessage& message) {
    switch (message.Msg) {
        case WM_ERASEBKGND:
            if (WMEraseBkgnd(reinterpret_cast<HDC>(message.WParam))) {
                message.Result = 1;
                return;
            }
            break;
        case WM_PAINT:
            WMPaint();
            message.Result = 0;
            return;
        case WM_SIZE:
            WMSize();
            break;
        case WM_COMMAND:
            if (WMCommand(message.WParam, message.LParam)) {
                message.Result = 0;
                return;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (WMCtlColor(message)) return;
            break;
        case WM_SETCURSOR:
            if (WMSetCursor(message)) return;
            break;
        case kCreateChildren:
            CreateChildren();
            Realign();
            message.Result = 0;
            return;
        case WM_NCHITTEST:
            if (FTransparentToMouse) {
                message.Result = HTTRANSPARENT;
                return;
            }
            break;
        default:
            break;
    }
    DefaultHandler(message);
}

LRESULT CALLBACK TWinControl::StaticWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* self = nullptr;
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        self = static_cast<TWinControl*>(create->lpCreateParams);
        self->FHandle = window;
        SetWindowObject(window, self);
    } else {
        self = WindowObject<TWinControl>(window);
    }
    if (!self) return ::DefWindowProcA(window, msg, wParam, lParam);
    TMessage message = {msg, wParam, lParam, 0};
    ReportExceptions([&] { self->WndProc(message); });
    if (msg == WM_NCDESTROY) {
        SetWindowObject(window, nullptr);
        self->FHandle = nullptr;
    }
    return message.Result;
}

}  // namespace fw
