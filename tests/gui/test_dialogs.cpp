// The variable sensor and actuator dialogs and the controller function dialog in the desktop
// program on the offscreen platform: shown by the choices, centred on the main window, the
// keyboard, and the function switch as the main window shows it.
#include "tests/gui/Pump.h"
#include "tests/gui/RecordingDialogs.h"
#include "device/model/WindowFields.h"
#include "dialogs/AntriebForm.h"
#include "dialogs/RegFktForm.h"
#include "dialogs/SensorForm.h"
#include "mainwindow/MainWindowController.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;

namespace {

using kadex::test::pump;

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, k, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, mods);
    QApplication::sendEvent(w, &release);
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
        TProgramOptions o;
        o.dialogs = &dialogs;
        o.portPath = home.filePath(QStringLiteral("no-such-port"));
        ctl = std::make_unique<TMainWindowController>(o);
        ctl->Show();
        // The start-up has run once the failed connect showed its error and enabled the
        // main controls again.
        ASSERT_TRUE(pump([&] { return !dialogs.Errors().isEmpty() && action(fld::ExtrasRegSetting)->isEnabled(); }, 10000));
    }
    QAction* action(FieldId f) { return ctl->Form().Action(f); }
    WindowModel& model() { return ctl->Model(); }
    template <class T> T* in(QWidget& w, const char* name) { return w.findChild<T*>(QLatin1String(name)); }

    QTemporaryDir home;
    test::RecordingDialogs dialogs;
    std::unique_ptr<TMainWindowController> ctl;
};

} // namespace

TEST_F(Dialogs, VariableChoicesShowTheToolWindowsCentredAndEscapeClosesThem)
{
    struct Row {
        FieldId variabel;
        FieldId preset;
        QDialog* dialog;
    };
    const Row rows[] = {{fld::RadioButtonDPKVariabel, fld::RadioButtonDPK300, &ctl->SensorForm()},
                        {fld::RadioButtonAntr_Variabel, fld::RadioButtonAntr_RGT, &ctl->AntriebForm()}};
    ctl->Form().PageControl()->setCurrentIndex(0);
    ASSERT_TRUE(pump([&] { return model().itemIndex(fld::PageControl1) == 0; }, 2000));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.dialog->objectName().toStdString());
        QDialog* d = r.dialog;
        ctl->Form().ControlAs<QRadioButton>(r.variabel)->click();
        ASSERT_TRUE(pump([&] { return d->isVisible(); }, 2000));
        // A tool window of the main window, above it, not modal.
        EXPECT_TRUE(d->windowFlags().testFlag(Qt::Tool));
        EXPECT_EQ(d->parentWidget(), &ctl->Form());
        EXPECT_FALSE(d->isModal());
        const QPoint offset = d->frameGeometry().center() - ctl->Form().frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();

        key(d, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible());
        EXPECT_FALSE(model().visible(r.dialog == &ctl->SensorForm() ? fld::SensorForm : fld::AntriebForm));

        // Chosen again by double-click; another choice closes it.
        QWidget* radio = ctl->Form().Control(r.variabel);
        QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), radio->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(radio, &dbl);
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(5, 5), radio->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(radio, &up);
        ASSERT_TRUE(pump([&] { return d->isVisible(); }, 2000));
        ctl->Form().ControlAs<QRadioButton>(r.preset)->click();
        ASSERT_TRUE(pump([&] { return !d->isVisible(); }, 2000));
    }
}

TEST_F(Dialogs, SensorDialogKeyboardTabOrderEnterLeavesAndCtrlSIsPassedOn)
{
    ctl->Form().PageControl()->setCurrentIndex(0);
    ctl->Form().ControlAs<QRadioButton>(fld::RadioButtonDPKVariabel)->click();
    TSensorForm& d = ctl->SensorForm();
    ASSERT_TRUE(pump([&] { return d.isVisible(); }, 2000));

    QStringList order;
    QWidget* w = in<QSpinBox>(d, "SpinEditVAVPmin");
    for (int i = 0; i < 6 && w; ++i) {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (w && (!(w->focusPolicy() & Qt::TabFocus) || qobject_cast<QSpinBox*>(w->parentWidget())));
    }
    EXPECT_EQ(order, (QStringList{"SpinEditVAVPmin", "SpinEditVAVPmax", "SpinEditVAVPnom", "SpinEditVAVPtot",
                                  "SpinEditVAVPverz", "SpinEditVAVVtot"}));

    // 500 is on its way while typed (the minimum is 2000) and becomes 2000 on Enter.
    auto* pmax = in<QSpinBox>(d, "SpinEditVAVPmax");
    pmax->setFocus();
    pmax->findChild<QLineEdit*>()->setText(QStringLiteral("500"));
    ASSERT_TRUE(pump([&] { return model().value(fld::SpinEditVAVPmax) == 500; }, 2000));
    key(pmax, Qt::Key_Return);
    EXPECT_EQ(model().value(fld::SpinEditVAVPmax), 2000);
    ASSERT_TRUE(pump([&] { return pmax->value() == 2000; }, 2000));

    int passedOn = 0;
    QObject::connect(&d, &TSensorForm::FocusedWriteRequested, [&] { ++passedOn; });
    // "Setzen" is enabled only together with "Lesen" (and V'max of at least 30 %).
    model().setText(fld::EditVmaxPrz, QStringLiteral("100.00"));
    model().setEnabled(fld::ButtonLesen, true);
    model().setEnabled(fld::ButtonSetzen, true);
    ASSERT_TRUE(model().enabled(fld::ButtonSetzen));
    key(pmax, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(passedOn, 1);
    model().setEnabled(fld::ButtonSetzen, false);
    key(pmax, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(passedOn, 1);
}

TEST_F(Dialogs, FunctionDialogSwitchesAndTheMainWindowFollows)
{
    TRegFktForm& d = ctl->RegFktForm();
    auto* nom = ctl->Form().ControlAs<QLabel>(fld::LabelVnomM3);
    ASSERT_TRUE(nom);
    ASSERT_TRUE(pump([&] { return nom->text() == "V'nom"; }, 2000));
    for (int function : {2, 1}) {
        SCOPED_TRACE(function);
        action(fld::ExtrasRegSetting)->trigger();
        ASSERT_TRUE(pump([&] { return d.isVisible(); }, 5000));
        EXPECT_TRUE(d.isModal());
        const QPoint offset = d.frameGeometry().center() - ctl->Form().frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4);
        in<QRadioButton>(d, function == 2 ? "RadioButtonDruckanwendung" : "RadioButtonVolumenstrom")->click();
        d.OkButton()->click();
        ASSERT_TRUE(pump([&] { return !d.isVisible(); }, 5000));
        const char* expected = function == 2 ? "P'nom" : "V'nom";
        ASSERT_TRUE(pump([&] { return nom->text() == expected; }, 5000));
        EXPECT_EQ(ctl->Core().Ctx.ReglerFkt.load(), function);
        EXPECT_EQ(ctl->Form().ControlAs<QLabel>(fld::LabelVmax)->text(), function == 2 ? "P'max" : "V'max");
        EXPECT_EQ(model().text(kStatusFunction), function == 2 ? "Druck " : "Volumenstrom");
        EXPECT_EQ(ctl->Form().Control(fld::PanelVmid)->isHidden(), function == 2);
    }

    // Escape closes without applying.
    action(fld::ExtrasRegSetting)->trigger();
    ASSERT_TRUE(pump([&] { return d.isVisible(); }, 5000));
    in<QRadioButton>(d, "RadioButtonDruckanwendung")->click();
    key(&d, Qt::Key_Escape);
    ASSERT_TRUE(pump([&] { return !model().visible(fld::RegFktForm); }, 5000));
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(ctl->Core().Ctx.ReglerFkt.load(), 1);
}
