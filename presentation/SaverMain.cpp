// The saver program: the Windows entry hands the command line to the shell with the windows
// of this layer.
#include <windows.h>

#include "presentation/DataUnit.h"
#include "presentation/kwScreensaverUnit.h"
#include "shell/ScreensaverUnit.h"
#include "shell/StandInForms.h"

namespace {

// The window each mode creates. The presentation window and the configuration dialog are
// the shell's stand-ins until their units take their places here.
SaverParts SaverForms() {
    SaverParts parts = StandInParts();
    parts.CreateSettings = [](fw::TApplication& application) {
        new TScreensaverSettings(&application);
    };
    parts.CreatePresentationForm = CreatePresentationForm;
    return parts;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return SaverMain(commandLine, SaverForms());
}
