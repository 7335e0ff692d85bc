#include "core/Conductance.h"

#include "common/Helpers.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace kadex::conductance {

namespace {

int entryLimited(double v)
{
    return RoundHalfEven(std::clamp(v, EntryMin, EntryMax));
}

} // namespace

QString Calculation::Text() const
{
    return Fixed(conductance.value_or(0.0), 2);
}

Calculation Compute(double flow, double pressure, double density, const UnitSetEntry& units)
{
    Calculation c;
    c.flow = RoundHalfEven(flow);
    c.pressure = RoundHalfEven(pressure);
    c.flowDev = RoundHalfEven(c.flow / units.flowFactor);
    c.pressureDev = RoundHalfEven(c.pressure / units.pressureFactor);
    c.density = density;
    if (c.pressureDev > 0 && density > 0 && std::isfinite(density))
        c.conductance = c.flowDev / std::sqrt(c.pressureDev / density);
    return c;
}

Calculation Compute(const QString& flowText, const QString& pressureText, const QString& densityText,
                    const UnitSetEntry& units)
{
    return Compute(GetFloatWert(flowText), GetFloatWert(pressureText), GetFloatWert(densityText), units);
}

std::optional<QString> LimitEntry(const QString& text)
{
    // The start of a number stays as typed, so that "-5" can be typed and be refused as a whole.
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return QStringLiteral("0");
    if (v < EntryMin)
        return QStringLiteral("0");
    if (v > EntryMax)
        return QStringLiteral("65535");
    return std::nullopt;
}

std::optional<int> ExpectedPressure(const QString& vnomText, const QString& conductanceText,
                                    const QString& densityText, const UnitSetEntry& units)
{
    const int vDev = RoundHalfEven(GetFloatWert(vnomText) / units.flowFactor);
    const double lw = GetFloatWert(conductanceText);
    if (!(lw > 0))
        return std::nullopt;
    const double ratio = vDev / lw;
    const double pDev = ratio * ratio * GetFloatWert(densityText);
    return entryLimited(pDev * units.pressureFactor);
}

int Countdown(int runningTimeS)
{
    return runningTimeS + (runningTimeS >= 120 ? 40 : 85);
}

QString SamplingProgress(const QString& pressureCaption, int samplesTaken, int lastPressure)
{
    QString s = QStringLiteral("%1 %2 (%3)").arg(pressureCaption).arg(samplesTaken + 1).arg(SampleCount);
    if (lastPressure >= 0)
        s += QStringLiteral(" : %1 Pa").arg(lastPressure);
    return s;
}

RunResult Evaluate(const betrieb::Sampling& run, double pnomDisplay, const QString& flowText,
                   const QString& densityText, const UnitSetEntry& units)
{
    RunResult r;
    if (run.count < SampleCount)
        return r;
    r.tolerance = pnomDisplay / units.pressureFactor * 0.05;
    r.mean = run.sum / 10.0;
    if (!(run.max <= r.mean + r.tolerance && run.min >= r.mean - r.tolerance)) {
        r.status = RunStatus::Unstable;
        return r;
    }
    // Writing the mean into the pressure field runs that field's entry rule.
    r.pressureShown = entryLimited(r.mean * units.pressureFactor);
    r.calculation = Compute(flowText, QString::number(r.pressureShown), densityText, units);
    r.status = r.calculation.conductance ? RunStatus::Ok : RunStatus::NoResult;
    return r;
}

RunResult Evaluate(const std::vector<int32_t>& samplesPa, double pnomDisplay, const QString& flowText,
                   const QString& densityText, const UnitSetEntry& units)
{
    betrieb::Sampling run;
    run.Reset();
    for (int32_t p : samplesPa)
        run.Add(p);
    return Evaluate(run, pnomDisplay, flowText, densityText, units);
}

} // namespace kadex::conductance
