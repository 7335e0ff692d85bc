#pragma once
// The raw command window "ZB-Kommando": not modal, on top of the other windows, centred on the
// main window when it opens. Widgets over ZBCmdFlow; the send runs on the flow runner.
#include "core/ZBCmdFlow.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace kadex {

class TMainCore;

class TZBCmdForm : public QDialog {
    Q_OBJECT
public:
    // templatesPath: the template file (ZBCommands.txt beside the program).
    TZBCmdForm(TMainCore& core, const QString& templatesPath, QWidget* parent = nullptr);

    ZBCmdFlow& Flow() { return flow_; }
    QComboBox* Templates() const { return list_; }
    QPushButton* SendButton() const { return send_; }

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;

private:
    void sent(const RawSendResult& r);
    void selectionChanged();

    ZBCmdFlow flow_;
    QComboBox* list_;
    QLabel* status_;
    QPushButton *send_, *end_;
};

} // namespace kadex
