// The value-entry rules: coupling of the flow figures, lowest V'min, units, w/U5 ranges, hints.
#include "QtPrinters.h"
#include "common/Helpers.h"
#include "common/Units.h"
#include "core/ValueCoupling.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

using namespace kadex;
using namespace kadex::coupling;

namespace {

constexpr uint16_t OldFw = 0x0210;
constexpr uint16_t NewFw = 0x0220;

using Texts = std::map<std::string, std::string>;

Texts rewritesOf(const CouplingResult& r)
{
    Texts t;
    for (const FieldText& f : r.rewrites)
        t[FlowFieldName(f.field)] = f.text.toStdString();
    return t;
}

FlowValues figures(double n, double xPrz, double x, double iPrz, double i, double dPrz, double d)
{
    FlowValues v;
    v.vnom = n;
    v.vmaxPrz = xPrz;
    v.vmaxM3 = x;
    v.vminPrz = iPrz;
    v.vminM3 = i;
    v.vmidPrz = dPrz;
    v.vmidM3 = d;
    return v;
}

struct CoupleRow {
    const char* name;
    uint16_t firmware;
    FlowField changed;
    FlowValues values; // the changed field holds the typed value
    double vnomOem;
    int unitIndex;
    Texts expected;
    Bound clamp;
    bool vminCut;
};

} // namespace

TEST(ValueCoupling, FiguresForOldAndNewFirmware)
{
    const CoupleRow rows[] = {
        // X = 1000*80/100 = 800; old: I = X*50/100 = 400;
        // G = (50 + 50 - 50*50/100) * 80/100 = 60; D = 1000*60/100 = 600
        {"VmaxPrz old", OldFw, FlowField::VmaxPrz, figures(1000, 80, 0, 50, 0, 50, 0), 1000, 0,
         {{"EditVmaxM3", "800"}, {"EditVminM3", "400"}, {"EditVmidM3", "600"}}, Bound::None, false},
        // new: I = N*50/100 = 500; I' = 50*100/80 = 62.5;
        // G = (50 + 62.5 - 50*62.5/100) * 0.8 = 65; D = 650
        {"VmaxPrz new", NewFw, FlowField::VmaxPrz, figures(1000, 80, 0, 50, 0, 50, 0), 1000, 0,
         {{"EditVmaxM3", "800"}, {"EditVminM3", "500"}, {"EditVmidM3", "650"}}, Bound::None, false},
        // X = 500; I% 60 > 50 is cut to 50; I = 500; I' = 100; G = (D + 100 - D) * 0.5 = 50; D = 500
        {"VmaxPrz new cuts Vmin", NewFw, FlowField::VmaxPrz, figures(1000, 50, 0, 60, 0, 50, 0), 1000, 0,
         {{"EditVmaxM3", "500"}, {"EditVminPrz", "50.00"}, {"EditVminM3", "500"}, {"EditVmidM3", "500"}},
         Bound::None, true},
        // 120 -> 100.00; X = 1000; I = 0; G = 50; D = 500
        {"VmaxPrz 120 clamped", NewFw, FlowField::VmaxPrz, figures(1000, 120, 0, 0, 0, 50, 0), 1000, 0,
         {{"EditVmaxPrz", "100.00"}, {"EditVmaxM3", "1000"}, {"EditVminM3", "0"}, {"EditVmidM3", "500"}},
         Bound::Max, false},
        // X% = 250*100/1000 = 25; I% 30 cut to 25; I = 250; I' = 100; G = 25; D = 250
        {"VmaxM3 new", NewFw, FlowField::VmaxM3, figures(1000, 0, 250, 30, 0, 50, 0), 1000, 0,
         {{"EditVmaxPrz", "25.00"}, {"EditVminPrz", "25.00"}, {"EditVminM3", "250"}, {"EditVmidM3", "250"}},
         Bound::None, true},
        // X% = 600*100/1000 = 60; old: I = 600*20/100 = 120; G = (50 + 20 - 10) * 0.6 = 36; D = 360
        {"VmaxM3 old", OldFw, FlowField::VmaxM3, figures(1000, 0, 600, 20, 0, 50, 0), 1000, 0,
         {{"EditVmaxPrz", "60.00"}, {"EditVminM3", "120"}, {"EditVmidM3", "360"}}, Bound::None, false},
        // G = 200*100/1000 = 20; D% = (20*100/80 - 50) * 100/(100 - 50) = -50 (not limited)
        {"VmidM3 below Vmin old", OldFw, FlowField::VmidM3, figures(1000, 80, 800, 50, 400, 0, 200), 1000, 0,
         {{"EditVmidPrz", "-50.00"}}, Bound::None, false},
        // G = 50; I' = 20*100/80 = 25; D% = (50*100/80 - 25) * 100/75 = 50
        {"VmidM3 new", NewFw, FlowField::VmidM3, figures(1000, 80, 800, 20, 200, 0, 500), 1000, 0,
         {{"EditVmidPrz", "50.00"}}, Bound::None, false},
        // V'mid units bounded by V'max units 0; X% = 0 gives D% = 100
        {"VmidM3 with Vmax 0", NewFw, FlowField::VmidM3, figures(1000, 0, 0, 0, 0, 0, 300), 1000, 0,
         {{"EditVmidM3", "0"}, {"EditVmidPrz", "100.00"}}, Bound::Max, false},
        // new: I% = 300*100/1000 = 30; I' = 37.5; G = (50 + 37.5 - 18.75) * 0.8 = 55; D = 550
        {"VminM3 new", NewFw, FlowField::VminM3, figures(1000, 80, 800, 0, 300, 50, 0), 1000, 0,
         {{"EditVminPrz", "30.00"}, {"EditVmidM3", "550"}}, Bound::None, false},
        // old: I% = 300*100/800 = 37.5; G = (50 + 37.5 - 18.75) * 0.8 = 55; D = 550
        {"VminM3 old", OldFw, FlowField::VminM3, figures(1000, 80, 800, 0, 300, 50, 0), 1000, 0,
         {{"EditVminPrz", "37.50"}, {"EditVmidM3", "550"}}, Bound::None, false},
        // 900 > V'max 800 -> 800; I% = 80; I' = 100; G = 80; D = 800
        {"VminM3 above Vmax", NewFw, FlowField::VminM3, figures(1000, 80, 800, 0, 900, 50, 0), 1000, 0,
         {{"EditVminM3", "800"}, {"EditVminPrz", "80.00"}, {"EditVmidM3", "800"}}, Bound::Max, false},
        // new: N from EditVnomM3 (2000): I = 2000*40/100 = 800; I' = 50; G = (50+50-25)*0.8 = 60;
        // D = 2000*60/100 = 1200
        {"VminPrz new takes OEM Vnom", NewFw, FlowField::VminPrz, figures(1000, 80, 800, 40, 0, 50, 0), 2000, 0,
         {{"EditVminM3", "800"}, {"EditVmidM3", "1200"}}, Bound::None, false},
        // old: I = 800*25/100 = 200; G = (50 + 25 - 12.5) * 0.8 = 50; D = 500
        {"VminPrz old", OldFw, FlowField::VminPrz, figures(1000, 80, 800, 25, 0, 50, 0), 2000, 0,
         {{"EditVminM3", "200"}, {"EditVmidM3", "500"}}, Bound::None, false},
        // old firmware keeps a V'min percent above V'max percent (it is a share of V'max):
        // I = 800*90/100 = 720; G = (50 + 90 - 45) * 0.8 = 76; D = 760
        {"VminPrz old above Vmax", OldFw, FlowField::VminPrz, figures(1000, 80, 800, 90, 0, 50, 0), 1000, 0,
         {{"EditVminM3", "720"}, {"EditVmidM3", "760"}}, Bound::None, false},
        // G = (50 + 62.5 - 31.25) * 0.8 = 65 of N = 1000 -> 650
        {"VmidPrz new", NewFw, FlowField::VmidPrz, figures(1000, 80, 800, 50, 500, 50, 0), 1000, 0,
         {{"EditVmidM3", "650"}}, Bound::None, false},
        // N = 2000: X = 1600; I = 1000; D = 2000 * 65/100 = 1300
        {"Vnom new", NewFw, FlowField::Vnom, figures(2000, 80, 0, 50, 0, 50, 0), 2000, 0,
         {{"EditVmaxM3", "1600"}, {"EditVminM3", "1000"}, {"EditVmidM3", "1300"}}, Bound::None, false},
        // l/s: VnomMax = trunc(65535/3.6) = 18204; X = 18204; D = 18204*50/100 = 9102
        {"Vnom above VnomMax", NewFw, FlowField::Vnom, figures(20000, 100, 0, 0, 0, 50, 0), 20000, 1,
         {{"EditVnomM3Anz", "18204"}, {"EditVmaxM3", "18204"}, {"EditVminM3", "0"}, {"EditVmidM3", "9102"}},
         Bound::Max, false},
    };
    for (const CoupleRow& row : rows) {
        SCOPED_TRACE(row.name);
        CouplingInput in;
        in.changed = row.changed;
        in.values = row.values;
        in.vnomOem = row.vnomOem;
        in.firmware = row.firmware;
        in.limit.units.unitIndex = row.unitIndex;
        const CouplingResult r = Couple(in);
        EXPECT_EQ(rewritesOf(r), row.expected);
        EXPECT_EQ(r.changedClamp, row.clamp);
        EXPECT_EQ(r.vminCutToVmax, row.vminCut);
    }
}

TEST(ValueCoupling, TailSetzenSlidersWarningAndSetpoint)
{
    struct Row {
        double vmaxPrz, vminPrz;
        bool read;
        int32_t vminPrzMin;
        bool setzen, red;
        int sliderMax, sliderMin;
    } rows[] = {
        {80, 20, true, 0, true, false, 20, 80},
        {30, 20, true, 25, true, true, 70, 80},     // exactly 30 % allows "Setzen"; 25 > 20 red
        {29.99, 20, true, 20, false, false, 70, 80}, // 100 - 30 = 70; 20 > 20 is not red
        {80, 20, false, 0, false, false, 20, 80},    // no "Lesen", no "Setzen"
        {25, 49.5, true, 0, false, false, 70, 50},   // slider limited to 70; 49.5 rounds to 50
        {100, 50.5, true, 0, true, false, 0, 50},    // 50.5 rounds to the even 50
    };
    for (const Row& row : rows) {
        CouplingInput in;
        in.firmware = OldFw; // V'mid percent change: no limit recomputation
        in.changed = FlowField::VmidPrz;
        in.values = figures(1000, row.vmaxPrz, 0, row.vminPrz, 0, 50, 0);
        in.readEnabled = row.read;
        in.vminPrzMin = row.vminPrzMin;
        const CouplingResult r = Couple(in);
        SCOPED_TRACE(row.vmaxPrz);
        EXPECT_EQ(r.setzenEnabled, row.setzen);
        EXPECT_EQ(r.strgSHintVisible, row.setzen); // Strg+S is offered while "Setzen" could write
        EXPECT_EQ(r.vminWarning, row.red);
        EXPECT_EQ(r.sliderVmax, row.sliderMax);
        EXPECT_EQ(r.sliderVmin, row.sliderMin);
    }

    CouplingInput sp;
    sp.changed = FlowField::Setpoint;
    sp.values.setpoint = 12.345;
    EXPECT_FALSE(Couple(sp).variableSetpoint.has_value());
    sp.setpointVariabel = true;
    EXPECT_EQ(Couple(sp).variableSetpoint, 1234); // 1234.5 to the even neighbour
    EXPECT_TRUE(Couple(sp).rewrites.empty());
}

TEST(ValueCoupling, LimitRecomputedWhereTheChangeCallsForIt)
{
    CouplingInput in;
    in.values = figures(250, 80, 200, 10, 0, 50, 0);
    in.vnomOem = 250;
    in.limit.ptot = 3;
    in.limit.conductance = 28;
    in.limit.density = 1.2;
    in.vminPrzMin = 7;
    for (auto [fw, field, recomputed] :
         {std::tuple{NewFw, FlowField::Vnom, true}, std::tuple{OldFw, FlowField::Vnom, true},
          std::tuple{NewFw, FlowField::VmaxPrz, true}, std::tuple{OldFw, FlowField::VmaxPrz, false},
          std::tuple{NewFw, FlowField::VmaxM3, true}, std::tuple{OldFw, FlowField::VmaxM3, false},
          std::tuple{NewFw, FlowField::VmidPrz, false}}) {
        in.firmware = fw;
        in.changed = field;
        const CouplingResult r = Couple(in);
        EXPECT_EQ(r.limit.has_value(), recomputed) << FlowFieldName(field) << std::hex << fw;
        // Recomputed: 25 (see the lowest V'min table), and 25 > 10 % colours V'min red.
        EXPECT_EQ(r.vminPrzMin, recomputed ? 25 : 7);
        EXPECT_EQ(r.vminWarning, recomputed);
    }
}

TEST(ValueCoupling, LowestVmin)
{
    struct Row {
        const char* name;
        uint16_t fw;
        UnitContext u;
        double vnom, vmaxPrz, ptot, conductance, density;
        int32_t expected;
        const char* label;
    } rows[] = {
        // P = 3*2 = 6; sqrt(6/1.2) = 2.23607; * 100/250 = 0.894427; * 28 = 25.04 -> 25
        {"pressure sensor", NewFw, {0, 1, 2}, 250, 80, 3, 28, 1.2, 25, "Bereich 25 .. 80%"},
        // P = 2 -> 5; sqrt(5/1.25) = 2; * 100/100 * 10 = 20; old firmware: upper 100%
        {"pressure sensor P at least 5", OldFw, {0, 1, 2}, 100, 80, 1, 10, 1.25, 20, "Bereich 20 .. 100%"},
        {"no density", NewFw, {0, 1, 2}, 250, 80, 3, 28, 0, 0, "Bereich 0 .. 80%"},
        {"no conductance", NewFw, {0, 1, 2}, 250, 75.5, 3, 0, 1.2, 0, "Bereich 0 .. 75.5%"},
        {"no Vnom", NewFw, {0, 1, 2}, 0, 80, 3, 28, 1.2, 0, "Bereich 0 .. 80%"},
        // l/s: Nm = 278*3.6 = 1000.8; 2.23607 * 100/1000.8 * 2800 = 625.6 -> 626, shown as 100
        {"pressure sensor l/s", NewFw, {1, 1, 2}, 278, 80, 3, 2800, 1.2, 626, "Bereich 100 .. 80%"},
        // P = 30*2 = 60; 100/1000 * 60 = 6
        {"volume signal", NewFw, {0, 1, 1}, 1000, 80, 30, 28, 1.2, 6, "Bereich 6 .. 80%"},
        // P = 0 -> 2; 100/50 * 2 = 4
        {"volume signal P at least 2", NewFw, {0, 1, 1}, 50, 80, 0, 0, 0, 4, "Bereich 4 .. 80%"},
        // pressure function, uPSI: Nm = 14504/145.0389 = 100.0007; P = 1450/145.0389*2 = 19.9946;
        // 100/100.0007 * 19.9946 = 19.99 -> 20
        {"pressure function uPSI", NewFw, {2, 2, 2}, 14504, 80, 1450, 28, 1.2, 20, "Bereich 20 .. 80%"},
        // V'nom is truncated first: trunc(50.9) = 50 -> 100/50 * 2 = 4
        {"Vnom truncated", OldFw, {0, 1, 1}, 50.9, 80, 0, 0, 0, 4, "Bereich 4 .. 100%"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const VminLimit l = UpdateVminLimit(row.vnom, row.vmaxPrz, row.fw,
                                            {row.u, row.ptot, row.conductance, row.density},
                                            QStringLiteral("Bereich 0..100%"));
        EXPECT_EQ(l.vminPrzMin, row.expected);
        EXPECT_EQ(l.rangeLabel, QString::fromUtf8(row.label));
        EXPECT_EQ(l.pressureBranch, row.u.reglerFkt == 1 && row.u.sensorTyp == 2);
    }
    // A translated label keeps its first word; one without a blank is kept whole.
    EXPECT_EQ(UpdateVminLimit(1000, 80, OldFw, {{0, 1, 1}, 30, 0, 0}, "Range 0..100%").rangeLabel,
              "Range 6 .. 100%");
    EXPECT_EQ(UpdateVminLimit(1000, 80, OldFw, {{0, 1, 1}, 30, 0, 0}, "Range").rangeLabel,
              "Range 6 .. 100%");
}

TEST(ValueCoupling, LeavingAFigure)
{
    struct Row {
        std::optional<FlowField> left;
        const char* text;
        double vmaxPrz;
        std::vector<FieldText> expected;
    } rows[] = {
        {FlowField::VmaxPrz, "25", 25, {{FlowField::VmaxPrz, "30.00"}}},
        {FlowField::VminM3, "", 80, {{FlowField::VminM3, "0"}}},
        {FlowField::VminPrz, "12.5", 80, {{FlowField::VminPrz, "12.50"}}},
        {FlowField::VmidM3, "12.7", 20, {{FlowField::VmaxPrz, "30.00"}, {FlowField::VmidM3, "13"}}},
        {FlowField::VmaxM3, "abc", 80, {{FlowField::VmaxM3, "0"}}},
        {FlowField::Setpoint, "5", 80, {}},
        {std::nullopt, "", 10, {{FlowField::VmaxPrz, "30.00"}}}, // slider or mirror
    };
    for (const Row& row : rows)
        EXPECT_EQ(LeaveFigure(row.left, QString::fromUtf8(row.text), row.vmaxPrz), row.expected)
            << row.text;
}

TEST(ValueCoupling, SlidersSetThePercentOnly)
{
    EXPECT_EQ(SliderVmaxMoved(20), (FieldText{FlowField::VmaxPrz, "80.00"}));
    EXPECT_EQ(SliderVmaxMoved(90), (FieldText{FlowField::VmaxPrz, "30.00"})); // range 0..70
    EXPECT_EQ(SliderVminMoved(100), (FieldText{FlowField::VminPrz, "0.00"}));
    EXPECT_EQ(SliderVminMoved(35), (FieldText{FlowField::VminPrz, "65.00"}));

    // V'nom 333 at slider 80 %: units 266 (266.4), and the percentage stays 80.00.
    CouplingInput in;
    in.changed = FlowField::VmaxPrz;
    in.values = figures(333, 80, 0, 0, 0, 50, 0);
    const CouplingResult r = Couple(in);
    EXPECT_EQ(rewritesOf(r)["EditVmaxM3"], "266");
    EXPECT_EQ(rewritesOf(r).count("EditVmaxPrz"), 0u);
    EXPECT_EQ(r.sliderVmax, 20);
}

TEST(ValueCoupling, ShowUnitsPerSet)
{
    struct Row {
        UnitContext u;
        const char* function;
        const char* sensor;
        int32_t vnomMax, sensorMax;
    } rows[] = {
        {{0, 1, 2}, "m³/h", "Pa", 65535, 65535},
        {{1, 1, 1}, "l/s", "l/s", 18204, 18204},      // trunc(65535/3.6) = 18204
        {{1, 1, 2}, "l/s", "Pa", 18204, 65535},
        {{2, 1, 2}, "cfm", "uPSI", 38579, 9505124},   // 65535*0.58869 = 38579.3; *145.0389 = 9505124.3
        {{2, 2, 1}, "uPSI", "cfm", 9505124, 38579},
    };
    for (const Row& row : rows) {
        const UnitView v = ShowUnits(row.u);
        EXPECT_EQ(v.functionUnit, QString::fromUtf8(row.function));
        EXPECT_EQ(v.sensorUnit, QString::fromUtf8(row.sensor));
        EXPECT_EQ(v.vnomMax, row.vnomMax);
        EXPECT_EQ(v.sensorMax, row.sensorMax);
        EXPECT_EQ(v.vnomHint, "1 .. " + QString::number(row.vnomMax));
        EXPECT_EQ(v.sensorHint, "0 .. " + QString::number(row.sensorMax));
    }
}

TEST(ValueCoupling, ConvertUnitsKeepsTheDeviceValue)
{
    // 1000 m³/h -> l/s: 277.8 -> 278; back: 1000 again (from the device value, not 278*3.6).
    AnchoredValue a{1000, 1000};
    a = ConvertAnchored(a, 1000, 1.0, 1 / 3.6);
    EXPECT_EQ(a.shown, 278);
    a = ConvertAnchored(a, 278, 1 / 3.6, 1.0);
    EXPECT_EQ(a.shown, 1000);
    EXPECT_EQ(a.device, 1000);

    // A value typed in l/s is taken at full precision: 278 l/s is 1000.8 m³/h -> 1001.
    const AnchoredValue typed = ConvertAnchored(a, 278, 1.0 / 3.6, 1.0);
    EXPECT_EQ(typed.shown, 1001);

    ConvertInput in;
    in.oldUnitIndex = 0;
    in.newUnitIndex = 2;
    in.reglerFkt = 1;
    in.sensorTyp = 2;
    in.dataRead = true;
    in.vnom = {1000, 1000};
    in.vnomShown = 1000;
    in.pnom = {300, 300};
    in.pnomShown = 300;
    in.ptot = {3, 3};
    in.ptotShown = 3;
    in.hwVnom = {900, 900}; // the window differs from the device
    in.hwPnom = {300, 300};
    in.hwPtot = {3, 3};
    const ConvertResult r = ConvertUnits(in);
    EXPECT_EQ(r.vnomText, "589");           // 1000 * 0.588685 = 588.69
    EXPECT_EQ(r.pnom.shown, 43512);         // 300 * 145.0389 = 43511.67
    EXPECT_EQ(r.ptot.shown, 435);           // 3 * 145.0389 = 435.12
    ASSERT_TRUE(r.hwVnom && r.hwPnom && r.hwPtot);
    EXPECT_EQ(r.hwVnom->shown, 530);        // 900 * 0.588685 = 529.82: the difference stays
    EXPECT_EQ(r.hwPnom->shown, 43512);
    EXPECT_EQ(r.hwPtot->shown, 435);
    EXPECT_EQ(r.view.functionUnit, "cfm");
    EXPECT_EQ(r.view.sensorUnit, "uPSI");
    in.dataRead = false;
    EXPECT_FALSE(ConvertUnits(in).hwVnom.has_value());

    // 65535 m³/h is 38579.5 cfm, above the cfm maximum 38579: the text stops there, the device
    // value is kept, and going back shows 65535 again.
    in.vnom = {65535, 65535};
    in.vnomShown = 65535;
    ConvertResult max = ConvertUnits(in);
    EXPECT_EQ(max.vnomText, "38579");
    EXPECT_EQ(max.vnom.device, 65535);
    in.oldUnitIndex = 2;
    in.newUnitIndex = 0;
    in.vnom = max.vnom;
    in.vnomShown = 38579;
    EXPECT_EQ(ConvertUnits(in).vnomText, "65535");
}

TEST(ValueCoupling, TenUnitSwitchesDoNotDrift)
{
    // Over many device values and random unit sequences, every conversion shows exactly what a
    // fresh read of the device value would show, so returning to a set restores its text.
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> value(1, 65535);
    std::uniform_int_distribution<int> unit(0, 2);
    for (int trial = 0; trial < 3000; ++trial) {
        const bool flow = trial % 2 == 0;
        auto factor = [&](int u) { return flow ? FlowFactor(u) : PressureFactor(u); };
        const int device = value(rng);
        const int start = unit(rng);
        AnchoredValue a{double(device), RoundHalfEven(device * factor(start))};
        const int32_t startShown = a.shown;
        int cur = start;
        for (int sw = 0; sw < 10; ++sw) {
            int next = unit(rng);
            if (sw % 2 == 1)
                next = start; // back and forth
            a = ConvertAnchored(a, a.shown, factor(cur), factor(next));
            cur = next;
            ASSERT_EQ(a.shown, RoundHalfEven(device * factor(cur))) << device;
        }
        a = ConvertAnchored(a, a.shown, factor(cur), factor(start));
        ASSERT_EQ(a.shown, startShown) << device;
        ASSERT_EQ(a.device, device);
    }
}

TEST(ValueCoupling, VoltageRanges)
{
    struct Row {
        const char* name;
        VoltageField field;
        VoltageTexts in;
        VoltageTexts out;
        bool stopRaised;
        VoltageMode mode;
    } rows[] = {
        {"start 7.5 raises stop", VoltageField::W1Start, {"7.5", "9.0", "0.0", "10.0"},
         {"7.5", "9.5", "0.0", "10.0"}, true, VoltageMode::Free},
        {"start 9 clamped, stop 10", VoltageField::W1Start, {"9", "9.0", "0.0", "10.0"},
         {"8.0", "10.0", "0.0", "10.0"}, true, VoltageMode::Free},
        {"exactly 2 V apart", VoltageField::U5Start, {"0.0", "10.0", "3", "5.0"},
         {"0.0", "10.0", "3", "5.0"}, false, VoltageMode::Free},
        {"U5 start 3.1", VoltageField::U5Start, {"0.0", "10.0", "3.1", "5.0"},
         {"0.0", "10.0", "3.1", "5.1"}, true, VoltageMode::Free},
        {"9.1 - 2 is 7.1", VoltageField::W1Start, {"7.1", "9.1", "0.0", "10.0"},
         {"7.1", "9.1", "0.0", "10.0"}, false, VoltageMode::Free},
        {"stop change leaves start", VoltageField::W1Stop, {"5.0", "12", "0.0", "10.0"},
         {"5.0", "10.0", "0.0", "10.0"}, false, VoltageMode::Free},
        {"0 .. 10", VoltageField::W1Start, {"0", "10.0", "0.0", "10.0"},
         {"0", "10.0", "0.0", "10.0"}, false, VoltageMode::Range0To10},
        {"2 .. 10", VoltageField::U5Start, {"2.0", "10.0", "2", "10.0"},
         {"2.0", "10.0", "2", "10.0"}, false, VoltageMode::Range2To10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const VoltageResult r = VoltageChanged(row.field, row.in);
        EXPECT_EQ(r.texts.w1Start, row.out.w1Start);
        EXPECT_EQ(r.texts.w1Stop, row.out.w1Stop);
        EXPECT_EQ(r.texts.u5Start, row.out.u5Start);
        EXPECT_EQ(r.texts.u5Stop, row.out.u5Stop);
        EXPECT_EQ(r.stopRaised, row.stopRaised);
        EXPECT_EQ(r.mode, row.mode);
    }
    EXPECT_EQ(VoltageChanged(VoltageField::W1Start, {"2.0", "10.0", "0.0", "10.0"}).freeCaption,
              "w: 2.0 .. 10.0 V, U5: 0.0 .. 10.0 V");
    EXPECT_EQ(VoltageChanged(VoltageField::W1Start, {"9", "9.0", "0.0", "10.0"}).changedClamp, Bound::Max);
}

TEST(ValueCoupling, VoltageLeave)
{
    struct Row {
        VoltageField field;
        VoltageTexts in;
        VoltageTexts out;
        bool lowered;
    } rows[] = {
        {VoltageField::W1Stop, {"4.0", "5", "0.0", "10.0"}, {"3.0", "5.0", "0.0", "10.0"}, true},
        {VoltageField::U5Stop, {"0.0", "10.0", "1.0", "4"}, {"0.0", "10.0", "1.0", "4.0"}, false},
        // Below 2 V the pair stays inside the range: 0.0 .. 2.0 instead of -1.0 .. 1.0.
        {VoltageField::W1Stop, {"0.0", "1", "0.0", "10.0"}, {"0.0", "2.0", "0.0", "10.0"}, true},
        {VoltageField::U5Start, {"0.0", "10.0", "", "10.0"}, {"0.0", "10.0", "0.0", "10.0"}, false},
        // Leaving a start does not apply the rule (the change handling did).
        {VoltageField::W1Start, {"7", "8.0", "0.0", "10.0"}, {"7.0", "8.0", "0.0", "10.0"}, false},
    };
    for (const Row& row : rows) {
        const VoltageResult r = VoltageLeft(row.field, row.in);
        SCOPED_TRACE(VoltageFieldName(row.field));
        EXPECT_EQ(r.texts.w1Start, row.out.w1Start);
        EXPECT_EQ(r.texts.w1Stop, row.out.w1Stop);
        EXPECT_EQ(r.texts.u5Start, row.out.u5Start);
        EXPECT_EQ(r.texts.u5Stop, row.out.u5Stop);
        EXPECT_EQ(r.startLowered, row.lowered);
        EXPECT_FALSE(r.mode.has_value());
    }
    const VoltageTexts two = VoltageModeTexts(VoltageMode::Range2To10);
    EXPECT_EQ(QStringList({two.w1Start, two.w1Stop, two.u5Start, two.u5Stop}),
              QStringList({"2.0", "10.0", "2.0", "10.0"}));
    EXPECT_EQ(RecogniseVoltageMode(VoltageModeTexts(VoltageMode::Range0To10)), VoltageMode::Range0To10);
}

TEST(ValueCoupling, RangeHintsAndQvLimits)
{
    const RangeHints h = SetRangeHints({0, 1, 2}, 3, 0);
    EXPECT_EQ(h.vnom, "1 .. 65535");
    EXPECT_EQ(h.density, "0.5 .. 2");
    EXPECT_EQ(h.leitwertErmittelt, "0 .. 33149, Firmware < 0204 : 0 .. 6553.5");
    EXPECT_EQ(h.k, "-1000 .. 1000");
    EXPECT_EQ(QStringList({h.jahr, h.woche, h.nummer, h.teststation, h.tn, h.tv, h.t1}),
              QStringList({"0 .. 99", "1 .. 52", "1 .. 5535", "1 .. 9", "0 .. 32767", "0 .. 32767",
                           "0 .. 32767"}));
    EXPECT_EQ(h.devFam, "3");
    EXPECT_EQ(h.famSuff, "0");
    EXPECT_EQ(SetRangeHints({2, 2, 2}, 4, 17, "FW").leitwertErmittelt,
              "0 .. 33149, FW < 0204 : 0 .. 6553.5");
    EXPECT_EQ(SetRangeHints({2, 2, 2}, 4, 17).vnom, "1 .. 9505124");

    struct Row {
        QvSpin spin;
        const char* text;
        int value;
        Bound hit;
        bool unreadable;
    } rows[] = {
        {QvSpin::Jahr, "150", 99, Bound::Max, false},   {QvSpin::Woche, "0", 1, Bound::Min, false},
        {QvSpin::Woche, "abc", 1, Bound::None, true},   {QvSpin::Nummer, "5536", 5535, Bound::Max, false},
        {QvSpin::Tn, "-5", 0, Bound::Min, false},       {QvSpin::DevFam, "7", 3, Bound::Max, false},
    };
    for (const Row& row : rows) {
        const QvSpinValue v = ClampQvSpin(row.spin, QString::fromLatin1(row.text));
        EXPECT_EQ(v.value, row.value) << row.text;
        EXPECT_EQ(v.hit, row.hit) << row.text;
        EXPECT_EQ(v.unreadable, row.unreadable) << row.text;
    }
}

TEST(ValueCoupling, SnapshotValidation)
{
    const BetriebSnapshot good{NewFw, 1000, 8000, 2000, 5000, 0, 10000, 2000, 10000};
    struct Row {
        const char* name;
        BetriebSnapshot s;
        QStringList fields;
    } rows[] = {
        {"good", good, {}},
        {"V'max below 30 %", {NewFw, 1000, 2500, 2000, 5000, 0, 10000, 0, 10000}, {"VmaxPrz"}},
        {"V'max exactly 30 %", {NewFw, 1000, 3000, 2000, 5000, 0, 10000, 0, 10000}, {}},
        {"V'max above 100 %", {NewFw, 1000, 10001, 2000, 5000, 0, 10000, 0, 10000}, {"VmaxPrz"}},
        {"V'nom 0", {NewFw, 0, 8000, 2000, 5000, 0, 10000, 0, 10000}, {"VnomM3"}},
        {"new fw V'min above V'max", {NewFw, 1000, 8000, 9000, 5000, 0, 10000, 0, 10000}, {"VminPrz"}},
        {"old fw V'min share of V'max", {OldFw, 1000, 8000, 9000, 5000, 0, 10000, 0, 10000}, {}},
        {"W1 below 2 V", {NewFw, 1000, 8000, 2000, 5000, 7500, 9000, 0, 10000}, {"W1MaxMV"}},
        {"U5 start above 8 V and span", {NewFw, 1000, 8000, 2000, 5000, 0, 10000, 9000, 10000},
         {"U5MinMV", "U5MaxMV"}},
        {"W1 stop above 10 V", {NewFw, 1000, 8000, 2000, 5000, 0, 10500, 0, 10000}, {"W1MaxMV"}},
        {"V'mid above 100 %", {NewFw, 1000, 8000, 2000, 12000, 0, 10000, 0, 10000}, {"VmidPrz"}},
    };
    for (const Row& row : rows) {
        QStringList fields;
        for (const Violation& v : ValidateBetrieb(row.s))
            fields << v.field;
        EXPECT_EQ(fields, row.fields) << row.name;
    }
    const auto v = ValidateBetrieb({NewFw, 1000, 2500, 2000, 5000, 7500, 9000, 0, 10000});
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].message, "V'max 25.00 % is below 30 %");
    EXPECT_EQ(v[1].message, "W1 stop 9.0 V is less than 2 V above its start 7.5 V");
}
