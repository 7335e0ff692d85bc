#pragma once
// The ambient conditions dialog ("Umgebungsbedingungen"): widgets over UmgebungFlow. Opened
// from the Experte tab (confirm "Anpassen": written to the controller on the flow runner) or
// from the options dialog (confirm "Übernehmen": the options' density only).
#include "core/UmgebungFlow.h"

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kadex {

class TMainCore;

class TDichteForm : public QDialog {
    Q_OBJECT
public:
    TDichteForm(TMainCore& core, UmgebungFlow::Confirm confirm, QWidget* parent = nullptr);
    ~TDichteForm() override;

    UmgebungFlow& Flow() { return *flow_; }

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;

private:
    void refresh();

    std::unique_ptr<UmgebungFlow> flow_;
    QLineEdit *hoehe_, *temp_, *feuchte_, *dichte_;
    QList<QWidget*> volumeFlowRows_;
    QPushButton *ok_, *abort_;
};

} // namespace kadex
