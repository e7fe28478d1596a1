// The saver's entry and its base window.
//
// The entry reads the screen-saver command line into a mode, marks a full-screen run for the
// system, makes the settings module and the window the mode needs, runs the message loop and
// clears the mark again. TScreensaverForm is the window every presentation derives from: it
// hides the cursor, closes on input beyond a small threshold (asking for the password where
// the system wants it), attaches itself to the control panel's preview, and scrolls a failure
// along its top edge.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/PaintBox.h"
#include "framework/Timer.h"

// ---- Mode and command line ----

enum : std::uint8_t { smRun = 0, smPreview = 1, smConfigure = 2, smChangePassword = 3 };

// Set once while the command line is read.
extern std::uint8_t SaverMode;
extern HWND ParentWindow;     // preview parent, password owner, or configuration's caller
extern HWND StartForeground;  // the foreground window when the command line was read

std::uint8_t ParseCommandLine(const char* tail);
HWND ParseWindowHandle(const char* text);
void BeginSaverRun();
void EndSaverRun();

// The windows of the upper layers, which the entry creates without knowing them.
struct SaverParts {
    // Creates the settings module; sets the final application title.
    std::function<void(fw::TApplication&)> CreateSettings;
    // Each creates its form as the application's main window.
    std::function<fw::TForm*(fw::TApplication&)> CreatePresentationForm;
    std::function<fw::TForm*(fw::TApplication&)> CreateConfigurationForm;
    // The password change mode's call; the system's ChangePassword when empty.
    std::function<void(HWND owner)> ChangePassword;
};

void DispatchMode(fw::TApplication& application, const SaverParts& parts);
void RunConfiguration(fw::TApplication& application, const SaverParts& parts);
// The application window of another process whose title is `title`, top-level or made a child
// of another window; null when there is none.
HWND FindRunningInstance(const char* title);
// Brings that instance's dialog (its last active popup) to the front.
void BringInstanceToFront(HWND applicationWindow);

// The whole life of the saver process for a command-line tail; returns the exit code, 0.
int SaverMain(const char* tail, const SaverParts& parts);

// ---- Shell-wide operations ----

constexpr const char* kDefaultTitle = "Vantle Screen Saver";
constexpr const char* kConfigurationMutex = "vclSaverRunConfiguration";

// ParentWindow names a window that still exists.
bool PreviewParentUsable();
// False, and nothing attached, when there is no usable parent.
bool AttachToPreviewParent(HWND applicationWindow, HWND formWindow);
void DisableParentWindow(HWND applicationWindow);
void EnableParentWindow(HWND applicationWindow);
// The warning box of the support library's error reports.
int ShowErrorBox(HWND owner, const char* text);

// The ".ini" path for a program path: everything from the last "." replaced by ".ini", or
// ".ini" appended when there is no ".". False (and an empty out) when it does not fit.
bool IniPathFor(const char* modulePath, char* out, std::size_t outSize);
// The saver's own ".ini" path into a buffer of kPathSize characters.
bool IniFileName(char* buffer);
// WritePrivateProfileStringA into the saver's ".ini"; null key deletes the section, null value
// the key. Failures are not reported.
void WriteIniString(const char* section, const char* key, const char* value);

// Where the error line is: shared by every saver window, 99999 before the first scroll.
extern std::int32_t ErrorScrollX;
constexpr std::int32_t kErrorScrollNotStarted = 99999;

// ---- The base window ----

class TScreensaverForm : public fw::TForm {
public:
    explicit TScreensaverForm(fw::TComponent* owner);
    ~TScreensaverForm() override;

    // Starts the scrolling error line; null is "no text".
    void ShowError(const char* text);

    fw::TPaintBox* ScreensaverPaintBox;
    fw::TTimer* ErrorTimer;

    // Read by tests and subclasses.
    std::uint8_t Mode() const { return FMode; }
    bool PasswordProtected() const { return FPasswordProtected; }
    bool InputSuspended() const { return FSuspendInput; }
    bool Closing() const { return FClosing; }
    POINT MouseOrigin() const { return FMouseOrigin; }
    const std::string& ErrorText() const { return FErrorText; }

protected:
    // For subclasses that bring a description of their own.
    TScreensaverForm(fw::TComponent* owner, const fw::TFormDescription& description);

    virtual void FormShow(fw::TObject* sender);
    virtual void FormClose(fw::TObject* sender, fw::TCloseAction& action);
    void ErrorTimerTimer(fw::TObject* sender);

    // Input hooks: true consumes the input and keeps the saver running.
    virtual bool HandleMouseInput(UINT message);
    virtual bool HandleKeyInput(UINT message, WPARAM key);

    void WndProc(fw::TMessage& message) override;

    std::uint8_t FMode;
    BOOL FPasswordProtected = FALSE;
    BOOL FSuspendInput = FALSE;
    POINT FMouseOrigin = {0, 0};
    std::int32_t FMouseThreshold = 8;
    BOOL FClosing = FALSE;
    std::string FErrorPrefix;
    std::string FErrorText;

private:
    void Construct();
    bool InputLive() const { return !FClosing && FMode == smRun && !FSuspendInput; }
    bool MovedBeyondThreshold(const POINT& cursor) const;
    bool AnswerInput(fw::TMessage& message);
};

// The base description: borderless, aqua, "MS Sans Serif" 8.
fw::TFormDescription ScreensaverFormDescription();
