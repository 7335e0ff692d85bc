#include "device/OEMData.h"

#include "common/Helpers.h"
#include "device/Identify.h"
#include "device/MemoryMap.h"
#include "device/RecordBytes.h"
#include "device/VAVBetrieb.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

#include <algorithm>
#include <cmath>

namespace kadex {

using namespace recbytes;
namespace mm = memmap;

namespace {

constexpr char16_t kClass[] = u"TOEMData";

// Altitude (m), temperature (°C, signed) and humidity (%) as whole numbers, in this order.
void writeAmbientCells(WindowModel& m, MemWriter& wr)
{
    const int32_t hoehe = RoundHalfEven(GetFloatWert(m.text(fld::EditHoehe)));
    const int32_t temp = RoundHalfEven(GetFloatWert(m.text(fld::EditTemp)));
    const int32_t feuchte = RoundHalfEven(GetFloatWert(m.text(fld::EditFeuchte)));
    TraceMain.TraceInt(u"Height", hoehe);
    wr.be16(mm::Hoehe, u16(hoehe));
    TraceMain.TraceInt(u"Temp", temp);
    wr.be16(mm::Temp, static_cast<uint16_t>(static_cast<int16_t>(std::clamp(temp, -32768, 32767))));
    TraceMain.TraceInt(u"Feuchte", feuchte);
    wr.be16(mm::Feuchte, u16(feuchte));
}

TSensorSet presetSet(const TIniPresetSensor& p)
{
    return {u16(p.Pmin), u16(p.Pmax), u16(p.Pnom), u16(p.Ptot), u16(p.Pverz), u16(p.Vtot)};
}

bool sameActuator(const TOEM_Data& d, const TIniPresetAntrieb& p)
{
    return d.Ymin == p.Ymin && d.Ymax == p.Ymax && d.YRmin == p.YRmin && d.YRmax == p.YRmax &&
           d.StellwSignLin == static_cast<int16_t>(p.StellwSignLin) && d.tLZAntrieb == p.LZAntrieb;
}

} // namespace

TKonstanten CalcKonstanten(const TOEM_Data& rec, int reglerFkt)
{
    TKonstanten k;
    if (reglerFkt != 1 || rec.SensorTyp != SENSOR_DRUCK)
        return k;
    double lw = rec.Leitwert / 100.0;
    if (lw == 0)
        lw = 0.1;
    double rho = rec.Dichte / 1024.0;
    if (rho == 0)
        rho = 0.1;
    const double pn = rec.Pnom == 0 ? 1.0 : rec.Pnom;
    const double vn = rec.Vnom == 0 ? 1.0 : rec.Vnom;
    const double vp = std::sqrt(lw * lw * pn / rho); // flow at the nominal pressure
    k.KonstVnom = RoundHalfEven(vn * 1000 / vp);
    k.KonstWurzel = static_cast<float>(lw * 10000 / (vn * std::sqrt(rho)));
    k.KonstPtot = RoundHalfEven(std::sqrt(rec.Ptot / rho) * lw * 100 / vn * 100);
    return k;
}

TOEMData::TOEMData(TDeviceContext& ctx, TVAVBetrieb& betrieb)
    : ctx_(ctx), betrieb_(betrieb), zb_(ctx.zb), m_(ctx.model)
{
    InitOEMData();
}

double TOEMData::factorFor(int reglerFkt) const { return FunctionFactor(ctx_.UnitIndex.load(), reglerFkt); }

double TOEMData::sensorFactor(int sensorTyp) const
{
    const int u = ctx_.UnitIndex.load();
    return sensorTyp == SENSOR_DRUCK ? PressureFactor(u) : FlowFactor(u);
}

TSensorSet TOEMData::SensorSetOf(const TOEM_Data& d) { return {d.Pmin, d.Pmax, d.Pnom, d.Ptot, d.Pverz, d.Vtot}; }

void TOEMData::setSensorSet(TOEM_Data& d, const TSensorSet& s)
{
    d.Pmin = s[0];
    d.Pmax = s[1];
    d.Pnom = s[2];
    d.Ptot = s[3];
    d.Pverz = s[4];
    d.Vtot = s[5];
}

void TOEMData::InitOEMData()
{
    TraceMethodScope scope(TraceMain, kClass, u"InitOEMData");
    const auto ini = CurrentToolIni();
    if (m_.checked(fld::RadioButtonSensTypDruck)) {
        int size = SensorPreset300;
        if (m_.checked(fld::RadioButtonDPK100))
            size = SensorPreset100;
        else if (!m_.checked(fld::RadioButtonDPK300) && m_.checked(fld::RadioButtonDPK600))
            size = SensorPreset600;
        SensorSetDruck = presetSet(ini->PresetDPK[size]);
        setSensorSet(OEM_Data, SensorSetDruck);
        SensorSetVS = presetSet(ini->PresetVS);
    } else {
        SensorSetVS = presetSet(ini->PresetVS);
        setSensorSet(OEM_Data, SensorSetVS);
        SensorSetDruck = presetSet(ini->PresetDPK[SensorPreset300]);
    }
    OEM_Data.Password = OemPasswordValue(ini->Oem.Password);
    OEM_Data.Vnom = VnomDruck = VnomVS = ini->Oem.Vnom;
    OEM_Data.Leitwert = static_cast<uint32_t>(std::max(0, ini->Oem.Leitwert));
    OEM_Data.Dichte = u16(RoundHalfEven(ini->Oem.Dichte / 1000.0 * 1024));
    const bool rgt = !m_.checked(fld::RadioButtonAntr_HFX_ST) && m_.checked(fld::RadioButtonAntr_RGT);
    const TIniPresetAntrieb& a = rgt ? ini->PresetRGT : ini->PresetHFX;
    OEM_Data.Ymin = a.Ymin;
    OEM_Data.Ymax = a.Ymax;
    OEM_Data.YRmin = a.YRmin;
    OEM_Data.YRmax = a.YRmax;
    OEM_Data.tLZAntrieb = a.LZAntrieb;
    OEM_Data.StellwSignLin = static_cast<int16_t>(a.StellwSignLin);
    OEM_Data.ReglerFkt = static_cast<uint16_t>(ctx_.ReglerFkt.load() == 2 ? 2 : 1);
    OEM_Data.SensorTyp = SENSOR_DRUCK;
    OEM_Data.OEMText.clear();
    OEM_Data.FenwixText.clear();
    OEM_Data.DrucksensorTyp = 0;
}

void TOEMData::ShowOEMData()
{
    TraceMethodScope scope(TraceMain, kClass, u"ShowOEMData");
    {
        ChangesSuspended quiet(m_, {fld::EditPasswordInput, fld::EditVnomM3, fld::EditVnomM3Anz, fld::EditVAVLwAktiv,
                                    fld::EditVAVLwErmittelt, fld::EditVAVDichte, fld::RadioButtonSensTypDruck,
                                    fld::RadioButtonSensTypDSK3Druck, fld::RadioButtonSensTypVolumenstr,
                                    fld::SpinEditVAVPmin, fld::SpinEditVAVPmax, fld::SpinEditVAVPnom, fld::SpinEditVAVPtot,
                                    fld::SpinEditVAVPverz, fld::SpinEditVAVVtot, fld::SpinEditVAVYmin, fld::SpinEditVAVYmax,
                                    fld::SpinEditVAVYRmin, fld::SpinEditVAVYRmax, fld::RadioButtonVAVYLinear,
                                    fld::RadioButtonVAVY2_10V, fld::SpinEditLZAntrieb, fld::RadioButtonVolumenstrom,
                                    fld::RadioButtonDruckanwendung, fld::EditOEMInputOEM});
        OEMDataRecordToMask(OEM_Data);
    }
    if (OnActuatorPresetRefresh)
        OnActuatorPresetRefresh();
}

TOEM_Data TOEMData::MaskToOEMDataRecord() const
{
    TOEM_Data d;
    d.Password = OemPasswordValue(m_.text(fld::EditPasswordInput));
    d.ReglerFkt = m_.checked(fld::RadioButtonVolumenstrom) ? 1 : 2;
    d.Vnom = u16(m_.deviceValue(fld::EditVnomM3));
    // A negative conductance cannot be stored; the entry rules keep it out, this keeps it safe.
    d.Leitwert = static_cast<uint32_t>(std::max(0, GetIntFromString(m_.text(fld::EditVAVLwErmittelt), 100)));
    d.Dichte = u16(GetIntFromString(m_.text(fld::EditVAVDichte), 1024));
    d.Pmin = spinU16(m_, fld::SpinEditVAVPmin);
    d.Pmax = spinU16(m_, fld::SpinEditVAVPmax);
    d.Pverz = spinU16(m_, fld::SpinEditVAVPverz);
    d.Vtot = spinU16(m_, fld::SpinEditVAVVtot);
    const bool dpk = m_.checked(fld::RadioButtonSensTypDruck);
    const bool dsk3 = m_.checked(fld::RadioButtonSensTypDSK3Druck);
    d.SensorTyp = (dpk || dsk3) ? SENSOR_DRUCK : SENSOR_VS;
    d.DrucksensorTyp = dpk ? 1 : dsk3 ? 2 : OEM_Data_HW.DrucksensorTyp;
    d.Pnom = u16(m_.deviceValue(fld::SpinEditVAVPnom));
    d.Ptot = u16(m_.deviceValue(fld::SpinEditVAVPtot));
    d.Ymin = spinU16(m_, fld::SpinEditVAVYmin);
    d.Ymax = spinU16(m_, fld::SpinEditVAVYmax);
    d.YRmin = spinU16(m_, fld::SpinEditVAVYRmin);
    d.YRmax = spinU16(m_, fld::SpinEditVAVYRmax);
    d.StellwSignLin = m_.checked(fld::RadioButtonVAVYLinear) ? 1 : 0;
    d.tLZAntrieb = spinU16(m_, fld::SpinEditLZAntrieb);
    d.OEMText = m_.text(fld::EditOEMInputOpt);
    return d;
}

void TOEMData::showRecord(const TOEM_Data& rec)
{
    m_.setText(fld::EditPasswordInput, QString::number(rec.Password));
    m_.setDisplayFactor(fld::EditVnomM3, factorFor(rec.ReglerFkt));
    m_.setDeviceValue(fld::EditVnomM3, rec.Vnom);
    const QString lw = Fixed(rec.Leitwert / 100.0, 2);
    m_.setText(fld::EditVAVLwAktiv, lw);
    m_.setText(fld::EditVAVLwErmittelt, lw);
    m_.setText(fld::EditVAVDichte, Fixed(rec.Dichte / 1024.0, 3));

    if (rec.SensorTyp == SENSOR_DRUCK) {
        if (rec.DrucksensorTyp == 1)
            m_.setChecked(fld::RadioButtonSensTypDruck, true);
        else if (rec.DrucksensorTyp == 2)
            m_.setChecked(fld::RadioButtonSensTypDSK3Druck, true);
    } else {
        m_.setChecked(fld::RadioButtonSensTypVolumenstr, true);
    }
    const double f = sensorFactor(rec.SensorTyp);
    // Their maximum follows the unit: a device value must never be cut by the limit.
    const int32_t top = RoundHalfEven(f * 65535);
    for (const auto& [field, device] : {std::pair{fld::SpinEditVAVPnom, rec.Pnom}, std::pair{fld::SpinEditVAVPtot, rec.Ptot}}) {
        m_.setRange(field, 1, top);
        m_.setDisplayFactor(field, f);
        // The spin box cannot show 0: it shows its minimum, which is then what it holds.
        if (RoundHalfEven(device * f) < 1)
            m_.setFigure(field, 1);
        else
            m_.setDeviceValue(field, device);
    }
    setSpin(m_, fld::SpinEditVAVPmin, rec.Pmin);
    setSpin(m_, fld::SpinEditVAVPmax, rec.Pmax);
    setSpin(m_, fld::SpinEditVAVPverz, rec.Pverz);
    setSpin(m_, fld::SpinEditVAVVtot, rec.Vtot);

    setSpin(m_, fld::SpinEditVAVYmin, rec.Ymin);
    setSpin(m_, fld::SpinEditVAVYmax, rec.Ymax);
    setSpin(m_, fld::SpinEditVAVYRmin, rec.YRmin);
    setSpin(m_, fld::SpinEditVAVYRmax, rec.YRmax);
    m_.setChecked(rec.StellwSignLin == 1 ? fld::RadioButtonVAVYLinear : fld::RadioButtonVAVY2_10V, true);
    setSpin(m_, fld::SpinEditLZAntrieb, rec.tLZAntrieb);

    m_.setChecked(rec.ReglerFkt == 1 ? fld::RadioButtonVolumenstrom : fld::RadioButtonDruckanwendung, true);
    if (OnFunctionShown)
        OnFunctionShown();

    m_.setText(fld::EditOEMInputOEM, rec.OEMText);
    m_.setText(fld::EditVnomM3Anz, m_.text(fld::EditVnomM3));
    if (OnDetectPresets)
        OnDetectPresets();
}

void TOEMData::OEMDataRecordToMask(const TOEM_Data& rec)
{
    TraceMethodScope scope(TraceMain, kClass, u"OEMDataRecordToMask");
    showRecord(rec);
    OEM_Data_HW = rec;
    hwKnown_ = true;
    if (OnRecordShown)
        OnRecordShown(rec);
}

TOEM_Data TOEMData::DeviceCopyShown() const
{
    TOEM_Data d = OEM_Data_HW;
    d.Vnom = u16(RoundHalfEven(d.Vnom * factorFor(d.ReglerFkt)));
    const double f = sensorFactor(d.SensorTyp);
    d.Pnom = u16(RoundHalfEven(d.Pnom * f));
    d.Ptot = u16(RoundHalfEven(d.Ptot * f));
    return d;
}

// ------------------------------------------------------------------------ read

bool TOEMData::ReadConfig()
{
    TraceMethodScope scope(TraceMain, kClass, u"ReadConfig");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    const uint16_t fw = ctx_.FirmwareVersion.load();
    MemReader rd(zb_);
    TOEM_Data rec;

    rec.Password = rd.be32(mm::Password);
    rec.Vnom = rd.be16(mm::Vnom);
    rec.Vtot = rd.be16(mm::Vtot);
    if (fw >= mm::FwKonstanten)
        rec.Leitwert = rd.be32(mm::Leitwert32);
    else
        rec.Leitwert = rd.be16(mm::Leitwert16) * 10u;
    rec.Dichte = rd.be16(mm::Dichte);
    TraceMain.TraceMessage(u"Begin of computing pressure");
    const uint16_t hoehe = rd.be16(mm::Hoehe);
    const auto temp = static_cast<int16_t>(rd.be16(mm::Temp));
    const uint16_t feuchte = rd.be16(mm::Feuchte);
    const bool ambientRead = rd.ok;
    const bool ambientPlausible = hoehe <= 8800 && feuchte <= 100 && temp >= -148.6 && temp <= 10000;

    uint8_t b[6] = {};
    if (rd.read(mm::Pmin, 6, b)) {
        rec.Pmin = be16(b);
        rec.Pmax = be16(b + 2);
        rec.Pnom = be16(b + 4);
    }
    if (rd.read(mm::Ptot, 4, b)) {
        rec.Ptot = be16(b);
        rec.Pverz = be16(b + 2);
    }
    if (rd.read(mm::Ymin, 4, b)) {
        rec.Ymin = be16(b);
        rec.Ymax = be16(b + 2);
    }
    if (rd.read(mm::YRmin, 4, b)) {
        rec.YRmin = be16(b);
        rec.YRmax = be16(b + 2);
    }
    rec.StellwSignLin = (rd.u8(mm::ConfigFlags) & 0x02) == 0 ? 1 : 0;
    rec.tLZAntrieb = rd.be16(mm::LZAntrieb);
    rec.OEMText = rd.text16(mm::OEMText);
    rec.ReglerFkt = rd.u8(mm::Function) == 1 ? 2 : 1;
    rec.SensorTyp = (rd.u8(mm::SensorTyp) == 1 && fw >= mm::FwVolumensignal) ? SENSOR_VS : SENSOR_DRUCK;
    const uint8_t family = rd.u8(mm::DrucksensorTyp);
    rec.DrucksensorTyp = family;
    rec.FenwixText = rd.text16(mm::FenwixText);
    TraceMain.TraceBool(u"Reading of data successful", rd.ok);
    // A partial read would put the leftovers of failed transfers into the windows: keep
    // the windows and the device copy as they were.
    if (!rd.ok)
        return false;

    DrucksensorTypDevice = family;
    if (ambientRead && ambientPlausible) {
        m_.setText(fld::EditHoehe, QString::number(hoehe));
        m_.setText(fld::EditTemp, QString::number(temp));
        m_.setText(fld::EditFeuchte, QString::number(feuchte));
    }
    if (rec.ReglerFkt == 1)
        StoreVnomVS();
    else
        StoreVnomDruck();
    OEMDataRecordToMask(rec);
    if (rec.SensorTyp == SENSOR_VS)
        StoreSensorSetVS();
    else
        StoreSensorSetDruck();
    return true;
}

// ------------------------------------------------------------------------ write

bool TOEMData::WriteConfig()
{
    TraceMethodScope scope(TraceMain, kClass, u"WriteConfig");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    const uint16_t fw = ctx_.FirmwareVersion.load();
    TOEM_Data rec = MaskToOEMDataRecord();
    TOEM_Data& hw = OEM_Data_HW;
    // Until the chain completes the device holds a mixture; whether a failed transfer took
    // effect is unknown, so the copy must not compare equal.
    hwKnown_ = false;
    MemWriter wr(zb_);

    // Password handshake: the device takes configuration writes only after it.
    uint8_t pw[4] = {};
    wr.ok = zb_.ReadMem(mm::Password, 4, pw);
    if (wr.ok)
        wr.ok = zb_.Unlock(be32(pw) & 0xFFFFu);
    TraceMain.TraceBool(u"Unlock successful", wr.ok);

    if (wr.be16(mm::Vnom, rec.Vnom)) {
        betrieb_.HW.VnomM3 = rec.Vnom;
        hw.Vnom = rec.Vnom;
    }
    if (wr.be32(mm::Password, rec.Password))
        hw.Password = rec.Password;
    if (fw >= mm::FwKonstanten && wr.ok) {
        const TKonstanten k = CalcKonstanten(rec);
        TraceMain.TraceInt(u"KonstVnom", k.KonstVnom);
        TraceMain.TraceText(u"KonstWurzel", QString::number(k.KonstWurzel));
        TraceMain.TraceInt(u"KonstPtot", k.KonstPtot);
        wr.be32(mm::KonstVnom, static_cast<uint32_t>(k.KonstVnom));
        wr.floatLe(mm::KonstWurzel, k.KonstWurzel);
        wr.be32(mm::KonstPtot, static_cast<uint32_t>(k.KonstPtot));
    }
    if (wr.be16(mm::Vtot, rec.Vtot))
        hw.Vtot = rec.Vtot;
    if (fw >= mm::FwKonstanten)
        wr.be32(mm::Leitwert32, rec.Leitwert);
    const uint32_t lw16 = std::min<uint32_t>(rec.Leitwert / 10, 65535);
    if (wr.be16(mm::Leitwert16, static_cast<uint16_t>(lw16))) {
        // Without the 32-bit cell the device keeps only tens, at most 655350.
        hw.Leitwert = fw >= mm::FwKonstanten ? rec.Leitwert : lw16 * 10;
        m_.setText(fld::EditVAVLwAktiv, m_.text(fld::EditVAVLwErmittelt));
    }
    TraceMain.TraceInt(u"Pressure Data", rec.Dichte);
    if (wr.be16(mm::Dichte, rec.Dichte))
        hw.Dichte = rec.Dichte;

    writeAmbientCells(m_, wr);

    if (wr.be16(mm::Pmin, rec.Pmin))
        hw.Pmin = rec.Pmin;
    if (wr.be16x2(mm::Pmax, rec.Pmax, rec.Pnom)) {
        hw.Pmax = rec.Pmax;
        hw.Pnom = rec.Pnom;
    }
    if (wr.be16x2(mm::Ptot, rec.Ptot, rec.Pverz)) {
        hw.Ptot = rec.Ptot;
        hw.Pverz = rec.Pverz;
    }
    if (wr.be16x2(mm::Ymin, rec.Ymin, rec.Ymax)) {
        hw.Ymin = rec.Ymin;
        hw.Ymax = rec.Ymax;
    }
    if (wr.be16x2(mm::YRmin, rec.YRmin, rec.YRmax)) {
        hw.YRmin = rec.YRmin;
        hw.YRmax = rec.YRmax;
    }
    if (wr.u8(mm::ConfigFlags, rec.StellwSignLin == 1 ? 1 : 3))
        hw.StellwSignLin = rec.StellwSignLin;
    if (wr.be16(mm::LZAntrieb, rec.tLZAntrieb))
        hw.tLZAntrieb = rec.tLZAntrieb;
    const QString oemText = m_.checked(fld::RadioButtonOEMInputAnzeige) ? rec.OEMText : m_.text(fld::EditOEMInputOEM);
    if (wr.ok && (wr.ok = zb_.WriteText16(mm::OEMText, oemText)))
        hw.OEMText = TrimRight(oemText.left(16));
    if (wr.u8(mm::Function, rec.ReglerFkt == 1 ? 0 : 1))
        hw.ReglerFkt = rec.ReglerFkt;
    rec.FenwixText = ctx_.TypeTextFor(rec.ReglerFkt);
    if (wr.u8(mm::SensorTyp, static_cast<uint8_t>(rec.SensorTyp)))
        hw.SensorTyp = rec.SensorTyp;
    if (wr.u8(mm::DrucksensorTyp, static_cast<uint8_t>(rec.DrucksensorTyp))) {
        hw.DrucksensorTyp = rec.DrucksensorTyp;
        DrucksensorTypDevice = static_cast<uint8_t>(rec.DrucksensorTyp);
    }
    zb_.Lock();

    // The type text lies in the memory the device key opens.
    if (wr.ok) {
        wr.ok = zb_.Unlock(betrieb_.DeviceKey);
        if (wr.ok && (wr.ok = zb_.WriteText16(mm::FenwixText, rec.FenwixText)))
            hw.FenwixText = TrimRight(rec.FenwixText.left(16));
        zb_.Lock();
    }
    TraceMain.TraceBool(u"Writing of data successful", wr.ok);
    if (wr.ok) {
        hw = rec;
        hw.OEMText = TrimRight(oemText.left(16));
        hw.FenwixText = TrimRight(rec.FenwixText.left(16));
        if (fw < mm::FwKonstanten)
            hw.Leitwert = lw16 * 10;
        hwKnown_ = true;
    }
    return wr.ok;
}

// ------------------------------------------------------------------------ focused-value write

bool TOEMData::WriteConfigPartAmbient()
{
    TraceMethodScope scope(TraceMain, kClass, u"WriteConfigPart");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    const TOEM_Data rec = MaskToOEMDataRecord();
    const QString suffix = QLatin1Char(' ') + m_.caption(fld::ButtonSetzen).remove(QLatin1Char('&')).toLower();
    const QString status = m_.caption(fld::PanelProgStatus);
    MemWriter wr(zb_);

    uint8_t pw[4] = {};
    wr.ok = zb_.ReadMem(mm::Password, 4, pw);
    if (wr.ok)
        wr.ok = zb_.Unlock(be32(pw) & 0xFFFFu);
    TraceMain.TraceBool(u"Unlock successful", wr.ok);

    if (wr.ok) {
        m_.setCaption(fld::PanelProgStatus, m_.caption(fld::LabelDichte) + suffix);
        TraceMain.TraceMessage(u"Writing pressure data");
        TraceMain.TraceInt(u"Pressure Data", rec.Dichte);
        // A failed transfer may still have been taken: the copy no longer tells.
        if (wr.be16(mm::Dichte, rec.Dichte))
            OEM_Data_HW.Dichte = rec.Dichte;
        else
            hwKnown_ = false;
        writeAmbientCells(m_, wr);
        if (!wr.ok)
            hwKnown_ = false;
    }
    m_.setCaption(fld::PanelProgStatus, status);
    zb_.Lock();
    return wr.ok;
}

TKonstanten TOEMData::CalcKonstanten(const TOEM_Data& rec) const
{
    return kadex::CalcKonstanten(rec, ctx_.ReglerFkt.load());
}

// ------------------------------------------------------------------------ compare

bool TOEMData::IsPcHwEqual()
{
    TraceMethodScope scope(TraceMain, kClass, u"IsPcHwEqual");
    return Compare(false).empty();
}

FieldDifferences TOEMData::Compare(bool all)
{
    const TOEM_Data& hw = OEM_Data_HW;
    ComparisonWalk walk(all);
    FieldDifferences& out = walk.out;
    auto step = [&](const char16_t* text, bool eq, std::optional<FieldId> field, const QString& window,
                    const QString& device) { return walk.Step(text, eq, field, window, device); };
    auto note = [&](const char16_t* text, bool value) { walk.Note(text, value); };
    auto num = [&](FieldId f) { return QString::number(m_.value(f)); };
    auto radio = [&](const char16_t* text, FieldId f) {
        return step(text, m_.checked(f), f, QStringLiteral("not selected"), QStringLiteral("selected"));
    };
    // Nothing to compare against: stops both walks.
    if (!hwKnown_) {
        step(u"Device copy known", false, std::nullopt, QString(), QStringLiteral("unknown"));
        return out;
    }
    if (!all)
        TraceMain.TraceBool(u"Device copy known", true);
    if (!step(u"IntToStr(OEM_Data_HW.Password) = OptSetForm.EditPasswordInput.Text",
              QString::number(hw.Password) == m_.text(fld::EditPasswordInput), fld::EditPasswordInput,
              m_.text(fld::EditPasswordInput), QString::number(hw.Password)))
        return out;
    // A figure that is no whole number was never shown for a device value.
    bool isInt = false;
    m_.text(fld::EditVnomM3).toInt(&isInt, 10);
    if (!step(u"OEM_Data_HW.Vnom = StrToInt(MainForm.EditVnomM3.Text)",
              isInt && m_.deviceValue(fld::EditVnomM3) == hw.Vnom, fld::EditVnomM3, m_.text(fld::EditVnomM3),
              m_.deviceText(fld::EditVnomM3, hw.Vnom)))
        return out;
    const int32_t lw = GetIntFromString(m_.text(fld::EditVAVLwErmittelt), 100);
    if (!step(u"OEM_Data_HW.Leitwert = GetIntFromString(MainForm.EditVAVLwErmittelt.Text, 100)",
              lw >= 0 && static_cast<uint32_t>(lw) == hw.Leitwert, fld::EditVAVLwErmittelt,
              m_.text(fld::EditVAVLwErmittelt), QString::number(hw.Leitwert / 100.0)))
        return out;
    if (!step(u"OEM_Data_HW.Dichte = GetIntFromString(OptSetForm.EditVAVDichte.Text, 1024)",
              GetIntFromString(m_.text(fld::EditVAVDichte), 1024) == hw.Dichte, fld::EditVAVDichte,
              m_.text(fld::EditVAVDichte), QString::number(hw.Dichte / 1024.0)))
        return out;
    struct Spin {
        const char16_t* text;
        FieldId field;
        uint16_t hw;
    };
    const Spin spins[] = {
        {u"OEM_Data_HW.Pmin = SensorForm.SpinEditVAVPmin.Value", fld::SpinEditVAVPmin, hw.Pmin},
        {u"OEM_Data_HW.Pmax = SensorForm.SpinEditVAVPmax.Value", fld::SpinEditVAVPmax, hw.Pmax},
        {u"OEM_Data_HW.Pnom = SensorForm.SpinEditVAVPnom.Value", fld::SpinEditVAVPnom, hw.Pnom},
        {u"OEM_Data_HW.Ptot = SensorForm.SpinEditVAVPtot.Value", fld::SpinEditVAVPtot, hw.Ptot},
        {u"OEM_Data_HW.Pverz = SensorForm.SpinEditVAVPverz.Value", fld::SpinEditVAVPverz, hw.Pverz},
        {u"OEM_Data_HW.Vtot = SensorForm.SpinEditVAVVtot.Value", fld::SpinEditVAVVtot, hw.Vtot},
        {u"OEM_Data_HW.Ymin = AntriebForm.SpinEditVAVYmin.Value", fld::SpinEditVAVYmin, hw.Ymin},
        {u"OEM_Data_HW.Ymax = AntriebForm.SpinEditVAVYmax.Value", fld::SpinEditVAVYmax, hw.Ymax},
        {u"OEM_Data_HW.YRmin = AntriebForm.SpinEditVAVYRmin.Value", fld::SpinEditVAVYRmin, hw.YRmin},
        {u"OEM_Data_HW.YRmax = AntriebForm.SpinEditVAVYRmax.Value", fld::SpinEditVAVYRmax, hw.YRmax},
    };
    for (const Spin& s : spins) {
        // P'nom and P'schleichm. follow the unit set: compared as device values.
        const bool byDevice = m_.state(s.field).isNumber();
        const bool eq = byDevice ? m_.deviceValue(s.field) == s.hw : m_.value(s.field) == s.hw;
        if (!step(s.text, eq, s.field, num(s.field), byDevice ? m_.deviceText(s.field, s.hw) : QString::number(s.hw)))
            return out;
    }
    const bool linear = hw.StellwSignLin == 1;
    note(u"OEM_Data_HW.StellwSignLin = 1", linear);
    if (linear ? !radio(u"AntriebForm.RadioButtonVAVYLinear.Checked", fld::RadioButtonVAVYLinear)
               : !radio(u"AntriebForm.RadioButtonVAVY2_10V.Checked", fld::RadioButtonVAVY2_10V))
        return out;
    if (!step(u"OEM_Data_HW.tLZAntrieb = AntriebForm.SpinEditLZAntrieb.Value",
              m_.value(fld::SpinEditLZAntrieb) == hw.tLZAntrieb, fld::SpinEditLZAntrieb, num(fld::SpinEditLZAntrieb),
              QString::number(hw.tLZAntrieb)))
        return out;
    const QString shownOem = m_.text(fld::EditOEM);
    const FieldId oemInput =
        m_.checked(fld::RadioButtonOEMInputAnzeige) ? fld::EditOEMInputOptAnzeige : fld::EditOEMInputOEM;
    if (!step(oemInput == fld::EditOEMInputOptAnzeige ? u"MainForm.EditOEMInputOptAnzeige.Text = MainForm.EditOEM.Text"
                                                      : u"MainForm.EditOEMInputOEM.Text = MainForm.EditOEM.Text",
              m_.text(oemInput) == shownOem, oemInput, m_.text(oemInput), shownOem))
        return out;
    const bool volumeFlow = hw.ReglerFkt == 1;
    note(u"OEM_Data_HW.ReglerFkt = 1", volumeFlow);
    if (volumeFlow) {
        if (!radio(u"RegFktForm.RadioButtonVolumenstrom.Checked", fld::RadioButtonVolumenstrom))
            return out;
        if (!step(u"OEM_Data_HW.FenwixText = FenwixText", hw.FenwixText == ctx_.TypeTextFor(1),
                  fld::RadioButtonVolumenstrom, ctx_.TypeTextFor(1), hw.FenwixText))
            return out;
    } else {
        if (!radio(u"RegFktForm.RadioButtonDruckanwendung.Checked", fld::RadioButtonDruckanwendung))
            return out;
        if (!step(u"OEM_Data_HW.FenwixText = FenwixTextKPR", hw.FenwixText == ctx_.TypeTextFor(2),
                  fld::RadioButtonDruckanwendung, ctx_.TypeTextFor(2), hw.FenwixText))
            return out;
    }
    note(u"OEM_Data_HW.SensorTyp = SENSOR_VS", hw.SensorTyp == SENSOR_VS);
    if (hw.SensorTyp == SENSOR_VS)
        radio(u"MainForm.RadioButtonSensTypVolumenstr.Checked", fld::RadioButtonSensTypVolumenstr);
    else if (hw.SensorTyp == SENSOR_DRUCK && hw.DrucksensorTyp == 2)
        radio(u"MainForm.RadioButtonSensTypDSK3Druck.Checked", fld::RadioButtonSensTypDSK3Druck);
    else if (hw.SensorTyp == SENSOR_DRUCK)
        radio(u"MainForm.RadioButtonSensTypDruck.Checked", fld::RadioButtonSensTypDruck);
    return out;
}

// ------------------------------------------------------------------------ remembered values

uint16_t TOEMData::storeVnom(double factor)
{
    const uint16_t v = u16(RoundHalfEven(Trunc(GetFloatWert(m_.text(fld::EditVnomM3))) / factor));
    OEM_Data.Vnom = v;
    return v;
}

void TOEMData::StoreVnomDruck() { VnomDruck = storeVnom(PressureFactor(ctx_.UnitIndex.load())); }
void TOEMData::StoreVnomVS() { VnomVS = storeVnom(FlowFactor(ctx_.UnitIndex.load())); }

TSensorSet TOEMData::storeSensorSet(double factor)
{
    OEM_Data.Pmin = spinU16(m_, fld::SpinEditVAVPmin);
    OEM_Data.Pmax = spinU16(m_, fld::SpinEditVAVPmax);
    OEM_Data.Pverz = spinU16(m_, fld::SpinEditVAVPverz);
    OEM_Data.Vtot = spinU16(m_, fld::SpinEditVAVVtot);
    OEM_Data.Pnom = u16(RoundHalfEven(m_.value(fld::SpinEditVAVPnom) / factor));
    OEM_Data.Ptot = u16(RoundHalfEven(m_.value(fld::SpinEditVAVPtot) / factor));
    return SensorSetOf(OEM_Data);
}

void TOEMData::StoreSensorSetDruck() { SensorSetDruck = storeSensorSet(PressureFactor(ctx_.UnitIndex.load())); }
void TOEMData::StoreSensorSetVS() { SensorSetVS = storeSensorSet(FlowFactor(ctx_.UnitIndex.load())); }

bool TOEMData::IsSensorVariabel() const
{
    const TSensorSet s = SensorSetOf(OEM_Data_HW);
    const auto ini = CurrentToolIni();
    for (const TIniPresetSensor& p : ini->PresetDPK)
        if (s == presetSet(p))
            return false;
    return true;
}

bool TOEMData::IsAntriebVariabel() const
{
    const auto ini = CurrentToolIni();
    return !sameActuator(OEM_Data_HW, ini->PresetHFX) && !sameActuator(OEM_Data_HW, ini->PresetRGT);
}

} // namespace kadex
