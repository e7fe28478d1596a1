// The saver as the shell builds it on its own: the real entry, settings and base window, with
// the stand-in configuration dialog, and the password change asked of the password double in
// the system folder (Wine's MPR.DLL returns at once and shows nothing). The window tests run
// this program, so they test the shell whatever the presentation layer shows.
#include <windows.h>

#include "presentation/DataUnit.h"
#include "shell/SaverServices.h"
#include "shell/ScreensaverUnit.h"
#include "tests/wine/shell/StandInForms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    SaverParts parts = StandInParts();
    parts.CreateSettings = [](fw::TApplication& application) {
        new TScreensaverSettings(&application);
    };
    parts.ChangePassword = [](HWND owner) { ChangePasswordThrough("PASSWORD.CPL", owner); };
    return SaverMain(commandLine, parts);
}
