#include "core/SensorPresets.h"

#include "common/Helpers.h"
#include "common/Units.h"

namespace kadex::sensor {

int SensorTypCode(SensorKind k) { return k == SensorKind::VolumeSignal ? 1 : 2; }

double SensorFactor(SensorKind k, int unitIndex)
{
    return k == SensorKind::VolumeSignal ? FlowFactor(unitIndex) : PressureFactor(unitIndex);
}

PresetTable PresetTable::FromToolSettings()
{
    PresetTable t;
    for (int i = 0; i < 3; ++i) {
        t.dpk[i] = IniPresetDPK[i];
        t.dsk3[i] = IniPresetDSK3[i];
    }
    t.vs = IniPresetVS;
    t.hfx = IniPresetHFX;
    t.rgt = IniPresetRGT;
    return t;
}

PresetTable PresetTable::Defaults()
{
    PresetTable t;
    const int32_t size[3] = {100, 300, 600};
    for (int i = 0; i < 3; ++i) {
        t.dpk[i] = {0, 10000, size[i], size[i] / 100, 30, 5};
        t.dsk3[i] = t.dpk[i];
    }
    t.vs = {0, 10000, 100, 1, 30, 5};
    t.hfx = {2000, 10000, 2000, 10000, 5, 1};
    t.rgt = {2000, 10000, 2000, 10000, 120, 0};
    return t;
}

const TIniPresetSensor& PresetTable::pressure(SensorKind k, SensorPresetSize size) const
{
    return k == SensorKind::DSK3 ? dsk3[size] : dpk[size];
}

QStringList SensorPresetCaptions(SensorKind k)
{
    switch (k) {
    case SensorKind::DPK:
        return {QStringLiteral("DPK-100"), QStringLiteral("DPK-300"), QStringLiteral("DPK-600")};
    case SensorKind::DSK3:
        return {QStringLiteral("DSK3-100"), QStringLiteral("DSK3-300"), QStringLiteral("DSK3-600")};
    case SensorKind::VolumeSignal: break;
    }
    return {};
}

SensorSet ShowSensorSet(const TIniPresetSensor& d, double f)
{
    return {d.Pmin, d.Pmax, RoundHalfEven(d.Pnom * f), RoundHalfEven(d.Ptot * f), d.Pverz, d.Vtot};
}

static int32_t StoreValue(int32_t shown, int32_t anchor, double f)
{
    if (RoundHalfEven(anchor * f) == shown)
        return anchor;
    return f != 0 ? RoundHalfEven(shown / f) : 0;
}

TIniPresetSensor StoreSensorSet(const SensorSet& s, const TIniPresetSensor& anchor, double f)
{
    return {s.Pmin, s.Pmax, StoreValue(s.Pnom, anchor.Pnom, f), StoreValue(s.Ptot, anchor.Ptot, f),
            s.Pverz, s.Vtot};
}

SensorSet ApplySensorPreset(SensorKind k, SensorPresetSize size, const PresetTable& t, double f)
{
    return ShowSensorSet(t.pressure(k, size), f);
}

SensorChoice DetectSensorPreset(SensorKind k, const SensorSet& s, const PresetTable& t, double f)
{
    if (!IsPressure(k))
        return SensorChoice::None;
    const SensorPresetSize sizes[3] = {SensorPreset100, SensorPreset300, SensorPreset600};
    const SensorChoice choices[3] = {SensorChoice::Size100, SensorChoice::Size300,
                                     SensorChoice::Size600};
    for (int i = 0; i < 3; ++i) {
        const TIniPresetSensor& p = t.pressure(k, sizes[i]);
        if (s.Pmin == p.Pmin && s.Pmax == p.Pmax && s.Pverz == p.Pverz && s.Vtot == p.Vtot
            && f != 0 && RoundHalfEven(s.Pnom / f) == p.Pnom && RoundHalfEven(s.Ptot / f) == p.Ptot)
            return choices[i];
    }
    return SensorChoice::Variabel;
}

ActuatorSet ShowActuatorSet(const TIniPresetAntrieb& p)
{
    return {p.Ymin, p.Ymax, p.YRmin, p.YRmax, p.LZAntrieb, p.StellwSignLin != 0};
}

ActuatorSet ApplyActuatorPreset(ActuatorChoice c, const PresetTable& t)
{
    return ShowActuatorSet(c == ActuatorChoice::RGT ? t.rgt : t.hfx);
}

ActuatorChoice DetectActuatorPreset(const ActuatorSet& a, const PresetTable& t)
{
    if (a == ShowActuatorSet(t.hfx))
        return ActuatorChoice::HFX;
    if (a == ShowActuatorSet(t.rgt))
        return ActuatorChoice::RGT;
    return ActuatorChoice::Variabel;
}

SensorTypeAvailability AvailableSensorTypes(int firmwareNr, uint16_t firmwareVersion, int reglerFkt)
{
    return {firmwareNr > 307, firmwareVersion >= 0x0220 && reglerFkt == 1};
}

SensorMemory SensorMemory::Initial(const PresetTable& t)
{
    return {t.dpk[SensorPreset300], t.vs};
}

SensorTypeResult ChooseSensorType(const SensorTypeInput& in, const PresetTable& t)
{
    SensorTypeResult r;
    r.memory = in.memory;
    // Remember the values of the kind being left, in its own unit.
    const TIniPresetSensor stored =
        StoreSensorSet(in.dialog, in.oemSet, SensorFactor(in.from, in.unitIndex));
    if (IsPressure(in.from))
        r.memory.druck = stored;
    else
        r.memory.vs = stored;

    r.oemSet = IsPressure(in.to) ? r.memory.druck : r.memory.vs;
    r.sensorTyp = SensorTypCode(in.to);
    r.presetsVisible = IsPressure(in.to);
    r.captions = SensorPresetCaptions(in.to);
    r.conductanceVisible = IsPressure(in.to);
    r.dialog = ShowSensorSet(r.oemSet, SensorFactor(in.to, in.unitIndex));
    r.choice = IsPressure(in.to)
        ? DetectSensorPreset(in.to, r.dialog, t, SensorFactor(in.to, in.unitIndex))
        : SensorChoice::Variabel;
    r.showDialog = ShowVariableDialog(r.choice == SensorChoice::Variabel, in.oemTabActive);
    return r;
}

} // namespace kadex::sensor
