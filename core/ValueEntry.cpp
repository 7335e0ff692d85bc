#include "core/ValueEntry.h"

#include "common/Helpers.h"
#include "device/OEMData.h"
#include "settings/Trace.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kadex {

using namespace coupling;
using sensor::ActuatorChoice;
using sensor::SensorChoice;
using sensor::SensorKind;

namespace {

constexpr std::array<std::pair<FlowField, FieldId>, 8> kFlowFields = {{
    {FlowField::Vnom, fld::EditVnomM3Anz},
    {FlowField::VmaxM3, fld::EditVmaxM3},
    {FlowField::VmaxPrz, fld::EditVmaxPrz},
    {FlowField::VminM3, fld::EditVminM3},
    {FlowField::VminPrz, fld::EditVminPrz},
    {FlowField::VmidM3, fld::EditVmidM3},
    {FlowField::VmidPrz, fld::EditVmidPrz},
    {FlowField::Setpoint, fld::EditBetrSollwPrz},
}};

FieldId FieldOf(FlowField f)
{
    for (const auto& [flow, id] : kFlowFields)
        if (flow == f)
            return id;
    return fld::EditVnomM3Anz;
}

constexpr std::array<std::pair<VoltageField, FieldId>, 4> kVoltageFields = {{
    {VoltageField::W1Start, fld::EditW1Min},
    {VoltageField::W1Stop, fld::EditW1Max},
    {VoltageField::U5Start, fld::EditU5Min},
    {VoltageField::U5Stop, fld::EditU5Max},
}};

FieldId FieldOf(VoltageField f)
{
    for (const auto& [v, id] : kVoltageFields)
        if (v == f)
            return id;
    return fld::EditW1Min;
}

const std::initializer_list<FieldId> kCoupled = {
    fld::EditVnomM3Anz, fld::EditVmaxM3, fld::EditVmaxPrz, fld::EditVminM3, fld::EditVminPrz,
    fld::EditVmidM3,    fld::EditVmidPrz, fld::EditBetrSollwPrz, fld::TrackBarVMax, fld::TrackBarVMin,
    fld::EditVmaxM3_OEM, fld::EditVminM3_OEM,
};
const std::initializer_list<FieldId> kModeChoices = {
    fld::RadioButtonMode_W1_2_10V, fld::RadioButtonMode_W1_0_10V, fld::RadioButtonMode_W1,
    fld::RadioButtonMode_W1_2_10V_OEM, fld::RadioButtonMode_W1_0_10V_OEM, fld::RadioButtonMode_W1_OEM,
};
const std::initializer_list<FieldId> kVoltages = {fld::EditW1Min, fld::EditW1Max, fld::EditU5Min, fld::EditU5Max};
const std::initializer_list<FieldId> kSensorSpins = {fld::SpinEditVAVPmin, fld::SpinEditVAVPmax, fld::SpinEditVAVPnom,
                                                     fld::SpinEditVAVPtot, fld::SpinEditVAVPverz, fld::SpinEditVAVVtot};
const std::initializer_list<FieldId> kSensorChoices = {fld::RadioButtonDPK100, fld::RadioButtonDPK300,
                                                       fld::RadioButtonDPK600, fld::RadioButtonDPKVariabel};
const std::initializer_list<FieldId> kSensorTypes = {fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypVolumenstr,
                                                     fld::RadioButtonSensTypDSK3Druck};
const std::initializer_list<FieldId> kActuatorFields = {
    fld::SpinEditVAVYmin, fld::SpinEditVAVYmax,      fld::SpinEditVAVYRmin,   fld::SpinEditVAVYRmax,
    fld::SpinEditLZAntrieb, fld::RadioButtonVAVYLinear, fld::RadioButtonVAVY2_10V,
};
const std::initializer_list<FieldId> kActuatorChoices = {fld::RadioButtonAntr_HFX_ST, fld::RadioButtonAntr_RGT,
                                                         fld::RadioButtonAntr_Variabel};

constexpr int kOemTab = 0;

FieldId SensorChoiceField(SensorChoice c)
{
    switch (c) {
    case SensorChoice::Size100: return fld::RadioButtonDPK100;
    case SensorChoice::Size300: return fld::RadioButtonDPK300;
    case SensorChoice::Size600: return fld::RadioButtonDPK600;
    default: return fld::RadioButtonDPKVariabel;
    }
}

FieldId ActuatorChoiceField(ActuatorChoice c)
{
    switch (c) {
    case ActuatorChoice::HFX: return fld::RadioButtonAntr_HFX_ST;
    case ActuatorChoice::RGT: return fld::RadioButtonAntr_RGT;
    default: return fld::RadioButtonAntr_Variabel;
    }
}

double Parsed(const WindowModel& m, FieldId f) { return GetFloatWert(m.text(f)); }

} // namespace

TValueEntry::TValueEntry(TDeviceContext& ctx, sensor::PresetTable presets)
    : ctx_(ctx), m_(ctx.model), presets_(std::move(presets)), memory_(sensor::SensorMemory::Initial(presets_))
{
    install();
    SetRangeHints();
    ShowUnits();
}

void TValueEntry::Attach(TOEMData& oem)
{
    oem_ = &oem;
    oem.OnRecordShown = [this](const TOEM_Data& rec) { recordShown(rec); };
    oem.OnDetectPresets = [this] {
        DetectSensorPreset();
        DetectActuatorPreset();
    };
}

// ------------------------------------------------------------------------ installation

void TValueEntry::install()
{
    // V'nom: the plain range check while typing, the copy into the Service display (which
    // runs the coupling), formatting on leave.
    m_.onChange(fld::EditVnomM3, [this](const Change&) {
        const double vnomMax = VnomMax(units());
        if (m_.clampToRange(fld::EditVnomM3))
            setRangeHint(fld::EditVnomM3, 1, vnomMax);
        m_.setText(fld::EditVnomM3Anz, m_.text(fld::EditVnomM3));
    });
    m_.onLeave(fld::EditVnomM3, [this](const QString&) {
        m_.formatValue(fld::EditVnomM3);
        m_.setText(fld::EditVnomM3Anz, m_.text(fld::EditVnomM3));
    });

    for (const auto& [flow, id] : kFlowFields) {
        const FlowField f = flow;
        m_.onChange(id, [this, f](const Change& c) { couple(f, c.origin == Origin::User || mirrorTyping_); });
        m_.onLeave(id, [this, f](const QString&) { leaveFigure(f); });
    }
    m_.onChange(fld::TrackBarVMax, [this](const Change&) {
        const FieldText t = SliderVmaxMoved(static_cast<int>(m_.value(fld::TrackBarVMax)));
        m_.setText(FieldOf(t.field), t.text);
    });
    m_.onChange(fld::TrackBarVMin, [this](const Change&) {
        const FieldText t = SliderVminMoved(static_cast<int>(m_.value(fld::TrackBarVMin)));
        m_.setText(FieldOf(t.field), t.text);
    });
    // The OEM mirrors pass their text on to the Service fields, which run the coupling.
    for (const auto& [mirror, service] : {std::pair{fld::EditVmaxM3_OEM, fld::EditVmaxM3}, std::pair{fld::EditVminM3_OEM, fld::EditVminM3}}) {
        const FieldId from = mirror, to = service;
        m_.onChange(from, [this, from, to](const Change& c) {
            const bool outer = mirrorTyping_;
            mirrorTyping_ = c.origin == Origin::User;
            m_.setText(to, m_.text(from));
            mirrorTyping_ = outer;
        });
    }
    // The Service tab's and the OEM tab's Position are one text shown twice.
    for (const auto& [source, twin] : {std::pair{fld::EditPositionInput, fld::EditPositionInput_OEM},
                                       std::pair{fld::EditPositionInput_OEM, fld::EditPositionInput}}) {
        const FieldId from = source, to = twin;
        m_.onChange(from, [this, from, to](const Change& c) {
            if (!c.has(Prop::Text) || m_.text(to) == m_.text(from))
                return;
            TraceMain.TraceText(to.name() + QStringLiteral(".Text := ") + from.name() + QStringLiteral(".Text"),
                                m_.text(from));
            ChangesSuspended quiet(m_, {to});
            m_.setText(to, m_.text(from), c.origin);
        });
    }
    for (const FieldId f : {fld::EditVmaxM3_OEM, fld::EditVminM3_OEM})
        m_.onLeave(f, [this](const QString&) { leaveFigure(std::nullopt); });
    // A range choice on either tab sets the four voltages (each runs the change handling).
    const std::pair<FieldId, VoltageMode> modes[] = {
        {fld::RadioButtonMode_W1_2_10V, VoltageMode::Range2To10}, {fld::RadioButtonMode_W1_0_10V, VoltageMode::Range0To10},
        {fld::RadioButtonMode_W1_2_10V_OEM, VoltageMode::Range2To10}, {fld::RadioButtonMode_W1_0_10V_OEM, VoltageMode::Range0To10},
    };
    for (const auto& [field, mode] : modes) {
        const VoltageMode md = mode;
        m_.onChange(field, [this, md](const Change& c) {
            if (c.origin != Origin::User || !m_.checked(c.field))
                return;
            const VoltageTexts t = VoltageModeTexts(md);
            for (const auto& [v, id] : kVoltageFields)
                m_.setText(id, t.at(v));
        });
    }
    m_.onLeave(fld::TrackBarVMax, [this](const QString&) { leaveFigure(std::nullopt); });
    m_.onLeave(fld::TrackBarVMin, [this](const QString&) { leaveFigure(std::nullopt); });

    for (const auto& [volt, id] : kVoltageFields) {
        const VoltageField v = volt;
        m_.onChange(id, [this, v](const Change&) { voltageChanged(v); });
        m_.onLeave(id, [this, v](const QString&) { voltageLeft(v); });
    }

    // Conductance and K: plain entry; the conductance moves the lowest V'min.
    m_.usePlainEntry(fld::EditVAVLwErmittelt);
    m_.onChange(fld::EditVAVLwErmittelt, [this](const Change&) { UpdateVminLimit(); });
    m_.setRange(fld::EditVAVK, -1000, 1000);
    m_.usePlainEntry(fld::EditVAVK);

    // "Setzen" follows "Lesen" and the 30 % rule, whoever enables either.
    m_.addListener([this](const QString& field, Prop p) {
        if (p == Prop::Enabled && (field == fld::ButtonLesen.name() || field == fld::ButtonSetzen.name()))
            followSetzen();
    });

    // Sensor and actuator choices: clicks choose, program changes (a record read) only show.
    m_.onChange(kSensorTypes, [this](const Change& c) {
        if (!m_.checked(c.field))
            return;
        SensorKind k = SensorKind::DPK;
        if (c.is(fld::RadioButtonSensTypVolumenstr))
            k = SensorKind::VolumeSignal;
        else if (c.is(fld::RadioButtonSensTypDSK3Druck))
            k = SensorKind::DSK3;
        if (c.origin == Origin::User) {
            ChooseSensorType(k);
        } else {
            {
                std::lock_guard<std::mutex> lk(state_);
                kind_ = k;
            }
            const QStringList captions = sensor::SensorPresetCaptions(k);
            for (int i = 0; i < captions.size(); ++i)
                m_.setCaption(std::data(kSensorChoices)[i], captions[i]);
            ShowUnits();
            UpdateVminLimit();
        }
    });
    for (const SensorChoice c : {SensorChoice::Size100, SensorChoice::Size300, SensorChoice::Size600, SensorChoice::Variabel})
        m_.onChange(SensorChoiceField(c), [this, c](const Change& ch) {
            if (ch.origin == Origin::User && m_.checked(ch.field))
                ApplySensorPreset(c);
        });
    for (const ActuatorChoice c : {ActuatorChoice::HFX, ActuatorChoice::RGT, ActuatorChoice::Variabel})
        m_.onChange(ActuatorChoiceField(c), [this, c](const Change& ch) {
            if (ch.origin == Origin::User && m_.checked(ch.field))
                ApplyActuatorPreset(c);
        });
    m_.onChange(kSensorSpins, [this](const Change& c) {
        DetectSensorPreset();
        if (c.is(fld::SpinEditVAVPtot))
            UpdateVminLimit();
    });
    m_.onChange(kActuatorFields, [this](const Change&) { DetectActuatorPreset(); });
}

// ------------------------------------------------------------------------ context

UnitContext TValueEntry::units() const
{
    const int typ = m_.checked(fld::RadioButtonSensTypVolumenstr) ? 1 : 2;
    return {ctx_.UnitIndex.load(), ctx_.ReglerFkt.load(), typ};
}

VminLimitInput TValueEntry::limitInput() const
{
    VminLimitInput in;
    in.units = units();
    in.ptot = m_.value(fld::SpinEditVAVPtot);
    in.conductance = Parsed(m_, fld::EditVAVLwErmittelt);
    in.density = Parsed(m_, fld::EditVAVDichte);
    return in;
}

void TValueEntry::setRangeHint(FieldId f, double min, double max) { m_.setHint(f, RangeHint(min, max)); }

int32_t TValueEntry::VminPrzMin() const
{
    std::lock_guard<std::mutex> lk(state_);
    return vminPrzMin_;
}

QString TValueEntry::VminRangeLabel() const
{
    std::lock_guard<std::mutex> lk(state_);
    return vminRangeLabel_;
}

sensor::SensorMemory TValueEntry::Memory() const
{
    std::lock_guard<std::mutex> lk(state_);
    return memory_;
}

AnchoredValue TValueEntry::VnomAnchor() const
{
    std::lock_guard<std::mutex> lk(state_);
    return anchors_.vnom;
}

// ------------------------------------------------------------------------ Service figures

void TValueEntry::couple(FlowField changed, bool typing)
{
    CouplingInput in;
    in.changed = changed;
    in.typing = typing;
    if (typing) {
        std::lock_guard<std::mutex> lk(state_);
        typed_ = changed;
    }
    for (const auto& [flow, id] : kFlowFields)
        in.values.set(flow, Parsed(m_, id));
    // Without a V'nom a units value carries no share: deriving the percentages from it would
    // wipe them to 0 (the start-up fills V'max units before anything is read).
    const bool unitsField = changed == FlowField::VmaxM3 || changed == FlowField::VminM3 || changed == FlowField::VmidM3;
    if (unitsField && in.values.vnom <= 0)
        return;
    in.vnomOem = Parsed(m_, fld::EditVnomM3);
    in.firmware = ctx_.FirmwareVersion.load();
    in.readEnabled = m_.enabled(fld::ButtonLesen);
    in.setpointVariabel = m_.checked(fld::RadioBetrVariabel);
    in.limit = limitInput();
    {
        std::lock_guard<std::mutex> lk(state_);
        in.vminRangeLabel = vminRangeLabel_;
        in.vminPrzMin = vminPrzMin_;
    }
    const CouplingResult r = Couple(in);
    {
        ChangesSuspended quiet(m_, kCoupled);
        for (const FieldText& t : r.rewrites)
            m_.setText(FieldOf(t.field), t.text);
        m_.setValue(fld::TrackBarVMax, r.sliderVmax);
        m_.setValue(fld::TrackBarVMin, r.sliderVmin);
        m_.setText(fld::EditVmaxM3_OEM, m_.text(fld::EditVmaxM3));
        m_.setText(fld::EditVminM3_OEM, m_.text(fld::EditVminM3));
    }
    {
        std::lock_guard<std::mutex> lk(state_);
        vminPrzMin_ = r.vminPrzMin;
        if (r.limit)
            vminRangeLabel_ = r.limit->rangeLabel;
    }
    // The units fields are bounded by V'nom and V'max as they now stand.
    const double n = r.values.vnom, x = r.values.vmaxM3;
    m_.setRange(fld::EditVmaxM3, 0, std::max(n, 0.0));
    m_.setRange(fld::EditVminM3, 0, std::max(x, 0.0));
    m_.setRange(fld::EditVmidM3, 0, std::max(x, 0.0));
    setRangeHint(fld::EditVmaxM3, 0, std::max(n, 0.0));
    setRangeHint(fld::EditVminM3, 0, std::max(x, 0.0));
    setRangeHint(fld::EditVmidM3, 0, std::max(x, 0.0));
    if (r.changedClamp != Bound::None) {
        double hi = 100;
        if (changed == FlowField::Vnom)
            hi = VnomMax(in.limit.units);
        else if (changed == FlowField::VmaxM3)
            hi = n;
        else if (changed == FlowField::VminM3 || changed == FlowField::VmidM3)
            hi = x;
        setRangeHint(FieldOf(changed), 0, std::max(hi, 0.0));
    }
    if (r.limit) {
        m_.setHint(fld::EditVminPrz, r.limit->rangeLabel);
        m_.setCaption(fld::LabelVminPrzBereich, r.limit->rangeLabel);
    }
    m_.setTextColour(fld::EditVminPrz, r.vminWarning ? Colour::Red : Colour::WindowText);
    if (r.variableSetpoint && OnVariableSetpoint)
        OnVariableSetpoint(*r.variableSetpoint);
    m_.setEnabled(fld::ButtonSetzen, r.setzenEnabled);
    m_.setVisible(fld::LabelOEMHinweisVS, r.strgSHintVisible);
    m_.setHint(fld::ButtonSetzen, r.setzenEnabled ? QString() : QStringLiteral("V'max ≥ 30 %"));
}

void TValueEntry::followSetzen()
{
    const bool on = SetzenEnabled(m_.enabled(fld::ButtonLesen), Parsed(m_, fld::EditVmaxPrz));
    if (!on)
        m_.setEnabled(fld::ButtonSetzen, false);
    m_.setVisible(fld::LabelOEMHinweisVS, StrgSHintVisible(on && m_.enabled(fld::ButtonSetzen)));
}

void TValueEntry::leaveFigure(std::optional<FlowField> left)
{
    const QString text = left ? m_.text(FieldOf(*left)) : QString();
    for (const FieldText& t : LeaveFigure(left, text, Parsed(m_, fld::EditVmaxPrz)))
        m_.setText(FieldOf(t.field), t.text);
    if (Parsed(m_, fld::EditVmaxPrz) == VmaxPrzLeaveMin)
        m_.setHint(fld::EditVmaxPrz, RangeHint(VmaxPrzLeaveMin, 100));
    // After the 30 % rule, so that V'min is measured against the V'max that stays.
    CommitTyping();
    committed();
}

void TValueEntry::CommitTyping()
{
    std::optional<FlowField> typed;
    {
        std::lock_guard<std::mutex> lk(state_);
        typed = std::exchange(typed_, std::nullopt);
    }
    if (typed)
        couple(*typed, false);
}

void TValueEntry::committed()
{
    if (OnValuesCommitted)
        OnValuesCommitted();
}

void TValueEntry::UpdateVminLimit()
{
    QString label;
    {
        std::lock_guard<std::mutex> lk(state_);
        label = vminRangeLabel_;
    }
    const VminLimit l = coupling::UpdateVminLimit(Parsed(m_, fld::EditVnomM3Anz), Parsed(m_, fld::EditVmaxPrz),
                                                  ctx_.FirmwareVersion.load(), limitInput(), label);
    {
        std::lock_guard<std::mutex> lk(state_);
        vminPrzMin_ = l.vminPrzMin;
        vminRangeLabel_ = l.rangeLabel;
    }
    m_.setHint(fld::EditVminPrz, l.rangeLabel);
    m_.setCaption(fld::LabelVminPrzBereich, l.rangeLabel);
    m_.setTextColour(fld::EditVminPrz,
                     VminWarning(l.vminPrzMin, Parsed(m_, fld::EditVminPrz)) ? Colour::Red : Colour::WindowText);
}

// ------------------------------------------------------------------------ voltages

void TValueEntry::voltageChanged(VoltageField f)
{
    VoltageTexts t;
    for (const auto& [v, id] : kVoltageFields)
        t.at(v) = m_.text(id);
    const VoltageResult r = VoltageChanged(f, t);
    ChangesSuspended quiet(m_, kVoltages);
    for (const VoltageField w : r.rewritten)
        m_.setText(FieldOf(w), r.texts.at(w));
    showVoltageMode(r.texts);
    if (r.changedClamp != Bound::None) {
        const bool start = f == VoltageField::W1Start || f == VoltageField::U5Start;
        setRangeHint(FieldOf(f), 0, start ? VoltageStartMax : VoltageStopMax);
    }
}

void TValueEntry::voltageLeft(VoltageField f)
{
    VoltageTexts t;
    for (const auto& [v, id] : kVoltageFields)
        t.at(v) = m_.text(id);
    const VoltageResult r = VoltageLeft(f, t);
    ChangesSuspended quiet(m_, kVoltages);
    for (const VoltageField w : r.rewritten)
        m_.setText(FieldOf(w), r.texts.at(w));
    if (r.startLowered || r.stopRaisedOnLeave) {
        const FieldId start = (f == VoltageField::W1Stop || f == VoltageField::W1Start) ? fld::EditW1Min : fld::EditU5Min;
        m_.setHint(start, QStringLiteral("Stop − 2.0 V"));
    }
    // The choice and the free range's caption show the texts as they now stand.
    if (!r.rewritten.empty())
        showVoltageMode(r.texts);
    committed();
}

void TValueEntry::showVoltageMode(const VoltageTexts& texts)
{
    const VoltageMode mode = RecogniseVoltageMode(texts);
    ChangesSuspended still(m_, kModeChoices);
    const bool free = mode == VoltageMode::Free;
    for (const FieldId choice : {fld::RadioButtonMode_W1, fld::RadioButtonMode_W1_OEM}) {
        if (free)
            m_.setCaption(choice, FreeRangeCaption(texts));
        m_.setVisible(choice, free);
    }
    const bool two = mode == VoltageMode::Range2To10;
    m_.setChecked(free ? fld::RadioButtonMode_W1 : two ? fld::RadioButtonMode_W1_2_10V : fld::RadioButtonMode_W1_0_10V, true);
    m_.setChecked(free ? fld::RadioButtonMode_W1_OEM
                       : two ? fld::RadioButtonMode_W1_2_10V_OEM : fld::RadioButtonMode_W1_0_10V_OEM,
                  true);
}

// ------------------------------------------------------------------------ units and hints

void TValueEntry::ShowUnits()
{
    const UnitView v = coupling::ShowUnits(units());
    for (const FieldId f : {fld::EditVnomM3, fld::EditVnomM3Anz, fld::EditVmaxM3, fld::EditVminM3, fld::EditVmidM3,
                            fld::EditBetrSollwM3, fld::EditBetrIstwM3})
        m_.setUnit(f, v.functionUnit);
    for (const FieldId f : {fld::LabelVnomM3Dim, fld::LabelVmaxM3_OEMDim, fld::LabelVminM3_OEMDim, fld::LabelVnomM3AnzDim,
                            fld::LabelVmaxM3Dim, fld::LabelVmidM3Dim, fld::LabelVminM3Dim, fld::LabelBetrSollwM3Dim,
                            fld::LabelBetrIstwM3Dim})
        m_.setCaption(f, v.functionUnit);
    const ShareLabels share = PercentShareLabels(ctx_.ReglerFkt.load(), ctx_.FirmwareVersion.load());
    m_.setCaption(fld::LabelVmaxPrzDim, share.vmax);
    m_.setCaption(fld::LabelVminPrzDim, share.vmin);
    m_.setUnit(fld::EditSensorValue, v.pressureUnit);
    m_.setCaption(fld::LabelSensorValueDim, v.pressureUnit);
    m_.setCaption(fld::LabelVAVPnomDim, v.sensorUnit);
    m_.setCaption(fld::LabelVAVPtotDim, v.sensorUnit);
    for (const FieldId f : {fld::SpinEditVAVPnom, fld::SpinEditVAVPtot}) {
        m_.setRange(f, 1, v.sensorMax);
        m_.setHint(f, v.sensorHint);
    }
    m_.setRange(fld::EditVnomM3, 1, v.vnomMax);
    m_.setRange(fld::EditVnomM3Anz, 0, v.vnomMax);
    m_.setHint(fld::EditVnomM3, v.vnomHint);
}

void TValueEntry::SetRangeHints()
{
    const RangeHints h = coupling::SetRangeHints(units(), static_cast<uint16_t>(IniQV.SnrDevFam),
                                                 static_cast<uint16_t>(IniQV.SnrSuffix));
    m_.setHint(fld::EditVnomM3, h.vnom);
    m_.setHint(fld::EditVAVDichte, h.density);
    m_.setHint(fld::EditVAVLwErmittelt, h.leitwertErmittelt);
    m_.setHint(fld::EditVAVK, h.k);
    const std::pair<QvSpin, FieldId> spins[] = {
        {QvSpin::Jahr, fld::SpinEditSnrJahr},       {QvSpin::Woche, fld::SpinEditSnrWoche},
        {QvSpin::Nummer, fld::SpinEditSnrNum},      {QvSpin::Teststation, fld::SpinEditSnrTestStation},
        {QvSpin::FamSuff, fld::SpinEditSnrSuffix},  {QvSpin::DevFam, fld::SpinEditSnrDevFam},
        {QvSpin::Tn, fld::SpinEditVAVTn},           {QvSpin::Tv, fld::SpinEditVAVTv},
        {QvSpin::T1, fld::SpinEditVAVT1},
    };
    for (const auto& [spin, id] : spins) {
        const QvSpinLimit l = QvSpinLimits(spin);
        m_.setRange(id, l.min, l.max);
        m_.setEnabled(id, l.enabled);
        if (qvRulesInstalled_ || !l.enabled)
            continue;
        // A typed value outside the range is replaced by the bound it broke; a value read from
        // the device stays as read, so writing it back never changes the serial number.
        const QvSpin which = spin;
        const FieldId field = id;
        m_.onChange(field, [this, which, field](const Change& c) {
            if (c.origin != Origin::User)
                return;
            const QvSpinValue v = ClampQvSpin(which, QString::number(m_.value(field)));
            if (v.hit == Bound::None)
                return;
            ChangesSuspended quiet(m_, {field});
            m_.setValue(field, v.value);
        });
    }
    qvRulesInstalled_ = true;
    m_.setHint(fld::SpinEditSnrJahr, h.jahr);
    m_.setHint(fld::SpinEditSnrWoche, h.woche);
    m_.setHint(fld::SpinEditSnrNum, h.nummer);
    m_.setHint(fld::SpinEditSnrTestStation, h.teststation);
    m_.setHint(fld::SpinEditVAVTn, h.tn);
    m_.setHint(fld::SpinEditVAVTv, h.tv);
    m_.setHint(fld::SpinEditVAVT1, h.t1);
    m_.setHint(fld::SpinEditSnrDevFam, h.devFam);
    m_.setHint(fld::SpinEditSnrSuffix, h.famSuff);
    for (const FieldId f : {fld::SpinEditVAVPmin, fld::SpinEditVAVPmax, fld::SpinEditVAVPverz, fld::SpinEditVAVVtot,
                            fld::SpinEditVAVYmin, fld::SpinEditVAVYmax, fld::SpinEditVAVYRmin, fld::SpinEditVAVYRmax,
                            fld::SpinEditLZAntrieb}) {
        const FieldState s = m_.state(f);
        m_.setHint(f, RangeHint(s.minimum, s.maximum));
    }
}

void TValueEntry::recordShown(const TOEM_Data& rec)
{
    const double fn = FunctionFactor(ctx_.UnitIndex.load(), rec.ReglerFkt);
    const double fs = rec.SensorTyp == SENSOR_VS ? FlowFactor(ctx_.UnitIndex.load()) : PressureFactor(ctx_.UnitIndex.load());
    {
        std::lock_guard<std::mutex> lk(state_);
        anchors_.vnom = {double(rec.Vnom), RoundHalfEven(rec.Vnom * fn)};
        anchors_.pnom = {double(rec.Pnom), RoundHalfEven(rec.Pnom * fs)};
        anchors_.ptot = {double(rec.Ptot), RoundHalfEven(rec.Ptot * fs)};
    }
    UpdateVminLimit();
}

void TValueEntry::ConvertUnits(int newUnitIndex)
{
    const int oldUnit = ctx_.UnitIndex.load();
    ConvertInput in;
    in.oldUnitIndex = oldUnit;
    in.newUnitIndex = newUnitIndex;
    in.reglerFkt = ctx_.ReglerFkt.load();
    in.sensorTyp = units().sensorTyp;
    in.vnomShown = Trunc(Parsed(m_, fld::EditVnomM3));
    in.pnomShown = m_.value(fld::SpinEditVAVPnom);
    in.ptotShown = m_.value(fld::SpinEditVAVPtot);
    {
        std::lock_guard<std::mutex> lk(state_);
        in.vnom = anchors_.vnom;
        in.pnom = anchors_.pnom;
        in.ptot = anchors_.ptot;
    }
    // The compared device copy holds shown values too; converted on its own, a unit change
    // alone shows no difference and one the user made stays.
    auto hwAnchor = [](const AnchoredValue& a, uint16_t hwShown, double f) {
        return int32_t(hwShown) == a.shown || f == 0 ? AnchoredValue{a.device, int32_t(hwShown)}
                                                    : AnchoredValue{hwShown / f, int32_t(hwShown)};
    };
    if (oem_) {
        const UnitContext oldU{oldUnit, in.reglerFkt, in.sensorTyp};
        in.dataRead = true;
        in.hwVnom = hwAnchor(in.vnom, oem_->OEM_Data_HW.Vnom, FunctionFactor(oldU));
        in.hwPnom = hwAnchor(in.pnom, oem_->OEM_Data_HW.Pnom, SensorFactor(oldU));
        in.hwPtot = hwAnchor(in.ptot, oem_->OEM_Data_HW.Ptot, SensorFactor(oldU));
    }
    const ConvertResult r = coupling::ConvertUnits(in);
    ctx_.UnitIndex = newUnitIndex;
    if (oem_) {
        oem_->CarryShownValues(oldUnit);
        auto u16 = [](int32_t v) { return static_cast<uint16_t>(std::clamp(v, 0, 65535)); };
        oem_->OEM_Data_HW.Vnom = u16(r.hwVnom->shown);
        oem_->OEM_Data_HW.Pnom = u16(r.hwPnom->shown);
        oem_->OEM_Data_HW.Ptot = u16(r.hwPtot->shown);
    }
    {
        std::lock_guard<std::mutex> lk(state_);
        anchors_.vnom = r.vnom;
        anchors_.pnom = r.pnom;
        anchors_.ptot = r.ptot;
    }
    ShowUnits();
    {
        // The sensor values are set in one step; detection runs once afterwards.
        ChangesSuspended quiet(m_, kSensorSpins);
        m_.setValue(fld::SpinEditVAVPnom, r.pnom.shown);
        m_.setValue(fld::SpinEditVAVPtot, r.ptot.shown);
    }
    // Runs the V'nom handling and, through the Service copy, the coupling.
    m_.setText(fld::EditVnomM3, r.vnomText);
    m_.setText(fld::EditVnomM3Anz, m_.text(fld::EditVnomM3));
    DetectSensorPreset();
    UpdateVminLimit();
}

// ------------------------------------------------------------------------ sensor and actuator

SensorKind TValueEntry::currentKind() const
{
    if (m_.checked(fld::RadioButtonSensTypVolumenstr))
        return SensorKind::VolumeSignal;
    if (m_.checked(fld::RadioButtonSensTypDSK3Druck))
        return SensorKind::DSK3;
    return SensorKind::DPK;
}

sensor::SensorSet TValueEntry::dialogSet() const
{
    auto v = [&](FieldId f) { return static_cast<int32_t>(m_.value(f)); };
    return {v(fld::SpinEditVAVPmin), v(fld::SpinEditVAVPmax), v(fld::SpinEditVAVPnom),
            v(fld::SpinEditVAVPtot), v(fld::SpinEditVAVPverz), v(fld::SpinEditVAVVtot)};
}

void TValueEntry::showDialogSet(const sensor::SensorSet& s)
{
    ChangesSuspended quiet(m_, kSensorSpins);
    m_.setValue(fld::SpinEditVAVPmin, s.Pmin);
    m_.setValue(fld::SpinEditVAVPmax, s.Pmax);
    m_.setValue(fld::SpinEditVAVPnom, s.Pnom);
    m_.setValue(fld::SpinEditVAVPtot, s.Ptot);
    m_.setValue(fld::SpinEditVAVPverz, s.Pverz);
    m_.setValue(fld::SpinEditVAVVtot, s.Vtot);
}

sensor::ActuatorSet TValueEntry::actuatorSet() const
{
    auto v = [&](FieldId f) { return static_cast<int32_t>(m_.value(f)); };
    return {v(fld::SpinEditVAVYmin), v(fld::SpinEditVAVYmax), v(fld::SpinEditVAVYRmin),
            v(fld::SpinEditVAVYRmax), v(fld::SpinEditLZAntrieb), m_.checked(fld::RadioButtonVAVYLinear)};
}

void TValueEntry::ChooseSensorType(SensorKind kind)
{
    sensor::SensorTypeInput in;
    {
        std::lock_guard<std::mutex> lk(state_);
        in.from = kind_;
        in.memory = memory_;
        // The anchor keeps Pnom and Ptot at their device values while they are unchanged.
        in.oemSet.Pnom = RoundHalfEven(anchors_.pnom.device);
        in.oemSet.Ptot = RoundHalfEven(anchors_.ptot.device);
    }
    in.to = kind;
    in.dialog = dialogSet();
    in.oemSet.Pmin = in.dialog.Pmin;
    in.oemSet.Pmax = in.dialog.Pmax;
    in.oemSet.Pverz = in.dialog.Pverz;
    in.oemSet.Vtot = in.dialog.Vtot;
    in.unitIndex = ctx_.UnitIndex.load();
    in.oemTabActive = m_.itemIndex(fld::PageControl1) == kOemTab;
    const sensor::SensorTypeResult r = sensor::ChooseSensorType(in, presets_);
    {
        std::lock_guard<std::mutex> lk(state_);
        kind_ = kind;
        memory_ = r.memory;
        anchors_.pnom = {double(r.oemSet.Pnom), r.dialog.Pnom};
        anchors_.ptot = {double(r.oemSet.Ptot), r.dialog.Ptot};
    }
    if (oem_) {
        oem_->OEM_Data.SensorTyp = static_cast<int16_t>(r.sensorTyp);
        TOEMData::setSensorSet(oem_->OEM_Data,
                               {uint16_t(r.oemSet.Pmin), uint16_t(r.oemSet.Pmax), uint16_t(r.oemSet.Pnom),
                                uint16_t(r.oemSet.Ptot), uint16_t(r.oemSet.Pverz), uint16_t(r.oemSet.Vtot)});
    }
    {
        ChangesSuspended quiet(m_, kSensorChoices);
        for (int i = 0; i < 3; ++i) {
            m_.setVisible(std::data(kSensorChoices)[i], r.presetsVisible);
            if (i < r.captions.size())
                m_.setCaption(std::data(kSensorChoices)[i], r.captions[i]);
        }
        m_.setChecked(SensorChoiceField(r.choice), true);
    }
    m_.setVisible(fld::GroupBoxVAVLeitwert, r.conductanceVisible);
    m_.setVisible(fld::LabelDichte, r.conductanceVisible);
    m_.setVisible(fld::EditDichte, r.conductanceVisible);
    m_.setVisible(fld::LabelDichteDim, r.conductanceVisible);
    ShowUnits();
    showDialogSet(r.dialog);
    if (OnShowSensorDialog)
        OnShowSensorDialog(r.showDialog);
    UpdateVminLimit();
}

void TValueEntry::ApplySensorPreset(SensorChoice choice)
{
    const SensorKind k = currentKind();
    if (choice == SensorChoice::Variabel || choice == SensorChoice::None || !sensor::IsPressure(k)) {
        if (OnShowSensorDialog)
            OnShowSensorDialog(sensor::ShowVariableDialog(choice == SensorChoice::Variabel,
                                                          m_.itemIndex(fld::PageControl1) == kOemTab));
        return;
    }
    if (OnShowSensorDialog)
        OnShowSensorDialog(false);
    const SensorPresetSize size = choice == SensorChoice::Size100 ? SensorPreset100
        : choice == SensorChoice::Size300                          ? SensorPreset300
                                                                   : SensorPreset600;
    const double f = sensor::SensorFactor(k, ctx_.UnitIndex.load());
    const sensor::SensorSet s = sensor::ApplySensorPreset(k, size, presets_, f);
    const TIniPresetSensor& p = presets_.pressure(k, size);
    {
        std::lock_guard<std::mutex> lk(state_);
        anchors_.pnom = {double(p.Pnom), s.Pnom};
        anchors_.ptot = {double(p.Ptot), s.Ptot};
    }
    showDialogSet(s);
    DetectSensorPreset();
    UpdateVminLimit();
}

void TValueEntry::DetectSensorPreset()
{
    const SensorKind k = currentKind();
    if (!sensor::IsPressure(k))
        return;
    const SensorChoice c =
        sensor::DetectSensorPreset(k, dialogSet(), presets_, sensor::SensorFactor(k, ctx_.UnitIndex.load()));
    {
        ChangesSuspended quiet(m_, kSensorChoices);
        m_.setChecked(SensorChoiceField(c), true);
    }
    if (OnShowSensorDialog)
        OnShowSensorDialog(sensor::ShowVariableDialog(c == SensorChoice::Variabel,
                                                      m_.itemIndex(fld::PageControl1) == kOemTab));
}

void TValueEntry::ApplyActuatorPreset(ActuatorChoice choice)
{
    if (choice == ActuatorChoice::Variabel) {
        if (OnShowActuatorDialog)
            OnShowActuatorDialog(m_.itemIndex(fld::PageControl1) == kOemTab);
        return;
    }
    if (OnShowActuatorDialog)
        OnShowActuatorDialog(false);
    const sensor::ActuatorSet a = sensor::ApplyActuatorPreset(choice, presets_);
    {
        ChangesSuspended quiet(m_, kActuatorFields);
        m_.setValue(fld::SpinEditVAVYmin, a.Ymin);
        m_.setValue(fld::SpinEditVAVYmax, a.Ymax);
        m_.setValue(fld::SpinEditVAVYRmin, a.YRmin);
        m_.setValue(fld::SpinEditVAVYRmax, a.YRmax);
        m_.setValue(fld::SpinEditLZAntrieb, a.LZAntrieb);
        m_.setChecked(a.linear ? fld::RadioButtonVAVYLinear : fld::RadioButtonVAVY2_10V, true);
    }
    DetectActuatorPreset();
}

void TValueEntry::DetectActuatorPreset()
{
    const ActuatorChoice c = sensor::DetectActuatorPreset(actuatorSet(), presets_);
    {
        ChangesSuspended quiet(m_, kActuatorChoices);
        m_.setChecked(ActuatorChoiceField(c), true);
    }
    if (OnShowActuatorDialog)
        OnShowActuatorDialog(sensor::ShowVariableDialog(c == ActuatorChoice::Variabel,
                                                        m_.itemIndex(fld::PageControl1) == kOemTab));
}

// ------------------------------------------------------------------------ snapshot check

std::vector<Violation> ValidateSnapshotFields(const WindowModel& m, uint16_t firmware, double functionFactor)
{
    BetriebSnapshot s;
    s.firmware = firmware;
    s.vnom = functionFactor > 0 ? RoundHalfEven(m.displayValue(fld::EditVnomM3) / functionFactor) : 0;
    s.vmaxPrz = m.deviceValue(fld::EditVmaxPrz);
    s.vminPrz = m.deviceValue(fld::EditVminPrz);
    s.vmidPrz = m.deviceValue(fld::EditVmidPrz);
    s.w1MinMV = m.deviceValue(fld::EditW1Min);
    s.w1MaxMV = m.deviceValue(fld::EditW1Max);
    s.u5MinMV = m.deviceValue(fld::EditU5Min);
    s.u5MaxMV = m.deviceValue(fld::EditU5Max);
    static const std::pair<const char*, FieldId> kNames[] = {
        {"VnomM3", fld::EditVnomM3}, {"VmaxPrz", fld::EditVmaxPrz}, {"VminPrz", fld::EditVminPrz},
        {"VmidPrz", fld::EditVmidPrz}, {"W1MinMV", fld::EditW1Min},  {"W1MaxMV", fld::EditW1Max},
        {"U5MinMV", fld::EditU5Min},  {"U5MaxMV", fld::EditU5Max},
    };
    std::vector<Violation> out = ValidateBetrieb(s);
    for (Violation& v : out)
        for (const auto& [key, id] : kNames)
            if (v.field == QLatin1String(key))
                v.field = id.name();
    return out;
}

} // namespace kadex
