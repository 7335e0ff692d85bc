#include "core/VariableForms.h"

#include "device/model/WindowFields.h"
#include "core/ValueCoupling.h"

#include <algorithm>

namespace kadex {

namespace {

constexpr int kOemTab = 0;
constexpr int kDetectDelayMs = 50;

constexpr FieldId kSensorSpins[] = {fld::SpinEditVAVPmin, fld::SpinEditVAVPmax, fld::SpinEditVAVPnom,
                                    fld::SpinEditVAVPtot, fld::SpinEditVAVPverz, fld::SpinEditVAVVtot};
constexpr FieldId kActuatorSpins[] = {fld::SpinEditVAVYmin, fld::SpinEditVAVYmax, fld::SpinEditVAVYRmin,
                                      fld::SpinEditVAVYRmax, fld::SpinEditLZAntrieb};

bool isSpin(const QString& name)
{
    for (FieldId f : kSensorSpins)
        if (f.name() == name)
            return true;
    for (FieldId f : kActuatorSpins)
        if (f.name() == name)
            return true;
    return false;
}

// The sensor dialog's texts for a pressure sensor and for the volume signal.
struct SensorTexts {
    const char* title;
    const char* group;
    const char* pmin;
    const char* pmax;
    const char* pnom;
};
constexpr SensorTexts kPressureTexts{"Drucksensor, variable Einstellung", "Druck", "P      0%", "P 100%", "P'nom"};
constexpr SensorTexts kVolumeTexts{"Volumenstrom, variable Einstellung", "Volumenstrom", "V      0%", "V 100%", "V'nom"};

} // namespace

QString RangeCaption(int minMv, int maxMv)
{
    return QString::number(minMv / 1000.0) + QStringLiteral(" .. ") + QString::number(maxMv / 1000.0) +
           QStringLiteral(" V");
}

TVariableForms::TVariableForms(TDeviceContext& ctx) : ctx_(ctx), m_(ctx.model)
{
    for (FieldId f : kSensorSpins) {
        m_.onChange(f, [this, f](const Change&) { limitWhileTyping(f); afterChange(f); });
        m_.onLeave(f, [this, f](const QString&) {
            if (f == fld::SpinEditVAVPmin || f == fld::SpinEditVAVPmax)
                leaveMinMax(fld::SpinEditVAVPmin, fld::SpinEditVAVPmax, f);
            clampToRange(f);
        });
    }
    for (FieldId f : kActuatorSpins) {
        m_.onChange(f, [this, f](const Change&) { limitWhileTyping(f); afterChange(f); });
        m_.onLeave(f, [this, f](const QString&) {
            // The feedback pair has no cross-check: a reversed feedback is a valid actuator.
            if (f == fld::SpinEditVAVYmin || f == fld::SpinEditVAVYmax)
                leaveMinMax(fld::SpinEditVAVYmin, fld::SpinEditVAVYmax, f);
            clampToRange(f);
        });
    }
    for (FieldId f : {fld::RadioButtonVAVYLinear, fld::RadioButtonVAVY2_10V})
        m_.onChange(f, [this, f](const Change&) {
            if (m_.checked(f) && Hooks.RefreshComparison)
                Hooks.RefreshComparison();
        });
    auto preset = [this](FieldId radio, FieldId minField, FieldId maxField, FieldId other, int minMv) {
        m_.onChange(radio, [=, this](const Change& c) {
            if (c.origin == Origin::User && m_.checked(radio))
                clickPreset(minField, maxField, other, minMv);
        });
    };
    preset(fld::RadioButtonVAVYS0_10V, fld::SpinEditVAVYmin, fld::SpinEditVAVYmax, fld::RadioButtonVAVYSAndere, 0);
    preset(fld::RadioButtonVAVYS2_10V, fld::SpinEditVAVYmin, fld::SpinEditVAVYmax, fld::RadioButtonVAVYSAndere, 2000);
    preset(fld::RadioButtonVAVYR0_10V, fld::SpinEditVAVYRmin, fld::SpinEditVAVYRmax, fld::RadioButtonVAVYRAndere, 0);
    preset(fld::RadioButtonVAVYR2_10V, fld::SpinEditVAVYRmin, fld::SpinEditVAVYRmax, fld::RadioButtonVAVYRAndere, 2000);

    // The choices on the OEM tab show and close the dialogs.
    m_.onChange(fld::RadioButtonDPKVariabel, [this](const Change&) {
        ShowSensorDialog(m_.checked(fld::RadioButtonDPKVariabel) && m_.itemIndex(fld::PageControl1) == kOemTab);
    });
    m_.onChange(fld::RadioButtonAntr_Variabel, [this](const Change&) {
        ShowActuatorDialog(m_.checked(fld::RadioButtonAntr_Variabel) && m_.itemIndex(fld::PageControl1) == kOemTab);
    });
    m_.onChange(fld::PageControl1, [this](const Change&) {
        ShowSensorDialog(false);
        ShowActuatorDialog(false);
    });
    m_.onChange({fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDSK3Druck},
                [this](const Change&) { ShowSensorTexts(); });

    // Closing is noticed on the field, so that every way of closing counts; range changes
    // (unit set, sensor type) rewrite the hints.
    listener_ = m_.addListener([this](const QString& field, Prop prop) {
        if (prop == Prop::Visible && field == fld::SensorForm.name() && !m_.visible(fld::SensorForm))
            closed(fld::RadioButtonDPKVariabel, Hooks.DetectSensorPreset);
        else if (prop == Prop::Visible && field == fld::AntriebForm.name() && !m_.visible(fld::AntriebForm))
            closed(fld::RadioButtonAntr_Variabel, Hooks.DetectActuatorPreset);
        else if (prop == Prop::Range && isSpin(field))
            SetRangeHints();
    });
    SetRangeHints();
    ShowSensorTexts();
}

TVariableForms::~TVariableForms() { m_.removeListener(listener_); }

void TVariableForms::ShowSensorDialog(bool show) { m_.setVisible(fld::SensorForm, show); }
void TVariableForms::ShowActuatorDialog(bool show) { m_.setVisible(fld::AntriebForm, show); }
bool TVariableForms::SensorShown() const { return m_.visible(fld::SensorForm); }
bool TVariableForms::ActuatorShown() const { return m_.visible(fld::AntriebForm); }

void TVariableForms::closed(FieldId variabel, const std::function<void()>& detect)
{
    if (!m_.checked(variabel) || !detect)
        return;
    if (Hooks.Defer)
        Hooks.Defer(kDetectDelayMs, detect);
    else
        detect();
}

void TVariableForms::limitWhileTyping(FieldId f)
{
    // Values between 0 and a positive minimum may be on their way to a valid one ("5" of
    // "5000"); the leave rule settles them.
    const FieldState s = m_.state(f);
    const double low = s.minimum <= 0 ? s.minimum : 0;
    const double v = std::clamp(s.value, low, s.maximum);
    if (v != s.value) {
        ChangesSuspended quiet(m_, {f});
        m_.setValue(f, v);
    }
}

void TVariableForms::clampToRange(FieldId f)
{
    const FieldState s = m_.state(f);
    m_.setValue(f, std::clamp(s.value, s.minimum, s.maximum));
}

void TVariableForms::leaveMinMax(FieldId minField, FieldId maxField, FieldId left)
{
    const double lo = m_.value(minField);
    const double hi = m_.value(maxField);
    if (left == minField && lo > hi)
        m_.setValue(minField, m_.state(minField).minimum);
    else if (left == maxField && hi < lo)
        m_.setValue(maxField, lo);
}

void TVariableForms::afterChange(FieldId f)
{
    if (f == fld::SpinEditVAVPtot && Hooks.UpdateVminLimit)
        Hooks.UpdateVminLimit();
    if (f == fld::SpinEditVAVYmin || f == fld::SpinEditVAVYmax)
        ShowYSignalPreset();
    if (f == fld::SpinEditVAVYRmin || f == fld::SpinEditVAVYRmax)
        ShowYRSignalPreset();
    if (Hooks.RefreshComparison)
        Hooks.RefreshComparison();
}

void TVariableForms::ShowYSignalPreset()
{
    showPreset(fld::SpinEditVAVYmin, fld::SpinEditVAVYmax, fld::RadioButtonVAVYS0_10V, fld::RadioButtonVAVYS2_10V,
               fld::RadioButtonVAVYSAndere);
}

void TVariableForms::ShowYRSignalPreset()
{
    showPreset(fld::SpinEditVAVYRmin, fld::SpinEditVAVYRmax, fld::RadioButtonVAVYR0_10V, fld::RadioButtonVAVYR2_10V,
               fld::RadioButtonVAVYRAndere);
}

void TVariableForms::showPreset(FieldId minField, FieldId maxField, FieldId zero, FieldId two, FieldId other)
{
    const int lo = static_cast<int>(m_.value(minField));
    const int hi = static_cast<int>(m_.value(maxField));
    ChangesSuspended quiet(m_, {zero, two, other});
    if (lo == 0 && hi == 10000) {
        m_.setChecked(zero, true);
        m_.setVisible(other, false);
    } else if (lo == 2000 && hi == 10000) {
        m_.setChecked(two, true);
        m_.setVisible(other, false);
    } else {
        m_.setCaption(other, RangeCaption(lo, hi));
        m_.setChecked(other, true);
        m_.setVisible(other, true);
    }
}

void TVariableForms::clickPreset(FieldId minField, FieldId maxField, FieldId other, int minMv)
{
    {
        ChangesSuspended quiet(m_, {minField, maxField});
        m_.setValue(minField, minMv);
        m_.setValue(maxField, 10000);
    }
    m_.setVisible(other, false);
    if (Hooks.RefreshComparison)
        Hooks.RefreshComparison();
}

void TVariableForms::ShowSensorTexts()
{
    const bool volume = m_.checked(fld::RadioButtonSensTypVolumenstr);
    const SensorTexts& t = volume ? kVolumeTexts : kPressureTexts;
    m_.setCaption(fld::SensorForm, QString::fromUtf8(t.title));
    m_.setCaption(fld::GroupBoxVAVSensorDruck, QString::fromUtf8(t.group));
    m_.setCaption(fld::LabelVAVPmin, QString::fromUtf8(t.pmin));
    m_.setCaption(fld::LabelVAVPmax, QString::fromUtf8(t.pmax));
    m_.setCaption(fld::LabelVAVPnom, QString::fromUtf8(t.pnom));
    const int unit = ctx_.UnitIndex.load();
    const QString sensorUnit = volume ? coupling::FlowUnit(unit) : coupling::PressureUnit(unit);
    m_.setCaption(fld::LabelVAVPnomDim, sensorUnit);
    m_.setCaption(fld::LabelVAVPtotDim, sensorUnit);
}

void TVariableForms::SetRangeHints()
{
    const auto hint = [this](FieldId f) {
        const FieldState s = m_.state(f);
        m_.setHint(f, QString::number(static_cast<qint64>(s.minimum)) + QStringLiteral(" .. ") +
                          QString::number(static_cast<qint64>(s.maximum)));
    };
    for (FieldId f : kSensorSpins)
        hint(f);
    for (FieldId f : kActuatorSpins)
        hint(f);
}

} // namespace kadex
