// The kadex-cli program's "read" and "monitor" commands: run as a separate process against the
// built-in simulated controller and, end to end, against kadex-sim on a pseudo-terminal.
#include "sim/Controller.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

using namespace kadex;
using Clock = std::chrono::steady_clock;

namespace {

QString binary(const char* name)
{
    return QStringLiteral(KADEX_BIN_DIR "/") + QLatin1String(name);
}

struct Result {
    int exitCode = -1; // -1: crashed or hung
    QString out, err;
    QStringList lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

Result runCli(const QStringList& args, int timeoutMs = 60000)
{
    QProcess p;
    p.start(binary("kadex-cli"), args);
    Result r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString readLine(QProcess& p, int timeoutMs = 20000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!p.canReadLine() && Clock::now() < deadline)
        p.waitForReadyRead(100);
    return p.canReadLine() ? QString::fromUtf8(p.readLine()).trimmed() : QString();
}

QJsonObject parseObject(const QString& text)
{
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &e);
    EXPECT_EQ(e.error, QJsonParseError::NoError) << e.errorString().toStdString() << ": " << text.toStdString();
    EXPECT_TRUE(doc.isObject()) << text.toStdString();
    return doc.object();
}

// What a factory-fresh simulated controller holds, as the tool shows it.
struct Defaults {
    double vnom, vmin, vmid, vmax, w1Min, w1Max, u5Min, u5Max, w1InputV;
    QString posText, serNr;
};

Defaults simulatorDefaults()
{
    const sim::ControllerSetup setup;
    const sim::Controller c(setup, 0);
    Defaults d{};
    d.vnom = c.peekBe16(sim::mem::Vnom);
    d.vmin = c.peekBe16(sim::mem::VLevels) / 100.0; // firmware 0308 keeps it absolute
    d.vmid = c.peekBe16(sim::mem::VLevels + 2) / 100.0;
    d.vmax = c.peekBe16(sim::mem::VLevels + 4) / 100.0;
    d.w1Min = c.peekBe16(sim::mem::W1Range) / 1000.0;
    d.w1Max = d.w1Min + c.peekBe16(sim::mem::W1Range + 2) / 1000.0;
    d.u5Min = c.peekBe16(sim::mem::U5Range) / 1000.0;
    d.u5Max = d.u5Min + c.peekBe16(sim::mem::U5Range + 2) / 1000.0;
    d.w1InputV = c.w1InputMv() / 1000.0;
    d.posText = QString::fromStdString(c.text16(sim::mem::PositionText));
    d.serNr = QString::fromStdString(setup.identity.text());
    return d;
}

bool cliBuilt()
{
    return QFileInfo::exists(binary("kadex-cli"));
}

const QString kAutoStatus = QStringLiteral("Auto [Führungseingang W1]");

// One text sample line of the monitor, split into its values.
const QRegularExpression kSampleLine(QStringLiteral(
    R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) (.+) \| setpoint (\S+) % (\S+) m³/h \| actual (\S+) % (\S+) m³/h \| )"
    R"(Y (\S+) % \| damper (\S+) % \| W1 (\S+) V \| U5 (\S+) V \| sensor (\S+) V (\S+) Pa \| alarms: (.+)$)"));

} // namespace

TEST(CliRead, PrintsTheSimulatedControllersOperatingData)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const Defaults d = simulatorDefaults();
    ASSERT_EQ(d.vnom, 250);
    ASSERT_EQ(d.posText, QStringLiteral("Positionstext"));

    const Result r = runCli({QStringLiteral("--simulate"), QStringLiteral("read")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.lines();
    auto line = [&](const QString& l) { return lines.contains(l); };
    EXPECT_TRUE(line(QStringLiteral("Serial number: ") + d.serNr)) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("Firmware: 0308"))) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("V'nom: 250 m³/h"))) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("V'min: %1 %").arg(d.vmin, 0, 'f', 2))) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("V'mid: %1 %").arg(d.vmid, 0, 'f', 2))) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("V'max: %1 %").arg(d.vmax, 0, 'f', 2))) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("Position text: Positionstext"))) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("W1 range: 0.0 .. 10.0 V"))) << r.out.toStdString();
    EXPECT_TRUE(line(QStringLiteral("U5 range: %1 .. %2 V").arg(d.u5Min, 0, 'f', 1).arg(d.u5Max, 0, 'f', 1)))
        << r.out.toStdString();
}

TEST(CliRead, JsonHoldsNumbersWhereTheValuesAreNumbers)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const Defaults d = simulatorDefaults();
    const Result r = runCli({QStringLiteral("--simulate"), QStringLiteral("--json"), QStringLiteral("read")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = parseObject(r.out);
    EXPECT_EQ(o.value(QStringLiteral("serialNumber")).toString(), d.serNr);
    EXPECT_EQ(o.value(QStringLiteral("firmware")).toString(), QStringLiteral("0308"));
    for (const char* key : {"vnomM3h", "vminPercent", "vmidPercent", "vmaxPercent", "w1MinV", "w1MaxV", "u5MinV", "u5MaxV"})
        EXPECT_TRUE(o.value(QLatin1String(key)).isDouble()) << key;
    EXPECT_EQ(o.value(QStringLiteral("vnomM3h")).toDouble(), 250);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("vminPercent")).toDouble(), d.vmin);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("vmidPercent")).toDouble(), d.vmid);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("vmaxPercent")).toDouble(), d.vmax);
    EXPECT_EQ(o.value(QStringLiteral("positionText")).toString(), QStringLiteral("Positionstext"));
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("w1MinV")).toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("w1MaxV")).toDouble(), 10.0);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("u5MinV")).toDouble(), d.u5Min);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("u5MaxV")).toDouble(), d.u5Max);
}

TEST(CliMonitor, CountEndsAfterThatManySamples)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const Defaults d = simulatorDefaults();
    const Result r = runCli({QStringLiteral("--simulate"), QStringLiteral("monitor"), QStringLiteral("--count"),
                             QStringLiteral("2")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString(); // the controller, then two samples
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Controller ") + d.serNr + QStringLiteral(" at PP")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("V'nom 250 m³/h"))) << lines[0].toStdString();
    for (int i = 1; i < 3; ++i) {
        const QRegularExpressionMatch m = kSampleLine.match(lines[i]);
        ASSERT_TRUE(m.hasMatch()) << lines[i].toStdString();
        EXPECT_EQ(m.captured(2), kAutoStatus);
        // Every value is a number; W1 is what the simulator puts on its input.
        for (int g = 3; g <= 12; ++g) {
            bool ok = false;
            m.captured(g).toDouble(&ok);
            EXPECT_TRUE(ok) << "field " << g << " of " << lines[i].toStdString();
        }
        EXPECT_DOUBLE_EQ(m.captured(9).toDouble(), d.w1InputV);
        const double damper = m.captured(8).toDouble();
        EXPECT_GE(damper, 0.0);
        EXPECT_LE(damper, 100.0);
        EXPECT_EQ(m.captured(13), QStringLiteral("none"));
    }
}

TEST(CliMonitor, JsonLinesOneObjectPerSample)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const Defaults d = simulatorDefaults();
    const Result r = runCli({QStringLiteral("--simulate"), QStringLiteral("--json"), QStringLiteral("monitor"),
                             QStringLiteral("--count"), QStringLiteral("2")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    for (const QString& l : lines) {
        const QJsonObject o = parseObject(l);
        EXPECT_TRUE(o.value(QStringLiteral("answering")).toBool()) << l.toStdString();
        EXPECT_EQ(o.value(QStringLiteral("serialNumber")).toString(), d.serNr);
        EXPECT_EQ(o.value(QStringLiteral("status")).toString(), kAutoStatus);
        EXPECT_FALSE(o.value(QStringLiteral("time")).toString().isEmpty());
        for (const char* key : {"setpointPercent", "setpointM3h", "actualPercent", "actualM3h", "ySignalPercent",
                                "damperPercent", "w1V", "u5V", "sensorSignalV", "sensorPa"})
            EXPECT_TRUE(o.value(QLatin1String(key)).isDouble()) << key << " in " << l.toStdString();
        EXPECT_DOUBLE_EQ(o.value(QStringLiteral("w1V")).toDouble(), d.w1InputV);
        ASSERT_TRUE(o.value(QStringLiteral("alarms")).isArray());
        EXPECT_TRUE(o.value(QStringLiteral("alarms")).toArray().isEmpty());
    }
}

TEST(CliMonitor, SigintAndSigtermEndItCleanly)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    for (const int sig : {SIGINT, SIGTERM}) {
        QProcess p;
        p.start(binary("kadex-cli"), {QStringLiteral("--simulate"), QStringLiteral("--json"), QStringLiteral("monitor")});
        ASSERT_TRUE(p.waitForStarted(10000));
        const QString first = readLine(p);
        ASSERT_TRUE(first.contains(QStringLiteral("\"answering\":true"))) << first.toStdString();
        ::kill(static_cast<pid_t>(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(20000)) << "signal " << sig;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "signal " << sig;
        EXPECT_EQ(p.exitCode(), 0) << "signal " << sig;
        // Whatever came after the first sample is whole lines of JSON.
        const QString rest = QString::fromUtf8(p.readAllStandardOutput());
        for (const QString& l : rest.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            parseObject(l);
    }
}

TEST(CliUsage, BadArgumentsOfReadAndMonitorAreUsageErrors)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const QString sim = QStringLiteral("--simulate");
    for (const QStringList& args :
         {QStringList{sim, QStringLiteral("read"), QStringLiteral("extra")},
          QStringList{sim, QStringLiteral("monitor"), QStringLiteral("--count")},
          QStringList{sim, QStringLiteral("monitor"), QStringLiteral("--count"), QStringLiteral("0")},
          QStringList{sim, QStringLiteral("monitor"), QStringLiteral("--count"), QStringLiteral("two")},
          QStringList{sim, QStringLiteral("monitor"), QStringLiteral("--json")},
          QStringList{sim, QStringLiteral("monitr")}, QStringList{sim}}) {
        const Result r = runCli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString() << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("kadex-cli --help"))) << r.err.toStdString();
    }
    const Result help = runCli({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("\n  read "))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("\n  monitor [--count N]"))) << help.out.toStdString();
}

TEST(CliUsage, MonitorOnAPortThatCannotBeOpened)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const Result r = runCli({QStringLiteral("--port"), QStringLiteral("/nonexistent/tty"), QStringLiteral("monitor")});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("kadex-cli: cannot open /nonexistent/tty: no such device"));
}

TEST(CliUsage, PortErrorsAreEnglishAndNameThePort)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    // A file that is no terminal, and Com9 (/dev/ttyS8), which rarely exists: whatever the
    // reason, the message is English and names the device.
    for (const QStringList& args : {QStringList{QStringLiteral("--port"), QStringLiteral("/dev/null"), QStringLiteral("identify")},
                                    QStringList{QStringLiteral("--com"), QStringLiteral("40"), QStringLiteral("read")}}) {
        const Result r = runCli(args);
        EXPECT_EQ(r.exitCode, 3) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("kadex-cli: cannot open /dev/"))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("Schnittstelle"))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("nicht"))) << r.err.toStdString();
    }
}

// ------------------------------------------------------------------------------ kadex-sim

namespace {

QString simCommand(QProcess& sim, const QString& line)
{
    sim.write(line.toUtf8() + '\n');
    sim.waitForBytesWritten(5000);
    return readLine(sim);
}

} // namespace

TEST(CliEndToEnd, ReadAgainstKadexSimOnAPseudoTerminal)
{
    if (!cliBuilt() || !QFileInfo::exists(binary("kadex-sim")))
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    // Two controllers with the same stored levels; only the one whose firmware keeps V'min as a
    // share of V'max shows it converted.
    QProcess sim;
    sim.start(binary("kadex-sim"), {QStringLiteral("--controllers"), QStringLiteral("2"), QStringLiteral("--firmware"),
                                    QStringLiteral("1=0220")});
    ASSERT_TRUE(sim.waitForStarted(10000));
    const QString first = readLine(sim);
    ASSERT_TRUE(first.startsWith(QStringLiteral("PTY /dev/"))) << first.toStdString();
    const QString port = first.mid(4);

    // V'min 50.00 % (as stored), V'mid 50.00 %, V'max 80.00 %; V'nom 400; a position text.
    for (const char* slot : {"1", "2"}) {
        EXPECT_TRUE(simCommand(sim, QStringLiteral("poke %1 0200 13 88 13 88 1F 40").arg(QLatin1String(slot)))
                        .startsWith(QStringLiteral("OK")));
        EXPECT_TRUE(simCommand(sim, QStringLiteral("poke %1 0032 01 90").arg(QLatin1String(slot))).startsWith(QStringLiteral("OK")));
        EXPECT_TRUE(simCommand(sim, QStringLiteral("poke %1 0080 52 61 75 6D 20 34 2E 31 32 20 20 20 20 20 20 20")
                                        .arg(QLatin1String(slot)))
                        .startsWith(QStringLiteral("OK"))); // "Raum 4.12", blank-filled
    }
    // Controller 1 in a forced mode and with one lost answer on the way.
    EXPECT_EQ(simCommand(sim, QStringLiteral("mode 1 3")), QStringLiteral("OK mode 3"));
    EXPECT_EQ(simCommand(sim, QStringLiteral("fault 1 noanswer 1")), QStringLiteral("OK fault noanswer on 1"));

    Result r = runCli({QStringLiteral("--port"), port, QStringLiteral("--address"), QStringLiteral("ZB1"),
                       QStringLiteral("--json"), QStringLiteral("read")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonObject o = parseObject(r.out);
    EXPECT_EQ(o.value(QStringLiteral("firmware")).toString(), QStringLiteral("0220"));
    EXPECT_EQ(o.value(QStringLiteral("vnomM3h")).toDouble(), 400);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("vminPercent")).toDouble(), 40.0); // 50 % of V'max
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("vmidPercent")).toDouble(), 50.0);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("vmaxPercent")).toDouble(), 80.0);
    EXPECT_EQ(o.value(QStringLiteral("positionText")).toString(), QStringLiteral("Raum 4.12"));
    // The identification released the forced mode on the controller itself.
    EXPECT_EQ(simCommand(sim, QStringLiteral("status")), QStringLiteral("OK"));
    const QString s1 = readLine(sim), s2 = readLine(sim);
    EXPECT_TRUE(s1.startsWith(QStringLiteral("1 ")) && s1.contains(QStringLiteral(" mode 0 "))) << s1.toStdString();
    EXPECT_TRUE(s2.startsWith(QStringLiteral("2 "))) << s2.toStdString();

    r = runCli({QStringLiteral("--port"), port, QStringLiteral("--address"), QStringLiteral("ZB2"), QStringLiteral("read")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.lines().contains(QStringLiteral("Firmware: 0308"))) << r.out.toStdString();
    EXPECT_TRUE(r.lines().contains(QStringLiteral("V'nom: 400 m³/h"))) << r.out.toStdString();
    EXPECT_TRUE(r.lines().contains(QStringLiteral("V'min: 50.00 %"))) << r.out.toStdString();
    EXPECT_TRUE(r.lines().contains(QStringLiteral("V'max: 80.00 %"))) << r.out.toStdString();
    EXPECT_TRUE(r.lines().contains(QStringLiteral("Position text: Raum 4.12"))) << r.out.toStdString();

    // Nobody at the address: read and monitor both end with 4; monitor says so per sample.
    r = runCli({QStringLiteral("--port"), port, QStringLiteral("--address"), QStringLiteral("ZB5"), QStringLiteral("read")});
    EXPECT_EQ(r.exitCode, 4) << r.out.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    r = runCli({QStringLiteral("--port"), port, QStringLiteral("--address"), QStringLiteral("ZB5"),
                QStringLiteral("monitor"), QStringLiteral("--count"), QStringLiteral("1")});
    EXPECT_EQ(r.exitCode, 4) << r.out.toStdString();
    ASSERT_EQ(r.lines().size(), 1) << r.out.toStdString();
    EXPECT_TRUE(r.lines()[0].endsWith(QStringLiteral("the controller at ZB5 does not answer"))) << r.out.toStdString();

    EXPECT_EQ(simCommand(sim, QStringLiteral("quit")), QStringLiteral("OK bye"));
    ASSERT_TRUE(sim.waitForFinished(10000));
}

TEST(CliEndToEnd, MonitorWaitsForALostPortAndGoesOn)
{
    if (!cliBuilt() || !QFileInfo::exists(binary("kadex-sim")))
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyKadex"));
    QProcess sim;
    sim.start(binary("kadex-sim"), {QStringLiteral("--link"), link});
    ASSERT_TRUE(sim.waitForStarted(10000));
    ASSERT_EQ(readLine(sim), QStringLiteral("PTY ") + link);

    QProcess mon;
    mon.start(binary("kadex-cli"), {QStringLiteral("--port"), link, QStringLiteral("--json"), QStringLiteral("monitor")});
    ASSERT_TRUE(mon.waitForStarted(10000));
    ASSERT_TRUE(readLine(mon).contains(QStringLiteral("\"answering\":true")));

    // Pulled: one line names the lost port, well before the next sample would be due.
    EXPECT_EQ(simCommand(sim, QStringLiteral("unplug")), QStringLiteral("OK unplugged"));
    const auto pulled = Clock::now();
    QString line = readLine(mon, 10000);
    const auto noticedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pulled).count();
    const QJsonObject lost = parseObject(line);
    EXPECT_EQ(lost.value(QStringLiteral("portLost")).toString(), link) << line.toStdString();
    EXPECT_FALSE(lost.value(QStringLiteral("answering")).toBool());
    EXPECT_LT(noticedMs, 1900) << "noticed by the next poll, not by the port's error";

    // Nothing while it is gone.
    mon.waitForReadyRead(2500);
    EXPECT_FALSE(mon.canReadLine()) << mon.peek(200).toStdString();

    // Plugged in again at the same path: the monitor reopens it and samples again, and the
    // simulator sees the connect and then the polling telegrams.
    auto telegrams = [&] {
        const QString r = simCommand(sim, QStringLiteral("record 1"));
        readLine(sim);
        return r.section(QLatin1Char(' '), 1, 1).toInt();
    };
    const int beforePlug = telegrams();
    ASSERT_TRUE(simCommand(sim, QStringLiteral("plug")).startsWith(QStringLiteral("OK plugged /dev/")));
    line = readLine(mon, 15000);
    EXPECT_TRUE(parseObject(line).value(QStringLiteral("answering")).toBool()) << line.toStdString();
    const int afterConnect = telegrams();
    EXPECT_GT(afterConnect, beforePlug + 3);
    line = readLine(mon, 15000);
    EXPECT_TRUE(parseObject(line).value(QStringLiteral("answering")).toBool()) << line.toStdString();
    EXPECT_GT(telegrams(), afterConnect);

    ::kill(static_cast<pid_t>(mon.processId()), SIGTERM);
    ASSERT_TRUE(mon.waitForFinished(20000));
    EXPECT_EQ(mon.exitCode(), 0);
    const QString errText = QString::fromUtf8(mon.readAllStandardError());
    EXPECT_TRUE(errText.contains(QStringLiteral("kadex-cli: lost the port ") + link)) << errText.toStdString();
    EXPECT_TRUE(errText.contains(QStringLiteral("kadex-cli: the port ") + link + QStringLiteral(" is back")))
        << errText.toStdString();

    // Ended while the port is gone: a port error.
    mon.start(binary("kadex-cli"), {QStringLiteral("--port"), link, QStringLiteral("monitor")});
    ASSERT_TRUE(mon.waitForStarted(10000));
    ASSERT_TRUE(readLine(mon).startsWith(QStringLiteral("Controller ")));
    EXPECT_EQ(simCommand(sim, QStringLiteral("unplug")), QStringLiteral("OK unplugged"));
    line = readLine(mon, 10000);
    EXPECT_TRUE(line.endsWith(QStringLiteral(" the port ") + link + QStringLiteral(" is gone"))) << line.toStdString();
    ::kill(static_cast<pid_t>(mon.processId()), SIGINT);
    ASSERT_TRUE(mon.waitForFinished(20000));
    EXPECT_EQ(mon.exitCode(), 3);
    EXPECT_FALSE(QFileInfo::exists(link));

    // A port that hangs up in the middle of a command is a port error, not a silent controller.
    ASSERT_TRUE(simCommand(sim, QStringLiteral("plug")).startsWith(QStringLiteral("OK plugged")));
    EXPECT_TRUE(simCommand(sim, QStringLiteral("fault 1 hangup 1")).startsWith(QStringLiteral("OK")));
    const Result r = runCli({QStringLiteral("--port"), link, QStringLiteral("identify")});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("kadex-cli: lost the port ") + link + QStringLiteral(" (the device went away)"));

    EXPECT_EQ(simCommand(sim, QStringLiteral("quit")), QStringLiteral("OK bye"));
    ASSERT_TRUE(sim.waitForFinished(10000));
}
