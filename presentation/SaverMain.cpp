// The saver program: the Windows entry hands the command line to the shell with the windows
// of this layer.
#include <windows.h>

#include "presentation/ConfigurationUnit.h"
#include "presentation/DataUnit.h"
#include "presentation/kwScreensaverUnit.h"
#include "shell/ScreensaverUnit.h"

namespace {

// The window each mode creates.
SaverParts SaverForms() {
    SaverParts parts;
    parts.CreateSettings = [](fw::TApplication& application) {
        new TScreensaverSettings(&application);
    };
    parts.CreatePresentationForm = CreatePresentationForm;
    parts.CreateConfigurationForm = CreateConfigurationForm;
    return parts;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return SaverMain(commandLine, SaverForms());
}
