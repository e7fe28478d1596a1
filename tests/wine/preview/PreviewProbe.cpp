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
//   PreviewProbe.exe layout <folder> <new dpi> <timeout ms>
//       runs "/c" and measures the configuration dialog at the DPI it was made for, then the
//       close-saver dialog, then the configuration dialog again after a WM_DPICHANGED to
//       <new dpi>. It prints "ready-config" and "ready-closesaver" and waits each time for the
//       file shot1 or shot2 in <folder> (the script takes a screenshot in between).
//
// Output lines (key=value) are checked by PreviewTests.sh. Exit code 0 unless something
// timed out.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../ProbeCommands.h"

#include "imaging/Bitmap.h"
#include "presentation/ConfigurationUnit.h"
#include "presentation/DataUnit.h"
#include "presentation/SaverForms.h"
#include "presentation/kwScreensaverUnit.h"
#include "shell/ScreensaverUnit.h"

namespace {

constexpr int kHostWidth = 152;
constexpr int kHostHeight = 112;

enum class Mode { Show, CloseLoading, Layout };
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

// ---- The dialogs' layout ----

std::string LayoutFolder;
UINT NewDpi = 96;
int LayoutStep = 0;
HWND CloseSaver = nullptr;

std::string Rect(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

std::string Size(LONG width, LONG height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

bool FileExists(const std::string& name) {
    return GetFileAttributesA((LayoutFolder + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The room a control's text needs, measured with the control's own font: the text, plus the
// box and its gap for a check box and the frame for a push button, at `dpi`.
SIZE NeededSize(HWND control, UINT dpi) {
    char text[1024] = {};
    GetWindowTextA(control, text, sizeof text);
    char className[32] = {};
    GetClassNameA(control, className, sizeof className);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const bool button = _stricmp(className, "Button") == 0;
    const bool checkBox = button && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    const bool wraps = !button && (style & SS_TYPEMASK) == SS_LEFT && !(style & SS_NOTIFY);
    RECT client;
    GetClientRect(control, &client);
    RECT need = {0, 0, wraps ? client.right : 0, 0};
    UINT format = DT_CALCRECT | (wraps ? DT_WORDBREAK : DT_SINGLELINE);
    if (!button && (style & SS_NOPREFIX)) format |= DT_NOPREFIX;
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text, -1, &need, format);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    SIZE size = {need.right - need.left, need.bottom - need.top};
    if (checkBox) size.cx += fw::ScaleForDpi(13 + 4, dpi);
    if (button && !checkBox) {
        size.cx += fw::ScaleForDpi(4, dpi);
        size.cy += fw::ScaleForDpi(4, dpi);
    }
    return size;
}

// One line a control: "fit" or "short", what its text needs and what it has.
void ReportControl(const std::string& name, HWND control, UINT dpi) {
    if (!IsWindowVisible(control)) return;
    const SIZE need = NeededSize(control, dpi);
    RECT have;
    GetClientRect(control, &have);
    const bool fits = need.cx <= have.right && need.cy <= have.bottom;
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    Line(std::string(fits ? "fit " : "short ") + name + " need=" + Size(need.cx, need.cy) +
         " have=" + Size(have.right, have.bottom) + " font=" + std::to_string(-font.lfHeight));
}

// Where the logo is drawn: the first and last pixel of the middle row and column that are not
// the form's background, in the paint box's client coordinates.
std::string LogoExtent(TConfigurationForm& form) {
    HWND box = form.LogoPaintBox->Handle();
    RECT client;
    GetClientRect(box, &client);
    const COLORREF background = GetSysColor(COLOR_BTNFACE);
    HDC dc = GetDC(box);
    int left = client.right, right = -1, top = client.bottom, bottom = -1;
    for (int x = 0; x < client.right; ++x) {
        if (GetPixel(dc, x, client.bottom / 2) == background) continue;
        left = std::min(left, x), right = std::max(right, x);
    }
    for (int y = 0; y < client.bottom; ++y) {
        if (GetPixel(dc, client.right / 2, y) == background) continue;
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
    ReleaseDC(box, dc);
    return std::to_string(left) + "," + std::to_string(top) + "-" + std::to_string(right) + "," +
           std::to_string(bottom) + " box=" + Size(client.right, client.bottom);
}

void ReportConfiguration(TConfigurationForm& form, const char* phase) {
    HWND window = form.Handle();
    RECT client, frame;
    GetClientRect(window, &client);
    GetWindowRect(window, &frame);
    Line(std::string(phase) + " dpi=" + std::to_string(form.Dpi()) +
         " window-dpi=" + std::to_string(fw::WindowDpi(window)));
    Line(std::string(phase) + " client=" + Size(client.right, client.bottom));
    Line(std::string(phase) + " rect=" + Rect(frame));
    Line(std::string(phase) + " ok=" + Size(form.OkButton->Width(), form.OkButton->Height()));
    Line(std::string(phase) + " logo=" + LogoExtent(form));
    ReportControl("config-link", form.Label1->Handle(), form.Dpi());
    ReportControl("config-sound", form.CheckBox_Sound->Handle(), form.Dpi());
    ReportControl("config-music", form.CheckBox_Music->Handle(), form.Dpi());
    ReportControl("config-ok", form.OkButton->Handle(), form.Dpi());
    ReportControl("config-cancel", form.CancelButton->Handle(), form.Dpi());
}

void ReportCloseSaver(HWND dialog) {
    RECT frame;
    GetWindowRect(dialog, &frame);
    Line("closesaver rect=" + Rect(frame));
    const UINT dpi = fw::WindowDpi(dialog);
    ReportControl("closesaver-ok", GetDlgItem(dialog, IDOK), dpi);
    ReportControl("closesaver-text", GetDlgItem(dialog, 101), dpi);
}

// Sends the dialog to another DPI as the system would after a move to another monitor: the
// new DPI and a rectangle for it about the same centre. Wine keeps drawing the frame of its
// one system DPI, so the rectangle is the client area scaled plus the frame as it is.
void ChangeDpi(TConfigurationForm& form) {
    HWND window = form.Handle();
    RECT frame, client;
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    const UINT oldDpi = form.Dpi();
    const int width = frame.right - frame.left - client.right +
                      MulDiv(client.right, static_cast<int>(NewDpi), static_cast<int>(oldDpi));
    const int height = frame.bottom - frame.top - client.bottom +
                       MulDiv(client.bottom, static_cast<int>(NewDpi), static_cast<int>(oldDpi));
    RECT suggested;
    suggested.left = (frame.left + frame.right - width) / 2;
    suggested.top = (frame.top + frame.bottom - height) / 2;
    suggested.right = suggested.left + width;
    suggested.bottom = suggested.top + height;
    Line("suggested=" + Rect(suggested));
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(NewDpi, NewDpi),
                 reinterpret_cast<LPARAM>(&suggested));
}

void CALLBACK LayoutStepTimer(HWND, UINT, UINT_PTR, DWORD) {
    auto* form =
        fw::Application ? dynamic_cast<TConfigurationForm*>(fw::Application->MainForm()) : nullptr;
    if (GetTickCount() - Start > TimeoutMs) {
        Line("timeout step=" + std::to_string(LayoutStep));
        TimedOut = true;
        if (fw::Application) fw::Application->Terminate();
        return;
    }
    if (!form || !form->HandleAllocated() || !IsWindowVisible(form->HandleIfCreated())) return;
    // Everything painted before it is looked at.
    RedrawWindow(form->HandleIfCreated(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    switch (LayoutStep) {
        case 0:
            ReportConfiguration(*form, "design");
            Line("ready-config");
            ++LayoutStep;
            break;
        case 1:
            if (!FileExists("shot1")) return;
            CloseSaver = CreateCloseSaverDialog(form->Handle());
            if (!CloseSaver) {
                Line("no-closesaver");
                LayoutStep = 3;
                return;
            }
            ReportCloseSaver(CloseSaver);
            Line("ready-closesaver");
            ++LayoutStep;
            break;
        case 2:
            if (!FileExists("shot2")) return;
            DestroyWindow(CloseSaver);
            ++LayoutStep;
            break;
        case 3:
            ChangeDpi(*form);
            RedrawWindow(form->HandleIfCreated(), nullptr, nullptr,
                         RDW_UPDATENOW | RDW_ALLCHILDREN);
            ReportConfiguration(*form, "changed");
            Line("done");
            ++LayoutStep;
            form->Close();
            break;
        default:
            break;
    }
}

int RunLayout(const char* folder, UINT newDpi, DWORD timeoutMs) {
    RunMode = Mode::Layout;
    LayoutFolder = folder;
    NewDpi = newDpi;
    TimeoutMs = timeoutMs;
    Start = GetTickCount();
    SetTimer(nullptr, 0, 20, LayoutStepTimer);
    SaverMain("/c", SaverForms());
    return TimedOut ? 1 : 0;
}

int RunPreview(Mode mode) {
    RunMode = mode;
    Host = CreateHost();
    if (!Host) return 2;
    Start = GetTickCount();
    SetTimer(nullptr, 0, 10, Check);

    const std::string command = "/p " + std::to_string(reinterpret_cast<LONG_PTR>(Host));
    SaverMain(command.c_str(), SaverForms());

    if (ClosedAt) Line("closed-after-ms=" + std::to_string(GetTickCount() - ClosedAt));
    // Every picture the preview held has been released.
    Line("pixel-blocks=" + std::to_string(PixelBlockBytes()));
    return TimedOut ? 1 : 0;
}

const ProbeCommand kCommands[] = {
    {"show", 2,
     [](char** args) {
         StopFile = args[0];
         TimeoutMs = std::strtoul(args[1], nullptr, 10);
         return RunPreview(Mode::Show);
     }},
    {"close-loading", 1,
     [](char** args) {
         TimeoutMs = std::strtoul(args[0], nullptr, 10);
         return RunPreview(Mode::CloseLoading);
     }},
    {"layout", 3,
     [](char** args) {
         return RunLayout(args[0], std::strtoul(args[1], nullptr, 10),
                          std::strtoul(args[2], nullptr, 10));
     }},
};

}  // namespace

int main(int argc, char** argv) { return RunProbeCommand(argc, argv, kCommands, 2); }
