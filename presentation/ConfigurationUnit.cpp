#include "presentation/ConfigurationUnit.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "framework/Exception.h"
#include "presentation/DataUnit.h"
#include "presentation/PaintBoxPalette.h"
#include "shell/SaverServices.h"
#include "shell/ScreensaverUnit.h"
#include "support/Error.h"
#include "support/Text.h"

namespace {

constexpr const char* kInitializationFailure = "Error occurred during initialization.";
constexpr const char* kUnexpectedFailure = "An unexpected error occurred during initialization.";
// What precedes kInitializationFailure when there is no logo to load.
constexpr const char* kNoContainer = "The screen saver's content could not be read. ";
constexpr const char* kNoLogo = "The screen saver holds no logo picture. ";
// Shown only when the container cannot be bound.
constexpr const char* kDesignLinkCaption = "Visit our web site";
// The logo's place in the design; the form grows or shrinks around the logo actually shown.
constexpr int kLogoBoxWidth = 88;
constexpr int kLogoBoxHeight = 180;

fw::TFormDescription ConfigurationFormDescription() {
    fw::TFormDescription description;
    description.ClassName = "TConfigurationForm";
    description.Caption = fw::Application ? fw::Application->Title() : std::string();
    description.ClientWidth = 223;
    description.ClientHeight = 221;
    description.BorderStyle = fw::bsDialog;
    description.Position = fw::poScreenCenter;
    description.Color = fw::clBtnFace;
    description.Font = fw::TFont("MS Sans Serif", 8);
    description.Visible = true;
    return description;
}

// WIDTH x HEIGHT, or smaller with the same proportions so that it fits MAX-WIDTH x MAX-HEIGHT;
// never larger, and never empty for a picture.
SIZE FittedSize(int width, int height, int maxWidth, int maxHeight) {
    maxWidth = std::max(maxWidth, 1);
    maxHeight = std::max(maxHeight, 1);
    if (width <= maxWidth && height <= maxHeight) return {width, height};
    // Shrunk by the tighter side, in 64 bits: a width times a height can pass 2^31.
    const std::int64_t w = width, h = height;
    if (w * maxHeight > h * maxWidth) {
        return {maxWidth, static_cast<LONG>(std::max<std::int64_t>(h * maxWidth / w, 1))};
    }
    return {static_cast<LONG>(std::max<std::int64_t>(w * maxHeight / h, 1)), maxHeight};
}

}  // namespace

TConfigurationForm::TConfigurationForm(fw::TComponent* owner)
    : fw::TForm(owner, ConfigurationFormDescription()) {
    // Bottom first: the link strip, then the area above it.
    CreateLinkStrip();
    Panel3 = new fw::TPanel(this, this);
    Panel3->SetAlign(fw::alClient);
    CreateButtons();
    CreateLogoBox();

    OnShow = [this](fw::TObject* sender) { FormShow(sender); };
    OnClose = [this](fw::TObject* sender, fw::TCloseAction& action) { FormClose(sender, action); };

    SetCaption(fw::Application ? fw::Application->Title() : std::string());
    BindContainer();
}

void TConfigurationForm::CreateLinkStrip() {
    Panel4 = new fw::TPanel(this, this);
    Panel4->SetBounds(0, 200, 223, 21);
    Panel4->SetAlign(fw::alBottom);
    Label1 = new fw::TLabel(this, Panel4);
    Label1->SetBounds(12, 2, 187, 13);
    Label1->SetCursor(fw::crHandPoint);
    Label1->SetFont(fw::TFont("MS Sans Serif", 8, fw::clBlue, fw::fsUnderline));
    Label1->SetCaption(kDesignLinkCaption);
    Label1->OnClick = [this](fw::TObject* sender) { Label1Click(sender); };
}

void TConfigurationForm::CreateButtons() {
    Panel2 = new fw::TPanel(this, Panel3);
    Panel2->SetBounds(108, 0, 115, 200);
    Panel2->SetAlign(fw::alRight);
    OkButton = new fw::TButton(this, Panel2);
    OkButton->SetCaption("&OK");
    OkButton->Default = true;
    OkButton->SetBounds(8, 12, 101, 25);
    OkButton->OnClick = [this](fw::TObject* sender) { OkButtonClick(sender); };
    CancelButton = new fw::TButton(this, Panel2);
    CancelButton->SetCaption("&Cancel");
    CancelButton->Cancel = true;
    CancelButton->SetBounds(8, 47, 101, 25);
    CancelButton->OnClick = [this](fw::TObject* sender) { CancelButtonClick(sender); };
    SoundGroup = new fw::TPanel(this, Panel2);
    SoundGroup->SetCaption("&Sound");
    SoundGroup->SetVisible(false);
    SoundGroup->SetEnabled(false);
    CheckBox_Sound = new fw::TCheckBox(this, Panel2);
    CheckBox_Sound->SetCaption("&Sound");
    CheckBox_Sound->SetBounds(25, 84, 61, 17);
    CheckBox_Music = new fw::TCheckBox(this, Panel2);
    CheckBox_Music->SetCaption("&Music");
    CheckBox_Music->SetBounds(25, 108, 57, 17);
}

void TConfigurationForm::CreateLogoBox() {
    Panel1 = new fw::TPanel(this, Panel3);
    Panel1->SetAlign(fw::alClient);
    Panel1->SetBorderWidth(10);
    LogoPaintBox = new fw::TPaintBox(this, Panel1);
    LogoPaintBox->SetBounds(10, 10, kLogoBoxWidth, kLogoBoxHeight);
    LogoPaintBox->SetAlign(fw::alClient);
    LogoPaintBox->OnPaint = [this](fw::TObject* sender) { LogoPaintBoxPaint(sender); };
}

void TConfigurationForm::BindContainer() {
    try {
        FPak.Bind();
        FBound = true;
        Label1->SetCaption(FromWindows1252(FPak.URLCaption()));
        if (FPak.Music() == 0) {
            CheckBox_Music->SetVisible(false);
            CheckBox_Music->SetEnabled(false);
        }
    } catch (...) {
        // The dialog still works without its container: the choices can be saved.
    }
}

TConfigurationForm::~TConfigurationForm() = default;

void TConfigurationForm::FormShow(fw::TObject*) {
    try {
        DisableParentWindow(fw::Application ? fw::Application->Handle() : nullptr);
        LoadLogo();
    } catch (const std::exception& error) {
        std::string text = fw::IsOurError(error)
                               ? std::string(error.what()) + kInitializationFailure
                               : std::string(kUnexpectedFailure);
        if (fw::Application) fw::Application->MessageBox(text);
    } catch (...) {
        if (fw::Application) fw::Application->MessageBox(kUnexpectedFailure);
    }
    const std::int8_t sound = ScreensaverSettings ? ScreensaverSettings->Sound : 0;
    const std::int8_t music = ScreensaverSettings ? ScreensaverSettings->Music : 0;
    CheckBox_Sound->SetChecked(sound != 2);
    CheckBox_Music->SetChecked(music != 2);
}

void TConfigurationForm::LoadLogo() {
    ScopedUnbind unbind(FPak);

    if (!FBound) throw std::runtime_error(kNoContainer);
    auto contents = FPak.ContentTable();
    if (contents.size() < 2) throw std::runtime_error(kNoLogo);
    FLoadRequest = LoadRequest{nullptr, &FPak, static_cast<std::int32_t>(contents[1]), &FLogo};
    {
        TPictureLoader loader(&FLoadRequest, 1, 0, 0, 1);
        loader.WaitFor();
        // A logo that cannot be loaded leaves the dialog without one; the loader keeps the
        // error, and the dialog goes on as it is.
        FPalette.Reset(loader.TakePalette());
    }
    FLogoFitted = true;
    FitToLogo();
}

void TConfigurationForm::FitToLogo() {
    // The form follows the logo at the dialog's scale, in pixels, so that no rounding of the
    // panels can clip it: narrower or wider, but only ever taller. The logo is drawn smaller
    // when the form would otherwise outgrow the work area: a phone photograph stored as it is
    // would push OK and Cancel off the screen.
    const RECT work = WorkArea();
    const int frameWidth = Width() - LogoPaintBox->ClientWidth();
    const int frameHeight = Height() - LogoPaintBox->ClientHeight();
    FLogoSize =
        FittedSize(Scale(FLogo.Width()), Scale(FLogo.Height()), work.right - work.left - frameWidth,
                   work.bottom - work.top - std::max(frameHeight, 0));
    SetWidth(frameWidth + FLogoSize.cx);
    if (FLogoSize.cy > LogoPaintBox->ClientHeight()) SetHeight(frameHeight + FLogoSize.cy);
    KeepInside(work);
}

RECT TConfigurationForm::WorkArea() {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST), &monitor)) {
        return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    return monitor.rcWork;
}

void TConfigurationForm::KeepInside(const RECT& work) {
    // Grown from its centred place towards the right and the bottom: moved back only as far as
    // needed, so a dialog that fits stays where it was.
    RECT frame;
    ::GetWindowRect(Handle(), &frame);
    const LONG left =
        std::max(std::min(frame.left, work.right - (frame.right - frame.left)), work.left);
    const LONG top =
        std::max(std::min(frame.top, work.bottom - (frame.bottom - frame.top)), work.top);
    if (left == frame.left && top == frame.top) return;
    ::SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TConfigurationForm::DpiChanged() {
    if (FLogoFitted) FitToLogo();
}

void TConfigurationForm::LogoPaintBoxPaint(fw::TObject*) {
    if (!FLogo.HasPixels()) return;
    const int width = FLogoSize.cx;
    const int height = FLogoSize.cy;
    // Truncating division: an odd difference puts the extra pixel on the right or bottom.
    const int x = (LogoPaintBox->Width() - width) / 2;
    const int y = (LogoPaintBox->Height() - height) / 2;
    HDC dc = LogoPaintBox->Canvas().Handle();
    ScopedPaintPalette palette(dc, FPalette.Get());
    if (width == FLogo.Width() && height == FLogo.Height()) {
        FLogo.Draw(dc, x, y, SRCCOPY);
        return;
    }
    if (width < FLogo.Width() && !FPalette.Get()) {
        // Shrunk to fit the screen: averaged, not every n-th pixel.
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
    } else {
        // Whole pixels repeated, no blending: the logo's own colours, also on a palette.
        SetStretchBltMode(dc, COLORONCOLOR);
    }
    StretchDIBits(dc, x, y, width, height, 0, 0, FLogo.Width(), FLogo.Height(), FLogo.FPixels,
                  FLogo.Info(), DIB_RGB_COLORS, SRCCOPY);
}

void TConfigurationForm::OkButtonClick(fw::TObject*) {
    if (ScreensaverSettings) {
        ScreensaverSettings->Sound = CheckBox_Sound->Checked() ? 0 : 2;
        // A hidden Music box still holds the state it was given at show.
        ScreensaverSettings->Music = CheckBox_Music->Checked() ? 0 : 2;
        ScreensaverSettings->Save();
    }
    Close();
}

void TConfigurationForm::CancelButtonClick(fw::TObject*) { Close(); }

void TConfigurationForm::Label1Click(fw::TObject*) {
    if (fw::Application) fw::Application->SetScreenCursor(fw::crHourGlass);
    const std::string link = FromWindows1252(FPak.URLLink());
    const INT_PTR result = ShellExecuteCommand(link.c_str());
    // Read before anything else can change the thread's last error.
    std::string failure = result <= 32 ? LastErrorText() : std::string();
    if (fw::Application) fw::Application->SetScreenCursor(fw::crDefault);
    if (result <= 32 && fw::Application) fw::Application->MessageBox(failure);
}

void TConfigurationForm::FormClose(fw::TObject*, fw::TCloseAction&) {
    FLogo.FreeBits();
    FPalette.Reset();
    EnableParentWindow(fw::Application ? fw::Application->Handle() : nullptr);
}

void TConfigurationForm::WndProc(fw::TMessage& message) {
    switch (message.Msg) {
        case WM_QUERYNEWPALETTE:
        case WM_PALETTECHANGED:
            RealizePaletteOnMessage(message, HandleIfCreated(), *LogoPaintBox, FPalette.Get());
            break;
    }
    fw::TForm::WndProc(message);
}

fw::TForm* CreateConfigurationForm(fw::TApplication& application) {
    return application.CreateForm<TConfigurationForm>();
}
