// A plain window that takes the place of the configuration dialog in the shell's own tests
// (test builds only): a small dialog with an OK button, enough for the single-instance guard to
// find it and bring it to the front.
#pragma once

#include "framework/Buttons.h"
#include "framework/Form.h"
#include "shell/ScreensaverUnit.h"

class TStandInConfigurationForm : public fw::TForm {
public:
    explicit TStandInConfigurationForm(fw::TComponent* owner);
    fw::TButton* OkButton;

private:
    void FormShow(fw::TObject* sender);
    void FormClose(fw::TObject* sender, fw::TCloseAction& action);
};
