#pragma once
// The variable actuator dialog: control signal and feedback ranges with their presets, the
// signal type and the running time. A tool window above the main window, shown and closed
// through its field AntriebForm; the rules are in core/VariableForms.
#include "dialogs/FieldDialog.h"

namespace kadex {

class TAntriebForm : public TFieldDialog {
    Q_OBJECT
public:
    TAntriebForm(WindowModel& model, QWidget* mainWindow);
};

} // namespace kadex
