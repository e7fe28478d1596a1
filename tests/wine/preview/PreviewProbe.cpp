// The saver's preview, in-process: this program carries a container appended to itself (packed
// by the test script, as the saver is), makes its own preview host window and runs the saver's
// entry with "/p <host>" in this process, so that the preview's drawing reaches the screen
// (Wine does not show a child window whose parent belongs to another process).
//
//   PreviewProbe.exe show <stop file> <timeout ms>
//       waits until the preview has shown its picture and played its sound (or stopped after
//       a failure), prints what it sees, "ready", then keeps the preview up until the stop file
//       appears and destroys the host, which ends the preview.
//   PreviewProbe.exe close-loading <timeout ms>
//       destroys the host while the loader is still busy.
//
// Output lines (key=value) are checked by PreviewTests.sh. Exit code 0 unless something
// timed out.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/Bitmap.h"
#include "presentation/ConfigurationUnit.h"
#include "presentation/DataUnit.h"
#include "presentation/kwScreensaverUnit.h"
#include "shell/ScreensaverUnit.h"

namespace {

constexpr int kHostWidth = 152;
constexpr int kHostHeight = 112;

enum class Mode { Show, CloseLoading };
Mode RunMode = Mode::Show;
const char* StopFile = nullptr;
DWORD TimeoutMs = 10000;
DWORD Start = 0;
HWND Host = nullptr;
bool SawTimer = false;
bool Reported = false;
bool TimedOut = false;
DWORD ClosedAt = 0;

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, msg, wParam, lParam);
}

HWND CreateHost() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    // White, so that a margin the preview leaves unpainted shows.
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "PreviewProbeHost";
    RegisterClassA(&wc);
    HWND host = CreateWindowExA(0, wc.lpszClassName, "Preview Host",
                                WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100, kHostWidth,
                                kHostHeight, nullptr, nullptr, wc.hInstance, nullptr);
    UpdateWindow(host);
    return host;
}

void Line(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

std::string Hex(COLORREF colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x%02x%02x", GetRValue(colour), GetGValue(colour),
                  GetBValue(colour));
    return text;
}

// What the preview shows, read back from its paint box.
void Report(TkwScreensaverForm& form) {
    const ssPicture& picture = form.Picture();
    const int boxWidth = form.ScreensaverPaintBox->ClientWidth();
    const int boxHeight = form.ScreensaverPaintBox->ClientHeight();
    Line("state=" + std::to_string(form.State()));
    Line("box=" + std::to_string(boxWidth) + "x" + std::to_string(boxHeight));
    Line("picture=" + std::to_string(picture.Width()) + "x" + std::to_string(picture.Height()) +
         " bits=" + std::to_string(picture.BitCount()));
    Line(std::string("palette=") + (form.Palette() ? "1" : "0"));
    HDC screen = GetDC(nullptr);
    Line("depth=" + std::to_string(GetDeviceCaps(screen, BITSPIXEL)));
    ReleaseDC(nullptr, screen);
    Line(std::string("loader-error=") +
         (form.Loader() && form.Loader()->Failed() ? form.Loader()->ErrorMessage() : ""));
    HWND box = form.ScreensaverPaintBox->Handle();
    POINT origin{0, 0};
    ClientToScreen(box, &origin);
    Line("origin=" + std::to_string(origin.x) + "," + std::to_string(origin.y));
    HDC dc = GetDC(box);
    // Every pixel of the box: where the picture is and what colour it shows.
    int left = boxWidth, top = boxHeight, right = -1, bottom = -1;
    for (int y = 0; y < boxHeight; ++y) {
        for (int x = 0; x < boxWidth; ++x) {
            if (GetPixel(dc, x, y) != RGB(0, 0, 0)) {
                left = std::min(left, x), top = std::min(top, y);
                right = std::max(right, x), bottom = std::max(bottom, y);
            }
        }
    }
    Line("painted=" + std::to_string(left) + "," + std::to_string(top) + "-" +
         std::to_string(right) + "," + std::to_string(bottom));
    Line("centre=" + Hex(GetPixel(dc, boxWidth / 2, boxHeight / 2)));
    Line("corner=" + Hex(GetPixel(dc, 0, 0)));
    ReleaseDC(box, dc);
    Line("ready");
}

void CALLBACK Check(HWND, UINT, UINT_PTR, DWORD) {
    const DWORD elapsed = GetTickCount() - Start;
    auto* form =
        fw::Application ? dynamic_cast<TkwScreensaverForm*>(fw::Application->MainForm()) : nullptr;
    if (!Host) return;
    if (elapsed > TimeoutMs) {
        Line("timeout state=" + std::to_string(form ? form->State() : -1));
        TimedOut = true;
        DestroyWindow(Host);
        Host = nullptr;
        return;
    }
    if (!form) return;
    if (RunMode == Mode::CloseLoading) {
        if (form->State() == kStateLoadingPicture && form->Loader() && form->Loader()->IsBusy()) {
            Line("closing-while-loading");
            ClosedAt = GetTickCount();
            DestroyWindow(Host);
            Host = nullptr;
        }
        return;
    }
    if (form->ItemTimer->Enabled()) SawTimer = true;
    if (!Reported && SawTimer && !form->ItemTimer->Enabled()) {
        Reported = true;
        Report(*form);
    }
    if (Reported && GetFileAttributesA(StopFile) != INVALID_FILE_ATTRIBUTES) {
        DestroyWindow(Host);
        Host = nullptr;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "show") {
        RunMode = Mode::Show;
        StopFile = argv[2];
        TimeoutMs = std::strtoul(argv[3], nullptr, 10);
    } else if (argc >= 3 && std::string(argv[1]) == "close-loading") {
        RunMode = Mode::CloseLoading;
        TimeoutMs = std::strtoul(argv[2], nullptr, 10);
    } else {
        std::fprintf(stderr, "usage: PreviewProbe show <stop file> <ms> | close-loading <ms>\n");
        return 2;
    }
    Host = CreateHost();
    if (!Host) return 2;
    Start = GetTickCount();
    SetTimer(nullptr, 0, 10, Check);

    SaverParts parts;
    parts.CreateSettings = [](fw::TApplication& application) {
        new TScreensaverSettings(&application);
    };
    parts.CreatePresentationForm = CreatePresentationForm;
    parts.CreateConfigurationForm = CreateConfigurationForm;
    const std::string command = "/p " + std::to_string(reinterpret_cast<LONG_PTR>(Host));
    SaverMain(command.c_str(), parts);

    if (ClosedAt) Line("closed-after-ms=" + std::to_string(GetTickCount() - ClosedAt));
    // Every picture the preview held has been released.
    Line("pixel-blocks=" + std::to_string(PixelBlockBytes()));
    return TimedOut ? 1 : 0;
}
