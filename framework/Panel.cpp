#include "framework/Panel.h"

namespace fw {

TPanel::TPanel(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {}

void TPanel::FillCreateParams(CreateParams& params) {
    TWinControl::FillCreateParams(params);
    params.ClassName = "TPanel";
    params.ExStyle |= WS_EX_CONTROLPARENT;
}

}  // namespace fw
