#include "shell/ScreensaverUnit.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/Exception.h"
#include "shell/SaverServices.h"
#include "support/Error.h"
#include "support/Handles.h"
#include "support/Path.h"

std::uint8_t SaverMode = smConfigure;
HWND ParentWindow = nullptr;
HWND StartForeground = nullptr;
std::int32_t ErrorScrollX = kErrorScrollNotStarted;

namespace {

// The configuration mutex lives as long as the process: its name marks the first instance.
UniqueMutex ConfigurationMutex;

}  // namespace

// ---- Dispatch ----

namespace {

struct InstanceSearch {
    const char* Title;
    DWORD OwnProcess;
    HWND Found;
};

bool IsApplicationWindow(HWND window, const InstanceSearch& search) {
    char name[16], title[256];
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process != search.OwnProcess && ::GetClassNameA(window, name, sizeof(name)) &&
           std::strcmp(name, "TApplication") == 0 &&
           ::GetWindowTextA(window, title, sizeof(title)) && std::strcmp(title, search.Title) == 0;
}

BOOL CALLBACK FindApplicationWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<InstanceSearch*>(param);
    if (!IsApplicationWindow(window, *search)) return TRUE;
    search->Found = window;
    return FALSE;
}

// A first instance started from a window made its application window a child of that window
// (DisableParentWindow), where a search of the top-level windows alone never finds it.
BOOL CALLBACK FindApplicationWindowBelow(HWND topLevel, LPARAM param) {
    if (!FindApplicationWindow(topLevel, param)) return FALSE;
    ::EnumChildWindows(topLevel, FindApplicationWindow, param);
    return reinterpret_cast<InstanceSearch*>(param)->Found ? FALSE : TRUE;
}

}  // namespace

HWND FindRunningInstance(const char* title) {
    InstanceSearch search = {title, ::GetCurrentProcessId(), nullptr};
    ::EnumWindows(FindApplicationWindowBelow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

void BringInstanceToFront(HWND other) {
    if (::GetAncestor(other, GA_PARENT) == ::GetDesktopWindow()) {
        ::ShowWindow(other, SW_SHOW);
        ::SetForegroundWindow(other);
        HWND popup = ::GetLastActivePopup(other);
        if (popup && popup != other) ::BringWindowToTop(popup);
        return;
    }
    // Made a child of the window the first instance was started from, its application window
    // can no longer be activated; told of an activation, it brings its dialog to the front from
    // inside its own process, where the dialog also gets the keyboard. We may lend it the
    // foreground right the user gave us.
    DWORD process = 0;
    ::GetWindowThreadProcessId(other, &process);
    ::AllowSetForegroundWindow(process);
    ::PostMessageA(other, WM_ACTIVATE, WA_ACTIVE, 0);
}

void RunConfiguration(fw::TApplication& application, const SaverParts& parts) {
    ConfigurationMutex.Reset(::CreateMutexA(nullptr, FALSE, kConfigurationMutex));
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        parts.CreateConfigurationForm(application);
        return;
    }
    // Another process shows the dialog. Our own application window carries the same title;
    // renamed, it no longer matches, and the search finds the other one.
    std::string title = application.Title();
    application.SetTitle("Testing");
    if (HWND other = FindRunningInstance(title.c_str())) BringInstanceToFront(other);
}

void DispatchMode(fw::TApplication& application, const SaverParts& parts) {
    switch (SaverMode) {
        case smRun:
            parts.CreatePresentationForm(application);
            break;
        case smPreview: {
            // Without a window to draw into a preview has nothing to show: no window at all,
            // rather than one on the desktop that lingers, drawing and sounding, until killed.
            if (!PreviewParentUsable()) break;
            fw::TForm* form = parts.CreatePresentationForm(application);
            if (!AttachToPreviewParent(application.Handle(), form->Handle())) {
                application.Terminate();
            }
            break;
        }
        case smChangePassword:
            if (parts.ChangePassword) {
                parts.ChangePassword(ParentWindow);
            } else {
                ChangePassword(ParentWindow);
            }
            break;
        default:
            RunConfiguration(application, parts);
            break;
    }
}

int SaverMain(const char* tail, const SaverParts& parts) {
    RestrictLibrarySearch();
    SetErrorBoxFunction(ShowErrorBox);
    ParseCommandLine(tail);
    BeginSaverRun();
    fw::TApplication application;
    try {
        application.Initialize();
        application.SetTitle(kDefaultTitle);
        parts.CreateSettings(application);
        DispatchMode(application, parts);
        application.Run();
        EndSaverRun();
    } catch (const fw::Exception& error) {
        EndSaverRun();
        application.ShowException(error);
    } catch (const std::exception& error) {
        EndSaverRun();
        application.MessageBox(error.what());
    }
    return 0;
}

// ---- Shell-wide operations ----

bool PreviewParentUsable() { return ParentWindow && ::IsWindow(ParentWindow); }

bool AttachToPreviewParent(HWND applicationWindow, HWND formWindow) {
    if (!PreviewParentUsable()) return false;
    if (StartForeground) ::SetForegroundWindow(StartForeground);
    ::ShowWindow(applicationWindow, SW_HIDE);
    ::SetParent(applicationWindow, ParentWindow);
    ::SetWindowLongA(applicationWindow, GWL_STYLE, WS_CHILD | WS_DISABLED);
    ::SetParent(formWindow, ParentWindow);
    ::SetWindowLongA(formWindow, GWL_STYLE, WS_CHILD | WS_DISABLED);
    // The parent may have gone between the check and here.
    if (::GetParent(formWindow) != ParentWindow) return false;
    RECT client;
    ::GetClientRect(ParentWindow, &client);
    ::MoveWindow(formWindow, 0, 0, client.right, client.bottom, FALSE);
    return true;
}

void DisableParentWindow(HWND applicationWindow) {
    if (!ParentWindow) return;
    ::SetParent(applicationWindow, ParentWindow);
    ::EnableWindow(ParentWindow, FALSE);
}

void EnableParentWindow(HWND applicationWindow) {
    if (!ParentWindow) return;
    ::SetParent(applicationWindow, nullptr);
    ::EnableWindow(ParentWindow, TRUE);
}

int ShowErrorBox(HWND owner, const char* text) {
    return ::MessageBoxA(owner, text ? text : "", "Error", MB_ICONWARNING);
}

bool IniPathFor(const char* modulePath, char* out, std::size_t outSize) {
    return ReplaceExtension(out, outSize, modulePath, ".ini");  // refuses rather than cuts
}

bool IniFileName(char* buffer) {
    char path[kPathSize];
    if (!ModuleFileName(nullptr, path)) {
        buffer[0] = '\0';
        return false;
    }
    return IniPathFor(path, buffer, kPathSize);
}

void WriteIniString(const char* section, const char* key, const char* value) {
    char path[kPathSize];
    if (!IniFileName(path)) return;
    ::WritePrivateProfileStringA(section, key, value, path);
}
