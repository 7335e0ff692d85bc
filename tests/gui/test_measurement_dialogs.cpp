// The conductance and ambient conditions dialogs in the program on the offscreen platform,
// against the simulated controller: opened from their buttons, typed into, confirmed; what
// the controller holds afterwards.
#include "tests/gui/Pump.h"
#include "dialogs/LeitwertForm.h"
#include "dialogs/UmgebungForm.h"
#include "mainwindow/MainWindowController.h"
#include "tests/gui/RecordingDialogs.h"
#include "sim/Controller.h"
#include "sim/SimBus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <iostream>

using namespace kadex;

namespace {

using kadex::test::pump;

// Replaces the text as a user would: select all, then one key press per character (the
// first replaces the selection).
void typeInto(QLineEdit* e, const QString& text)
{
    e->setFocus();
    e->selectAll();
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(e, &press);
    }
}

class MeasurementDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
        TProgramOptions o;
        o.simulate = true;
        o.pollPeriodMs = 300;
        o.dialogs = &dialogs;
        ctl = std::make_unique<TMainWindowController>(o);
        ctl->Show();
        ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    }
    QAbstractButton* mainButton(const char* name)
    {
        auto* b = ctl->Form().ControlAs<QAbstractButton>(QString::fromLatin1(name));
        EXPECT_TRUE(b);
        EXPECT_TRUE(pump([&] { return b && b->isEnabled(); }, 5000)) << name;
        return b;
    }
    template <class T>
    T* child(QWidget* w, const char* name)
    {
        return w->findChild<T*>(QString::fromLatin1(name));
    }
    uint16_t be16(uint16_t a)
    {
        const auto b = ctl->SimulatedBus()->peek(1, a, 2);
        return static_cast<uint16_t>((b[0] << 8) | b[1]);
    }

    QTemporaryDir home;
    test::RecordingDialogs dialogs;
    std::unique_ptr<TMainWindowController> ctl;
};

} // namespace

TEST_F(MeasurementDialogs, AmbientConditionsFollowTheEntriesAndAnpassenWritesThem)
{
    ctl->Model().setChecked(fld::RadioButtonVolumenstrom, true);
    // The connect read the controller's ambient conditions (50 %); start from the defaults.
    ctl->Model().setText(fld::EditHoehe, QStringLiteral("0.0"));
    ctl->Model().setText(fld::EditTemp, QStringLiteral("20.00"));
    ctl->Model().setText(fld::EditFeuchte, QStringLiteral("40.00"));
    mainButton("ButtonCalculateDichte")->click();
    TDichteForm* dlg = nullptr;
    ASSERT_TRUE(pump([&] { return (dlg = ctl->Form().findChild<TDichteForm*>()) && dlg->isVisible(); }, 5000));
    auto* hoehe = child<QLineEdit>(dlg, "EditHoehe");
    auto* dichte = child<QLineEdit>(dlg, "EditDichte");
    auto* ok = child<QPushButton>(dlg, "ButtonOk");
    ASSERT_TRUE(hoehe && dichte && ok);
    EXPECT_EQ(ok->text(), QStringLiteral("Anpassen"));
    EXPECT_EQ(dichte->text(), QStringLiteral("1.200"));
    EXPECT_TRUE(child<QLineEdit>(dlg, "EditTemp")->isVisible());
    typeInto(hoehe, QStringLiteral("9000"));
    EXPECT_EQ(hoehe->text(), QStringLiteral("8800"));
    EXPECT_EQ(dichte->text(), QStringLiteral("0.397"));
    typeInto(hoehe, QStringLiteral("1000"));
    EXPECT_EQ(hoehe->text(), QStringLiteral("1000"));
    EXPECT_EQ(dichte->text(), QStringLiteral("1.059"));
    ok->click();
    // 1.059 x 1024 = 1084 at 0x002C, 1000 m at 0x0060, written on the flow runner.
    ASSERT_TRUE(pump([&] { return be16(0x0060) == 1000; }, 10000));
    EXPECT_EQ(be16(0x002C), 1084);
    EXPECT_EQ(ctl->Model().text(fld::EditVAVDichte), QStringLiteral("1.059"));
    EXPECT_TRUE(pump([&] { return ctl->Form().ControlAs<QLineEdit>(QStringLiteral("EditDichte"))->text() == "1.059"; }, 5000));

    // Cancelling puts the entries back.
    mainButton("ButtonCalculateDichte")->click();
    ASSERT_TRUE(pump([&] { return (dlg = ctl->Form().findChild<TDichteForm*>()) && dlg->isVisible(); }, 5000));
    typeInto(child<QLineEdit>(dlg, "EditHoehe"), QStringLiteral("5"));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dlg, &esc);
    EXPECT_EQ(ctl->Model().text(fld::EditHoehe), QStringLiteral("1000"));
}

TEST_F(MeasurementDialogs, ConductanceBerechnenAndMeasurementWithAirKeepTheWindowResponsive)
{
    ctl->SimulatedBus()->withController(1, [](sim::Controller& c) { c.pinLive(sim::mem::SensorPressure, 100); });
    mainButton("ButtonCalculateLW")->click();
    TLeitwertForm* dlg = nullptr;
    ASSERT_TRUE(pump([&] { return (dlg = ctl->Form().findChild<TLeitwertForm*>()) && dlg->isVisible(); }, 5000));
    auto* flow = child<QLineEdit>(dlg, "EditVolumenstrom");
    auto* druck = child<QLineEdit>(dlg, "EditDruckMw");
    auto* result = child<QLineEdit>(dlg, "EditLwErmittelt");
    auto* mitLuft = child<QPushButton>(dlg, "ButtonDruckmessung");
    auto* start = child<QPushButton>(dlg, "ButtonStartMeas");
    ASSERT_TRUE(flow && druck && result && mitLuft && start);
    EXPECT_FALSE(start->isVisible());
    typeInto(flow, QStringLiteral("70000"));
    EXPECT_EQ(flow->text(), QStringLiteral("65535"));
    typeInto(flow, QStringLiteral("1000"));
    typeInto(druck, QStringLiteral("100"));
    child<QPushButton>(dlg, "ButtonBerechnen")->click();
    EXPECT_EQ(result->text(), QStringLiteral("109.54"));

    // With air: the window keeps handling events while the operation mode starts and samples.
    ASSERT_TRUE(mitLuft->isEnabled());
    typeInto(druck, QStringLiteral("0"));
    QElapsedTimer gap;
    gap.start();
    qint64 longest = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.restart());
    });
    probe.start(5);
    mitLuft->click();
    ASSERT_TRUE(pump([&] { return start->isVisible(); }, 15000)); // the damper opens fast
    EXPECT_FALSE(ctl->Form().ControlAs<QAbstractButton>(QStringLiteral("ButtonLesen"))->isEnabled());
    start->click();
    ASSERT_TRUE(pump([&] { return child<QPushButton>(dlg, "ButtonOk")->isEnabled(); }, 20000));
    probe.stop();
    std::cout << "longest GUI stall during the measurement with air: " << longest << " ms\n";
    EXPECT_EQ(druck->text(), QStringLiteral("100"));
    EXPECT_EQ(result->text(), QStringLiteral("109.54"));
    child<QPushButton>(dlg, "ButtonOk")->click();
    EXPECT_EQ(ctl->Model().text(fld::EditVAVLwErmittelt), QStringLiteral("109.54"));
    // Closing ends the operation mode the dialog started.
    ASSERT_TRUE(pump([&] { return !ctl->Core().VAVBetrieb.BetriebAktiv.load(); }, 10000));
    EXPECT_TRUE(pump([&] { return ctl->SimulatedBus()->mode(1) == 0; }, 10000));
}
