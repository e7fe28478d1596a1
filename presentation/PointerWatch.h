// The pointer watch: the user's pointer movement and button presses while a module program
// shows above the saver's window.
//
// While the module program shows, its window lies above the saver's, so the pointer's messages
// go to the module. The low-level mouse hook sees every button press and movement first and
// hands it to the saver's window, whose usual input handling then decides (threshold, password).
//
// Movement is taken only from the hook's events, never from where the pointer is: a module may
// move or clip the pointer itself (SetCursorPos, ClipCursor, a display-mode change), and that
// is no user. An event's step is the smaller of two: from the pointer's place when the hook is
// called (the event has not moved it yet; a position a program set is already there, and Wine
// echoes SetCursorPos as such an event), and from the previous event's point (the place the
// system reports may lag behind the real pointer, as in Wine before its first event). Injected
// moves are left out: the hook cannot tell which program injected one, and while a module
// runs it is the likely one. Presses count whatever their source.
//
// The hook runs on the window thread, and the system drops a hook that does not answer in
// time, after which clicks reach the module: it is removed before any long step on that
// thread (extraction, starting a module, launching a command), and the wait while a module
// ends answers it.
#pragma once

#include <windows.h>

#include "support/Handles.h"

class PointerWatch {
public:
    // What the hook posts to its window for a movement: lParam holds the event's point, wParam
    // its step from where the pointer was when the hook was called (signed 16-bit x and y each).
    // A press is posted as the press's own message; the module sees neither the press nor its
    // release.
    static constexpr UINT kPointerEvent = WM_APP + 0x51;

    PointerWatch() = default;
    ~PointerWatch() { Stop(); }
    PointerWatch(const PointerWatch&) = delete;
    PointerWatch& operator=(const PointerWatch&) = delete;

    // Hooks the pointer for `target`; a watch already hooked just changes its window. The
    // user's steps add up across starts. The first event's previous point is `origin` the first
    // time the watch starts: the pointer's place then may be the module's doing already.
    void Start(HWND target, POINT origin);
    // Unhooks. False when the watch was not hooked.
    bool Stop();
    bool Running() const { return static_cast<bool>(FHook); }

    // Takes one kPointerEvent's wParam and lParam: the user's step is added to the movement.
    void Add(WPARAM stepFromCursor, LPARAM point);
    // The user's own movement so far, as the events' steps add up.
    POINT Moved() const { return FMoved; }
    // Whether that movement goes beyond `threshold` along either axis.
    bool MovedBeyond(long threshold) const;
    // The movement so far is forgotten; the next event's step is also measured from the
    // pointer's place now (from the last point still, when that place cannot be read).
    void Forget();

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);

    // A hook procedure has no context argument, so it finds its watch here: the watch started
    // last, until it stops. Set and read on the window thread only (the hook is called on the
    // thread that set it).
    static inline PointerWatch* FLive = nullptr;

    UniqueHook FHook;
    HWND FTarget = nullptr;
    POINT FMoved = {0, 0};
    POINT FLastPoint = {0, 0};
    bool FStarted = false;
};
