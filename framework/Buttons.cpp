#include "framework/Buttons.h"

#include "framework/Form.h"

namespace fw {

namespace {

void EnableDialogKeysAbove(TWinControl* control) {
    for (TWinControl* p = control; p; p = p->Parent()) {
        if (auto* form = dynamic_cast<TForm*>(p)) form->EnableDialogKeys();
    }
}

}  // namespace

TButton::TButton(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    EnableDialogKeysAbove(parent);
}

void TButton::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "BUTTON";
    params.Style = WS_CHILD | WS_TABSTOP | (Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    params.OwnClass = false;
}

TCheckBox::TCheckBox(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    EnableDialogKeysAbove(parent);
}

void TCheckBox::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "BUTTON";
    params.Style = WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX;
    params.OwnClass = false;
}

void TCheckBox::AfterCreate() { SetChecked(FChecked); }

bool TCheckBox::Checked() const {
    if (HandleAllocated()) {
        return ::SendMessageA(HandleIfCreated(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    return FChecked;
}

void TCheckBox::SetChecked(bool checked) {
    FChecked = checked;
    if (HandleAllocated()) {
        ::SendMessageA(HandleIfCreated(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

}  // namespace fw
