#include "presentation/PointerWatch.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdlib>

namespace {

long Size(const POINT& p) { return std::max(std::labs(p.x), std::labs(p.y)); }

}  // namespace

void PointerWatch::Start(HWND target, POINT origin) {
    if (!FStarted) FLastPoint = origin;
    FStarted = true;
    FTarget = target;
    FLive = this;
    if (!FHook) FHook.Reset(SetWindowsHookExA(WH_MOUSE_LL, HookProc, GetModuleHandleA(nullptr), 0));
}

bool PointerWatch::Stop() {
    if (FLive == this) FLive = nullptr;
    FTarget = nullptr;
    if (!FHook) return false;
    FHook.Reset();
    return true;
}

void PointerWatch::Add(WPARAM stepFromCursor, LPARAM point) {
    const POINT at = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    POINT step = {GET_X_LPARAM(stepFromCursor), GET_Y_LPARAM(stepFromCursor)};
    const POINT fromLast = {at.x - FLastPoint.x, at.y - FLastPoint.y};
    if (Size(fromLast) < Size(step)) step = fromLast;
    FLastPoint = at;
    FMoved.x += step.x;
    FMoved.y += step.y;
}

bool PointerWatch::MovedBeyond(long threshold) const { return Size(FMoved) > threshold; }

void PointerWatch::Forget() {
    FMoved = {0, 0};
    ::GetCursorPos(&FLastPoint);
}

LRESULT CALLBACK PointerWatch::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    HWND target = FLive ? FLive->FTarget : nullptr;
    if (code == HC_ACTION && target) {
        const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        switch (wParam) {
            case WM_MOUSEMOVE:
                if (!(event->flags & LLMHF_INJECTED)) {
                    POINT now;
                    GetCursorPos(&now);
                    PostMessageA(target, kPointerEvent,
                                 MAKELPARAM(event->pt.x - now.x, event->pt.y - now.y),
                                 MAKELPARAM(event->pt.x, event->pt.y));
                }
                break;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
                // The press ends the saver; the module program never sees it.
                PostMessageA(target, static_cast<UINT>(wParam), 0, 0);
                return 1;
            case WM_LBUTTONUP:
            case WM_RBUTTONUP:
            case WM_MBUTTONUP:
                return 1;
        }
    }
    return CallNextHookEx(FLive ? FLive->FHook.Get() : nullptr, code, wParam, lParam);
}
