// Checks that the Wine rig gives Windows programs the display it promises: the screen size,
// colour depth and monitor layout asked of scripts/with-wine.sh, stay-on-top popups that are
// activated when shown, and DestroyWindow without the 2 s stall of Wine's managed windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

struct RigScreen {
    int width = 0;
    int height = 0;
    int depth = 0;
    int monitors = 0;
    int dpi = 96;
};

// The rig tells its programs what it set up; without it there is no display to test.
bool ReadRigScreen(RigScreen& screen) {
    const char* size = std::getenv("SAVERPAK_WINE_SCREEN");
    const char* monitors = std::getenv("SAVERPAK_WINE_MONITORS");
    if (!size || !monitors) {
        return false;
    }
    screen.monitors = std::atoi(monitors);
    if (const char* dpi = std::getenv("SAVERPAK_WINE_DPI")) screen.dpi = std::atoi(dpi);
    return std::sscanf(size, "%dx%dx%d", &screen.width, &screen.height, &screen.depth) == 3;
}

// Pumps this thread's messages until `done` holds or the deadline passes.
template <typename Done>
bool PumpUntil(Done done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

struct ProbeState {
    bool painted = false;
    bool activated = false;
    bool focused = false;
};

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ProbeState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (state) {
        switch (message) {
            case WM_PAINT: {
                PAINTSTRUCT paint;
                HDC dc = BeginPaint(window, &paint);
                FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
                EndPaint(window, &paint);
                state->painted = true;
                return 0;
            }
            case WM_ACTIVATE:
                state->activated = state->activated || LOWORD(wParam) != WA_INACTIVE;
                break;
            case WM_SETFOCUS:
                state->focused = true;
                break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(RigDisplay, ScreenHasTheSizeDepthAndMonitorsTheRigSetUp) {
    RigScreen rig;
    ASSERT_TRUE(ReadRigScreen(rig))
        << "SAVERPAK_WINE_SCREEN is not set: run the windows tests under scripts/with-wine.sh";

    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), rig.monitors);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), rig.width);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), rig.height);
    // With two monitors side by side the primary one is the left half.
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), rig.width / rig.monitors);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), rig.height);

    HDC screenDc = GetDC(nullptr);
    ASSERT_NE(screenDc, nullptr);
    int bitsPerPixel = GetDeviceCaps(screenDc, BITSPIXEL);
    bool palette = (GetDeviceCaps(screenDc, RASTERCAPS) & RC_PALETTE) != 0;
    int pixelsPerInch = GetDeviceCaps(screenDc, LOGPIXELSX);
    ReleaseDC(nullptr, screenDc);
    EXPECT_EQ(pixelsPerInch, rig.dpi);
    // A 24-bit X screen is a 32-bit one to Windows programs; only 8 bits is palette-managed.
    EXPECT_EQ(bitsPerPixel, rig.depth == 24 ? 32 : rig.depth);
    EXPECT_EQ(palette, rig.depth == 8);
}

TEST(RigDisplay, TopmostPopupIsActivatedPaintedAndDestroyedPromptly) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SaverpakRigProbe";
    ASSERT_NE(RegisterClassA(&windowClass), 0);

    ProbeState state;
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST, "SaverpakRigProbe", "Rig probe", WS_POPUP | WS_VISIBLE, 0, 0,
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                        nullptr, windowClass.hInstance, &state);
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);

    EXPECT_TRUE(PumpUntil([&] { return state.painted && state.activated && state.focused; },
                          std::chrono::seconds(10)))
        << "painted " << state.painted << ", activated " << state.activated << ", focused "
        << state.focused;
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetForegroundWindow(), window);

    // Wine's managed windows stall 2 s here under Xvfb; the rig turns them off.
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(DestroyWindow(window));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(1000))
        << "DestroyWindow took "
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    UnregisterClassA("SaverpakRigProbe", windowClass.hInstance);
}

}  // namespace
