#include "core/AirDensity.h"

#include "common/Helpers.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace kadex::density {

namespace {

constexpr double kSeaLevelPa = 101350.0;
constexpr double kRDryAir = 287.1;   // J/(kg K)
constexpr double kRVapour = 461.4;   // J/(kg K)

// base^exponent as exp(exponent x ln(base)); a base of 0 or less gives 0 (its limit from above).
double power(double base, double exponent)
{
    if (!(base > 0.0))
        return 0.0;
    return std::exp(exponent * std::log(base));
}

QString shortest(double v)
{
    return QLocale::c().toString(v, 'f', QLocale::FloatingPointShortest);
}

bool readNumber(const QString& text, double& v)
{
    bool ok = false;
    v = QLocale::c().toDouble(AppendZeroAfterPoint(text.trimmed()), &ok);
    return ok && std::isfinite(v);
}

} // namespace

double SaturationPressure(double t)
{
    if (t >= 0.0)
        return 288.68 * power(1.098 + t / 100.0, 8.02);
    return 4.689 * power(1.486 + t / 100.0, 12.3);
}

AirDensity Compute(double h, double t, double phi)
{
    AirDensity r;
    r.pressurePa = kSeaLevelPa * std::exp(-0.125 * h / 1000.0);
    r.saturationPa = SaturationPressure(t);
    r.partialPa = phi / 100.0 * r.saturationPa;
    if (r.partialPa > r.pressurePa) {
        r.partialPa = r.pressurePa;
        r.partialLimited = true;
    }
    r.temperatureK = t + 273.15;
    r.density = r.pressurePa / (kRDryAir * r.temperatureK)
        + (1.0 / kRVapour - 1.0 / kRDryAir) * r.partialPa / r.temperatureK;
    return r;
}

QString DensityText(double density)
{
    return Fixed(density, 3);
}

double StoredDensity(double density)
{
    return std::clamp(density, StoredMin, StoredMax);
}

Entry CheckEntry(const QString& text, double min, double max)
{
    if (text == QLatin1String("-") || text == QLatin1String("-0"))
        return {QStringLiteral("-"), 0.0};
    Entry e{text, 0.0};
    double v = 0;
    if (!readNumber(text, v)) {
        e.text = QStringLiteral("0");
        v = 0.0;
    }
    if (v < min)
        e.text = shortest(min);
    else if (v > max)
        e.text = shortest(max);
    if (!readNumber(e.text, e.value))
        e.value = 0.0;
    e.value += 0.0; // no -0
    return e;
}

QString LimitHint(double min, double max)
{
    return shortest(min) + QStringLiteral(" .. ") + shortest(max);
}

} // namespace kadex::density
