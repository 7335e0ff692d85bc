#include "dialogs/AntriebForm.h"

#include "mainwindow/WidgetFactory.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kadex {

using namespace gui;

namespace {
constexpr int kSpinChars = 6;

QSpinBox* ActuatorSpin(QWidget* parent, const char* name)
{
    QSpinBox* spin = NewSpin(parent, name, 0, 65535);
    spin->setMinimumWidth(FieldWidth(spin, kSpinChars));
    return spin;
}

// Y 0 %, Y 100 % and the three range choices beside them.
QGroupBox* RangeGroup(QWidget* parent, const char* group, const char* minLabel, const char* minSpin,
                      const char* minDim, const char* maxLabel, const char* maxSpin, const char* maxDim,
                      const char* zero, const char* two, const char* other)
{
    QGroupBox* box = NewGroup(parent, group, QString());
    QGridLayout* g = NewGrid(box);
    AddFieldRow(g, 0, NewLabel(box, minLabel, QString()), ActuatorSpin(box, minSpin), NewDimLabel(box, minDim, QString()));
    AddFieldRow(g, 1, NewLabel(box, maxLabel, QString()), ActuatorSpin(box, maxSpin), NewDimLabel(box, maxDim, QString()));
    QButtonGroup* buttons = NewButtonGroup(box, nullptr);
    auto* choices = new QVBoxLayout;
    choices->addWidget(NewRadio(box, zero, QString(), buttons));
    choices->addWidget(NewRadio(box, two, QString(), buttons));
    QRadioButton* andere = NewRadio(box, other, QString(), buttons);
    // Room for "10 .. 10 V" so that the group does not grow when the free range shows.
    andere->setMinimumWidth(TextWidth(andere, {QStringLiteral("0.001 .. 0.001 V")}) + 24);
    // Nor in height: the hidden choice keeps its row.
    QSizePolicy keep = andere->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    andere->setSizePolicy(keep);
    choices->addWidget(andere);
    g->addLayout(choices, 0, 3, 3, 1);
    g->setColumnMinimumWidth(3, andere->minimumWidth());
    return box;
}
} // namespace

TAntriebForm::TAntriebForm(WindowModel& model, QWidget* mainWindow)
    : TFieldDialog(model, fld::AntriebForm, mainWindow, Qt::Tool)
{
    auto* top = new QVBoxLayout(this);
    top->setSizeConstraint(QLayout::SetFixedSize);
    top->addWidget(RangeGroup(this, "GroupBoxVAVStellwSign", "LabelVAVYmin", "SpinEditVAVYmin", "LabelVAVYminDim",
                              "LabelVAVYmax", "SpinEditVAVYmax", "LabelVAVYmaxDim", "RadioButtonVAVYS0_10V",
                              "RadioButtonVAVYS2_10V", "RadioButtonVAVYSAndere"));
    top->addWidget(RangeGroup(this, "GroupBoxVAVRueckf", "LabelVAVYRmin", "SpinEditVAVYRmin", "LabelVAVYRminDim",
                              "LabelVAVYRmax", "SpinEditVAVYRmax", "LabelVAVYRmaxDim", "RadioButtonVAVYR0_10V",
                              "RadioButtonVAVYR2_10V", "RadioButtonVAVYRAndere"));

    QGroupBox* typ = NewGroup(this, "GroupBoxVAVAntriebTyp", QString());
    {
        QGridLayout* g = NewGrid(typ);
        QButtonGroup* buttons = NewButtonGroup(typ, nullptr);
        g->addWidget(NewRadio(typ, "RadioButtonVAVYLinear", QString(), buttons), 0, 0);
        g->addWidget(NewRadio(typ, "RadioButtonVAVY2_10V", QString(), buttons), 1, 0);
        AddFieldRow(g, 2, NewLabel(typ, "LabelLZAntrieb", QString()), ActuatorSpin(typ, "SpinEditLZAntrieb"),
                    NewDimLabel(typ, "LabelLZAntriebDim", QString()));
    }
    top->addWidget(typ);
    Bind();
}

} // namespace kadex
