// The application object and its message loop.
//
// One per process, made by the entry: the hidden top-level window whose caption is the title
// and which owns the forms, the main form, the loop that dispatches every message (giving
// forms with buttons, and dialog boxes, the dialog keys) and the boxes that show errors.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <utility>

#include "framework/Component.h"
#include "framework/Cursor.h"
#include "support/Handles.h"

namespace fw {

class TForm;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // Creates the hidden application window; everything else needs it.
    void Initialize();
    HWND Handle() const { return FWindow.Get(); }
    void SetTitle(const std::string& title);
    const std::string& Title() const { return FTitle; }

    // Creates a form owned by the application; the first one becomes the main form.
    template <typename T, typename... Args>
    T* CreateForm(Args&&... args) {
        T* form = new T(this, std::forward<Args>(args)...);
        if (!FMainForm) FMainForm = form;
        return form;
    }
    TForm* MainForm() const { return FMainForm; }

    // Shows the main form when it asks to be shown and runs the message loop until Terminate.
    // Returns at once when there is no main form.
    void Run();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Handles the messages waiting now, then returns.
    void ProcessMessages();

    // The boxes (MessageBoxes.cpp): owned by the active window, else the main form.
    int MessageBox(const std::string& text, const char* caption = nullptr, UINT flags = MB_OK);
    // The exception box: the message, the title as caption, the error icon.
    void ShowException(const std::exception& error);
    // Called for an exception that escaped a message handler.
    void HandleException(const std::exception* error);

    void SetScreenCursor(TCursor cursor);
    TCursor ScreenCursor() const { return FScreenCursor; }

    // Forms report here when they become active.
    void NoteActiveForm(HWND form) { FLastActiveForm = form; }

private:
    bool ProcessMessage(MSG& msg);
    // Whether keys for windows below `root` go through IsDialogMessage: only for a dialog box
    // or a form with buttons of this process.
    static bool TakesDialogKeys(HWND root);
    static LRESULT CALLBACK AppWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    std::string FTitle;
    UniqueWindow FWindow;
    TForm* FMainForm = nullptr;
    bool FTerminated = false;
    TCursor FScreenCursor = crDefault;
    HWND FLastActiveForm = nullptr;
};

// The process's application object while one exists.
extern TApplication* Application;

}  // namespace fw
