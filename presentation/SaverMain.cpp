// The saver program: the Windows entry hands the command line to the shell with the windows
// of this layer.
#include <windows.h>

#include "presentation/SaverForms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return SaverMain(commandLine, SaverForms());
}
