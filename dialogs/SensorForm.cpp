#include "dialogs/SensorForm.h"

#include "mainwindow/WidgetFactory.h"

#include <QGroupBox>
#include <QLabel>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kadex {

using namespace gui;

namespace {
constexpr int kSpinChars = 8; // up to 9505124 (uPSI)

QSpinBox* SensorSpin(QWidget* parent, const char* name)
{
    QSpinBox* spin = NewSpin(parent, name, 0, 65535);
    spin->setMinimumWidth(FieldWidth(spin, kSpinChars));
    return spin;
}
} // namespace

TSensorForm::TSensorForm(WindowModel& model, QWidget* mainWindow)
    : TFieldDialog(model, fld::SensorForm, mainWindow, Qt::Tool)
{
    auto* top = new QVBoxLayout(this);
    top->setSizeConstraint(QLayout::SetFixedSize);

    QGroupBox* druck = NewGroup(this, "GroupBoxVAVSensorDruck", QString());
    {
        QGridLayout* g = NewGrid(druck);
        AddFieldRow(g, 0, NewLabel(druck, "LabelVAVPmin", QString()), SensorSpin(druck, "SpinEditVAVPmin"),
                    NewDimLabel(druck, "LabelVAVPminDim", QString()));
        AddFieldRow(g, 1, NewLabel(druck, "LabelVAVPmax", QString()), SensorSpin(druck, "SpinEditVAVPmax"),
                    NewDimLabel(druck, "LabelVAVPmaxDim", QString()));
        AddFieldRow(g, 2, NewLabel(druck, "LabelVAVPnom", QString()), SensorSpin(druck, "SpinEditVAVPnom"),
                    NewDimLabel(druck, "LabelVAVPnomDim", QString(), {QStringLiteral("uPSI"), QStringLiteral("m³/h")}));
    }
    top->addWidget(druck);

    QGroupBox* schl = NewGroup(this, "GroupBoxVAVSchlUnterdr", QString());
    {
        QGridLayout* g = NewGrid(schl);
        AddFieldRow(g, 0, NewLabel(schl, "LabelVAVPtot", QString()), SensorSpin(schl, "SpinEditVAVPtot"),
                    NewDimLabel(schl, "LabelVAVPtotDim", QString(), {QStringLiteral("uPSI"), QStringLiteral("m³/h")}));
        AddFieldRow(g, 1, NewLabel(schl, "LabelVAVPverz", QString()), SensorSpin(schl, "SpinEditVAVPverz"),
                    NewDimLabel(schl, "LabelVAVPverzDim", QString()));
        AddFieldRow(g, 2, NewLabel(schl, "LabelVAVVtot", QString()), SensorSpin(schl, "SpinEditVAVVtot"),
                    NewDimLabel(schl, "LabelVAVVtotDim", QString()));
    }
    top->addWidget(schl);

    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    save->setContext(Qt::WindowShortcut);
    connect(save, &QShortcut::activated, this, [this] {
        if (Model().enabled(fld::ButtonSetzen))
            Q_EMIT FocusedWriteRequested();
    });
    Bind();
}

} // namespace kadex
