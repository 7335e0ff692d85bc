#pragma once
// A dialog whose showing, title and controls live in the window-value model: the dialog's own
// field (a Panel field named like the window) holds the title as caption and whether it is
// shown as visible. The dialog follows that field: it opens centred on the main window and
// closes when the field says so; closing it by hand (Escape, the title bar) sets the field.
// Its controls are bound to their fields by object name (ModelBinder).
//
// Spin boxes below the dialog may hold values between 0 and a positive minimum while the user
// types ("5" on the way to "5000"); the model's leave rule settles them. Enter in a spin box
// or line edit counts as leaving the field, as the focus moving on does.
#include "device/model/WindowModel.h"

#include <QDialog>
#include <QPointer>

namespace kadex {

class ModelBinder;

class TFieldDialog : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` is the window the dialog belongs to and opens centred on.
    TFieldDialog(WindowModel& model, FieldId self, QWidget* mainWindow, Qt::WindowFlags flags = {});
    ~TFieldDialog() override;

    WindowModel& Model() { return model_; }
    FieldId Self() const { return self_; }
    // Call once the controls exist: binds them and follows the dialog's own field.
    void Bind();
    ModelBinder* Binder() const { return binder_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Called when the dialog is opened through its field.
    virtual void aboutToOpen() {}

private Q_SLOTS:
    void onFieldChanged(const QString& field, kadex::Prop prop);

private:
    void follow();
    void widenSpin(const QString& field);
    void centreOnMainWindow();

    WindowModel& model_;
    FieldId self_;
    QPointer<QWidget> main_;
    ModelBinder* binder_ = nullptr;
};

} // namespace kadex
