// The system's screen-saver services: whether a password is in force, asking for it, changing
// it, whether the system runs the saver, and whether hot keys may act.
//
// Each service loads what it needs at run time and falls back, when anything is missing, to
// the answer that lets the saver close normally: no password, password accepted, no dialog.
#pragma once

#include <windows.h>

#include <cstddef>

// A registry key holder for reading the system's own values. Destroying it does not close the
// key: its owner calls Close first (see ScopedRegClose).
class cReg {
public:
    // Opens root\keyPath[\subKey] with read and write access; true when the key is open.
    bool Open(HKEY root, const char* keyPath, const char* subKey);
    void Close();
    // The value read, whatever type the system reports; `fallback` without a key or value.
    DWORD QueryDword(const char* name, DWORD fallback);
    // Reads a text into buffer; returns the size the system reports (terminator included). On
    // any failure, also a text that does not fit the buffer with its terminator, the buffer
    // gets `fallback` (cut to fit) and the result is 0.
    DWORD QueryString(const char* name, char* buffer, std::size_t size, const char* fallback);
    HKEY Key() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

// Closes a cReg when the scope ends.
class ScopedRegClose {
public:
    explicit ScopedRegClose(cReg& reg) : FReg(reg) {}
    ~ScopedRegClose() { FReg.Close(); }
    ScopedRegClose(const ScopedRegClose&) = delete;
    ScopedRegClose& operator=(const ScopedRegClose&) = delete;

private:
    cReg& FReg;
};

bool IsPasswordConfigured();
// Loads a system library from the system folder only, never from the program's or the current
// folder or PATH; null when it is not there.
HMODULE LoadSystemLibrary(const char* name);
// The function `name` that `library` exports, as a `Function` pointer; null when it has none.
template <typename Function>
Function LibraryFunction(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// ShellExecuteA(nullptr, nullptr, command, nullptr, nullptr, SW_SHOW) through SHELL32, loaded
// from the system folder when a link or a hot key first needs it (imported, it would be loaded,
// with the libraries it pulls in, at every start, and a full-screen run rarely needs it). Its
// result is ShellExecuteA's: above 32 on success; 0, with the thread's last error set, when the
// library or its function cannot be had.
INT_PTR ShellExecuteCommand(const char* command);

// From here on, libraries the saver loads (and those the system's libraries load for it) come
// from the system folder only, never from the saver's folder, the current folder or PATH. A
// system without SetDefaultDllDirectories keeps its own search.
void RestrictLibrarySearch();
// True when the saver may close: the password was right, or there is nothing to ask with.
bool VerifyPassword(HWND window);
// The system's password change dialog for "SCRSAVE", from MPR.DLL.
void ChangePassword(HWND owner);
// The same call through another system library that exports "PwdChangePasswordA".
void ChangePasswordThrough(const char* library, HWND owner);
bool IsSystemSaverRunning();
bool HotKeysAllowed();

// The platform decisions behind IsSystemSaverRunning and HotKeysAllowed, with the platform
// and the queries passed in, so every family can be checked on any one system.
struct SaverPlatform {
    DWORD PlatformId;  // VER_PLATFORM_WIN32_NT (2) or another family
    DWORD MajorVersion;
    bool (*PasswordConfigured)();
    bool (*SaverRunningFlag)();    // SPI_GETSCREENSAVERRUNNING
    bool (*SaverDesktopExists)();  // the "screen-saver" desktop, NT before 5
};
bool IsSystemSaverRunningOn(const SaverPlatform& platform);
// SPI_GETSCREENSAVERRUNNING. Defined alone in SaverRunningFlag.cpp, so that a test program can
// link its own answer in its place (Wine keeps the flag set for a process that has set it).
bool SystemSaverRunningFlag();
bool HotKeysAllowedOn(const SaverPlatform& platform);
