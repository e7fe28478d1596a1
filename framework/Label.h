// TLabel: a line of text, the system's static control; OnClick fires when it is clicked.
#pragma once

#include "framework/Component.h"
#include "framework/WinControl.h"

namespace fw {

class TLabel : public TWinControl {
public:
    TLabel(TComponent* owner, TWinControl* parent);

protected:
    void FillCreateParams(CreateParams& params) override;
};

}  // namespace fw
