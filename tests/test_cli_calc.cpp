// kadex-cli's calculating commands "density" and "conductance", run as a separate process.
#include "tests/QtPrinters.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kCli = QStringLiteral(KADEX_BIN_DIR "/kadex-cli");

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

CliRun cli(const QStringList& args)
{
    QProcess p;
    p.start(kCli, args);
    CliRun r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QJsonObject object(const QString& text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    EXPECT_TRUE(doc.isObject()) << text.toStdString();
    return doc.object();
}

QStringList L(std::initializer_list<const char*> words)
{
    QStringList l;
    for (const char* w : words)
        l << QString::fromUtf8(w);
    return l;
}

} // namespace

TEST(CliCalc, TextOutputAndUsageErrors)
{
    if (!QFileInfo::exists(kCli))
        GTEST_SKIP() << "kadex-cli is not built";
    struct Case { QStringList args; int exitCode; QString expect; };
    const QList<Case> cases{
        // The dialog's defaults: 0 m, 20 °C, 40 %.
        {L({"density"}), 0, QStringLiteral("Density: 1.200 kg/m³\n")},
        {L({"--altitude", "1000", "density", "--temperature", "10", "--humidity=80"}), 0, QStringLiteral("Density: 1.096 kg/m³\n")},
        {L({"density", "--temperature", "-10", "--humidity", "50"}), 0, QStringLiteral("Density: 1.341 kg/m³\n")},
        {L({"density", "--altitude", "8800"}), 0,
         QStringLiteral("Density: 0.397 kg/m³\nStored on confirming: 0.500 kg/m³ (the tool keeps 0.5 .. 2)\n")},
        {L({"conductance", "--flow", "1000", "--pressure", "100"}), 0, QStringLiteral("Conductance: 109.54\n")},
        // 999.5 and 100.5 take their even neighbours; 1.0 kg/m³: 1000 / 10 = 100
        {L({"--density", "1.0", "conductance", "--pressure=100.5", "--flow", "999.5"}), 0, QStringLiteral("Conductance: 100.00\n")},
        // A pressure that rounds to 0 Pa has no conductance.
        {L({"conductance", "--flow", "1000", "--pressure", "0.4"}), 1, QStringLiteral("no conductance at a pressure of 0 Pa")},
        // Out of range or not a number, each named.
        {L({"density", "--altitude", "9000"}), 2, QStringLiteral("--altitude needs an altitude in m from 0 to 8800, not '9000'")},
        {L({"density", "--temperature", "-148.7"}), 2, QStringLiteral("--temperature needs a temperature in degrees Celsius from -148.6 to 10000")},
        {L({"density", "--temperature", ""}), 2, QStringLiteral("--temperature needs")},
        {L({"density", "--humidity", "12,5"}), 2, QStringLiteral("--humidity needs a relative humidity in % from 0 to 100, not '12,5'")},
        {L({"density", "--humidity", "nan"}), 2, QStringLiteral("--humidity needs")},
        {L({"conductance", "--flow", "70000", "--pressure", "100"}), 2, QStringLiteral("--flow needs a flow in m³/h from 0 to 65535")},
        {L({"conductance", "--flow", "1000", "--pressure", "-1"}), 2, QStringLiteral("--pressure needs a pressure in Pa from 0 to 65535")},
        {L({"conductance", "--flow", "1000", "--pressure", "100", "--density", "0"}), 2, QStringLiteral("--density needs a density in kg/m³ from 0.5 to 2")},
        {L({"conductance", "--flow", "1000"}), 2, QStringLiteral("conductance needs --flow and --pressure")},
        {L({"conductance", "--flow"}), 2, QStringLiteral("missing value after '--flow'")},
        // Options belong to their command; no port options; no words.
        {L({"density", "--flow", "1000"}), 2, QStringLiteral("--flow is for conductance only")},
        {L({"--humidity", "40", "conductance", "--flow", "1", "--pressure", "1"}), 2, QStringLiteral("--humidity is for density only")},
        {L({"read", "--altitude", "100", "--simulate"}), 2, QStringLiteral("--altitude is for density only")},
        {L({"--simulate", "density"}), 2, QStringLiteral("density needs no controller; --simulate is not used")},
        {L({"conductance", "--flow", "1", "--pressure", "1", "--port", "/dev/null"}), 2, QStringLiteral("--port is not used")},
        {L({"density", "1000"}), 2, QStringLiteral("density takes no arguments (got '1000')")},
    };
    for (const Case& c : cases) {
        const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << r.err.toStdString();
        if (c.exitCode == 0) {
            EXPECT_EQ(r.out, c.expect) << what;
            EXPECT_TRUE(r.err.isEmpty()) << what << ": " << r.err.toStdString();
            continue;
        }
        EXPECT_TRUE(r.out.isEmpty()) << what << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("kadex-cli: "))) << what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.expect)) << what << ": " << r.err.toStdString();
        EXPECT_EQ(r.err.endsWith(QStringLiteral("Try 'kadex-cli --help'.\n")), c.exitCode == 2) << what;
    }
}

TEST(CliCalc, JsonCarriesTheIntermediates)
{
    if (!QFileInfo::exists(kCli))
        GTEST_SKIP() << "kadex-cli is not built";
    // 1000 m, 10 °C, 80 %: p = 101350 exp(-0.125) = 89441.06108 Pa; ps = 288.68 x 1.198^8.02 =
    // 1229.250454 Pa; pv = 0.8 ps = 983.4003633 Pa; rho = 1.100239378 - 0.004569833772 = 1.095669544.
    CliRun r = cli(L({"density", "--json", "--altitude", "1000", "--temperature", "10", "--humidity", "80"}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonObject o = object(r.out);
    EXPECT_DOUBLE_EQ(o.value("altitudeM").toDouble(), 1000);
    EXPECT_DOUBLE_EQ(o.value("temperatureC").toDouble(), 10);
    EXPECT_DOUBLE_EQ(o.value("humidityPercent").toDouble(), 80);
    EXPECT_NEAR(o.value("pressurePa").toDouble(), 89441.06108, 1e-4);
    EXPECT_NEAR(o.value("saturationPressurePa").toDouble(), 1229.250454, 1e-5);
    EXPECT_NEAR(o.value("partialPressurePa").toDouble(), 983.4003633, 1e-5);
    EXPECT_DOUBLE_EQ(o.value("temperatureK").toDouble(), 283.15);
    EXPECT_NEAR(o.value("densityExact").toDouble(), 1.095669544, 1e-8);
    EXPECT_DOUBLE_EQ(o.value("density").toDouble(), 1.096);
    EXPECT_DOUBLE_EQ(o.value("densityStored").toDouble(), 1.096);
    EXPECT_EQ(o.value("partialPressureLimited"), QJsonValue(false));

    // 998.5 m³/h -> 998, 250 Pa, 1.2 kg/m³: 998 / sqrt(208.3333) = 998 / 14.43376 = 69.1435
    r = cli(L({"conductance", "--flow", "998.5", "--pressure", "250", "--density", "1.2", "--json"}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    o = object(r.out);
    EXPECT_DOUBLE_EQ(o.value("flowM3h").toDouble(), 998);
    EXPECT_DOUBLE_EQ(o.value("pressurePa").toDouble(), 250);
    EXPECT_DOUBLE_EQ(o.value("density").toDouble(), 1.2);
    EXPECT_NEAR(o.value("conductanceExact").toDouble(), 69.1435, 1e-4);
    EXPECT_DOUBLE_EQ(o.value("conductance").toDouble(), 69.14);

    r = cli(L({"--json", "conductance", "--flow", "1000", "--pressure", "0"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
}
