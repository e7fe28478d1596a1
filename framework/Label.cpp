#include "framework/Label.h"

namespace fw {

TLabel::TLabel(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {}

void TLabel::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "STATIC";
    params.Style = WS_CHILD | SS_LEFT | SS_NOTIFY | SS_NOPREFIX;
    params.OwnClass = false;
}

}  // namespace fw
