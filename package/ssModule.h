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
#include <vector>

#include "support/Error.h"
#include "support/Handles.h"
#include "support/Path.h"
#include "support/Platform.h"
#ifdef _WIN32
#include "package/ssRunFolder.h"
#endif

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

    // Reads the module descriptor at `position` and extracts the program unless it is External:
    // into the run's own folder (made at the first extraction), elsewhere than Windows into the
    // temporary directory.
    void Extract(ssPak& pak, std::int32_t position);
    // Writes the argument file beside the module. Raises "Error creating argument file." when it
    // cannot be created or does not take the whole text.
    void SetFileArgs(const char* modulePath, const char* text);
    // Deletes the argument file this run wrote and the module's extracted copy (never an
    // External program), and forgets both. A file that cannot be deleted yet (a program that
    // outlived its end still holds it) is tried again at the next call.
    void RemoveExtractedFiles();
#ifdef _WIN32
    // At the close, after RemoveExtractedFiles: the run folder goes when it is empty.
    void RemoveRunFolder() { FFolder.Remove(); }
    const char* RunFolder() const { return FFolder.Path(); }
#endif

#ifdef _WIN32
    void Run(const char* modulePath, HWND owner, std::uint32_t flags);
    // True when no process is recorded or the process has ended.
    bool Wait(std::int32_t milliseconds);
    // Asks every window of the program to close and waits up to `milliseconds`; a program
    // still running then is ended. True when it closed by itself in time.
    bool Terminate(std::int32_t milliseconds);
    // Lets the program run on without the saver: input separated, out of the topmost band,
    // released from the job that would end it with the saver, handles released; its folder
    // stays.
    void LeaveRunning();
    void AttachInput(DWORD threadId);
    void DetachInput(DWORD threadId);
    void FindProgramWindow();
    // Keeps the program window current when the program has replaced it; false when the
    // program shows none now.
    bool FollowProgramWindow();

    bool IsRunning() const { return static_cast<bool>(FProcess); }
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
    // Starts the program suspended, puts it in the job and lets it run.
    void StartProcess(std::uint32_t flags);
    // Gives the program the saver's input and the topmost band, maximised if asked.
    void ShowProgram(HWND owner, std::uint32_t flags);
    void ClearProcess();
    // The job that ends every module process when the saver's process ends, however it ends;
    // made at the first start. Null where the system gives none.
    HANDLE ModuleJob();
#endif
    // Deletes the file, or keeps its path for a later try when it is still there.
    void DeleteOrKeep(char* path);

    char FModulePath[kPathSize] = {};
    char FArgumentPath[kPathSize] = {};
    char FArgumentText[512] = {};
    std::uint32_t FFlags = 0;
    std::uint8_t FArgMethod = 0;
    std::vector<std::string> FUndeleted;
#ifdef _WIN32
    ssRunFolder FFolder;
    UniqueJob FJob;
    bool FJobTried = false;
    UniqueProcessInformation FProcess;
    DWORD FProcessId = 0;
    DWORD FThreadId = 0;
    HWND FProgramWindow = nullptr;
#endif
};
