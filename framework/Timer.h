// TTimer: OnTimer every Interval milliseconds while enabled, through the message loop.
#pragma once

#include <windows.h>

#include "framework/Component.h"
#include "support/Handles.h"

namespace fw {

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

}  // namespace fw
