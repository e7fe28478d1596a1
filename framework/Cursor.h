// The mouse pointers a control, or the whole screen for a while, can show.
#pragma once

#include <windows.h>

namespace fw {

enum TCursor { crDefault, crArrow, crHourGlass, crHandPoint, crNone };

// The system's cursor for it; null for crNone, the arrow for crDefault.
HCURSOR CursorHandle(TCursor cursor);

}  // namespace fw
