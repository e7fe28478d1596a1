// The saver of the configuration and password change scenarios: the shipped entry, settings and
// presentation window, with the stand-in configuration dialog, and the password change asked of
// the password double in the system folder (Wine's MPR.DLL returns at once and shows nothing).
#include <windows.h>

#include "presentation/SaverForms.h"
#include "shell/SaverServices.h"
#include "tests/wine/shell/StandInForms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    SaverParts parts = SaverForms();
    parts.CreateConfigurationForm = [](fw::TApplication& application) -> fw::TForm* {
        return application.CreateForm<TStandInConfigurationForm>();
    };
    parts.ChangePassword = [](HWND owner) { ChangePasswordThrough("PASSWORD.CPL", owner); };
    return SaverMain(commandLine, parts);
}
