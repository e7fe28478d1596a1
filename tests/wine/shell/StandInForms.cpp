#include "tests/wine/shell/StandInForms.h"

namespace {

fw::TFormDescription ConfigurationDescription() {
    fw::TFormDescription description;
    description.ClassName = "TConfigurationForm";
    description.Caption = fw::Application ? fw::Application->Title() : "";
    description.ClientWidth = 223;
    description.ClientHeight = 221;
    description.BorderStyle = fw::bsDialog;
    description.Position = fw::poScreenCenter;
    description.Visible = true;
    return description;
}

}  // namespace

TStandInConfigurationForm::TStandInConfigurationForm(fw::TComponent* owner)
    : fw::TForm(owner, ConfigurationDescription()) {
    OkButton = new fw::TButton(this, this);
    OkButton->SetCaption("&OK");
    OkButton->SetBounds(61, 184, 101, 25);
    OkButton->Default = true;
    OkButton->OnClick = [this](fw::TObject*) { Close(); };
    OnShow = [this](fw::TObject* sender) { FormShow(sender); };
    OnClose = [this](fw::TObject* sender, fw::TCloseAction& action) { FormClose(sender, action); };
}

void TStandInConfigurationForm::FormShow(fw::TObject*) {
    if (fw::Application) DisableParentWindow(fw::Application->Handle());
}

void TStandInConfigurationForm::FormClose(fw::TObject*, fw::TCloseAction&) {
    if (fw::Application) EnableParentWindow(fw::Application->Handle());
}
