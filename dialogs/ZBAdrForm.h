#pragma once
// The bus addressing dialog "ZB-Adresse" and its button window "Taster-Adressierung": widgets
// over ZBAdrFlow. The addressing runs on the flow runner; its reports come back to this
// window's thread as queued calls, so the window stays responsive while the bus works.
#include "core/ZBAdrFlow.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kadex {

class TMainCore;

class TAdrAbortForm : public QDialog {
    Q_OBJECT
public:
    explicit TAdrAbortForm(QWidget* parent = nullptr);
};

class TZBAdrForm : public QDialog {
    Q_OBJECT
public:
    explicit TZBAdrForm(TMainCore& core, QWidget* parent = nullptr);

    ZBAdrFlow& Flow() { return flow_; }
    // Serial-number mode with this serial number (the scan result's "Adressieren").
    void PresetSerial(const QString& serial);
    // How messages are shown (a message box unless replaced, e.g. for pictures).
    std::function<void(ZBAdrFlow::MessageKind, const QString&)> ShowMessage;
    TAdrAbortForm* AbortForm() const { return abortForm_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;

private:
    void ok();
    void finished(bool success);
    void updateEnabled();

    ZBAdrFlow flow_;
    QComboBox* address_;
    QRadioButton *byButton_, *bySerial_;
    QLineEdit* serial_;
    QPushButton *ok_, *abort_;
    TAdrAbortForm* abortForm_;
    QString preset_;
    bool cursorSet_ = false;
};

} // namespace kadex
