// The value-entry rules on the window-value model, with the records against the simulated
// controller: what typing and leaving does to the other fields, and what a write of typed
// values puts into the controller's memory.
#include "QtPrinters.h"
#include "ScriptedLink.h"
#include "common/Helpers.h"
#include "common/Units.h"
#include "device/OEMData.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowFields.h"
#include "core/ValueEntry.h"
#include "settings/IniFile.h"
#include "settings/ToolIni.h"
#include "sim/Controller.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace kadex;
using sim::SimBus;

namespace {

class ValueEntry : public ::testing::Test {
protected:
    void SetUp() override { build(0x0308); }

    void build(uint16_t firmware)
    {
        LoadToolIniRecords(TIniFile());
        sim::BusOptions opts = sim::BusOptions::WithControllers(1);
        opts.controllers[0].firmware = firmware;
        opts.clock = simClock;
        bus = std::make_shared<SimBus>(opts);
        com = std::make_unique<TComForm>(std::make_unique<sim::SimTransport>(bus));
        ASSERT_TRUE(com->OpenPort());
        zb = std::make_unique<TZBCmd>(*com, &clock);
        entry.reset();
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        ctx = std::make_unique<TDeviceContext>(*zb, *model);
        ctx->FirmwareVersion = firmware;
        betrieb = std::make_unique<TVAVBetrieb>(*ctx);
        oem = std::make_unique<TOEMData>(*ctx, *betrieb);
        entry = std::make_unique<TValueEntry>(*ctx);
        entry->Attach(*oem);
        entry->OnShowSensorDialog = [this](bool show) { sensorDialog = show; };
        model->setEnabled(fld::ButtonLesen, true);
    }
    // Typing as the widget layer reports it, then leaving the field.
    void type(FieldId f, const char* text, bool leave = true)
    {
        model->setText(f, QString::fromUtf8(text), Origin::User);
        if (leave)
            model->leave(f);
    }
    void click(FieldId f) { model->setChecked(f, true, Origin::User); }
    QString text(FieldId f) const { return model->text(f); }
    uint16_t be16(uint16_t a)
    {
        const auto b = bus->peek(1, a, 2);
        return static_cast<uint16_t>((b[0] << 8) | b[1]);
    }
    void poke16(uint16_t a, uint16_t v) { bus->poke(1, a, {uint8_t(v >> 8), uint8_t(v)}); }
    void readAll()
    {
        ASSERT_TRUE(betrieb->Identify());
        ASSERT_TRUE(oem->ReadConfig());
        ASSERT_TRUE(betrieb->ReadData());
    }
    QStringList snapshot() const
    {
        QStringList s;
        for (FieldId f : {fld::EditVnomM3, fld::EditVnomM3Anz, fld::EditVmaxM3, fld::EditVmaxPrz, fld::EditVminM3,
                          fld::EditVminPrz, fld::EditVmidM3, fld::EditVmidPrz})
            s << text(f);
        s << QString::number(model->value(fld::SpinEditVAVPnom)) << QString::number(model->value(fld::SpinEditVAVPtot));
        return s;
    }

    test::FakeClock clock;
    std::shared_ptr<sim::ManualClock> simClock = std::make_shared<sim::ManualClock>();
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TDeviceContext> ctx;
    std::unique_ptr<TVAVBetrieb> betrieb;
    std::unique_ptr<TOEMData> oem;
    std::unique_ptr<TValueEntry> entry;
    bool sensorDialog = false;
};

using Texts = std::map<FieldId, const char*>;

TEST_F(ValueEntry, TypingACoupledFieldUpdatesTheOthersForEachFirmware)
{
    struct Step {
        FieldId field;
        const char* text;
    };
    struct Row {
        const char* what;
        uint16_t firmware;
        std::vector<Step> steps; // after V'nom 1000 and V'max 80 %
        Texts expected;
    };
    const std::vector<Row> rows = {
        {"old: V'min % of V'max", 0x0210, {{fld::EditVminPrz, "50"}}, {{fld::EditVminM3, "400"}, {fld::EditVmidM3, "600"}}},
        {"new: V'min % of V'nom", 0x0308, {{fld::EditVminPrz, "50"}}, {{fld::EditVminM3, "500"}, {fld::EditVmidM3, "650"}}},
        {"new: V'min cut to V'max", 0x0308, {{fld::EditVminPrz, "60"}, {fld::EditVmaxPrz, "50"}},
         {{fld::EditVminPrz, "50.00"}, {fld::EditVminM3, "500"}, {fld::EditVmaxM3, "500"}}},
        {"V'max above 100 %", 0x0308, {{fld::EditVmaxPrz, "120"}},
         {{fld::EditVmaxPrz, "100.00"}, {fld::EditVmaxM3, "1000"}, {fld::TrackBarVMax, "0"}}},
        {"V'max in units", 0x0308, {{fld::EditVmaxM3, "400"}},
         {{fld::EditVmaxPrz, "40.00"}, {fld::TrackBarVMax, "60"}, {fld::EditVmidM3, "200"}}},
        {"V'max units above V'nom", 0x0210, {{fld::EditVmaxM3, "1200"}},
         {{fld::EditVmaxM3, "1000"}, {fld::EditVmaxPrz, "100.00"}}},
        {"V'mid below V'min is negative", 0x0308, {{fld::EditVminPrz, "20"}, {fld::EditVmidM3, "100"}},
         {{fld::EditVmidPrz, "-16.67"}}},
        {"old: V'min in units", 0x0210, {{fld::EditVminM3, "200"}}, {{fld::EditVminPrz, "25.00"}, {fld::TrackBarVMin, "75"}}},
        {"new: V'min units above V'max", 0x0308, {{fld::EditVminM3, "900"}},
         {{fld::EditVminM3, "800"}, {fld::EditVminPrz, "80.00"}}},
        {"V'nom changes the units", 0x0308, {{fld::EditVnomM3, "500"}},
         {{fld::EditVnomM3Anz, "500"}, {fld::EditVmaxM3, "400"}, {fld::EditVmaxPrz, "80.00"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        build(row.firmware);
        type(fld::EditVnomM3, "1000");
        type(fld::EditVmaxPrz, "80");
        for (const Step& s : row.steps)
            type(s.field, s.text);
        for (const auto& [f, want] : row.expected) {
            if (f.kind == Kind::Slider)
                EXPECT_EQ(model->value(f), QString::fromUtf8(want).toDouble()) << f.name().toStdString();
            else
                EXPECT_EQ(text(f), QString::fromUtf8(want)) << f.name().toStdString();
        }
    }
    // Without a V'nom the percentages stay what they are when a units value is filled in.
    build(0x0308);
    type(fld::EditVmaxPrz, "90");
    model->setText(fld::EditVmaxM3, QStringLiteral("0.00"));
    EXPECT_EQ(text(fld::EditVmaxPrz), "90.00");
    // The slider sets its percentage; the coupling derives the units.
    build(0x0308);
    type(fld::EditVnomM3, "333");
    model->setValue(fld::TrackBarVMax, 20, Origin::User);
    EXPECT_EQ(text(fld::EditVmaxPrz), "80.00");
    EXPECT_EQ(text(fld::EditVmaxM3), "266");
    // The variable setpoint goes to the operation panel only in "Variabel".
    std::vector<int32_t> sent;
    entry->OnVariableSetpoint = [&](int32_t v) { sent.push_back(v); };
    type(fld::EditBetrSollwPrz, "12.5");
    model->setChecked(fld::RadioBetrVariabel, true);
    type(fld::EditBetrSollwPrz, "12.345");
    EXPECT_EQ(sent, (std::vector<int32_t>{1234}));
    // Key by key, only the committed setpoint goes out ("8" on the way to "80" does not).
    model->setText(fld::EditBetrSollwPrz, QStringLiteral("8"), Origin::User);
    model->setText(fld::EditBetrSollwPrz, QStringLiteral("80"), Origin::User);
    EXPECT_EQ(sent, (std::vector<int32_t>{1234}));
    model->leave(fld::EditBetrSollwPrz);
    EXPECT_EQ(sent, (std::vector<int32_t>{1234, 8000}));
    // The OEM mirror passes its value on and shows the coupled one.
    type(fld::EditVmaxM3_OEM, "300");
    EXPECT_EQ(text(fld::EditVmaxPrz), "90.09");
    type(fld::EditVminPrz, "10");
    EXPECT_EQ(text(fld::EditVminM3_OEM), "33");
    // A clamped value says its range.
    type(fld::EditVmaxM3, "999", false);
    EXPECT_EQ(text(fld::EditVmaxM3), "333");
    EXPECT_EQ(model->hint(fld::EditVmaxM3), "0 .. 333");
}

TEST_F(ValueEntry, LowestVminTurnsTheFieldRedAndNamesTheRange)
{
    readAll(); // DPK-300: P'schleichm. 3 Pa
    type(fld::EditVnomM3, "1000");
    type(fld::EditVmaxPrz, "80");
    // sqrt(3 x 2 / 1.2) x 100 / 1000 x 100 = 22.36
    type(fld::EditVAVLwErmittelt, "100");
    EXPECT_EQ(entry->VminPrzMin(), 22);
    EXPECT_EQ(model->hint(fld::EditVminPrz), "Bereich 22 .. 80%");
    EXPECT_EQ(model->caption(fld::LabelVminPrzBereich), "Bereich 22 .. 80%");
    struct Row {
        const char* vmin;
        Colour colour;
    };
    for (const Row& r : {Row{"10", Colour::Red}, Row{"22", Colour::WindowText}, Row{"21.99", Colour::Red},
                         Row{"30", Colour::WindowText}}) {
        type(fld::EditVminPrz, r.vmin);
        EXPECT_EQ(model->textColour(fld::EditVminPrz), r.colour) << r.vmin;
    }
    // Without a conductance nothing is reachable below 0, and nothing is red.
    type(fld::EditVAVLwErmittelt, "0");
    type(fld::EditVminPrz, "0");
    EXPECT_EQ(model->hint(fld::EditVminPrz), "Bereich 0 .. 80%");
    EXPECT_EQ(model->textColour(fld::EditVminPrz), Colour::WindowText);
}

TEST_F(ValueEntry, UnitSwitchesBackAndForthLeaveTheTextsAndTheDeviceAlone)
{
    readAll(); // V'nom 250 m³/h, DPK-300
    const QStringList before = snapshot();
    std::mt19937 rng(7);
    for (int i = 0; i < 10; ++i) {
        const int other = 1 + static_cast<int>(rng() % 2);
        entry->ConvertUnits(other);
        EXPECT_NE(snapshot(), before);
        entry->ConvertUnits(0);
        EXPECT_EQ(snapshot(), before) << "switch " << i;
    }
    EXPECT_TRUE(model->checked(fld::RadioButtonDPK300));
    // The unit change alone shows no difference to the device copy; a typed one stays.
    entry->ConvertUnits(1);
    EXPECT_TRUE(oem->IsPcHwEqual());
    type(fld::EditVnomM3, "70");
    entry->ConvertUnits(0);
    EXPECT_EQ(text(fld::EditVnomM3), "252");
    EXPECT_FALSE(oem->IsPcHwEqual());
    type(fld::EditVnomM3, "250");
    EXPECT_TRUE(oem->IsPcHwEqual());
    // In l/s V'nom shows 69 (69.4); written unchanged it is still 250 m³/h, not 248.
    entry->ConvertUnits(1);
    EXPECT_EQ(text(fld::EditVnomM3), "69");
    EXPECT_EQ(model->unit(fld::EditVmaxM3), "l/s");
    ASSERT_TRUE(oem->WriteConfig());
    EXPECT_EQ(be16(0x0032), 250);
    // In cfm / uPSI the pressure sensor's values follow, and the preset is still recognised.
    entry->ConvertUnits(2);
    EXPECT_EQ(model->value(fld::SpinEditVAVPnom), 43512);
    EXPECT_EQ(model->value(fld::SpinEditVAVPtot), 435);
    EXPECT_TRUE(model->checked(fld::RadioButtonDPK300));
}

TEST_F(ValueEntry, VoltageRangesKeepTwoVoltsApart)
{
    struct Row {
        const char* what;
        FieldId field;
        const char* text;
        bool leave;
        const char* w1Start;
        const char* w1Stop;
    };
    const std::vector<Row> rows = {
        {"start raises the stop", fld::EditW1Min, "7.5", false, "7.5", "9.5"},
        {"start above 8 V", fld::EditW1Min, "9", false, "8.0", "10.0"},
        {"stop left close to start", fld::EditW1Max, "6", true, "4.0", "6.0"},
        {"stop left below 2 V", fld::EditW1Max, "1.5", true, "0.0", "2.0"},
        {"start formatted on leave", fld::EditW1Min, "3", true, "3.0", "10.0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        build(0x0308);
        if (r.field == fld::EditW1Max)
            type(fld::EditW1Min, "5", true);
        if (r.field == fld::EditW1Min && QByteArray(r.text) == "7.5")
            type(fld::EditW1Max, "9.0");
        type(r.field, r.text, r.leave);
        EXPECT_EQ(text(fld::EditW1Min), r.w1Start);
        EXPECT_EQ(text(fld::EditW1Max), r.w1Stop);
        EXPECT_EQ(text(fld::EditU5Min), "0.0");
        EXPECT_EQ(text(fld::EditU5Max), "10.0");
    }
    // The range choice follows the four voltages on both tabs, and a click sets them.
    build(0x0308);
    type(fld::EditW1Min, "2.0");
    EXPECT_TRUE(model->checked(fld::RadioButtonMode_W1_OEM));
    EXPECT_TRUE(model->visible(fld::RadioButtonMode_W1));
    EXPECT_EQ(model->caption(fld::RadioButtonMode_W1), "w: 2.0 .. 10.0 V, U5: 0.0 .. 10.0 V");
    click(fld::RadioButtonMode_W1_2_10V_OEM);
    EXPECT_EQ(text(fld::EditU5Min), "2.0");
    EXPECT_TRUE(model->checked(fld::RadioButtonMode_W1_2_10V));
    EXPECT_FALSE(model->visible(fld::RadioButtonMode_W1));
    // A clamped start says its range.
    build(0x0308);
    type(fld::EditU5Min, "9", false);
    EXPECT_EQ(model->hint(fld::EditU5Min), "0 .. 8");
}

TEST_F(ValueEntry, SetzenNeedsThirtyPercentAndTheStrgSHintFollowsIt)
{
    type(fld::EditVnomM3, "1000");
    type(fld::EditVmaxPrz, "80");
    EXPECT_TRUE(model->enabled(fld::ButtonSetzen));
    // Strg+S is offered exactly while the values could be written.
    EXPECT_TRUE(model->visible(fld::LabelOEMHinweisVS));
    type(fld::EditVmaxPrz, "25", false);
    EXPECT_FALSE(model->enabled(fld::ButtonSetzen));
    EXPECT_FALSE(model->visible(fld::LabelOEMHinweisVS));
    // Enabling rules elsewhere cannot switch it on below 30 %.
    model->setEnabled(fld::ButtonSetzen, true);
    EXPECT_FALSE(model->enabled(fld::ButtonSetzen));
    const auto v = ValidateSnapshotFields(*model, 0x0308);
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(v.front().field, "EditVmaxPrz");
    // Leaving raises it to 30 % and the button follows.
    model->leave(fld::EditVmaxPrz);
    EXPECT_EQ(text(fld::EditVmaxPrz), "30.00");
    EXPECT_EQ(text(fld::EditVmaxM3), "300");
    EXPECT_EQ(model->hint(fld::EditVmaxPrz), "30 .. 100");
    EXPECT_TRUE(model->enabled(fld::ButtonSetzen));
    EXPECT_TRUE(model->visible(fld::LabelOEMHinweisVS));
    // Without "Lesen" it stays off.
    model->setEnabled(fld::ButtonLesen, false);
    EXPECT_FALSE(model->enabled(fld::ButtonSetzen));
    EXPECT_TRUE(ValidateSnapshotFields(*model, 0x0308).empty());
    // The QV spins keep to their ranges.
    model->setValue(fld::SpinEditSnrWoche, 60, Origin::User);
    EXPECT_EQ(model->value(fld::SpinEditSnrWoche), 52);
    EXPECT_EQ(model->hint(fld::SpinEditSnrWoche), "1 .. 52");
    model->setValue(fld::SpinEditSnrTestStation, 12, Origin::User);
    EXPECT_EQ(model->value(fld::SpinEditSnrTestStation), 9);
    model->setValue(fld::SpinEditSnrTestStation, 12); // as read from a device
    EXPECT_EQ(model->value(fld::SpinEditSnrTestStation), 12);
    // A w range that breaks the 2 V rule (set by the program, never left) is named.
    model->setText(fld::EditW1Min, QStringLiteral("5.0"));
    model->setText(fld::EditW1Max, QStringLiteral("6.0"));
    const auto w = ValidateSnapshotFields(*model, 0x0308);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w.front().field, "EditW1Max");
}

TEST_F(ValueEntry, PresetsAreRecognisedAfterAReadAndAfterAnEdit)
{
    struct Row {
        uint16_t pnom, ptot, pverz;
        FieldId expected;
    };
    ASSERT_TRUE(betrieb->Identify());
    for (const Row& r : {Row{100, 1, 30, fld::RadioButtonDPK100}, Row{600, 6, 30, fld::RadioButtonDPK600},
                         Row{600, 6, 31, fld::RadioButtonDPKVariabel}, Row{300, 3, 30, fld::RadioButtonDPK300}}) {
        poke16(0x004C, r.pnom); // Pmin, Pmax, Pnom from 0x0048
        poke16(0x0044, r.ptot);
        poke16(0x0046, r.pverz);
        ASSERT_TRUE(oem->ReadConfig());
        EXPECT_TRUE(model->checked(r.expected)) << r.pnom << " " << r.pverz;
    }
    // A manual edit away from the preset selects "variabel" and, on the OEM tab, the dialog.
    model->setItemIndex(fld::PageControl1, 0);
    model->setValue(fld::SpinEditVAVPverz, 40, Origin::User);
    EXPECT_TRUE(model->checked(fld::RadioButtonDPKVariabel));
    EXPECT_TRUE(sensorDialog);
    model->setValue(fld::SpinEditVAVPverz, 30, Origin::User);
    EXPECT_TRUE(model->checked(fld::RadioButtonDPK300));
    EXPECT_FALSE(sensorDialog);
    // A click on a size applies that preset; the actuator is recognised the same way.
    click(fld::RadioButtonDPK600);
    EXPECT_EQ(model->value(fld::SpinEditVAVPnom), 600);
    click(fld::RadioButtonAntr_RGT);
    EXPECT_EQ(model->value(fld::SpinEditLZAntrieb), 120);
    model->setValue(fld::SpinEditLZAntrieb, 60, Origin::User);
    EXPECT_TRUE(model->checked(fld::RadioButtonAntr_Variabel));
}

TEST_F(ValueEntry, EachSensorTypeRemembersItsOwnSet)
{
    readAll();
    model->setValue(fld::SpinEditVAVPverz, 44, Origin::User); // a variable pressure sensor
    click(fld::RadioButtonSensTypVolumenstr);
    EXPECT_TRUE(model->checked(fld::RadioButtonDPKVariabel));
    EXPECT_FALSE(model->visible(fld::RadioButtonDPK100));
    EXPECT_FALSE(model->visible(fld::GroupBoxVAVLeitwert));
    const TIniPresetSensor vs = IniPresetVS;
    EXPECT_EQ(model->value(fld::SpinEditVAVPverz), vs.Pverz);
    model->setValue(fld::SpinEditVAVPnom, 777, Origin::User);
    click(fld::RadioButtonSensTypDruck);
    EXPECT_EQ(model->value(fld::SpinEditVAVPverz), 44);
    EXPECT_EQ(model->value(fld::SpinEditVAVPnom), 300);
    EXPECT_TRUE(model->visible(fld::RadioButtonDPK100));
    // Between the pressure kinds the values stay; the captions change.
    click(fld::RadioButtonSensTypDSK3Druck);
    EXPECT_EQ(model->value(fld::SpinEditVAVPverz), 44);
    EXPECT_EQ(model->caption(fld::RadioButtonDPK100), "DSK3-100");
    click(fld::RadioButtonSensTypVolumenstr);
    EXPECT_EQ(model->value(fld::SpinEditVAVPnom), 777);
    click(fld::RadioButtonSensTypDruck);
    EXPECT_EQ(model->caption(fld::RadioButtonDPK100), "DPK-100");
    EXPECT_EQ(model->value(fld::SpinEditVAVPverz), 44);
}

// Typing into V'max passes through values below V'min ("9" on the way to "90"). No keystroke
// may cut V'min; the committed entry does, to the V'max that stays, and that reaches the
// controller.
TEST_F(ValueEntry, VmaxTypedKeyByKeyCutsVminOnlyWhenCommitted)
{
    enum class Commit { Leave, Setzen };
    struct Row {
        const char* what;
        FieldId field;
        const char* typed;
        const char* vmin;      // V'min % typed first (V'nom 1000, V'max 80 %)
        Commit commit;
        uint16_t vminDevice;   // V'min in the controller afterwards, 0.01 %
        uint16_t vmaxDevice;
    };
    const std::vector<Row> rows = {
        {"90 %", fld::EditVmaxPrz, "90", "30", Commit::Leave, 3000, 9000},
        {"40 % below V'min", fld::EditVmaxPrz, "40", "50", Commit::Leave, 4000, 4000},
        {"900 m³/h", fld::EditVmaxM3, "900", "30", Commit::Leave, 3000, 9000},
        {"400 m³/h below V'min, focus kept", fld::EditVmaxM3, "400", "50", Commit::Setzen, 4000, 4000},
        {"9 % raised to 30 % on leaving", fld::EditVmaxPrz, "9", "50", Commit::Leave, 3000, 3000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        build(0x0308);
        readAll();
        type(fld::EditVnomM3, "1000");
        type(fld::EditVmaxPrz, "80");
        type(fld::EditVminPrz, r.vmin);
        const QString vminPrz = text(fld::EditVminPrz), vminM3 = text(fld::EditVminM3);
        const QString typed = QString::fromUtf8(r.typed);
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            model->setText(r.field, typed.left(n), Origin::User);
            EXPECT_EQ(text(fld::EditVminPrz), vminPrz) << typed.left(n).toStdString();
            EXPECT_EQ(text(fld::EditVminM3), vminM3) << typed.left(n).toStdString();
        }
        if (r.commit == Commit::Leave)
            model->leave(r.field);
        else
            entry->CommitTyping();
        EXPECT_EQ(model->deviceValue(fld::EditVminPrz), r.vminDevice);
        ASSERT_TRUE(betrieb->WriteData());
        EXPECT_EQ(be16(sim::mem::VLevels), r.vminDevice);
        EXPECT_EQ(be16(sim::mem::VLevels + 4), r.vmaxDevice);
    }
}

// The two Position fields show one text: typed on either tab, or read from the controller.
TEST_F(ValueEntry, PositionIsMirroredBetweenServiceAndOemTab)
{
    type(fld::EditPositionInput_OEM, "Raum 12");
    EXPECT_EQ(text(fld::EditPositionInput), "Raum 12");
    type(fld::EditPositionInput, "Flur");
    EXPECT_EQ(text(fld::EditPositionInput_OEM), "Flur");
    bus->poke(1, sim::mem::PositionText, {'K', 'e', 'l', 'l', 'e', 'r', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '});
    readAll();
    EXPECT_EQ(text(fld::EditPositionInput), "Keller");
    EXPECT_EQ(text(fld::EditPositionInput_OEM), "Keller");
    // What the OEM tab holds is what is written.
    type(fld::EditPositionInput_OEM, "Dach");
    ASSERT_TRUE(betrieb->WriteData());
    const auto mem = bus->peek(1, sim::mem::PositionText, 4);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(mem.data()), 4), "Dach");
}

// Values typed in each unit set and written by the records reach the controller as device
// values: V'nom divided by the unit's factor, percentages in hundredths, voltages in mV.
TEST_F(ValueEntry, TypedValuesReachTheControllerInDeviceUnits)
{
    struct Row {
        int unit;
        const char* vnom;
        const char* vmaxM3;
        const char* vminPrz;
        uint16_t vnomDevice; // by hand: vnom / factor, to the nearest integer
        uint16_t vmax, vmin;
    };
    const std::vector<Row> rows = {
        {0, "500", "400", "25", 500, 8000, 2500},
        // 139 l/s x 3.6 = 500.4; 111 / 139 = 79.856 % -> "79.86"
        {1, "139", "111", "25", 500, 7986, 2500},
        // 300 cfm / 0.58868547 = 509.61; 250 / 300 = 83.33 %; 90 % is cut to V'max
        {2, "300", "250", "90", 510, 8333, 8333},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.unit);
        build(0x0308);
        readAll();
        entry->ConvertUnits(r.unit);
        type(fld::EditVnomM3, r.vnom);
        type(fld::EditVmaxM3, r.vmaxM3);
        type(fld::EditVminPrz, r.vminPrz);
        type(fld::EditVmidPrz, "40");
        type(fld::EditW1Min, "2");
        type(fld::EditU5Max, "9.5");
        ASSERT_TRUE(betrieb->WriteData());
        ASSERT_TRUE(oem->WriteConfig());
        EXPECT_EQ(be16(0x0032), r.vnomDevice);
        EXPECT_EQ(be16(sim::mem::VLevels), r.vmin);
        EXPECT_EQ(be16(sim::mem::VLevels + 2), 4000);
        EXPECT_EQ(be16(sim::mem::VLevels + 4), r.vmax);
        EXPECT_EQ(be16(sim::mem::W1Range), 2000);     // start
        EXPECT_EQ(be16(sim::mem::W1Range + 2), 8000); // span
        EXPECT_EQ(be16(sim::mem::U5Range), 0);
        EXPECT_EQ(be16(sim::mem::U5Range + 2), 9500);
    }
}

} // namespace

namespace {

// The factor between device value and shown figure of the fields that follow the unit set,
// worked out here from the unit tables, not taken from the fields.
double UnitFactor(FieldId f, int unit, int reglerFkt, bool volumeSignal)
{
    if (f == fld::EditVnomM3)
        return FunctionFactor(unit, reglerFkt);
    if (f == fld::SpinEditVAVPnom || f == fld::SpinEditVAVPtot)
        return volumeSignal ? FlowFactor(unit) : PressureFactor(unit);
    return 0;
}

} // namespace

// Every number field, in each unit set and function: a device value set, the units switched
// away and back, nothing edited: the same device value and the text formatted from it. A figure
// typed in: the device value the entry rules make of it, and that value in the controller.
TEST_F(ValueEntry, NumberFieldsKeepTheirDeviceValuesAcrossUnitSwitches)
{
    std::mt19937 rng(19);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<FieldId> numbers;
    for (int i = 0; i < kFieldCount; ++i)
        if (model->state(allFields()[i]).isNumber())
            numbers.push_back(allFields()[i]);
    ASSERT_GE(numbers.size(), 25u);
    const FieldId unitFields[] = {fld::EditVnomM3, fld::SpinEditVAVPnom, fld::SpinEditVAVPtot};
    for (int fkt : {1, 2}) {
        for (int start = 0; start < 3; ++start) {
            SCOPED_TRACE(QStringLiteral("function %1, unit set %2").arg(fkt).arg(start).toStdString());
            build(0x0308);
            ctx->ReglerFkt = fkt;
            readAll();
            entry->ConvertUnits(start);
            for (FieldId f : numbers) {
                const FieldState s = model->state(f);
                const double factor = UnitFactor(f, start, fkt, false);
                const double hi = s.ranged ? s.maximum : 999;
                const double lo = s.ranged ? std::max(s.minimum, 1.0) : 0;
                const int device = factor > 0 ? pick(1, int(std::min(65535.0, hi / factor)))
                                              : RoundHalfEven(pick(int(lo * 10), int(hi * 10)) / 10.0 * s.scale);
                model->setDeviceValue(f, device);
            }
            auto shownOf = [&](FieldId f) {
                return f.kind == Kind::Spin ? QString::number(model->value(f), 'f', 0) : text(f);
            };
            std::map<FieldId, int32_t> set;
            for (FieldId f : unitFields)
                set[f] = model->deviceValue(f);
            // One switch lets the couplings rework the figures set at random (the Service copy
            // of V'nom, the flows from the percentages); from here on nothing may move.
            entry->ConvertUnits((start + 1) % 3);
            entry->ConvertUnits(start);
            for (FieldId f : unitFields)
                EXPECT_EQ(model->deviceValue(f), set[f]) << f.latin1();
            std::map<FieldId, std::pair<int32_t, QString>> before;
            for (FieldId f : numbers)
                before[f] = {model->deviceValue(f), shownOf(f)};
            for (int i = 0; i < 4; ++i) {
                entry->ConvertUnits((start + 1 + pick(0, 1)) % 3);
                entry->ConvertUnits(start);
            }
            for (FieldId f : numbers) {
                EXPECT_EQ(model->deviceValue(f), before[f].first) << f.latin1();
                EXPECT_EQ(shownOf(f), before[f].second) << f.latin1();
                if (!before[f].second.isEmpty()) {
                    EXPECT_EQ(shownOf(f), model->deviceText(f, model->exactDeviceValue(f))) << f.latin1();
                }
            }
            // A typed figure: V'nom counts its whole part, the spin boxes their value, each
            // divided by the unit's factor; typing the shown figure back gives the held value.
            const int unit = pick(0, 2);
            entry->ConvertUnits(unit);
            for (FieldId f : unitFields) {
                const int32_t held = model->deviceValue(f);
                const QString shown = shownOf(f);
                const int figure = pick(1, int(model->state(f).maximum));
                if (f.kind == Kind::Spin)
                    model->setValue(f, figure, Origin::User);
                else
                    type(f, QString::number(figure).toUtf8().constData());
                const double factor = UnitFactor(f, unit, fkt, false);
                EXPECT_EQ(model->deviceValue(f), RoundHalfEven(figure / factor)) << f.latin1() << " " << figure;
                if (f.kind == Kind::Spin)
                    model->setValue(f, shown.toDouble(), Origin::User);
                else
                    type(f, shown.toUtf8().constData());
                EXPECT_EQ(model->deviceValue(f), held) << f.latin1();
            }
            type(fld::EditVnomM3, "4321.7", false); // the whole part counts
            model->setValue(fld::SpinEditVAVPnom, 4000, Origin::User);
            ASSERT_TRUE(oem->WriteConfig());
            const double fn = UnitFactor(fld::EditVnomM3, unit, fkt, false);
            const double fs = UnitFactor(fld::SpinEditVAVPnom, unit, fkt, false);
            EXPECT_EQ(be16(0x0032), RoundHalfEven(4321 / fn));
            EXPECT_EQ(be16(0x004C), RoundHalfEven(4000 / fs));
            EXPECT_EQ(be16(0x0044), model->deviceValue(fld::SpinEditVAVPtot));
        }
    }
}
