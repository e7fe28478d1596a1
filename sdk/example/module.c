/* module.c: a minimal module program for the Saverpak screen saver, to copy and build on.
 * docs/MODULES.md says what the saver expects of it; build it with
 *     x86_64-w64-mingw32-gcc -std=c99 -O2 -Wall -Wextra -mwindows -I.. -o MyModule.exe module.c
 *
 * It reads the arguments the saver wrote beside it, shows one window over the primary screen
 * with the days to Christmas and the Sound and Music choices, beeps once at start when Sound
 * allows it, and ends when the saver asks with WM_CLOSE.
 *
 * Copyright (c) 2026 the Saverpak authors. MIT licence: see LICENSE, or the top of
 * saverpak_module.h.
 */
#include <windows.h>

#include "saverpak_module.h"

static SaverpakArguments Arguments;
static char Line[160];

static const char* Choice(int value) {
    return value == SAVERPAK_ONCE ? "once" : value == SAVERPAK_NEVER ? "off" : "on";
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            RECT client;
            HDC dc = BeginPaint(window, &paint);
            GetClientRect(window, &client);
            FillRect(dc, &client, (HBRUSH)GetStockObject(BLACK_BRUSH));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 255, 255));
            DrawTextA(dc, Line, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1; /* WM_PAINT fills it all */
        case WM_SETCURSOR:
            SetCursor(NULL); /* no pointer over a screen saver */
            return TRUE;
        case WM_CLOSE:
            /* The saver asks every window of the program to close, and ends the program itself
             * when it has not ended 3 seconds later: stop your music and save nothing slow here. */
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    WNDCLASSA windowClass;
    HWND window;
    MSG message;
    (void)previous;
    (void)commandLine;

    /* Missing or damaged, the file still gives usable values (the saver's defaults). */
    SaverpakReadArguments(&Arguments);
    wsprintfA(Line, "%d days to Christmas, sound %s, music %s", Arguments.days,
              Choice(Arguments.sound), Choice(Arguments.music));

    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "SaverpakExampleModule";
    RegisterClassA(&windowClass);
    /* One visible top-level window, made by the main thread, covering the primary screen: the
     * saver looks for it there and puts it above its own. The title is what task lists and
     * screen readers show. */
    window = CreateWindowExA(0, windowClass.lpszClassName, Line, WS_POPUP, 0, 0,
                             GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL,
                             NULL, instance, NULL);
    if (!window) return 1;
    /* `show` is SW_SHOWMAXIMIZED when the saver's container asks for force-maximize. */
    ShowWindow(window, show);
    UpdateWindow(window);

    /* Sound: "once" is once per start here; there is nothing that loops. */
    if (Arguments.sound != SAVERPAK_NEVER) MessageBeep(MB_OK);
    /* Music would start here: looped when ALWAYS, played through once when ONCE. */

    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
