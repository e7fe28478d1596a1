#include "framework/Thread.h"

#include <process.h>

#include "framework/Exception.h"

namespace fw {

TThread::TThread(bool createSuspended) : FCreateSuspended(createSuspended) {
    // The CRT's own thread start, so the C library's per-thread state is set up.
    uintptr_t handle = ::_beginthreadex(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &FThreadId);
    if (handle == 0) throw Exception("Thread creation error.");
    FHandle.Reset(reinterpret_cast<HANDLE>(handle));
}

TThread::~TThread() {
    if (FHandle && !FFinished) {
        Terminate();
        if (!FStarted) Start();  // a suspended thread must run to its end to be released
        WaitFor();
    }
}

void TThread::Start() {
    if (FStarted || !FHandle) return;
    FStarted = true;
    ::ResumeThread(FHandle.Get());
}

DWORD TThread::WaitFor() {
    if (!FHandle || !FStarted) return 0;
    ::WaitForSingleObject(FHandle.Get(), INFINITE);
    return ReturnValue;
}

unsigned __stdcall TThread::ThreadProc(void* param) {
    auto* self = static_cast<TThread*>(param);
    // Terminated before it ever ran (destroyed while suspended): skip Execute.
    if (!self->FTerminated) {
        try {
            self->Execute();
        } catch (...) {
            // An exception may not leave a thread; the subclass keeps its own error state.
        }
    }
    self->FFinished = true;
    return 0;
}

}  // namespace fw
