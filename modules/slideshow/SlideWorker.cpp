#include "modules/slideshow/SlideWorker.h"

SlideWorker::SlideWorker(HWND window, std::int32_t width, std::int32_t height,
                         const SlideshowContent& content, SlideSequence& sequence)
    : FWindow(window),
      FWidth(width),
      FHeight(height),
      FContent(content),
      FSequence(sequence),
      FThread([this] { Run(); }) {}

SlideWorker::~SlideWorker() {
    Stop();
    FThread.join();
}

void SlideWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
    }
    FTaken.notify_all();
}

UniqueBitmap SlideWorker::Take() {
    UniqueBitmap frame;
    {
        std::lock_guard<std::mutex> lock(FLock);
        frame = std::move(FReady);
    }
    if (frame) FTaken.notify_all();
    return frame;
}

void SlideWorker::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(FLock);
            FTaken.wait(lock, [this] { return FStop || !FReady; });
        }
        if (FStop) return;
        UniqueBitmap frame = PrepareNext();
        if (FStop) return;
        if (!frame) {
            PostMessageW(FWindow, kSlideReadyMessage, 1, 0);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(FLock);
            FReady = std::move(frame);
        }
        PostMessageW(FWindow, kSlideReadyMessage, 0, 0);
    }
}

// The next slide that can be shown, prepared; none when no slide is left or the work stopped.
UniqueBitmap SlideWorker::PrepareNext() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = FWidth;
    info.bmiHeader.biHeight = -FHeight;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    while (!FStop) {
        const std::int32_t slide = FSequence.Next();
        if (slide < 0) return {};
        void* bits = nullptr;
        UniqueBitmap frame(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!frame) {
            FSequence.Failed(slide, "There is not enough memory for a picture of this screen.");
            continue;
        }
        const SlideFrame target{static_cast<std::uint8_t*>(bits), FWidth, FHeight,
                                (std::ptrdiff_t(FWidth) * 3 + 3) & ~std::ptrdiff_t(3)};
        const std::string error =
            PrepareSlide(FContent.Source(slide), FContent.Settings.Fit, target, &FStop);
        if (error.empty()) return frame;
        if (!FStop) FSequence.Failed(slide, error);
    }
    return {};
}
