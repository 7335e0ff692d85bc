#include "core/LeitwertFlow.h"

#include "common/Helpers.h"
#include "core/Conductance.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/Texts.h"

namespace kadex {

namespace {
constexpr uint64_t kSecondMs = 1000;
constexpr uint64_t kSuperviseMs = 50;
} // namespace

LeitwertFlow::LeitwertFlow(TMainCore& core, IClock& clock) : core_(core), clock_(clock) {}

LeitwertFlow::~LeitwertFlow()
{
    if (!closed_)
        Close();
}

void LeitwertFlow::changed()
{
    if (OnChanged)
        OnChanged();
}

void LeitwertFlow::Show()
{
    WindowModel& m = core_.Ctx.model;
    const UnitSetEntry& units = UnitSetAt(core_.Ctx.UnitIndex.load());
    const QStringList unitNames = QString::fromUtf16(units.name).split(QStringLiteral(" / "));
    v_ = View{};
    v_.flowUnit = unitNames.value(0);
    v_.pressureUnit = unitNames.value(1);
    v_.lwAktiv = m.text(fld::EditVAVLwAktiv);
    v_.calculateText = WaitingCaption;
    applied_ = abort_ = startNow_ = closed_ = false;
    phase_ = Phase::Idle;
    // The measurement needs a connected controller whose values equal the window's.
    v_.mitLuftEnabled = m.visible(fld::ImageEqual) && m.enabled(fld::ButtonDruckmessung);
    v_.volumenstrom = m.text(fld::EditVnomM3);
    const std::optional<int> p = conductance::ExpectedPressure(v_.volumenstrom, m.text(fld::EditVAVLwErmittelt),
                                                               m.text(fld::EditVAVDichte), units);
    v_.druckMw = QString::number(p.value_or(0));
    compute();
    if (!p)
        v_.druckMw = QStringLiteral("0");
    changed();
}

void LeitwertFlow::compute()
{
    const conductance::Calculation c =
        conductance::Compute(v_.volumenstrom, v_.druckMw, core_.Ctx.model.text(fld::EditVAVDichte),
                             UnitSetAt(core_.Ctx.UnitIndex.load()));
    v_.volumenstrom = QString::number(c.flow);
    v_.druckMw = QString::number(c.pressure);
    v_.lwErmittelt = c.Text();
}

void LeitwertFlow::SetVolumenstrom(const QString& text)
{
    v_.volumenstrom = conductance::LimitEntry(text).value_or(text);
    changed();
}

void LeitwertFlow::SetDruckMw(const QString& text)
{
    v_.druckMw = conductance::LimitEntry(text).value_or(text);
    changed();
}

void LeitwertFlow::Berechnen()
{
    compute();
    changed();
}

void LeitwertFlow::MitLuft()
{
    if (phase_ != Phase::Idle || !v_.mitLuftEnabled)
        return;
    WindowModel& m = core_.Ctx.model;
    abort_ = false;
    v_.okEnabled = v_.mitLuftEnabled = v_.berechnenEnabled = false;
    if (!m.checked(fld::SpeedButtonBetrieb)) {
        // The operation mode starts without reading the operating data, opening fast.
        core_.VAVBetrieb.SkipNextRead = true;
        m.setChecked(fld::SpeedButtonBetrieb, true);
        core_.Flows.Post("Betrieb", [&core = core_] {
            core.SpeedButtonBetriebClick();
            // Chosen once the connection step, which shows the device's mode, is paused.
            core.Ctx.model.setChecked(fld::RadioBetrSchnellAuf, true);
            core.VAVBetrieb.SkipNextRead = false;
            // The device buttons stay off while the dialog measures in operation mode.
            core.EnableDeviceButtons(false);
        });
    } else {
        m.setChecked(fld::RadioBetrSchnellAuf, true);
    }
    startNow_ = false;
    v_.calculateText.clear();
    v_.calculateResult.clear();
    v_.resultIsError = false;
    v_.busy = true;
    countdownStart_ = conductance::Countdown(static_cast<int>(m.value(fld::SpinEditLZAntrieb)));
    countdown_ = countdownStart_;
    v_.progressMax = countdownStart_;
    v_.progress = 0;
    secondAt_ = clock_.NowMs() + kSecondMs;
    phase_ = Phase::Countdown;
    changed();
}

void LeitwertFlow::StartNow()
{
    if (phase_ == Phase::Countdown) {
        startNow_ = true;
        Tick();
    }
}

bool LeitwertFlow::Tick()
{
    const uint64_t now = clock_.NowMs();
    if (phase_ == Phase::Countdown) {
        while (now >= secondAt_) {
            if (countdown_ > 0)
                --countdown_;
            secondAt_ += kSecondMs;
        }
        if (abort_) {
            phase_ = Phase::Idle;
            v_.startMeasVisible = false;
            v_.busy = false;
        } else if (core_.Ctx.model.caption(fld::PanelBetrStatus) != IniStatusText.SchnellAuf) {
            // The damper is not opening fast (yet): wait from the start again.
            countdown_ = countdownStart_;
            secondAt_ = now + kSecondMs;
            v_.calculateText.clear();
        } else {
            v_.panelVisible = true;
            v_.calculateText = IniMessageText.Msg(16) + QLatin1Char(' ') + QString::number(countdown_) +
                               QStringLiteral(" Sek.");
            v_.progress = v_.progressMax - countdown_;
            v_.startMeasVisible = true;
            if (countdown_ <= 0 || startNow_)
                startSampling();
        }
        changed();
    } else if (phase_ == Phase::Sampling && now >= superviseAt_) {
        supervise();
        changed();
    }
    return phase_ != Phase::Idle;
}

void LeitwertFlow::startSampling()
{
    v_.startMeasVisible = false;
    v_.busy = false;
    v_.calculateText = WaitingCaption;
    core_.VAVBetrieb.StartSampling();
    core_.BetriebThread().Wake(); // the next step samples at once
    phase_ = Phase::Sampling;
    superviseAt_ = clock_.NowMs() + kSuperviseMs;
}

void LeitwertFlow::supervise()
{
    TVAVBetrieb& b = core_.VAVBetrieb;
    v_.druckMw = QStringLiteral("0");
    v_.lwErmittelt = QStringLiteral("0");
    const betrieb::Sampling run = b.SamplingNow();
    const bool running = b.BetriebAktiv.load() && b.DruckmessungAktiv.load();
    if (run.count < conductance::SampleCount && running) {
        v_.calculateResult = conductance::SamplingProgress(PressureCaption, run.count, run.last);
        superviseAt_ = clock_.NowMs() + kSuperviseMs;
        return;
    }
    v_.calculateResult.clear();
    if (running) {
        WindowModel& m = core_.Ctx.model;
        const conductance::RunResult r = conductance::Evaluate(run, m.value(fld::SpinEditVAVPnom), v_.volumenstrom,
                                                               m.text(fld::EditVAVDichte),
                                                               UnitSetAt(core_.Ctx.UnitIndex.load()));
        if (r.status == conductance::RunStatus::Unstable) {
            v_.calculateResult = IniMessageText.Msg(12);
            v_.resultIsError = true;
        } else {
            v_.druckMw = QString::number(r.pressureShown);
            compute();
            v_.panelVisible = false;
            if (r.status != conductance::RunStatus::Ok) {
                v_.calculateResult = IniMessageText.Msg(11);
                v_.resultIsError = true;
                v_.panelVisible = true;
            }
        }
    }
    finishMeasurement();
}

void LeitwertFlow::finishMeasurement()
{
    core_.VAVBetrieb.DruckmessungAktiv = false;
    v_.okEnabled = v_.mitLuftEnabled = v_.berechnenEnabled = true;
    phase_ = Phase::Idle;
}

void LeitwertFlow::Uebernehmen()
{
    core_.Ctx.model.setText(fld::EditVAVLwErmittelt, v_.lwErmittelt);
    core_.RefreshComparison();
    applied_ = true;
    Close();
}

void LeitwertFlow::Close()
{
    abort_ = true;
    closed_ = true;
    phase_ = Phase::Idle;
    v_.busy = false;
    v_.startMeasVisible = false;
    core_.VAVBetrieb.DruckmessungAktiv = false;
    WindowModel& m = core_.Ctx.model;
    if (m.checked(fld::SpeedButtonBetrieb)) {
        m.setChecked(fld::SpeedButtonBetrieb, false);
        core_.Flows.Post("Betrieb", [&core = core_] { core.SpeedButtonBetriebClick(); });
    }
    changed();
}

} // namespace kadex
