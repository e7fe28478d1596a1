#include "framework/Timer.h"

#include "framework/Exception.h"
#include "framework/MessageBoxes.h"
#include "framework/WindowClass.h"

namespace fw {

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
        SetWindowObject(FWindow.Get(), this);
    }
    ::KillTimer(FWindow.Get(), 1);
    if (FEnabled && FInterval != 0) ::SetTimer(FWindow.Get(), 1, FInterval, nullptr);
}

LRESULT CALLBACK TTimer::TimerWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        auto* self = WindowObject<TTimer>(window);
        ReportExceptions([&] {
            if (self && self->FEnabled && self->OnTimer) self->OnTimer(self);
        });
        return 0;
    }
    return ::DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace fw
