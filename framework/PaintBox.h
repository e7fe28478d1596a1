// TPaintBox: a rectangle its owner draws on.
#pragma once

#include "framework/Canvas.h"
#include "framework/Component.h"
#include "framework/WinControl.h"

namespace fw {

// A plain rectangle with its own canvas; its owner draws in OnPaint. The window class keeps
// one private DC, so the canvas can be drawn on from a timer as well as during WM_PAINT. Mouse
// input passes through it to the window below.
class TPaintBox : public TWinControl {
public:
    TPaintBox(TComponent* owner, TWinControl* parent);
    TCanvas& Canvas();
    TNotifyEvent OnPaint;

protected:
    void FillCreateParams(CreateParams& params) override;
    void WMPaint() override;
    void WndProc(TMessage& message) override;

private:
    TCanvas FCanvas;
    bool FInPaint = false;
};

}  // namespace fw
