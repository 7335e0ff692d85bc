#include "core/EnablingRules.h"

#include "device/model/WindowFields.h"
#include "core/ValueCoupling.h"
#include "settings/Texts.h"
#include "settings/Trace.h"

namespace kadex {

namespace {

constexpr FieldId kBetrieb = fld::SpeedButtonBetrieb;

// The operation choices.
constexpr FieldId kChoices[] = {
    fld::RadioBetrAuto, fld::RadioBetrZu, fld::RadioBetrAuf, fld::RadioBetrSchnellZu, fld::RadioBetrSchnellAuf,
    fld::RadioBetrVMin, fld::RadioBetrVMid, fld::RadioBetrVMax, fld::RadioBetrVNom, fld::RadioBetrVariabel,
};

} // namespace

TEnablingRules::TEnablingRules(WindowModel& model, TDeviceContext& ctx, TComForm& com, TVAVBetrieb& betrieb,
                               const std::set<FieldId>& unavailable, const std::atomic<bool>& closing)
    : m_(model), ctx_(ctx), com_(com), betrieb_(betrieb), unavailable_(unavailable), closing_(closing)
{
}

QString TEnablingRules::OnlineText(int seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void TEnablingRules::ShowCOMData(const QString& message)
{
    const QString port = com_.PortPath().isEmpty() ? QStringLiteral("COM%1").arg(com_.PortNumber()) : com_.PortPath();
    m_.setText(kStatusPort, port);
    m_.setText(kStatusMessage, message);
}

void TEnablingRules::enableIf(FieldId field, bool on)
{
    m_.setEnabled(field, on && unavailable_.count(field) == 0);
}

void TEnablingRules::EnableMainControls(bool on)
{
    for (FieldId f : {fld::ButtonCalculateLW, fld::DateiOeffnen, fld::DateiSpeichern, fld::DateiDrucken,
                          fld::ExtrasRegSetting, fld::ToolButtonDateiMenu, fld::ToolButtonExtrasMenu,
                          fld::ToolButtonHilfeMenu, fld::ToolButtonRegFkt, fld::TabSheetService,
                          fld::TabSheetExperte, fld::TabSheetKonfigOEM, fld::TabSheetKonfigQV})
        enableIf(f, on);
    const bool bus = on && com_.PortOpen();
    for (FieldId f : {fld::ComboBoxZBAdress, fld::ExtrasZBAdress, fld::ExtrasZBCommand, fld::ExtrasBusScan})
        enableIf(f, bus);
}

void TEnablingRules::EnableDeviceButtons(bool on)
{
    enableIf(fld::ButtonLesen, on);
    enableIf(kBetrieb, on);
    enableIf(fld::ButtonCalculateDichte, on);
    const bool write = on && CheckDeviceType();
    enableIf(fld::ButtonSetzen, write);
    enableIf(fld::ButtonTest, write);
    m_.setVisible(fld::LabelOEMHinweisVS, coupling::StrgSHintVisible(write));
    m_.setVisible(fld::LabelQVHinweis, coupling::StrgSHintVisible(on));
}

bool TEnablingRules::CheckDeviceType()
{
    const QString expected = ctx_.ExpectedTypeText();
    const bool ok = !expected.isEmpty() && m_.text(fld::EditFenwix).startsWith(expected);
    m_.setColour(fld::EditFenwix, ok ? Colour::ButtonFace : Colour::Red);
    return true; // writing is allowed to any device; the colour is the warning
}

void TEnablingRules::ClearDeviceInfo()
{
    if (closing_.load())
        return;
    for (FieldId f : {fld::LabelOEM, fld::LabelPosition, fld::LabelTyp, fld::LabelSerNr, fld::LabelZBAdr})
        m_.setEnabled(f, false);
    for (FieldId f : {fld::EditFenwix, fld::EditOEM, fld::EditPosition, fld::EditSerNr, fld::EditZBAdr, fld::EditFirmware,
                          fld::EditConfTableID, fld::EditLeitwert, fld::EditDichte, fld::EditFunktion, fld::EditSensor,
                          fld::EditAntrieb, fld::EditVAVLwAktiv})
        m_.setText(f, QString());
    m_.setCaption(fld::LabelSensorTyp, QString());
    m_.setColour(fld::EditFenwix, Colour::ButtonFace);
    m_.setChecked(fld::RadioBetrAuto, true);
}

void TEnablingRules::FirmwareRead()
{
    const bool dsk3 = betrieb_.GetFirmwareNr() > 307;
    m_.setVisible(fld::RadioButtonSensTypDSK3Druck, dsk3);
    if (!dsk3 && m_.checked(fld::RadioButtonSensTypDSK3Druck))
        m_.setChecked(fld::RadioButtonSensTypDruck, true);
}

void TEnablingRules::UpdateSensorViews()
{
    const bool dsk3 = m_.checked(fld::RadioButtonSensTypDSK3Druck);
    const bool pressureSensor = m_.checked(fld::RadioButtonSensTypDruck) || dsk3;
    const bool density = ctx_.ReglerFkt.load() == 1 && pressureSensor;
    for (FieldId f : {fld::LabelDichte, fld::EditDichte, fld::LabelDichteDim, fld::LabelSensorValue, fld::EditSensorValue,
                          fld::LabelSensorValueDim, fld::LabelLeitwert, fld::EditLeitwert, fld::GroupBoxVAVLeitwert})
        m_.setVisible(f, density);
    for (FieldId f : {fld::LabelHoehe, fld::EditHoeheAnz, fld::LabelHoeheAnzDim})
        m_.setVisible(f, dsk3);
    m_.setVisible(fld::ButtonCalculateDichte, density || dsk3);
}

void TEnablingRules::AnzConfPcHwEqual(bool equal)
{
    TraceMain.TraceBool(u"Konfiguration ist gleich: ", equal);
    m_.setVisible(fld::ImageNotEqual, !equal);
    m_.setVisible(fld::ImageEqual, equal);
}

void TEnablingRules::SetBetriebActive(bool on)
{
    EnableBetriebPanel(on, on);
    if (on) {
        m_.setCaption(fld::PanelProgStatus, IniStatusText.Betrieb);
        return;
    }
    m_.setCaption(fld::PanelProgStatus, QString());
    for (FieldId f : {fld::EditBetrSollwPrz, fld::EditBetrSollwM3, fld::EditBetrIstwPrz, fld::EditBetrIstwM3})
        m_.setText(f, QStringLiteral("0"));
    m_.setText(fld::EditBetrRYSignPrz, QStringLiteral("0.0"));
    m_.setText(fld::EditBetrMotRueckPrz, QStringLiteral("0.0"));
}

void TEnablingRules::EnableBetriebPanel(bool modes, bool values)
{
    m_.setCaption(fld::PanelBetrStatus, QString());
    for (FieldId f : kChoices)
        m_.setEnabled(f, modes);
    for (FieldId f : {fld::LabelBetrSollw, fld::LabelBetrSollwPrzDim, fld::LabelBetrIstw, fld::LabelBetrIstwPrzDim,
                          fld::LabelBetrRSign, fld::LabelBetrRSignPrzDim, fld::LabelBetrMotRueck, fld::LabelBetrMotRueckPrzDim,
                          fld::EditBetrSollwPrz, fld::EditBetrSollwM3, fld::EditBetrIstwPrz, fld::EditBetrIstwM3,
                          fld::EditBetrRYSignPrz, fld::EditBetrMotRueckPrz})
        m_.setEnabled(f, values);
    const bool editable = modes && m_.checked(fld::RadioBetrVariabel);
    m_.setReadOnly(fld::EditBetrSollwPrz, !editable);
    m_.setColour(fld::EditBetrSollwPrz, editable ? Colour::Window : Colour::ButtonFace);
}

void TEnablingRules::EnableSignalPanel(bool on)
{
    for (FieldId f : {fld::LabelSignW1, fld::LabelSignW1Dim, fld::LabelSignU5, fld::LabelSignU5Dim, fld::LabelSensorSign,
                          fld::LabelSensorSignDim, fld::LabelSensorValue, fld::EditSignW1, fld::EditSignU5, fld::EditSensorSign,
                          fld::EditSensorValue, fld::LabelAlarm, fld::ListBoxAlarme})
        m_.setEnabled(f, on);
    if (!on) {
        for (FieldId f : {fld::EditSignW1, fld::EditSignU5, fld::EditSensorSign, fld::EditSensorValue})
            m_.setDisplayValue(f, 0);
        m_.setItems(fld::ListBoxAlarme, {});
    }
    m_.setEnabled(fld::ButtonResetAlarm, on && !m_.items(fld::ListBoxAlarme).isEmpty());
}

} // namespace kadex
