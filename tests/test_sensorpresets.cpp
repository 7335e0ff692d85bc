// Sensor and actuator presets: recognition, display units, remembered sets per sensor kind.
#include "QtPrinters.h"
#include "core/SensorPresets.h"

#include <gtest/gtest.h>

using namespace kadex;
using namespace kadex::sensor;

namespace {

// The DSK3 presets differ from the DPK ones here, so a match shows which table was used.
PresetTable testTable()
{
    PresetTable t = PresetTable::Defaults();
    t.dsk3[SensorPreset300].Pverz = 50;
    return t;
}

} // namespace

TEST(SensorPresets, DetectSensorPreset)
{
    const PresetTable t = testTable();
    struct Row {
        const char* name;
        SensorKind kind;
        int unit;
        SensorSet shown;
        SensorChoice expected;
    } rows[] = {
        {"DPK-100", SensorKind::DPK, 0, {0, 10000, 100, 1, 30, 5}, SensorChoice::Size100},
        {"DPK-300", SensorKind::DPK, 0, {0, 10000, 300, 3, 30, 5}, SensorChoice::Size300},
        {"DPK-600", SensorKind::DPK, 0, {0, 10000, 600, 6, 30, 5}, SensorChoice::Size600},
        {"l/s keeps Pa", SensorKind::DPK, 1, {0, 10000, 600, 6, 30, 5}, SensorChoice::Size600},
        {"dead zone changed", SensorKind::DPK, 0, {0, 10000, 300, 3, 30, 6}, SensorChoice::Variabel},
        {"Pnom changed", SensorKind::DPK, 0, {0, 10000, 301, 3, 30, 5}, SensorChoice::Variabel},
        {"Pmin changed", SensorKind::DPK, 0, {1, 10000, 300, 3, 30, 5}, SensorChoice::Variabel},
        // 43512 / 145.0389 = 300.002 -> 300; 435 / 145.0389 = 2.9992 -> 3
        {"DPK-300 in uPSI", SensorKind::DPK, 2, {0, 10000, 43512, 435, 30, 5}, SensorChoice::Size300},
        // 43600 / 145.0389 = 300.6 -> 301
        {"uPSI off by 88", SensorKind::DPK, 2, {0, 10000, 43600, 435, 30, 5}, SensorChoice::Variabel},
        {"DSK3 table", SensorKind::DSK3, 0, {0, 10000, 300, 3, 50, 5}, SensorChoice::Size300},
        {"DSK3 value under DPK", SensorKind::DPK, 0, {0, 10000, 300, 3, 50, 5}, SensorChoice::Variabel},
        {"DPK value under DSK3", SensorKind::DSK3, 0, {0, 10000, 300, 3, 30, 5}, SensorChoice::Variabel},
        {"volume signal", SensorKind::VolumeSignal, 0, {0, 10000, 100, 1, 30, 5}, SensorChoice::None},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DetectSensorPreset(row.kind, row.shown, t, SensorFactor(row.kind, row.unit)),
                  row.expected)
            << row.name;
}

TEST(SensorPresets, ApplySensorPresetInDisplayUnits)
{
    const PresetTable t = testTable();
    // 300 * 145.0389 = 43511.67 -> 43512; 3 * 145.0389 = 435.12 -> 435
    const SensorSet s = ApplySensorPreset(SensorKind::DPK, SensorPreset300, t, SensorFactor(SensorKind::DPK, 2));
    EXPECT_EQ(s, (SensorSet{0, 10000, 43512, 435, 30, 5}));
    EXPECT_EQ(DetectSensorPreset(SensorKind::DPK, s, t, 145.0389), SensorChoice::Size300);
    EXPECT_EQ(ApplySensorPreset(SensorKind::DSK3, SensorPreset300, t, 1.0),
              (SensorSet{0, 10000, 300, 3, 50, 5}));

    EXPECT_EQ(SensorPresetCaptions(SensorKind::DPK), QStringList({"DPK-100", "DPK-300", "DPK-600"}));
    EXPECT_EQ(SensorPresetCaptions(SensorKind::DSK3), QStringList({"DSK3-100", "DSK3-300", "DSK3-600"}));
    EXPECT_TRUE(SensorPresetCaptions(SensorKind::VolumeSignal).isEmpty());
}

TEST(SensorPresets, Actuators)
{
    const PresetTable t = PresetTable::Defaults();
    struct Row {
        ActuatorSet a;
        ActuatorChoice expected;
    } rows[] = {
        {{2000, 10000, 2000, 10000, 5, true}, ActuatorChoice::HFX},
        {{2000, 10000, 2000, 10000, 120, false}, ActuatorChoice::RGT},
        {{2000, 10000, 2000, 10000, 60, false}, ActuatorChoice::Variabel}, // RGT run time 60 s
        {{2000, 10000, 2000, 10000, 5, false}, ActuatorChoice::Variabel},  // HFX, not linear
        {{2000, 10000, 2000, 10000, 120, true}, ActuatorChoice::Variabel}, // RGT, linear
        {{2000, 9000, 2000, 10000, 5, true}, ActuatorChoice::Variabel},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DetectActuatorPreset(row.a, t), row.expected) << row.a.LZAntrieb;
    EXPECT_EQ(ApplyActuatorPreset(ActuatorChoice::RGT, t), (ActuatorSet{2000, 10000, 2000, 10000, 120, false}));
    EXPECT_EQ(ApplyActuatorPreset(ActuatorChoice::HFX, t), (ActuatorSet{2000, 10000, 2000, 10000, 5, true}));
    // Any non-zero StellwSignLin is linear.
    PresetTable odd = t;
    odd.hfx.StellwSignLin = 7;
    EXPECT_EQ(DetectActuatorPreset({2000, 10000, 2000, 10000, 5, true}, odd), ActuatorChoice::HFX);
}

TEST(SensorPresets, RememberedSetPerSensorKind)
{
    const PresetTable t = PresetTable::Defaults();
    SensorTypeInput in;
    in.memory = SensorMemory::Initial(t);
    in.unitIndex = 0;
    in.oemTabActive = true;

    // A pressure sensor the user changed, then the volume signal.
    in.from = SensorKind::DPK;
    in.to = SensorKind::VolumeSignal;
    in.dialog = {0, 10000, 250, 2, 30, 5};
    in.oemSet = {0, 10000, 250, 2, 30, 5};
    SensorTypeResult r = ChooseSensorType(in, t);
    EXPECT_EQ(r.memory.druck, (TIniPresetSensor{0, 10000, 250, 2, 30, 5}));
    EXPECT_EQ(r.dialog, (SensorSet{0, 10000, 100, 1, 30, 5})); // the volume-signal preset
    EXPECT_EQ(r.sensorTyp, 1);
    EXPECT_FALSE(r.presetsVisible);
    EXPECT_FALSE(r.conductanceVisible);
    EXPECT_EQ(r.choice, SensorChoice::Variabel);
    EXPECT_TRUE(r.showDialog);

    // The volume signal changed, then DSK3: the pressure values come back.
    in.memory = r.memory;
    in.oemSet = r.oemSet;
    in.from = SensorKind::VolumeSignal;
    in.to = SensorKind::DSK3;
    in.dialog = {0, 10000, 120, 1, 30, 5};
    in.oemTabActive = false;
    r = ChooseSensorType(in, t);
    EXPECT_EQ(r.memory.vs, (TIniPresetSensor{0, 10000, 120, 1, 30, 5}));
    EXPECT_EQ(r.dialog, (SensorSet{0, 10000, 250, 2, 30, 5}));
    EXPECT_EQ(r.sensorTyp, 2);
    EXPECT_TRUE(r.presetsVisible);
    EXPECT_TRUE(r.conductanceVisible);
    EXPECT_EQ(r.captions, QStringList({"DSK3-100", "DSK3-300", "DSK3-600"}));
    EXPECT_EQ(r.choice, SensorChoice::Variabel);
    EXPECT_FALSE(r.showDialog); // not on the OEM tab

    // DSK3 -> DPK keeps the pressure values as shown and leaves the volume-signal set alone.
    in.memory = r.memory;
    in.oemSet = r.oemSet;
    in.from = SensorKind::DSK3;
    in.to = SensorKind::DPK;
    in.dialog = {0, 10000, 300, 3, 30, 5}; // changed to the DPK-300 values meanwhile
    r = ChooseSensorType(in, t);
    EXPECT_EQ(r.dialog, (SensorSet{0, 10000, 300, 3, 30, 5}));
    EXPECT_EQ(r.memory.vs, (TIniPresetSensor{0, 10000, 120, 1, 30, 5}));
    EXPECT_EQ(r.choice, SensorChoice::Size300);
    EXPECT_EQ(r.captions, QStringList({"DPK-100", "DPK-300", "DPK-600"}));

    // And back to the volume signal: its remembered 120.
    in.memory = r.memory;
    in.oemSet = r.oemSet;
    in.from = SensorKind::DPK;
    in.to = SensorKind::VolumeSignal;
    in.dialog = r.dialog;
    r = ChooseSensorType(in, t);
    EXPECT_EQ(r.dialog.Pnom, 120);
}

TEST(SensorPresets, SwitchingKindsInLitresPerSecondDoesNotDrift)
{
    // A volume-signal Pnom of 1000 m³/h shows as 278 l/s; 278 * 3.6 = 1000.8 would store 1001.
    const PresetTable t = PresetTable::Defaults();
    SensorTypeInput in;
    in.unitIndex = 1;
    in.memory = SensorMemory::Initial(t);
    in.oemSet = {0, 10000, 1000, 10, 30, 5};
    in.dialog = ShowSensorSet(in.oemSet, SensorFactor(SensorKind::VolumeSignal, 1));
    EXPECT_EQ(in.dialog.Pnom, 278); // 1000 / 3.6 = 277.8
    EXPECT_EQ(in.dialog.Ptot, 3);   // 10 / 3.6 = 2.78
    SensorKind cur = SensorKind::VolumeSignal;
    for (int i = 0; i < 10; ++i) {
        in.from = cur;
        in.to = cur == SensorKind::VolumeSignal ? SensorKind::DPK : SensorKind::VolumeSignal;
        const SensorTypeResult r = ChooseSensorType(in, t);
        in.memory = r.memory;
        in.oemSet = r.oemSet;
        in.dialog = r.dialog;
        cur = in.to;
    }
    ASSERT_EQ(cur, SensorKind::VolumeSignal);
    EXPECT_EQ(in.oemSet, (TIniPresetSensor{0, 10000, 1000, 10, 30, 5}));
    EXPECT_EQ(in.dialog.Pnom, 278);

    // A value the user typed is stored divided by the factor: 300 l/s -> 1080 m³/h.
    EXPECT_EQ(StoreSensorSet({0, 10000, 300, 3, 30, 5}, in.oemSet, 1 / 3.6).Pnom, 1080);
}
