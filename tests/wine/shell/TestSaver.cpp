// The saver as the shell builds it on its own: the real entry, settings and base window, with
// the stand-in configuration dialog. The window tests run this program, so they test the shell
// whatever the presentation layer shows.
#include <windows.h>

#include "presentation/DataUnit.h"
#include "shell/ScreensaverUnit.h"
#include "shell/StandInForms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    SaverParts parts = StandInParts();
    parts.CreateSettings = [](fw::TApplication& application) {
        new TScreensaverSettings(&application);
    };
    return SaverMain(commandLine, parts);
}
