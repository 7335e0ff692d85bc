#pragma once
// The conductance of a damper, V / sqrt(dp / rho), as the conductance dialog computes it: from
// a typed flow and pressure ("Berechnen") and from the ten pressure samples of a measurement
// with air. Plain functions; the dialog and the sampling call them.
#include "common/Units.h"
#include "device/BetriebCalc.h"

#include <QString>
#include <optional>
#include <vector>

namespace kadex::conductance {

// Entry limits of the flow and pressure fields (display units).
inline constexpr double EntryMin = 0.0, EntryMax = 65535.0;
// Samples a measurement with air takes.
inline constexpr int SampleCount = 10;

// The computation with every value it goes through.
struct Calculation {
    int flow = 0;          // v: the flow field as a whole number (display unit)
    int pressure = 0;      // p: the pressure field as a whole number (display unit)
    int flowDev = 0;       // m³/h
    int pressureDev = 0;   // Pa
    double density = 0;    // kg/m³
    // No value where the formula has none: a pressure of 0 Pa or less, a density of 0 or
    // less (the root of a negative number or a division by zero).
    std::optional<double> conductance;

    // What the dialog shows: two decimals, "0.00" without a result.
    QString Text() const;
};

// v := round(flow), p := round(pressure); vDev := round(v / FlowFactor), pDev := round(p /
// PressureFactor); conductance := vDev / sqrt(pDev / density).
Calculation Compute(double flow, double pressure, double density, const UnitSetEntry& units);
// The same from the field texts (unreadable text counts as 0).
Calculation Compute(const QString& flowText, const QString& pressureText, const QString& densityText,
                    const UnitSetEntry& units);

// The entry rule of the flow and pressure fields: below 0 gives "0", above 65535 "65535", a
// text that is not a number "0"; a number in range, an empty text and a lone sign (the start
// of a number) stay as typed. Empty when nothing changes.
std::optional<QString> LimitEntry(const QString& text);

// The pressure the dialog expects at show time for the nominal flow and the conductance now
// in the window, (vDev / lw)^2 x rho, as the pressure field then holds it (a whole number in
// the display unit, entry-limited); none where lw is 0 or less.
std::optional<int> ExpectedPressure(const QString& vnomText, const QString& conductanceText,
                                    const QString& densityText, const UnitSetEntry& units);

// Seconds the measurement waits for the damper to open: the running time plus 40 s from a
// running time of 120 s on, plus 85 s below.
int Countdown(int runningTimeS);

// The progress line during sampling: "Druck 4 (10) : 57 Pa" (no pressure part before the
// first sample, when the last pressure is still -1).
QString SamplingProgress(const QString& pressureCaption, int samplesTaken, int lastPressure);

enum class RunStatus {
    Incomplete,   // fewer than ten samples: nothing to evaluate
    Unstable,     // a sample lies outside mean +- tolerance: "Fehler: Druck nicht stabil"
    NoResult,     // stable, but the computation has no value: "Fehler: Druck <= 0"
    Ok,
};

struct RunResult {
    RunStatus status = RunStatus::Incomplete;
    double mean = 0;          // Pa
    double tolerance = 0;     // Pa: 5 % of the nominal pressure
    int pressureShown = 0;    // what the pressure field then holds (display unit, entry-limited)
    Calculation calculation;  // valid for Ok and NoResult
};

// Evaluates a finished sampling run. pnomDisplay is the sensor's nominal pressure in the
// display unit; flowText and densityText are the flow field and the density as they stand.
// Stable when max <= mean + tol and min >= mean - tol, tol = pnom / PressureFactor x 0.05.
RunResult Evaluate(const betrieb::Sampling& run, double pnomDisplay, const QString& flowText,
                   const QString& densityText, const UnitSetEntry& units);
// The same over sampled pressures in Pa, taken as the sampling takes them (only the first ten).
RunResult Evaluate(const std::vector<int32_t>& samplesPa, double pnomDisplay, const QString& flowText,
                   const QString& densityText, const UnitSetEntry& units);

} // namespace kadex::conductance
