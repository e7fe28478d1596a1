// The user's settings and the close-saver dialog.
//
// TScreensaverSettings names the saver after its own file, gives the application its title and
// keeps the two choices Sound and Music (0 always/on, 1 once, 2 never/off) in the current
// user's registry under \Software\Saverpak\<saver name>. The close-saver dialog is the small
// modeless window that keeps a lingering saver alive until the user confirms.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/Component.h"
#include "support/Path.h"

constexpr const char* kVendorKey = "Saverpak";

class TScreensaverSettings : public fw::TDataModule {
public:
    explicit TScreensaverSettings(fw::TComponent* owner);
    // For tests: the settings of a saver at `modulePath`, without touching the title.
    TScreensaverSettings(fw::TComponent* owner, const char* modulePath);
    ~TScreensaverSettings() override;

    // Reads Sound and Music where the key and values exist. A value that is not a 32-bit
    // integer raises fw::ERegistryException.
    void Load();
    // Writes both, creating the key; silent when the key cannot be opened or created, raises
    // fw::ERegistryException when a write fails.
    void Save();

    const char* BaseName() const { return FBaseName; }
    const std::string& KeyPath() const { return FKeyPath; }

    std::int8_t Sound = 0;
    std::int8_t Music = 0;

private:
    void Construct(const char* modulePath, bool setTitle);

    char FBaseName[kPathSize] = {};
    std::string FKeyPath;
};

// The process's settings module while it exists.
extern TScreensaverSettings* ScreensaverSettings;

// Creates the modeless close-saver dialog owned by `owner`; null when it cannot be created.
HWND CreateCloseSaverDialog(HWND owner);
INT_PTR CALLBACK CloseSaverDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

constexpr const char* kCloseSaverConfirmation =
    "Closing this window will close any windows opened by the screensaver. Are you sure you "
    "want to proceed?";
constexpr const char* kCloseSaverConfirmationCaption = "Close Screensaver";
