#include "mainwindow/WidgetFactory.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QAbstractSpinBox>

#include <algorithm>

namespace kadex::gui {

namespace {
// Frame, text margins and cursor of a line edit, beyond the glyphs themselves.
constexpr int kEditPadding = 14;
} // namespace

int FieldWidth(const QWidget* widget, int chars)
{
    const QFontMetrics fm(widget->font());
    return fm.horizontalAdvance(QString(chars, QLatin1Char('0'))) + kEditPadding;
}

int FieldWidthFor(const QWidget* widget, const QString& text)
{
    return QFontMetrics(widget->font()).horizontalAdvance(text) + kEditPadding;
}

int TextWidth(const QWidget* widget, const QStringList& texts)
{
    const QFontMetrics fm(widget->font());
    int width = 0;
    for (const QString& t : texts)
        width = std::max(width, fm.horizontalAdvance(t));
    return width;
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* NewDimLabel(QWidget* parent, const char* name, const QString& text, const QStringList& widest)
{
    QLabel* label = NewLabel(parent, name, text);
    QStringList all = widest;
    all << text;
    // A little air so that the unit does not touch the next control.
    label->setMinimumWidth(TextWidth(label, all) + 4);
    return label;
}

QLabel* NewHintLabel(QWidget* parent, const char* name, const QString& text)
{
    QLabel* label = NewLabel(parent, name, text);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLabel* NewPanel(QWidget* parent, const char* name, int minWidth)
{
    auto* panel = new QLabel(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setMargin(2);
    panel->setMinimumWidth(minWidth);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return panel;
}

QFrame* NewContainerPanel(QWidget* parent, const char* name)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameStyle(QFrame::NoFrame);
    return frame;
}

QLineEdit* NewNumberEdit(QWidget* parent, const char* name, int chars, bool readOnly)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit->setFixedWidth(FieldWidth(edit, chars));
    SetFieldReadOnly(edit, readOnly);
    return edit;
}

QLineEdit* NewTextEdit(QWidget* parent, const char* name, int chars, bool readOnly)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    // Texts are letters, which run wider than digits on average.
    const QFontMetrics fm(edit->font());
    edit->setMinimumWidth(fm.averageCharWidth() * chars + kEditPadding);
    SetFieldReadOnly(edit, readOnly);
    return edit;
}

namespace {
// A whole number typed beyond the range becomes the bound it broke (99999 gives 32767), where a
// plain spin box would refuse the digit and leave 9999.
class LimitingSpinBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& input, int& pos) const override
    {
        const QValidator::State state = QSpinBox::validate(input, pos);
        if (state != QValidator::Invalid)
            return state;
        bool ok = false;
        const qlonglong v = input.trimmed().toLongLong(&ok);
        if (!ok || (v >= minimum() && v <= maximum()))
            return state;
        input = QString::number(v > maximum() ? maximum() : minimum());
        pos = static_cast<int>(input.size());
        return QValidator::Acceptable;
    }
};
} // namespace

QSpinBox* NewSpin(QWidget* parent, const char* name, int minimum, int maximum)
{
    auto* spin = new LimitingSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(minimum, maximum);
    spin->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return spin;
}

void SetFieldReadOnly(QWidget* field, bool readOnly)
{
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->setReadOnly(readOnly);
        if (readOnly)
            edit->deselect();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
        spin->setReadOnly(readOnly);
    } else {
        return;
    }
    field->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::StrongFocus);
}

QRadioButton* NewRadio(QWidget* parent, const char* name, const QString& text, QButtonGroup* group,
                       bool checked)
{
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(QLatin1String(name));
    if (group)
        group->addButton(radio);
    radio->setChecked(checked);
    return radio;
}

QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& text)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    // Enter in a field must not press a button of the main window.
    button->setAutoDefault(false);
    return button;
}

QGroupBox* NewGroup(QWidget* parent, const char* name, const QString& title)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QLatin1String(name));
    return group;
}

QButtonGroup* NewButtonGroup(QObject* parent, const char* name)
{
    auto* group = new QButtonGroup(parent);
    group->setObjectName(QLatin1String(name));
    group->setExclusive(true);
    return group;
}

QComboBox* NewCombo(QWidget* parent, const char* name, const QStringList& items)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->addItems(items);
    combo->setMaxVisibleItems(std::max<int>(1, static_cast<int>(items.size())));
    return combo;
}

QSlider* NewTrackBar(QWidget* parent, const char* name)
{
    auto* slider = new QSlider(Qt::Vertical, parent);
    slider->setObjectName(QLatin1String(name));
    // Position 0 stands for 100 %, which belongs at the top; arrow up then moves the handle up.
    slider->setInvertedAppearance(true);
    slider->setInvertedControls(true);
    slider->setTickPosition(QSlider::TicksBothSides);
    slider->setTickInterval(10);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    return slider;
}

void AddFieldRow(QGridLayout* grid, int row, QLabel* caption, QWidget* field, QWidget* unit, int column)
{
    if (caption) {
        grid->addWidget(caption, row, column);
        if (field)
            caption->setBuddy(field);
    }
    if (field)
        grid->addWidget(field, row, column + 1);
    if (unit)
        grid->addWidget(unit, row, column + 2);
}

QGridLayout* NewGrid(QWidget* parent)
{
    auto* grid = new QGridLayout(parent);
    grid->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    grid->setHorizontalSpacing(kSpacing);
    grid->setVerticalSpacing(kSpacing);
    return grid;
}

} // namespace kadex::gui
