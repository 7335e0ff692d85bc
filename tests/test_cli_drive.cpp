// kadex-cli drive against kadex-sim on a pseudo-terminal: the simulator's telegram record shows
// the mode in every cycle and the release at the end; bad modes and setpoints are refused.
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

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
    bool start()
    {
        proc.start(binary("kadex-sim"), {});
        if (!proc.waitForStarted(10000))
            return false;
        const QString first = readLine(proc);
        if (!first.startsWith(QStringLiteral("PTY /dev/")))
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

    QProcess proc;
    QString port;
};

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
