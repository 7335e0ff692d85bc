// A calibrator's session through kadex-cli against kadex-sim on a pseudo-terminal: save the
// set of ZB1, write it onto ZB2 and ZB3, and every device action in the action log; the
// printout as text and as a PDF.
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include "tests/CliProcess.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>

namespace {

QString binary(const char* name) { return QStringLiteral(KADEX_BIN_DIR "/") + QLatin1String(name); }

QString readLine(QProcess& p)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!p.canReadLine() && std::chrono::steady_clock::now() < deadline)
        p.waitForReadyRead(100);
    return p.canReadLine() ? QString::fromUtf8(p.readLine()).trimmed() : QString();
}

QString command(QProcess& sim, const QString& line)
{
    sim.write(line.toUtf8() + '\n');
    sim.waitForBytesWritten(5000);
    return readLine(sim);
}

using kadex::test::CliRun;

CliRun cli(const QProcessEnvironment& env, const QStringList& args)
{
    return kadex::test::RunToEnd(binary("kadex-cli"), args, env);
}

QString dataLine(const QString& path)
{
    QStringList lines;
    kadex::ReadTextFileLines(path, lines);
    return lines.value(2);
}

} // namespace

TEST(CliFiles, CalibratorSessionOnASimulatedBus)
{
    if (!QFileInfo::exists(binary("kadex-cli")) || !QFileInfo::exists(binary("kadex-sim")))
        GTEST_SKIP() << "kadex-cli and kadex-sim are not built";
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    QProcess sim;
    sim.start(binary("kadex-sim"), {"--controllers", "3", "--address", "1=ZB1", "--address", "2=ZB2", "--address", "3=ZB3"});
    ASSERT_TRUE(sim.waitForStarted(10000));
    const QString first = readLine(sim);
    ASSERT_TRUE(first.startsWith(QStringLiteral("PTY /dev/"))) << first.toStdString();
    const QString port = first.mid(4);
    // ZB1 carries its own set: V'nom 1200, damping 40 ms.
    ASSERT_TRUE(command(sim, "poke 1 0032 04 B0").startsWith("OK"));
    ASSERT_TRUE(command(sim, "poke 1 0046 00 28").startsWith("OK"));

    const QString a = dir.filePath("zb1.vav");
    CliRun r = cli(env, {"--port", port, "--address", "ZB1", "save", a});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char* zb : {"ZB2", "ZB3"}) {
        r = cli(env, {"--port", port, "--address", zb, "write", a});
        EXPECT_EQ(r.exitCode, 0) << zb << r.err.toStdString();
        const QString slot = QString::number(QString::fromLatin1(zb).right(1).toInt());
        // In the simulated controllers' memory.
        EXPECT_EQ(command(sim, "peek " + slot + " 0032 2"), "OK 04 B0");
        EXPECT_EQ(command(sim, "peek " + slot + " 0046 2"), "OK 00 28");
        const QString b = dir.filePath(QStringLiteral("%1.vav").arg(zb));
        r = cli(env, {"--port", port, "--address", zb, "save", b});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(dataLine(b), dataLine(a));
    }
    // A bad file writes nothing.
    QFile bad(dir.filePath("bad.vav"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("Defaultdatei Kadex\t Version 2.11\r\nx\r\n");
    bad.close();
    ASSERT_TRUE(command(sim, "poke 2 0032 00 64").startsWith("OK"));
    r = cli(env, {"--port", port, "--address", "ZB2", "write", bad.fileName()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("line 3")) << r.err.toStdString();
    EXPECT_EQ(command(sim, "peek 2 0032 2"), "OK 00 64");

    // One entry per device action: each connect reads (1), save adds nothing, write adds
    // "Setzen" and its read-back.
    QStringList log;
    ASSERT_TRUE(kadex::ReadTextFileLines(
        QDir(dir.filePath("Kadex_Logs")).filePath(QDate::currentDate().toString("'Kadex_'yyyy'_'MM'.txt'")), log));
    ASSERT_EQ(log.size(), 1 + 1 + 2 * (3 + 1));
    int writes = 0;
    for (const QString& l : log.mid(1))
        writes += l.split('\t').value(5) == "Setzen";
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(log[1].split('\t').value(5), "Lesen"); // newest first: the last save's read

    // The printout of ZB1, as text and as a PDF without a printer.
    r = cli(env, {"--port", port, "--address", "ZB1", "report"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString serial = r.out.section("Serien Nummer", 1).section('\n', 0, 0).trimmed();
    EXPECT_FALSE(serial.isEmpty()) << r.out.toStdString();
    const QString pdf = dir.filePath("zb1.pdf");
    r = cli(env, {"--port", port, "--address", "ZB1", "report", "--pdf", pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(4) == "%PDF");
    if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        ASSERT_TRUE(text.waitForFinished(20000));
        EXPECT_TRUE(QString::fromUtf8(text.readAllStandardOutput()).contains(serial));
    }
    sim.closeWriteChannel();
    sim.terminate();
    sim.waitForFinished(5000);
}

// The command line reads the window's settings: the seed's sensor presets name the simulated
// controller's sensor in the log; a settings file of the user's own takes their place.
TEST(CliFiles, ToolSettingsNameTheSensorPreset)
{
    if (!QFileInfo::exists(binary("kadex-cli")))
        GTEST_SKIP() << "kadex-cli is not built";
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    const QString logPath =
        QDir(dir.filePath("Kadex_Logs")).filePath(QDate::currentDate().toString("'Kadex_'yyyy'_'MM'.txt'"));
    auto newestSensor = [&] {
        QStringList log;
        EXPECT_TRUE(kadex::ReadTextFileLines(logPath, log));
        return log.value(1).split('\t').value(23);
    };
    CliRun r = cli(env, {"--simulate", "save", dir.filePath("a.vav")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(newestSensor(), "DPK-300");

    // The user's settings file: its DPK-300 preset no longer fits the controller.
    QFile seed(QStringLiteral(KADEX_BIN_DIR "/KadexTool.ini"));
    ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
    QByteArray own = seed.readAll().replace("DPK300_Pverz=30", "DPK300_Pverz=31");
    ASSERT_TRUE(QDir(dir.path()).mkpath("Fenwix"));
    QFile user(dir.filePath("Fenwix/KadexTool.ini"));
    ASSERT_TRUE(user.open(QIODevice::WriteOnly));
    user.write(own);
    user.close();
    r = cli(env, {"--simulate", "save", dir.filePath("b.vav")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(newestSensor().startsWith("variabel (0/10000/300/3/30/5)")) << newestSensor().toStdString();
}
