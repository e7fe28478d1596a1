// The module runner: one module program's run state. It extracts the program to the temporary
// directory, writes the argument file beside it, starts it and brings its window up, watches
// it and ends it. The presentation window owns one for its whole life and drives it from the
// window thread.
//
// Failures raise std::runtime_error with the saver's own message (the container reader's
// messages pass through unchanged).
#pragma once

#include <cstdint>
#include <string>

#include "support/Error.h"
#include "support/Path.h"
#include "support/Platform.h"

class ssPak;

// Whole days from the local date `year-month-day` to the next 25 December: 0 on the day
// itself, and from 26 December on, to 25 December of the following year.
int DaysToNextChristmas(int year, int month, int day);

// "SS_Sound=s&SS_Music=m&SS_Days=d": s and m are the setting when it is 1 or 2, else 0.
std::string ModuleArgumentText(int sound, int music, int days);

// The argument file that belongs to a module path: from the last '.' of the whole path on,
// replaced by ".cfg", or ".cfg" appended when there is no '.'. False when it would not fit.
bool ArgumentFilePath(const char* modulePath, char* out, std::size_t outSize);

class ssModule : public cError {
public:
    ssModule() = default;
    // Releases the object only; the owner calls Terminate first.
    ~ssModule() override = default;
    ssModule(const ssModule&) = delete;
    ssModule& operator=(const ssModule&) = delete;

    // Reads the module descriptor at `position` and extracts the program unless it is External.
    void Extract(ssPak& pak, std::int32_t position);
    void SetFileArgs(const char* modulePath, const char* text);

#ifdef _WIN32
    void Run(const char* modulePath, HWND owner, std::uint32_t flags);
    // True when no process is recorded or the process has ended.
    bool Wait(std::int32_t milliseconds);
    bool Terminate(std::int32_t milliseconds);
    void AttachInput(DWORD threadId);
    void DetachInput(DWORD threadId);
    void FindProgramWindow();

    bool IsRunning() const { return FProcess != nullptr; }
    HWND ProgramWindow() const { return FProgramWindow; }
    DWORD ProcessId() const { return FProcessId; }
    DWORD ThreadId() const { return FThreadId; }
#endif

    const char* ModulePath() const { return FModulePath; }
    const char* ArgumentPath() const { return FArgumentPath; }
    const char* ArgumentText() const { return FArgumentText; }
    std::uint32_t Flags() const { return FFlags; }
    std::uint8_t ArgMethod() const { return FArgMethod; }
    bool IsExternal() const;

private:
#ifdef _WIN32
    void ClearProcess();
#endif

    char FModulePath[kPathSize] = {};
    char FArgumentPath[kPathSize] = {};
    char FArgumentText[512] = {};
    std::uint32_t FFlags = 0;
    std::uint8_t FArgMethod = 0;
#ifdef _WIN32
    HANDLE FProcess = nullptr;
    HANDLE FThread = nullptr;
    DWORD FProcessId = 0;
    DWORD FThreadId = 0;
    HWND FProgramWindow = nullptr;
#endif
};
