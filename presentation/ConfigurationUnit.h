// The configuration dialog: the saver's logo from its container, the Sound and Music choices
// and a link label that opens the container's link through the shell.
//
// It is the main window in configuration mode. While it is up, the window that asked for it
// (the display control panel) is disabled. OK saves the choices; Cancel, Escape and the close
// button leave them as they were.
#pragma once

#include <windows.h>

#include <memory>

#include "framework/Application.h"
#include "framework/Buttons.h"
#include "framework/Form.h"
#include "framework/Label.h"
#include "framework/PaintBox.h"
#include "framework/Panel.h"
#include "imaging/PictureLoaderUnit.h"
#include "imaging/Transitionsunit.h"
#include "package/kwPak.h"
#include "support/Handles.h"

class TConfigurationForm : public fw::TForm {
public:
    explicit TConfigurationForm(fw::TComponent* owner);
    ~TConfigurationForm() override;

    fw::TPanel* Panel3;
    fw::TPanel* Panel2;
    fw::TButton* OkButton;
    fw::TButton* CancelButton;
    // The old three-way Sound choice; kept hidden and disabled, never used.
    fw::TPanel* SoundGroup;
    fw::TCheckBox* CheckBox_Sound;
    fw::TCheckBox* CheckBox_Music;
    fw::TPanel* Panel1;
    fw::TPaintBox* LogoPaintBox;
    fw::TPanel* Panel4;
    fw::TLabel* Label1;

    // Read by tests.
    const ssPicture& Logo() const { return FLogo; }
    HPALETTE Palette() const { return FPalette.Get(); }

protected:
    void WndProc(fw::TMessage& message) override;
    void DpiChanged() override;

private:
    void CreateLinkStrip();
    void CreateButtons();
    void CreateLogoBox();
    void BindContainer();
    void FormShow(fw::TObject* sender);
    void FormClose(fw::TObject* sender, fw::TCloseAction& action);
    void LoadLogo();
    void FitToLogo();
    RECT WorkArea();
    void KeepInside(const RECT& work);
    void LogoPaintBoxPaint(fw::TObject* sender);
    void OkButtonClick(fw::TObject* sender);
    void CancelButtonClick(fw::TObject* sender);
    void Label1Click(fw::TObject* sender);

    kwPak FPak;
    bool FBound = false;
    LoadRequest FLoadRequest;
    ssPicture FLogo;
    bool FLogoFitted = false;  // the form has been sized around the logo
    SIZE FLogoSize = {};       // the logo as drawn: at the dialog's scale, within the work area
    UniquePalette FPalette;
};

fw::TForm* CreateConfigurationForm(fw::TApplication& application);
