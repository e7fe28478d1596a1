#include "framework/PaintBox.h"

#include "support/Handles.h"

namespace fw {

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
        ScopedWindowDC dc(FHandle);
        FCanvas.SetHandle(dc.Get());
    }
    FCanvas.Font = Font();
    return FCanvas;
}

void TPaintBox::WMPaint() {
    ScopedPaintDC paint(FHandle);
    FCanvas.SetHandle(paint.Get());
    FInPaint = true;
    TCanvas& canvas = Canvas();
    canvas.BrushColor = BackgroundColor();
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

}  // namespace fw
