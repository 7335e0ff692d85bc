#include "core/RegForm.h"

#include "common/Helpers.h"
#include "device/model/WindowFields.h"
#include "settings/Trace.h"

namespace kadex {

namespace {
constexpr char16_t kClass[] = u"TRegFktForm";
constexpr uint16_t kFwVolumeSignal = 0x0220;
} // namespace

TFunctionCaptions FunctionCaptions(int reglerFkt)
{
    if (reglerFkt == 2)
        return {QStringLiteral("Druck"),      QStringLiteral("P'nom"),      QStringLiteral("P'max"),
                QStringLiteral("P'min"),      QStringLiteral("P'min"),      QStringLiteral("Motor stop"),
                QStringLiteral("P'max"),      QStringLiteral("P'nom")};
    return {QStringLiteral("Volumenstrom"), QStringLiteral("V'nom"), QStringLiteral("V'max"),
            QStringLiteral("V'min"),        QStringLiteral("V'min"), QStringLiteral("V'mid"),
            QStringLiteral("V'max"),        QStringLiteral("V'nom")};
}

QString FunctionStatusText(int reglerFkt, const QString& volumeCaption, const QString& pressureCaption)
{
    if (reglerFkt != 2)
        return volumeCaption;
    // A caption without the bracket is shown whole rather than not at all.
    const qsizetype bracket = pressureCaption.indexOf(QLatin1Char('['));
    return bracket < 0 ? pressureCaption : pressureCaption.left(bracket);
}

TRegForm::TRegForm(TDeviceContext& ctx, TOEMData& oem) : ctx_(ctx), oem_(oem), m_(ctx.model) {}

int TRegForm::ChosenFunction() const { return m_.checked(fld::RadioButtonVolumenstrom) ? 1 : 2; }

void TRegForm::Show()
{
    m_.setChecked(ctx_.ReglerFkt.load() == 1 ? fld::RadioButtonVolumenstrom : fld::RadioButtonDruckanwendung, true);
    m_.setVisible(fld::RegFktForm, true);
}

void TRegForm::SetRegForm() { apply(false); }
void TRegForm::ApplyShownRecord() { apply(true); }

void TRegForm::apply(bool recordShown)
{
    TraceMethodScope scope(TraceMain, kClass, u"SetRegForm()");
    const int function = ChosenFunction();
    const bool changed = ctx_.ReglerFkt.load() != function;
    ctx_.ReglerFkt = function;
    TraceMain.TraceInt(u"ReglerFkt", function);

    const bool pressureSensor = m_.checked(fld::RadioButtonSensTypDruck) || m_.checked(fld::RadioButtonSensTypDSK3Druck);
    bool conductance = false;
    if (function == 1) {
        // A record's nominal value is the volume-flow one; restoring the remembered one
        // would show the value from before the read instead of the device's.
        if (recordShown)
            oem_.StoreVnomVS();
        else if (changed)
            oem_.StoreVnomDruck();
        oem_.RestoreVnomVS();
        // The sensor type as the window shows it: the PC copy's type is not kept up to date
        // with the choice, so it could show the conductance for a volume-signal sensor.
        conductance = pressureSensor;
        m_.setEnabled(fld::RadioButtonSensTypVolumenstr, ctx_.FirmwareVersion.load() >= kFwVolumeSignal);
    } else {
        if (recordShown)
            oem_.StoreVnomDruck();
        else if (changed)
            oem_.StoreVnomVS();
        oem_.RestoreVnomDruck();
        const uint8_t family = oem_.DrucksensorTypDevice;
        if (family == 2)
            m_.setChecked(fld::RadioButtonSensTypDSK3Druck, true);
        else if (family == 1 || m_.checked(fld::RadioButtonSensTypVolumenstr))
            m_.setChecked(fld::RadioButtonSensTypDruck, true); // a pressure controller has no volume signal
        m_.setEnabled(fld::RadioButtonSensTypVolumenstr, false);
    }
    m_.setText(kStatusFunction, FunctionStatusText(function, m_.caption(fld::RadioButtonVolumenstrom),
                                                   m_.caption(fld::RadioButtonDruckanwendung)));
    for (FieldId f : {fld::GroupBoxVAVLeitwert, fld::LabelLeitwert, fld::EditLeitwert, fld::LabelDichte, fld::EditDichte,
                      fld::LabelDichteDim})
        m_.setVisible(f, conductance);
    m_.setVisible(fld::PanelVmid, function == 1);

    run(Hooks.ShowUnits);
    applyCaptions(function);
    run(Hooks.LoadLanguage);
    m_.setText(fld::EditVnomM3, Fixed(RoundHalfEven(oem_.OEM_Data.Vnom * ctx_.DisplayFactor()), 0));
    run(Hooks.UpdateVminLimit);
    run(Hooks.CheckDeviceType);
}

void TRegForm::applyCaptions(int reglerFkt)
{
    const TFunctionCaptions c = FunctionCaptions(reglerFkt);
    m_.setCaption(fld::GroupBoxVAVVolumenStrom, c.group);
    for (FieldId f : {fld::LabelVnomM3, fld::LabelVnomM3Anz})
        m_.setCaption(f, c.nom);
    for (FieldId f : {fld::LabelVmaxM3, fld::LabelVmax})
        m_.setCaption(f, c.max);
    for (FieldId f : {fld::LabelVminM3, fld::LabelVmin})
        m_.setCaption(f, c.min);
    m_.setCaption(fld::RadioBetrVMin, c.stageMin);
    m_.setCaption(fld::RadioBetrVMid, c.stageMid);
    m_.setCaption(fld::RadioBetrVMax, c.stageMax);
    m_.setCaption(fld::RadioBetrVNom, c.stageNom);
}

void TRegForm::Ok()
{
    SetRegForm();
    run(Hooks.RefreshComparison);
    run(Hooks.UpdateSensorViews);
    m_.setVisible(fld::RegFktForm, false);
}

void TRegForm::Cancel()
{
    m_.setChecked(ctx_.ReglerFkt.load() == 1 ? fld::RadioButtonVolumenstrom : fld::RadioButtonDruckanwendung, true);
    m_.setVisible(fld::RegFktForm, false);
}

void TRegForm::Close() { m_.setVisible(fld::RegFktForm, false); }

} // namespace kadex
