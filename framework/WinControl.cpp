#include "framework/WinControl.h"

#include <algorithm>
#include <utility>

#include "framework/Exception.h"
#include "framework/WindowClass.h"

namespace fw {

namespace {

constexpr UINT kFirstControlId = 1000;  // clear of IDOK/IDCANCEL, which the dialog keys send

}  // namespace

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

TColor TWinControl::BackgroundColor() const {
    return FUseParentColor && FParent ? FParent->FColor : FColor;
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
        if (FHandle) SetWindowObject(FHandle, this);
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
    SetWindowObject(window, nullptr);
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

RECT TWinControl::WindowRect() const {
    RECT r;
    ::GetWindowRect(FHandle, &r);
    return r;
}

POINT TWinControl::PixelOrigin() const {
    POINT origin = {Scale(FLeft), Scale(FTop)};
    if (FHandle) {
        const RECT r = WindowRect();
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
    const RECT r = WindowRect();
    return r.right - r.left;
}

int TWinControl::Height() const {
    if (!FHandle) return Scale(FHeight);
    const RECT r = WindowRect();
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

}  // namespace fw
