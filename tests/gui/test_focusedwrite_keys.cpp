// Ctrl+S in the program on the offscreen platform against the simulated controller: only exactly
// Ctrl+S on the OEM or QV tab writes, and the variable sensor dialog passes it on.
#include "tests/gui/Pump.h"
#include "tests/gui/RecordingDialogs.h"
#include "device/model/WindowFields.h"
#include "dialogs/SensorForm.h"
#include "mainwindow/MainWindowController.h"
#include "sim/SimBus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;

namespace {

using kadex::test::pump;

void key(QWidget* w, int k, Qt::KeyboardModifiers mods)
{
    QKeyEvent press(QEvent::KeyPress, k, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, mods);
    QApplication::sendEvent(w, &release);
}

// The memory writes that reached the controller, by address.
std::vector<int> written(sim::SimBus& bus)
{
    std::vector<int> a;
    for (const auto& r : bus.record())
        if (r.command() == 0x02)
            a.push_back(r.bytes[2] << 8 | r.bytes[3]);
    return a;
}

class FocusedWriteKeys : public ::testing::Test {
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
        auto* lesen = ctl->Form().ControlAs<QAbstractButton>(QStringLiteral("ButtonLesen"));
        ASSERT_TRUE(lesen);
        ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load() && lesen->isEnabled(); }, 20000));
        ctl->Form().activateWindow();
        ASSERT_TRUE(pump([&] { return QApplication::activeWindow() == &ctl->Form(); }, 5000));
    }
    WindowModel& model() { return ctl->Model(); }
    // Waits until the controls take keys again (no flow running, "Setzen" enabled).
    bool idle()
    {
        return pump([&] { return !ctl->Core().Flows.Busy() && model().enabled(fld::ButtonSetzen); }, 20000);
    }

    QTemporaryDir home;
    test::RecordingDialogs dialogs;
    std::unique_ptr<TMainWindowController> ctl;
};

} // namespace

TEST_F(FocusedWriteKeys, OnlyExactlyCtrlSOnTheOemOrQvTabWrites)
{
    sim::SimBus& bus = *ctl->SimulatedBus();
    QWidget* t1 = ctl->Form().Control(QStringLiteral("SpinEditVAVT1"));
    QWidget* radio = ctl->Form().Control(QStringLiteral("RadioButtonSensTypDruck"));
    ASSERT_TRUE(t1 && radio);

    // The keys that must do nothing, each on its tab with the focus in a group; then the
    // real key, whose write is the only one.
    model().setItemIndex(fld::PageControl1, 0);
    ASSERT_TRUE(idle());
    radio->setFocus(Qt::TabFocusReason);
    bus.clearRecord();
    key(radio, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    key(radio, Qt::Key_S, Qt::AltModifier);
    key(radio, Qt::Key_S, Qt::NoModifier);
    model().setItemIndex(fld::PageControl1, 2);
    ASSERT_TRUE(pump([&] { return !radio->isVisible(); }, 5000));
    key(&ctl->Form(), Qt::Key_S, Qt::ControlModifier);
    model().setItemIndex(fld::PageControl1, 0);
    ASSERT_TRUE(pump([&] { return radio->isVisible(); }, 5000));
    radio->setFocus(Qt::TabFocusReason);
    key(radio, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(pump([&] { return !written(bus).empty(); }, 20000));
    ASSERT_TRUE(idle());
    const std::vector<int> sensor = {0x001E, 0x0048, 0x004A, 0x004C, 0x0044, 0x0046, 0x0028};
    EXPECT_EQ(written(bus), sensor);

    // On the QV tab T1 alone.
    model().setItemIndex(fld::PageControl1, 3);
    ASSERT_TRUE(pump([&] { return t1->isVisible(); }, 5000));
    ASSERT_TRUE(idle());
    static_cast<QSpinBox*>(t1)->setValue(123);
    t1->setFocus(Qt::TabFocusReason);
    bus.clearRecord();
    key(t1, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(pump([&] { return written(bus).size() >= 3; }, 20000));
    ASSERT_TRUE(idle());
    EXPECT_EQ(written(bus), (std::vector<int>{0x000A, 0x000C, 0x0100}));
    const auto t1Cell = bus.peek(1, 0x0100, 2);
    EXPECT_EQ(t1Cell[0] << 8 | t1Cell[1], 123);
}

TEST_F(FocusedWriteKeys, SensorDialogPassesCtrlSOnForItsFocusedValue)
{
    sim::SimBus& bus = *ctl->SimulatedBus();
    model().setItemIndex(fld::PageControl1, 0);
    ASSERT_TRUE(idle());
    TSensorForm& d = ctl->SensorForm();
    ctl->Core().Dialogs.Forms.ShowSensorDialog(true);
    ASSERT_TRUE(pump([&] { return d.isVisible(); }, 5000));
    d.activateWindow();
    ASSERT_TRUE(pump([&] { return QApplication::activeWindow() == &d; }, 5000));
    auto* vtot = d.findChild<QSpinBox*>(QStringLiteral("SpinEditVAVVtot"));
    ASSERT_TRUE(vtot);
    vtot->setValue(vtot->value() == 7 ? 8 : 7);
    const int want = vtot->value();
    ASSERT_TRUE(pump([&] { return model().value(fld::SpinEditVAVVtot) == want; }, 5000));
    vtot->setFocus(Qt::TabFocusReason);
    bus.clearRecord();
    key(vtot, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(pump([&] { return !written(bus).empty(); }, 20000));
    ASSERT_TRUE(idle());
    EXPECT_EQ(written(bus), std::vector<int>{0x0028});
    const auto cell = bus.peek(1, 0x0028, 2);
    EXPECT_EQ(cell[0] << 8 | cell[1], want);
}
