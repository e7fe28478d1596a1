// Starting, finding, watching and ending a module program (Windows only).

#include <cstring>
#include <cwchar>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "package/PakFormat.h"
#include "package/ssModule.h"

namespace {

struct WindowSearch {
    DWORD processId;
    DWORD threadId;
    HWND found;
};

// The module's main thread owns, besides its own window, the hidden "Default IME" window of
// the input method; it is enumerated too, often first. A message sent there goes nowhere, so
// the program window is the thread's visible top-level window.
BOOL CALLBACK MatchProgramWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    if (GetWindowThreadProcessId(window, &processId) != search->threadId ||
        processId != search->processId || !IsWindowVisible(window)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// Waits for the process to end, up to `milliseconds`. Calls that other threads send to this
// one meanwhile are answered: the saver's low-level mouse hook runs on this thread, and the
// system holds back all input, the program's too, until the hook has answered.
DWORD WaitForProcess(HANDLE process, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = elapsed >= milliseconds ? 0 : milliseconds - elapsed;
        DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, left, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1) return result;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// Asks every visible top-level window of the process to close: a program may have replaced
// the window it showed first (a splash screen, a window re-created on a mode change), and any
// of its windows may be the one that ends it.
BOOL CALLBACK CloseProcessWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        search->found = window;
    }
    return TRUE;
}

// The environment a module starts with: the saver's own, with SAVERPAK_SAVER set to the
// saver's full path in its long form, so that a module can read the saver's content (the
// slideshow reads its pictures and settings there). Kept in the block's order, which is by
// name regardless of case.
std::vector<wchar_t> ModuleEnvironment() {
    static const wchar_t kName[] = L"SAVERPAK_SAVER=";
    std::vector<wchar_t> self(32768);
    DWORD length = GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()));
    if (length == 0 || length >= self.size()) return {};
    std::vector<wchar_t> full(32768);
    const DWORD longLength = GetLongPathNameW(self.data(), full.data(), DWORD(full.size()));
    const wchar_t* path = longLength > 0 && longLength < full.size() ? full.data() : self.data();
    std::wstring ours = std::wstring(kName) + path;

    std::vector<wchar_t> block;
    wchar_t* strings = GetEnvironmentStringsW();
    if (!strings) return {};
    bool placed = false;
    for (const wchar_t* entry = strings; *entry; entry += std::wcslen(entry) + 1) {
        if (_wcsnicmp(entry, kName, std::size(kName) - 1) == 0) continue;
        if (!placed && entry[0] != L'=' && _wcsicmp(entry, ours.c_str()) > 0) {
            block.insert(block.end(), ours.c_str(), ours.c_str() + ours.size() + 1);
            placed = true;
        }
        block.insert(block.end(), entry, entry + std::wcslen(entry) + 1);
    }
    FreeEnvironmentStringsW(strings);
    if (!placed) block.insert(block.end(), ours.c_str(), ours.c_str() + ours.size() + 1);
    block.push_back(L'\0');
    return block;
}

// How long the program may take, after it first waits for input, to show its window.
constexpr DWORD kWindowSearchMilliseconds = 3000;
// How long a killed program may take to go; the system ends it without its consent.
constexpr DWORD kKillMilliseconds = 5000;

}  // namespace

void ssModule::ClearProcess() {
    FProcess.Reset();
    FProcessId = 0;
    FThreadId = 0;
    FProgramWindow = nullptr;
}

void ssModule::Run(const char* modulePath, HWND owner, std::uint32_t flags) {
    if (modulePath != FModulePath) {
        if (std::strlen(modulePath) >= sizeof FModulePath)
            throw std::runtime_error("CreateProcess failed.");
        std::strcpy(FModulePath, modulePath);
    }
    StartProcess(flags);
    WaitForInputIdle(FProcess.Process(), 3000);
    try {
        ShowProgram(owner, flags);
    } catch (...) {
        Terminate(0);
        throw;
    }
}

void ssModule::StartProcess(std::uint32_t flags) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (flags & kModuleForceMaximize) {
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USEPOSITION;
        startup.dwXSize = GetSystemMetrics(SM_CXSCREEN);
        startup.dwYSize = GetSystemMetrics(SM_CYSCREEN);
        startup.wShowWindow = SW_SHOWMAXIMIZED;
    }
    char directory[kPathSize];
    SplitPath(FModulePath, directory, sizeof directory, nullptr, 0);

    // Started suspended, so that it is in the job before it runs a single instruction (and
    // before it can start programs of its own outside it). Handles are inherited: the run
    // folder's lock among them, which keeps the folder in use as long as the program runs.
    HANDLE job = ModuleJob();
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> environment = ModuleEnvironment();
    {
        ssRunFolder::InheritedLock inherited(FFolder);
        if (!CreateProcessA(
                FModulePath, nullptr, nullptr, nullptr, TRUE,
                CREATE_SUSPENDED | (environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT),
                environment.empty() ? nullptr : environment.data(),
                directory[0] ? directory : nullptr, &startup, &process)) {
            throw std::runtime_error("CreateProcess failed.");
        }
    }
    FProcess = UniqueProcessInformation(process);
    FProcessId = process.dwProcessId;
    FThreadId = process.dwThreadId;
    // Where the system refuses (an older Windows whose saver already runs in its starter's
    // job), the program runs as it would without one.
    if (job) AssignProcessToJobObject(job, FProcess.Process());
    if (ResumeThread(FProcess.Thread()) == static_cast<DWORD>(-1)) {
        TerminateProcess(FProcess.Process(), 0);
        ClearProcess();
        throw std::runtime_error("CreateProcess failed.");
    }
}

void ssModule::ShowProgram(HWND owner, std::uint32_t flags) {
    AttachInput(FThreadId);
    if (owner) {
        SetForegroundWindow(owner);
        SetFocus(owner);
    }
    FindProgramWindow();
    // The style bit alone does not move a window into the topmost band (the system drops it
    // silently); SetWindowPos does.
    LONG style = GetWindowLongA(FProgramWindow, GWL_EXSTYLE);
    SetWindowLongA(FProgramWindow, GWL_EXSTYLE, style | WS_EX_TOPMOST);
    SetWindowPos(FProgramWindow, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (flags & kModuleForceMaximize) {
        MoveWindow(FProgramWindow, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                   GetSystemMetrics(SM_CYSCREEN), TRUE);
    }
}

HANDLE ssModule::ModuleJob() {
    if (FJobTried) return FJob.Get();
    FJobTried = true;
    UniqueJob job(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits))
        FJob = std::move(job);
    return FJob.Get();
}

bool ssModule::Wait(std::int32_t milliseconds) {
    if (!FProcess) return true;
    if (WaitForProcess(FProcess.Process(), static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) {
        return false;
    }
    ClearProcess();
    return true;
}

bool ssModule::Terminate(std::int32_t milliseconds) {
    bool ended = true;
    if (FProcess) {
        DetachInput(FThreadId);
        WindowSearch search{FProcessId, FThreadId, nullptr};
        EnumWindows(CloseProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) TerminateProcess(FProcess.Process(), 0);
        ended = Wait(milliseconds);
        // A program that ignores the request, or keeps a window in the topmost band, must not
        // outlive the saver: it is ended, and the wait lets its file be deleted.
        if (!ended) {
            TerminateProcess(FProcess.Process(), 0);
            WaitForProcess(FProcess.Process(), kKillMilliseconds);
        }
    }
    ClearProcess();
    DeleteOrKeep(FArgumentPath);
    return ended;
}

void ssModule::LeaveRunning() {
    if (!FProcess) return;
    DetachInput(FThreadId);
    // Nothing puts the program back once the saver is gone: it leaves the topmost band now.
    if (FProgramWindow && IsWindow(FProgramWindow)) {
        SetWindowPos(FProgramWindow, HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    // The job's rule is lifted, not the job: a process cannot leave it, but once the limit is
    // gone, closing the job's last handle (the saver's exit) ends nothing.
    if (FJob) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        SetInformationJobObject(FJob.Get(), JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
    }
    FJob.Reset();
    FJobTried = false;
    FFolder.Leave();
    ClearProcess();
}

bool ssModule::FollowProgramWindow() {
    if (!FProcess) return false;
    if (FProgramWindow && IsWindow(FProgramWindow)) return true;
    // The program replaced the window it showed first (a splash screen, a window re-created
    // on a mode change): its new one takes the old one's place above the saver.
    WindowSearch search{FProcessId, FThreadId, nullptr};
    EnumWindows(MatchProgramWindow, reinterpret_cast<LPARAM>(&search));
    FProgramWindow = search.found;
    return FProgramWindow != nullptr;
}

void ssModule::AttachInput(DWORD threadId) {
    if (!AttachThreadInput(threadId, GetCurrentThreadId(), TRUE)) {
        throw std::runtime_error("AttachThreadInput failed.");
    }
}

void ssModule::DetachInput(DWORD threadId) {
    AttachThreadInput(threadId, GetCurrentThreadId(), FALSE);
}

void ssModule::FindProgramWindow() {
    FProgramWindow = nullptr;
    WindowSearch search{FProcessId, FThreadId, nullptr};
    const DWORD start = GetTickCount();
    for (;;) {
        EnumWindows(MatchProgramWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) break;
        // A program that has ended, or that showed no window in time, has none to find.
        if (WaitForProcess(FProcess.Process(), 10) != WAIT_TIMEOUT ||
            GetTickCount() - start >= kWindowSearchMilliseconds) {
            throw std::runtime_error("Unable to locate program window.");
        }
    }
    FProgramWindow = search.found;
}
