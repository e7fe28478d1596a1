// Plain windows that take the place of the presentation window and the configuration dialog
// where those are not wanted: the shell's own tests (test builds only). The
// presentation stand-in is the base window as it is (black, full-screen, closes on input); the
// configuration stand-in is a small dialog with an OK button, enough for the single-instance
// guard to find it and bring it to the front.
#pragma once

#include "framework/Buttons.h"
#include "framework/Form.h"
#include "shell/ScreensaverUnit.h"

class TStandInPresentationForm : public TScreensaverForm {
public:
    explicit TStandInPresentationForm(fw::TComponent* owner);
};

class TStandInConfigurationForm : public fw::TForm {
public:
    explicit TStandInConfigurationForm(fw::TComponent* owner);
    fw::TButton* OkButton;

private:
    void FormShow(fw::TObject* sender);
    void FormClose(fw::TObject* sender, fw::TCloseAction& action);
};

// SaverParts whose windows are the stand-ins; CreateSettings is left to the caller.
SaverParts StandInParts();
