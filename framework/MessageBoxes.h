// Where an exception that escaped a message handler ends: the application's exception box.
//
// The boxes themselves are the application's (TApplication::MessageBox, ShowException and
// HandleException, defined in MessageBoxes.cpp): owned by the active window or the main form,
// captioned with the application's title.
#pragma once

#include <exception>

namespace fw {

// Shows the exception box for `error` (null: an exception of no known type), when there is an
// application to show it.
void ReportException(const std::exception* error);

// Runs the action; an exception must not unwind through the system's frames, so whatever it
// raises ends here, in the exception box, as a framework would show it.
template <typename Action>
void ReportExceptions(Action action) {
    try {
        action();
    } catch (const std::exception& error) {
        ReportException(&error);
    } catch (...) {
        ReportException(nullptr);
    }
}

}  // namespace fw
