// Prepares one window's next slide on a thread of its own while the current one shows: a
// queue of one frame, so that at most that frame waits, ready, while the window shows (or
// fades between) its two. The window thread never waits on the decoder: it takes a ready
// frame or finds none, and hears of the next by a posted message.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "modules/slideshow/SlideSequence.h"
#include "modules/slideshow/SlideshowContent.h"
#include "support/Handles.h"

// Posted to the window: a frame is ready (wParam 0), or no slide can be shown (wParam 1).
constexpr UINT kSlideReadyMessage = WM_APP + 1;

class SlideWorker {
public:
    SlideWorker(HWND window, std::int32_t width, std::int32_t height,
                const SlideshowContent& content, SlideSequence& sequence);
    // Stops the work in hand (within a row) and waits for the thread.
    ~SlideWorker();
    SlideWorker(const SlideWorker&) = delete;
    SlideWorker& operator=(const SlideWorker&) = delete;

    // The ready frame (a top-down 24-bit DIB section of the window's size), or none; taking
    // it starts the next.
    UniqueBitmap Take();
    // Asks the thread to stop; the destructor waits for it.
    void Stop();

private:
    void Run();
    UniqueBitmap PrepareNext();

    HWND FWindow;
    std::int32_t FWidth, FHeight;
    const SlideshowContent& FContent;
    SlideSequence& FSequence;
    std::mutex FLock;
    std::condition_variable FTaken;
    UniqueBitmap FReady;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};
