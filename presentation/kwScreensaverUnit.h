// The presentation window: the saver's window in full-screen and preview modes.
//
// It binds the container in the saver's own file when it is shown and then advances a small
// sequence on ItemTimer. Full-screen: a black backdrop over every monitor, the container's first
// module program extracted and started with its argument file, restarted whenever it ends by
// itself, and every key, click or movement beyond the threshold still ending the saver. Preview:
// the container's first picture, centred, then the saver's sound once. The container's hot keys
// either leave the module running as the saver closes, or launch a command and keep the saver
// alive, invisible, behind the close-saver dialog.
//
// One header over three files: kwScreensaverUnit.cpp (the sequence, the module run and the
// close), kwScreensaverPreview.cpp (the preview path) and kwScreensaverHotKeys.cpp (the hot
// keys). The pointer watch while a module shows is PointerWatch.h's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/Timer.h"
#include "imaging/PictureLoaderUnit.h"
#include "imaging/Transitionsunit.h"
#include "package/kwPak.h"
#include "package/ssModule.h"
#include "presentation/PointerWatch.h"
#include "shell/ScreensaverUnit.h"
#include "support/Handles.h"

enum : std::uint8_t {
    kStateStarting = 0,
    kStateLoadingPicture = 1,
    kStatePictureShown = 2,
    kStateSoundPending = 3,
    kStateModuleRunning = 4,
};

class TkwScreensaverForm : public TScreensaverForm {
public:
    explicit TkwScreensaverForm(fw::TComponent* owner);
    ~TkwScreensaverForm() override;

    fw::TTimer* ItemTimer;

    // Read by tests.
    std::uint8_t State() const { return FState; }
    const ssModule& Module() const { return FModule; }
    HWND Backdrop() const { return FBackdrop.Get(); }
    HWND CloseDialog() const { return FCloseDialog; }
    const TPictureLoader* Loader() const { return FLoader.get(); }
    const ssPicture& Picture() const { return FPictures[0]; }
    HPALETTE Palette() const { return FPalette.Get(); }

protected:
    void FormShow(fw::TObject* sender) override;
    void FormClose(fw::TObject* sender, fw::TCloseAction& action) override;
    bool HandleMouseInput(UINT message) override;
    bool HandleKeyInput(UINT message, WPARAM key) override;
    void WndProc(fw::TMessage& message) override;

private:
    void ItemTimerTimer(fw::TObject* sender);
    void Advance();
    void StartContent();
    void RunModule();
    std::string BuildModuleQuery() const;
    HWND CreateBackdrop();
    void KeepModuleInFront();
    // The pointer is watched through the low-level hook while a module runs.
    void StartPointerWatch();
    void StopPointerWatch();
    void PointerEvent(WPARAM stepFromCursor, LPARAM point);
    // After a refused password: the user's movement counts afresh, the watch resumes.
    void ResumeAfterRefusal(bool watched);
    // Whether a close goes ahead, is taken up later or is refused, in one place: FormClose,
    // the end of a module wait, the pointer watch's events and the pointer's messages at this
    // window all ask it.
    enum class CloseCause : std::uint8_t { kRequest, kPointerWatch, kCursorMessage };
    enum class CloseAnswer : std::uint8_t { kGo, kLater, kRefuse };
    CloseAnswer AnswerClose(CloseCause cause) const;
    // Stops the pointer watch, ends the module and deletes its files (unless it is left
    // running), destroys the backdrop. Safe to repeat.
    void EndModuleRun();
    void PostKeyToModule(WPARAM key);
    // The module runner's waits answer calls sent to this thread; a close sent meanwhile is
    // deferred until the step is over (see AnswerClose).
    template <typename Step>
    void DuringModuleWait(Step step);
    bool ModuleRunning();
    void ExecuteCommand(const char* command);
    bool EnterCloseSaverMode();
    void StopModule(std::int32_t milliseconds);
    void ClearTransparent();
    void ReportFailure(const std::string& text);
    // Runs a step; an error it raises is reported with its message, or with `fallback` when
    // it carries none of ours.
    void Guarded(const char* fallback, const std::function<void()>& step);

    // The preview path.
    void LoadPicture();
    void ShowPicture();
    void StopPicture();
    void ScreensaverPaintBoxPaint(fw::TObject* sender);
    // Takes the finished loader's palette into this window's keeping.
    void TakeLoaderPalette();
    // The saver's sound, through WINMM loaded from the system folder when it first plays (a
    // library imported at load time would be searched for beside the saver too).
    void PlaySaverSound(const char* name, HMODULE module, DWORD flags);

    std::uint8_t FState = kStateStarting;
    kwPak FPak;
    std::unique_ptr<TPictureLoader> FLoader;
    LoadRequest FLoadRequest;
    ssPicture FPictures[2];
    UniquePalette FPalette;
    UniqueLibrary FSoundLibrary;
    ssModule FModule;
    BOOL FLeaveModuleRunning = FALSE;
    UniqueWindow FBackdrop;
    HWND FCloseDialog = nullptr;
    PointerWatch FPointerWatch;
    // The module waits under way, and whether a close waits for them to end.
    int FModuleWaits = 0;
    bool FCloseDeferred = false;
};

fw::TForm* CreatePresentationForm(fw::TApplication& application);
