// The base saver window, TScreensaverForm: its look, its mode, the close rules by mode, and the
// error line along its top edge.
#include "shell/ScreensaverUnit.h"

#include <string>

#include "shell/SaverServices.h"

fw::TFormDescription ScreensaverFormDescription() {
    fw::TFormDescription description;
    description.ClassName = "TScreensaverForm";
    description.BorderStyle = fw::bsNone;
    description.Color = fw::clAqua;
    description.Font = fw::TFont("MS Sans Serif", 8);
    description.ClientWidth = 640;
    description.ClientHeight = 480;
    description.Visible = true;
    return description;
}

TScreensaverForm::TScreensaverForm(fw::TComponent* owner)
    : TScreensaverForm(owner, ScreensaverFormDescription()) {}

TScreensaverForm::TScreensaverForm(fw::TComponent* owner, const fw::TFormDescription& description)
    : fw::TForm(owner, description) {
    ScreensaverPaintBox = new fw::TPaintBox(this, this);
    ScreensaverPaintBox->SetAlign(fw::alClient);
    ScreensaverPaintBox->SetColor(fw::clBlack);
    ScreensaverPaintBox->SetEnabled(false);  // mouse input goes to the form itself
    ErrorTimer = new fw::TTimer(this, 50, false);
    ErrorTimer->OnTimer = [this](fw::TObject* sender) { ErrorTimerTimer(sender); };
    OnShow = [this](fw::TObject* sender) { FormShow(sender); };
    OnClose = [this](fw::TObject* sender, fw::TCloseAction& action) { FormClose(sender, action); };
    Construct();
}

TScreensaverForm::~TScreensaverForm() = default;

void TScreensaverForm::Construct() {
    FErrorPrefix.clear();
    FErrorText.clear();
    FMode = SaverMode;
    FPasswordProtected = FALSE;
    FSuspendInput = FALSE;
    FMouseThreshold = 8;
    if (FMode == smPreview) SetEnabled(false);
    if (FMode == smRun) SetWindowState(fw::wsMaximized);
}

void TScreensaverForm::FormShow(fw::TObject*) {
    if (FMode == smRun) SetFormStyle(fw::fsStayOnTop);
    if (FMode == smPreview && fw::Application &&
        !AttachToPreviewParent(fw::Application->Handle(), Handle())) {
        fw::Application->Terminate();  // the parent is gone: nothing to show in
        return;
    }
    FPasswordProtected = IsPasswordConfigured() ? TRUE : FALSE;
    ::GetCursorPos(&FMouseOrigin);
}

void TScreensaverForm::FormClose(fw::TObject*, fw::TCloseAction& action) {
    // A close requested while one is under way (the password dialog is up) is refused: left at
    // its default it would end the application, whatever the answer to the password.
    if (FClosing) {
        action = fw::caNone;
        return;
    }
    FClosing = TRUE;
    if (FMode == smRun && FPasswordProtected) {
        FSuspendInput = TRUE;
        bool ok = VerifyPassword(Handle());
        FSuspendInput = FALSE;
        if (!ok) {
            action = fw::caNone;
            ::GetCursorPos(&FMouseOrigin);
            if (fw::Application) fw::Application->SetScreenCursor(fw::crDefault);
            FClosing = FALSE;
            return;
        }
    }
    SetWindowState(fw::wsNormal);
}

bool TScreensaverForm::HandleMouseInput(UINT) { return false; }

bool TScreensaverForm::HandleKeyInput(UINT, WPARAM) { return false; }

bool TScreensaverForm::MovedBeyondThreshold(const POINT& cursor) const {
    // 64-bit differences: no overflow whatever the two points are.
    long long dx = static_cast<long long>(cursor.x) - FMouseOrigin.x;
    long long dy = static_cast<long long>(cursor.y) - FMouseOrigin.y;
    return (dx < 0 ? -dx : dx) > FMouseThreshold || (dy < 0 ? -dy : dy) > FMouseThreshold;
}

// A key, a press or a move past the threshold: answered when a hot key or the form's own handling
// takes it; otherwise it closes the saver and goes on to the default handling.
bool TScreensaverForm::AnswerInput(fw::TMessage& message) {
    bool answered;
    switch (message.Msg) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (!InputLive()) return false;
            answered = HotKeysAllowed() && HandleKeyInput(message.Msg, message.WParam);
            break;
        case WM_MOUSEMOVE: {
            if (!InputLive()) return false;
            POINT cursor;
            ::GetCursorPos(&cursor);
            if (!MovedBeyondThreshold(cursor)) return false;
            answered = HandleMouseInput(WM_MOUSEMOVE);
            if (answered) ::GetCursorPos(&FMouseOrigin);
            break;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (!InputLive()) return false;
            answered = HandleMouseInput(message.Msg);
            break;
        default:
            return false;
    }
    if (answered) {
        message.Result = 0;
        return true;
    }
    Close();
    return false;
}

void TScreensaverForm::WndProc(fw::TMessage& message) {
    switch (message.Msg) {
        case WM_SETCURSOR:
            if (InputLive()) {
                ::SetCursor(nullptr);
                message.Result = 0;
                return;
            }
            break;
        case WM_NCACTIVATE:
            if (message.WParam == 0 && FMode == smRun) {
                message.Result = 1;
                return;
            }
            break;
        case WM_SYSCOMMAND:
            if (FMode == smRun && (message.WParam == SC_SCREENSAVE || message.WParam == SC_CLOSE)) {
                message.Result = 0;
                return;
            }
            break;
        default:
            if (AnswerInput(message)) return;
            break;
    }
    fw::TForm::WndProc(message);
}

void TScreensaverForm::ShowError(const char* text) {
    ErrorTimer->SetEnabled(true);
    if (!FErrorPrefix.empty() && text) {
        FErrorText = FErrorPrefix + ": " + text;
    } else if (!FErrorPrefix.empty()) {
        FErrorText = FErrorPrefix;
    } else if (text) {
        FErrorText = text;
    } else {
        FErrorText.clear();
    }
}

void TScreensaverForm::ErrorTimerTimer(fw::TObject*) {
    fw::TCanvas& canvas = ScreensaverPaintBox->Canvas();
    RECT client = ScreensaverPaintBox->ClientRect();
    canvas.BrushColor = ScreensaverPaintBox->Color();
    if (ErrorScrollX == kErrorScrollNotStarted) {
        canvas.FillRect(client);
        ErrorScrollX = client.right;
    }
    canvas.TextOut(ErrorScrollX, 0, FErrorText);
    SIZE extent = canvas.TextExtent(FErrorText);
    RECT trail = {ErrorScrollX + extent.cx, 0, ErrorScrollX + extent.cx + 2, extent.cy};
    canvas.FillRect(trail);
    ErrorScrollX -= 2;
    if (ErrorScrollX + extent.cx < 0) ErrorScrollX = client.right;
}
