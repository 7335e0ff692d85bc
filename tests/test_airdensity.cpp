// Air density from altitude, temperature and humidity, and the entry check of its fields.
#include "core/AirDensity.h"

#include "tests/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace kadex;
using namespace kadex::density;

namespace {

::testing::AssertionResult relNear(double actual, double expected, double rel)
{
    if (std::fabs(actual - expected) <= rel * std::fabs(expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not within " << rel * 100 << " % of " << expected;
}

} // namespace

// Reference: the CIPM-2007 equation for moist air (Picard et al., Metrologia 45 (2008) 149),
// x_CO2 = 0.0004, at the pressure of the ICAO standard atmosphere for the altitude,
// p = 101325 (1 - 2.25577e-5 h)^5.25588 (0 m: 101325.0 Pa, 500 m: 95460.8 Pa, 1000 m:
// 89874.6 Pa, 2000 m: 79495.2 Pa). Values from tests/reference/cipm2007_density.py, which
// implements that equation independently of this code. The tool's barometric and saturation
// formulas are approximations; 1 % is what they are good for over these rows.
TEST(AirDensity, AgreesWithCipm2007WithinOnePercent)
{
    struct Row { double h, t, rh, reference; };
    const Row rows[]{
        {0, 20, 40, 1.20036},
        {1000, 10, 80, 1.10167},
        {0, 35, 90, 1.12422},
        {0, 0, 0, 1.29305},
        {2000, -10, 50, 1.05229},
        {500, 25, 60, 1.10736},
    };
    for (const Row& r : rows)
        EXPECT_TRUE(relNear(Compute(r.h, r.t, r.rh).density, r.reference, 0.01)) << r.h << " m " << r.t << " C " << r.rh << " %";
}

// The tool's own formula, worked by hand (T = t + 273.15, 1/461.4 - 1/287.1 = -0.00131579007):
//  p  = 101350 exp(-0.125 h / 1000)           1000 m: 101350 x 0.8824969026 = 89441.06108
//                                             8800 m: 101350 x 0.3328710837 = 33736.48433
//  ps = 288.68 (1.098 + t/100)^8.02 (t >= 0)  20 C: exp(8.02 ln 1.298) = exp(2.091813439) = 8.099589964,
//                                             x 288.68 = 2338.189631
//                                             10 C: exp(8.02 ln 1.198) = 4.258176715 -> 1229.250454
//                                             35 C: exp(8.02 ln 1.448) = 19.46990651 -> 5620.572611
//                                              0 C: exp(8.02 ln 1.098) = 2.116560894 -> 611.0087988
//  ps = 4.689 (1.486 + t/100)^12.3 (t < 0)    -10 C: exp(12.3 ln 1.386) = 55.42270678 -> 259.8770721
//  pv = rh/100 x ps
//  rho = p / (287.1 T) - 0.00131579007 pv / T
//   0 m 20 C 40 %: 101350 / 84163.365 = 1.204205654; pv 935.2758523; -0.0041979419 -> 1.200007712
//   0 m 20 C  0 %: 1.204205654
//   1000 m 20 C 40 %: 89441.06108 / 84163.365 = 1.062707760 - 0.0041979419 = 1.058509818
//   0 m -10 C 50 %: 101350 / 75550.365 = 1.341489217; pv 129.938536; -0.00064971247 -> 1.340839505
//   0 m 0 C 0 %: 101350 / 78421.365 = 1.292377403
//   8800 m 20 C 40 %: 33736.48433 / 84163.365 = 0.4008452411 - 0.0041979419 = 0.3966472991
//   1000 m 10 C 80 %: 89441.06108 / 81292.365 = 1.100239378; pv 983.4003633; -0.0045698338 -> 1.095669544
//   0 m 35 C 90 %: 101350 / 88469.865 = 1.145587822; pv 5058.51535; -0.0215996893 -> 1.123988133
TEST(AirDensity, FormulaStepByStep)
{
    struct Row { double h, t, rh, p, ps, pv, rho; const char* shown; };
    const Row rows[]{
        {0, 20, 40, 101350, 2338.189631, 935.2758523, 1.200007712, "1.200"},
        {0, 20, 0, 101350, 2338.189631, 0, 1.204205654, "1.204"},
        {1000, 20, 40, 89441.06108, 2338.189631, 935.2758523, 1.058509818, "1.059"},
        {0, -10, 50, 101350, 259.8770721, 129.938536, 1.340839505, "1.341"},
        {0, 0, 0, 101350, 611.0087988, 0, 1.292377403, "1.292"},
        {8800, 20, 40, 33736.48433, 2338.189631, 935.2758523, 0.3966472991, "0.397"},
        {1000, 10, 80, 89441.06108, 1229.250454, 983.4003633, 1.095669544, "1.096"},
        {0, 35, 90, 101350, 5620.572611, 5058.51535, 1.123988133, "1.124"},
    };
    for (const Row& r : rows) {
        const AirDensity d = Compute(r.h, r.t, r.rh);
        SCOPED_TRACE(testing::Message() << r.h << " m " << r.t << " C " << r.rh << " %");
        EXPECT_TRUE(relNear(d.pressurePa, r.p, 1e-9));
        EXPECT_TRUE(relNear(d.saturationPa, r.ps, 1e-9));
        EXPECT_NEAR(d.partialPa, r.pv, 1e-6);
        EXPECT_DOUBLE_EQ(d.temperatureK, r.t + 273.15);
        EXPECT_TRUE(relNear(d.density, r.rho, 1e-9));
        EXPECT_EQ(DensityText(d.density), QLatin1String(r.shown));
        EXPECT_FALSE(d.partialLimited);
    }
}

TEST(AirDensity, EndsOfTheTemperatureRange)
{
    // -148.6 C: the cold-range base 1.486 - 1.486 is 0; no vapour instead of ln(0).
    // rho = 101350 / (287.1 x 124.55) = 2.834306604.
    const AirDensity cold = Compute(0, TemperatureMin, 100);
    EXPECT_EQ(cold.saturationPa, 0.0);
    EXPECT_TRUE(relNear(cold.density, 2.834306604, 1e-9));
    EXPECT_EQ(DensityText(cold.density), "2.834");
    EXPECT_EQ(SaturationPressure(-200), 0.0);

    // 150 C, 100 %: ps = 288.68 x 2.598^8.02 = 610692.6 Pa, more than the 101350 Pa there are.
    // The formula as it stands gives 0.83425 - 1.89896 = -1.0647 kg/m3; with pv limited to p
    // the air is pure vapour: 101350 / (461.4 x 423.15) = 0.5191009428.
    const AirDensity hot = Compute(0, 150, 100);
    EXPECT_TRUE(relNear(hot.saturationPa, 610692.5943, 1e-9));
    EXPECT_TRUE(hot.partialLimited);
    EXPECT_EQ(hot.partialPa, hot.pressurePa);
    EXPECT_TRUE(relNear(hot.density, 0.5191009428, 1e-9));
}

// Over the whole entry range: a finite density above 0, a partial pressure no higher than the
// total, and more humidity never makes the air denser (vapour is lighter than dry air).
TEST(AirDensity, RandomConditionsGivePhysicalDensities)
{
    std::mt19937 rng(20261210);
    std::uniform_real_distribution<double> h(AltitudeMin, AltitudeMax), t(TemperatureMin, TemperatureMax),
        rh(HumidityMin, HumidityMax), hot(-40, 300);
    for (int i = 0; i < 20000; ++i) {
        const double hi = h(rng), ti = i % 2 ? t(rng) : hot(rng), r1 = rh(rng), r2 = rh(rng);
        const AirDensity a = Compute(hi, ti, std::min(r1, r2)), b = Compute(hi, ti, std::max(r1, r2));
        ASSERT_TRUE(std::isfinite(a.density) && a.density > 0) << hi << " " << ti << " " << r1;
        ASSERT_LE(b.partialPa, b.pressurePa);
        ASSERT_LE(b.density, a.density + 1e-12) << hi << " " << ti << " " << r1 << " " << r2;
    }
}

TEST(AirDensity, StoredDensityIsLimited)
{
    EXPECT_EQ(DensityText(StoredDensity(Compute(8800, 20, 40).density)), "0.500");
    EXPECT_EQ(DensityText(StoredDensity(Compute(0, TemperatureMin, 0).density)), "2.000");
    EXPECT_EQ(DensityText(StoredDensity(1.2)), "1.200");
}

TEST(AirDensity, EntryCheck)
{
    struct Row { const char* text; double min, max; const char* after; double value; };
    const Row rows[]{
        {"9000", AltitudeMin, AltitudeMax, "8800", 8800},
        {"-5", AltitudeMin, AltitudeMax, "0", 0},
        {"500.5", AltitudeMin, AltitudeMax, "500.5", 500.5},
        {"12,", HumidityMin, HumidityMax, "0", 0},
        {"12.", HumidityMin, HumidityMax, "12.", 12},
        {"100.5", HumidityMin, HumidityMax, "100", 100},
        {"", HumidityMin, HumidityMax, "0", 0},
        {"abc", TemperatureMin, TemperatureMax, "0", 0},
        {"-", TemperatureMin, TemperatureMax, "-", 0},
        {"-0", TemperatureMin, TemperatureMax, "-", 0},
        {"-", AltitudeMin, AltitudeMax, "-", 0},
        {"-200", TemperatureMin, TemperatureMax, "-148.6", -148.6},
        {"10000.01", TemperatureMin, TemperatureMax, "10000", 10000},
        {"-12.5", TemperatureMin, TemperatureMax, "-12.5", -12.5},
    };
    for (const Row& r : rows) {
        const Entry e = CheckEntry(QString::fromLatin1(r.text), r.min, r.max);
        EXPECT_EQ(e.text, QLatin1String(r.after)) << r.text;
        EXPECT_DOUBLE_EQ(e.value, r.value) << r.text;
    }
    EXPECT_EQ(LimitHint(TemperatureMin, TemperatureMax), "-148.6 .. 10000");
    EXPECT_EQ(LimitHint(AltitudeMin, AltitudeMax), "0 .. 8800");
}
