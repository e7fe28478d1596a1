#include "modules/slideshow/SlideshowWindow.h"

#include <algorithm>
#include <utility>

#include "support/Text.h"

namespace {

constexpr wchar_t kClassName[] = L"SaverpakSlideshow";
constexpr UINT_PTR kChangeTimer = 1;
constexpr UINT_PTR kFadeTimer = 2;
// A cross-fade of about a second: 25 steps of 40 ms.
constexpr int kFadeSteps = 25;
constexpr UINT kFadeStepMs = 40;

}  // namespace

bool SlideshowWindow::Register(HINSTANCE instance) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = nullptr;  // no pointer over the pictures
    windowClass.hbrBackground = nullptr;
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass) != 0;
}

SlideshowWindow::SlideshowWindow(const RECT& area, std::function<void()> onClose)
    : FArea(area), FOnClose(std::move(onClose)) {
    CreateWindowExW(WS_EX_TOPMOST, kClassName, L"Slideshow", WS_POPUP | WS_VISIBLE, area.left,
                    area.top, Width(), Height(), nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

SlideshowWindow::~SlideshowWindow() {
    Close();
    FWorker.reset();  // waits for the thread, which stops within a row
}

void SlideshowWindow::Start(const SlideshowContent& content, SlideSequence& sequence) {
    FContent = &content;
    FSequence = &sequence;
    FWorker = std::make_unique<SlideWorker>(FHandle, Width(), Height(), content, sequence);
}

void SlideshowWindow::ShowMessage(const std::string& text) {
    FMessage = WideText(text);
    FCurrent.Reset();
    FIncoming.Reset();
    InvalidateRect(FHandle, nullptr, FALSE);
}

void SlideshowWindow::Close() {
    if (FWorker) FWorker->Stop();
    if (FHandle) DestroyWindow(FHandle);
}

LRESULT CALLBACK SlideshowWindow::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<SlideshowWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<SlideshowWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, w, l);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->FHandle = nullptr;
        return DefWindowProcW(window, message, w, l);
    }
    return self->Handle(message, w, l);
}

LRESULT SlideshowWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_CLOSE:
            FOnClose();
            return 0;
        case WM_SETCURSOR:
            SetCursor(nullptr);
            return TRUE;
        case WM_ERASEBKGND:
            return 1;  // Paint covers every pixel
        case WM_PAINT: {
            ScopedPaintDC paint(FHandle);
            Paint(paint.Get());
            return 0;
        }
        case WM_TIMER:
            if (w == kChangeTimer) ChangeDue();
            if (w == kFadeTimer) FadeStep();
            return 0;
        case kSlideReadyMessage:
            SlideReady(w != 0);
            return 0;
        default:
            return DefWindowProcW(FHandle, message, w, l);
    }
}

void SlideshowWindow::SlideReady(bool noneLeft) {
    if (noneLeft) {
        // Pictures already shown stay; only a window that never had one says why.
        if (!FCurrent && !FIncoming && FSequence)
            ShowMessage("None of the pictures can be shown: " + FSequence->LastFailure());
        return;
    }
    // The first picture shows as soon as it is ready; later ones when their time has come.
    if (!FCurrent || FDue) Change();
}

void SlideshowWindow::ChangeDue() {
    KillTimer(FHandle, kChangeTimer);
    FDue = true;
    Change();
}

void SlideshowWindow::Change() {
    if (FIncoming || !FWorker) return;  // a fade still running finishes first
    UniqueBitmap next = FWorker->Take();
    if (!next) return;  // not ready: it shows when the worker says so
    FDue = false;
    const bool fade = FCurrent && FContent->Settings.Transition == SlideTransition::Fade;
    if (fade) {
        FIncoming = std::move(next);
        FFadeStep = 0;
        SetTimer(FHandle, kFadeTimer, kFadeStepMs, nullptr);
    } else {
        FCurrent = std::move(next);
        InvalidateRect(FHandle, nullptr, FALSE);
    }
    SetTimer(FHandle, kChangeTimer, UINT(FContent->Settings.Seconds) * 1000, nullptr);
}

// Each step blends the incoming frame over what the screen shows, by the share that takes the
// last step's mix to this one's: from k - 1 to k of n steps that is 1 / (n - k + 1), the last
// step all of it. So one AlphaBlend a step, and no frame of the mix is ever held.
void SlideshowWindow::FadeStep() {
    ++FFadeStep;
    {
        ScopedWindowDC dc(FHandle);
        Blend(dc.Get(), BYTE(255 / (kFadeSteps - FFadeStep + 1)));
    }
    if (FFadeStep >= kFadeSteps) {
        KillTimer(FHandle, kFadeTimer);
        FCurrent = std::move(FIncoming);
        if (FDue) Change();
    }
}

void SlideshowWindow::Blend(HDC dc, BYTE alpha) const {
    UniqueMemoryDC memory(CreateCompatibleDC(dc));
    if (!memory) return;
    ScopedSelectObject select(memory.Get(), FIncoming.Get());
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, 0};
    GdiAlphaBlend(dc, 0, 0, Width(), Height(), memory.Get(), 0, 0, Width(), Height(), blend);
}

void SlideshowWindow::Paint(HDC dc) const {
    const RECT all = {0, 0, Width(), Height()};
    UniqueMemoryDC memory(CreateCompatibleDC(dc));
    if (FCurrent && memory) {
        ScopedSelectObject select(memory.Get(), FCurrent.Get());
        BitBlt(dc, 0, 0, Width(), Height(), memory.Get(), 0, 0, SRCCOPY);
    } else {
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    if (FIncoming) Blend(dc, BYTE(255 * FFadeStep / kFadeSteps));
    if (!FMessage.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        // A line a monitor's height can take in, whatever its pixels.
        UniqueFont font(CreateFontW(-std::max(12, Height() / 40), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                    FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH, nullptr));
        ScopedSelectObject select(
            dc, font ? static_cast<HGDIOBJ>(font.Get()) : GetStockObject(DEFAULT_GUI_FONT));
        RECT line = all;
        DrawTextW(dc, FMessage.c_str(), int(FMessage.size()), &line,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}
