#pragma once
// Small constructors for the named controls of the windows. Every control gets its object
// name here, so that the binding layer and the tests find it with findChild by that name.
// Kinds follow the name prefix: Edit* line edits, Label* labels, Panel* sunken labels (or
// plain frames when they hold other controls), Radio* radio buttons, SpinEdit* spin boxes,
// GroupBox* group boxes, Button* push buttons, TrackBar* vertical sliders.
#include <QString>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QWidget;

namespace kadex::gui {

// Width in pixels a line edit needs to show `chars` digits in the widget's font.
int FieldWidth(const QWidget* widget, int chars);
// Width in pixels a line edit needs to show `text` whole in the widget's font.
int FieldWidthFor(const QWidget* widget, const QString& text);
// Width in pixels of the widest of `texts` in the widget's font.
int TextWidth(const QWidget* widget, const QStringList& texts);

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text);
// A unit label beside a field. It is at least as wide as the widest of `widest`, so that a
// change of the unit set does not move the controls around it.
QLabel* NewDimLabel(QWidget* parent, const char* name, const QString& text,
                    const QStringList& widest = {});
// A hint text that wraps inside its group.
QLabel* NewHintLabel(QWidget* parent, const char* name, const QString& text);
// A sunken status field (a label that the program writes).
QLabel* NewPanel(QWidget* parent, const char* name, int minWidth);
// A frame without border that only groups other controls (shown and hidden as a whole).
QFrame* NewContainerPanel(QWidget* parent, const char* name);

// A numeric entry: right-aligned, fixed width for `chars` digits. Its maximum length comes
// from the field's declaration, through the binder.
QLineEdit* NewNumberEdit(QWidget* parent, const char* name, int chars, bool readOnly = false);
// A text entry at least wide enough for `chars` characters.
QLineEdit* NewTextEdit(QWidget* parent, const char* name, int chars, bool readOnly = false);
QSpinBox* NewSpin(QWidget* parent, const char* name, int minimum, int maximum);
// Makes a line edit or spin box read-only or editable. A read-only field takes the focus
// only by a click (to copy from it): Tab passes it by, and focus that moves on by itself
// (when the focused button is disabled) never lands in it with its text selected.
void SetFieldReadOnly(QWidget* field, bool readOnly);

QRadioButton* NewRadio(QWidget* parent, const char* name, const QString& text,
                       QButtonGroup* group, bool checked = false);
QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& text);
QPushButton* NewButton(QWidget* parent, const char* name, const QString& text);
QGroupBox* NewGroup(QWidget* parent, const char* name, const QString& title);
QButtonGroup* NewButtonGroup(QObject* parent, const char* name);
QComboBox* NewCombo(QWidget* parent, const char* name, const QStringList& items);
// Vertical slider, 100 % at the top: position 0 is drawn at the top end. Its range comes
// from the field's declaration, through the binder.
QSlider* NewTrackBar(QWidget* parent, const char* name);

// One "caption  field  unit" row of a grid, starting at `column`.
void AddFieldRow(QGridLayout* grid, int row, QLabel* caption, QWidget* field,
                 QWidget* unit = nullptr, int column = 0);

// Spacing and margins every group of the main window uses.
constexpr int kSpacing = 6;
constexpr int kGroupMargin = 8;
// A grid layout with the common spacing, installed on `parent`.
QGridLayout* NewGrid(QWidget* parent);

} // namespace kadex::gui
