#pragma once
// The conductance dialog ("Leitwert Berechnung"): widgets over LeitwertFlow. A 10 ms timer
// drives the countdown and the sampling supervision while a measurement runs; the bus work is
// the flow runner's, so the window stays responsive throughout.
#include "core/LeitwertFlow.h"

#include <QDialog>
#include <QTimer>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace kadex {

class TMainCore;

class TLeitwertForm : public QDialog {
    Q_OBJECT
public:
    // clock: the countdown's time source (the steady clock unless a test gives its own).
    explicit TLeitwertForm(TMainCore& core, QWidget* parent = nullptr, IClock* clock = nullptr);
    ~TLeitwertForm() override;

    LeitwertFlow& Flow() { return *flow_; }
    // Shows the state of the flow in the widgets (also called after each flow change).
    void Refresh();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;

private:
    std::unique_ptr<LeitwertFlow> flow_;
    QTimer ticker_;
    QLineEdit *volumenstrom_, *druckMw_, *lwAktiv_, *lwErmittelt_;
    QLabel *flowUnit_, *pressureUnit_, *calcText_, *calcResult_;
    QWidget* panel_;
    QProgressBar* progress_;
    QPushButton *mitLuft_, *berechnen_, *startMeas_, *ok_, *abort_;
    bool cursorSet_ = false;
};

} // namespace kadex
