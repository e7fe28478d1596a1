// Slideshow: the module program that shows the pictures of the saver that starts it. The saver
// names itself in SAVERPAK_SAVER; the slideshow reads its settings and the slides' places from
// that file once, and each window's worker decodes its slides straight from it. Nothing is
// written anywhere, and its bytes are the same in every saver.
//
// Monitors: "each" gives every monitor a window and pictures of its own, "span" one window and
// one picture across the desktop, "primary" pictures on the primary monitor and black on the
// others. The primary monitor's window is made last, so that it is the one the saver finds
// first and keeps in front.

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "modules/slideshow/SlideshowWindow.h"

namespace {

struct Monitor {
    RECT Area;
    bool Primary;
};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        reinterpret_cast<std::vector<Monitor>*>(list)->push_back(
            {info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    }
    return TRUE;
}

// The areas to cover, the primary monitor's last.
std::vector<Monitor> Areas(SlideMonitors monitors) {
    std::vector<Monitor> found;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&found));
    if (monitors == SlideMonitors::Span || found.empty()) {
        const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
        return {{{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                  y + GetSystemMetrics(SM_CYVIRTUALSCREEN)},
                 true}};
    }
    std::stable_partition(found.begin(), found.end(), [](const Monitor& m) { return !m.Primary; });
    return found;
}

class Slideshow {
public:
    explicit Slideshow(SlideshowContent content)
        : FContent(std::move(content)),
          FSequence(std::int32_t(FContent.Slides.size()), FContent.Settings.Order,
                    GetTickCount() ^ GetCurrentProcessId()) {}

    bool Open() {
        for (const Monitor& monitor : Areas(FContent.Settings.Monitors)) {
            auto window = std::make_unique<SlideshowWindow>(monitor.Area, [this] { Close(); });
            if (!window->Handle()) return false;
            const bool shows = monitor.Primary || FContent.Settings.Monitors == SlideMonitors::Each;
            if (!FContent.Problem.empty()) {
                window->ShowMessage(FContent.Problem);
            } else if (shows) {
                window->Start(FContent, FSequence);
            }
            FWindows.push_back(std::move(window));
        }
        return true;
    }

    // Every window goes at once, and the message loop ends; the workers stop within a row and
    // are waited for as the windows are destroyed.
    void Close() {
        for (auto& window : FWindows) window->Close();
        PostQuitMessage(0);
    }

private:
    SlideshowContent FContent;
    SlideSequence FSequence;
    std::vector<std::unique_ptr<SlideshowWindow>> FWindows;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!SlideshowWindow::Register(instance)) return 1;
    Slideshow show(ReadSlideshowContent());
    if (!show.Open()) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The windows are gone. The slideshow writes nothing, so nothing is left to finish: a
    // worker still inside a long decode (a progressive JPEG reads all its scans before its
    // first row) is not waited for.
    ExitProcess(0);
}
