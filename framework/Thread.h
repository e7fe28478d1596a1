// A thread object: derive, implement Execute, and poll Terminated() inside it.
//
// A thread must not run Execute before its subclass is fully built, so the base constructor
// never starts it: the most derived constructor ends with AfterConstruction(), which starts the
// thread unless it was created suspended (then Start starts it later). Terminate only
// sets the flag; Execute decides when to look at it. A subclass whose Execute reads its own
// members must call Terminate and WaitFor in its own destructor, before those members go:
// by the time this base destructor runs they are gone.
#pragma once

#include <windows.h>

#include <atomic>

#include "support/Handles.h"

namespace fw {

class TThread {
public:
    explicit TThread(bool createSuspended);
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    // Starts the thread unless it was created suspended; the last step of the most derived
    // constructor.
    void AfterConstruction() {
        if (!FCreateSuspended) Start();
    }
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    bool Finished() const { return FFinished; }
    // Blocks until Execute has returned; returns ReturnValue. A thread never started returns 0.
    DWORD WaitFor();
    DWORD ThreadID() const { return FThreadId; }

protected:
    virtual void Execute() = 0;
    DWORD ReturnValue = 0;

private:
    static unsigned __stdcall ThreadProc(void* self);

    UniqueHandle FHandle;
    unsigned FThreadId = 0;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    bool FStarted = false;
    bool FCreateSuspended;
};

}  // namespace fw
