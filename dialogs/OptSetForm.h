#pragma once
// The options dialog "Optionen" (Extras menu): widgets over OptionsFlow. Its controls are
// bound to their model fields (window "OptSetForm") by object name; OK, Cancel, Escape and the
// title bar's close go to the flow, the bus work of OK runs on the core's flow runner.
#include <QDialog>
#include <functional>

class QPushButton;
class QTabWidget;

namespace kadex {

class ModelBinder;
class TMainCore;

class TOptSetForm : public QDialog {
    Q_OBJECT
public:
    // chooseFolder(prompt, start): the platform's folder dialog; empty when declined.
    using FolderChooser = std::function<QString(QWidget* parent, const QString& prompt, const QString& start)>;
    TOptSetForm(TMainCore& core, FolderChooser chooseFolder, QWidget* parent = nullptr);

    QPushButton* OkButton() const { return ok_; }
    QPushButton* AbortButton() const { return abort_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void browse(const char* group, const char* edit);

    TMainCore& core_;
    FolderChooser chooseFolder_;
    ModelBinder* binder_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* abort_ = nullptr;
    bool accepting_ = false;
};

} // namespace kadex
