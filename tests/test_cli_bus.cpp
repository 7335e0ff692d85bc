// kadex-cli scan and address end to end, against kadex-sim with several controllers on a
// pseudo-terminal; each controller's address code is read back from the simulator.
#include "common/TextFile.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/CliProcess.h"

#include <chrono>

namespace {

QString binary(const char* name)
{
    return QStringLiteral(KADEX_BIN_DIR "/") + QLatin1String(name);
}

using kadex::test::CliRun;

// The scan's short attempt is a real-time budget; under a loaded test machine a tenfold time
// rate would leave it a few milliseconds, so the programs here run at the real rate.
// The action log goes below a temporary data folder.
QTemporaryDir& dataHome()
{
    static QTemporaryDir dir;
    return dir;
}

QProcessEnvironment realRate()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KADEX_TIME_RATE"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome().path());
    return env;
}

// The action log's entries, newest first (the heading left off).
QStringList logEntries()
{
    QStringList lines;
    kadex::ReadTextFileLines(QDir(dataHome().filePath(QStringLiteral("Kadex_Logs")))
                                 .filePath(QDate::currentDate().toString(QStringLiteral("'Kadex_'yyyy'_'MM'.txt'"))),
                             lines);
    return lines.mid(1);
}

CliRun cli(const QStringList& args)
{
    return kadex::test::RunToEnd(binary("kadex-cli"), args, realRate());
}

QString line(QProcess& p)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!p.canReadLine() && std::chrono::steady_clock::now() < end)
        p.waitForReadyRead(100);
    return QString::fromUtf8(p.readLine()).trimmed();
}

QString sim(QProcess& p, const QString& command)
{
    p.write(command.toUtf8() + '\n');
    p.waitForBytesWritten(5000);
    return line(p);
}

} // namespace

TEST(CliBus, ScanAndAddressAgainstKadexSim)
{
    if (!QFileInfo::exists(binary("kadex-cli")) || !QFileInfo::exists(binary("kadex-sim")))
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    QProcess s;
    s.setProcessEnvironment(realRate());
    s.start(binary("kadex-sim"), {QStringLiteral("--controllers"), QStringLiteral("3")});
    ASSERT_TRUE(s.waitForStarted(10000));
    const QString first = line(s);
    ASSERT_TRUE(first.startsWith(QStringLiteral("PTY "))) << first.toStdString();
    const QString port = first.mid(4);
    const auto code = [&](int slot) { return sim(s, QStringLiteral("peek %1 000E").arg(slot)); };

    CliRun r = cli({QStringLiteral("--port"), port, QStringLiteral("--json"), QStringLiteral("scan")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray a = o.value(QStringLiteral("addresses")).toArray();
    ASSERT_EQ(a.size(), 9);
    EXPECT_EQ(o.value(QStringLiteral("found")).toInt(), 3);
    for (int i = 0; i < 9; ++i) {
        const QJsonObject e = a[i].toObject();
        EXPECT_EQ(e.value(QStringLiteral("state")).toString(),
                  i >= 1 && i <= 3 ? QStringLiteral("present") : QStringLiteral("absent")) << i;
        if (i >= 1 && i <= 3) {
            EXPECT_EQ(e.value(QStringLiteral("serialNumber")).toString(), QStringLiteral("00812-0%1-003-001").arg(4710 + i));
        }
    }

    // Button: only the pressed controller moves.
    ASSERT_TRUE(sim(s, QStringLiteral("press 2 60000")).startsWith(QStringLiteral("OK")));
    r = cli({QStringLiteral("--port"), port, QStringLiteral("address"), QStringLiteral("--button"), QStringLiteral("ZB6"),
             QStringLiteral("--timeout"), QStringLiteral("30")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Press the service button"))) << r.err.toStdString();
    sim(s, QStringLiteral("release 2"));
    EXPECT_EQ(code(1), QStringLiteral("OK 00"));
    EXPECT_EQ(code(2), QStringLiteral("OK 84"));
    EXPECT_EQ(code(3), QStringLiteral("OK 08"));
    // Logged with the addressed controller as found at its new address.
    QStringList log = logEntries();
    ASSERT_EQ(log.size(), 1);
    QStringList cols = log[0].split(QLatin1Char('\t'));
    EXPECT_EQ(cols.value(2), QStringLiteral("00812-04712-003-001"));
    EXPECT_EQ(cols.value(5), QStringLiteral("ZB-Adresse ZB6"));

    // Serial number onto a taken address: the holder goes to PP first.
    r = cli({QStringLiteral("--port"), port, QStringLiteral("address"), QStringLiteral("--serial"),
             QStringLiteral("00812-04713-003-001"), QStringLiteral("ZB1")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("moved to PP"))) << r.out.toStdString();
    EXPECT_EQ(code(1), QStringLiteral("OK 01"));
    EXPECT_EQ(code(3), QStringLiteral("OK 00"));
    log = logEntries();
    ASSERT_EQ(log.size(), 2);
    cols = log[0].split(QLatin1Char('\t'));
    EXPECT_EQ(cols.value(2), QStringLiteral("00812-04713-003-001"));
    EXPECT_EQ(cols.value(5), QStringLiteral("ZB-Adresse ZB1"));

    // Nobody with that serial number, nobody pressing, a malformed one: nothing changes.
    r = cli({QStringLiteral("--port"), port, QStringLiteral("address"), QStringLiteral("--serial"),
             QStringLiteral("00812-05000-003-001"), QStringLiteral("ZB6")});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no controller answers with the serial number"))) << r.err.toStdString();
    r = cli({QStringLiteral("--port"), port, QStringLiteral("address"), QStringLiteral("--button"), QStringLiteral("ZB7"),
             QStringLiteral("--timeout"), QStringLiteral("2")});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no service button was pressed"))) << r.err.toStdString();
    r = cli({QStringLiteral("--port"), port, QStringLiteral("address"), QStringLiteral("--serial"),
             QStringLiteral("00812-04713-003-000"), QStringLiteral("ZB6")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(code(1), QStringLiteral("OK 01"));
    EXPECT_EQ(code(2), QStringLiteral("OK 84"));
    EXPECT_EQ(code(3), QStringLiteral("OK 00"));
    EXPECT_EQ(logEntries().size(), 2); // a refused addressing changed nothing and is not logged

    sim(s, QStringLiteral("quit"));
    s.waitForFinished(10000);
}
