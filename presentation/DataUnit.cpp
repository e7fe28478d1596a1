#include "presentation/DataUnit.h"

#include <cstring>

#include "framework/Application.h"
#include "framework/Registry.h"
#include "support/Handles.h"

TScreensaverSettings* ScreensaverSettings = nullptr;

TScreensaverSettings::TScreensaverSettings(fw::TComponent* owner) : fw::TDataModule(owner) {
    char path[kPathSize];
    ModuleFileName(nullptr, path);  // cut short: no name rather than a wrong one
    Construct(path, true);
    ScreensaverSettings = this;
}

TScreensaverSettings::TScreensaverSettings(fw::TComponent* owner, const char* modulePath)
    : fw::TDataModule(owner) {
    Construct(modulePath, false);
}

TScreensaverSettings::~TScreensaverSettings() {
    if (ScreensaverSettings == this) ScreensaverSettings = nullptr;
}

void TScreensaverSettings::Construct(const char* modulePath, bool setTitle) {
    FKeyPath.clear();
    // A saver started under its short 8.3 name is still called by its long one.
    char name[kPathSize] = {};
    if (!FindLongFileName(name, sizeof(name), modulePath)) {
        SplitPath(modulePath, nullptr, 0, name, sizeof(name));
    }
    char* dot = std::strrchr(name, '.');
    if (dot) *dot = '\0';
    std::memcpy(FBaseName, name, sizeof(FBaseName));
    FKeyPath = std::string("\\Software\\") + kVendorKey + "\\" + FBaseName;
    if (setTitle && fw::Application)
        fw::Application->SetTitle(std::string(FBaseName) + " Screen Saver");
    Sound = 0;
    Music = 0;
    Load();
}

void TScreensaverSettings::Load() {
    fw::TRegistry registry(HKEY_CURRENT_USER);
    if (!registry.OpenKeyReadOnly(FKeyPath)) return;
    if (registry.ValueExists("Sound"))
        Sound = static_cast<std::int8_t>(registry.ReadInteger("Sound"));
    if (registry.ValueExists("Music"))
        Music = static_cast<std::int8_t>(registry.ReadInteger("Music"));
}

void TScreensaverSettings::Save() {
    fw::TRegistry registry(HKEY_CURRENT_USER);
    if (!registry.OpenKey(FKeyPath, true)) return;
    registry.WriteInteger("Sound", Sound);
    registry.WriteInteger("Music", Music);
}

namespace {

constexpr int kCloseSaverTextId = 101;

// The message's lines depend on the font the dialog gets, which follows the DPI. Where they need
// more room than the template gives, the text, the button below it and the dialog grow by the
// difference, so that no line is cut off; where they fit, nothing moves.
void FitCloseSaverText(HWND dialog) {
    HWND text = ::GetDlgItem(dialog, kCloseSaverTextId);
    if (!text) return;
    char message[1024] = {};
    ::GetWindowTextA(text, message, sizeof(message));
    RECT box;
    ::GetClientRect(text, &box);
    RECT need = {0, 0, box.right, 0};
    {
        ScopedWindowDC dc(text);
        ScopedSelectObject font(dc.Get(),
                                reinterpret_cast<HFONT>(::SendMessageA(text, WM_GETFONT, 0, 0)));
        ::DrawTextA(dc.Get(), message, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    }
    const int grow = need.bottom - box.bottom;
    if (grow <= 0) return;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    RECT r;
    ::GetWindowRect(text, &r);
    ::SetWindowPos(text, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + grow,
                   flags | SWP_NOMOVE);
    if (HWND ok = ::GetDlgItem(dialog, IDOK)) {
        ::GetWindowRect(ok, &r);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        ::SetWindowPos(ok, nullptr, r.left, r.top + grow, 0, 0, flags | SWP_NOSIZE);
    }
    ::GetWindowRect(dialog, &r);
    ::SetWindowPos(dialog, nullptr, r.left, r.top - grow / 2, r.right - r.left,
                   r.bottom - r.top + grow, flags);
}

}  // namespace

HWND CreateCloseSaverDialog(HWND owner) {
    auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    HWND dialog = ::CreateDialogParamA(instance, "CloseSaver", nullptr, CloseSaverDialogProc,
                                       reinterpret_cast<LPARAM>(owner));
    if (!dialog) return nullptr;
    ::SetWindowTextA(dialog, fw::Application ? fw::Application->Title().c_str() : "");
    return dialog;
}

INT_PTR CALLBACK CloseSaverDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            // The owner goes into the dialog's user slot, which on 64-bit Windows is the
            // pointer-sized DWLP_USER, not the old 32-bit index 8 (that now holds the
            // dialog procedure).
            ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            FitCloseSaverText(dialog);
            return TRUE;
        case WM_COMMAND: {
            WORD id = LOWORD(wParam);
            if (id != IDOK && id != IDCANCEL) return FALSE;
            int answer =
                ::MessageBoxA(dialog, kCloseSaverConfirmation, kCloseSaverConfirmationCaption,
                              MB_YESNO | MB_ICONINFORMATION);
            if (answer == IDYES) {
                auto owner = reinterpret_cast<HWND>(::GetWindowLongPtrA(dialog, DWLP_USER));
                ::PostMessageA(owner, WM_CLOSE, 0, 0);
                ::DestroyWindow(dialog);
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}
