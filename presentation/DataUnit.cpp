#include "presentation/DataUnit.h"

#include <cstring>

#include "framework/Registry.h"

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
