// Snowfall: the demo module program. The saver extracts it, writes "Snowfall.cfg" beside it and
// starts it; it fills the screen with falling snow and the count of days to Christmas, and shows
// the Sound and Music choices it was given (sdk/saverpak_module.h reads them; docs/MODULES.md).
// After a while it ends by itself, so the saver's restart shows too (SNOWFALL_SECONDS in the
// environment sets the while; 0 runs for ever).

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "saverpak_module.h"

namespace {

struct Flake {
    int x, y, speed, size, drift;
};

class Snowfall {
public:
    Snowfall(int width, int height, const SaverpakArguments& arguments)
        : FWidth(width), FHeight(height), FArguments(arguments) {
        for (int i = 0; i < 220; ++i) {
            FFlakes.push_back({static_cast<int>(Next() % width), static_cast<int>(Next() % height),
                               2 + static_cast<int>(Next() % 5), 2 + static_cast<int>(Next() % 4),
                               static_cast<int>(Next() % 3) - 1});
        }
    }

    void Step() {
        for (Flake& flake : FFlakes) {
            flake.y += flake.speed;
            flake.x += flake.drift;
            if (flake.y > FHeight) {
                flake.y = -flake.size;
                flake.x = static_cast<int>(Next() % FWidth);
            }
            if (flake.x < 0) flake.x += FWidth;
            if (flake.x >= FWidth) flake.x -= FWidth;
        }
    }

    void Paint(HDC dc) const {
        RECT all = {0, 0, FWidth, FHeight};
        HBRUSH night = CreateSolidBrush(RGB(12, 24, 64));
        FillRect(dc, &all, night);
        DeleteObject(night);

        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
        HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
        for (const Flake& flake : FFlakes) {
            Ellipse(dc, flake.x, flake.y, flake.x + flake.size, flake.y + flake.size);
        }
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);

        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        DrawLine(dc, Headline(), FHeight / 2 - FHeight / 10, FHeight / 12);
        DrawLine(dc, Details(), FHeight / 2 + FHeight / 30, FHeight / 28);
    }

private:
    std::string Headline() const {
        if (FArguments.days == 0) return "Merry Christmas!";
        if (FArguments.days == 1) return "1 day to Christmas";
        return std::to_string(FArguments.days) + " days to Christmas";
    }

    std::string Details() const {
        // The days are counted from today all the same.
        if (FArguments.defaulted == SAVERPAK_DEFAULTED_ALL) return "(no argument file)";
        static const char* const kChoices[] = {"on", "once", "off"};
        auto choice = [](int value) { return kChoices[value]; };
        return std::string("Sound ") + choice(FArguments.sound) + "   Music " +
               choice(FArguments.music);
    }

    void DrawLine(HDC dc, const std::string& text, int top, int height) const {
        HFONT font = CreateFontA(-height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                 DEFAULT_PITCH | FF_SWISS, "Tahoma");
        HGDIOBJ old = SelectObject(dc, font);
        RECT line = {0, top, FWidth, top + height * 2};
        DrawTextA(dc, text.c_str(), -1, &line, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        DeleteObject(font);
    }

    unsigned Next() {
        FSeed = FSeed * 1103515245u + 12345u;
        return FSeed >> 8;
    }

    int FWidth, FHeight;
    SaverpakArguments FArguments;
    std::vector<Flake> FFlakes;
    unsigned FSeed = 2026;
};

constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT_PTR kEndTimer = 2;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* snow = reinterpret_cast<Snowfall*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE:
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(
                                  reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
            break;
        case WM_TIMER:
            if (wParam == kEndTimer) {
                DestroyWindow(window);
            } else if (snow) {
                snow->Step();
                InvalidateRect(window, nullptr, FALSE);
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SETCURSOR:
            SetCursor(nullptr);
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT client;
            GetClientRect(window, &client);
            // Drawn off screen first, so the flakes do not flicker.
            HDC memory = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
            HGDIOBJ old = SelectObject(memory, bitmap);
            if (snow) snow->Paint(memory);
            BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    // The argument file the saver wrote beside this program: Snowfall.cfg.
    SaverpakArguments arguments;
    SaverpakReadArguments(&arguments);
    Snowfall snow(width, height, arguments);

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "SnowfallModule";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "SnowfallModule", "Snowfall", WS_POPUP, 0, 0, width, height,
                                  nullptr, nullptr, instance, &snow);
    if (!window) return 1;

    int seconds = 30;
    if (const char* setting = std::getenv("SNOWFALL_SECONDS")) seconds = std::atoi(setting);
    SetTimer(window, kFrameTimer, 40, nullptr);
    if (seconds > 0) SetTimer(window, kEndTimer, static_cast<UINT>(seconds) * 1000, nullptr);
    ShowWindow(window, show == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOW);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
