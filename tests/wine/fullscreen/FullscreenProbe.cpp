// Asks Windows, from outside the saver, what the full-screen tests need to know.
//   foreground                 class name of the foreground window
//   focus                      class name of the keyboard focus of the foreground thread
//   topmost CLASS              1 when the window of CLASS has WS_EX_TOPMOST, else 0
//   above CLASS1 CLASS2        1 when CLASS1's window lies above CLASS2's in the z-order
//   zorder                     the visible top-level windows, topmost first
//   rect CLASS                 left top right bottom of the window of CLASS
//   virtual                    the virtual screen: left top width height, and the monitor count
//   running                    the system's screen-saver-running flag
//   set-running 0|1            sets it (status 1 when the system refuses)
//   close CLASS                posts WM_CLOSE to the window of CLASS
//   visible CLASS              1 when the window of CLASS is visible, else 0
//   command CLASS TITLE ID     posts WM_COMMAND ID to the window of CLASS and TITLE ("-": any)
//   launch-with-temp DIR CMD.. runs CMD with TMP and TEMP set to DIR, waits, exits with its code
//   resources CLASS            handle count, GDI object count and private bytes of the process
//                              that owns the window of CLASS
// Exit status 2 when a named window does not exist.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../ProbeCommands.h"

namespace {

HWND Find(const char* className) {
    HWND window = FindWindowA(className, nullptr);
    if (!window) {
        std::printf("no window of class %s\n", className);
        std::exit(2);
    }
    return window;
}

// The process's handle count; where the system does not tell (Wine), the entries of the
// system's handle table that belong to the process.
unsigned long HandleCount(HANDLE process, DWORD processId) {
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count) return count;
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    FARPROC function = GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(function));
    if (!query) return 0;
    struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
        USHORT ProcessId, CreatorBackTraceIndex;
        UCHAR ObjectType, Flags;
        USHORT Handle;
        void* Object;
        ULONG Access;
    };
    std::vector<unsigned char> buffer(1 << 20);
    ULONG needed = 0;
    while (query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()),
                 &needed) == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    ULONG entries = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entry = reinterpret_cast<Entry*>(buffer.data() + sizeof(void*));
    for (ULONG i = 0; i < entries; ++i)
        count += entry[i].ProcessId == static_cast<USHORT>(processId);
    return count;
}

int LaunchWithTemp(char** args) {
    // Wine takes TMP and TEMP from its registry, not from the caller's environment; a child
    // inherits them from its parent.
    SetEnvironmentVariableA("TMP", args[0]);
    SetEnvironmentVariableA("TEMP", args[0]);
    // The program quoted, its switches as they are ("/s", which a saver reads unquoted).
    std::string line = std::string("\"") + args[1] + "\"";
    for (int i = 2; args[i]; ++i) line += std::string(" ") + args[i];
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int Resources(char** args) {
    DWORD processId = 0;
    GetWindowThreadProcessId(Find(args[0]), &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return 3;
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    // Wine 8 answers 0 for another process's PrivateUsage, handle count and GDI objects;
    // its commit charge and the system's handle table are real.
    std::printf("%lu %lu %llu\n", HandleCount(process, processId),
                GetGuiResources(process, GR_GDIOBJECTS),
                static_cast<unsigned long long>(memory.PrivateUsage ? memory.PrivateUsage
                                                                    : memory.PagefileUsage));
    CloseHandle(process);
    return 0;
}

const ProbeCommand kCommands[] = {
    {"foreground", 0, ForegroundClass},
    {"focus", 0,
     [](char**) {
         GUITHREADINFO info = {};
         info.cbSize = sizeof info;
         return Answer("%s\n", GetGUIThreadInfo(0, &info) ? ClassOf(info.hwndFocus).c_str() : "");
     }},
    {"topmost", 1,
     [](char** args) {
         return Answer("%d\n",
                       (GetWindowLongA(Find(args[0]), GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
     }},
    {"above", 2,
     [](char** args) {
         HWND upper = Find(args[0]), lower = Find(args[1]);
         for (HWND window = GetTopWindow(nullptr); window;
              window = GetWindow(window, GW_HWNDNEXT)) {
             if (window == upper || window == lower) return Answer("%d\n", window == upper ? 1 : 0);
         }
         return 0;
     }},
    {"zorder", 0,
     [](char**) {
         for (HWND window = GetTopWindow(nullptr); window;
              window = GetWindow(window, GW_HWNDNEXT)) {
             if (IsWindowVisible(window))
                 std::printf(
                     "%s%s\n", ClassOf(window).c_str(),
                     (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? " (topmost)" : "");
         }
         return 0;
     }},
    {"rect", 1,
     [](char** args) {
         RECT rect;
         GetWindowRect(Find(args[0]), &rect);
         return Answer("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
     }},
    {"virtual", 0,
     [](char**) {
         return Answer("%d %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN),
                       GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                       GetSystemMetrics(SM_CYVIRTUALSCREEN), GetSystemMetrics(SM_CMONITORS));
     }},
    {"running", 0, ScreenSaverRunning},
    {"set-running", 1, SetScreenSaverRunning},
    {"visible", 1,
     [](char** args) { return Answer("%d\n", IsWindowVisible(Find(args[0])) ? 1 : 0); }},
    {"command", 3,
     [](char** args) {
         auto any = [](const char* text) { return std::strcmp(text, "-") ? text : nullptr; };
         HWND window = FindWindowA(any(args[0]), any(args[1]));
         if (!window) return 2;
         PostMessageA(window, WM_COMMAND, std::atoi(args[2]), 0);
         return 0;
     }},
    {"launch-with-temp", 2, LaunchWithTemp},
    {"resources", 1, Resources},
    {"close", 1, [](char** args) { return PostMessageA(Find(args[0]), WM_CLOSE, 0, 0), 0; }},
    // Ends the process of a window as the system, Task Manager or a crash can: no close.
    {"terminate", 1,
     [](char** args) {
         DWORD processId = 0;
         GetWindowThreadProcessId(Find(args[0]), &processId);
         HANDLE process = processId ? OpenProcess(PROCESS_TERMINATE, FALSE, processId) : nullptr;
         if (!process) return 3;
         BOOL ended = TerminateProcess(process, 9);
         CloseHandle(process);
         return ended ? 0 : 3;
     }},
    {"send-close", 1,
     [](char** args) {
         SendMessageTimeoutA(Find(args[0]), WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, nullptr);
         return 0;
     }},
};

}  // namespace

int main(int argc, char** argv) { return RunProbeCommand(argc, argv, kCommands, 1); }
