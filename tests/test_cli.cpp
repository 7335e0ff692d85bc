// The kadex-cli program's "read" and "monitor" commands and the command lines of the three
// programs: run as separate processes against the built-in simulated controller and, end to
// end, against kadex-sim on a pseudo-terminal.
#include "comm/ComForm.h"
#include "common/CommandLine.h"
#include "common/SingleInstance.h"
#include "common/ToolArguments.h"
#include "common/Version.h"
#include "sim/Controller.h"
#include "tests/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

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

namespace {

// Typical German words and the umlauts: none may appear in what the argument handling says.
const QRegularExpression kGerman(QStringLiteral(R"([äöüÄÖÜß]|\b(nicht|Kann|kann|Fehler|ungültig|unbekannt|oder)\b)"));

const QString kRateList = QStringLiteral("300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200");

struct ArgCase {
    QStringList args;
    int exitCode;
    QString expect; // in stderr for a usage or port error, else in stdout
    bool jsonOut = false;
};

// The long option names listed at the start of the help's (or README table's) lines.
QStringList optionNames(const QStringList& lines, const QRegularExpression& lineStart)
{
    static const QRegularExpression name(QStringLiteral(R"(--[a-z][a-z-]*)"));
    QStringList names;
    for (const QString& l : lines) {
        const QRegularExpressionMatch m = lineStart.match(l);
        if (!m.hasMatch())
            continue;
        for (auto it = name.globalMatch(m.captured(1)); it.hasNext();)
            names << it.next().captured(0);
    }
    names.removeDuplicates();
    names.sort();
    return names;
}

// The lines of the README section "### <program>".
QStringList readmeSection(const QString& program)
{
    QFile f(QStringLiteral(KADEX_SOURCE_DIR "/README.md"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList all = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    QStringList section;
    bool in = false;
    for (const QString& l : all) {
        if (l.startsWith(QLatin1String("### ")) || l.startsWith(QLatin1String("## ")))
            in = l == QStringLiteral("### ") + program;
        else if (in)
            section << l;
    }
    return section;
}

// The options of a program's --help agree with its README table: "  -h, --help  ..." lines
// against "| `-h, --help` | ..." rows.
void expectHelpMatchesReadme(const QString& program, const QString& help)
{
    const QStringList fromHelp = optionNames(help.split(QLatin1Char('\n')),
                                             QRegularExpression(QStringLiteral(R"(^  ((?:-\w, )?--[a-z][a-z-]*))")));
    const QStringList fromReadme
        = optionNames(readmeSection(program), QRegularExpression(QStringLiteral(R"(^\| `([^`]*)` \|)")));
    EXPECT_FALSE(fromHelp.isEmpty()) << help.toStdString();
    EXPECT_EQ(fromHelp, fromReadme) << program.toStdString() << " --help: " << fromHelp.join(' ').toStdString()
                                    << "\nREADME: " << fromReadme.join(' ').toStdString();
}

} // namespace

TEST(CliUsage, OptionsAnywhereStrayWordsAndUnknownOptionsRefused)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const QString sim = QStringLiteral("--simulate"), json = QStringLiteral("--json");
    const QString serial = QStringLiteral("Serial number: ");
    const QList<ArgCase> cases{
        // Options before, after and around the command all take effect.
        {{sim, QStringLiteral("identify"), json}, 0, QStringLiteral("serialNumber"), true},
        {{json, QStringLiteral("identify"), sim}, 0, QStringLiteral("serialNumber"), true},
        {{QStringLiteral("read"), sim, json}, 0, QStringLiteral("vnomM3h"), true},
        {{sim, QStringLiteral("raw"), QStringLiteral("4B"), json}, 0, QStringLiteral("answer"), true},
        {{QStringLiteral("--count"), QStringLiteral("1"), sim, QStringLiteral("monitor"), json}, 0,
         QStringLiteral("answering"), true},
        {{sim, QStringLiteral("identify"), QStringLiteral("--address=PP"), QStringLiteral("--trace")}, 0, serial},
        {{sim, QStringLiteral("--baud"), QStringLiteral("9600"), QStringLiteral("identify")}, 0, serial},
        {{QStringLiteral("identify"), QStringLiteral("--baud=115200"), sim}, 0, serial},
        {{QStringLiteral("identify"), QStringLiteral("--help")}, 0, QStringLiteral("Usage: kadex-cli")},
        {{QStringLiteral("--version")}, 0, QStringLiteral("kadex-cli ") + QLatin1String(VersionString()) + QLatin1Char('\n')},
        // Rates that are not on the list.
        {{sim, QStringLiteral("--baud"), QStringLiteral("1234"), QStringLiteral("identify")}, 2, kRateList},
        {{sim, QStringLiteral("identify"), QStringLiteral("--baud"), QStringLiteral("38400.0")}, 2, kRateList},
        {{sim, QStringLiteral("--baud"), QStringLiteral("fast"), QStringLiteral("read")}, 2, kRateList},
        {{sim, QStringLiteral("--baud"), QStringLiteral("0"), QStringLiteral("read")}, 2, kRateList},
        // Stray words.
        {{sim, QStringLiteral("identify"), QStringLiteral("extra")}, 2, QStringLiteral("identify takes no arguments (got 'extra')")},
        {{sim, QStringLiteral("read"), QStringLiteral("extra")}, 2, QStringLiteral("read takes no arguments")},
        {{sim, QStringLiteral("monitor"), QStringLiteral("5")}, 2, QStringLiteral("monitor takes no arguments")},
        {{sim, QStringLiteral("raw")}, 2, QStringLiteral("raw needs arguments")},
        {{sim, QStringLiteral("raw"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
          QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")},
         2, QStringLiteral("too many arguments for raw")},
        {{sim, QStringLiteral("raw"), QStringLiteral("4G")}, 2, QStringLiteral("'4G' is not a byte in hex")},
        {{sim, QStringLiteral("--"), QStringLiteral("identify"), json}, 2, QStringLiteral("(got '--json')")},
        {{sim}, 2, QStringLiteral("no command given")},
        {{sim, QStringLiteral("monitr")}, 2, QStringLiteral("unknown command 'monitr'")},
        // Unknown options, wherever they are.
        {{QStringLiteral("--bogus"), sim, QStringLiteral("identify")}, 2, QStringLiteral("unknown option '--bogus'")},
        {{sim, QStringLiteral("identify"), QStringLiteral("-x")}, 2, QStringLiteral("unknown option '-x'")},
        {{sim, QStringLiteral("read"), QStringLiteral("--jsn")}, 2, QStringLiteral("unknown option '--jsn'")},
        {{sim, QStringLiteral("--json=yes"), QStringLiteral("read")}, 2, QStringLiteral("--json")},
        // Option values.
        {{sim, QStringLiteral("monitor"), QStringLiteral("--count")}, 2, QStringLiteral("missing value after '--count'")},
        {{sim, QStringLiteral("monitor"), QStringLiteral("--count"), QStringLiteral("0")}, 2, QStringLiteral("--count needs")},
        {{sim, QStringLiteral("monitor"), QStringLiteral("--count"), QStringLiteral("two")}, 2, QStringLiteral("--count needs")},
        {{sim, QStringLiteral("read"), QStringLiteral("--count"), QStringLiteral("2")}, 2, QStringLiteral("--count is for monitor and drive only")},
        {{sim, QStringLiteral("--address"), QStringLiteral("ZB9"), QStringLiteral("identify")}, 2, QStringLiteral("--address takes PP or ZB1..ZB8")},
        {{QStringLiteral("--com"), QStringLiteral("0"), QStringLiteral("identify")}, 2, QStringLiteral("/dev/ttyS(N-1)")},
        {{QStringLiteral("--port"), QString(), QStringLiteral("identify")}, 2, QStringLiteral("--port needs a device path")},
        {{QStringLiteral("--com"), QStringLiteral("2"), QStringLiteral("--port"), QStringLiteral("/dev/null"),
          QStringLiteral("identify")},
         2, QStringLiteral("exclude each other")},
        {{sim, QStringLiteral("--port"), QStringLiteral("/dev/null"), QStringLiteral("read")}, 2, QStringLiteral("exclude each other")},
        // A port that cannot be opened is named by its path, --com by the device it means.
        {{QStringLiteral("--com"), QStringLiteral("200"), QStringLiteral("identify")}, 3,
         QStringLiteral("cannot open /dev/ttyS199 (--com 200)")},
        {{QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("/nonexistent/tty")}, 3,
         QStringLiteral("cannot open /nonexistent/tty")},
        {{QStringLiteral("--com"), QStringLiteral("200"), QStringLiteral("monitor")}, 3,
         QStringLiteral("cannot open /dev/ttyS199 (--com 200)")},
    };
    for (const ArgCase& c : cases) {
        const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
        const Result r = runCli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << r.err.toStdString();
        if (c.exitCode == 0) {
            EXPECT_TRUE(r.out.contains(c.expect)) << what << ": " << r.out.toStdString();
            if (c.jsonOut)
                parseObject(r.out); // monitor --count 1: a single line
            continue;
        }
        EXPECT_TRUE(r.out.isEmpty()) << what << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("kadex-cli: "))) << what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.expect)) << what << ": " << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(kGerman)) << what << ": " << r.err.toStdString();
        if (c.exitCode == 2) {
            EXPECT_TRUE(r.err.endsWith(QStringLiteral("Try 'kadex-cli --help'.\n"))) << what << ": " << r.err.toStdString();
        }
    }
}

TEST(CliUsage, HelpListsEveryOptionAsTheReadmeDoes)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kadex-cli is not built";
    const Result help = runCli({QStringLiteral("--help")});
    ASSERT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.err.isEmpty());
    EXPECT_FALSE(help.out.contains(kGerman)) << help.out.toStdString();
    for (const char* o : {"--port PATH", "--com N ", "/dev/ttyS(N-1)", "--baud RATE", "--address ADDR", "--simulate",
                          "--json", "--trace", "--count N", "-h, --help", "--version"})
        EXPECT_TRUE(help.out.contains(QLatin1String(o))) << o;
    for (const char* c : {"\n  identify ", "\n  read ", "\n  monitor [--count N]", "\n  drive MODE [PERCENT]", "\n  raw BYTE..."})
        EXPECT_TRUE(help.out.contains(QLatin1String(c))) << c;
    // Every listed rate, and the exit codes.
    for (const QString& rate : kRateList.split(QStringLiteral(", ")))
        EXPECT_TRUE(help.out.contains(QLatin1Char(' ') + rate)) << rate.toStdString();
    for (const char* code : {"0 success", "2 usage error", "3 the port cannot be opened", "4 the controller"})
        EXPECT_TRUE(help.out.contains(QLatin1String(code))) << code;
    expectHelpMatchesReadme(QStringLiteral("kadex-cli"), help.out);
}

TEST(SimUsage, HelpListsEveryOptionAsTheReadmeDoes)
{
    if (!QFileInfo::exists(binary("kadex-sim")))
        GTEST_SKIP() << "kadex-sim is not built";
    QProcess p;
    p.start(binary("kadex-sim"), {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_FALSE(text.contains(kGerman)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Exit status: 0 ")));
    expectHelpMatchesReadme(QStringLiteral("kadex-sim"), text);
}

TEST(ToolUsage, BadOptionEndsBeforeTheSingleInstanceLock)
{
    const QString exe = binary("kadex-tool");
    if (!QFileInfo::exists(exe))
        GTEST_SKIP() << "kadex-tool is not built";
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    SingleInstanceLock held; // as if another instance ran: a late check would end with 1
    ASSERT_TRUE(held.TryAcquire());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    const QList<std::pair<QStringList, QString>> bad{
        {{QStringLiteral("--bogus")}, QStringLiteral("unknown option '--bogus'")},
        {{QStringLiteral("--simulate"), QStringLiteral("extra")}, QStringLiteral("unexpected argument 'extra'")},
        {{QStringLiteral("--port")}, QStringLiteral("missing value after '--port'")},
        {{QStringLiteral("-platform")}, QStringLiteral("missing value after '-platform'")},
    };
    for (const auto& [args, message] : bad) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(exe, args);
        ASSERT_TRUE(p.waitForFinished(20000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString() << ": " << err.toStdString();
        EXPECT_TRUE(err.startsWith(QStringLiteral("kadex-tool: ") + message)) << err.toStdString();
        EXPECT_TRUE(err.endsWith(QStringLiteral("\nTry 'kadex-tool --help'.\n"))) << err.toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    }
    QProcess help;
    help.setProcessEnvironment(env);
    help.start(exe, {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(20000));
    EXPECT_EQ(help.exitCode(), 0);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    EXPECT_FALSE(text.contains(kGerman)) << text.toStdString();
    expectHelpMatchesReadme(QStringLiteral("kadex-tool"), text);
    qunsetenv("XDG_RUNTIME_DIR");
}

TEST(ToolUsage, ParserTakesItsOptionsAnywhereAndPassesQtsOwnOn)
{
    struct Case {
        QStringList args;
        bool ok;
        QString port;
        bool simulate;
    };
    const QString p = QStringLiteral("--port"), tty = QStringLiteral("/dev/ttyUSB0"), s = QStringLiteral("--simulate");
    const QList<Case> cases{
        {{}, true, {}, false},
        {{s}, true, {}, true},
        {{p, tty, s}, true, tty, true},
        {{QStringLiteral("--port=/dev/ttyUSB0")}, true, tty, false},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), s, QStringLiteral("-style"), QStringLiteral("Fusion")}, true, {}, true},
        {{QStringLiteral("-platform=offscreen"), s}, true, {}, true},
        // The pictures for the documentation are another program's business.
        {{s, QStringLiteral("--screenshot-dir"), QStringLiteral("/tmp/x")}, false, {}, false},
        {{p, QStringLiteral("  ")}, false, {}, false},
        {{QStringLiteral("offscreen")}, false, {}, false},
        {{QStringLiteral("--simulat")}, false, {}, false},
        {{QStringLiteral("-s")}, false, {}, false},
        {{s, QStringLiteral("--"), QStringLiteral("--port")}, false, {}, false},
    };
    for (const Case& c : cases) {
        ToolArguments a;
        QString error;
        const bool ok = ParseToolArguments(QStringList{QStringLiteral("kadex-tool")} + c.args, a, error);
        const std::string what = c.args.join(' ').toStdString();
        ASSERT_EQ(ok, c.ok) << what << ": " << error.toStdString();
        if (!ok) {
            EXPECT_FALSE(error.isEmpty()) << what;
            EXPECT_FALSE(error.contains(kGerman)) << what;
            continue;
        }
        EXPECT_EQ(a.portPath, c.port) << what;
        EXPECT_EQ(a.simulate, c.simulate) << what;
    }
    ToolArguments a;
    QString error;
    ASSERT_TRUE(ParseToolArguments({QStringLiteral("kadex-tool"), QStringLiteral("-h")}, a, error));
    EXPECT_TRUE(a.help);
    ASSERT_TRUE(ParseToolArguments({QStringLiteral("kadex-tool"), QStringLiteral("--version")}, a, error));
    EXPECT_TRUE(a.version && !a.help);
}

TEST(CommandLine, BaudListIsWhatTheLinkRunsAt)
{
    // Exactly the rates the link keeps as they are are accepted; every other number is refused
    // with the list, instead of silently running at 1200.
    int accepted = 0;
    for (int rate = 0; rate <= 120000; ++rate) {
        int baud = -1;
        QString error;
        const bool ok = cmdline::ParseBaud(QString::number(rate), baud, error);
        const bool listed = rate > 0 && TComForm::MapBaudRate(rate) == rate;
        ASSERT_EQ(ok, listed) << rate;
        if (ok) {
            ++accepted;
            EXPECT_EQ(baud, rate);
        } else {
            ASSERT_TRUE(error.contains(cmdline::BaudRateList())) << error.toStdString();
        }
    }
    EXPECT_EQ(accepted, cmdline::BaudRates().size());
}

TEST(CommandLine, CommandWordAndItsArgumentCount)
{
    const QList<cmdline::Command> commands{{QStringLiteral("go"), 0, 0, QString()},
                                           {QStringLiteral("put"), 1, 2, QStringLiteral("A [B]")}};
    struct Case {
        QStringList words;
        QString command; // empty: refused
        int args;
        const char* message;
    };
    for (const Case& c : QList<Case>{{{}, {}, 0, "no command given"},
                                     {{QStringLiteral("go")}, QStringLiteral("go"), 0, ""},
                                     {{QStringLiteral("go"), QStringLiteral("x")}, {}, 0, "go takes no arguments (got 'x')"},
                                     {{QStringLiteral("put")}, {}, 0, "put needs arguments: put A [B]"},
                                     {{QStringLiteral("put"), QStringLiteral("a")}, QStringLiteral("put"), 1, ""},
                                     {{QStringLiteral("put"), QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("put"), 2, ""},
                                     {{QStringLiteral("put"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, {}, 0,
                                      "too many arguments for put (got 3)"},
                                     {{QStringLiteral("Go")}, {}, 0, "unknown command 'Go' (commands: go, put)"}}) {
        QString command, error;
        QStringList args;
        const bool ok = cmdline::TakeCommand(c.words, commands, command, args, error);
        EXPECT_EQ(ok, !c.command.isEmpty()) << c.words.join(' ').toStdString();
        if (ok) {
            EXPECT_EQ(command, c.command);
            EXPECT_EQ(args.size(), c.args);
        } else {
            EXPECT_TRUE(error.startsWith(QLatin1String(c.message))) << error.toStdString();
        }
    }
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
    // The message says why the last telegram failed.
    EXPECT_TRUE(r.err.contains(QStringLiteral("the controller at ZB5 does not answer or answers badly (no answer)")))
        << r.err.toStdString();
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
