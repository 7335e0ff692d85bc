// The monthly action log: the file and its heading, newest entry first, month rollover,
// concurrent writers (threads and processes), and the entries the flows leave.
#include "common/TextFile.h"
#include "QtPrinters.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/ActionLog.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kadex;

namespace {

QStringList readLog(const QString& path)
{
    QStringList lines;
    EXPECT_TRUE(ReadTextFileLines(path, lines));
    return lines;
}

} // namespace

TEST(ActionLog, HeadingNewestFirstAndMonthRollover)
{
    QTemporaryDir dir;
    const QString header = BuildLogHeader(TIniLogFileText{});
    EXPECT_EQ(header.count(QLatin1Char('\t')), 25);
    EXPECT_TRUE(header.startsWith(QStringLiteral("Date\tTime\tSerial number\t")));
    const QDate may(2024, 5, 31), june(2024, 6, 1);
    EXPECT_EQ(LogFileName(dir.path(), may), dir.filePath(QStringLiteral("Kadex_2024_05.txt")));
    for (const QString& e : {QStringLiteral("first"), QStringLiteral("second")})
        ASSERT_EQ(InsertLogEntry(dir.path(), may, header, e), LogResult::Ok);
    ASSERT_EQ(InsertLogEntry(dir.path(), june, header, QStringLiteral("third")), LogResult::Ok);
    EXPECT_EQ(readLog(LogFileName(dir.path(), may)), (QStringList{header, "second", "first"}));
    EXPECT_EQ(readLog(LogFileName(dir.path(), june)), (QStringList{header, "third"}));
    // Code page 1252 with CR LF on disk.
    QFile f(LogFileName(dir.path(), june));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("H\xF6he\tV'nom [m\xB3/h]"));
}

TEST(ActionLog, RefusedFilesStayAsTheyWere)
{
    QTemporaryDir dir;
    const QDate d(2025, 1, 10);
    const QString path = LogFileName(dir.path(), d);
    QFile empty(path);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(InsertLogEntry(dir.path(), d, "H", "x"), LogResult::ReadFailed);
    EXPECT_EQ(QFileInfo(path).size(), 0);
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(InsertLogEntry(dir.filePath("file/sub"), d, "H", "x"), LogResult::FolderFailed);
}

TEST(ActionLog, TwoProcessesAndTwoThreadsLoseNothing)
{
    QTemporaryDir dir;
    const QDate d(2026, 3, 1);
    constexpr int kEach = 150;
    const auto writer = [&](const QString& who) {
        for (int i = 0; i < kEach; ++i)
            if (InsertLogEntry(dir.path(), d, QStringLiteral("H"), who + QString::number(i)) != LogResult::Ok)
                return false;
        return true;
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(writer(QStringLiteral("child-")) ? 0 : 1);
    bool threadOk = false;
    std::thread t([&] { threadOk = writer(QStringLiteral("thread-")); });
    const bool mainOk = writer(QStringLiteral("main-"));
    t.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(threadOk && mainOk);
    const QStringList lines = readLog(LogFileName(dir.path(), d));
    ASSERT_EQ(lines.size(), 1 + 3 * kEach);
    EXPECT_EQ(lines.first(), "H");
    // Every entry once, whole; each writer's own entries newest first.
    QSet<QString> seen(lines.begin() + 1, lines.end());
    EXPECT_EQ(seen.size(), 3 * kEach);
    for (const QString& who : {QStringLiteral("child-"), QStringLiteral("thread-"), QStringLiteral("main-")}) {
        int last = kEach;
        for (const QString& l : lines.mid(1))
            if (l.startsWith(who)) {
                const int n = l.mid(who.size()).toInt();
                EXPECT_EQ(n, last - 1) << l.toStdString();
                last = n;
            }
    }
    // No temporary file left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"Kadex_2026_03.txt", "Kadex_2026_03.txt.lock"}));
}

TEST(ActionLog, FlowsBaseUnits)
{
    struct Case {
        const char *vnom, *vmax, *vmin, *vmid;
        double factor;
        uint16_t fw;
        const char *eNom, *eMax, *eMin, *eMid;
    } cases[] = {
        {"1000", "80.00", "20.00", "50.00", 1.0, 0x0220, "1000", "800", "200", "500"},
        {"1000", "80.00", "20.00", "50.00", 1.0, 0x0210, "1000", "800", "160", "480"},
        {"69.4", "100.00", "0.00", "0.00", 1 / 3.6, 0x0220, "248", "248", "0", "0"},
    };
    for (const Case& c : cases) {
        const LogFlows f = ComputeLogFlows(c.vnom, c.vmax, c.vmin, c.vmid, c.factor, c.fw);
        EXPECT_EQ(f.vnom, c.eNom);
        EXPECT_EQ(f.vmax, c.eMax);
        EXPECT_EQ(f.vmin, c.eMin);
        EXPECT_EQ(f.vmid, c.eMid);
    }
}

TEST(ActionLog, ConnectLesenSetzenAndTheVariableSensorColumn)
{
    QTemporaryDir dir;
    auto bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
    WindowModel model(mainWindowFields());
    TMainCore core(model, std::make_unique<sim::SimTransport>(bus));
    core.SetPollPeriodMs(100000);
    core.ActionLog.SetFolder(dir.path());
    const QDateTime when(QDate(2024, 5, 7), QTime(9, 30, 0));
    core.ActionLog.Now = [when] { return when; };
    core.Start();
    core.FormCreate();
    const auto run = [&](const std::function<bool()>& op) {
        std::atomic<bool> r{false};
        core.Flows.Post("test", [&] { r = op(); });
        EXPECT_TRUE(core.Flows.WaitIdle(60000));
        return r.load();
    };
    ASSERT_TRUE(run([&] { return core.COMVerbinden(); }));
    ASSERT_TRUE(run([&] { return core.ButtonLesenClick(); }));
    model.setChecked(fld::RadioButtonDPKVariabel, true);
    model.setValue(fld::SpinEditVAVPverz, 40);
    ASSERT_TRUE(run([&] { return core.ButtonSetzenClick(); }));
    const QStringList lines = readLog(LogFileName(dir.path(), when.date()));
    ASSERT_EQ(lines.size(), 4);
    const QStringList newest = lines[1].split(QLatin1Char('\t'));
    ASSERT_EQ(newest.size(), 26);
    EXPECT_EQ(newest[0], "07.05.2024");
    EXPECT_EQ(newest[2], model.text(fld::EditSerNr));
    EXPECT_FALSE(newest[2].isEmpty());
    EXPECT_EQ(newest[5], "Setzen");
    EXPECT_EQ(lines[2].split(QLatin1Char('\t'))[5], "Lesen");
    EXPECT_EQ(lines[3].split(QLatin1Char('\t'))[5], "Lesen");
    // The variable sensor lists what the device holds (read back from the simulated memory).
    const auto b = bus->peek(1, 0x0046, 2);
    EXPECT_EQ((b[0] << 8) | b[1], 40);
    EXPECT_TRUE(newest[23].startsWith("variabel (")) << newest[23].toStdString();
    EXPECT_TRUE(newest[23].endsWith("/40/" + QString::number(model.value(fld::SpinEditVAVVtot)) + ")"));
    // Nothing while closing.
    core.Closing = true;
    EXPECT_FALSE(core.ActionLog.WriteLogEntry("x"));
    EXPECT_EQ(readLog(LogFileName(dir.path(), when.date())).size(), 4);
    core.Closing = false;
    core.Close();
}
