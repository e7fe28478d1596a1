// The Win32 surface of the portable core. On Windows this is <windows.h>; elsewhere it is our
// own stand-in (win32/WinStandIn.h), which declares only the calls and records the core uses
// and maps the host's errors to the Windows system codes, so both builds report alike.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "support/win32/WinStandIn.h"
#endif
