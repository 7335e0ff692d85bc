#pragma once
// The variable sensor dialog: P 0 %, P 100 %, P'nom (pressure sensor) or the same for the
// volume signal, creep suppression, damping and dead zone. A tool window above the main
// window, shown and closed through its field SensorForm; the rules are in
// core/VariableForms.
#include "dialogs/FieldDialog.h"

namespace kadex {

class TSensorForm : public TFieldDialog {
    Q_OBJECT
public:
    TSensorForm(WindowModel& model, QWidget* mainWindow);

Q_SIGNALS:
    // Ctrl+S while the main window's write button is enabled: the main window's focused write.
    void FocusedWriteRequested();
};

} // namespace kadex
