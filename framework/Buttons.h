// The system's button controls: the push button and the check box.
//
// A form that holds either takes Tab, Enter and Escape the dialog way (TForm::EnableDialogKeys).
#pragma once

#include "framework/Component.h"
#include "framework/WinControl.h"

namespace fw {

class TButton : public TWinControl {
public:
    TButton(TComponent* owner, TWinControl* parent);
    bool Default = false;  // Enter clicks it
    bool Cancel = false;   // Escape clicks it

protected:
    void FillCreateParams(CreateParams& params) override;
};

class TCheckBox : public TWinControl {
public:
    TCheckBox(TComponent* owner, TWinControl* parent);
    bool Checked() const;
    void SetChecked(bool checked);

protected:
    void FillCreateParams(CreateParams& params) override;
    void AfterCreate() override;

private:
    bool FChecked = false;
};

}  // namespace fw
