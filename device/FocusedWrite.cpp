#include "device/FocusedWrite.h"

#include "common/Helpers.h"
#include "device/MemoryMap.h"
#include "device/OEMData.h"
#include "device/QVData.h"
#include "device/RecordBytes.h"
#include "device/VAVBetrieb.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

#include <algorithm>
#include <initializer_list>

namespace kadex {

using namespace recbytes;
namespace mm = memmap;

namespace {

bool among(const std::optional<FieldId>& f, std::initializer_list<FieldId> set)
{
    return f && std::find(set.begin(), set.end(), *f) != set.end();
}

} // namespace

FocusGroup OEMFocusGroup(const FocusedValue& focus)
{
    const auto& f = focus.field;
    if (focus.sensorDialog)
        return FocusGroup::SensorDialog;
    if (among(f, {fld::EditVnomM3}))
        return FocusGroup::Vnom;
    if (among(f, {fld::EditVAVLwErmittelt}))
        return FocusGroup::Leitwert;
    if (among(f, {fld::RadioButtonDPK100, fld::RadioButtonDPK300, fld::RadioButtonDPK600, fld::RadioButtonDPKVariabel,
                  fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDSK3Druck}))
        return FocusGroup::Sensor;
    if (among(f, {fld::RadioButtonAntr_HFX_ST, fld::RadioButtonAntr_RGT, fld::RadioButtonAntr_Variabel}))
        return FocusGroup::Antrieb;
    if (among(f, {fld::EditOEMInputOptAnzeige}))
        return FocusGroup::OEMTextOpt;
    if (among(f, {fld::EditOEMInputOEM}))
        return FocusGroup::OEMText;
    if (among(f, {fld::EditPositionInput_OEM}))
        return FocusGroup::PositionText;
    if (among(f, {fld::RadioButtonMode_W1_2_10V_OEM, fld::RadioButtonMode_W1_0_10V_OEM, fld::RadioButtonMode_W1_OEM}))
        return FocusGroup::InputRanges;
    if (among(f, {fld::EditVmaxM3_OEM, fld::EditVminM3_OEM}))
        return FocusGroup::FlowLevels;
    return FocusGroup::None;
}

FocusGroup QVFocusGroup(std::optional<FieldId> f)
{
    if (among(f, {fld::SpinEditSnrJahr, fld::SpinEditSnrWoche, fld::ComboBoxSnrTag, fld::SpinEditSnrNum,
                  fld::SpinEditSnrDevFam, fld::SpinEditSnrTestStation, fld::SpinEditSnrSuffix, fld::EditSerNrInput}))
        return FocusGroup::QVSerial;
    if (among(f, {fld::RadioButtonVAVSensorIntern, fld::RadioButtonVAVSensorExtern}))
        return FocusGroup::QVSensor;
    if (among(f, {fld::EditVAVK}))
        return FocusGroup::QVK;
    if (among(f, {fld::SpinEditVAVT1}))
        return FocusGroup::QVT1;
    if (among(f, {fld::SpinEditVAVTv}))
        return FocusGroup::QVTv;
    if (among(f, {fld::SpinEditVAVTn}))
        return FocusGroup::QVTn;
    if (among(f, {fld::CheckBoxVAVAdaptiv}))
        return FocusGroup::QVAdaptiv;
    return FocusGroup::None;
}

TFocusedWrite::TFocusedWrite(TDeviceContext& ctx, TVAVBetrieb& betrieb, TOEMData& oem, TQVData& qv)
    : ctx_(ctx), betrieb_(betrieb), oem_(oem), qv_(qv), zb_(ctx.zb), m_(ctx.model)
{
}

// Labels that only the layout holds have no model field; their German caption stands in.
QString TFocusedWrite::caption(const char* name, const char* fallback) const
{
    const auto f = fieldByName(QString::fromLatin1(name));
    if (f && m_.has(*f))
        return m_.caption(*f).remove(QLatin1Char('&'));
    return QString::fromUtf8(fallback);
}

void TFocusedWrite::show(const QString& caption, const QString& suffix)
{
    m_.setCaption(fld::PanelProgStatus, caption + suffix);
}

// The text the controller now holds, into the identification pane.
bool TFocusedWrite::readBackText(bool position)
{
    uint16_t oemAdr = 0, posAdr = 0, typeAdr = 0;
    if (!zb_.GetTextAddresses(oemAdr, posAdr, typeAdr))
        return false;
    QString text;
    const bool r = zb_.ReadText16(position ? posAdr : oemAdr, text);
    if (position)
        TraceMain.TraceText(u"Read sOEM", text);
    if (r)
        m_.setText(position ? fld::EditPosition : fld::EditOEM, TrimRight(text));
    m_.setEnabled(position ? fld::LabelPosition : fld::LabelOEM, r);
    return r;
}

bool TFocusedWrite::WriteConfigPartOEM(const FocusedValue& focus)
{
    TraceMethodScope scope(TraceMain, u"TOEMData", u"WriteConfigPart");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    const uint16_t fw = ctx_.FirmwareVersion.load();
    const FocusGroup group = OEMFocusGroup(focus);
    const TOEM_Data rec = oem_.MaskToOEMDataRecord();
    TOEM_Data& hw = oem_.OEM_Data_HW;
    const QString suffix = QLatin1Char(' ') + m_.caption(fld::ButtonSetzen).remove(QLatin1Char('&')).toLower();
    const QString status = m_.caption(fld::PanelProgStatus);
    MemWriter wr(zb_);

    uint8_t pw[4] = {};
    wr.ok = zb_.ReadMem(mm::Password, 4, pw);
    if (wr.ok)
        wr.ok = zb_.Unlock(be32(pw) & 0xFFFFu);
    TraceMain.TraceBool(u"Unlock successful", wr.ok);
    const bool unlocked = wr.ok;

    // The sensor values one by one; a failed one ends the rest.
    auto pmin = [&] {
        show(m_.caption(fld::LabelVAVPmin), suffix);
        if (wr.be16(mm::Pmin, rec.Pmin))
            hw.Pmin = rec.Pmin;
    };
    auto pmax = [&] {
        show(m_.caption(fld::LabelVAVPmax), suffix);
        if (wr.be16(mm::Pmax, rec.Pmax))
            hw.Pmax = rec.Pmax;
    };
    auto pnom = [&] {
        show(m_.caption(fld::LabelVAVPnom), suffix);
        if (wr.be16(mm::Pnom, rec.Pnom))
            hw.Pnom = rec.Pnom;
    };
    auto ptot = [&] {
        show(m_.caption(fld::LabelVAVPtot), suffix);
        if (wr.be16(mm::Ptot, rec.Ptot))
            hw.Ptot = rec.Ptot;
    };
    auto pverz = [&] {
        show(m_.caption(fld::LabelVAVPverz), suffix);
        if (wr.be16(mm::Pverz, rec.Pverz))
            hw.Pverz = rec.Pverz;
    };
    auto vtot = [&] {
        show(m_.caption(fld::LabelVAVVtot), suffix);
        if (wr.be16(mm::Vtot, rec.Vtot))
            hw.Vtot = rec.Vtot;
    };

    bool konstanten = false;
    switch (group) {
    case FocusGroup::Vnom:
        if (!wr.ok)
            break;
        show(m_.caption(fld::LabelVnomM3), suffix);
        if (wr.be16(mm::Vnom, rec.Vnom)) {
            hw.Vnom = rec.Vnom;
            betrieb_.HW.VnomM3 = rec.Vnom;
        }
        konstanten = true;
        break;
    case FocusGroup::Leitwert: {
        if (!wr.ok)
            break;
        show(caption("LabelVAVLwErmittelt", "ermittelt"), suffix);
        if (fw >= mm::FwKonstanten)
            wr.be32(mm::Leitwert32, rec.Leitwert);
        const uint32_t lw16 = std::min<uint32_t>(rec.Leitwert / 10, 65535);
        if (wr.be16(mm::Leitwert16, static_cast<uint16_t>(lw16))) {
            // Without the 32-bit cell the device keeps only tens.
            if (fw < mm::FwKonstanten)
                hw.Leitwert = lw16 * 10;
            m_.setText(fld::EditVAVLwAktiv, m_.text(fld::EditVAVLwErmittelt));
        }
        konstanten = true;
        break;
    }
    case FocusGroup::Sensor:
        if (!wr.ok)
            break;
        show(caption("GroupBoxVAVSensorTyp", "Fühlertyp"), suffix);
        if (wr.u8(mm::SensorTyp, static_cast<uint8_t>(rec.SensorTyp)))
            hw.SensorTyp = rec.SensorTyp;
        if (wr.ok)
            pmin();
        if (wr.ok)
            pmax();
        if (wr.ok)
            pnom();
        if (wr.ok)
            ptot();
        if (wr.ok)
            pverz();
        if (wr.ok)
            vtot();
        break;
    case FocusGroup::Antrieb: {
        struct Single {
            FieldId label;
            uint16_t addr;
            uint16_t value;
            uint16_t TOEM_Data::*hwField;
        };
        const Single singles[] = {{fld::LabelVAVYmin, mm::Ymin, rec.Ymin, &TOEM_Data::Ymin},
                                  {fld::LabelVAVYmax, mm::Ymax, rec.Ymax, &TOEM_Data::Ymax},
                                  {fld::LabelVAVYRmin, mm::YRmin, rec.YRmin, &TOEM_Data::YRmin},
                                  {fld::LabelVAVYRmax, mm::YRmax, rec.YRmax, &TOEM_Data::YRmax}};
        for (const Single& s : singles) {
            if (!wr.ok)
                break;
            show(m_.caption(s.label), suffix);
            if (wr.be16(s.addr, s.value))
                hw.*s.hwField = s.value;
        }
        if (wr.ok) {
            const bool linear = rec.StellwSignLin == 1;
            show(m_.caption(linear ? fld::RadioButtonVAVYLinear : fld::RadioButtonVAVY2_10V), suffix);
            if (wr.u8(mm::ConfigFlags, linear ? 1 : 3))
                hw.StellwSignLin = rec.StellwSignLin;
        }
        if (wr.ok) {
            show(m_.caption(fld::LabelLZAntrieb), suffix);
            if (wr.be16(mm::LZAntrieb, rec.tLZAntrieb))
                hw.tLZAntrieb = rec.tLZAntrieb;
        }
        break;
    }
    case FocusGroup::OEMTextOpt:
    case FocusGroup::OEMText: {
        if (!wr.ok)
            break;
        show(caption("LabelOEMInput_OEM", "OEM"), suffix);
        const QString text = group == FocusGroup::OEMTextOpt ? rec.OEMText : m_.text(fld::EditOEMInputOEM);
        if ((wr.ok = zb_.WriteText16(mm::OEMText, text)))
            hw.OEMText = TrimRight(text.left(16));
        if (wr.ok)
            wr.ok = readBackText(false);
        break;
    }
    case FocusGroup::PositionText: {
        if (!wr.ok)
            break;
        show(caption("LabelPositionInput_OEM", "Position"), suffix);
        const QString text = m_.text(fld::EditPositionInput_OEM);
        TraceMain.TraceText(u"Writing EditPositionInput_OEM", text);
        if ((wr.ok = zb_.WriteText16(mm::PositionText, text))) {
            TraceMain.TraceMessage(u"Setting VAVBetrieb.PosText");
            betrieb_.HW.PosText = TrimRight(text.left(16));
        }
        if (wr.ok)
            wr.ok = readBackText(true);
        break;
    }
    case FocusGroup::InputRanges:
        if (!wr.ok)
            break;
        show(QStringLiteral("W1, U5"), suffix);
        wr.ok = betrieb_.SetW1MinW1Max();
        if (wr.ok)
            wr.ok = betrieb_.SetU5MinU5Max();
        break;
    case FocusGroup::FlowLevels:
        if (!wr.ok)
            break;
        show(QStringLiteral("V'min, V'mid, V'max"), suffix);
        wr.ok = betrieb_.SetVminVmidVmax();
        break;
    case FocusGroup::SensorDialog: {
        if (rec.SensorTyp == SENSOR_VS)
            oem_.StoreSensorSetVS();
        else
            oem_.StoreSensorSetDruck();
        // Made whatever the handshake gave; its result is not the operation's.
        const bool before = wr.ok;
        wr.ok = true;
        const auto& f = focus.field;
        if (among(f, {fld::SpinEditVAVPmin}))
            pmin();
        else if (among(f, {fld::SpinEditVAVPmax}))
            pmax();
        else if (among(f, {fld::SpinEditVAVPnom}))
            pnom();
        else if (among(f, {fld::SpinEditVAVPtot}))
            ptot();
        else if (among(f, {fld::SpinEditVAVPverz}))
            pverz();
        else if (among(f, {fld::SpinEditVAVVtot}))
            vtot();
        if (!wr.ok)
            oem_.hwKnown_ = false;
        wr.ok = before;
        break;
    }
    default:
        break;
    }

    if (konstanten && fw >= mm::FwKonstanten && wr.ok) {
        const TKonstanten k = oem_.CalcKonstanten(rec);
        TraceMain.TraceInt(u"KonstVnom", k.KonstVnom);
        TraceMain.TraceText(u"KonstWurzel", QString::number(k.KonstWurzel));
        TraceMain.TraceInt(u"KonstPtot", k.KonstPtot);
        wr.be32(mm::KonstVnom, static_cast<uint32_t>(k.KonstVnom));
        wr.floatLe(mm::KonstWurzel, k.KonstWurzel);
        if (wr.be32(mm::KonstPtot, static_cast<uint32_t>(k.KonstPtot))) {
            if (group == FocusGroup::Leitwert)
                hw.Leitwert = rec.Leitwert;
            else
                hw.Vnom = rec.Vnom;
        }
    }

    // A transfer that failed may still have been taken: the copy no longer tells.
    if (unlocked && !wr.ok)
        oem_.hwKnown_ = false;
    m_.setCaption(fld::PanelProgStatus, status);
    zb_.Lock();
    TraceMain.TraceBool(u"Writing of data successful", wr.ok);
    return wr.ok;
}

bool TFocusedWrite::WriteConfigPartQV(std::optional<FieldId> field)
{
    TraceMethodScope scope(TraceMain, u"TQVData", u"WriteConfigPart");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    const auto ini = CurrentToolIni();
    const TIniQV& qv = ini->QV;
    setSpin(m_, fld::SpinEditSnrDevFam, qv.SnrDevFam);
    setSpin(m_, fld::SpinEditSnrSuffix, qv.SnrSuffix);
    const FocusGroup group = QVFocusGroup(field);
    const TQV_Data rec = qv_.MaskToQVDataRecord();
    TQV_Data& hw = qv_.QV_Data_HW;
    const QString suffix = QLatin1Char(' ') + m_.caption(fld::ButtonSetzen).remove(QLatin1Char('&')).toLower();
    const QString status = m_.caption(fld::PanelProgStatus);
    MemWriter wr(zb_);

    // The serial number read refreshes the device key.
    wr.ok = betrieb_.ReadSerNr();
    if (wr.ok)
        wr.ok = zb_.Unlock(betrieb_.DeviceKey);
    TraceMain.TraceBool(u"Unlock successful", wr.ok);
    const bool unlocked = wr.ok;
    wr.be16(mm::BetrOn, qv.BetrOn);
    wr.be16(mm::BetrRun, qv.BetrRun);

    switch (group) {
    case FocusGroup::QVSerial:
        if (!wr.ok)
            break;
        show(caption("GroupBoxSerNr", "Seriennummer"), suffix);
        if (wr.be16(mm::SnrYearWeek, rec.SnrYearWeek))
            hw.SnrYearWeek = rec.SnrYearWeek;
        if (wr.be16(mm::SnrDaySnr, rec.SnrDaySnr))
            hw.SnrDaySnr = rec.SnrDaySnr;
        if (wr.u8(mm::SnrSuffix, static_cast<uint8_t>(rec.SnrSuffix)))
            hw.SnrSuffix = rec.SnrSuffix;
        if (wr.u8(mm::SnrDevFam, static_cast<uint8_t>(rec.SnrDevFam)))
            hw.SnrDevFam = rec.SnrDevFam;
        if (wr.u8(mm::SnrTestStation, static_cast<uint8_t>(rec.SnrTestStation)))
            hw.SnrTestStation = rec.SnrTestStation;
        // The identification shows the new serial number.
        if (wr.ok)
            wr.ok = betrieb_.ReadSerNr();
        break;
    case FocusGroup::QVSensor: {
        if (!wr.ok)
            break;
        const bool intern = rec.SensorIntern == 1;
        show(m_.caption(intern ? fld::RadioButtonVAVSensorIntern : fld::RadioButtonVAVSensorExtern), suffix);
        // Bits 1 to 7 of the flags byte are the device's; only bit 0 is this choice.
        uint8_t flags = 0;
        wr.ok = zb_.ReadMem(mm::QvFlags, 1, &flags);
        if (wr.u8(mm::QvFlags, static_cast<uint8_t>((flags & ~1u) | (intern ? 0u : 1u))))
            hw.SensorIntern = rec.SensorIntern;
        break;
    }
    case FocusGroup::QVK:
        if (!wr.ok)
            break;
        show(caption("LabelVAVK", "K"), suffix);
        if (wr.floatLe(mm::K, rec.K))
            hw.K = rec.K;
        break;
    case FocusGroup::QVT1:
    case FocusGroup::QVTv:
    case FocusGroup::QVTn: {
        if (!wr.ok)
            break;
        const bool t1 = group == FocusGroup::QVT1, tv = group == FocusGroup::QVTv;
        show(t1 ? caption("LabelVAVT1", "T1") : tv ? caption("LabelVAVTv", "Tv") : caption("LabelVAVTn", "Tn"),
             suffix);
        const uint16_t addr = t1 ? mm::T1 : tv ? mm::Tv : mm::Tn;
        uint16_t TQV_Data::*member = t1 ? &TQV_Data::T1 : tv ? &TQV_Data::Tv : &TQV_Data::Tn;
        if (wr.be16(addr, rec.*member))
            hw.*member = rec.*member;
        break;
    }
    case FocusGroup::QVAdaptiv:
        if (!wr.ok)
            break;
        show(m_.caption(fld::CheckBoxVAVAdaptiv), suffix);
        if (wr.u8(mm::Adaptiv, static_cast<uint8_t>(rec.Adaptiv)))
            hw.Adaptiv = rec.Adaptiv;
        break;
    default:
        break;
    }

    if (unlocked && !wr.ok)
        qv_.hwKnown_ = false;
    m_.setCaption(fld::PanelProgStatus, status);
    zb_.Lock();
    TraceMain.TraceBool(u"Writing of data successful", wr.ok);
    return wr.ok;
}

} // namespace kadex
