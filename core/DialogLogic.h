#pragma once
// The variable sensor and actuator dialogs and the controller function dialog as the core
// holds them: one object that the main-window core owns, wiring the dialogs' rules to the
// core's operations. The calibration record's hook for the function shown with a record runs
// SetRegForm, and its preset refresh the actuator dialog's range choices.
#include "core/RegForm.h"
#include "core/VariableForms.h"

namespace kadex {

class TMainCore;
class TOEMData;

class TDialogLogic {
public:
    // Keeps a reference to the core; the core must have made its device context, operating
    // record and calibration record before this (members declared earlier).
    TDialogLogic(TMainCore& core, TOEMData& oem);

    TRegForm RegFkt;
    TVariableForms Forms;

    // Start-up: the calibration record's initial values into the windows with the function
    // from the settings, which applies it (SetRegForm).
    void StartUp();

private:
    TMainCore& core_;
    TOEMData& oem_;
};

} // namespace kadex
