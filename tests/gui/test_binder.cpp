// The binder between the main window's widgets and the window-value model: the model's state
// shows in every kind of widget once the event loop has run, user edits reach the model as
// the user's, a rule that rewrites what the user typed does not loop, changes from worker
// threads are shown on the GUI thread only, and the registry of fields matches the widgets.
#include "mainwindow/MainWindow.h"
#include "mainwindow/ModelBinder.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"

#include "QtPrinters.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace kadex;

namespace {

// Delivers everything queued so far, the model's notifications among it.
void runEventLoop()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Typing as the user does: key press and release with the character's text.
void typeText(QWidget* w, const QString& text)
{
    for (const QChar ch : text) {
        const int key = ch.isDigit() ? Qt::Key_0 + ch.digitValue() : ch.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

void pressKey(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &release);
}

void mouseClick(QWidget* w, QPoint pos)
{
    const QPointF global = w->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// A point on a radio button's or check box's indicator, which every style accepts as a hit.
QPoint indicatorPoint(const QAbstractButton* b)
{
    return QPoint(b->height() / 2, b->height() / 2);
}

class Binder : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Misuse is collected and checked at the end, so that a mistake of the binder made
        // inside the event loop fails the test instead of ending the program.
        model.setMisuse(WindowModel::Misuse::Warn);
        model.declare(mainWindowFields());
        model.setValue(fld::TrackBarVMax, 30);
        model.setValue(fld::SpinEditSnrJahr, 24);
        form = std::make_unique<TMainForm>();
        binder = std::make_unique<ModelBinder>(model, *form);
    }
    void TearDown() override
    {
        runEventLoop();
        EXPECT_TRUE(model.problems().isEmpty()) << model.problems().join(QLatin1Char('\n')).toStdString();
    }

    template <class T>
    T* w(const char* name)
    {
        T* widget = form->ControlAs<T>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QAction* action(const char* name) { return form->Action(QString::fromLatin1(name)); }
    int tabIndex(const char* page)
    {
        return form->PageControl()->indexOf(form->Control(QString::fromLatin1(page)));
    }
    // Shows the window, active, so that focus and geometry are real.
    void showForm()
    {
        form->show();
        QApplication::setActiveWindow(form.get());
        runEventLoop();
    }
    // Records every change a rule sees on the named fields.
    std::vector<Change>& record(const QStringList& names)
    {
        model.onChange(names, [this](const Change& c) { changes.push_back(c); });
        return changes;
    }

    WindowModel model;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ModelBinder> binder;
    std::vector<Change> changes;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Model to widget

TEST_F(Binder, BindingShowsTheModelsState)
{
    // The layout starts on the first tab; the model on Experte.
    EXPECT_EQ(form->PageControl()->currentIndex(), 1);
    EXPECT_FALSE(form->PageControl()->isTabVisible(tabIndex("TabSheetTransfer")));
    EXPECT_FALSE(w<QAbstractButton>("ButtonLesen")->isEnabled());
    EXPECT_TRUE(w<QLabel>("LabelOEMHinweisVS")->isHidden());
    EXPECT_TRUE(w<QRadioButton>("RadioBetrAuto")->isChecked());
    EXPECT_EQ(w<QComboBox>("ComboBoxZBAdress")->currentIndex(), 0);
    EXPECT_EQ(w<QLineEdit>("EditVmaxPrz")->text(), "100.00");
    EXPECT_EQ(w<QSlider>("TrackBarVMax")->value(), 30);
    EXPECT_EQ(w<QSpinBox>("SpinEditSnrJahr")->value(), 24);
    // A read-only entry has the face colour, an editable one stays as it is.
    const QPalette app = QApplication::palette(w<QLineEdit>("EditSerNr"));
    EXPECT_EQ(w<QLineEdit>("EditSerNr")->palette().color(QPalette::Base), app.color(QPalette::Button));
    EXPECT_EQ(w<QLineEdit>("EditVmaxPrz")->palette().color(QPalette::Base), app.color(QPalette::Base));
    // An empty hint keeps the layout's tool tip; a picture label keeps its picture.
    EXPECT_EQ(w<QLabel>("PanelSecOnline")->toolTip(), "Online-Zeit");
    EXPECT_FALSE(w<QLabel>("ImageEqual")->pixmap().isNull());
    // The toolbar button of a menu command keeps the command's caption.
    EXPECT_EQ(w<QToolButton>("ToolButtonRegFkt")->text(), action("ExtrasRegSetting")->iconText());
}

TEST_F(Binder, ChangesShowOnlyOnceTheEventLoopRuns)
{
    model.setText(fld::EditSerNr, "00812-04711-003-001");
    model.setCaption(fld::LabelSensorTyp, "Drucksensor");
    EXPECT_EQ(w<QLineEdit>("EditSerNr")->text(), "");
    EXPECT_EQ(w<QLabel>("LabelSensorTyp")->text(), "");
    runEventLoop();
    EXPECT_EQ(w<QLineEdit>("EditSerNr")->text(), "00812-04711-003-001");
    EXPECT_EQ(w<QLabel>("LabelSensorTyp")->text(), "Drucksensor");
}

TEST_F(Binder, TextsCaptionsAndStatusFields)
{
    model.setText(fld::EditFirmware, "0308");
    model.setCaption(fld::LabelBetrSollw, "Sollwert neu");
    model.setCaption(fld::PanelProgStatus, "Betrieb aktiv");
    model.setCaption(fld::ButtonLesen, "Lesen!");
    model.setCaption(fld::GroupBoxBetrieb, "Betrieb (Test)");
    model.setCaption(fld::SpeedButtonBetrieb, "Betrieb aus");
    model.setText(kStatusMessage, "Verbunden");
    model.setText(kStatusPort, "COM3");
    model.setReadOnly(fld::EditVmaxPrz, true);
    model.setHint(fld::EditVmaxPrz, "30 .. 100 %");
    model.setHint(fld::PanelSecOnline, "");
    runEventLoop();
    EXPECT_EQ(w<QLineEdit>("EditFirmware")->text(), "0308");
    EXPECT_EQ(w<QLabel>("LabelBetrSollw")->text(), "Sollwert neu");
    EXPECT_EQ(w<QLabel>("PanelProgStatus")->text(), "Betrieb aktiv");
    EXPECT_EQ(w<QPushButton>("ButtonLesen")->text(), "Lesen!");
    EXPECT_EQ(w<QGroupBox>("GroupBoxBetrieb")->title(), "Betrieb (Test)");
    EXPECT_EQ(w<QPushButton>("SpeedButtonBetrieb")->text(), "Betrieb aus");
    EXPECT_EQ(form->StatusField(TMainForm::StatusMessage)->text(), "Verbunden");
    EXPECT_EQ(form->StatusField(TMainForm::StatusCom)->text(), "COM3");
    EXPECT_TRUE(w<QLineEdit>("EditVmaxPrz")->isReadOnly());
    EXPECT_EQ(w<QLineEdit>("EditVmaxPrz")->toolTip(), "30 .. 100 %");

    // A hint given and taken back leaves the layout's tool tip.
    model.setHint(fld::PanelSecOnline, "Verbindungsdauer");
    runEventLoop();
    EXPECT_EQ(w<QLabel>("PanelSecOnline")->toolTip(), "Verbindungsdauer");
    model.setHint(fld::PanelSecOnline, "");
    runEventLoop();
    EXPECT_EQ(w<QLabel>("PanelSecOnline")->toolTip(), "Online-Zeit");
}

TEST_F(Binder, EnabledAndVisible)
{
    model.setEnabled(fld::ButtonLesen, true);
    model.setEnabled(fld::EditVmaxPrz, false);
    model.setVisible(fld::LabelOEMHinweisVS, true);
    model.setVisible(fld::PanelBetrStatus, false);
    runEventLoop();
    EXPECT_TRUE(w<QPushButton>("ButtonLesen")->isEnabled());
    EXPECT_FALSE(w<QLineEdit>("EditVmaxPrz")->isEnabled());
    EXPECT_FALSE(w<QLabel>("LabelOEMHinweisVS")->isHidden());
    EXPECT_TRUE(w<QLabel>("PanelBetrStatus")->isHidden());
}

TEST_F(Binder, HiddenBeforeTheWindowShowsStaysHidden)
{
    model.setVisible(fld::PanelSecOnline, false);
    runEventLoop();
    showForm();
    EXPECT_FALSE(w<QLabel>("PanelSecOnline")->isVisible());
    EXPECT_TRUE(w<QPushButton>("ButtonLesen")->isVisible()); // its neighbour is shown
    model.setVisible(fld::PanelSecOnline, true);
    runEventLoop();
    EXPECT_TRUE(w<QLabel>("PanelSecOnline")->isVisible());
}

TEST_F(Binder, ToolbarWidgetsHideThroughTheirToolbarAction)
{
    showForm();
    QComboBox* combo = w<QComboBox>("ComboBoxZBAdress");
    ASSERT_TRUE(combo->isVisible());
    model.setVisible(fld::ComboBoxZBAdress, false);
    runEventLoop();
    EXPECT_FALSE(combo->isVisible());
    model.setVisible(fld::ComboBoxZBAdress, true);
    runEventLoop();
    EXPECT_TRUE(combo->isVisible());
}

TEST_F(Binder, RadioAndToggleButtons)
{
    model.setChecked(fld::RadioBetrZu, true);
    model.setChecked(fld::SpeedButtonBetrieb, true);
    model.setChecked(QStringLiteral("CheckBoxVAVAdaptiv"), true);
    runEventLoop();
    EXPECT_TRUE(w<QRadioButton>("RadioBetrZu")->isChecked());
    EXPECT_FALSE(w<QRadioButton>("RadioBetrAuto")->isChecked());
    EXPECT_TRUE(w<QPushButton>("SpeedButtonBetrieb")->isChecked());
    EXPECT_TRUE(w<QCheckBox>("CheckBoxVAVAdaptiv")->isChecked());

    // The model may leave a group with nothing checked; so must the exclusive widgets.
    model.setChecked(fld::RadioBetrZu, false);
    model.setChecked(fld::SpeedButtonBetrieb, false);
    runEventLoop();
    for (FieldId f : kOperationChoices)
        EXPECT_FALSE(w<QRadioButton>(f.latin1())->isChecked()) << f.latin1();
    EXPECT_FALSE(w<QPushButton>("SpeedButtonBetrieb")->isChecked());

    // ... and the group stays exclusive afterwards.
    model.setChecked(fld::RadioBetrVMax, true);
    runEventLoop();
    w<QRadioButton>("RadioBetrVMin")->setChecked(true);
    EXPECT_FALSE(w<QRadioButton>("RadioBetrVMax")->isChecked());
}

TEST_F(Binder, ComboAndListItems)
{
    model.setItemIndex(fld::ComboBoxZBAdress, 3);
    model.setItems(fld::ListBoxAlarme, {"Alarm 1", "Alarm 2", "Alarm 3"});
    model.setItemIndex(fld::ListBoxAlarme, 1);
    runEventLoop();
    EXPECT_EQ(w<QComboBox>("ComboBoxZBAdress")->currentIndex(), 3);
    EXPECT_EQ(w<QComboBox>("ComboBoxZBAdress")->currentText(), "ZB3");
    QListWidget* list = w<QListWidget>("ListBoxAlarme");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), "Alarm 3");
    EXPECT_EQ(list->currentRow(), 1);

    model.setItems(fld::ComboBoxZBAdress, {"PP", "ZB1", "ZB2", "ZB3", "ZB4"});
    model.setItems(fld::ListBoxAlarme, {});
    runEventLoop();
    EXPECT_EQ(w<QComboBox>("ComboBoxZBAdress")->count(), 5);
    EXPECT_EQ(w<QComboBox>("ComboBoxZBAdress")->currentIndex(), 3);
    EXPECT_EQ(list->count(), 0);
    // Showing the model's items is not a choice of the user.
    EXPECT_EQ(model.itemIndex(fld::ListBoxAlarme), -1);
    EXPECT_EQ(model.itemIndex(fld::ComboBoxZBAdress), 3);
}

TEST_F(Binder, SliderAndSpinBox)
{
    model.setValue(fld::TrackBarVMax, 55);
    model.setValue(QStringLiteral("SpinEditSnrJahr"), 25.4);
    runEventLoop();
    EXPECT_EQ(w<QSlider>("TrackBarVMax")->value(), 55);
    EXPECT_EQ(w<QSpinBox>("SpinEditSnrJahr")->value(), 25);
    // Shown, not echoed: the model keeps its own value.
    EXPECT_EQ(model.value(QStringLiteral("SpinEditSnrJahr")), 25.4);
}

TEST_F(Binder, LimitsComeFromTheModelAndFollowItsRange)
{
    EXPECT_EQ(w<QSlider>("TrackBarVMax")->maximum(), 70);
    EXPECT_EQ(w<QLineEdit>("EditW1Min")->maxLength(), 4);
    // The range is a property: a unit or function change moves it at run time.
    model.setRange(fld::TrackBarVMax, 0, 50);
    runEventLoop();
    EXPECT_EQ(w<QSlider>("TrackBarVMax")->maximum(), 50);
    // Typing stops at the declared length, so the model never holds a longer text.
    showForm();
    QLineEdit* e = w<QLineEdit>("EditW1Min");
    e->setFocus();
    e->selectAll();
    typeText(e, "12.345");
    EXPECT_EQ(model.text(fld::EditW1Min), "12.3");
}

TEST_F(Binder, TabsCaptionVisibleEnabledAndCurrent)
{
    QTabWidget* tabs = form->PageControl();
    const int transfer = tabIndex("TabSheetTransfer");
    const int service = tabIndex("TabSheetService");
    model.setCaption(fld::TabSheetExperte, "Experte (neu)");
    model.setVisible(fld::TabSheetTransfer, true);
    model.setEnabled(fld::TabSheetService, false);
    model.setItemIndex(fld::PageControl1, transfer);
    runEventLoop();
    EXPECT_EQ(tabs->tabText(tabIndex("TabSheetExperte")), "Experte (neu)");
    EXPECT_TRUE(tabs->isTabVisible(transfer));
    EXPECT_FALSE(tabs->isTabEnabled(service));
    EXPECT_EQ(tabs->currentIndex(), transfer);

    // Hidden again, with the current tab moved first, as the Transfer switch does.
    model.setItemIndex(fld::PageControl1, 1);
    model.setVisible(fld::TabSheetTransfer, false);
    runEventLoop();
    EXPECT_FALSE(tabs->isTabVisible(transfer));
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_EQ(model.itemIndex(fld::PageControl1), 1);
}

TEST_F(Binder, ATabMadeCurrentBeforeItShowsBecomesCurrentWhenShown)
{
    QTabWidget* tabs = form->PageControl();
    const int transfer = tabIndex("TabSheetTransfer");
    // The notifications come in the other order than the tab needs them.
    model.setItemIndex(fld::PageControl1, transfer);
    model.setVisible(fld::TabSheetTransfer, true);
    runEventLoop();
    EXPECT_EQ(tabs->currentIndex(), transfer);
}

TEST_F(Binder, ActionsCaptionCheckedEnabledVisible)
{
    model.setVisible(fld::ExtrasRegSetting, false);
    model.setEnabled(fld::DateiOeffnen, false);
    model.setChecked(fld::ExtrasTransferAnzeige, true);
    model.setCaption(fld::HilfeInfo, "Info...");
    runEventLoop();
    EXPECT_FALSE(action("ExtrasRegSetting")->isVisible());
    EXPECT_FALSE(action("DateiOeffnen")->isEnabled());
    EXPECT_TRUE(action("ExtrasTransferAnzeige")->isChecked());
    EXPECT_EQ(action("HilfeInfo")->text(), "Info...");
    model.setVisible(fld::ExtrasRegSetting, true);
    model.setChecked(fld::ExtrasTransferAnzeige, false);
    runEventLoop();
    EXPECT_TRUE(action("ExtrasRegSetting")->isVisible());
    EXPECT_FALSE(action("ExtrasTransferAnzeige")->isChecked());
}

TEST_F(Binder, ColoursGoToThePalette)
{
    QLineEdit* fenwix = w<QLineEdit>("EditFenwix");
    QLabel* online = w<QLabel>("PanelSecOnline");
    const QPalette appEdit = QApplication::palette(fenwix);
    const bool fillBefore = online->autoFillBackground();
    const QColor windowBefore = online->palette().color(QPalette::Window);

    model.setColour(fld::EditFenwix, Colour::Red);
    model.setColour(fld::PanelSecOnline, Colour::Yellow);
    model.setTextColour(fld::PanelSecOnline, Colour::Red);
    model.setColour(fld::EditVmaxPrz, Colour::ButtonFace);
    runEventLoop();
    EXPECT_EQ(fenwix->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(online->palette().color(QPalette::Window), QColor(255, 255, 0));
    EXPECT_EQ(online->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(online->autoFillBackground());
    EXPECT_EQ(w<QLineEdit>("EditVmaxPrz")->palette().color(QPalette::Base), appEdit.color(QPalette::Button));

    // Back to the plain colours: the widget looks as before.
    model.setColour(fld::EditFenwix, Colour::Window);
    model.setColour(fld::PanelSecOnline, Colour::ButtonFace);
    model.setTextColour(fld::PanelSecOnline, Colour::WindowText);
    runEventLoop();
    EXPECT_EQ(fenwix->palette().color(QPalette::Base), appEdit.color(QPalette::Base));
    EXPECT_EQ(online->palette().color(QPalette::Window), windowBefore);
    EXPECT_NE(online->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(online->autoFillBackground(), fillBefore);
}

TEST_F(Binder, MemoShowsTheLinesAndFollowsAGrowingLog)
{
    model.setVisible(fld::TabSheetTransfer, true);
    model.setItemIndex(fld::PageControl1, tabIndex("TabSheetTransfer"));
    showForm();
    QPlainTextEdit* memo = w<QPlainTextEdit>("MemoCOMTransf");
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << QStringLiteral("line %1").arg(i);
    model.setItems(fld::MemoCOMTransf, lines);
    runEventLoop();
    EXPECT_EQ(memo->toPlainText(), lines.join('\n'));

    memo->verticalScrollBar()->setValue(0);
    lines << "appended 1" << "appended 2";
    model.setItems(fld::MemoCOMTransf, lines);
    runEventLoop();
    EXPECT_EQ(memo->toPlainText(), lines.join('\n'));
    ASSERT_GT(memo->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());

    // A log cut down to its newer half is shown anew.
    lines = lines.mid(100);
    model.setItems(fld::MemoCOMTransf, lines);
    runEventLoop();
    EXPECT_EQ(memo->toPlainText(), lines.join('\n'));
    model.setItems(fld::MemoCOMTransf, {});
    runEventLoop();
    EXPECT_EQ(memo->toPlainText(), "");
}

// ---------------------------------------------------------------------------------------------
// Widget to model

TEST_F(Binder, TypingGoesToTheModelAsTheUsers)
{
    record({"EditPositionInput"});
    QLineEdit* edit = w<QLineEdit>("EditPositionInput");
    typeText(edit, "Raum 1");
    EXPECT_EQ(model.text(fld::EditPositionInput), "Raum 1");
    ASSERT_EQ(changes.size(), 6u);
    for (const Change& c : changes) {
        EXPECT_EQ(c.origin, Origin::User);
        EXPECT_TRUE(c.has(Prop::Text));
    }
    // The model's own notifications do not come back as further edits.
    runEventLoop();
    EXPECT_EQ(changes.size(), 6u);
    EXPECT_EQ(edit->text(), "Raum 1");
}

TEST_F(Binder, ProgramChangesAreNotReportedAsUserEdits)
{
    record({"EditPositionInput", "RadioBetrZu", "RadioBetrAuto", "ComboBoxZBAdress", "PageControl1",
            "TrackBarVMax", "SpinEditSnrJahr", "ExtrasTransferAnzeige", "ListBoxAlarme"});
    model.setText(fld::EditPositionInput, "Flur");
    model.setChecked(fld::RadioBetrZu, true);
    model.setItemIndex(fld::ComboBoxZBAdress, 2);
    model.setItemIndex(fld::PageControl1, 3);
    model.setValue(fld::TrackBarVMax, 40);
    model.setValue(QStringLiteral("SpinEditSnrJahr"), 30);
    model.setChecked(fld::ExtrasTransferAnzeige, true);
    model.setItems(fld::ListBoxAlarme, {"a", "b"});
    model.setItemIndex(fld::ListBoxAlarme, 1);
    size_t made = changes.size();
    runEventLoop();
    EXPECT_EQ(changes.size(), made);
    EXPECT_EQ(w<QTabWidget>("PageControl1")->currentIndex(), 3);
    EXPECT_EQ(w<QListWidget>("ListBoxAlarme")->currentRow(), 1);

    // Where the widget cannot show the model's value exactly, it still does not answer back:
    // a slider position beyond its range, a spin value between its steps, the current tab
    // hidden under the tab control's feet.
    model.setValue(fld::TrackBarVMax, 150);
    model.setValue(QStringLiteral("SpinEditSnrJahr"), 30.4);
    model.setVisible(fld::TabSheetKonfigQV, false);
    made = changes.size();
    runEventLoop();
    EXPECT_EQ(w<QSlider>("TrackBarVMax")->value(), 70);
    EXPECT_NE(w<QTabWidget>("PageControl1")->currentIndex(), 3);
    EXPECT_EQ(changes.size(), made);
    EXPECT_EQ(model.value(fld::TrackBarVMax), 150);
    EXPECT_EQ(model.value(QStringLiteral("SpinEditSnrJahr")), 30.4);
    EXPECT_EQ(model.itemIndex(fld::PageControl1), 3);
    for (const Change& c : changes)
        EXPECT_EQ(c.origin, Origin::Program) << c.field.toStdString();
}

TEST_F(Binder, LeavingAFieldRunsItsLeaveRules)
{
    int leaves = 0;
    model.onLeave(fld::EditVmaxPrz, [&](const QString&) { ++leaves; });
    showForm();
    model.setItemIndex(fld::PageControl1, tabIndex("TabSheetService"));
    runEventLoop();
    QLineEdit* vmax = w<QLineEdit>("EditVmaxPrz");
    QLineEdit* vmin = w<QLineEdit>("EditVminPrz");
    vmax->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(vmax->hasFocus());
    EXPECT_EQ(leaves, 0);
    vmin->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(vmin->hasFocus());
    EXPECT_EQ(leaves, 1);

    // Another window taking the focus or a popup opening does not leave the field.
    QFocusEvent deactivated(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(vmax, &deactivated);
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(vmax, &popup);
    EXPECT_EQ(leaves, 1);
    QFocusEvent clicked(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(vmax, &clicked);
    EXPECT_EQ(leaves, 2);
}

TEST_F(Binder, ClickingARadioChecksItAndTheModelUnchecksTheOthers)
{
    model.setItemIndex(fld::PageControl1, tabIndex("TabSheetService"));
    showForm();
    record({"RadioBetrZu", "RadioBetrAuto"});
    QRadioButton* zu = w<QRadioButton>("RadioBetrZu");
    mouseClick(zu, indicatorPoint(zu));
    ASSERT_TRUE(zu->isChecked());
    EXPECT_TRUE(model.checked(fld::RadioBetrZu));
    EXPECT_FALSE(model.checked(fld::RadioBetrAuto));
    EXPECT_EQ(model.checkedInGroup(kGroupBetrieb), "RadioBetrZu");
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].field, "RadioBetrAuto"); // the one that lets go first
    EXPECT_EQ(changes[1].field, "RadioBetrZu");
    for (const Change& c : changes)
        EXPECT_EQ(c.origin, Origin::User);

    // Clicking the checked one again changes nothing.
    mouseClick(zu, indicatorPoint(zu));
    runEventLoop();
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_TRUE(zu->isChecked());
}

TEST_F(Binder, ClickingToggleAndCheckBox)
{
    model.setItemIndex(fld::PageControl1, tabIndex("TabSheetKonfigQV"));
    showForm();
    QPushButton* toggle = w<QPushButton>("SpeedButtonBetrieb");
    mouseClick(toggle, toggle->rect().center());
    EXPECT_TRUE(model.checked(fld::SpeedButtonBetrieb));
    mouseClick(toggle, toggle->rect().center());
    EXPECT_FALSE(model.checked(fld::SpeedButtonBetrieb));

    QCheckBox* box = w<QCheckBox>("CheckBoxVAVAdaptiv");
    mouseClick(box, indicatorPoint(box));
    EXPECT_TRUE(model.checked(QStringLiteral("CheckBoxVAVAdaptiv")));
}

TEST_F(Binder, PushButtonClicksAreNotContent)
{
    std::vector<QString> notified;
    model.addListener([&](const QString& field, Prop) { notified.push_back(field); });
    model.setEnabled(fld::ButtonLesen, true);
    runEventLoop();
    notified.clear();
    int clicks = 0;
    QPushButton* lesen = w<QPushButton>("ButtonLesen");
    QObject::connect(lesen, &QAbstractButton::clicked, [&] { ++clicks; });
    showForm();
    mouseClick(lesen, lesen->rect().center());
    runEventLoop();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(notified.empty());
}

TEST_F(Binder, ChoosingAComboItem)
{
    record({"ComboBoxZBAdress"});
    QComboBox* combo = w<QComboBox>("ComboBoxZBAdress");
    pressKey(combo, Qt::Key_Down);
    pressKey(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(model.itemIndex(fld::ComboBoxZBAdress), 2);
    EXPECT_EQ(model.text(fld::ComboBoxZBAdress), "ZB2");
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().origin, Origin::User);
}

TEST_F(Binder, ChangingTheTab)
{
    showForm();
    record({"PageControl1"});
    QTabBar* bar = form->PageControl()->tabBar();
    const int service = tabIndex("TabSheetService");
    mouseClick(bar, bar->tabRect(service).center());
    EXPECT_EQ(form->PageControl()->currentIndex(), service);
    EXPECT_EQ(model.itemIndex(fld::PageControl1), service);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].origin, Origin::User);
}

TEST_F(Binder, SliderAndSpinBoxMovedByTheUser)
{
    record({"TrackBarVMax", "SpinEditSnrJahr"});
    // The slider is inverted: arrow up moves towards 0 (100 % at the top).
    pressKey(w<QSlider>("TrackBarVMax"), Qt::Key_Up);
    EXPECT_EQ(model.value(fld::TrackBarVMax), 29);
    pressKey(w<QSpinBox>("SpinEditSnrJahr"), Qt::Key_Up);
    EXPECT_EQ(model.value(QStringLiteral("SpinEditSnrJahr")), 25);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].origin, Origin::User);
    EXPECT_EQ(changes[1].origin, Origin::User);
}

TEST_F(Binder, CheckableMenuCommandTriggeredByTheUser)
{
    record({"ExtrasTransferAnzeige"});
    action("ExtrasTransferAnzeige")->trigger();
    EXPECT_TRUE(model.checked(fld::ExtrasTransferAnzeige));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].origin, Origin::User);
    // A plain command has nothing to report.
    action("DateiOeffnen")->trigger();
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(Binder, ARuleThatRewritesTheTextDoesNotLoop)
{
    int runs = 0;
    std::vector<Origin> origins;
    model.onChange(fld::EditVmaxPrz, [&](const Change& c) {
        ++runs;
        origins.push_back(c.origin);
        if (model.text(fld::EditVmaxPrz).toDouble() > 100)
            model.setText(fld::EditVmaxPrz, "100");
    });
    QLineEdit* edit = w<QLineEdit>("EditVmaxPrz");
    edit->selectAll();
    typeText(edit, "150");
    runEventLoop();
    EXPECT_EQ(edit->text(), "100");
    EXPECT_EQ(model.text(fld::EditVmaxPrz), "100");
    // "1", "15", "150" from the user, then the rule's own "100".
    EXPECT_EQ(runs, 4);
    EXPECT_EQ(origins, (std::vector<Origin>{Origin::User, Origin::User, Origin::User, Origin::Program}));
    runEventLoop();
    EXPECT_EQ(runs, 4);

    // The same when the window catches up between the keys.
    edit->selectAll();
    runs = 0;
    for (const QString key : {"2", "0", "0", "0"}) {
        typeText(edit, key);
        runEventLoop();
    }
    EXPECT_EQ(edit->text(), "100");
    EXPECT_EQ(runs, 6); // "2", "20", "200" -> "100", then "1000" -> "100"
}

// ---------------------------------------------------------------------------------------------
// Threads

TEST_F(Binder, AChangeFromAWorkerThreadIsShownOnTheGuiThread)
{
    std::vector<Qt::HANDLE> appliedOn;
    QObject::connect(binder.get(), &ModelBinder::applied, binder.get(),
                     [&](const QString& field, Prop) {
                         if (field == "EditSerNr")
                             appliedOn.push_back(QThread::currentThreadId());
                     },
                     Qt::DirectConnection);
    const Qt::HANDLE gui = QThread::currentThreadId();
    std::thread worker([&] { model.setText(fld::EditSerNr, "00812-04711-003-001"); });
    worker.join();
    EXPECT_EQ(w<QLineEdit>("EditSerNr")->text(), "");
    EXPECT_TRUE(appliedOn.empty());
    runEventLoop();
    EXPECT_EQ(w<QLineEdit>("EditSerNr")->text(), "00812-04711-003-001");
    ASSERT_EQ(appliedOn.size(), 1u);
    EXPECT_EQ(appliedOn[0], gui);
}

TEST_F(Binder, CompetingWorkersEndInTheModelsLastState)
{
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t) {
        workers.emplace_back([&, t] {
            while (!go.load()) {
            }
            for (int i = 0; i < 300; ++i) {
                model.setText(fld::EditBetrIstwPrz, QString::number(t * 1000 + i));
                model.setChecked(kOperationChoices[(t + i) % kOperationChoices.size()], true);
                model.setItemIndex(fld::ComboBoxZBAdress, (t + i) % 9);
                model.setEnabled(fld::ButtonSetzen, (i + t) % 2 == 0);
            }
        });
    }
    go = true;
    // The GUI thread shows changes while the workers still make them.
    for (int i = 0; i < 20; ++i)
        runEventLoop();
    for (std::thread& t : workers)
        t.join();
    runEventLoop();
    EXPECT_EQ(w<QLineEdit>("EditBetrIstwPrz")->text(), model.text(fld::EditBetrIstwPrz));
    const QString checked = model.checkedInGroup(kGroupBetrieb);
    for (FieldId f : kOperationChoices)
        EXPECT_EQ(w<QRadioButton>(f.latin1())->isChecked(), checked == f.name()) << f.latin1();
    EXPECT_EQ(w<QComboBox>("ComboBoxZBAdress")->currentIndex(), model.itemIndex(fld::ComboBoxZBAdress));
    EXPECT_EQ(w<QPushButton>("ButtonSetzen")->isEnabled(), model.enabled(fld::ButtonSetzen));
}

// ---------------------------------------------------------------------------------------------
// Registry

TEST_F(Binder, RegistryCheck)
{
    const QStringList fields = binder->unboundFields();
    const QStringList widgets = binder->unboundWidgets();
    std::printf("fields without a widget (%d): %s\n", int(fields.size()), qPrintable(fields.join(", ")));
    std::printf("widgets without a field (%d): %s\n", int(widgets.size()), qPrintable(widgets.join(", ")));

    for (const char* key : {"EditSerNr", "ButtonLesen", "RadioBetrAuto", "PanelSecOnline", "StatusBarMessage",
                            "ComboBoxZBAdress", "ExtrasRegSetting", "TabSheetTransfer", "PageControl1",
                            "MemoCOMTransf", "SpeedButtonBetrieb", "ListBoxAlarme", "ToolButtonRegFkt"}) {
        EXPECT_TRUE(binder->isBound(key)) << key;
        EXPECT_FALSE(fields.contains(key)) << key;
        EXPECT_FALSE(widgets.contains(key)) << key;
    }
    EXPECT_EQ(binder->boundObject("TabSheetTransfer"), form->Control("TabSheetTransfer"));
    EXPECT_EQ(binder->boundObject("ExtrasRegSetting"), action("ExtrasRegSetting"));
    EXPECT_EQ(binder->boundObject("StatusBarMessage"), form->StatusField(TMainForm::StatusMessage));
    // Widgets of other kinds than content are not reported.
    EXPECT_FALSE(widgets.contains("SplitterIdent"));
    EXPECT_FALSE(widgets.contains("StatusBar1"));
    EXPECT_FALSE(widgets.contains("ToolButtonOeffnen"));
    // Nor the inner parts of Qt's own widgets (the tab bar's scroll buttons).
    EXPECT_FALSE(widgets.contains("ScrollLeftButton"));
}

TEST(BinderRegistry, ReportsWidgetsWithoutFieldsAndFieldsWithoutWidgets)
{
    WindowModel model;
    model.setMisuse(WindowModel::Misuse::Warn);
    model.declare({F("EditA", Kind::Edit, "a"), F("EditDialogOnly", Kind::Edit), F("LabelA", Kind::Label, "L")});
    QWidget root;
    auto* a = new QLineEdit(&root);
    a->setObjectName("EditA");
    auto* extra = new QLineEdit(&root);
    extra->setObjectName("EditNoField");
    auto* label = new QLabel(&root);
    label->setObjectName("LabelA");
    auto* duplicate = new QLabel(&root);
    duplicate->setObjectName("LabelA"); // the same name again
    auto* unnamed = new QLabel(&root);
    (void)unnamed;
    QAction command(QStringLiteral("x"));
    command.setObjectName("CommandNoField");
    ModelBinder binder(model, root, {&command});

    EXPECT_EQ(a->text(), "a");
    EXPECT_EQ(label->text(), "L");
    EXPECT_EQ(duplicate->text(), "");
    EXPECT_EQ(binder.unboundFields(), QStringList{"EditDialogOnly"});
    EXPECT_EQ(binder.unboundWidgets(),
              (QStringList{"CommandNoField", "EditNoField", "LabelA (second of that name)"}));
    EXPECT_TRUE(model.problems().isEmpty());
}
