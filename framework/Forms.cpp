#include "framework/Forms.h"

#include <algorithm>
#include <cstring>

namespace fw {

TApplication* Application = nullptr;

namespace {

constexpr UINT kFirstControlId = 1000;  // clear of IDOK/IDCANCEL, which the dialog keys send
constexpr UINT kActivateLastPopup = WM_APP + 0x100;  // the application window's own message
constexpr UINT kCreateChildren = WM_APP + 0x101;     // a control's: windows for new children

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

// Registers a window class of this module once; `visible` classes get the program's icon and
// the arrow cursor.
void RegisterWindowClass(const char* className, WNDPROC procedure, UINT classStyle, bool visible) {
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExA(Instance(), className, &existing)) return;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = procedure;
    wc.hInstance = Instance();
    if (visible) {
        wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        wc.hIcon = ::LoadIconA(Instance(), MAKEINTRESOURCEA(1));
    }
    wc.lpszClassName = className;
    ::RegisterClassExA(&wc);
}

// An exception must not unwind through the system's frames: it ends here, in the
// application's exception box, as a framework would show it.
template <typename Action>
void ReportExceptions(Action action) {
    try {
        action();
    } catch (const std::exception& error) {
        if (Application) Application->HandleException(&error);
    } catch (...) {
        if (Application) Application->HandleException(nullptr);
    }
}

}  // namespace

COLORREF ColorToRGB(TColor color) {
    if (color & kSystemColorFlag) return ::GetSysColor(static_cast<int>(color & 0xFF));
    return color;
}

HCURSOR CursorHandle(TCursor cursor) {
    switch (cursor) {
        case crHourGlass:
            return ::LoadCursorA(nullptr, IDC_WAIT);
        case crHandPoint:
            return ::LoadCursorA(nullptr, IDC_HAND);
        case crNone:
            return nullptr;
        default:
            return ::LoadCursorA(nullptr, IDC_ARROW);
    }
}

// ---- TFont, TCanvas ----

TFont& TFont::operator=(const TFont& other) {
    bool same = FName == other.FName && FSize == other.FSize && FColor == other.FColor &&
                FStyle == other.FStyle && FDpi == other.FDpi;
    if (this != &other && !same) {
        FName = other.FName;
        FSize = other.FSize;
        FColor = other.FColor;
        FStyle = other.FStyle;
        FDpi = other.FDpi;
        FHandle.Reset();
    }
    return *this;
}

void TFont::SetDpi(UINT dpi) {
    if (dpi == FDpi) return;
    FDpi = dpi;
    FHandle.Reset();
}

HFONT TFont::Handle() {
    if (!FHandle) {
        LOGFONTA lf = {};
        int pixelsPerInch = static_cast<int>(FDpi);
        if (!pixelsPerInch) {
            WindowDC screen(nullptr);
            pixelsPerInch = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
        }
        lf.lfHeight = -::MulDiv(FSize, pixelsPerInch, 72);
        lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (FStyle & fsItalic) ? 1 : 0;
        lf.lfUnderline = (FStyle & fsUnderline) ? 1 : 0;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::strncpy(lf.lfFaceName, FName.c_str(), LF_FACESIZE - 1);
        FHandle.Reset(::CreateFontIndirectA(&lf));
    }
    return FHandle.Get();
}

void TCanvas::FillRect(const RECT& rect) {
    if (!FDC) return;
    UniqueBrush brush(::CreateSolidBrush(ColorToRGB(BrushColor)));
    ::FillRect(FDC, &rect, brush.Get());
}

// GDI's "A" text calls read the font's code page, not the process's (UTF-8 under the saver's
// manifest): the text goes to the "W" calls, converted from the process's code page.
static std::wstring CanvasText(const std::string& text) {
    int length =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    if (!FDC) return;
    SelectedObject font(FDC, Font.Handle());
    ::SetBkMode(FDC, OPAQUE);
    ::SetBkColor(FDC, ColorToRGB(BrushColor));
    ::SetTextColor(FDC, ColorToRGB(Font.Color()));
    std::wstring wide = CanvasText(text);
    ::TextOutW(FDC, x, y, wide.data(), static_cast<int>(wide.size()));
}

SIZE TCanvas::TextExtent(const std::string& text) {
    SIZE size = {0, 0};
    if (!FDC) return size;
    SelectedObject font(FDC, Font.Handle());
    if (text.empty()) {
        TEXTMETRICA tm = {};
        ::GetTextMetricsA(FDC, &tm);
        size.cy = tm.tmHeight;
        return size;
    }
    std::wstring wide = CanvasText(text);
    ::GetTextExtentPoint32W(FDC, wide.data(), static_cast<int>(wide.size()), &size);
    return size;
}

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
    if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (FOwner) {
        auto& siblings = FOwner->FComponents;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        FComponents.pop_back();
        last->FOwner = nullptr;
        delete last;
    }
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner, TWinControl* parent)
    : TComponent(owner), FParent(parent) {
    FDpi = FParent ? FParent->FDpi : SystemDpi();
    if (FParent) {
        FFont = FParent->FFont;
        FColor = FParent->FColor;
        FParent->AddChild(this);
    }
    FFont.SetDpi(FDpi);
}

TWinControl::~TWinControl() {
    // The windows of children go with ours; forget them first so nobody destroys them twice.
    for (TWinControl* child : FChildren) {
        child->DestroyHandle();
        child->FParent = nullptr;
    }
    DestroyHandle();
    if (FParent) FParent->RemoveChild(this);
}

void TWinControl::AddChild(TWinControl* child) {
    // Unique among the siblings, which is all a control id has to be.
    UINT id = kFirstControlId;
    for (TWinControl* sibling : FChildren) id = std::max(id, sibling->FId + 1);
    child->FId = id;
    FChildren.push_back(child);
    // Added to a live window: the child's own constructor has not run yet (its virtual
    // methods are not in place), so its window is made from the message loop.
    if (FHandle) ::PostMessageA(FHandle, kCreateChildren, 0, 0);
}

void TWinControl::RemoveChild(TWinControl* child) {
    FChildren.erase(std::remove(FChildren.begin(), FChildren.end(), child), FChildren.end());
}

TWinControl* TWinControl::ChildByHandle(HWND window) const {
    if (!window) return nullptr;
    for (TWinControl* child : FChildren) {
        if (child->FHandle == window) return child;
    }
    return nullptr;
}

void TWinControl::RegisterOwnClass(const char* className, UINT classStyle) {
    RegisterWindowClass(className, StaticWndProc, classStyle, true);
}

void TWinControl::FillCreateParams(CreateParams& params) {
    params.ClassName = "TWinControl";
    params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    params.ExStyle = 0;
    params.Parent = FParent ? FParent->Handle() : nullptr;
    params.X = Scale(FLeft);
    params.Y = Scale(FTop);
    params.Width = Scale(FWidth);
    params.Height = Scale(FHeight);
    params.OwnClass = true;
}

void TWinControl::CreateHandle() {
    CreateParams params = {};
    FillCreateParams(params);
    if (FVisible) params.Style |= WS_VISIBLE;
    if (!FEnabled) params.Style |= WS_DISABLED;
    HMENU menu =
        (params.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(FId)) : nullptr;
    if (params.OwnClass) {
        RegisterOwnClass(params.ClassName, CS_DBLCLKS);
        ::CreateWindowExA(params.ExStyle, params.ClassName, FCaption.c_str(), params.Style,
                          params.X, params.Y, params.Width, params.Height, params.Parent, menu,
                          Instance(), this);  // StaticWndProc sets FHandle at WM_NCCREATE
    } else {
        FHandle = ::CreateWindowExA(params.ExStyle, params.ClassName, FCaption.c_str(),
                                    params.Style, params.X, params.Y, params.Width, params.Height,
                                    params.Parent, menu, Instance(), nullptr);
        if (FHandle) ::SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    if (!FHandle) throw Exception("Error creating window.");
    ::SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), FALSE);
    AfterCreate();
    CreateChildren();
    Realign();
}

void TWinControl::CreateChildren() {
    for (TWinControl* child : FChildren) child->Handle();
}

void TWinControl::DestroyHandle() {
    if (!FHandle) return;
    for (TWinControl* child : FChildren) child->DestroyHandle();
    HWND window = std::exchange(FHandle, nullptr);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
}

HWND TWinControl::Handle() {
    if (!FHandle) CreateHandle();
    return FHandle;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    SetPixelBounds(Scale(left), Scale(top), Scale(width), Scale(height));
}

void TWinControl::SetPixelBounds(int left, int top, int width, int height) {
    if (FHandle) ::MoveWindow(FHandle, left, top, width, height, TRUE);
}

POINT TWinControl::PixelOrigin() const {
    POINT origin = {Scale(FLeft), Scale(FTop)};
    if (FHandle) {
        RECT r;
        ::GetWindowRect(FHandle, &r);
        origin = {r.left, r.top};
        HWND parent = ::GetParent(FHandle);
        if (parent && (::GetWindowLongA(FHandle, GWL_STYLE) & WS_CHILD)) {
            ::ScreenToClient(parent, &origin);
        }
    }
    return origin;
}

int TWinControl::Left() const { return PixelOrigin().x; }
int TWinControl::Top() const { return PixelOrigin().y; }

int TWinControl::Width() const {
    if (!FHandle) return Scale(FWidth);
    RECT r;
    ::GetWindowRect(FHandle, &r);
    return r.right - r.left;
}

int TWinControl::Height() const {
    if (!FHandle) return Scale(FHeight);
    RECT r;
    ::GetWindowRect(FHandle, &r);
    return r.bottom - r.top;
}

RECT TWinControl::ClientRect() {
    RECT r = {0, 0, Scale(FWidth), Scale(FHeight)};
    if (FHandle) ::GetClientRect(FHandle, &r);
    return r;
}

int TWinControl::ClientWidth() { return ClientRect().right; }
int TWinControl::ClientHeight() { return ClientRect().bottom; }

void TWinControl::SetAlign(TAlign align) {
    FAlign = align;
    if (FParent) FParent->Realign();
}

void TWinControl::SetVisible(bool visible) {
    FVisible = visible;
    if (FHandle) ::ShowWindow(FHandle, visible ? SW_SHOW : SW_HIDE);
    if (FParent) FParent->Realign();
}

void TWinControl::SetEnabled(bool enabled) {
    FEnabled = enabled;
    if (FHandle) ::EnableWindow(FHandle, enabled ? TRUE : FALSE);
}

void TWinControl::SetCaption(const std::string& caption) {
    FCaption = caption;
    if (FHandle) ::SetWindowTextA(FHandle, caption.c_str());
}

std::string TWinControl::Caption() const { return FCaption; }

void TWinControl::SetColor(TColor color) {
    FColor = color;
    FUseParentColor = false;
    Invalidate();
}

void TWinControl::SetFont(const TFont& font) {
    FFont = font;
    FFont.SetDpi(FDpi);
    if (FHandle) {
        ::SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), TRUE);
    }
}

void TWinControl::Invalidate() {
    if (FHandle) ::InvalidateRect(FHandle, nullptr, TRUE);
}

void TWinControl::Click() {
    if (OnClick) OnClick(this);
}

void TWinControl::Realign() {
    if (!FHandle || FAligning) return;
    FAligning = true;
    RECT area = ClientRect();
    ::InflateRect(&area, -Scale(FBorderWidth), -Scale(FBorderWidth));
    // Edges first, in the classic order, then whatever fills the rest. The design sizes of
    // the aligned controls stay as they were given; only their windows follow the area.
    const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
    for (TAlign align : order) {
        for (TWinControl* c : FChildren) {
            if (c->FAlign != align || !c->FVisible) continue;
            int w = c->Scale(c->FWidth), h = c->Scale(c->FHeight);
            switch (align) {
                case alTop:
                    c->SetPixelBounds(area.left, area.top, area.right - area.left, h);
                    area.top += h;
                    break;
                case alBottom:
                    c->SetPixelBounds(area.left, area.bottom - h, area.right - area.left, h);
                    area.bottom -= h;
                    break;
                case alLeft:
                    c->SetPixelBounds(area.left, area.top, w, area.bottom - area.top);
                    area.left += w;
                    break;
                case alRight:
                    c->SetPixelBounds(area.right - w, area.top, w, area.bottom - area.top);
                    area.right -= w;
                    break;
                default:
                    c->SetPixelBounds(area.left, area.top, std::max<int>(0, area.right - area.left),
                                      std::max<int>(0, area.bottom - area.top));
                    break;
            }
            c->Realign();
        }
    }
    FAligning = false;
}

void TWinControl::ChangeDpi(UINT dpi) {
    FDpi = dpi;
    FFont.SetDpi(dpi);
    if (FHandle) {
        // Nothing paints between the old font's end and the new one's arrival.
        ::SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), FALSE);
        // Aligned controls are placed by their parent's Realign, the form by its caller.
        if (FParent && FAlign == alNone) {
            SetPixelBounds(Scale(FLeft), Scale(FTop), Scale(FWidth), Scale(FHeight));
        }
    }
    for (TWinControl* child : FChildren) child->ChangeDpi(dpi);
}

bool TWinControl::FindDialogButton(bool cancel, TWinControl*& found) {
    for (TWinControl* child : FChildren) {
        if (auto* button = dynamic_cast<TButton*>(child)) {
            if ((cancel ? button->Cancel : button->Default) && button->Visible() &&
                button->Enabled()) {
                found = button;
                return true;
            }
        }
        if (child->FindDialogButton(cancel, found)) return true;
    }
    return false;
}

LRESULT TWinControl::DefaultHandler(TMessage& message) {
    message.Result = ::DefWindowProcA(FHandle, message.Msg, message.WParam, message.LParam);
    return message.Result;
}

bool TWinControl::WMEraseBkgnd(HDC dc) {
    RECT r;
    ::GetClientRect(FHandle, &r);
    TColor color = FColor;
    if (FUseParentColor && FParent) color = FParent->FColor;
    UniqueBrush brush(::CreateSolidBrush(ColorToRGB(color)));
    ::FillRect(dc, &r, brush.Get());
    return true;
}

void TWinControl::WMPaint() { PaintDC paint(FHandle); }

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
    TColor back = control->FUseParentColor ? FColor : control->FColor;
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
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<TWinControl*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcA(window, msg, wParam, lParam);
    TMessage message = {msg, wParam, lParam, 0};
    ReportExceptions([&] { self->WndProc(message); });
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->FHandle = nullptr;
    }
    return message.Result;
}

// ---- Controls ----

TPaintBox::TPaintBox(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    FTransparentToMouse = true;
}

void TPaintBox::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "TPaintBox";
    RegisterOwnClass(params.ClassName, CS_OWNDC);
}

TCanvas& TPaintBox::Canvas() {
    // The class has a private DC, so the handle stays valid after ReleaseDC; GetDC each time
    // still matters, as it resets the clipping that the last WM_PAINT left on that DC.
    if (!FInPaint && Handle()) {
        WindowDC dc(FHandle);
        FCanvas.SetHandle(dc.Get());
    }
    FCanvas.Font = Font();
    return FCanvas;
}

bool TPaintBox::WMEraseBkgnd(HDC dc) {
    TColor color = Color();
    if (FUseParentColor && Parent()) color = Parent()->Color();
    UniqueBrush brush(::CreateSolidBrush(ColorToRGB(color)));
    RECT r;
    ::GetClientRect(FHandle, &r);
    ::FillRect(dc, &r, brush.Get());
    return true;
}

void TPaintBox::WMPaint() {
    PaintDC paint(FHandle);
    FCanvas.SetHandle(paint.Get());
    FInPaint = true;
    TCanvas& canvas = Canvas();
    canvas.BrushColor = FUseParentColor && Parent() ? Parent()->Color() : Color();
    try {
        if (OnPaint) OnPaint(this);
    } catch (...) {
        FInPaint = false;
        throw;
    }
    FInPaint = false;
}

void TPaintBox::WndProc(TMessage& message) {
    if (message.Msg == WM_NCDESTROY) FCanvas.SetHandle(nullptr);
    TWinControl::WndProc(message);
}

TPanel::TPanel(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {}

void TPanel::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "TPanel";
    params.ExStyle |= WS_EX_CONTROLPARENT;
}

TLabel::TLabel(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {}

void TLabel::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "STATIC";
    params.Style = WS_CHILD | SS_LEFT | SS_NOTIFY | SS_NOPREFIX;
    params.OwnClass = false;
}

namespace {

// Forms holding buttons or check boxes take Tab, Enter and Escape the dialog way.
void EnableDialogKeysAbove(TWinControl* control) {
    for (TWinControl* p = control; p; p = p->Parent()) {
        if (auto* form = dynamic_cast<TForm*>(p)) form->EnableDialogKeys();
    }
}

}  // namespace

TButton::TButton(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    EnableDialogKeysAbove(parent);
}

void TButton::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "BUTTON";
    params.Style = WS_CHILD | WS_TABSTOP | (Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    params.OwnClass = false;
}

TCheckBox::TCheckBox(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    EnableDialogKeysAbove(parent);
}

void TCheckBox::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "BUTTON";
    params.Style = WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX;
    params.OwnClass = false;
}

void TCheckBox::AfterCreate() {
    ::SendMessageA(FHandle, BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::Checked() const {
    if (HandleAllocated()) {
        return ::SendMessageA(HandleIfCreated(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    return FChecked;
}

void TCheckBox::SetChecked(bool checked) {
    FChecked = checked;
    if (HandleAllocated()) {
        ::SendMessageA(HandleIfCreated(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

// ---- TTimer ----

TTimer::TTimer(TComponent* owner, UINT interval, bool enabled)
    : TComponent(owner), FInterval(interval), FEnabled(enabled) {
    Update();
}

TTimer::~TTimer() {
    if (FWindow) ::KillTimer(FWindow.Get(), 1);
}

void TTimer::SetEnabled(bool enabled) {
    if (FEnabled == enabled) return;
    FEnabled = enabled;
    Update();
}

void TTimer::SetInterval(UINT interval) {
    if (FInterval == interval) return;
    FInterval = interval;
    Update();
}

void TTimer::Update() {
    if (!FWindow) {
        static const char* const kClass = "TTimerWindow";
        RegisterWindowClass(kClass, TimerWndProc, 0, false);
        FWindow.Reset(::CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        Instance(), nullptr));
        if (!FWindow) throw Exception("Not enough timers available.");
        ::SetWindowLongPtrA(FWindow.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ::KillTimer(FWindow.Get(), 1);
    if (FEnabled && FInterval != 0) ::SetTimer(FWindow.Get(), 1, FInterval, nullptr);
}

LRESULT CALLBACK TTimer::TimerWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        auto* self = reinterpret_cast<TTimer*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        ReportExceptions([&] {
            if (self && self->FEnabled && self->OnTimer) self->OnTimer(self);
        });
        return 0;
    }
    return ::DefWindowProcA(window, msg, wParam, lParam);
}

// ---- TForm ----

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
    const RECT r =
        WindowRectForClient(Scale(FDescription.ClientWidth), Scale(FDescription.ClientHeight),
                            params.Style, params.ExStyle, Dpi());
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
    const RECT frame =
        WindowRectForClient(Scale(FDescription.ClientWidth), Scale(FDescription.ClientHeight),
                            static_cast<DWORD>(::GetWindowLongA(FHandle, GWL_STYLE)),
                            static_cast<DWORD>(::GetWindowLongA(FHandle, GWL_EXSTYLE)), dpi);
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
    HWND h = Handle();
    RECT r;
    ::GetWindowRect(h, &r);
    ::SetWindowPos(h, nullptr, 0, 0, width, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetHeight(int height) {
    HWND h = Handle();
    RECT r;
    ::GetWindowRect(h, &r);
    ::SetWindowPos(h, nullptr, 0, 0, r.right - r.left, height,
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
        TWinControl* button = nullptr;
        if (FindDialogButton(LOWORD(wParam) == IDCANCEL, button)) {
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
            // A form with controls passes the focus on to the control used last, or the first
            // one, as a dialog box does, so the keyboard works at once.
            if (FWantsDialogKeys) {
                HWND target = ::IsWindow(FLastFocus) && ::IsChild(FHandle, FLastFocus)
                                  ? FLastFocus
                                  : ::GetNextDlgTabItem(FHandle, nullptr, FALSE);
                if (target && ::IsWindowVisible(target) && ::IsWindowEnabled(target)) {
                    ::SetFocus(target);
                    message.Result = 0;
                    return;
                }
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

// ---- TApplication ----

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
    ::SetWindowLongPtrA(FWindow.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TApplication::SetTitle(const std::string& title) {
    FTitle = title;
    if (FWindow) ::SetWindowTextA(FWindow.Get(), FTitle.c_str());
}

LRESULT CALLBACK TApplication::AppWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TApplication*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
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

bool TApplication::ProcessMessage(MSG& msg) {
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return false;
    }
    // Modeless dialogs (and forms with buttons) get Tab, Enter and Escape the dialog way.
    if (msg.hwnd) {
        HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
        if (root) {
            char className[16] = {};
            ::GetClassNameA(root, className, sizeof(className));
            bool isDialog = std::strcmp(className, "#32770") == 0;
            auto* control =
                isDialog ? nullptr
                         : reinterpret_cast<TWinControl*>(::GetWindowLongPtrA(root, GWLP_USERDATA));
            bool ours = false;
            if (control && ::GetWindowLongPtrA(root, GWLP_WNDPROC) ==
                               reinterpret_cast<LONG_PTR>(&TWinControl::StaticWndProc)) {
                ours = control->WantsDialogKeys();
            }
            if ((isDialog || ours) && ::IsDialogMessageA(root, &msg)) return true;
        }
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

int TApplication::MessageBox(const std::string& text, const char* caption, UINT flags) {
    HWND owner = ::GetActiveWindow();
    if (!owner && FMainForm && FMainForm->HandleAllocated()) {
        owner = FMainForm->HandleIfCreated();
    }
    return ::MessageBoxA(owner, text.c_str(), caption ? caption : FTitle.c_str(), flags);
}

void TApplication::ShowException(const std::exception& error) {
    MessageBox(error.what(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(const std::exception* error) {
    if (error) {
        ShowException(*error);
    } else {
        MessageBox("An unexpected error occurred.", FTitle.c_str(), MB_OK | MB_ICONSTOP);
    }
}

void TApplication::SetScreenCursor(TCursor cursor) {
    FScreenCursor = cursor;
    ::SetCursor(CursorHandle(cursor == crDefault ? crArrow : cursor));
}

}  // namespace fw
