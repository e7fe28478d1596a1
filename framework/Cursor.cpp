#include "framework/Cursor.h"

namespace fw {

HCURSOR CursorHandle(TCursor cursor) {
    switch (cursor) {
        case crHourGlass:
            return ::LoadCursorA(nullptr, IDC_WAIT);
        case crHandPoint:
            return ::LoadCursorA(nullptr, IDC_HAND);
        case crNone:
            return nullptr;
        default:
            return ::LoadCursorA(nullptr, IDC_ARROW);
    }
}

}  // namespace fw
