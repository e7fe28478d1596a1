// TPanel: a plain area that holds and lays out other controls.
#pragma once

#include "framework/Component.h"
#include "framework/WinControl.h"

namespace fw {

// Tab moves through the controls inside it as through the form's own (WS_EX_CONTROLPARENT).
class TPanel : public TWinControl {
public:
    TPanel(TComponent* owner, TWinControl* parent);

protected:
    void FillCreateParams(CreateParams& params) override;
};

}  // namespace fw
