#include "dialogs/RegFktForm.h"

#include "mainwindow/WidgetFactory.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kadex {

using namespace gui;

TRegFktForm::TRegFktForm(WindowModel& model, QWidget* mainWindow)
    : TFieldDialog(model, fld::RegFktForm, mainWindow, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowModality(Qt::ApplicationModal);
    auto* top = new QVBoxLayout(this);
    top->setSizeConstraint(QLayout::SetFixedSize);
    top->addWidget(NewLabel(this, "Label1", QString()));
    top->addWidget(NewLabel(this, "Label2", QString()));
    QGroupBox* box = NewGroup(this, "GroupBoxFunktion", QString());
    {
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
        QButtonGroup* buttons = NewButtonGroup(box, "ButtonGroupFunktion");
        v->addWidget(NewRadio(box, "RadioButtonVolumenstrom", QString(), buttons));
        v->addWidget(NewRadio(box, "RadioButtonDruckanwendung", QString(), buttons));
    }
    top->addWidget(box);
    auto* row = new QDialogButtonBox(this);
    ok_ = NewButton(this, "ButtonOk", QStringLiteral("Ok"));
    abort_ = NewButton(this, "ButtonAbort", QStringLiteral("Abbruch"));
    ok_->setDefault(true);
    row->addButton(ok_, QDialogButtonBox::AcceptRole);
    row->addButton(abort_, QDialogButtonBox::RejectRole);
    top->addWidget(row);
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (OnOk)
            OnOk();
        else
            Model().setVisible(Self(), false);
    });
    connect(abort_, &QPushButton::clicked, this, [this] {
        if (OnCancel)
            OnCancel();
        else
            Model().setVisible(Self(), false);
    });
    Bind();
}

void TRegFktForm::reject()
{
    if (OnEscape) {
        OnEscape();
        QDialog::reject();
        return;
    }
    TFieldDialog::reject();
}

void TRegFktForm::closeEvent(QCloseEvent* event)
{
    // The title bar's close is the same as Escape.
    if (OnEscape) {
        OnEscape();
        QDialog::closeEvent(event);
        return;
    }
    TFieldDialog::closeEvent(event);
}

} // namespace kadex
