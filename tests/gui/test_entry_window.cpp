// Value entry as a user meets it in the program on the offscreen platform, against the simulated
// controller: the Position mirror, unit labels after a unit-set and a function change, the
// indicator after the conductance dialog, and keys typed one by one.
#include "tests/gui/Pump.h"
#include "device/model/WindowFields.h"
#include "dialogs/LeitwertForm.h"
#include "dialogs/OptSetForm.h"
#include "dialogs/RegFktForm.h"
#include "mainwindow/MainWindowController.h"
#include "sim/Controller.h"
#include "sim/SimBus.h"
#include "tests/gui/RecordingDialogs.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;

namespace {

using kadex::test::pump;

void keyText(QWidget* w, const QString& text)
{
    for (QChar c : text) {
        const int k = c.isDigit() ? Qt::Key_0 + c.digitValue() : (c == QLatin1Char('-') ? Qt::Key_Minus : 0);
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

void key(QWidget* w, int k)
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

class EntryWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
        start();
    }
    void start()
    {
        TProgramOptions o;
        o.simulate = true;
        o.pollPeriodMs = 300;
        o.dialogs = &dialogs;
        ctl = std::make_unique<TMainWindowController>(o);
        ctl->Show();
        auto* lesen = edit<QAbstractButton>("ButtonLesen");
        ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load() && lesen->isEnabled(); }, 20000));
        ctl->Form().activateWindow();
        ASSERT_TRUE(pump([&] { return QApplication::activeWindow() == &ctl->Form(); }, 5000));
    }
    template <class T = QLineEdit>
    T* edit(const char* name)
    {
        T* w = ctl->Form().ControlAs<T>(QString::fromLatin1(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    QString label(const char* name) { return edit<QLabel>(name)->text(); }
    // Select all, then one key press per character, as typing over a field. A flow (a polling
    // step's read) switches the controls off meanwhile: wait until the field takes keys.
    void typeOver(QLineEdit* e, const QString& text)
    {
        EXPECT_TRUE(pump([&] { return e->isEnabled() && !e->isReadOnly() && !ctl->Core().Flows.Busy(); }, 20000));
        e->setFocus(Qt::TabFocusReason);
        e->selectAll();
        keyText(e, text);
    }
    bool equalShown() { return edit<QLabel>("ImageEqual")->isVisible() && !edit<QLabel>("ImageNotEqual")->isVisible(); }

    QTemporaryDir home;
    test::RecordingDialogs dialogs;
    std::unique_ptr<TMainWindowController> ctl;
};

} // namespace

TEST_F(EntryWindow, PositionTypedOnEitherTabShowsOnBothAndAReadShowsTheDevices)
{
    QLineEdit* service = edit("EditPositionInput");
    QLineEdit* oem = edit("EditPositionInput_OEM");
    ASSERT_TRUE(service && oem);
    QByteArray held;
    for (uint8_t b : ctl->SimulatedBus()->peek(1, sim::mem::PositionText, 16))
        held.append(static_cast<char>(b));
    const QString device = QString::fromLatin1(held).trimmed();
    ASSERT_TRUE(pump([&] { return service->text() == device && oem->text() == device; }, 5000))
        << service->text().toStdString() << " | " << oem->text().toStdString();

    typeOver(oem, QStringLiteral("Raum 7"));
    EXPECT_TRUE(pump([&] { return service->text() == "Raum 7" && edit<QLabel>("ImageNotEqual")->isVisible(); }, 5000))
        << oem->text().toStdString() << " | " << service->text().toStdString() << " | "
        << edit<QLabel>("ImageNotEqual")->isVisible();
    typeOver(service, QStringLiteral("Flur"));
    EXPECT_TRUE(pump([&] { return oem->text() == "Flur"; }, 5000));

    edit<QAbstractButton>("ButtonLesen")->click();
    EXPECT_TRUE(pump([&] { return oem->text() == device && service->text() == device && equalShown(); }, 20000))
        << oem->text().toStdString();
}

TEST_F(EntryWindow, UnitLabelsFollowTheUnitSetAndTheFunctionAlsoAfterARestart)
{
    const char* flowDims[] = {"LabelVnomM3Dim", "LabelVmaxM3_OEMDim", "LabelVminM3_OEMDim", "LabelVnomM3AnzDim",
                              "LabelVmaxM3Dim", "LabelVmidM3Dim", "LabelVminM3Dim", "LabelBetrSollwM3Dim",
                              "LabelBetrIstwM3Dim"};
    struct Row {
        int unitSet;
        bool pressure;
        const char* unit;
        const char* vmaxShare;
    };
    // The simulated controller runs firmware from 0x0220 on: V'min is a share of V'nom too.
    const Row rows[] = {
        {1, false, "l/s", "% von V'nom"},
        {2, false, "cfm", "% von V'nom"},
        {2, true, "uPSI", "% von P'nom"},
        {0, true, "Pa", "% von P'nom"},
        {1, false, "l/s", "% von V'nom"},
    };
    TOptSetForm& options = ctl->OptSetForm();
    TRegFktForm& function = ctl->RegFktForm();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.unit);
        ctl->Form().Action(fld::ExtrasOptionen)->trigger();
        ASSERT_TRUE(pump([&] { return options.isVisible(); }, 5000));
        ctl->Model().setItemIndex(fld::ComboBoxEinheit, r.unitSet, Origin::User);
        options.OkButton()->click();
        ASSERT_TRUE(pump([&] { return !options.isVisible() && !ctl->Core().Flows.Busy(); }, 5000));
        if (r.pressure != (ctl->Core().Ctx.ReglerFkt.load() == 2)) {
            ctl->Form().Action(fld::ExtrasRegSetting)->trigger();
            ASSERT_TRUE(pump([&] { return function.isVisible(); }, 5000));
            function.findChild<QRadioButton*>(r.pressure ? "RadioButtonDruckanwendung" : "RadioButtonVolumenstrom")->click();
            function.OkButton()->click();
            ASSERT_TRUE(pump([&] { return !function.isVisible(); }, 5000));
        }
        const QString unit = QString::fromUtf8(r.unit);
        EXPECT_TRUE(pump([&] {
            return label("LabelVmaxPrzDim") == r.vmaxShare && label("LabelVnomM3Dim") == unit &&
                   label("LabelBetrIstwM3Dim") == unit;
        }, 5000)) << label("LabelVmaxPrzDim").toStdString();
        EXPECT_EQ(label("LabelVminPrzDim"), r.vmaxShare);
        for (const char* dim : flowDims)
            EXPECT_EQ(label(dim), QString::fromUtf8(r.unit)) << dim;
        EXPECT_EQ(label("LabelSensorValueDim"), r.unitSet == 2 ? "uPSI" : "Pa");
    }
    // The last unit set and function come back with the program.
    ctl->Form().close();
    ASSERT_TRUE(pump([&] { return !ctl->Form().isVisible(); }, 20000));
    ctl.reset();
    start();
    for (const char* dim : flowDims)
        EXPECT_TRUE(pump([&] { return label(dim) == "l/s"; }, 5000)) << dim << ": " << label(dim).toStdString();
}

TEST_F(EntryWindow, ConductanceTakenOverFromTheDialogShowsTheDifference)
{
    ASSERT_TRUE(pump([&] { return equalShown(); }, 10000));
    auto* open = edit<QAbstractButton>("ButtonCalculateLW");
    ASSERT_TRUE(pump([&] { return open->isEnabled(); }, 5000));
    open->click();
    TLeitwertForm* dlg = nullptr;
    ASSERT_TRUE(pump([&] { return (dlg = ctl->Form().findChild<TLeitwertForm*>()) && dlg->isVisible(); }, 5000));
    auto* flow = dlg->findChild<QLineEdit*>("EditVolumenstrom");
    auto* druck = dlg->findChild<QLineEdit*>("EditDruckMw");
    ASSERT_TRUE(flow && druck);
    // A negative pressure is refused as a whole, not read without its sign.
    typeOver(druck, QStringLiteral("-5"));
    EXPECT_EQ(druck->text(), "0");
    typeOver(flow, QStringLiteral("1000"));
    typeOver(druck, QStringLiteral("70"));
    dlg->findChild<QPushButton*>("ButtonBerechnen")->click();
    const QString determined = dlg->findChild<QLineEdit*>("EditLwErmittelt")->text();
    ASSERT_NE(determined, ctl->Model().text(fld::EditVAVLwErmittelt));
    dlg->findChild<QPushButton*>("ButtonOk")->click();
    auto* field = edit("EditVAVLwErmittelt");
    EXPECT_TRUE(pump([&] {
        return field->text() == determined && edit<QLabel>("ImageNotEqual")->isVisible() &&
               field->palette().color(QPalette::Base) != ctl->Form().palette().color(QPalette::Base);
    }, 5000)) << field->text().toStdString();
}

TEST_F(EntryWindow, VmaxTypedKeyByKeyLeavesVminAloneUntilCommitted)
{
    ctl->Model().setItemIndex(fld::PageControl1, 2, Origin::User);
    QLineEdit* vmax = edit("EditVmaxPrz");
    QLineEdit* vmin = edit("EditVminPrz");
    QLineEdit* vminM3 = edit("EditVminM3");
    ASSERT_TRUE(vmax && vmin && vminM3);
    struct Row {
        const char* vmin;
        const char* typed;
        int commitKey;
        const char* vmaxAfter;
        const char* vminAfter;
    };
    const Row rows[] = {
        {"30", "90", Qt::Key_Tab, "90.00", "30.00"},
        {"50", "45", Qt::Key_Return, "45.00", "45.00"},
        {"50", "9", Qt::Key_Tab, "30.00", "30.00"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        typeOver(vmax, QStringLiteral("80"));
        key(vmax, Qt::Key_Return);
        typeOver(vmin, QString::fromLatin1(r.vmin));
        key(vmin, Qt::Key_Return);
        ASSERT_TRUE(pump([&] { return vmin->text() == QString::fromLatin1(r.vmin) + ".00"; }, 5000));
        const QString before = vmin->text(), beforeM3 = vminM3->text();
        ASSERT_TRUE(pump([&] { return vmax->isEnabled() && !ctl->Core().Flows.Busy(); }, 20000));
        vmax->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(pump([&] { return vmax->hasFocus(); }, 2000));
        vmax->selectAll();
        for (QChar c : QString::fromLatin1(r.typed)) {
            keyText(vmax, QString(c));
            QApplication::processEvents();
            EXPECT_EQ(vmin->text(), before) << "after " << vmax->text().toStdString();
            EXPECT_EQ(vminM3->text(), beforeM3) << "after " << vmax->text().toStdString();
        }
        key(vmax, r.commitKey);
        EXPECT_TRUE(pump([&] { return vmax->text() == r.vmaxAfter && vmin->text() == r.vminAfter; }, 5000))
            << vmax->text().toStdString() << " / " << vmin->text().toStdString();
    }
}

TEST_F(EntryWindow, SpinTypedBeyondItsRangeTakesTheBound)
{
    ctl->Model().setItemIndex(fld::PageControl1, 3, Origin::User);
    auto* tn = edit<QSpinBox>("SpinEditVAVTn");
    ASSERT_TRUE(tn);
    ASSERT_TRUE(pump([&] { return tn->isEnabled() && !ctl->Core().Flows.Busy(); }, 20000));
    tn->setFocus(Qt::TabFocusReason);
    tn->selectAll();
    keyText(tn, QStringLiteral("99999"));
    EXPECT_EQ(tn->value(), 32767);
    EXPECT_TRUE(pump([&] { return ctl->Model().value(fld::SpinEditVAVTn) == 32767; }, 5000));
}
