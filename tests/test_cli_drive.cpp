// kadex-cli drive against kadex-sim on a pseudo-terminal: the simulator's telegram record shows
// the mode in every cycle and the release at the end, whatever ends the run (every catchable
// signal, a closed output, a lost port); bad modes and setpoints are refused. The identification
// of the device commands, interrupted, leaves no motor stop behind.
#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

QString binary(const char* name)
{
    return QStringLiteral(KADEX_BIN_DIR "/") + QLatin1String(name);
}

QString readLine(QProcess& p, int timeoutMs = 20000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!p.canReadLine() && Clock::now() < deadline)
        p.waitForReadyRead(100);
    return p.canReadLine() ? QString::fromUtf8(p.readLine()).trimmed() : QString();
}

QString simCommand(QProcess& sim, const QString& line)
{
    sim.write(line.toUtf8() + '\n');
    sim.waitForBytesWritten(5000);
    return readLine(sim);
}

struct CliRun {
    int exitCode = -1;
    QStringList lines;
    QString err;
};

CliRun runCli(const QStringList& args)
{
    QProcess p;
    p.start(binary("kadex-cli"), args);
    CliRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The simulator, started on a pseudo-terminal; its override and setpoint telegrams as
// "0E 03" / "25 FF FF" (command and data, without address and check byte).
class SimOnPty {
public:
    bool start(const QStringList& args = {})
    {
        proc.start(binary("kadex-sim"), args);
        if (!proc.waitForStarted(10000))
            return false;
        const QString first = readLine(proc);
        if (!first.startsWith(QStringLiteral("PTY /")))
            return false;
        port = first.mid(4);
        return true;
    }
    ~SimOnPty()
    {
        if (proc.state() != QProcess::NotRunning) {
            simCommand(proc, QStringLiteral("quit"));
            if (!proc.waitForFinished(5000))
                proc.kill();
        }
    }
    QStringList modeTelegrams()
    {
        const QString head = simCommand(proc, QStringLiteral("record 100000"));
        const int n = head.section(QLatin1Char(' '), 1, 1).toInt();
        static const QRegularExpression bytes(QStringLiteral(R"(\[([0-9A-F ]+)\])"));
        QStringList out;
        for (int i = 0; i < n; ++i) {
            const QRegularExpressionMatch m = bytes.match(readLine(proc));
            if (!m.hasMatch())
                continue;
            const QStringList b = m.captured(1).split(QLatin1Char(' '));
            if (b.size() >= 4 && b[1] == QLatin1String("0E"))
                out << b.mid(1, 2).join(QLatin1Char(' '));
            else if (b.size() >= 5 && b[1] == QLatin1String("25"))
                out << b.mid(1, 3).join(QLatin1Char(' '));
        }
        return out;
    }

    // How many telegrams the simulator has seen so far.
    int telegramCount()
    {
        const QString head = simCommand(proc, QStringLiteral("record 1"));
        const int n = head.section(QLatin1Char(' '), 1, 1).toInt();
        if (n > 0)
            readLine(proc);
        return n;
    }

    // Mode and setpoint of controller 1 as the simulator holds them ("mode 0 ... setpoint FFFF").
    QString modeAndSetpoint()
    {
        if (simCommand(proc, QStringLiteral("status")) != QLatin1String("OK"))
            return QStringLiteral("?");
        static const QRegularExpression re(QStringLiteral(R"(mode (\d+) .* setpoint ([0-9A-F]{4}))"));
        const QRegularExpressionMatch m = re.match(readLine(proc));
        return m.hasMatch() ? QStringLiteral("mode %1 setpoint %2").arg(m.captured(1), m.captured(2)) : QStringLiteral("?");
    }

    QProcess proc;
    QString port;
};

const QString kReleased = QStringLiteral("mode 0 setpoint FFFF");

bool built()
{
    return QFileInfo::exists(binary("kadex-cli")) && QFileInfo::exists(binary("kadex-sim"));
}

} // namespace

TEST(CliDrive, HoldsTheModeEachCycleAndReleasesItAtTheEnd)
{
    if (!built())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    const QString release0 = QStringLiteral("0E 00"), releaseSet = QStringLiteral("25 FF FF");
    const struct {
        QStringList args;
        QStringList perCycle;
        const char* word;
    } cases[] = {
        {{QStringLiteral("vmax")}, {QStringLiteral("0E 03")}, "vmax"},
        {{QStringLiteral("variable"), QStringLiteral("40")}, {QStringLiteral("0E 00"), QStringLiteral("25 0F A0")}, "variable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        SimOnPty sim;
        ASSERT_TRUE(sim.start());
        const CliRun r = runCli(QStringList{QStringLiteral("--port"), sim.port, QStringLiteral("drive")} + c.args
                             + QStringList{QStringLiteral("--count"), QStringLiteral("2")});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        ASSERT_EQ(r.lines.size(), 2) << r.lines.join('\n').toStdString();
        for (const QString& line : r.lines)
            EXPECT_TRUE(line.contains(QStringLiteral(" %1 | ").arg(QLatin1String(c.word)))) << line.toStdString();
        const QStringList sent = sim.modeTelegrams();
        // Two cycles of the mode, then the release, and nothing after it.
        const QStringList tail = c.perCycle + c.perCycle + QStringList{release0, releaseSet};
        ASSERT_GE(sent.size(), tail.size()) << sent.join(" | ").toStdString();
        EXPECT_EQ(sent.mid(sent.size() - tail.size()), tail) << sent.join(" | ").toStdString();
        EXPECT_EQ(sent.count(c.perCycle.last()), 2) << sent.join(" | ").toStdString();
    }
}

TEST(CliDrive, SigtermReleasesTheMode)
{
    if (!built())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    SimOnPty sim;
    ASSERT_TRUE(sim.start());
    QProcess drive;
    drive.start(binary("kadex-cli"), {QStringLiteral("--port"), sim.port, QStringLiteral("--json"), QStringLiteral("drive"),
                                      QStringLiteral("close")});
    ASSERT_TRUE(drive.waitForStarted(10000));
    const QString first = readLine(drive);
    EXPECT_TRUE(first.contains(QStringLiteral("\"mode\":\"close\""))) << first.toStdString();
    ::kill(static_cast<pid_t>(drive.processId()), SIGTERM);
    ASSERT_TRUE(drive.waitForFinished(20000));
    EXPECT_EQ(drive.exitCode(), 0);
    const QStringList sent = sim.modeTelegrams();
    ASSERT_GE(sent.size(), 3);
    EXPECT_EQ(sent.mid(sent.size() - 3), (QStringList{QStringLiteral("0E 02"), QStringLiteral("0E 00"), QStringLiteral("25 FF FF")}))
        << sent.join(" | ").toStdString();
}

TEST(CliDrive, BadModeOrSetpointIsAUsageError)
{
    if (!QFileInfo::exists(binary("kadex-cli")))
        GTEST_SKIP() << "kadex-cli is not built";
    const QStringList bad[] = {
        {QStringLiteral("drive"), QStringLiteral("sideways")},
        {QStringLiteral("drive"), QStringLiteral("variable")},
        {QStringLiteral("drive"), QStringLiteral("variable"), QStringLiteral("100.5")},
        {QStringLiteral("drive"), QStringLiteral("variable"), QStringLiteral("-1")},
        {QStringLiteral("drive"), QStringLiteral("variable"), QStringLiteral("forty")},
        {QStringLiteral("drive"), QStringLiteral("vmax"), QStringLiteral("40")},
        {QStringLiteral("drive")},
        {QStringLiteral("--count"), QStringLiteral("0"), QStringLiteral("drive"), QStringLiteral("vmax")},
    };
    for (const QStringList& args : bad) {
        const CliRun r = runCli(QStringList{QStringLiteral("--simulate")} + args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.lines.isEmpty()) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("kadex-cli: "))) << r.err.toStdString();
    }
}

TEST(CliDrive, EveryCatchableSignalAndAClosedOutputReleaseTheMode)
{
    if (!built())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    const struct {
        int signal; // 0: the reader of the output goes away (kadex-cli --json drive vmax | head -n 1)
        QStringList mode;
    } cases[] = {
        {SIGINT, {QStringLiteral("vmax")}},  {SIGTERM, {QStringLiteral("variable"), QStringLiteral("40")}},
        {SIGHUP, {QStringLiteral("variable"), QStringLiteral("40")}}, {SIGHUP, {QStringLiteral("vmax")}},
        {SIGQUIT, {QStringLiteral("vmax")}}, {SIGPIPE, {QStringLiteral("variable"), QStringLiteral("40")}},
        {0, {QStringLiteral("vmax")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "signal " << c.signal << " " << c.mode.join(' ').toStdString());
        SimOnPty sim;
        ASSERT_TRUE(sim.start());
        const QStringList args = QStringList{QStringLiteral("--port"), sim.port, QStringLiteral("--json"),
                                             QStringLiteral("drive")} + c.mode;
        QProcess drive;
        if (c.signal)
            drive.start(binary("kadex-cli"), args);
        else // as a script runs it; the status is kadex-cli's
            drive.start(QStringLiteral("bash"), QStringList{QStringLiteral("-c"),
                                                            QStringLiteral("\"$0\" \"$@\" | head -n 1; exit ${PIPESTATUS[0]}"),
                                                            binary("kadex-cli")}
                                                    + args);
        ASSERT_TRUE(drive.waitForStarted(10000));
        ASSERT_FALSE(readLine(drive).isEmpty());
        // The forced mode is in place before the end.
        if (c.signal) {
            EXPECT_NE(sim.modeAndSetpoint(), kReleased);
            ::kill(static_cast<pid_t>(drive.processId()), c.signal);
        }
        ASSERT_TRUE(drive.waitForFinished(30000));
        EXPECT_EQ(drive.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(drive.exitCode(), 0) << drive.readAllStandardError().toStdString();
        EXPECT_EQ(sim.modeAndSetpoint(), kReleased);
    }
}

TEST(CliDrive, LostPortIsWaitedForAndTheModeReleasedWhenItIsBack)
{
    if (!built())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    const QString link = QStringLiteral("/tmp/kadex-drive-%1").arg(::getpid());
    const struct {
        bool comesBack;
        int exitCode;
    } cases[] = {{true, 3}, {false, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.comesBack ? "back" : "gone");
        SimOnPty sim;
        ASSERT_TRUE(sim.start({QStringLiteral("--link"), link}));
        QProcess drive;
        drive.start(binary("kadex-cli"), {QStringLiteral("--port"), link, QStringLiteral("--port-wait"),
                                          QLatin1String(c.comesBack ? "60" : "1"), QStringLiteral("drive"),
                                          QStringLiteral("variable"), QStringLiteral("40")});
        ASSERT_TRUE(drive.waitForStarted(10000));
        ASSERT_FALSE(readLine(drive).isEmpty());
        EXPECT_TRUE(simCommand(sim.proc, QStringLiteral("unplug")).startsWith(QStringLiteral("OK")));
        if (c.comesBack) {
            // Plugged again only once the tool waits for it.
            QString said;
            for (int i = 0; i < 200 && !said.contains(QStringLiteral("waiting up to")); ++i) {
                drive.waitForReadyRead(100);
                said += QString::fromUtf8(drive.readAllStandardError());
            }
            EXPECT_TRUE(said.contains(QStringLiteral("waiting up to 60 s"))) << said.toStdString();
            EXPECT_TRUE(simCommand(sim.proc, QStringLiteral("plug")).startsWith(QStringLiteral("OK")));
        }
        ASSERT_TRUE(drive.waitForFinished(60000));
        const QString err = QString::fromUtf8(drive.readAllStandardError());
        EXPECT_EQ(drive.exitCode(), c.exitCode) << err.toStdString();
        if (c.comesBack) {
            EXPECT_EQ(sim.modeAndSetpoint(), kReleased);
        } else {
            EXPECT_TRUE(err.contains(QStringLiteral("kadex-cli drive auto"))) << err.toStdString();
            EXPECT_NE(sim.modeAndSetpoint(), kReleased); // the port never came back: nothing got through
        }
    }
    QFile::remove(link);
}

TEST(CliRelease, InterruptedIdentificationLeavesNoMotorStop)
{
    if (!built())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    // A slow line, so that the signal falls on the identification's different telegrams.
    SimOnPty sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--wire-timing"), QStringLiteral("--baud"), QStringLiteral("1200")}));
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
    const char* commands[] = {"identify", "read", "monitor"};
    std::mt19937 rng(2026);
    int cutShort = 0;
    for (int i = 0; i < 15; ++i) {
        const int sig = signals[i % 5];
        const char* command = commands[i % 3];
        const int afterMs = static_cast<int>(rng() % 400);
        SCOPED_TRACE(testing::Message() << command << " signal " << sig << " " << afterMs << " ms after the first telegram");
        const int seen = sim.telegramCount();
        QProcess cli;
        cli.start(binary("kadex-cli"), {QStringLiteral("--port"), sim.port, QLatin1String(command)});
        ASSERT_TRUE(cli.waitForStarted(10000));
        // A telegram on the line means the program is past its start (the signals are taken by
        // then); a fixed time from the start is not, on a loaded machine.
        for (int polls = 0; polls < 2000 && sim.telegramCount() == seen && cli.state() == QProcess::Running; ++polls)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_GT(sim.telegramCount(), seen);
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
        ::kill(static_cast<pid_t>(cli.processId()), sig);
        ASSERT_TRUE(cli.waitForFinished(30000));
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
        const int rc = cli.exitCode();
        if (QLatin1String(command) == QLatin1String("monitor")) {
            EXPECT_TRUE(rc == 0 || (rc == 4 && err.contains(QStringLiteral("before the controller")))) << rc << ' ' << err.toStdString();
        } else {
            EXPECT_TRUE(rc == 0 || rc == 128 + sig) << rc << ' ' << err.toStdString();
        }
        cutShort += rc != 0;
        EXPECT_TRUE(sim.modeAndSetpoint().startsWith(QStringLiteral("mode 0 "))) << err.toStdString();
    }
    EXPECT_GT(cutShort, 0); // some signals did fall inside a run
}

TEST(CliRelease, DeviceTextsAreShownWithControlBytesEscaped)
{
    if (!built())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    SimOnPty sim;
    ASSERT_TRUE(sim.start());
    // Position text "ok\nV'max: 99\x1B[2K" padded with blanks: a forged line and a terminal escape.
    EXPECT_TRUE(simCommand(sim.proc, QStringLiteral("poke 1 0080 6F 6B 0A 56 27 6D 61 78 3A 20 39 39 1B 5B 32 4B"))
                    .startsWith(QStringLiteral("OK")));
    for (const char* command : {"read", "identify"}) {
        const CliRun r = runCli({QStringLiteral("--port"), sim.port, QLatin1String(command)});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.lines.filter(QStringLiteral("V'max")).size(), QLatin1String(command) == QLatin1String("read") ? 2 : 1);
        EXPECT_TRUE(r.lines.contains(QStringLiteral("Position text: ok\\x0AV'max: 99\\x1B[2K")))
            << r.lines.join('\n').toStdString();
        EXPECT_FALSE(r.lines.join('\n').contains(QChar(0x1B)));
    }
}
