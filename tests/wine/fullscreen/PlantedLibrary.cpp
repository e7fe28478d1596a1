// A library planted where a program might look for one: loaded, it leaves a mark beside itself
// (its own path followed by ".loaded").
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 8];
        DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
        if (length && length < MAX_PATH) {
            lstrcatW(path, L".loaded");
            HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
        }
    }
    return TRUE;
}
