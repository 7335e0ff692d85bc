#include "core/ValueCoupling.h"

#include "common/Helpers.h"
#include "common/Units.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace kadex::coupling {

Clamped ClampToRange(double value, double min, double max)
{
    if (value < min)
        return {min, Bound::Min};
    if (value > max)
        return {max, Bound::Max};
    return {value, Bound::None};
}

double FunctionFactor(const UnitContext& u) { return kadex::FunctionFactor(u.unitIndex, u.reglerFkt); }

double SensorFactor(const UnitContext& u)
{
    return u.sensorTyp == 1 ? FlowFactor(u.unitIndex) : PressureFactor(u.unitIndex);
}

QString FlowUnit(int unitIndex)
{
    switch (unitIndex) {
    case 1: return QStringLiteral("l/s");
    case 2: return QStringLiteral("cfm");
    default: return QStringLiteral("m³/h");
    }
}

QString PressureUnit(int unitIndex)
{
    return unitIndex == 2 ? QStringLiteral("uPSI") : QStringLiteral("Pa");
}

QString FunctionUnit(const UnitContext& u)
{
    return u.reglerFkt == 2 ? PressureUnit(u.unitIndex) : FlowUnit(u.unitIndex);
}

QString SensorUnit(const UnitContext& u)
{
    return u.sensorTyp == 1 ? FlowUnit(u.unitIndex) : PressureUnit(u.unitIndex);
}

int32_t MaxDisplay(double factor) { return Trunc(factor * 65535.0); }
int32_t VnomMax(const UnitContext& u) { return MaxDisplay(FunctionFactor(u)); }

ShareLabels PercentShareLabels(int reglerFkt, uint16_t firmware)
{
    const QString v = reglerFkt == 2 ? QStringLiteral("% von P'") : QStringLiteral("% von V'");
    ShareLabels l;
    l.vmax = v + QStringLiteral("nom");
    l.vmin = VminIsShareOfVnom(firmware) ? l.vmax : v + QStringLiteral("max");
    return l;
}

// Shortest decimal text: integers without a point, other values without trailing zeros.
static QString Shortest(double v)
{
    if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<qint64>(v));
    return QString::number(v, 'f', QLocale::FloatingPointShortest);
}

QString RangeHint(double min, double max)
{
    return Shortest(min) + QStringLiteral(" .. ") + Shortest(max);
}

// ---------------------------------------------------------------------------------------------

const char* FlowFieldName(FlowField f)
{
    switch (f) {
    case FlowField::Vnom: return "EditVnomM3Anz";
    case FlowField::VmaxM3: return "EditVmaxM3";
    case FlowField::VmaxPrz: return "EditVmaxPrz";
    case FlowField::VminM3: return "EditVminM3";
    case FlowField::VminPrz: return "EditVminPrz";
    case FlowField::VmidM3: return "EditVmidM3";
    case FlowField::VmidPrz: return "EditVmidPrz";
    case FlowField::Setpoint: return "EditBetrSollwPrz";
    }
    return "";
}

bool IsPercentField(FlowField f)
{
    return f == FlowField::VmaxPrz || f == FlowField::VminPrz || f == FlowField::VmidPrz
        || f == FlowField::Setpoint;
}

int FlowFieldDecimals(FlowField f) { return IsPercentField(f) ? 2 : 0; }

double FlowValues::get(FlowField f) const
{
    switch (f) {
    case FlowField::Vnom: return vnom;
    case FlowField::VmaxM3: return vmaxM3;
    case FlowField::VmaxPrz: return vmaxPrz;
    case FlowField::VminM3: return vminM3;
    case FlowField::VminPrz: return vminPrz;
    case FlowField::VmidM3: return vmidM3;
    case FlowField::VmidPrz: return vmidPrz;
    case FlowField::Setpoint: return setpoint;
    }
    return 0;
}

void FlowValues::set(FlowField f, double v)
{
    switch (f) {
    case FlowField::Vnom: vnom = v; break;
    case FlowField::VmaxM3: vmaxM3 = v; break;
    case FlowField::VmaxPrz: vmaxPrz = v; break;
    case FlowField::VminM3: vminM3 = v; break;
    case FlowField::VminPrz: vminPrz = v; break;
    case FlowField::VmidM3: vmidM3 = v; break;
    case FlowField::VmidPrz: vmidPrz = v; break;
    case FlowField::Setpoint: setpoint = v; break;
    }
}

VminLimit UpdateVminLimit(double vnom, double vmaxPrz, uint16_t firmware,
                          const VminLimitInput& in, const QString& rangeLabel)
{
    VminLimit r;
    r.upperText = VminIsShareOfVnom(firmware) ? Shortest(vmaxPrz) + QLatin1Char('%')
                                              : QStringLiteral("100%");
    const double ff = FunctionFactor(in.units);
    const double nm = Trunc(vnom) / ff;
    double limit = 0;
    if (in.units.reglerFkt != 2 && in.units.sensorTyp == 2) {
        r.pressureBranch = true;
        double p = in.ptot / PressureFactor(in.units.unitIndex) * 2.0;
        if (p < 5)
            p = 5;
        // A density at or below 0 has no root; no limit then, as for a missing density.
        if (nm != 0 && in.density > 0)
            limit = std::sqrt(p / in.density) * (100.0 / nm) * in.conductance;
    } else {
        double p = in.ptot / ff * 2.0;
        if (p < 2)
            p = 2;
        if (nm != 0)
            limit = 100.0 / nm * p;
    }
    r.vminPrzMin = RoundHalfEven(limit);
    r.shownLower = std::min(r.vminPrzMin, 100);
    const qsizetype blank = rangeLabel.indexOf(QLatin1Char(' '));
    const QString head = blank < 0 ? rangeLabel : rangeLabel.left(blank);
    r.rangeLabel = head + QLatin1Char(' ') + QString::number(r.shownLower) + QStringLiteral(" .. ")
        + r.upperText;
    return r;
}

bool SetzenEnabled(bool readEnabled, double vmaxPrz)
{
    return readEnabled && vmaxPrz >= VmaxPrzLeaveMin;
}

int SliderVmaxPosition(double vmaxPrz) { return std::clamp(100 - RoundHalfEven(vmaxPrz), 0, 70); }
int SliderVminPosition(double vminPrz) { return std::clamp(100 - RoundHalfEven(vminPrz), 0, 100); }

CouplingResult Couple(const CouplingInput& in)
{
    CouplingResult r;
    FlowValues& v = r.values;
    v = in.values;
    const bool ofVnom = VminIsShareOfVnom(in.firmware);

    auto rewrite = [&](FlowField f, double value) {
        v.set(f, value);
        const QString text = Fixed(value, FlowFieldDecimals(f));
        for (FieldText& t : r.rewrites)
            if (t.field == f) {
                t.text = text;
                return;
            }
        r.rewrites.push_back({f, text});
    };

    // Plain range check of the changed field.
    double hi = 100;
    switch (in.changed) {
    case FlowField::Vnom: hi = VnomMax(in.limit.units); break;
    case FlowField::VmaxM3: hi = v.vnom; break;
    case FlowField::VminM3:
    case FlowField::VmidM3: hi = v.vmaxM3; break;
    default: break;
    }
    const Clamped c = ClampToRange(v.get(in.changed), 0, std::max(hi, 0.0));
    r.changedClamp = c.hit;
    if (c.hit != Bound::None)
        rewrite(in.changed, c.value);

    const double n = v.vnom;
    // New firmware: V'min percent may not exceed V'max percent wherever it is read.
    const bool holdVmin = in.typing && (in.changed == FlowField::VmaxPrz || in.changed == FlowField::VmaxM3);
    auto vminPrz = [&]() {
        if (ofVnom && !holdVmin && v.vminPrz > v.vmaxPrz) {
            rewrite(FlowField::VminPrz, v.vmaxPrz);
            r.vminCutToVmax = true;
        }
        return v.vminPrz;
    };
    // I'%: V'min as a share of V'max.
    auto vminShareOfVmax = [&]() {
        const double i = vminPrz();
        if (ofVnom)
            return v.vmaxPrz > 0 ? i * 100.0 / v.vmaxPrz : i;
        return i;
    };
    auto vminFromPrz = [&](double nom) {
        const double i = vminPrz();
        rewrite(FlowField::VminM3, (ofVnom ? nom : v.vmaxM3) * i / 100.0);
    };
    auto vmidFromPrz = [&](double nom) {
        const double ip = vminShareOfVmax();
        const double g = (v.vmidPrz + ip - v.vmidPrz * ip / 100.0) * v.vmaxPrz / 100.0;
        rewrite(FlowField::VmidM3, nom * g / 100.0);
    };

    bool updateLimit = false;
    switch (in.changed) {
    case FlowField::Vnom:
        rewrite(FlowField::VmaxM3, n * v.vmaxPrz / 100.0);
        vminFromPrz(n);
        vmidFromPrz(n);
        updateLimit = true;
        break;
    case FlowField::VmaxM3:
        rewrite(FlowField::VmaxPrz, n > 0 ? v.vmaxM3 * 100.0 / n : 0.0);
        vminFromPrz(n);
        vmidFromPrz(n);
        updateLimit = ofVnom;
        break;
    case FlowField::VmaxPrz:
        rewrite(FlowField::VmaxM3, v.vmaxPrz * n / 100.0);
        vminFromPrz(n);
        vmidFromPrz(n);
        updateLimit = ofVnom;
        break;
    case FlowField::VmidM3: {
        const double g = n > 0 ? v.vmidM3 * 100.0 / n : 0.0;
        const double ip = vminShareOfVmax();
        // Not limited to 0..100: a V'mid below V'min shows as a negative share.
        const double d = (v.vmaxPrz == 0 || ip == 100)
            ? 100.0
            : (g * 100.0 / v.vmaxPrz - ip) * 100.0 / (100.0 - ip);
        rewrite(FlowField::VmidPrz, d);
        break;
    }
    case FlowField::VminM3:
        if (ofVnom) {
            if (v.vminM3 > v.vmaxM3)
                rewrite(FlowField::VminM3, v.vmaxM3);
            rewrite(FlowField::VminPrz, n > 0 ? v.vminM3 * 100.0 / n : 0.0);
        } else {
            rewrite(FlowField::VminPrz, v.vmaxM3 > 0 ? v.vminM3 * 100.0 / v.vmaxM3 : 0.0);
        }
        vmidFromPrz(n);
        break;
    case FlowField::VmidPrz:
        vmidFromPrz(n);
        break;
    case FlowField::VminPrz: {
        // New firmware takes V'nom from the OEM entry for this step.
        const double nom = ofVnom ? in.vnomOem : n;
        vminFromPrz(nom);
        vmidFromPrz(nom);
        break;
    }
    case FlowField::Setpoint:
        // The controller gets the committed setpoint, not each keystroke ("8" on the way to "80").
        if (in.setpointVariabel && !in.typing)
            r.variableSetpoint = RoundHalfEven(v.setpoint * 100.0);
        break;
    }

    r.vminPrzMin = in.vminPrzMin;
    if (updateLimit) {
        r.limit = UpdateVminLimit(n, v.vmaxPrz, in.firmware, in.limit, in.vminRangeLabel);
        r.vminPrzMin = r.limit->vminPrzMin;
    }
    r.setzenEnabled = SetzenEnabled(in.readEnabled, v.vmaxPrz);
    r.strgSHintVisible = StrgSHintVisible(r.setzenEnabled);
    r.sliderVmax = SliderVmaxPosition(v.vmaxPrz);
    r.sliderVmin = SliderVminPosition(v.vminPrz);
    r.vminWarning = VminWarning(r.vminPrzMin, v.vminPrz);
    return r;
}

FieldText SliderVmaxMoved(int position)
{
    return {FlowField::VmaxPrz, Fixed(100 - std::clamp(position, 0, 70), 2)};
}

FieldText SliderVminMoved(int position)
{
    return {FlowField::VminPrz, Fixed(100 - std::clamp(position, 0, 100), 2)};
}

std::vector<FieldText> LeaveFigure(std::optional<FlowField> left, const QString& leftText,
                                   double vmaxPrz)
{
    std::vector<FieldText> out;
    const bool raise = vmaxPrz < VmaxPrzLeaveMin;
    if (raise)
        out.push_back({FlowField::VmaxPrz, Fixed(VmaxPrzLeaveMin, 2)});
    if (!left || *left == FlowField::Setpoint || (raise && *left == FlowField::VmaxPrz))
        return out;
    const QString text = leftText.isEmpty() ? QStringLiteral("0") : leftText;
    out.push_back({*left, Fixed(GetFloatWert(text), FlowFieldDecimals(*left))});
    return out;
}

// ---------------------------------------------------------------------------------------------

AnchoredValue Reanchor(const AnchoredValue& anchor, double shown, double factor)
{
    const int32_t s = RoundHalfEven(shown);
    if (s == anchor.shown)
        return anchor;
    return {factor != 0 ? shown / factor : 0.0, s};
}

AnchoredValue ConvertAnchored(const AnchoredValue& anchor, double shown, double oldFactor,
                              double newFactor)
{
    const AnchoredValue a = Reanchor(anchor, shown, oldFactor);
    return {a.device, RoundHalfEven(a.device * newFactor)};
}

UnitView ShowUnits(const UnitContext& u)
{
    UnitView v;
    v.functionUnit = FunctionUnit(u);
    v.pressureUnit = PressureUnit(u.unitIndex);
    v.sensorUnit = SensorUnit(u);
    v.sensorMax = MaxDisplay(SensorFactor(u));
    v.sensorHint = RangeHint(0, v.sensorMax);
    v.vnomMax = VnomMax(u);
    v.vnomHint = RangeHint(1, v.vnomMax);
    return v;
}

ConvertResult ConvertUnits(const ConvertInput& in)
{
    const UnitContext oldU{in.oldUnitIndex, in.reglerFkt, in.sensorTyp};
    const UnitContext newU{in.newUnitIndex, in.reglerFkt, in.sensorTyp};
    const double fOld = FunctionFactor(oldU), fNew = FunctionFactor(newU);
    const double sOld = SensorFactor(oldU), sNew = SensorFactor(newU);
    ConvertResult r;
    r.view = ShowUnits(newU);
    // The largest device value can round above the new set's maximum (65535 m³/h is 38579.5
    // cfm); the text then holds the maximum while the anchor keeps the device value.
    auto limited = [](AnchoredValue a, int32_t max) {
        a.shown = std::min(a.shown, max);
        return a;
    };
    r.vnom = limited(ConvertAnchored(in.vnom, in.vnomShown, fOld, fNew), r.view.vnomMax);
    r.vnomText = Fixed(r.vnom.shown, 0);
    r.pnom = limited(ConvertAnchored(in.pnom, in.pnomShown, sOld, sNew), r.view.sensorMax);
    r.ptot = limited(ConvertAnchored(in.ptot, in.ptotShown, sOld, sNew), r.view.sensorMax);
    if (in.dataRead) {
        // The device copy is converted on its own, so a difference the user made stays one
        // and the unit change alone adds none.
        r.hwVnom = ConvertAnchored(in.hwVnom, in.hwVnom.shown, fOld, fNew);
        r.hwPnom = ConvertAnchored(in.hwPnom, in.hwPnom.shown, sOld, sNew);
        r.hwPtot = ConvertAnchored(in.hwPtot, in.hwPtot.shown, sOld, sNew);
    }
    return r;
}

// ---------------------------------------------------------------------------------------------

const char* VoltageFieldName(VoltageField f)
{
    switch (f) {
    case VoltageField::W1Start: return "EditW1Min";
    case VoltageField::W1Stop: return "EditW1Max";
    case VoltageField::U5Start: return "EditU5Min";
    case VoltageField::U5Stop: return "EditU5Max";
    }
    return "";
}

QString& VoltageTexts::at(VoltageField f)
{
    switch (f) {
    case VoltageField::W1Start: return w1Start;
    case VoltageField::W1Stop: return w1Stop;
    case VoltageField::U5Start: return u5Start;
    case VoltageField::U5Stop: break;
    }
    return u5Stop;
}

const QString& VoltageTexts::at(VoltageField f) const
{
    return const_cast<VoltageTexts*>(this)->at(f);
}

static bool IsStart(VoltageField f) { return f == VoltageField::W1Start || f == VoltageField::U5Start; }
static VoltageField StopOf(VoltageField f)
{
    return (f == VoltageField::W1Start || f == VoltageField::W1Stop) ? VoltageField::W1Stop
                                                                     : VoltageField::U5Stop;
}
static VoltageField StartOf(VoltageField f)
{
    return (f == VoltageField::W1Start || f == VoltageField::W1Stop) ? VoltageField::W1Start
                                                                     : VoltageField::U5Start;
}
// Compared in millivolts, as the device keeps them, so 9.1 - 2 against 7.1 is no float matter.
static int32_t Mv(const QString& text) { return RoundHalfEven(GetFloatWert(text) * 1000.0); }

static void SetVoltage(VoltageResult& r, VoltageField f, double v)
{
    r.texts.at(f) = Fixed(v, 1);
    if (std::find(r.rewritten.begin(), r.rewritten.end(), f) == r.rewritten.end())
        r.rewritten.push_back(f);
}

VoltageMode RecogniseVoltageMode(const VoltageTexts& t)
{
    const double ws = GetFloatWert(t.w1Start), we = GetFloatWert(t.w1Stop);
    const double us = GetFloatWert(t.u5Start), ue = GetFloatWert(t.u5Stop);
    if (ws == 0 && we == 10 && us == 0 && ue == 10)
        return VoltageMode::Range0To10;
    if (ws == 2 && we == 10 && us == 2 && ue == 10)
        return VoltageMode::Range2To10;
    return VoltageMode::Free;
}

VoltageResult VoltageChanged(VoltageField changed, const VoltageTexts& texts)
{
    VoltageResult r;
    r.texts = texts;
    const double max = IsStart(changed) ? VoltageStartMax : VoltageStopMax;
    const Clamped c = ClampToRange(GetFloatWert(texts.at(changed)), 0, max);
    r.changedClamp = c.hit;
    if (c.hit != Bound::None)
        SetVoltage(r, changed, c.value);
    if (IsStart(changed)) {
        const VoltageField stop = StopOf(changed);
        if (Mv(r.texts.at(stop)) - 2000 < Mv(r.texts.at(changed))) {
            SetVoltage(r, stop, GetFloatWert(r.texts.at(changed)) + VoltageMinSpan);
            r.stopRaised = true;
        }
    }
    r.mode = RecogniseVoltageMode(r.texts);
    if (*r.mode == VoltageMode::Free)
        r.freeCaption = FreeRangeCaption(r.texts);
    return r;
}

QString FreeRangeCaption(const VoltageTexts& t)
{
    return QStringLiteral("w: ") + t.w1Start + QStringLiteral(" .. ") + t.w1Stop + QStringLiteral(" V, U5: ")
        + t.u5Start + QStringLiteral(" .. ") + t.u5Stop + QStringLiteral(" V");
}

VoltageResult VoltageLeft(VoltageField left, const VoltageTexts& texts)
{
    VoltageResult r;
    r.texts = texts;
    SetVoltage(r, left, GetFloatWert(texts.at(left)));
    if (!IsStart(left)) {
        const VoltageField start = StartOf(left);
        const double stop = GetFloatWert(r.texts.at(left));
        if (Mv(r.texts.at(left)) - 2000 < Mv(r.texts.at(start))) {
            r.startLowered = true;
            if (stop < VoltageMinSpan) {
                // Keep the pair inside the 0 V start of the range: 0.0 .. 2.0.
                SetVoltage(r, start, 0.0);
                SetVoltage(r, left, VoltageMinSpan);
                r.stopRaisedOnLeave = true;
            } else {
                SetVoltage(r, start, stop - VoltageMinSpan);
            }
        }
    }
    return r;
}

VoltageTexts VoltageModeTexts(VoltageMode mode)
{
    VoltageTexts t;
    if (mode == VoltageMode::Range2To10)
        t.w1Start = t.u5Start = QStringLiteral("2.0");
    return t;
}

// ---------------------------------------------------------------------------------------------

RangeHints SetRangeHints(const UnitContext& u, uint16_t snrDevFam, uint16_t snrSuffix,
                         const QString& firmwareCaption)
{
    RangeHints h;
    h.vnom = RangeHint(1, VnomMax(u));
    h.density = RangeHint(0.5, 2);
    h.leitwertErmittelt = RangeHint(0, 33149) + QStringLiteral(", ") + firmwareCaption
        + QStringLiteral(" < 0204 : ") + RangeHint(0, 6553.5);
    h.k = RangeHint(-1000, 1000);
    auto spin = [](QvSpin s) {
        const QvSpinLimit l = QvSpinLimits(s);
        return RangeHint(l.min, l.max);
    };
    h.jahr = spin(QvSpin::Jahr);
    h.woche = spin(QvSpin::Woche);
    h.nummer = spin(QvSpin::Nummer);
    h.teststation = spin(QvSpin::Teststation);
    h.tn = spin(QvSpin::Tn);
    h.tv = spin(QvSpin::Tv);
    h.t1 = spin(QvSpin::T1);
    h.devFam = QString::number(snrDevFam);
    h.famSuff = QString::number(snrSuffix);
    return h;
}

QvSpinLimit QvSpinLimits(QvSpin spin)
{
    switch (spin) {
    case QvSpin::Jahr: return {0, 99, 2, true};
    case QvSpin::Woche: return {1, 52, 2, true};
    case QvSpin::Nummer: return {1, 5535, 4, true};
    case QvSpin::Teststation: return {1, 9, 3, true};
    case QvSpin::FamSuff: return {0, 255, 3, false};
    case QvSpin::DevFam: return {3, 3, 3, false};
    case QvSpin::Tn:
    case QvSpin::Tv:
    case QvSpin::T1: return {0, 32767, 0, true};
    }
    return {};
}

QvSpinValue ClampQvSpin(QvSpin spin, const QString& text)
{
    const QvSpinLimit l = QvSpinLimits(spin);
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok)
        return {l.min, Bound::None, true};
    if (v < l.min)
        return {l.min, Bound::Min, false};
    if (v > l.max)
        return {l.max, Bound::Max, false};
    return {static_cast<int>(v), Bound::None, false};
}

// ---------------------------------------------------------------------------------------------

static QString Percent(int32_t hundredths) { return Fixed(hundredths / 100.0, 2) + QStringLiteral(" %"); }
static QString Volt(int32_t mv) { return Fixed(mv / 1000.0, 1) + QStringLiteral(" V"); }

static void CheckRange(std::vector<Violation>& out, const char* key, const char* what, int32_t v,
                       int32_t max, QString (*fmt)(int32_t))
{
    if (v < 0 || v > max)
        out.push_back({QString::fromLatin1(key), QStringLiteral("%1 %2 is outside 0 .. %3")
                                                     .arg(QString::fromUtf8(what), fmt(v), fmt(max))});
}

static void CheckVoltageRange(std::vector<Violation>& out, const char* startKey, const char* stopKey,
                              const char* name, int32_t start, int32_t stop)
{
    const QString n = QString::fromLatin1(name);
    CheckRange(out, startKey, (n + QStringLiteral(" start")).toUtf8().constData(), start, 8000, Volt);
    CheckRange(out, stopKey, (n + QStringLiteral(" stop")).toUtf8().constData(), stop, 10000, Volt);
    if (stop - start < 2000)
        out.push_back({QString::fromLatin1(stopKey),
                       QStringLiteral("%1 stop %2 is less than 2 V above its start %3")
                           .arg(n, Volt(stop), Volt(start))});
}

std::vector<Violation> ValidateBetrieb(const BetriebSnapshot& s)
{
    std::vector<Violation> out;
    if (s.vnom < 1 || s.vnom > 65535)
        out.push_back({QStringLiteral("VnomM3"),
                       QStringLiteral("V'nom %1 is outside 1 .. 65535").arg(s.vnom)});
    CheckRange(out, "VmaxPrz", "V'max", s.vmaxPrz, 10000, Percent);
    if (s.vmaxPrz >= 0 && s.vmaxPrz < 3000)
        out.push_back({QStringLiteral("VmaxPrz"),
                       QStringLiteral("V'max %1 is below 30 %").arg(Percent(s.vmaxPrz))});
    CheckRange(out, "VminPrz", "V'min", s.vminPrz, 10000, Percent);
    if (VminIsShareOfVnom(s.firmware) && s.vminPrz > s.vmaxPrz && s.vminPrz <= 10000)
        out.push_back({QStringLiteral("VminPrz"),
                       QStringLiteral("V'min %1 is above V'max %2")
                           .arg(Percent(s.vminPrz), Percent(s.vmaxPrz))});
    CheckRange(out, "VmidPrz", "V'mid", s.vmidPrz, 10000, Percent);
    CheckVoltageRange(out, "W1MinMV", "W1MaxMV", "W1", s.w1MinMV, s.w1MaxMV);
    CheckVoltageRange(out, "U5MinMV", "U5MaxMV", "U5", s.u5MinMV, s.u5MaxMV);
    return out;
}

} // namespace kadex::coupling
