// The operating data record against the simulated controller: telegram sequences checked in
// the simulator's record, values checked in its memory and in the window fields.
#include "QtPrinters.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowFields.h"
#include "settings/Trace.h"
#include "sim/SimTransport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;
using sim::SimBus;

namespace {

class VAVBetriebSim : public ::testing::Test {
protected:
    void SetUp() override { build(0x0308); }

    void build(uint16_t firmware)
    {
        sim::BusOptions opts = sim::BusOptions::WithControllers(1);
        opts.controllers[0].firmware = firmware;
        opts.clock = clock;
        bus = std::make_shared<SimBus>(opts);
        com = std::make_unique<TComForm>(std::make_unique<sim::SimTransport>(bus));
        ASSERT_TRUE(com->OpenPort());
        zb = std::make_unique<TZBCmd>(*com);
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        ctx = std::make_unique<TDeviceContext>(*zb, *model);
        rec = std::make_unique<TVAVBetrieb>(*ctx);
        rec->InitBetriebData(TBetrData{});
    }
    std::vector<int> commands()
    {
        std::vector<int> c;
        for (const auto& r : bus->record())
            c.push_back(r.command());
        return c;
    }
    QString t(FieldId f) { return model->text(f); }
    void set(FieldId f, const char* v) { model->setText(f, QString::fromUtf8(v)); }
    uint16_t be(uint16_t addr)
    {
        const auto b = bus->peek(1, addr, 2);
        return static_cast<uint16_t>((b[0] << 8) | b[1]);
    }
    void pin(uint16_t addr, uint16_t v)
    {
        bus->withController(1, [&](sim::Controller& c) { c.pinLive(addr, v); });
    }

    std::shared_ptr<sim::ManualClock> clock = std::make_shared<sim::ManualClock>();
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TDeviceContext> ctx;
    std::unique_ptr<TVAVBetrieb> rec;
};

} // namespace

TEST_F(VAVBetriebSim, IdentifySequenceAndFields)
{
    bus->clearRecord();
    ASSERT_TRUE(rec->Identify());
    const std::vector<int> expected = {0x0E, 0x32, 0x12, 0x0D, 0x47, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0x0E, 0x14};
    EXPECT_EQ(commands(), expected);
    const auto r = bus->record();
    EXPECT_EQ(r.front().bytes[2], 10); // motor stopped around the identification
    EXPECT_EQ(r[14].bytes[2], 0);
    EXPECT_EQ(bus->mode(1), 0);
    EXPECT_EQ(t(fld::EditSerNr), "00812-04711-003-001");
    EXPECT_EQ(rec->SerNr(), "00812-04711-003-001");
    EXPECT_EQ(rec->DeviceKey, zb::DeviceKey(812, 4711, 0, 3, 1));
    EXPECT_EQ(t(fld::EditZBAdr), "PP");
    EXPECT_EQ(t(fld::EditOEM), "OEM-Text");
    EXPECT_EQ(t(fld::EditPosition), "Positionstext");
    EXPECT_EQ(t(fld::EditFenwix), "Kadex");
    EXPECT_EQ(t(fld::EditFirmware), "0308");
    EXPECT_EQ(t(fld::EditConfTableID), "0310");
    EXPECT_EQ(rec->FirmwareNr, 308);
    EXPECT_EQ(ctx->FirmwareVersion.load(), 0x0308);
    EXPECT_TRUE(model->enabled(fld::LabelSerNr));
    EXPECT_TRUE(model->enabled(fld::LabelTyp));
    EXPECT_EQ(model->colour(fld::EditFenwix), Colour::ButtonFace);
    EXPECT_TRUE(model->visible(fld::ExtrasRegSetting));

    bus->clearRecord();
    ASSERT_TRUE(rec->RefreshIdent());
    const std::vector<int> refresh = {0x32, 0x12, 0x0D, 0x47, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0x14};
    EXPECT_EQ(commands(), refresh);
}

TEST_F(VAVBetriebSim, TypeTextColourIsAPrefixMatch)
{
    bus->withController(1, [](sim::Controller& c) { c.setText16(0x0090, "xKadex"); });
    ASSERT_TRUE(rec->RefreshIdent());
    EXPECT_EQ(model->colour(fld::EditFenwix), Colour::Red);
    bus->withController(1, [](sim::Controller& c) { c.setText16(0x0090, "Kadex plus"); });
    ASSERT_TRUE(rec->RefreshIdent());
    EXPECT_EQ(model->colour(fld::EditFenwix), Colour::ButtonFace);
    ctx->SetTypeTexts(QString(), QString());
    ASSERT_TRUE(rec->RefreshIdent());
    EXPECT_EQ(model->colour(fld::EditFenwix), Colour::Red);
}

TEST_F(VAVBetriebSim, IdentifyStopsAtTheFirstFailure)
{
    bus->removeController(1);
    bus->clearRecord();
    EXPECT_FALSE(rec->Identify());
    // Three attempts of the override, nothing after it.
    EXPECT_EQ(commands(), (std::vector<int>{0x0E, 0x0E, 0x0E}));
    EXPECT_TRUE(rec->SerNr().isEmpty());
}

TEST_F(VAVBetriebSim, OldFirmwareHidesTheFunctionMenu)
{
    build(0x021F);
    ASSERT_TRUE(rec->Identify());
    EXPECT_FALSE(model->visible(fld::ExtrasRegSetting));
    EXPECT_TRUE(model->checked(fld::RadioButtonSensTypDruck));
    EXPECT_FALSE(model->enabled(fld::RadioButtonSensTypVolumenstr));
    EXPECT_EQ(rec->FirmwareNr, 0); // "021F" is no decimal number: the number stays as it was
}

TEST_F(VAVBetriebSim, ReadDataSequenceAndFields)
{
    bus->clearRecord();
    ASSERT_TRUE(rec->ReadData());
    EXPECT_EQ(commands(), (std::vector<int>{0x1E, 0x3B, 0x47, 1, 1, 1, 0x06, 0x15}));
    EXPECT_EQ(t(fld::EditVnomM3), "250");
    EXPECT_EQ(t(fld::EditVnomM3Anz), "250");
    EXPECT_EQ(rec->HW.VnomM3, 250);
    EXPECT_EQ(t(fld::EditVmaxPrz), QString("%1").arg(rec->HW.VmaxPrz / 100.0, 0, 'f', 2));
    EXPECT_EQ(t(fld::EditPositionInput), "Positionstext");
    EXPECT_TRUE(rec->IsPcHwEqual());
    // l/s: the nominal value shown in the chosen unit.
    ctx->UnitIndex = 1;
    ASSERT_TRUE(rec->ReadVnom());
    EXPECT_EQ(t(fld::EditVnomM3), "69");
}

TEST_F(VAVBetriebSim, WriteDataReachesTheDevice)
{
    // Until a firmware is read the tool assumes 0x0220, where V'min travels as a share of V'max.
    set(fld::EditVmaxPrz, "80.00");
    set(fld::EditVminPrz, "20.00");
    ASSERT_TRUE(rec->SetVminVmidVmax());
    EXPECT_EQ(be(0x0200), 2500);

    ASSERT_TRUE(rec->Identify());
    ASSERT_TRUE(rec->ReadData());
    set(fld::EditVmaxPrz, "80.00");
    set(fld::EditVmidPrz, "50.00");
    set(fld::EditVminPrz, "20.00");
    set(fld::EditPositionInput, "Raum 4.17");
    set(fld::EditW1Min, "2.3");
    set(fld::EditW1Max, "10.0");
    set(fld::EditU5Min, "0.5");
    set(fld::EditU5Max, "9.5");
    EXPECT_FALSE(rec->IsPcHwEqual());
    bus->clearRecord();
    ASSERT_TRUE(rec->WriteData());
    EXPECT_EQ(commands(), (std::vector<int>{0x3D, 0x47, 2, 2, 2, 2, 0x03, 0x13}));
    EXPECT_EQ(be(0x0200), 2000);
    EXPECT_EQ(be(0x0202), 5000);
    EXPECT_EQ(be(0x0204), 8000);
    EXPECT_EQ(be(0x0206), 2300); // 2.3 V is 2300 mV, not 2299
    EXPECT_EQ(be(0x0208), 7700);
    EXPECT_EQ(be(0x020A), 500);
    EXPECT_EQ(be(0x020C), 9000);
    const auto text = bus->peek(1, 0x0080, 16);
    EXPECT_EQ(std::string(text.begin(), text.end()), "Raum 4.17       ");
    EXPECT_TRUE(rec->IsPcHwEqual());
    // Read back: the same values come into the window.
    set(fld::EditPositionInput, "x");
    ASSERT_TRUE(rec->ReadData());
    EXPECT_EQ(t(fld::EditPositionInput), "Raum 4.17");
    EXPECT_EQ(t(fld::EditW1Min), "2.3");
    EXPECT_TRUE(rec->IsPcHwEqual());
    set(fld::EditVmaxPrz, "abc");
    EXPECT_FALSE(rec->IsPcHwEqual()); // compares 0 with 8000
}

TEST_F(VAVBetriebSim, WriteStopsAtTheFirstRefusal)
{
    ASSERT_TRUE(rec->ReadData());
    set(fld::EditW1Min, "8.0");
    set(fld::EditW1Max, "12.0"); // beyond 10 V: the controller refuses
    bus->clearRecord();
    EXPECT_FALSE(rec->WriteData());
    const auto c = commands();
    EXPECT_EQ(c.back(), 0x03);
    EXPECT_EQ(std::count(c.begin(), c.end(), 0x13), 0); // U5 range not sent after the failure
}

TEST_F(VAVBetriebSim, VminIsAShareOfVmaxAt0221)
{
    build(0x0221);
    ASSERT_TRUE(rec->Identify());
    bus->poke(1, 0x0200, {0x07, 0xD0, 0x13, 0x88, 0x13, 0x88}); // raw 2000, 5000, 5000
    ASSERT_TRUE(rec->GetVminVmidVmax());
    EXPECT_EQ(rec->HW.VminPrz, 1000);
    EXPECT_EQ(t(fld::EditVminPrz), "10.00");

    build(0x0222);
    ASSERT_TRUE(rec->Identify());
    bus->poke(1, 0x0200, {0x07, 0xD0, 0x13, 0x88, 0x13, 0x88});
    ASSERT_TRUE(rec->GetVminVmidVmax());
    EXPECT_EQ(rec->HW.VminPrz, 2000);
}

TEST_F(VAVBetriebSim, VminWrittenAsShareAt0220)
{
    build(0x0220);
    ASSERT_TRUE(rec->Identify());
    set(fld::EditVmaxPrz, "50.00");
    set(fld::EditVmidPrz, "30.00");
    set(fld::EditVminPrz, "10.00");
    ASSERT_TRUE(rec->SetVminVmidVmax());
    EXPECT_EQ(be(0x0200), 2000);
    EXPECT_EQ(rec->HW.VminPrz, 1000);
    // V'max 0: V'min goes out as 0 instead of a division by zero.
    set(fld::EditVmaxPrz, "0");
    set(fld::EditVmidPrz, "0");
    set(fld::EditVminPrz, "0");
    ASSERT_TRUE(rec->SetVminVmidVmax());
    EXPECT_EQ(be(0x0200), 0);
}

TEST_F(VAVBetriebSim, LiveSignals)
{
    using namespace sim::mem;
    // "6V +- 4 V" actuator signal.
    bus->poke(1, ConfigFlags, {0x02});
    const std::pair<uint16_t, const char*> sixVolt[] = {
        {5500, "0.0"}, {6500, "0.0"}, {1000, "-100.0"}, {10000, "100.0"}, {8250, "50.0"}};
    for (const auto& [y, shown] : sixVolt) {
        pin(SignalY, y);
        ASSERT_TRUE(rec->GetRegelParams());
        EXPECT_EQ(t(fld::EditBetrRYSignPrz), shown) << "y = " << y;
    }
    // Linear, Ymin 2000, Ymax 10000.
    bus->poke(1, ConfigFlags, {0x00});
    bus->poke(1, Ymin, {0x07, 0xD0, 0x27, 0x10});
    pin(SignalY, 1500);
    ASSERT_TRUE(rec->GetRegelParams());
    EXPECT_EQ(t(fld::EditBetrRYSignPrz), "0.0");
    pin(SignalY, 6000);
    ASSERT_TRUE(rec->GetRegelParams());
    EXPECT_EQ(t(fld::EditBetrRYSignPrz), "50.0");
    // Ymin = Ymax: no range, 0.0 instead of a division by zero.
    bus->poke(1, Ymin, {0x13, 0x88, 0x13, 0x88});
    ASSERT_TRUE(rec->GetRegelParams());
    EXPECT_EQ(t(fld::EditBetrRYSignPrz), "0.0");

    pin(SignalW1, 2345);
    pin(SignalU5, 9999);
    pin(SensorSignal, 4567);
    pin(SensorPressure, 123);
    ASSERT_TRUE(rec->GetRegelParams());
    EXPECT_EQ(t(fld::EditSignW1), "2.3");
    EXPECT_EQ(t(fld::EditSignU5), "10.0");
    EXPECT_EQ(t(fld::EditSensorSign), "4.57");
    EXPECT_EQ(t(fld::EditSensorValue), "123");
    ctx->UnitIndex = 2; // uPSI
    ASSERT_TRUE(rec->GetSensorValues());
    EXPECT_EQ(t(fld::EditSensorValue), QString::number(qRound(123 * 145.0389)));

    // Motor feedback is limited to 0..100 %.
    pin(MotorPosition, 10500);
    ASSERT_TRUE(rec->ReadMotRueck());
    EXPECT_EQ(t(fld::EditBetrMotRueckPrz), "100.0");
    pin(MotorPosition, static_cast<uint16_t>(-5));
    ASSERT_TRUE(rec->ReadMotRueck());
    EXPECT_EQ(t(fld::EditBetrMotRueckPrz), "0.0");
}

TEST_F(VAVBetriebSim, SetpointDisplay)
{
    ASSERT_TRUE(rec->ReadData());
    auto setpoint = [&](int v) { bus->withController(1, [&](sim::Controller& c) { c.pinReportedSetpoint(v); }); };
    setpoint(10001);
    ASSERT_TRUE(rec->ShowBetrWerte(ChoiceAuto));
    EXPECT_EQ(t(fld::EditBetrSollwPrz), "---");
    EXPECT_EQ(t(fld::EditBetrSollwM3), "---");
    setpoint(10000);
    ASSERT_TRUE(rec->ShowBetrWerte(ChoiceAuto));
    EXPECT_NE(t(fld::EditBetrSollwPrz), "---");
    // V'min 20.00 %, V'max 20.50 %: no usable span, shown 0.
    rec->HW.VminPrz = 2000;
    rec->HW.VmaxPrz = 2050;
    setpoint(2025);
    ASSERT_TRUE(rec->ShowBetrWerte(ChoiceAuto));
    EXPECT_EQ(t(fld::EditBetrSollwPrz), "0");
    // Variabel keeps its fields; other choices show "---".
    set(fld::EditBetrSollwPrz, "42");
    ASSERT_TRUE(rec->ShowBetrWerte(ChoiceVariabel));
    EXPECT_EQ(t(fld::EditBetrSollwPrz), "42");
    ASSERT_TRUE(rec->ShowBetrWerte(ChoiceZu));
    EXPECT_EQ(t(fld::EditBetrSollwPrz), "---");
}

TEST_F(VAVBetriebSim, SamplingStopsAtTen)
{
    rec->StartSampling();
    EXPECT_EQ(rec->Mess.last, -1);
    pin(sim::mem::SensorPressure, 35);
    ASSERT_TRUE(rec->GetSensorValues());
    EXPECT_EQ(rec->Mess.min, 35);
    EXPECT_EQ(rec->Mess.max, 35);
    EXPECT_EQ(rec->Mess.sum, 35);
    for (int i = 0; i < 12; ++i) {
        pin(sim::mem::SensorPressure, static_cast<uint16_t>(40 + i));
        ASSERT_TRUE(rec->GetSensorValues());
    }
    EXPECT_EQ(rec->Mess.count, 10);
    EXPECT_EQ(rec->Mess.max, 48);
    EXPECT_EQ(rec->Mess.sum, 35 + (40 + 48) * 9 / 2);
}

TEST_F(VAVBetriebSim, OperationCycleSendsTheChoice)
{
    ASSERT_TRUE(rec->Identify());
    ASSERT_TRUE(rec->StartBetrieb());
    EXPECT_TRUE(rec->BetriebAktiv.load());
    bus->clearRecord();
    ASSERT_TRUE(rec->SetBetriebsart(ChoiceVmax));
    const auto r = bus->record();
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(r[0].command(), 0x0E);
    EXPECT_EQ(r[0].bytes[2], 3);
    EXPECT_EQ(bus->mode(1), 3);
    EXPECT_EQ(model->caption(fld::PanelBetrStatus), "Betriebsstufe V'max aktiv");
    EXPECT_EQ(model->caption(fld::PanelProgStatus), "Betrieb aktiv");

    // Variabel sends override 0 and the setpoint.
    set(fld::EditBetrSollwPrz, "37.5");
    bus->clearRecord();
    ASSERT_TRUE(rec->SetBetriebsart(ChoiceVariabel));
    EXPECT_EQ(bus->setpoint(1), 3750);
    EXPECT_EQ(rec->SollwPrz, 3750);

    bus->setAlarms(1, 0x05);
    ASSERT_TRUE(rec->SetBetriebsart(ChoiceAuto));
    EXPECT_EQ(bus->setpoint(1), 0xFFFF);
    EXPECT_EQ(model->items(fld::ListBoxAlarme), (QStringList{"Stop&Go-Ratio zu gross", "Mechanische Überlast"}));
    EXPECT_TRUE(model->enabled(fld::ButtonResetAlarm));

    ASSERT_TRUE(rec->StopBetrieb());
    EXPECT_FALSE(rec->BetriebAktiv.load());
    EXPECT_TRUE(model->checked(fld::RadioBetrAuto));
}

TEST_F(VAVBetriebSim, VmidUnderThePressureFunctionStopsTheMotor)
{
    ASSERT_TRUE(rec->Identify());
    ctx->ReglerFkt = 2;
    bus->clearRecord();
    ASSERT_TRUE(rec->SetBetriebsart(ChoiceVmid));
    EXPECT_EQ(bus->record().front().bytes[2], 10);
}

TEST_F(VAVBetriebSim, TracePointsNameTheOperationsAndComparisons)
{
    QTemporaryDir dir;
    TTrace& trace = TTrace::Instance();
    trace.SetOutput(dir.filePath("Log.sil"));
    trace.SetEnabled(true);
    ASSERT_TRUE(rec->Identify());
    ASSERT_TRUE(rec->ReadData());
    set(fld::EditW1Max, "9.0");
    EXPECT_FALSE(rec->IsPcHwEqual());
    trace.SetEnabled(false);
    QFile f(dir.filePath("Log.sil"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(log.contains("TVAVBetrieb.ReadData"));
    EXPECT_TRUE(log.contains("TVAVBetrieb.GetVminVmidVmax"));
    EXPECT_TRUE(log.contains("Reading of data successful = True"));
    EXPECT_TRUE(log.contains("VmaxPrz = GetIntFromString(MainForm.EditVmaxPrz.Text, 100); = True"));
    EXPECT_TRUE(log.contains("VAVBetrieb.PosText = MainForm.EditPositionInput.Text = True"));
    EXPECT_TRUE(log.contains("W1MaxMV = GetIntFromString(MainForm.EditW1Max.Text, 1000) = False"));
    EXPECT_FALSE(log.contains("U5MinMV = GetIntFromString")); // stops at the first difference
}
