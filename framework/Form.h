// TForm: a top-level window built from a description, with its controls.
//
// It keeps the shape of the classic form libraries the saver's windows were designed with: a
// form is described by a table of properties (TFormDescription) and its components, fires
// OnShow and OnClose (with a close action that can refuse the close), takes the dialog keys
// once it holds buttons, and lays itself out again when it moves to a monitor of another DPI.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "framework/Canvas.h"
#include "framework/Component.h"
#include "framework/WinControl.h"

namespace fw {

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

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
    // The window rectangle around the design's client area at the form's DPI.
    RECT DesignFrame(DWORD style, DWORD exStyle) const;
    void SetOuterSize(int width, int height);
    void ApplyStayOnTop();
    void WMDpiChanged(UINT dpi, const RECT& suggested);
    bool WMSetFocus();

    TFormDescription FDescription;
    TFormStyle FFormStyle;
    TWindowState FWindowState;
    bool FShowing = false;
    HWND FLastFocus = nullptr;
};

}  // namespace fw
