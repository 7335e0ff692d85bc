#pragma once
// The About box "Info zu ..." (help menu "Inf&o...", Ctrl+I): the tool's name, its version (the
// same string as --version), the systems it runs on, the product picture, the notice line and
// the web address. Made once with the main window; its texts follow the language in force.
#include <QDialog>

class QLabel;
class QPushButton;

namespace kadex {

class TInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget* parent = nullptr);

    // The texts of the language in force.
    void Retranslate();
    QLabel* VersionLabel() const { return version_; }
    QPushButton* OkButton() const { return ok_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    QLabel* version_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace kadex
