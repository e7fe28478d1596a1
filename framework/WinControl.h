// TWinControl: the base of every control with a window of its own, the form included.
//
// Every window message goes through one virtual `WndProc` that a control may override and
// then pass on. Each window of ours is created through one static window procedure that finds
// its object at WM_NCCREATE; after that each message becomes a call of `WndProc` on that
// object. Handles are created lazily, when a window is first needed, so that a subclass's
// virtual methods are in place by then.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Canvas.h"
#include "framework/Component.h"
#include "framework/Cursor.h"
#include "framework/Dpi.h"
#include "support/Handles.h"

namespace fw {

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// A control with a window of its own. Position and size are in the parent's client coordinates,
// given in pixels of the 96-DPI design and scaled to the DPI of the window's monitor.
class TWinControl : public TComponent {
public:
    TWinControl(TComponent* owner, TWinControl* parent);
    ~TWinControl() override;

    HWND Handle();  // creates the window when needed
    HWND HandleIfCreated() const { return FHandle; }
    bool HandleAllocated() const { return FHandle != nullptr; }
    TWinControl* Parent() const { return FParent; }
    const std::vector<TWinControl*>& Children() const { return FChildren; }

    // In 96-DPI design units. What the getters return, like the client size, is in pixels:
    // the window's place and size once it exists.
    void SetBounds(int left, int top, int width, int height);
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    int ClientWidth();
    int ClientHeight();
    RECT ClientRect();

    void SetAlign(TAlign align);
    void SetVisible(bool visible);
    bool Visible() const { return FVisible; }
    void SetEnabled(bool enabled);
    bool Enabled() const { return FEnabled; }
    void SetCaption(const std::string& caption);
    std::string Caption() const;
    void SetColor(TColor color);
    TColor Color() const { return FColor; }
    TFont& Font() { return FFont; }
    void SetFont(const TFont& font);
    void SetCursor(TCursor cursor) { FCursor = cursor; }
    TCursor Cursor() const { return FCursor; }
    void SetBorderWidth(int width) { FBorderWidth = width; }
    void Invalidate();

    // The DPI this control is laid out for, and a design length in its pixels.
    UINT Dpi() const { return FDpi; }
    int Scale(int designLength) const { return ScaleForDpi(designLength, FDpi); }
    // Lays this control and its children out again for another DPI: fonts, positions and
    // sizes; the caller sizes the top-level window.
    void ChangeDpi(UINT dpi);

    TNotifyEvent OnClick;
    virtual void Click();

    // Every message of this control's window goes through here. Pass on what is not handled by
    // calling the base class's WndProc.
    virtual void WndProc(TMessage& message);

    // Lays out the aligned children inside the client area.
    void Realign();

protected:
    struct CreateParams {
        const char* ClassName;
        DWORD Style;
        DWORD ExStyle;
        HWND Parent;
        int X, Y, Width, Height;
        bool OwnClass;  // one of ours, created through the framework's window procedure
    };
    virtual void FillCreateParams(CreateParams& params);
    virtual void CreateHandle();
    virtual void DestroyHandle();
    virtual void AfterCreate() {}
    virtual bool WantsDialogKeys() const { return false; }
    LRESULT DefaultHandler(TMessage& message);
    // What is painted behind this control: its parent's colour unless it was given its own.
    TColor BackgroundColor() const;

    // Small per-message handlers, called from WndProc.
    virtual bool WMEraseBkgnd(HDC dc);
    virtual void WMPaint();
    virtual void WMSize();
    virtual bool WMCommand(WPARAM wParam, LPARAM lParam);
    virtual bool WMCtlColor(TMessage& message);
    virtual bool WMSetCursor(TMessage& message);

    void AddChild(TWinControl* child);
    void RemoveChild(TWinControl* child);
    // The child control whose window this is; null for any other window, one of another
    // process's included, whose user data is no control of ours.
    TWinControl* ChildByHandle(HWND window) const;
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    static void RegisterOwnClass(const char* className, UINT classStyle);
    friend class TApplication;

    HWND FHandle = nullptr;
    bool FUseParentColor = true;
    bool FTransparentToMouse = false;
    UINT FId = 0;

private:
    // Posted to make the windows of children added after the control's own, from the loop.
    static constexpr UINT kCreateChildren = WM_APP + 0x101;

    void CreateChildren();
    void SetPixelBounds(int left, int top, int width, int height);
    POINT PixelOrigin() const;
    RECT WindowRect() const;

    TWinControl* FParent;
    std::vector<TWinControl*> FChildren;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TAlign FAlign = alNone;
    bool FVisible = true;
    bool FEnabled = true;
    std::string FCaption;
    TColor FColor = clBtnFace;
    TFont FFont;
    TCursor FCursor = crDefault;
    int FBorderWidth = 0;
    UINT FDpi = kDesignDpi;
    UniqueBrush FBrush;
    TColor FBrushColor = 0xFFFFFFFF;
    bool FAligning = false;
};

}  // namespace fw
