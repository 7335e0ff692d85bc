#include "device/VAVBetrieb.h"

#include "common/Helpers.h"
#include "device/Identify.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

namespace kadex {

using namespace betrieb;

namespace {

uint16_t le16(const uint8_t* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }
uint16_t be16(const uint8_t* b) { return static_cast<uint16_t>((b[0] << 8) | b[1]); }

} // namespace

TVAVBetrieb::TVAVBetrieb(TDeviceContext& ctx) : ctx_(ctx), zb_(ctx.zb), m_(ctx.model)
{
    Mess.Reset();
    InitBetriebData();
}

QString TVAVBetrieb::SerNr() const
{
    std::lock_guard<std::mutex> lk(serMutex_);
    return serNr_;
}

void TVAVBetrieb::SetSerNr(const QString& s)
{
    std::lock_guard<std::mutex> lk(serMutex_);
    serNr_ = s;
}

namespace {
constexpr char16_t kClass[] = u"TVAVBetrieb";
} // namespace

void TVAVBetrieb::InitBetriebData()
{
    const auto settings = CurrentToolIni();
    const TBetrieb& b = settings->Betrieb;
    InitBetriebData(TBetrData{b.VminPrz, b.VmidPrz, b.VmaxPrz, b.W1MinMV, b.W1MaxMV, b.U5MinMV, b.U5MaxMV,
                              b.PositionText});
}

void TVAVBetrieb::InitBetriebData(const TBetrData& defaults)
{
    TraceMethodScope scope(TraceMain, kClass, u"InitBetriebData");
    BetrData = defaults;
}

void TVAVBetrieb::SetData()
{
    TraceMethodScope scope(TraceMain, kClass, u"SetData");
    TraceMain.TraceInt(u"VnomM3", HW.VnomM3);
    TraceMain.TraceInt(u"VmaxPrz", HW.VmaxPrz);
    TraceMain.TraceInt(u"BetrData.VmaxPrz", BetrData.VmaxPrz);
    TraceMain.TraceInt(u"BetrData.VminPrz", BetrData.VminPrz);
    TraceMain.TraceInt(u"BetrData.VmidPrz", BetrData.VmidPrz);
    TraceMain.TraceInt(u"BetrData.W1MinMV", BetrData.W1MinMV);
    TraceMain.TraceInt(u"BetrData.W1MaxMV", BetrData.W1MaxMV);
    TraceMain.TraceInt(u"BetrData.U5MinMV", BetrData.U5MinMV);
    TraceMain.TraceInt(u"BetrData.U5MaxMV", BetrData.U5MaxMV);
    m_.setDeviceValue(fld::EditVmaxPrz, BetrData.VmaxPrz);
    m_.setDeviceValue(fld::EditVminPrz, BetrData.VminPrz);
    m_.setDeviceValue(fld::EditVmidPrz, BetrData.VmidPrz);
    m_.setDeviceValue(fld::EditW1Min, BetrData.W1MinMV);
    m_.setDeviceValue(fld::EditW1Max, BetrData.W1MaxMV);
    m_.setDeviceValue(fld::EditU5Min, BetrData.U5MinMV);
    m_.setDeviceValue(fld::EditU5Max, BetrData.U5MaxMV);
    m_.setText(fld::EditPositionInput, BetrData.PosText);
    // Here, unlike after a read, with two decimals.
    m_.setDisplayValue(fld::EditVmaxM3, HW.VnomM3 * static_cast<double>(HW.VmaxPrz) / 10000.0, 2);
    if (TTraceChannel::Enabled()) {
        for (FieldId f : {fld::EditVmaxM3, fld::EditVmaxPrz, fld::EditVmidPrz, fld::EditW1Min, fld::EditW1Max,
                          fld::EditU5Min, fld::EditU5Max, fld::EditPositionInput})
            TraceMain.TraceText(f.name() + QStringLiteral(".Text"), m_.text(f));
    }
}

// ------------------------------------------------------------------------ read and write

bool TVAVBetrieb::ReadData()
{
    TraceMethodScope scope(TraceMain, kClass, u"ReadData");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    return ReadVnom() && GetVminVmidVmax() && ReadPosText() && GetW1MinW1Max() && GetU5MinU5Max();
}

bool TVAVBetrieb::ReadVnom()
{
    uint16_t vnom = 0, vmax = 0, vmin = 0;
    const bool r = zb_.GetFlowLimits(vnom, vmax, vmin);
    HW.VnomM3 = vnom;
    HW.VmaxPrz = vmax;
    HW.VminPrz = vmin;
    if (r) {
        m_.setDisplayFactor(fld::EditVnomM3, ctx_.DisplayFactor());
        m_.setText(fld::EditVnomM3Anz, m_.deviceText(fld::EditVnomM3, HW.VnomM3));
        m_.setDeviceValue(fld::EditVnomM3, HW.VnomM3);
    }
    return r;
}

bool TVAVBetrieb::GetVminVmidVmax()
{
    TraceMethodScope scope(TraceMain, kClass, u"GetVminVmidVmax");
    uint16_t raw = 0, vmid = 0, vmax = 0;
    const bool r = zb_.GetVLevels(raw, vmid, vmax);
    HW.VmidPrz = vmid;
    HW.VmaxPrz = vmax;
    TraceMain.TraceBool(u"Reading of data successful", r);
    if (r) {
        HW.VminPrz = static_cast<uint16_t>(VminFromDevice(ctx_.FirmwareVersion.load(), vmax, raw));
        m_.setDisplayValue(fld::EditVmaxM3, HW.VnomM3 * static_cast<double>(HW.VmaxPrz) / 10000.0);
        m_.setDeviceValue(fld::EditVmaxPrz, HW.VmaxPrz);
        m_.setDeviceValue(fld::EditVmidPrz, HW.VmidPrz);
        m_.setDeviceValue(fld::EditVminPrz, HW.VminPrz);
        TraceMain.TraceInt(u"VminPrz2", raw);
        TraceMain.TraceInt(u"VmidPrz", HW.VmidPrz);
        TraceMain.TraceInt(u"VmaxPrz", HW.VmaxPrz);
        TraceMain.TraceInt(u"VminPrz", HW.VminPrz);
        TraceMain.TraceText(u"MainForm.EditVmaxM3.Text", m_.text(fld::EditVmaxM3));
        TraceMain.TraceText(u"MainForm.EditVmaxPrz.Text", m_.text(fld::EditVmaxPrz));
    }
    return r;
}

bool TVAVBetrieb::ReadPosText()
{
    uint16_t oemAdr = 0, posAdr = 0, typeAdr = 0;
    if (!zb_.GetTextAddresses(oemAdr, posAdr, typeAdr))
        return false;
    QString text;
    const bool r = zb_.ReadText16(posAdr, text);
    HW.PosText = TrimRight(text);
    if (r)
        m_.setText(fld::EditPositionInput, HW.PosText);
    return r;
}

bool TVAVBetrieb::getRange(bool w1)
{
    uint16_t start = 0, span = 0;
    const bool r = w1 ? zb_.GetW1Range(start, span) : zb_.GetU5Range(start, span);
    uint16_t& lo = w1 ? HW.W1MinMV : HW.U5MinMV;
    uint16_t& hi = w1 ? HW.W1MaxMV : HW.U5MaxMV;
    lo = start;
    if (r) {
        hi = static_cast<uint16_t>(start + span);
        m_.setDeviceValue(w1 ? fld::EditW1Min : fld::EditU5Min, lo);
        m_.setDeviceValue(w1 ? fld::EditW1Max : fld::EditU5Max, hi);
    }
    return r;
}

bool TVAVBetrieb::GetW1MinW1Max() { return getRange(true); }
bool TVAVBetrieb::GetU5MinU5Max() { return getRange(false); }

bool TVAVBetrieb::WriteData()
{
    TraceMethodScope scope(TraceMain, kClass, u"WriteData");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    bool r = SetVminVmidVmax();
    TraceMain.TraceBool(u"Set SetVminVmidVmax successful", r);
    uint16_t oemAdr = 0, posAdr = 0, typeAdr = 0;
    if (r) {
        r = zb_.GetTextAddresses(oemAdr, posAdr, typeAdr);
        TraceMain.TraceBool(u"Get OEM address successful", r);
    }
    if (r) {
        const QString text = m_.text(fld::EditPositionInput);
        r = zb_.WriteText16(posAdr, text);
        if (r)
            HW.PosText = text;
        TraceMain.TraceBool(u"Write of PositionInput successful", r);
    }
    if (r) {
        r = SetW1MinW1Max();
        TraceMain.TraceBool(u"Set SetW1MinW1Max successful", r);
    }
    if (r) {
        r = SetU5MinU5Max();
        TraceMain.TraceBool(u"Set SetU5MinU5Max successful", r);
    }
    return r;
}

bool TVAVBetrieb::SetVminVmidVmax()
{
    TraceMethodScope scope(TraceMain, kClass, u"SetVminVmidVmax");
    const auto vmax = static_cast<uint16_t>(m_.deviceValue(fld::EditVmaxPrz));
    const auto vmin = static_cast<uint16_t>(m_.deviceValue(fld::EditVminPrz));
    const auto vmid = static_cast<uint16_t>(m_.deviceValue(fld::EditVmidPrz));
    const uint16_t fw = ctx_.FirmwareVersion.load();
    const uint16_t vminSent = VminToDevice(fw, vmax, vmin);
    TraceMain.TraceMessage(u"Values to write to device");
    TraceMain.TraceInt(u"Vmax_Prz", vmax);
    TraceMain.TraceText(u"MainForm.EditVminPrz.Text", m_.text(fld::EditVminPrz));
    TraceMain.TraceInt(u"Vmin_Prz", vmin);
    TraceMain.TraceInt(u"Vmid_Prz", vmid);
    if (VminIsShareOfVmax(fw))
        TraceMain.TraceInt(u"Vmin_Prz2", vminSent);
    const bool r = zb_.SetVLevels(vminSent, vmid, vmax);
    if (r) {
        HW.VmaxPrz = vmax;
        HW.VminPrz = vmin;
        HW.VmidPrz = vmid;
        TraceMain.TraceMessage(u"Values to set in tool");
        TraceMain.TraceInt(u"VmaxPrz", HW.VmaxPrz);
        TraceMain.TraceInt(u"VminPrz", HW.VminPrz);
        TraceMain.TraceInt(u"VmidPrz", HW.VmidPrz);
    }
    return r;
}

bool TVAVBetrieb::setRange(bool w1)
{
    // The writes cut towards zero; the comparison rounds.
    const int32_t a = m_.deviceValue(w1 ? fld::EditW1Min : fld::EditU5Min, Rounding::Trunc);
    const int32_t b = m_.deviceValue(w1 ? fld::EditW1Max : fld::EditU5Max, Rounding::Trunc);
    const auto start = static_cast<uint16_t>(a);
    const auto span = static_cast<uint16_t>(b - a);
    const bool r = w1 ? zb_.SetW1Range(start, span) : zb_.SetU5Range(start, span);
    if (r) {
        (w1 ? HW.W1MinMV : HW.U5MinMV) = static_cast<uint16_t>(a);
        (w1 ? HW.W1MaxMV : HW.U5MaxMV) = static_cast<uint16_t>(b);
    }
    return r;
}

bool TVAVBetrieb::SetW1MinW1Max() { return setRange(true); }
bool TVAVBetrieb::SetU5MinU5Max() { return setRange(false); }

// ------------------------------------------------------------------------ identification

bool TVAVBetrieb::ReadSerNr()
{
    QString ser, type;
    uint8_t t = 0;
    uint32_t key = DeviceKey;
    const bool r = zb_.GetIdentityText(ser, type, key, t);
    if (r)
        DeviceKey = key;
    SetSerNr(ser);
    m_.setEnabled(fld::LabelSerNr, r);
    m_.setText(fld::EditSerNr, ser);
    return r;
}

bool TVAVBetrieb::ReadConfTableID()
{
    uint8_t b1 = 0;
    uint16_t w1 = 0, w2 = 0, id = 0;
    const bool r = zb_.GetConfigInfo(b1, w1, w2, id);
    if (r)
        m_.setText(fld::EditConfTableID, IdentInfo::Hex4(id));
    return r;
}

bool TVAVBetrieb::ReadZBAdr()
{
    QString text;
    const bool r = zb_.GetBusAddressText(text);
    m_.setEnabled(fld::LabelZBAdr, r);
    m_.setText(fld::EditZBAdr, text);
    return r;
}

bool TVAVBetrieb::ReadDeviceTexts()
{
    uint16_t adr[3] = {0, 0, 0};
    bool r = zb_.GetTextAddresses(adr[0], adr[1], adr[2]);
    static constexpr FieldId edits[3] = {fld::EditOEM, fld::EditPosition, fld::EditFenwix};
    static constexpr FieldId labels[3] = {fld::LabelOEM, fld::LabelPosition, fld::LabelTyp};
    for (int i = 0; i < 3 && r; ++i) {
        QString text;
        r = zb_.ReadText16(adr[i], text);
        text = TrimRight(text);
        m_.setEnabled(labels[i], r);
        m_.setText(edits[i], text);
        if (i == 2) {
            const QString expected = ctx_.ExpectedTypeText();
            const bool ok = !expected.isEmpty() && text.startsWith(expected);
            m_.setColour(fld::EditFenwix, ok ? Colour::ButtonFace : Colour::Red);
        }
    }
    return r;
}

bool TVAVBetrieb::ReadFirmware()
{
    uint16_t version = 0, w2 = 0, w3 = 0;
    const bool r = zb_.GetFirmware(version, w2, w3);
    ctx_.FirmwareVersion = version;
    if (r) {
        m_.setText(fld::EditFirmware, IdentInfo::Hex4(version));
        if (version >= 0x0220) {
            m_.setVisible(fld::ExtrasRegSetting, true);
            m_.setEnabled(fld::RadioButtonSensTypVolumenstr, ctx_.ReglerFkt.load() == 1);
        } else {
            m_.setVisible(fld::ExtrasRegSetting, false);
            m_.setChecked(fld::RadioButtonSensTypDruck, true);
            m_.setEnabled(fld::RadioButtonSensTypVolumenstr, false);
        }
    }
    bool ok = false;
    const int n = m_.text(fld::EditFirmware).toInt(&ok, 10);
    if (ok)
        FirmwareNr = n;
    if (OnFirmwareRead)
        OnFirmwareRead();
    return r;
}

bool TVAVBetrieb::identify(bool withOverride)
{
    return IdentStop.Run(zb_, withOverride,
                         {[this] { return ReadSerNr(); }, [this] { return ReadConfTableID(); },
                          [this] { return ReadZBAdr(); }, [this] { return ReadDeviceTexts(); }},
                         [this] { return ReadFirmware(); });
}

bool TVAVBetrieb::Identify() { return identify(true); }
bool TVAVBetrieb::RefreshIdent() { return identify(false); }

// ------------------------------------------------------------------------ operation

uint8_t TVAVBetrieb::ModeFromAnswer(uint8_t d1, uint8_t d2) const
{
    return ctx_.FirmwareVersion.load() < 0x0220 ? d2 : d1;
}

bool TVAVBetrieb::SetBetriebsart(int choice)
{
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    m_.setCaption(fld::PanelProgStatus, CurrentTexts()->Status.Betrieb);
    bool r = true;
    switch (choice) {
    case ChoiceAuto:
        r = zb_.SetOverride(0);
        if (r)
            r = zb_.SetSetpoint(0xFFFF);
        break;
    case ChoiceZu: r = zb_.SetOverride(2); break;
    case ChoiceAuf: r = zb_.SetOverride(1); break;
    case ChoiceVmin: r = zb_.SetOverride(4); break;
    case ChoiceVmid: r = zb_.SetOverride(ctx_.ReglerFkt.load() == 1 ? 5 : 10); break;
    case ChoiceVmax: r = zb_.SetOverride(3); break;
    case ChoiceVnom: r = zb_.SetOverride(7); break;
    case ChoiceVariabel: {
        const double b = m_.displayValue(fld::EditBetrSollwPrz);
        const double q = VariableFlowShare(ctx_.FirmwareVersion.load(), b, HW.VminPrz, HW.VmaxPrz);
        m_.setDisplayValue(fld::EditBetrSollwM3, HW.VnomM3 * q / 100.0 * ctx_.DisplayFactor());
        SollwPrz = static_cast<uint16_t>(m_.deviceValue(fld::EditBetrSollwPrz));
        r = zb_.SetOverride(0);
        if (r)
            r = zb_.SetSetpoint(SollwPrz);
        break;
    }
    case ChoiceSchnellZu: r = zb_.SetOverride(8); break;
    case ChoiceSchnellAuf: r = zb_.SetOverride(9); break;
    default: return true;
    }
    if (!BetriebAktiv.load())
        return r;
    if (r) {
        uint8_t d1 = 0, d2 = 0;
        if (zb_.GetMode(d1, d2))
            m_.setCaption(fld::PanelBetrStatus, CurrentTexts()->Status.ForMode(ModeFromAnswer(d1, d2)));
    }
    if (r)
        r = ShowBetrWerte(choice);
    if (r)
        r = ReadMotRueck();
    if (!BetriebAktiv.load())
        return r;
    if (r)
        r = GetRegelParams();
    if (!BetriebAktiv.load())
        return r;
    if (r) {
        QStringList alarms = m_.items(fld::ListBoxAlarme);
        r = zb_.AddAlarmTexts(alarms);
        m_.setItems(fld::ListBoxAlarme, alarms);
        if (r)
            m_.setEnabled(fld::ButtonResetAlarm, !alarms.isEmpty());
    }
    return r;
}

bool TVAVBetrieb::ShowBetrWerte(int choice)
{
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    uint16_t actual = 0, w2 = 0;
    if (!zb_.GetActualValue(actual, w2))
        return false;
    const double ist = actual / 100.0;
    const double factor = ctx_.DisplayFactor();
    m_.setDeviceValue(fld::EditBetrIstwPrz, actual);
    m_.setDisplayValue(fld::EditBetrIstwM3, HW.VnomM3 / 100.0 * ist * factor);
    uint16_t w1 = 0, s = 0;
    if (!zb_.GetSetpoint(w1, s))
        return false;
    const QString none = QStringLiteral("---");
    if (choice == ChoiceAuto) {
        const SetpointView v = AutoSetpoint(ctx_.FirmwareVersion.load(), s, HW.VminPrz, HW.VmaxPrz);
        if (v.none) {
            m_.setText(fld::EditBetrSollwPrz, none);
            m_.setText(fld::EditBetrSollwM3, none);
        } else {
            // The setpoint is entered with two decimals but shown as a whole percent.
            m_.setDisplayValue(fld::EditBetrSollwPrz, v.shownPercent, 0);
            m_.setDisplayValue(fld::EditBetrSollwM3, HW.VnomM3 * v.flowShare / 100.0 * factor);
        }
    } else if (choice != ChoiceVariabel) {
        m_.setText(fld::EditBetrSollwPrz, none);
        m_.setText(fld::EditBetrSollwM3, none);
    }
    return true;
}

bool TVAVBetrieb::ReadMotRueck()
{
    uint8_t b[2];
    if (!zb_.ReadMem(0x0454, 2, b))
        return false;
    MotRueckPrz = MotorFeedbackPercent(static_cast<int16_t>(le16(b)));
    m_.setDisplayValue(fld::EditBetrMotRueckPrz, MotRueckPrz);
    return true;
}

bool TVAVBetrieb::GetRegelParams()
{
    TraceMethodScope scope(TraceMain, kClass, u"GetRegelParams");
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    uint8_t flags = 0, yr[4], sig[6];
    if (!zb_.ReadMem(0x0016, 1, &flags) || !zb_.ReadMem(0x0038, 4, yr) || !zb_.ReadMem(0x0456, 6, sig))
        return false;
    const bool linear = (flags & 0x02) == 0;
    const double y = ActuatorSignalPercent(linear, le16(sig), be16(yr), be16(yr + 2));
    m_.setDisplayValue(fld::EditBetrRYSignPrz, y);
    m_.setDeviceValue(fld::EditSignW1, le16(sig + 2));
    m_.setDeviceValue(fld::EditSignU5, le16(sig + 4));
    return GetSensorValues();
}

bool TVAVBetrieb::GetSensorValues()
{
    uint8_t b[4];
    if (!zb_.ReadMem(0x045C, 4, b))
        return false;
    const uint16_t sig = le16(b);
    const uint16_t p = le16(b + 2);
    m_.setDeviceValue(fld::EditSensorSign, sig);
    m_.setDisplayValue(fld::EditSensorValue, RoundHalfEven(p * ctx_.PressureFactorNow()));
    {
        std::lock_guard<std::mutex> lk(messMutex_);
        Mess.Add(p);
    }
    return true;
}

void TVAVBetrieb::StartSampling()
{
    {
        std::lock_guard<std::mutex> lk(messMutex_);
        Mess.Reset();
    }
    DruckmessungAktiv = true;
}

betrieb::Sampling TVAVBetrieb::SamplingNow() const
{
    std::lock_guard<std::mutex> lk(messMutex_);
    return Mess;
}

bool TVAVBetrieb::StartBetrieb()
{
    m_.setCaption(fld::PanelProgStatus, CurrentTexts()->Status.DataRead);
    BetriebAktiv = true;
    ReleaseOwed = true;
    bool r = true;
    if (SkipNextRead.exchange(false))
        r = true;
    else
        r = ReadData();
    m_.setCaption(fld::PanelProgStatus, QString());
    return r;
}

bool TVAVBetrieb::StopBetrieb()
{
    std::lock_guard<std::recursive_mutex> bus(zb_.BusMutex());
    const bool r = zb_.SetOverride(0);
    if (r)
        m_.setChecked(fld::RadioBetrAuto, true);
    const bool setpoint = zb_.SetSetpoint(0xFFFF);
    ReleaseOwed = !(r && setpoint);
    BetriebAktiv = false;
    return r;
}

bool TVAVBetrieb::IsPcHwEqual()
{
    TraceMethodScope scope(TraceMain, kClass, u"IsPcHwEqual");
    return Compare(false).empty();
}

FieldDifferences TVAVBetrieb::Compare(bool all)
{
    // In this order; the first difference decides the indicator. Only the stop-at-first walk
    // traces, so showing the list leaves the trace as it was.
    FieldDifferences out;
    const bool trace = !all;
    struct Num {
        const char16_t* title;
        FieldId field;
        uint16_t hw;
    };
    const Num levels[] = {
        {u"VmaxPrz = GetIntFromString(MainForm.EditVmaxPrz.Text, 100);", fld::EditVmaxPrz, HW.VmaxPrz},
        {u"VmidPrz = GetIntFromString(MainForm.EditVmidPrz.Text, 100)", fld::EditVmidPrz, HW.VmidPrz},
        {u"VminPrz = GetIntFromString(MainForm.EditVminPrz.Text, 100)", fld::EditVminPrz, HW.VminPrz},
    };
    const Num ranges[] = {
        {u"W1MinMV = GetIntFromString(MainForm.EditW1Min.Text, 1000)", fld::EditW1Min, HW.W1MinMV},
        {u"W1MaxMV = GetIntFromString(MainForm.EditW1Max.Text, 1000)", fld::EditW1Max, HW.W1MaxMV},
        {u"U5MinMV = GetIntFromString(MainForm.EditU5Min.Text, 1000)", fld::EditU5Min, HW.U5MinMV},
        {u"U5MaxMV = GetIntFromString(MainForm.EditU5Max.Text, 1000)", fld::EditU5Max, HW.U5MaxMV},
    };
    // True while the walk goes on.
    auto compare = [&](const Num& n, double scale) {
        const int32_t window = m_.deviceValue(n.field);
        const bool eq = window == n.hw;
        if (trace) {
            TraceMain.TraceBool(QStringView(n.title), eq);
            TraceMain.TraceInt(u"Device", n.hw);
            TraceMain.TraceInt(u"Window", window);
        }
        if (!eq)
            out.push_back({n.field, m_.text(n.field), QString::number(n.hw / scale)});
        return eq || all;
    };
    for (const Num& n : levels)
        if (!compare(n, 100))
            return out;
    const QString pos = m_.text(fld::EditPositionInput);
    const bool posEq = pos == HW.PosText;
    if (trace) {
        TraceMain.TraceBool(u"VAVBetrieb.PosText = MainForm.EditPositionInput.Text", posEq);
        TraceMain.TraceText(u"VAVBetrieb.PosText", HW.PosText);
        TraceMain.TraceText(u"MainForm.EditPositionInput.Text", pos);
    }
    if (!posEq) {
        out.push_back({fld::EditPositionInput, pos, HW.PosText});
        if (!all)
            return out;
    }
    for (const Num& n : ranges)
        if (!compare(n, 1000))
            return out;
    return out;
}

} // namespace kadex
