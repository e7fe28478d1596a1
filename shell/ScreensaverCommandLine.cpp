// The shell's command line: the mode letter and the window handle after it, and the system's
// running flag for a full-screen run.
#include "shell/ScreensaverUnit.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

HWND ParseWindowHandle(const char* text) {
    if (!text) return nullptr;
    if (*text == ':') ++text;
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    // strtol rather than atol: the same digits, but a number too long for 32 bits saturates
    // instead of being undefined.
    errno = 0;
    long number = std::strtol(text, nullptr, 10);
    if (errno == ERANGE || number == 0) return nullptr;
    HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(number));
    return ::IsWindow(window) ? window : nullptr;
}

std::uint8_t ParseCommandLine(const char* tail) {
    StartForeground = ::GetForegroundWindow();
    const char* p = tail ? tail : "";
    while (*p == ' ') ++p;
    if (*p == '-' || *p == '/') ++p;
    int letter = std::toupper(static_cast<unsigned char>(*p));
    const char* rest = *p ? p + 1 : p;
    switch (letter) {
        case 'S':
            SaverMode = smRun;
            ParentWindow = nullptr;
            break;
        case 'P':
        case 'L':
            SaverMode = smPreview;
            ParentWindow = ParseWindowHandle(rest);
            break;
        case 'C':
            SaverMode = smConfigure;
            ParentWindow = ::GetForegroundWindow();
            break;
        case 'A':
            SaverMode = smChangePassword;
            ParentWindow = ParseWindowHandle(rest);
            break;
        default:
            SaverMode = smConfigure;
            ParentWindow = nullptr;
            break;
    }
    return SaverMode;
}

void BeginSaverRun() {
    if (SaverMode != smRun) return;
    UINT scratch = 0;
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &scratch, 0);
}

void EndSaverRun() {
    if (SaverMode != smRun) return;
    UINT scratch = 0;
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &scratch, 0);
}
