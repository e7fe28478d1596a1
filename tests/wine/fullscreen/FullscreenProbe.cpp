// Asks Windows, from outside the saver, what the full-screen tests need to know.
//   foreground                 class name of the foreground window
//   focus                      class name of the keyboard focus of the foreground thread
//   topmost CLASS              1 when the window of CLASS has WS_EX_TOPMOST, else 0
//   above CLASS1 CLASS2        1 when CLASS1's window lies above CLASS2's in the z-order
//   zorder                     the visible top-level windows, topmost first
//   rect CLASS                 left top right bottom of the window of CLASS
//   virtual                    the virtual screen: left top width height, and the monitor count
//   running                    the system's screen-saver-running flag
//   set-running 0|1            sets it
//   close CLASS                posts WM_CLOSE to the window of CLASS
//   send-close CLASS           sends it (answered even inside the saver's waits)
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
    while (query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) ==
           static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    ULONG entries = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entry = reinterpret_cast<Entry*>(buffer.data() + sizeof(void*));
    for (ULONG i = 0; i < entries; ++i) count += entry[i].ProcessId == static_cast<USHORT>(processId);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    const char* command = argv[1];
    if (!std::strcmp(command, "foreground")) {
        char name[256] = "";
        if (HWND window = GetForegroundWindow()) GetClassNameA(window, name, sizeof name);
        std::printf("%s\n", name);
    } else if (!std::strcmp(command, "focus")) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        char name[256] = "";
        if (GetGUIThreadInfo(0, &info) && info.hwndFocus) GetClassNameA(info.hwndFocus, name, sizeof name);
        std::printf("%s\n", name);
    } else if (!std::strcmp(command, "topmost") && argc == 3) {
        std::printf("%d\n", (GetWindowLongA(Find(argv[2]), GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
    } else if (!std::strcmp(command, "above") && argc == 4) {
        HWND upper = Find(argv[2]), lower = Find(argv[3]);
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            if (window == upper || window == lower) {
                std::printf("%d\n", window == upper ? 1 : 0);
                break;
            }
        }
    } else if (!std::strcmp(command, "zorder")) {
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            char name[256] = "";
            GetClassNameA(window, name, sizeof name);
            if (IsWindowVisible(window)) std::printf("%s%s\n", name, (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? " (topmost)" : "");
        }
    } else if (!std::strcmp(command, "rect") && argc == 3) {
        RECT rect;
        GetWindowRect(Find(argv[2]), &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    } else if (!std::strcmp(command, "virtual")) {
        std::printf("%d %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN),
                    GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                    GetSystemMetrics(SM_CYVIRTUALSCREEN), GetSystemMetrics(SM_CMONITORS));
    } else if (!std::strcmp(command, "running")) {
        BOOL running = FALSE;
        SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
        std::printf("%d\n", running ? 1 : 0);
    } else if (!std::strcmp(command, "set-running") && argc == 3) {
        BOOL old = FALSE;
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, std::atoi(argv[2]), &old, 0);
    } else if (!std::strcmp(command, "visible") && argc == 3) {
        std::printf("%d\n", IsWindowVisible(Find(argv[2])) ? 1 : 0);
    } else if (!std::strcmp(command, "command") && argc == 5) {
        auto any = [](const char* text) { return std::strcmp(text, "-") ? text : nullptr; };
        HWND window = FindWindowA(any(argv[2]), any(argv[3]));
        if (!window) return 2;
        PostMessageA(window, WM_COMMAND, std::atoi(argv[4]), 0);
    } else if (!std::strcmp(command, "launch-with-temp") && argc >= 4) {
        // Wine takes TMP and TEMP from its registry, not from the caller's environment; a child
        // inherits them from its parent.
        SetEnvironmentVariableA("TMP", argv[2]);
        SetEnvironmentVariableA("TEMP", argv[2]);
        // The program quoted, its switches as they are ("/s", which a saver reads unquoted).
        std::string line = std::string("\"") + argv[3] + "\"";
        for (int i = 4; i < argc; ++i) line += std::string(" ") + argv[i];
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
    } else if (!std::strcmp(command, "resources") && argc == 3) {
        DWORD processId = 0;
        GetWindowThreadProcessId(Find(argv[2]), &processId);
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
        if (!process) return 3;
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        // Wine 8 answers 0 for another process's PrivateUsage, handle count and GDI objects;
        // its commit charge and the system's handle table are real.
        std::printf("%lu %lu %llu\n", HandleCount(process, processId),
                    GetGuiResources(process, GR_GDIOBJECTS),
                    static_cast<unsigned long long>(memory.PrivateUsage ? memory.PrivateUsage
                                                                        : memory.PagefileUsage));
        CloseHandle(process);
    } else if (!std::strcmp(command, "close") && argc == 3) {
        PostMessageA(Find(argv[2]), WM_CLOSE, 0, 0);
    } else if (!std::strcmp(command, "send-close") && argc == 3) {
        SendMessageTimeoutA(Find(argv[2]), WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, nullptr);
    } else {
        return 1;
    }
    return 0;
}
