// The conductance and ambient conditions dialogs without widgets, on the main-window core
// against the in-process simulator: what the controller was sent and holds, with the dialog's
// clock driven by hand.
#include "QtPrinters.h"
#include "ScriptedLink.h"
#include "core/LeitwertFlow.h"
#include "core/UmgebungFlow.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/IniFile.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "sim/Controller.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include "tests/WaitFor.h"

#include <chrono>
#include <thread>

using namespace kadex;
using namespace std::chrono;
using sim::SimBus;

namespace {

using test::waitFor;

class DialogFlows : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadToolIniRecords(TIniFile());
        bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(1));
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus));
        core->SetPollPeriodMs(100);
        core->Start();
    }
    void TearDown() override
    {
        bus->setObserver({});
        core.reset();
    }
    void connect()
    {
        std::atomic<bool> done{false}, ok{false};
        core->Flows.Post("connect", [&] {
            ok = core->COMVerbinden();
            done = true;
        });
        ASSERT_TRUE(waitFor([&] { return done.load(); }, 20000));
        ASSERT_TRUE(ok.load());
        ASSERT_TRUE(model->visible(fld::ImageEqual));
    }
    void writeAll()
    {
        std::atomic<bool> ok{false};
        core->Flows.Post("Setzen", [&] { ok = core->ButtonSetzenClick(); });
        ASSERT_TRUE(core->Flows.WaitIdle(20000));
        ASSERT_TRUE(ok.load());
        ASSERT_TRUE(model->visible(fld::ImageEqual));
    }
    void pinPressure(uint16_t pa)
    {
        bus->withController(1, [pa](sim::Controller& c) { c.pinLive(sim::mem::SensorPressure, pa); });
    }
    uint16_t be16(uint16_t a)
    {
        const auto b = bus->peek(1, a, 2);
        return static_cast<uint16_t>((b[0] << 8) | b[1]);
    }
    // Every write since `from` as "W 002C 043C", unlock "U", lock "L", reads "R 0018".
    std::vector<std::string> telegramsSince(size_t from)
    {
        std::vector<std::string> v;
        const auto r = bus->record();
        char buf[64];
        for (size_t i = from; i < r.size(); ++i) {
            const auto& b = r[i].bytes;
            switch (r[i].command()) {
            case 0x01: std::snprintf(buf, sizeof buf, "R %02X%02X", b[2], b[3]); break;
            case 0x02: std::snprintf(buf, sizeof buf, "W %02X%02X %02X%02X", b[2], b[3], b[4], b[5]); break;
            case 0x4E: std::snprintf(buf, sizeof buf, "U"); break;
            case 0x3C: std::snprintf(buf, sizeof buf, "L"); break;
            default: continue;
            }
            v.push_back(buf);
        }
        return v;
    }

    // A measurement with air up to the end of its countdown, with the given pressures (Pa)
    // handed out one per sample read.
    void measureUpToSampling(LeitwertFlow& flow, std::vector<uint16_t> samples)
    {
        flow.Show();
        ASSERT_TRUE(flow.view().mitLuftEnabled);
        flow.SetVolumenstrom(QStringLiteral("1000"));
        flow.MitLuft();
        EXPECT_EQ(flow.countdown(), 190); // running time 150 s + 40 s
        ASSERT_TRUE(core->Flows.WaitIdle(10000));
        EXPECT_TRUE(model->checked(fld::SpeedButtonBetrieb));
        EXPECT_TRUE(model->checked(fld::RadioBetrSchnellAuf));
        EXPECT_FALSE(model->enabled(fld::ButtonLesen)); // device buttons off while measuring
        // The operation step reports the fast opening.
        ASSERT_TRUE(waitFor([&] { return model->caption(fld::PanelBetrStatus) == IniStatusText.SchnellAuf; }, 10000));
        clock.now += 1000;
        flow.Tick();
        EXPECT_EQ(flow.countdown(), 189);
        EXPECT_EQ(flow.view().calculateText, QStringLiteral("Druckmessung startet in 189 Sek."));
        EXPECT_EQ(flow.view().progress, 1);
        EXPECT_TRUE(flow.view().startMeasVisible);
        clock.now += 188'000;
        flow.Tick();
        EXPECT_EQ(flow.countdown(), 1);
        EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Countdown);

        // Pressures one per sample read from here on; no step in flight while sampling starts.
        core->SuspendBetriebThread();
        pinPressure(samples.at(0));
        next = 1;
        bus->setObserver([this, samples](const sim::TelegramRecord& r) {
            if (r.command() == 0x01 && r.bytes.size() > 3 && r.bytes[2] == 0x04 && r.bytes[3] == 0x5C &&
                core->VAVBetrieb.DruckmessungAktiv.load() && next < samples.size())
                pinPressure(samples[next++]);
        });
        clock.now += 1000;
        flow.Tick();
        EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Sampling);
        EXPECT_FALSE(flow.view().startMeasVisible);
        core->ResumeBetriebThread();
        ASSERT_TRUE(waitFor([&] { return core->VAVBetrieb.SamplingNow().count >= 10; }, 10000));
    }

    test::FakeClock clock;
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
    std::atomic<size_t> next{0};
};

} // namespace

TEST_F(DialogFlows, MeasurementWithAirGivesTheConductanceOfStableSamples)
{
    connect();
    model->setText(fld::EditVAVDichte, QStringLiteral("1.200"));
    model->setValue(fld::SpinEditLZAntrieb, 150);
    model->setValue(fld::SpinEditVAVPnom, 300); // tolerance 15 Pa
    writeAll(); // "mit Luft" wants the window equal to the device
    const QString before = model->text(fld::EditVAVLwErmittelt);
    LeitwertFlow flow(*core, clock);
    measureUpToSampling(flow, {108, 112, 110, 111, 109, 110, 113, 107, 110, 110});
    // Sampling ended: the supervision evaluates at its next 50 ms tick, not before.
    flow.Tick();
    EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Sampling);
    clock.now += 50;
    flow.Tick();
    EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Idle);
    // Mean 1100 / 10 = 110 Pa; 1000 / sqrt(110 / 1.2) = 104.4466.
    EXPECT_EQ(flow.view().druckMw, QStringLiteral("110"));
    EXPECT_EQ(flow.view().lwErmittelt, QStringLiteral("104.45"));
    EXPECT_FALSE(flow.view().resultIsError);
    EXPECT_FALSE(flow.view().panelVisible);
    EXPECT_TRUE(flow.view().okEnabled && flow.view().mitLuftEnabled && flow.view().berechnenEnabled);
    EXPECT_FALSE(core->VAVBetrieb.DruckmessungAktiv.load());
    EXPECT_EQ(model->text(fld::EditVAVLwErmittelt), before); // only "Übernehmen" hands it on

    flow.Uebernehmen();
    EXPECT_EQ(model->text(fld::EditVAVLwErmittelt), QStringLiteral("104.45"));
    // Closing leaves the operation mode it started: the controller is back in automatic mode.
    ASSERT_TRUE(core->Flows.WaitIdle(10000));
    EXPECT_FALSE(model->checked(fld::SpeedButtonBetrieb));
    EXPECT_FALSE(core->VAVBetrieb.BetriebAktiv.load());
    EXPECT_EQ(bus->mode(1), 0);
    EXPECT_TRUE(model->enabled(fld::ButtonLesen));
}

TEST_F(DialogFlows, MeasurementWithAirRefusesUnstableSamples)
{
    connect();
    model->setText(fld::EditVAVDichte, QStringLiteral("1.200"));
    model->setValue(fld::SpinEditLZAntrieb, 150);
    model->setValue(fld::SpinEditVAVPnom, 300);
    writeAll();
    const QString before = model->text(fld::EditVAVLwErmittelt);
    LeitwertFlow flow(*core, clock);
    // Mean 102; 120 lies 18 Pa above it, beyond the 15 Pa tolerance.
    measureUpToSampling(flow, {100, 100, 100, 100, 100, 100, 100, 100, 100, 120});
    clock.now += 50;
    flow.Tick();
    EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Idle);
    EXPECT_EQ(flow.view().calculateResult, IniMessageText.Msg(12));
    EXPECT_TRUE(flow.view().resultIsError);
    EXPECT_TRUE(flow.view().panelVisible);
    EXPECT_EQ(flow.view().lwErmittelt, QStringLiteral("0"));
    EXPECT_TRUE(flow.view().okEnabled);
    flow.Close();
    EXPECT_EQ(model->text(fld::EditVAVLwErmittelt), before);
    ASSERT_TRUE(core->Flows.WaitIdle(10000));
    EXPECT_FALSE(core->VAVBetrieb.BetriebAktiv.load());
}

TEST_F(DialogFlows, CountdownWaitsForTheFastOpeningAndEndsOnStartOrClose)
{
    // No controller: the flow is driven by the model alone (the operation step never runs).
    model->setVisible(fld::ImageEqual, true);
    model->setEnabled(fld::ButtonDruckmessung, true);
    model->setValue(fld::SpinEditLZAntrieb, 119);
    LeitwertFlow flow(*core, clock);
    flow.Show();
    flow.MitLuft();
    ASSERT_TRUE(core->Flows.WaitIdle(20000));
    EXPECT_EQ(flow.countdown(), 204); // 119 s + 85 s
    EXPECT_TRUE(flow.view().busy);
    EXPECT_FALSE(flow.view().okEnabled || flow.view().mitLuftEnabled || flow.view().berechnenEnabled);
    // Not opening fast: the countdown starts over on every tick.
    clock.now += 5000;
    flow.Tick();
    EXPECT_EQ(flow.countdown(), 204);
    EXPECT_FALSE(flow.view().panelVisible);
    model->setCaption(fld::PanelBetrStatus, IniStatusText.SchnellAuf);
    clock.now += 3000;
    flow.Tick();
    EXPECT_EQ(flow.countdown(), 201);
    EXPECT_TRUE(flow.view().panelVisible);
    model->setCaption(fld::PanelBetrStatus, IniStatusText.Auto);
    clock.now += 500;
    flow.Tick();
    EXPECT_EQ(flow.countdown(), 204);
    model->setCaption(fld::PanelBetrStatus, IniStatusText.SchnellAuf);
    // "Start Messung" starts the sampling at once.
    flow.StartNow();
    EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Sampling);
    EXPECT_TRUE(core->VAVBetrieb.DruckmessungAktiv.load());
    clock.now += 50;
    flow.Tick();
    EXPECT_EQ(flow.view().calculateResult, QStringLiteral("Druck 1 (10)"));
    // The operation mode is lost: no result, the buttons come back.
    core->VAVBetrieb.BetriebAktiv = false;
    clock.now += 50;
    flow.Tick();
    EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Idle);
    EXPECT_TRUE(flow.view().calculateResult.isEmpty());
    EXPECT_TRUE(flow.view().okEnabled && flow.view().mitLuftEnabled);

    // Closing during a countdown ends it and releases "Betrieb".
    core->VAVBetrieb.BetriebAktiv = true;
    flow.MitLuft();
    EXPECT_EQ(flow.phase(), LeitwertFlow::Phase::Countdown);
    flow.Close();
    EXPECT_FALSE(flow.Tick());
    EXPECT_FALSE(flow.view().busy);
    EXPECT_FALSE(model->checked(fld::SpeedButtonBetrieb));
    ASSERT_TRUE(core->Flows.WaitIdle(20000));
    EXPECT_FALSE(core->VAVBetrieb.BetriebAktiv.load());
}

TEST_F(DialogFlows, ShowStartsFromVnomAndTheExpectedPressure)
{
    model->setText(fld::EditVAVDichte, QStringLiteral("1.200"));
    model->setText(fld::EditVnomM3, QStringLiteral("1000"));
    model->setText(fld::EditVAVLwErmittelt, QStringLiteral("109.54"));
    model->setText(fld::EditVAVLwAktiv, QStringLiteral("98.00"));
    LeitwertFlow flow(*core, clock);
    flow.Show();
    EXPECT_FALSE(flow.view().mitLuftEnabled); // not connected
    EXPECT_EQ(flow.view().lwAktiv, QStringLiteral("98.00"));
    EXPECT_EQ(flow.view().volumenstrom, QStringLiteral("1000"));
    EXPECT_EQ(flow.view().druckMw, QStringLiteral("100")); // (1000 / 109.54)^2 x 1.2 = 100.008
    EXPECT_EQ(flow.view().lwErmittelt, QStringLiteral("109.54"));
    // Without a conductance there is no expected pressure.
    model->setText(fld::EditVAVLwErmittelt, QStringLiteral("0"));
    flow.Show();
    EXPECT_EQ(flow.view().druckMw, QStringLiteral("0"));
    EXPECT_EQ(flow.view().lwErmittelt, QStringLiteral("0.00"));
}

TEST_F(DialogFlows, AnpassenWritesDensityAndAmbientCells)
{
    connect();
    model->setChecked(fld::RadioButtonVolumenstrom, true);
    struct Case {
        const char *hoehe, *temp, *feuchte, *dichte;
        std::vector<std::string> writes;
    } cases[] = {
        // 1.341 kg/m³ x 1024 = 1373.2 -> 0x055D; -10 °C as a signed 16-bit value.
        {"0", "-10", "50", "1.341", {"W 002C 055D", "W 0060 0000", "W 0062 FFF6", "W 0064 0032"}},
        // 1.059 x 1024 = 1084.4 -> 0x043C.
        {"1000", "20", "40", "1.059", {"W 002C 043C", "W 0060 03E8", "W 0062 0014", "W 0064 0028"}},
    };
    for (const Case& c : cases) {
        UmgebungFlow flow(*core, UmgebungFlow::Confirm::Anpassen);
        flow.Show();
        flow.SetHoehe(QString::fromUtf8(c.hoehe));
        flow.SetTemp(QString::fromUtf8(c.temp));
        flow.SetFeuchte(QString::fromUtf8(c.feuchte));
        EXPECT_EQ(flow.view().dichte, QString::fromUtf8(c.dichte));
        std::atomic<int> written{-1};
        flow.OnWritten = [&](bool ok) { written = ok ? 1 : 0; };
        const size_t from = bus->record().size();
        ASSERT_TRUE(flow.Accept());
        ASSERT_TRUE(waitFor([&] { return written.load() >= 0; }, 10000));
        EXPECT_EQ(written.load(), 1);
        flow.Close();
        EXPECT_EQ(model->text(fld::EditVAVDichte), QString::fromUtf8(c.dichte));
        EXPECT_EQ(model->text(fld::EditDichte), QString::fromUtf8(c.dichte));
        EXPECT_EQ(model->text(fld::EditHoeheAnz), QString::fromUtf8(c.hoehe));
        // The simulated controller's memory and the order it was sent.
        std::vector<std::string> expected = {"R 0018", "U"};
        expected.insert(expected.end(), c.writes.begin(), c.writes.end());
        expected.push_back("L");
        auto sent = telegramsSince(from);
        sent.erase(std::remove_if(sent.begin(), sent.end(), [](const std::string& s) { return s.rfind("R 04", 0) == 0 || s.rfind("R 0016", 0) == 0 || s.rfind("R 0038", 0) == 0; }), sent.end());
        EXPECT_EQ(sent, expected);
        EXPECT_EQ(be16(0x002C), std::stoi(c.writes[0].substr(7), nullptr, 16));
        EXPECT_EQ(be16(0x0060), std::stoi(c.writes[1].substr(7), nullptr, 16));
        EXPECT_EQ(be16(0x0062), std::stoi(c.writes[2].substr(7), nullptr, 16));
        EXPECT_EQ(be16(0x0064), std::stoi(c.writes[3].substr(7), nullptr, 16));
        EXPECT_EQ(core->OEMData.OEM_Data_HW.Dichte, be16(0x002C));
        EXPECT_EQ(model->caption(fld::PanelProgStatus), QString()); // status text given back
    }
    EXPECT_EQ(bus->unlocked(1), sim::Unlocked::None); // locked again
}

TEST_F(DialogFlows, RefusedAmbientWriteIsReportedAndTheDeviceCopyStaysHonest)
{
    connect();
    const uint16_t oldDichte = core->OEMData.OEM_Data_HW.Dichte;
    UmgebungFlow flow(*core, UmgebungFlow::Confirm::Anpassen);
    flow.Show();
    flow.SetHoehe(QStringLiteral("1000"));
    // The density write is answered with the error bit.
    bus->setObserver([this](const sim::TelegramRecord& r) {
        if (r.command() == 0x4E)
            bus->addFault(1, sim::Fault{sim::FaultKind::ErrorBit, 3});
    });
    std::atomic<int> written{-1};
    flow.OnWritten = [&](bool ok) { written = ok ? 1 : 0; };
    const size_t from = bus->record().size();
    ASSERT_TRUE(flow.Accept());
    ASSERT_TRUE(waitFor([&] { return written.load() >= 0; }, 20000));
    bus->setObserver({});
    EXPECT_EQ(written.load(), 0);
    const auto sent = telegramsSince(from);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "W 0060 03E8"), 0); // the chain stopped
    EXPECT_EQ(sent.back(), "L");
    EXPECT_EQ(core->OEMData.OEM_Data_HW.Dichte, oldDichte);
    EXPECT_FALSE(core->OEMData.DeviceCopyKnown());
    EXPECT_FALSE(core->OEMData.IsPcHwEqual());
    EXPECT_TRUE(model->visible(fld::ImageNotEqual));
    EXPECT_FALSE(model->text(kStatusMessage).isEmpty());
}

TEST_F(DialogFlows, UebernehmenOnlySetsTheOptionsDensityAndCancelRestores)
{
    connect();
    model->setChecked(fld::RadioButtonVolumenstrom, true);
    // The connect read the controller's ambient conditions (50 %); start from the defaults.
    model->setText(fld::EditHoehe, QStringLiteral("0.0"));
    model->setText(fld::EditTemp, QStringLiteral("20.00"));
    model->setText(fld::EditFeuchte, QStringLiteral("40.00"));
    {
        UmgebungFlow flow(*core, UmgebungFlow::Confirm::Uebernehmen);
        flow.Show();
        EXPECT_EQ(flow.view().dichte, QStringLiteral("1.200")); // 0 m, 20 °C, 40 %
        EXPECT_EQ(flow.view().hoeheHint, QStringLiteral("0 .. 8800"));
        flow.SetHoehe(QStringLiteral("9000"));
        EXPECT_EQ(model->text(fld::EditHoehe), QStringLiteral("8800"));
        EXPECT_EQ(flow.view().dichte, QStringLiteral("0.397"));
        const size_t from = bus->record().size();
        EXPECT_FALSE(flow.Accept());
        flow.Close();
        ASSERT_TRUE(core->Flows.WaitIdle(5000));
        EXPECT_EQ(model->text(fld::EditVAVDichte), QStringLiteral("0.500"));
        for (const auto& t : telegramsSince(from))
            EXPECT_EQ(t.rfind("W", 0), std::string::npos) << t;
    }
    {
        UmgebungFlow flow(*core, UmgebungFlow::Confirm::Anpassen);
        flow.Show();
        flow.SetTemp(QStringLiteral("-5"));
        flow.SetFeuchte(QStringLiteral("12,"));
        EXPECT_EQ(model->text(fld::EditFeuchte), QStringLiteral("0"));
        flow.Close();
        EXPECT_EQ(model->text(fld::EditHoehe), QStringLiteral("8800"));
        EXPECT_EQ(model->text(fld::EditTemp), QStringLiteral("20.00"));
        EXPECT_EQ(model->text(fld::EditFeuchte), QStringLiteral("40.00"));
    }
}
