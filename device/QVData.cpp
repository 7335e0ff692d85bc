#include "device/QVData.h"

#include "common/Helpers.h"
#include "device/MemoryMap.h"
#include "device/RecordBytes.h"
#include "device/VAVBetrieb.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

#include <charconv>
#include <cmath>

namespace kadex {

using namespace recbytes;
namespace mm = memmap;

namespace {

constexpr char16_t kClass[] = u"TQVData";

QString pad(int v, int width) { return PadLeft(QString::number(v), QStringLiteral("0"), width); }

} // namespace

// ------------------------------------------------------------------------ serial text

TSerialToControl::TSerialToControl(const QString& text) : Text(text), TextLen(static_cast<int>(text.size())) {}

const std::vector<TSerialToControl::Target>& TSerialToControl::Targets()
{
    static const std::vector<Target> t = {
        {3, 1, 3, fld::SpinEditSnrJahr},   {5, 4, 2, fld::SpinEditSnrWoche},
        {7, 7, 1, fld::ComboBoxSnrTag},    {11, 8, 4, fld::SpinEditSnrNum},
        {15, 13, 3, fld::SpinEditSnrDevFam}, {19, 17, 3, fld::SpinEditSnrTestStation},
    };
    return t;
}

int TSerialToControl::Part(const Target& t) const
{
    const QString s = Text.mid(t.StartPos - 1, t.Count);
    if (s.size() != t.Count)
        return -1;
    int v = 0;
    for (QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        v = v * 10 + (c.unicode() - '0');
    }
    return v;
}

void TSerialToControl::Apply(WindowModel& m) const
{
    for (const Target& t : Targets()) {
        if (TextLen < t.MinLen)
            continue;
        const int v = Part(t);
        if (v < 0)
            continue;
        if (t.target == fld::ComboBoxSnrTag)
            m.setItemIndex(t.target, v);
        else
            setSpin(m, t.target, v);
    }
}

// ------------------------------------------------------------------------ record

TQVData::TQVData(TDeviceContext& ctx, TVAVBetrieb& betrieb) : ctx_(ctx), betrieb_(betrieb), zb_(ctx.zb), m_(ctx.model)
{
    // SpinEditSnrNum ends at 5535 so that day 6 x 10000 + number stays below 65536.
    m_.setRange(fld::SpinEditSnrJahr, 0, 99);
    m_.setRange(fld::SpinEditSnrWoche, 1, 52);
    m_.setRange(fld::SpinEditSnrNum, 1, 5535);
    m_.setRange(fld::SpinEditSnrDevFam, 1, 255);
    m_.setRange(fld::SpinEditSnrTestStation, 1, 255);
    m_.setRange(fld::SpinEditSnrSuffix, 0, 255);
    InitQVData(QDate::currentDate());
}

bool TQVData::IsAddressCode(uint8_t code)
{
    switch (code) {
    case 0: case 1: case 4: case 8: case 12: case 128: case 132: case 136: case 140: return true;
    default: return false;
    }
}

QString TQVData::FloatText(float v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

void TQVData::InitQVData(const QDate& today)
{
    TraceMethodScope scope(TraceMain, kClass, u"InitQVData");
    // The last two characters of "dd.MM.yyyy" and the ISO week.
    const int yy = today.year() % 100;
    QV_Data.SnrYearWeek = static_cast<uint16_t>(yy * 100 + today.weekNumber());
    QV_Data.SnrDaySnr = static_cast<uint16_t>((today.dayOfWeek() - 1) * 10000 + 1);
    const auto ini = CurrentToolIni();
    const TIniQV& qv = ini->QV;
    QV_Data.SnrSuffix = qv.SnrSuffix;
    QV_Data.SnrDevFam = qv.SnrDevFam;
    QV_Data.SnrTestStation = qv.SnrTestStation;
    QV_Data.SensorIntern = static_cast<int16_t>(qv.SensorIntern);
    QV_Data.K = qv.K;
    QV_Data.T1 = qv.T1;
    QV_Data.Tv = qv.Tv;
    QV_Data.Tn = qv.Tn;
    QV_Data.Adaptiv = static_cast<int16_t>(qv.Adaptiv);
    QV_Data.KTa = static_cast<int16_t>(qv.KTa);
}

void TQVData::SetData()
{
    TraceMethodScope scope(TraceMain, kClass, u"SetData");
    ChangesSuspended quiet(m_, {fld::EditVAVK, fld::SpinEditVAVT1, fld::SpinEditVAVTv, fld::SpinEditVAVTn,
                                fld::CheckBoxVAVAdaptiv});
    QVDataRecordToMask(QV_Data);
}

TQV_Data TQVData::MaskToQVDataRecord() const
{
    TQV_Data d;
    d.K = static_cast<float>(GetFloatWert(m_.text(fld::EditVAVK)));
    d.T1 = spinU16(m_, fld::SpinEditVAVT1);
    d.Tv = spinU16(m_, fld::SpinEditVAVTv);
    d.Tn = spinU16(m_, fld::SpinEditVAVTn);
    d.Adaptiv = m_.checked(fld::CheckBoxVAVAdaptiv) ? 1 : 0;
    d.KTa = 1;
    d.SnrYearWeek = u16(std::llround(m_.value(fld::SpinEditSnrJahr) * 100 + m_.value(fld::SpinEditSnrWoche)));
    d.SnrDaySnr = u16(std::llround(m_.itemIndex(fld::ComboBoxSnrTag) * 10000.0 + m_.value(fld::SpinEditSnrNum)));
    d.SnrSuffix = spinU16(m_, fld::SpinEditSnrSuffix);
    d.SnrDevFam = spinU16(m_, fld::SpinEditSnrDevFam);
    d.SnrTestStation = spinU16(m_, fld::SpinEditSnrTestStation);
    d.SensorIntern = m_.checked(fld::RadioButtonVAVSensorIntern) ? 1 : 0;
    return d;
}

void TQVData::QVDataRecordToMask(const TQV_Data& rec)
{
    TraceMethodScope scope(TraceMain, kClass, u"QVDataRecordToMask");
    {
        ChangesSuspended quiet(m_, {fld::SpinEditSnrJahr, fld::SpinEditSnrWoche, fld::ComboBoxSnrTag, fld::SpinEditSnrNum,
                                    fld::SpinEditSnrSuffix, fld::SpinEditSnrDevFam, fld::SpinEditSnrTestStation,
                                    fld::EditSerNrInput, fld::RadioButtonVAVSensorIntern, fld::RadioButtonVAVSensorExtern});
        m_.setText(fld::EditVAVK, Fixed(rec.K, 3));
        setSpin(m_, fld::SpinEditVAVT1, rec.T1);
        setSpin(m_, fld::SpinEditVAVTv, rec.Tv);
        setSpin(m_, fld::SpinEditVAVTn, rec.Tn);
        m_.setChecked(fld::CheckBoxVAVAdaptiv, rec.Adaptiv == 1);
        setSpin(m_, fld::SpinEditSnrJahr, rec.SnrYearWeek / 100);
        setSpin(m_, fld::SpinEditSnrWoche, rec.SnrYearWeek % 100);
        m_.setItemIndex(fld::ComboBoxSnrTag, rec.SnrDaySnr / 10000);
        setSpin(m_, fld::SpinEditSnrNum, rec.SnrDaySnr % 10000);
        setSpin(m_, fld::SpinEditSnrSuffix, rec.SnrSuffix);
        setSpin(m_, fld::SpinEditSnrDevFam, rec.SnrDevFam);
        setSpin(m_, fld::SpinEditSnrTestStation, rec.SnrTestStation);
        BuildSerNrText();
        m_.setChecked(rec.SensorIntern == 1 ? fld::RadioButtonVAVSensorIntern : fld::RadioButtonVAVSensorExtern, true);
    }
    QV_Data_HW = rec;
    hwKnown_ = true;
}

void TQVData::BuildSerNrText()
{
    const int jahr = static_cast<int>(m_.value(fld::SpinEditSnrJahr));
    const int woche = static_cast<int>(m_.value(fld::SpinEditSnrWoche));
    const int tag = std::max(0, m_.itemIndex(fld::ComboBoxSnrTag));
    const int num = static_cast<int>(m_.value(fld::SpinEditSnrNum));
    m_.setText(fld::EditSerNrInput, pad(jahr * 100 + woche, 5) + QLatin1Char('-') + pad(tag * 10000 + num, 5) +
                                        QLatin1Char('-') + pad(static_cast<int>(m_.value(fld::SpinEditSnrDevFam)), 3) +
                                        QLatin1Char('-') + pad(static_cast<int>(m_.value(fld::SpinEditSnrTestStation)), 3));
}

void TQVData::SerNrInputToControls()
{
    QString t = m_.text(fld::EditSerNrInput);
    if (t.size() == 15) {
        t += QLatin1Char('-') + pad(static_cast<int>(m_.value(fld::SpinEditSnrTestStation)), 3);
        m_.setText(fld::EditSerNrInput, t);
    }
    if (t.size() > 18)
        TSerialToControl(t).Apply(m_);
}

// ------------------------------------------------------------------------ read and write

bool TQVData::ReadConfig()
{
    TraceMethodScope scope(TraceMain, kClass, u"ReadConfig");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    MemReader rd(zb_);
    TQV_Data rec;
    uint8_t b[7] = {};
    if (rd.read(mm::SnrYearWeek, mm::SnrBytes, b)) {
        rec.SnrYearWeek = be16(b);
        rec.SnrDaySnr = be16(b + 2);
        rec.SnrSuffix = b[4];
        rec.SnrDevFam = b[5];
        rec.SnrTestStation = b[6];
    }
    rec.SensorIntern = (rd.u8(mm::QvFlags) & 0x01) == 0 ? 1 : 0;
    bool gotK = false;
    const float k = rd.floatLe(mm::K, gotK);
    // Through its decimal text, as the tab shows it; a pattern that is no finite number gives 0.
    rec.K = std::isfinite(k) ? static_cast<float>(GetFloatWert(FloatText(k))) : 0.0f;
    if (rd.read(mm::T1, 6, b)) {
        rec.T1 = be16(b);
        rec.Tv = be16(b + 2);
        rec.Tn = be16(b + 4);
    }
    rec.Adaptiv = rd.u8(mm::Adaptiv);
    rec.KTa = 1;
    TraceMain.TraceBool(u"Reading of data successful", rd.ok);
    // A partial read would show the leftovers of failed transfers: keep the tab as it is.
    if (rd.ok)
        QVDataRecordToMask(rec);
    return rd.ok;
}

bool TQVData::WriteConfig()
{
    TraceMethodScope scope(TraceMain, kClass, u"WriteConfig");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    const auto ini = CurrentToolIni();
    const TIniQV& qv = ini->QV;
    setSpin(m_, fld::SpinEditSnrDevFam, qv.SnrDevFam);
    setSpin(m_, fld::SpinEditSnrSuffix, qv.SnrSuffix);
    const TQV_Data rec = MaskToQVDataRecord();
    TQV_Data& hw = QV_Data_HW;
    hwKnown_ = false;
    MemWriter wr(zb_);

    // The QV area is protected memory.
    wr.ok = zb_.Unlock(betrieb_.DeviceKey);
    TraceMain.TraceBool(u"Unlock successful", wr.ok);
    wr.be16x2(mm::BetrOn, qv.BetrOn, qv.BetrRun);
    if (wr.be16x2(mm::SnrYearWeek, rec.SnrYearWeek, rec.SnrDaySnr)) {
        hw.SnrYearWeek = rec.SnrYearWeek;
        hw.SnrDaySnr = rec.SnrDaySnr;
    }
    const uint8_t snr[3] = {static_cast<uint8_t>(rec.SnrSuffix), static_cast<uint8_t>(rec.SnrDevFam),
                            static_cast<uint8_t>(rec.SnrTestStation)};
    if (wr.write(mm::SnrSuffix, snr, 3)) {
        hw.SnrSuffix = snr[0];
        hw.SnrDevFam = snr[1];
        hw.SnrTestStation = snr[2];
    }

    // An address code that is no bus address is repaired with the configured one.
    uint8_t code = 0;
    if (wr.ok)
        wr.ok = zb_.ReadMem(mm::AddressCode, 1, &code);
    if (wr.ok && !IsAddressCode(code)) {
        TraceMain.TraceInt(u"Bus address code repaired", code);
        code = static_cast<uint8_t>(qv.ZBAdress);
        wr.u8(mm::AddressCode, code);
    }
    const auto flags = static_cast<uint8_t>((code & ~1u) | (rec.SensorIntern == 1 ? 0u : 1u));
    if (wr.u8(mm::QvFlags, flags))
        hw.SensorIntern = rec.SensorIntern;

    if (wr.floatLe(mm::K, rec.K))
        hw.K = rec.K;
    if (wr.be16x2(mm::T1, rec.T1, rec.Tv)) {
        hw.T1 = rec.T1;
        hw.Tv = rec.Tv;
    }
    if (wr.be16x2(mm::Tn, rec.Tn, 1)) {
        hw.Tn = rec.Tn;
        hw.KTa = 1;
    }
    if (wr.u8(mm::Adaptiv, static_cast<uint8_t>(rec.Adaptiv)))
        hw.Adaptiv = rec.Adaptiv;
    zb_.Lock();
    TraceMain.TraceBool(u"Writing of data successful", wr.ok);
    if (wr.ok) {
        hw = rec;
        hwKnown_ = true;
    }
    return wr.ok;
}

bool TQVData::IsPcHwEqual()
{
    TraceMethodScope scope(TraceMain, kClass, u"IsPcHwEqual");
    return Compare(false).empty();
}

FieldDifferences TQVData::Compare(bool all)
{
    const TQV_Data& hw = QV_Data_HW;
    ComparisonWalk walk(all);
    FieldDifferences& out = walk.out;
    auto step = [&](const char16_t* text, bool eq, std::optional<FieldId> field, const QString& window,
                    const QString& device) { return walk.Step(text, eq, field, window, device); };
    auto note = [&](const char16_t* text, bool value) { walk.Note(text, value); };
    auto spin = [&](FieldId f) { return static_cast<int64_t>(std::llround(m_.value(f))); };
    auto spinStep = [&](const char16_t* text, FieldId f, int64_t device) {
        return step(text, spin(f) == device, f, QString::number(spin(f)), QString::number(device));
    };
    auto tick = [](bool on) { return on ? QStringLiteral("selected") : QStringLiteral("not selected"); };
    if (!hwKnown_) {
        step(u"Device copy known", false, std::nullopt, QString(), QStringLiteral("unknown"));
        return out;
    }
    note(u"Device copy known", true);
    if (!step(u"GetIntFromString(FloatToStr(QV_Data_HW.K), 1000) = GetIntFromString(MainForm.EditVAVK.Text",
              GetIntFromString(FloatText(hw.K), 1000) == GetIntFromString(m_.text(fld::EditVAVK), 1000), fld::EditVAVK,
              m_.text(fld::EditVAVK), FloatText(hw.K)))
        return out;
    if (!spinStep(u"QV_Data_HW.T1 = MainForm.SpinEditVAVT1.Value", fld::SpinEditVAVT1, hw.T1) ||
        !spinStep(u"QV_Data_HW.Tv = MainForm.SpinEditVAVTv.Value", fld::SpinEditVAVTv, hw.Tv) ||
        !spinStep(u"QV_Data_HW.Tn = MainForm.SpinEditVAVTn.Value", fld::SpinEditVAVTn, hw.Tn))
        return out;
    const bool adaptiv = m_.checked(fld::CheckBoxVAVAdaptiv);
    note(u"QV_Data_HW.Adaptiv = 1", hw.Adaptiv == 1);
    if (hw.Adaptiv == 1 &&
        !step(u"MainForm.CheckBoxVAVAdaptiv.Checked", adaptiv, fld::CheckBoxVAVAdaptiv, tick(adaptiv), tick(true)))
        return out;
    const int64_t yearWeek = spin(fld::SpinEditSnrJahr) * 100 + spin(fld::SpinEditSnrWoche);
    if (!step(u"QV_Data_HW.SnrYearWeek = MainForm.SpinEditSnrJahr.Value*100 + MainForm.SpinEditSnrWoche.Value",
              yearWeek == hw.SnrYearWeek, fld::SpinEditSnrWoche, QString::number(yearWeek),
              QString::number(hw.SnrYearWeek)))
        return out;
    const int64_t daySnr = m_.itemIndex(fld::ComboBoxSnrTag) * 10000LL + spin(fld::SpinEditSnrNum);
    if (!step(u"QV_Data_HW.SnrDaySnr = MainForm.ComboBoxSnrTag.ItemIndex*10000 + MainForm.SpinEditSnrNum.Value",
              daySnr == hw.SnrDaySnr, fld::SpinEditSnrNum, QString::number(daySnr), QString::number(hw.SnrDaySnr)))
        return out;
    if (!spinStep(u"QV_Data_HW.SnrSuffix = MainForm.SpinEditSnrSuffix.Value", fld::SpinEditSnrSuffix, hw.SnrSuffix) ||
        !spinStep(u"QV_Data_HW.SnrDevFam = MainForm.SpinEditSnrDevFam.Value", fld::SpinEditSnrDevFam, hw.SnrDevFam) ||
        !spinStep(u"QV_Data_HW.SnrTestStation = MainForm.SpinEditSnrTestStation.Value", fld::SpinEditSnrTestStation,
                  hw.SnrTestStation))
        return out;
    note(u"QV_Data_HW.SensorIntern = 1", hw.SensorIntern == 1);
    const FieldId sensor = hw.SensorIntern == 1 ? fld::RadioButtonVAVSensorIntern : fld::RadioButtonVAVSensorExtern;
    if (!step(hw.SensorIntern == 1 ? u"MainForm.RadioButtonVAVSensorIntern.Checked"
                                   : u"MainForm.RadioButtonVAVSensorExtern.Checked",
              m_.checked(sensor), sensor, tick(false), tick(true)))
        return out;
    // With adaptive control on the box was compared above already; the full list names it once.
    if (hw.Adaptiv == 1) {
        if (!all)
            step(u"MainForm.CheckBoxVAVAdaptiv.Checked", adaptiv, fld::CheckBoxVAVAdaptiv, tick(adaptiv), tick(true));
    } else {
        step(u"not MainForm.CheckBoxVAVAdaptiv.Checked", !adaptiv, fld::CheckBoxVAVAdaptiv, tick(adaptiv), tick(false));
    }
    return out;
}

} // namespace kadex
