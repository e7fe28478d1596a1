// A small window framework on Win32: the application object, forms built from descriptions,
// and the few controls the saver's windows are made of.
//
// It keeps the shape of the classic form libraries the saver's windows were designed with:
// a form is described by a table of properties and components, fires OnShow and OnClose (with a
// close action that can refuse the close), and every window message goes through one virtual
// `WndProc` that a form may override and then pass on. Each window of ours is created through
// one static window procedure that finds its object at WM_NCCREATE; after that each message
// becomes a call of `WndProc` on that object. Handles are created lazily, when a window is first
// needed, so that a subclass's virtual methods are in place by then.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Dpi.h"
#include "framework/Handles.h"

namespace fw {

// The framework's exception class. A message text and nothing else.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const { return FMessage; }

private:
    std::string FMessage;
};

// A colour: an RGB value, or a system colour index with the top bit set.
using TColor = DWORD;
constexpr TColor kSystemColorFlag = 0x80000000;
constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clAqua = RGB(0, 255, 255);
constexpr TColor clWindowText = kSystemColorFlag | COLOR_WINDOWTEXT;
constexpr TColor clBtnFace = kSystemColorFlag | COLOR_BTNFACE;
constexpr TColor clInfoBk = kSystemColorFlag | COLOR_INFOBK;
COLORREF ColorToRGB(TColor color);

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

enum TCursor { crDefault, crArrow, crHourGlass, crHandPoint, crNone };
HCURSOR CursorHandle(TCursor cursor);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4 };

// A font description and the GDI font made from it on demand. The size is in points; the
// font's pixels follow the DPI of the window it is used on (0: the screen's logical pixels).
class TFont {
public:
    TFont() = default;
    TFont(std::string name, int size, TColor color = clWindowText, unsigned style = 0)
        : FName(std::move(name)), FSize(size), FColor(color), FStyle(style) {}
    TFont(const TFont& other) : TFont(other.FName, other.FSize, other.FColor, other.FStyle) {
        FDpi = other.FDpi;
    }
    TFont& operator=(const TFont& other);

    const std::string& Name() const { return FName; }
    int Size() const { return FSize; }
    TColor Color() const { return FColor; }
    unsigned Style() const { return FStyle; }
    void SetColor(TColor color) { FColor = color; }
    UINT Dpi() const { return FDpi; }
    void SetDpi(UINT dpi);
    HFONT Handle();

private:
    std::string FName = "MS Sans Serif";
    int FSize = 8;
    TColor FColor = clWindowText;
    unsigned FStyle = 0;
    UINT FDpi = 0;
    UniqueFont FHandle;
};

// Drawing on a device context with the current brush and font.
class TCanvas {
public:
    void SetHandle(HDC dc) { FDC = dc; }
    HDC Handle() const { return FDC; }
    TColor BrushColor = clWhite;
    TFont Font;

    void FillRect(const RECT& rect);
    // Draws opaque, the text's background in the brush colour.
    void TextOut(int x, int y, const std::string& text);
    SIZE TextExtent(const std::string& text);

private:
    HDC FDC = nullptr;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TWinControl;

// A component owned by another; owners destroy what they own, last created first.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    TComponent* Owner() const { return FOwner; }

protected:
    // Destroys the owned components now, last created first.
    void DestroyComponents();

private:
    TComponent* FOwner;
    std::vector<TComponent*> FComponents;
};

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
    bool FindDialogButton(bool cancel, TWinControl*& found);
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    static void RegisterOwnClass(const char* className, UINT classStyle);
    friend class TApplication;

    HWND FHandle = nullptr;
    bool FUseParentColor = true;
    bool FTransparentToMouse = false;
    UINT FId = 0;

private:
    void CreateChildren();
    void SetPixelBounds(int left, int top, int width, int height);
    POINT PixelOrigin() const;

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

// A plain rectangle with its own canvas; its owner draws in OnPaint. The window class keeps
// one private DC, so the canvas can be drawn on from a timer as well as during WM_PAINT.
class TPaintBox : public TWinControl {
public:
    TPaintBox(TComponent* owner, TWinControl* parent);
    TCanvas& Canvas();
    TNotifyEvent OnPaint;

protected:
    void FillCreateParams(CreateParams& params) override;
    void WMPaint() override;
    bool WMEraseBkgnd(HDC dc) override;
    void WndProc(TMessage& message) override;

private:
    TCanvas FCanvas;
    bool FInPaint = false;
};

class TPanel : public TWinControl {
public:
    TPanel(TComponent* owner, TWinControl* parent);

protected:
    void FillCreateParams(CreateParams& params) override;
};

class TLabel : public TWinControl {
public:
    TLabel(TComponent* owner, TWinControl* parent);

protected:
    void FillCreateParams(CreateParams& params) override;
};

class TButton : public TWinControl {
public:
    TButton(TComponent* owner, TWinControl* parent);
    bool Default = false;  // Enter clicks it
    bool Cancel = false;   // Escape clicks it

protected:
    void FillCreateParams(CreateParams& params) override;
};

class TCheckBox : public TWinControl {
public:
    TCheckBox(TComponent* owner, TWinControl* parent);
    bool Checked() const;
    void SetChecked(bool checked);

protected:
    void FillCreateParams(CreateParams& params) override;
    void AfterCreate() override;

private:
    bool FChecked = false;
};

// A window timer. It owns a message-only window, so it works whether or not its owner has a
// window yet, and stops when it is destroyed.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner, UINT interval = 1000, bool enabled = true);
    ~TTimer() override;
    void SetEnabled(bool enabled);
    bool Enabled() const { return FEnabled; }
    void SetInterval(UINT interval);
    UINT Interval() const { return FInterval; }
    TNotifyEvent OnTimer;

private:
    void Update();
    static LRESULT CALLBACK TimerWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    UINT FInterval;
    bool FEnabled;
    UniqueWindow FWindow;
};

enum TBorderStyle { bsNone, bsSingle, bsDialog, bsSizeable };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TWindowState { wsNormal, wsMaximized };
enum TPosition { poDesigned, poScreenCenter };

// What a form looks like before it is shown. The client size is of the 96-DPI design; the
// position is the screen's.
struct TFormDescription {
    const char* ClassName = "TForm";
    std::string Caption;
    int Left = 0, Top = 0;
    int ClientWidth = 320, ClientHeight = 240;
    TBorderStyle BorderStyle = bsSizeable;
    TPosition Position = poDesigned;
    TColor Color = clBtnFace;
    TFont Font{"MS Sans Serif", 8};
    TFormStyle FormStyle = fsNormal;
    TWindowState WindowState = wsNormal;
    bool Visible = false;
};

class TForm : public TWinControl {
public:
    TForm(TComponent* owner, const TFormDescription& description);
    ~TForm() override;

    void Show();
    void Hide();
    // Asks OnClose; unless the action is caNone the form hides, or, when it is the main form,
    // the application ends.
    void Close();
    void SetFormStyle(TFormStyle style);
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetWindowState(TWindowState state);
    TWindowState WindowState() const { return FWindowState; }
    bool ShowRequested() const { return FDescription.Visible; }
    // The window's outer size in pixels.
    void SetWidth(int width);
    void SetHeight(int height);
    // Tab, Enter and Escape as in a dialog box (IsDialogMessage); on by itself once the form
    // holds a button or a check box.
    void EnableDialogKeys() { FWantsDialogKeys = true; }

    TNotifyEvent OnShow;
    TCloseEvent OnClose;

    void WndProc(TMessage& message) override;

protected:
    void FillCreateParams(CreateParams& params) override;
    void CreateHandle() override;
    bool WantsDialogKeys() const override { return FWantsDialogKeys; }
    // After the form has been laid out for another DPI (WM_DPICHANGED); fits what the form
    // sizes itself.
    virtual void DpiChanged() {}
    bool WMCommand(WPARAM wParam, LPARAM lParam) override;
    virtual void DoShow();
    virtual void DoClose(TCloseAction& action);

    bool FWantsDialogKeys = false;

private:
    void ApplyStayOnTop();
    void WMDpiChanged(UINT dpi, const RECT& suggested);

    TFormDescription FDescription;
    TFormStyle FFormStyle;
    TWindowState FWindowState;
    bool FShowing = false;
    HWND FLastFocus = nullptr;
};

// A non-visual module created like a form; it has no window.
class TDataModule : public TComponent {
public:
    explicit TDataModule(TComponent* owner) : TComponent(owner) {}
};

// The application object: the hidden top-level window whose caption is the title, the main
// form, the message loop and the boxes that show errors. One per process, made by the entry.
class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // Creates the hidden application window; everything else needs it.
    void Initialize();
    HWND Handle() const { return FWindow.Get(); }
    void SetTitle(const std::string& title);
    const std::string& Title() const { return FTitle; }

    // Creates a form owned by the application; the first one becomes the main form.
    template <typename T, typename... Args>
    T* CreateForm(Args&&... args) {
        T* form = new T(this, std::forward<Args>(args)...);
        if (!FMainForm) FMainForm = form;
        return form;
    }
    TForm* MainForm() const { return FMainForm; }

    // Shows the main form when it asks to be shown and runs the message loop until Terminate.
    // Returns at once when there is no main form.
    void Run();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Handles the messages waiting now, then returns.
    void ProcessMessages();

    int MessageBox(const std::string& text, const char* caption = nullptr, UINT flags = MB_OK);
    // The exception box: the message, the title as caption, the error icon.
    void ShowException(const std::exception& error);
    // Called for an exception that escaped a message handler.
    void HandleException(const std::exception* error);

    void SetScreenCursor(TCursor cursor);
    TCursor ScreenCursor() const { return FScreenCursor; }

    // Forms report here when they become active.
    void NoteActiveForm(HWND form) { FLastActiveForm = form; }

private:
    bool ProcessMessage(MSG& msg);
    static LRESULT CALLBACK AppWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    std::string FTitle;
    UniqueWindow FWindow;
    TForm* FMainForm = nullptr;
    bool FTerminated = false;
    TCursor FScreenCursor = crDefault;
    HWND FLastActiveForm = nullptr;
};

// The process's application object while one exists.
extern TApplication* Application;

}  // namespace fw
