// Conductance from a typed flow and pressure, and the evaluation of a sampling run.
#include "core/Conductance.h"

#include "tests/QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>

using namespace kadex;
using namespace kadex::conductance;

// Worked by hand: conductance = vDev / sqrt(pDev / rho).
//  1000 m3/h, 100 Pa, 1.2: 1000 / sqrt(83.3333) = 1000 / 9.128709 = 109.5445
//  999.5 and 100.5 take the even neighbours 1000 and 100: the same
//  998.5 -> 998: 998 / 9.128709 = 109.3254
//  l/s: 250 l/s = 250 x 3.6 = 900 m3/h, 50 Pa: 900 / sqrt(41.6667) = 900 / 6.454972 = 139.4274
//  cfm / uPSI: 100 cfm / 0.58868547 = 169.87 -> 170 m3/h; 14504 uPSI / 145.0389 = 100.0008 -> 100 Pa:
//    170 / 9.128709 = 18.6226
//  72 uPSI / 145.0389 = 0.4964 -> 0 Pa: no value
TEST(Conductance, ComputeFromTypedValues)
{
    struct Row { const char* flow; const char* pressure; const char* density; int unit; int vDev, pDev; const char* shown; bool value; };
    const Row rows[]{
        {"1000", "100", "1.200", 0, 1000, 100, "109.54", true},
        {"999.5", "100.5", "1.200", 0, 1000, 100, "109.54", true},
        {"998.5", "100", "1.2", 0, 998, 100, "109.33", true},
        {"250", "50", "1.2", 1, 900, 50, "139.43", true},
        {"100", "14504", "1.2", 2, 170, 100, "18.62", true},
        {"0", "100", "1.2", 0, 0, 100, "0.00", true},
        {"1000", "0", "1.2", 0, 1000, 0, "0.00", false},
        {"1000", "0.4", "1.2", 0, 1000, 0, "0.00", false},
        {"1000", "-7", "1.2", 0, 1000, -7, "0.00", false},
        {"1000", "abc", "1.2", 0, 1000, 0, "0.00", false},
        {"100", "72", "1.2", 2, 170, 0, "0.00", false},
        {"1000", "100", "0", 0, 1000, 100, "0.00", false},
        {"1000", "100", "-1.2", 0, 1000, 100, "0.00", false},
    };
    for (const Row& r : rows) {
        const Calculation c = Compute(QString::fromLatin1(r.flow), QString::fromLatin1(r.pressure),
                                      QString::fromLatin1(r.density), UnitSetAt(r.unit));
        SCOPED_TRACE(testing::Message() << r.flow << " / " << r.pressure << " / " << r.density << " unit " << r.unit);
        EXPECT_EQ(c.flowDev, r.vDev);
        EXPECT_EQ(c.pressureDev, r.pDev);
        EXPECT_EQ(c.conductance.has_value(), r.value);
        EXPECT_EQ(c.Text(), QLatin1String(r.shown));
    }
    // The fields get the whole numbers back.
    const Calculation c = Compute(QStringLiteral("999.5"), QStringLiteral("14504.4"), QStringLiteral("1.2"), UnitSetAt(2));
    EXPECT_EQ(c.flow, 1000);
    EXPECT_EQ(c.pressure, 14504);
    EXPECT_NEAR(*Compute(1000, 100, 1.2, UnitSetAt(0)).conductance, 109.5445115, 1e-6);
}

TEST(Conductance, EntryLimits)
{
    struct Row { const char* text; std::optional<const char*> after; };
    const Row rows[]{
        {"70000", "65535"}, {"-5", "0"}, {"abc", "0"}, {"", std::nullopt}, {"-", std::nullopt}, {"12,5", "0"},
        {"65535", std::nullopt}, {"0", std::nullopt}, {"12.5", std::nullopt}, {"65535.5", "65535"},
    };
    for (const Row& r : rows) {
        const std::optional<QString> got = LimitEntry(QString::fromLatin1(r.text));
        ASSERT_EQ(got.has_value(), r.after.has_value()) << r.text;
        if (got) {
            EXPECT_EQ(*got, QLatin1String(*r.after)) << r.text;
        }
    }
}

// (vDev / lw)^2 x rho: (1000 / 109.54)^2 x 1.2 = 100.008 -> 100 Pa. cfm / uPSI: 1000 cfm =
// 1698.7 -> 1699 m3/h; (1699 / 109.54)^2 x 1.2 = 288.684 Pa x 145.0389 = 41870.39 -> 41870 uPSI
TEST(Conductance, ExpectedPressureAtShowTime)
{
    EXPECT_EQ(ExpectedPressure("1000", "109.54", "1.200", UnitSetAt(0)), 100);
    EXPECT_EQ(ExpectedPressure("1000", "109.54", "1.200", UnitSetAt(2)), 41870);
    EXPECT_EQ(ExpectedPressure("1000", "0", "1.200", UnitSetAt(0)), std::nullopt);
    EXPECT_EQ(ExpectedPressure("1000", "", "1.200", UnitSetAt(0)), std::nullopt);
    EXPECT_EQ(ExpectedPressure("65535", "0.01", "1.2", UnitSetAt(0)), 65535); // entry-limited
}

TEST(Conductance, CountdownAndProgressText)
{
    EXPECT_EQ(Countdown(150), 190);
    EXPECT_EQ(Countdown(120), 160);
    EXPECT_EQ(Countdown(119), 204);
    EXPECT_EQ(SamplingProgress(QStringLiteral("Druck"), 3, 57), "Druck 4 (10) : 57 Pa");
    EXPECT_EQ(SamplingProgress(QStringLiteral("Druck"), 0, -1), "Druck 1 (10)");
}

// Nominal pressure 300 Pa: tolerance 15 Pa around the mean of the ten samples.
TEST(Conductance, SamplingRunEvaluation)
{
    using S = std::vector<int32_t>;
    struct Row { const char* what; S samples; double pnom; int unit; const char* flow; RunStatus status; int shown; const char* lw; };
    const Row rows[]{
        {"steady", {100, 102, 98, 101, 99, 100, 100, 102, 98, 100}, 300, 0, "1000", RunStatus::Ok, 100, "109.54"},
        // mean 102, max 120 > 117
        {"one sample 20 Pa off", {100, 102, 98, 101, 99, 100, 120, 102, 98, 100}, 300, 0, "1000", RunStatus::Unstable, 0, ""},
        // mean 100: 85 and 115 lie exactly on mean -+ 15
        {"at the limits", {100, 100, 100, 100, 85, 100, 100, 100, 100, 115}, 300, 0, "1000", RunStatus::Ok, 100, "109.54"},
        // mean 100.2: 116 > 115.2 (86 is inside)
        {"just past the upper limit", {100, 100, 100, 100, 86, 100, 100, 100, 100, 116}, 300, 0, "1000", RunStatus::Unstable, 0, ""},
        // mean 99.8: 84 < 84.8 (114 is inside)
        {"just past the lower limit", {100, 100, 100, 100, 84, 100, 100, 100, 100, 114}, 300, 0, "1000", RunStatus::Unstable, 0, ""},
        // mean 100.5 takes the even neighbour 100
        {"half-way mean", {100, 101, 100, 101, 100, 101, 100, 101, 100, 101}, 300, 0, "1000", RunStatus::Ok, 100, "109.54"},
        {"no pressure", S(10, 0), 300, 0, "1000", RunStatus::NoResult, 0, "0.00"},
        // stable at -5 Pa; the pressure field takes no negative value, so 0 Pa
        {"negative pressure", S(10, -5), 300, 0, "1000", RunStatus::NoResult, 0, "0.00"},
        {"nine samples", S(9, 100), 300, 0, "1000", RunStatus::Incomplete, 0, ""},
        // only the first ten count
        {"twelve samples", {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 500, 500}, 300, 0, "1000", RunStatus::Ok, 100, "109.54"},
        // uPSI: pnom 43511.67 uPSI = 300 Pa; mean 100 Pa shows as 14504 uPSI; 170 m3/h
        {"cfm / uPSI", {100, 102, 98, 101, 99, 100, 100, 102, 98, 100}, 43511.67, 2, "100", RunStatus::Ok, 14504, "18.62"},
        {"cfm / uPSI unstable", {100, 102, 98, 101, 99, 100, 120, 102, 98, 100}, 43511.67, 2, "100", RunStatus::Unstable, 0, ""},
        // no tolerance at all: only equal samples pass
        {"pnom 0 equal", S(10, 80), 0, 0, "1000", RunStatus::Ok, 80, "122.47"},
        {"pnom 0 one off", {80, 80, 80, 80, 80, 80, 80, 80, 80, 81}, 0, 0, "1000", RunStatus::Unstable, 0, ""},
    };
    for (const Row& r : rows) {
        const RunResult res = Evaluate(r.samples, r.pnom, QString::fromLatin1(r.flow), QStringLiteral("1.200"), UnitSetAt(r.unit));
        SCOPED_TRACE(r.what);
        EXPECT_EQ(static_cast<int>(res.status), static_cast<int>(r.status));
        if (r.status == RunStatus::Ok || r.status == RunStatus::NoResult) {
            EXPECT_EQ(res.pressureShown, r.shown);
            EXPECT_EQ(res.calculation.Text(), QLatin1String(r.lw));
        }
    }
    // The record's own sampling state evaluates the same.
    betrieb::Sampling run;
    run.Reset();
    for (int32_t p : {100, 100, 100, 100, 85, 100, 100, 100, 100, 115})
        run.Add(p);
    const RunResult res = Evaluate(run, 300, QStringLiteral("1000"), QStringLiteral("1.2"), UnitSetAt(0));
    EXPECT_DOUBLE_EQ(res.mean, 100.0);
    EXPECT_DOUBLE_EQ(res.tolerance, 15.0);
    EXPECT_EQ(res.calculation.Text(), "109.54");
}
