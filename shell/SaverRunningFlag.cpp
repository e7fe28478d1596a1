// Alone in its file: a test program that defines SystemSaverRunningFlag itself keeps this one
// out of its link (see tests/wine/shell/HandStartedFlag.cpp).
#include "shell/SaverServices.h"

bool SystemSaverRunningFlag() {
    UINT running = 0;
    ::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running != 0;
}
