// The commands that only calculate: "density" and "conductance".
#include "cli/CliCommon.h"

#include "common/Helpers.h"
#include "common/Units.h"
#include "core/AirDensity.h"
#include "core/Conductance.h"

#include <QJsonObject>
#include <QLocale>
#include <cmath>

namespace kadex::cli {

namespace {

// An option's number within [min, max]; else a usage error naming the option.
bool number(const std::optional<QString>& text, const char* option, const char* what, double min, double max,
            double fallback, double& value, int& rc)
{
    if (!text) {
        value = fallback;
        return true;
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(text->trimmed(), &ok);
    if (ok && std::isfinite(v) && v >= min && v <= max) {
        value = v + 0.0; // no -0
        return true;
    }
    const QLocale c = QLocale::c();
    rc = usageError(QStringLiteral("--%1 needs %2 from %3 to %4, not '%5'")
                        .arg(QLatin1String(option), QString::fromUtf8(what),
                             c.toString(min, 'f', QLocale::FloatingPointShortest),
                             c.toString(max, 'f', QLocale::FloatingPointShortest), *text));
    return false;
}

} // namespace

int runDensity(const Options& o)
{
    using namespace density;
    double h = 0, t = 0, phi = 0;
    int rc = ExitUsage;
    if (!number(o.altitude, "altitude", "an altitude in m", AltitudeMin, AltitudeMax, 0.0, h, rc)
        || !number(o.temperature, "temperature", "a temperature in degrees Celsius", TemperatureMin,
                   TemperatureMax, 20.0, t, rc)
        || !number(o.humidity, "humidity", "a relative humidity in %", HumidityMin, HumidityMax, 40.0, phi, rc))
        return rc;

    const AirDensity d = Compute(h, t, phi);
    const QString shown = DensityText(d.density);
    const double stored = StoredDensity(GetFloatWert(shown));
    if (o.json) {
        QJsonObject obj;
        obj[QStringLiteral("altitudeM")] = h;
        obj[QStringLiteral("temperatureC")] = t;
        obj[QStringLiteral("humidityPercent")] = phi;
        obj[QStringLiteral("pressurePa")] = d.pressurePa;
        obj[QStringLiteral("saturationPressurePa")] = d.saturationPa;
        obj[QStringLiteral("partialPressurePa")] = d.partialPa;
        obj[QStringLiteral("partialPressureLimited")] = d.partialLimited;
        obj[QStringLiteral("temperatureK")] = d.temperatureK;
        obj[QStringLiteral("densityExact")] = d.density;
        obj[QStringLiteral("density")] = GetFloatWert(shown);
        obj[QStringLiteral("densityStored")] = GetFloatWert(DensityText(stored));
        printJson(obj);
        return ExitOk;
    }
    out() << "Density: " << shown << " kg/m³\n";
    if (DensityText(stored) != shown)
        out() << "Stored on confirming: " << DensityText(stored) << " kg/m³ (the tool keeps 0.5 .. 2)\n";
    out().flush();
    return ExitOk;
}

int runConductance(const Options& o)
{
    using namespace conductance;
    if (!o.flow || !o.pressure)
        return usageError(QStringLiteral("conductance needs --flow and --pressure"));
    double v = 0, p = 0, rho = 0;
    int rc = ExitUsage;
    if (!number(o.flow, "flow", "a flow in m³/h", EntryMin, EntryMax, 0.0, v, rc)
        || !number(o.pressure, "pressure", "a pressure in Pa", EntryMin, EntryMax, 0.0, p, rc)
        || !number(o.density, "density", "a density in kg/m³", density::StoredMin, density::StoredMax, 1.2, rho, rc))
        return rc;

    const Calculation c = Compute(v, p, rho, UnitSetAt(0));
    if (!c.conductance) {
        err() << "kadex-cli: no conductance at a pressure of " << c.pressure
              << " Pa (the pressure is taken to a whole number; it must be 1 Pa or more)" << Qt::endl;
        return ExitFailure;
    }
    if (o.json) {
        QJsonObject obj;
        obj[QStringLiteral("flowM3h")] = c.flowDev;
        obj[QStringLiteral("pressurePa")] = c.pressureDev;
        obj[QStringLiteral("density")] = c.density;
        obj[QStringLiteral("conductanceExact")] = *c.conductance;
        obj[QStringLiteral("conductance")] = GetFloatWert(c.Text());
        printJson(obj);
        return ExitOk;
    }
    out() << "Conductance: " << c.Text() << '\n';
    out().flush();
    return ExitOk;
}

} // namespace kadex::cli
