#include "core/UmgebungFlow.h"

#include "settings/Texts.h"

#include "common/Helpers.h"
#include "core/AirDensity.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"

namespace kadex {

UmgebungFlow::UmgebungFlow(TMainCore& core, Confirm confirm) : core_(core), confirm_(confirm) {}

void UmgebungFlow::Show()
{
    WindowModel& m = core_.Ctx.model;
    v_.volumeFlowRows = m.checked(fld::RadioButtonVolumenstrom);
    applied_ = false;
    shownHoehe_ = m.text(fld::EditHoehe);
    shownTemp_ = m.text(fld::EditTemp);
    shownFeuchte_ = m.text(fld::EditFeuchte);
    v_.hoeheHint = density::LimitHint(density::AltitudeMin, density::AltitudeMax);
    v_.tempHint = density::LimitHint(density::TemperatureMin, density::TemperatureMax);
    v_.feuchteHint = density::LimitHint(density::HumidityMin, density::HumidityMax);
    v_.dichte = m.text(fld::EditVAVDichte);
    checkAndCompute();
    firstHoehe_ = v_.hoehe;
}

void UmgebungFlow::checkAndCompute()
{
    WindowModel& m = core_.Ctx.model;
    struct Row {
        FieldId field;
        QString View::*text;
        double min, max;
    };
    const Row rows[] = {{fld::EditHoehe, &View::hoehe, density::AltitudeMin, density::AltitudeMax},
                        {fld::EditTemp, &View::temp, density::TemperatureMin, density::TemperatureMax},
                        {fld::EditFeuchte, &View::feuchte, density::HumidityMin, density::HumidityMax}};
    double values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const density::Entry e = density::CheckEntry(m.text(rows[i].field), rows[i].min, rows[i].max);
        m.setText(rows[i].field, e.text);
        v_.*rows[i].text = e.text;
        values[i] = e.value;
    }
    v_.dichte = density::DensityText(density::Compute(values[0], values[1], values[2]).density);
}

void UmgebungFlow::SetHoehe(const QString& text)
{
    core_.Ctx.model.setText(fld::EditHoehe, text);
    checkAndCompute();
}

void UmgebungFlow::SetTemp(const QString& text)
{
    core_.Ctx.model.setText(fld::EditTemp, text);
    checkAndCompute();
}

void UmgebungFlow::SetFeuchte(const QString& text)
{
    core_.Ctx.model.setText(fld::EditFeuchte, text);
    checkAndCompute();
}

bool UmgebungFlow::Accept()
{
    WindowModel& m = core_.Ctx.model;
    const QString rho = Fixed(density::StoredDensity(GetFloatWert(v_.dichte)), 3);
    m.setText(fld::EditVAVDichte, rho);
    core_.RefreshComparison();
    applied_ = true;
    if (confirm_ != Confirm::Anpassen)
        return false;
    m.setText(fld::EditDichte, rho);
    // A DSK3 sensor keeps its altitude in the device: the indicator says whether it changed.
    const bool dsk3 = m.checked(fld::RadioButtonSensTypDSK3Druck);
    const bool altitudeKept = v_.hoehe.compare(firstHoehe_, Qt::CaseInsensitive) == 0;
    if (!core_.Com.PortOpen()) {
        if (dsk3)
            core_.AnzConfPcHwEqual(altitudeKept);
        return false;
    }
    core_.Flows.Post("UmgebungEinstellen", [&core = core_, dsk3, altitudeKept, done = OnWritten] {
        core.SuspendVerbindenThread();
        core.SuspendBetriebThread();
        core.Transfer.AddTransferLine(QString());
        const bool ok = core.OEMData.WriteConfigPartAmbient();
        // The Experte system information that follows these values.
        WindowModel& model = core.Ctx.model;
        model.setText(fld::EditHoeheAnz, model.text(fld::EditHoehe));
        model.setText(fld::EditDichte, model.text(fld::EditVAVDichte));
        core.Transfer.AddTransferLine(QString());
        core.ActionLog.WriteLogEntry(CurrentTexts()->LogFile.UmgebungEinstellen);
        // A failed write leaves the device unknown; an unchanged altitude counts only when the
        // write took.
        if (!ok || dsk3)
            core.AnzConfPcHwEqual(ok && altitudeKept);
        if (!ok)
            core.ShowCOMData(QStringLiteral("Umgebung einstellen fehlgeschlagen"));
        if (core.VAVBetrieb.BetriebAktiv.load())
            core.ResumeBetriebThread();
        else
            core.ResumeVerbindenThread();
        if (done)
            done(ok);
    });
    return true;
}

void UmgebungFlow::Close()
{
    if (applied_)
        return;
    WindowModel& m = core_.Ctx.model;
    m.setText(fld::EditHoehe, shownHoehe_);
    m.setText(fld::EditTemp, shownTemp_);
    m.setText(fld::EditFeuchte, shownFeuchte_);
}

} // namespace kadex
