// The windows of this layer, as the shell creates them for each mode.
#pragma once

#include "shell/ScreensaverUnit.h"

// The settings module, the presentation window (full-screen run and preview) and the
// configuration dialog.
SaverParts SaverForms();
