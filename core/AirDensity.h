#pragma once
// Air density from the ambient conditions (altitude, temperature, humidity) and the entry
// rules of the ambient-conditions dialog, as plain functions.
#include <QString>

namespace kadex::density {

// Entry limits of the three fields.
inline constexpr double AltitudeMin = 0.0, AltitudeMax = 8800.0;             // m
inline constexpr double TemperatureMin = -148.6, TemperatureMax = 10000.0;   // °C
inline constexpr double HumidityMin = 0.0, HumidityMax = 100.0;              // %
// What confirming hands on: the density limited to this range (kg/m³).
inline constexpr double StoredMin = 0.5, StoredMax = 2.0;

// Every step of the computation, as the dialog goes through it.
struct AirDensity {
    double pressurePa = 0;           // barometric pressure at the altitude
    double saturationPa = 0;         // saturation vapour pressure at the temperature
    double partialPa = 0;            // vapour partial pressure: humidity share of saturation
    double temperatureK = 0;
    double density = 0;              // kg/m³
    bool partialLimited = false;     // the partial pressure was cut to the total pressure
};

// Saturation vapour pressure in Pa. Below the temperature where the cold-range base reaches
// 0 (-148.6 °C) there is no vapour: 0 instead of the logarithm of 0 or of a negative number.
double SaturationPressure(double temperatureC);

// Density of humid air. Above the boiling point the formula's vapour pressure exceeds the
// total pressure and the density would turn negative; the partial pressure is limited to the
// total pressure there (pure vapour), which keeps the density physical.
AirDensity Compute(double altitudeM, double temperatureC, double humidityPercent);

// The density as the dialog shows it: three decimals ("1.200").
QString DensityText(double density);

// The density confirming stores: limited to StoredMin .. StoredMax.
double StoredDensity(double density);

// Result of the entry check of one field.
struct Entry {
    QString text;   // what the field holds afterwards
    double value;   // what the computation uses
};

// The entry check of an ambient field: "-" and "-0" stay as "-" for further typing and count
// as 0; a text that is not a number becomes "0"; a number outside [min, max] is replaced by
// the limit in its shortest form ("8800"); "12." reads as 12.
Entry CheckEntry(const QString& text, double min, double max);

// The hint of an entry field: "0 .. 8800".
QString LimitHint(double min, double max);

} // namespace kadex::density
