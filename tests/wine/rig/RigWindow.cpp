// A window for the rig's screenshot check: covers every monitor, topmost, in the colour given on
// the command line, and exits with 0 on a key press. It gives up by itself after 30 s (exit 3)
// so that a lost key can never leave it running. "crash" writes through a null pointer instead,
// to show that a crash ends the program (exit 5 under the rig) rather than hanging in a dialog.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr UINT_PTR kGiveUpTimer = 1;
constexpr UINT kGiveUpMs = 30000;
constexpr int kExitGaveUp = 3;

COLORREF gColour = RGB(0, 128, 255);

LRESULT CALLBACK RigWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            HBRUSH brush = CreateSolidBrush(gColour);
            FillRect(dc, &paint.rcPaint, brush);
            DeleteObject(brush);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_KEYDOWN:
            DestroyWindow(window);
            return 0;
        case WM_TIMER:
            if (wParam == kGiveUpTimer) {
                PostQuitMessage(kExitGaveUp);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc >= 2 && std::strcmp(__argv[1], "crash") == 0) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return 0;
    }
    if (__argc >= 4) {
        gColour = RGB(std::atoi(__argv[1]), std::atoi(__argv[2]), std::atoi(__argv[3]));
    }

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RigWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "SaverpakRigWindow";
    if (!RegisterClassA(&windowClass)) {
        return 10;
    }
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST, "SaverpakRigWindow", "Saverpak rig", WS_POPUP,
                        GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                        GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                        nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 11;
    }
    SetTimer(window, kGiveUpTimer, kGiveUpMs, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
