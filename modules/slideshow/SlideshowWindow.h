// One window of the slideshow: a topmost popup over one monitor (or, spanning, the whole
// desktop) that shows the frames its worker prepares, changing them on a timer, with a
// cross-fade or a cut. It draws no cursor and closes the whole slideshow on WM_CLOSE.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "modules/slideshow/SlideWorker.h"

class SlideshowWindow {
public:
    // `onClose` runs when the window is asked to close (the slideshow then closes all).
    SlideshowWindow(const RECT& area, std::function<void()> onClose);
    ~SlideshowWindow();
    SlideshowWindow(const SlideshowWindow&) = delete;
    SlideshowWindow& operator=(const SlideshowWindow&) = delete;

    HWND Handle() const { return FHandle; }
    std::int32_t Width() const { return FArea.right - FArea.left; }
    std::int32_t Height() const { return FArea.bottom - FArea.top; }
    // Starts showing slides; without a call the window stays black.
    void Start(const SlideshowContent& content, SlideSequence& sequence);
    // Shows one line in the middle instead of pictures.
    void ShowMessage(const std::string& text);
    // Stops the worker without waiting for it, and destroys the window.
    void Close();

    static bool Register(HINSTANCE instance);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void SlideReady(bool noneLeft);
    void ChangeDue();
    void Change();
    void FadeStep();
    void Blend(HDC dc, BYTE alpha) const;
    void Paint(HDC dc) const;

    HWND FHandle = nullptr;
    RECT FArea;
    std::function<void()> FOnClose;
    const SlideshowContent* FContent = nullptr;
    SlideSequence* FSequence = nullptr;
    std::unique_ptr<SlideWorker> FWorker;
    UniqueBitmap FCurrent, FIncoming;  // FIncoming: the frame fading in
    int FFadeStep = 0;
    bool FDue = false;  // the current slide's time is up; the next shows once ready
    std::wstring FMessage;
};
