#pragma once
// The controller function dialog "Regler Funktion einstellen": volume flow or pressure
// application. Modal, centred on the main window, shown and closed through its field
// RegFktForm; what OK and Cancel do is core/RegForm, which the window runs where the
// other window changes run (the handlers below).
#include "dialogs/FieldDialog.h"

#include <functional>

class QPushButton;

namespace kadex {

class TRegFktForm : public TFieldDialog {
    Q_OBJECT
public:
    TRegFktForm(WindowModel& model, QWidget* mainWindow);

    // OK, Cancel and Escape; without a handler the dialog only closes.
    std::function<void()> OnOk;
    std::function<void()> OnCancel;
    std::function<void()> OnEscape;

    QPushButton* OkButton() const { return ok_; }
    QPushButton* AbortButton() const { return abort_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* ok_ = nullptr;
    QPushButton* abort_ = nullptr;
};

} // namespace kadex
