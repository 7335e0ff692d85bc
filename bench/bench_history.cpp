// Prints what the service history costs: listing one controller's history among 100,000 records
// of 1,000 controllers, on the local SQLite file and on a PostgreSQL server this program starts
// itself (skipped when the server binaries are missing), and what a record adds to a "Setzen"
// against the simulated controller.
#include "device/model/WindowFields.h"
#include "history/HistoryStore.h"
#include "core/MainCore.h"
#include "sim/SimTransport.h"
#include "tests/PgServer.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

using namespace kadex;
using namespace kadex::history;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRecords = 100000;
constexpr int kControllers = 1000;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

QString serialOf(int c) { return QStringLiteral("00812-%1-003-001").arg(c, 5, 10, QLatin1Char('0')); }

bool fill(Database& db)
{
    std::mt19937 rng(1);
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-400);
    std::vector<Record> batch;
    for (int i = 0; i < kRecords; ++i) {
        Record r;
        r.id = NewRecordId();
        r.serial = serialOf(static_cast<int>(rng() % kControllers));
        r.firmware = QStringLiteral("0308");
        r.typeText = QStringLiteral("Kadex");
        r.busAddress = QStringLiteral("ZB1");
        r.at = start.addSecs(i * 300);
        r.frontEnd = QStringLiteral("kadex-tool");
        r.user = QStringLiteral("tech");
        r.host = QStringLiteral("pc");
        r.kind = i % 3 ? history::Kind::Write : history::Kind::Read;
        r.action = QStringLiteral("Setzen");
        r.result = Result::Written;
        for (int f = 0; f < 3; ++f)
            r.fields.push_back({QStringLiteral("operating.VmaxPrz"), QStringLiteral("%"), QString::number(rng() % 100),
                                QString::number(rng() % 100)});
        batch.push_back(std::move(r));
        if (batch.size() == 2000) {
            if (!db.AddToServer(batch))
                return false;
            batch.clear();
        }
    }
    return db.AddToServer(batch);
}

void listing(const char* what, Database& db)
{
    const auto t0 = Clock::now();
    if (!fill(db)) {
        std::printf("%s: filling failed: %s\n", what, qPrintable(db.LastError()));
        return;
    }
    const double fillMs = ms(Clock::now() - t0);
    std::vector<double> times;
    size_t found = 0;
    for (int i = 0; i < 50; ++i) {
        ListQuery q;
        q.serial = serialOf((i * 37) % kControllers);
        const auto t = Clock::now();
        const auto r = db.List(q);
        times.push_back(ms(Clock::now() - t));
        found += r ? r->size() : 0;
    }
    std::sort(times.begin(), times.end());
    std::printf("%-10s %d records of %d controllers stored in %.0f ms; one controller's history (%.0f records on "
                "average) listed in %.2f ms median, %.2f ms worst of 50\n",
                what, kRecords, kControllers, fillMs, static_cast<double>(found) / 50.0, times[25], times.back());
}

void setzen(const QString& dir)
{
    auto bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
    WindowModel model(mainWindowFields());
    TMainCore core(model, std::make_unique<sim::SimTransport>(bus));
    core.ActionLog.SetFolder(dir + QStringLiteral("/log"));
    core.SetPollPeriodMs(100000);
    core.Start();
    core.FormCreate();
    std::atomic<bool> ok{false};
    core.Flows.Post("connect", [&] { ok = core.COMVerbinden(); });
    core.Flows.WaitIdle(60000);
    if (!ok) {
        std::printf("Setzen: the simulated controller did not answer\n");
        return;
    }
    auto round = [&](const QString& db) {
        core.History.SetDatabase(db);
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            model.setValue(fld::SpinEditVAVT1, 100 + i);
            const auto t = Clock::now();
            model.click(fld::ButtonSetzen);
            core.Flows.WaitIdle(60000);
            times.push_back(ms(Clock::now() - t));
        }
        std::sort(times.begin(), times.end());
        return times[10];
    };
    const double without = round(QString());
    const double with = round(dir + QStringLiteral("/setzen.db"));
    // The record alone, as the action log's hook makes it after a write.
    std::vector<double> rec;
    for (int i = 0; i < 50; ++i) {
        model.setValue(fld::SpinEditVAVT1, 300 + i);
        const auto t = Clock::now();
        core.History.Record(core.ActionLog.WriteAction(), QDateTime::currentDateTime());
        rec.push_back(ms(Clock::now() - t));
    }
    std::sort(rec.begin(), rec.end());
    core.Close();
    std::printf("Setzen against the simulator: %.1f ms without history, %.1f ms with (median of 20); one write "
                "record stored in %.2f ms median, %.2f ms worst of 50\n",
                without, with, rec[25], rec.back());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    {
        Database db;
        if (!db.OpenLocal(dir.filePath(QStringLiteral("bench.db")))) {
            std::printf("SQLite: %s\n", qPrintable(db.LastError()));
            return 1;
        }
        listing("SQLite", db);
    }
    {
        test::PgServer server;
        QString error;
        if (!server.Missing().isEmpty())
            std::printf("PostgreSQL: skipped, %s\n", qPrintable(server.Missing()));
        else if (!server.Init(&error) || !server.Start(&error))
            std::printf("PostgreSQL: cannot start a server: %s\n", qPrintable(error));
        else {
            Database db;
            if (db.OpenServer(*ParseServer(server.Dsn(), &error)))
                listing("PostgreSQL", db);
            else
                std::printf("PostgreSQL: %s\n", qPrintable(db.LastError()));
        }
    }
    setzen(dir.path());
    return 0;
}
