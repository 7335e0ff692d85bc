// The service history: records of "Lesen" and "Setzen" against the simulator with the values the
// controller held before and after, a database that cannot be written, several writers at once,
// a writer killed mid-write, and a shared PostgreSQL server that goes away and comes back.
#include "CliProcess.h"
#include "PgServer.h"
#include "device/model/WindowFields.h"
#include "history/HistorySender.h"
#include "history/HistoryStore.h"
#include "core/MainCore.h"
#include "settings/ActionLog.h"
#include "settings/ToolIni.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <random>

using namespace kadex;
using namespace kadex::history;

namespace {

const history::FieldChange* fieldOf(const Record& r, const QString& key)
{
    for (const FieldChange& f : r.fields)
        if (f.key == key)
            return &f;
    return nullptr;
}

std::vector<Record> listAll(const QString& path, const QString& serial = {})
{
    Database db;
    EXPECT_TRUE(db.OpenLocal(path)) << db.LastError().toStdString();
    ListQuery q;
    q.serial = serial;
    auto r = db.List(q);
    EXPECT_TRUE(r.has_value());
    std::vector<Record> out = r.value_or(std::vector<Record>{});
    std::reverse(out.begin(), out.end()); // oldest first
    return out;
}

Record sampleRecord(int i, std::mt19937& rng)
{
    Record r;
    r.id = NewRecordId();
    r.serial = QStringLiteral("00812-%1-003-001").arg(i % 5, 5, 10, QLatin1Char('0'));
    r.firmware = QStringLiteral("0308");
    r.typeText = QStringLiteral("Typ, \"B\"");
    r.busAddress = QStringLiteral("ZB%1").arg(i % 8 + 1);
    r.at = QDateTime::currentDateTimeUtc().addSecs(i);
    r.frontEnd = QStringLiteral("kadex-cli");
    r.user = QStringLiteral("tech");
    r.host = QStringLiteral("pc1");
    r.kind = static_cast<history::Kind>(rng() % 7);
    r.action = QStringLiteral("Setzen");
    r.result = static_cast<Result>(rng() % 6);
    r.reason = r.result == Result::Failed ? QStringLiteral("Schreiben fehlgeschlagen") : QString();
    r.fullSet = rng() % 2;
    for (int f = 0, n = static_cast<int>(rng() % 6); f < n; ++f)
        r.fields.push_back({QStringLiteral("operating.F%1").arg(f), QStringLiteral("%"),
                            f == 0 ? QString() : QString::number(rng() % 1000), QStringLiteral("\"Flur %1\"").arg(f)});
    return r;
}

} // namespace

TEST(HistoryServerAddress, TakesLibpqWordsAndUrisButNoPassword)
{
    struct Case {
        const char* dsn;
        const char* display; // empty: refused
        const char* error;
    };
    const Case cases[] = {
        {"host=db port=5433 dbname=kadex user=svc", "svc@db:5433/kadex", ""},
        {"postgresql://svc@db:5433/kadex?sslmode=require", "svc@db:5433/kadex", ""},
        {"dbname=kadex", "localhost/kadex", ""},
        {"host=db dbname=kadex password=geheim", "", "password"},
        {"postgresql://svc:geheim@db/kadex", "", "password"},
        {"postgresql://svc@db/kadex?password=x", "", "password"},
        {"host=db user=svc", "", "dbname"},
        {"host=db port=99999 dbname=k", "", "port"},
        {"host db", "", "cannot read"},
        {"", "", "no server"},
    };
    for (const Case& c : cases) {
        QString error;
        const auto s = ParseServer(QString::fromUtf8(c.dsn), &error);
        if (*c.display) {
            ASSERT_TRUE(s.has_value()) << c.dsn << ": " << error.toStdString();
            EXPECT_EQ(s->Display(), QString::fromUtf8(c.display)) << c.dsn;
            EXPECT_TRUE(s->options.contains(QLatin1String("connect_timeout="))) << c.dsn;
        } else {
            EXPECT_FALSE(s.has_value()) << c.dsn;
            EXPECT_TRUE(error.contains(QLatin1String(c.error))) << c.dsn << ": " << error.toStdString();
        }
    }
}

TEST(HistoryStore, RandomRecordsComeBackAsStoredAndNewestFirst)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.db"));
    std::mt19937 rng(24);
    std::vector<Record> stored;
    {
        Database db;
        ASSERT_TRUE(db.OpenLocal(path)) << db.LastError().toStdString();
        for (int i = 0; i < 60; ++i) {
            stored.push_back(sampleRecord(i, rng));
            ASSERT_TRUE(db.Add(stored.back())) << db.LastError().toStdString();
        }
        EXPECT_FALSE(db.Add(stored.front())) << "an id is stored once";
        EXPECT_EQ(db.PendingCount().value_or(-1), 60);
    }
    for (int s = 0; s < 5; ++s) {
        const QString serial = stored[static_cast<size_t>(s)].serial;
        const auto got = listAll(path, serial);
        std::vector<Record> want;
        for (const Record& r : stored)
            if (r.serial == serial)
                want.push_back(r);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].id, want[i].id);
            EXPECT_EQ(got[i], want[i]) << "record " << i << " of " << serial.toStdString();
        }
    }
    // --since cuts by time; CSV keeps one row per field and quotes what needs it.
    Database db;
    ASSERT_TRUE(db.OpenLocal(path));
    ListQuery q;
    q.since = stored[30].at;
    EXPECT_EQ(db.List(q)->size(), 30u);
    const QStringList rows = CsvRows(stored[0]);
    EXPECT_EQ(rows.size(), std::max<qsizetype>(1, static_cast<qsizetype>(stored[0].fields.size())));
    EXPECT_TRUE(rows[0].contains(QLatin1String("\"Typ, \"\"B\"\"\""))) << rows[0].toStdString();
}

TEST(HistoryStore, NewerSchemaAndForeignFilesAreRefusedAndLeftAsTheyAre)
{
    QTemporaryDir dir;
    const QString newer = dir.filePath(QStringLiteral("newer.db"));
    {
        Database db;
        ASSERT_TRUE(db.OpenLocal(newer));
        QSqlQuery q(QSqlDatabase::database(db.ConnectionName()));
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE kadex_meta SET value = '99' WHERE name = 'schema_version'")));
    }
    const QString text = dir.filePath(QStringLiteral("text.db"));
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Kadex_2026_12.txt\r\nnot a database at all\r\n");
    }
    struct Case {
        QString path;
        Fault fault;
    };
    for (const Case& c : {Case{newer, Fault::NewerSchema}, Case{text, Fault::NotADatabase},
                          Case{dir.path(), Fault::NotADatabase}}) {
        QFile f(c.path);
        const QByteArray before = QFileInfo(c.path).isFile() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        f.close();
        Database db;
        EXPECT_FALSE(db.OpenLocal(c.path)) << c.path.toStdString();
        EXPECT_EQ(db.LastFault(), c.fault) << c.path.toStdString() << ": " << db.LastError().toStdString();
        if (!before.isEmpty() && f.open(QIODevice::ReadOnly)) {
            const QByteArray after = f.readAll();
            EXPECT_EQ(after.size(), before.size()) << c.path.toStdString();
        }
    }
}

namespace {

class HistorySession : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
        model = std::make_unique<WindowModel>(mainWindowFields());
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus));
        core->ActionLog.SetFolder(dir.filePath(QStringLiteral("log")));
        core->History.SetDatabase(dbPath());
        core->History.OnMessage = [this](const QString& text, bool problem) {
            if (problem)
                messages << text;
        };
        core->SetPollPeriodMs(100000);
        core->Start();
        core->FormCreate();
        ASSERT_TRUE(run([this] { return core->COMVerbinden(); }));
    }
    QString dbPath() const { return dir.filePath(QStringLiteral("history.db")); }
    bool run(const std::function<bool()>& op)
    {
        std::atomic<bool> r{false};
        core->Flows.Post("test", [&] { r = op(); });
        EXPECT_TRUE(core->Flows.WaitIdle(60000));
        return r.load();
    }
    void click(FieldId f)
    {
        ASSERT_TRUE(model->click(f));
        ASSERT_TRUE(core->Flows.WaitIdle(60000));
    }
    int be16(uint16_t a)
    {
        const auto b = bus->peek(1, a, 2);
        return (b[0] << 8) | b[1];
    }
    QString logText()
    {
        QFile f(LogFileName(dir.filePath(QStringLiteral("log")), QDate::currentDate()));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    QTemporaryDir dir;
    std::shared_ptr<sim::SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
    QStringList messages;
};

} // namespace

TEST_F(HistorySession, LesenSetzenLesenLeaveAsFoundAndAsLeftAsTheControllerHeldThem)
{
    // The connect's read: the day's full set, as the controller holds it.
    auto recs = listAll(dbPath());
    ASSERT_EQ(recs.size(), 1u);
    const Record& first = recs[0];
    EXPECT_EQ(first.kind, history::Kind::Read);
    EXPECT_TRUE(first.fullSet);
    EXPECT_EQ(first.serial, model->text(fld::EditSerNr));
    EXPECT_FALSE(first.serial.isEmpty());
    EXPECT_EQ(first.frontEnd, QStringLiteral("kadex-tool"));
    const FieldChange* t1 = fieldOf(first, QStringLiteral("parameters.T1"));
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->found, QString::number(be16(0x0100)));
    EXPECT_EQ(t1->left, t1->found);
    EXPECT_EQ(fieldOf(first, QStringLiteral("calibration.Password")), nullptr) << "the password is never kept";
    const int t1Before = be16(0x0100);

    // "Setzen" with two fields changed: the record names exactly those, found and left.
    model->setValue(fld::SpinEditVAVT1, t1Before + 23);
    model->setText(fld::EditPositionInput, "Labor 2");
    click(fld::ButtonSetzen);
    ASSERT_EQ(be16(0x0100), t1Before + 23) << "the write reached the controller";
    // Someone else changes the controller; the next "Lesen" reads it back.
    bus->poke(1, 0x0100, {0x01, 0x00});
    click(fld::ButtonLesen);
    click(fld::ButtonLesen);

    recs = listAll(dbPath());
    ASSERT_EQ(recs.size(), 4u);
    const Record& write = recs[1];
    EXPECT_EQ(write.kind, history::Kind::Write);
    EXPECT_EQ(write.result, Result::Written);
    ASSERT_EQ(write.fields.size(), 2u);
    EXPECT_EQ(*fieldOf(write, QStringLiteral("parameters.T1")),
              (FieldChange{QStringLiteral("parameters.T1"), QStringLiteral("ms"), QString::number(t1Before),
                           QString::number(t1Before + 23)}));
    EXPECT_EQ(fieldOf(write, QStringLiteral("operating.PosText"))->left, QStringLiteral("\"Labor 2\""));

    // The read right after: not what was written, since T1 was changed behind our back.
    const Record& back = recs[2];
    EXPECT_EQ(back.kind, history::Kind::ReadBack);
    EXPECT_EQ(back.result, Result::NotHeld);
    EXPECT_EQ(fieldOf(back, QStringLiteral("parameters.T1"))->left, QStringLiteral("256"));
    EXPECT_EQ(fieldOf(back, QStringLiteral("operating.PosText"))->left, QStringLiteral("\"Labor 2\""));

    // A later read of the day keeps no full set and, with nothing changed, no field.
    const Record& again = recs[3];
    EXPECT_EQ(again.kind, history::Kind::Read);
    EXPECT_FALSE(again.fullSet);
    EXPECT_TRUE(again.fields.empty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();

    // A write then read back equal is verified.
    model->setValue(fld::SpinEditVAVT1, 300);
    click(fld::ButtonSetzen);
    click(fld::ButtonLesen);
    recs = listAll(dbPath());
    ASSERT_EQ(recs.size(), 6u);
    EXPECT_EQ(recs[5].result, Result::Verified);
    EXPECT_EQ(fieldOf(recs[4], QStringLiteral("parameters.T1"))->found, QStringLiteral("256"));
    EXPECT_EQ(be16(0x0100), 300);
}

TEST_F(HistorySession, ADatabaseThatCannotBeWrittenIsReportedOnceAndTheActionStillRuns)
{
    // The history file replaced by something else.
    QFile junk(dir.filePath(QStringLiteral("junk.db")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    core->History.SetDatabase(junk.fileName());
    const QString logBefore = logText();
    for (int v : {111, 222}) {
        model->setValue(fld::SpinEditVAVT1, v);
        click(fld::ButtonSetzen);
        EXPECT_EQ(be16(0x0100), v) << "the write went through";
    }
    ASSERT_EQ(messages.size(), 1) << messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(messages[0].contains(junk.fileName())) << messages[0].toStdString();
    EXPECT_EQ(logText().count(QLatin1Char('\n')), logBefore.count(QLatin1Char('\n')) + 2) << "the action log has both";
    ASSERT_TRUE(junk.open(QIODevice::ReadOnly));
    EXPECT_EQ(junk.readAll(), QByteArray(4096, 'x')) << "left as it was";
}

namespace {

QString writerPath() { return QStringLiteral(KADEX_BIN_DIR "/history-writer"); }

} // namespace

TEST(HistoryProcesses, TwoWritersAtOnceLoseNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.db"));
    QProcess a, b;
    a.start(writerPath(), {path, QStringLiteral("400"), QStringLiteral("A")});
    b.start(writerPath(), {path, QStringLiteral("400"), QStringLiteral("B")});
    for (QProcess* p : {&a, &b}) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    Database db;
    ASSERT_TRUE(db.OpenLocal(path));
    const auto all = db.List({});
    ASSERT_TRUE(all.has_value());
    QSet<QString> ids;
    int fromA = 0;
    for (const Record& r : *all) {
        ids.insert(r.id);
        fromA += r.serial.startsWith(QLatin1Char('A'));
        EXPECT_EQ(r.fields.size(), 5u);
    }
    EXPECT_EQ(ids.size(), 800);
    EXPECT_EQ(fromA, 400);
    EXPECT_EQ(db.IntegrityCheck(), QStringLiteral("ok"));
}

TEST(HistoryProcesses, AWriterKilledMidWriteLeavesAnIntactDatabase)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.db"));
    for (int round = 0; round < 3; ++round) {
        QProcess p;
        p.start(writerPath(), {path, QStringLiteral("0"), QStringLiteral("K")});
        ASSERT_TRUE(p.waitForStarted());
        // Killed once it is writing: when the file holds more records than before.
        int before = 0;
        {
            Database db;
            if (QFile::exists(path) && db.OpenLocal(path))
                before = static_cast<int>(db.List({})->size());
        }
        for (;;) {
            Database db;
            if (QFile::exists(path) && db.OpenLocal(path) && static_cast<int>(db.List({})->size()) > before + 20 * (round + 1))
                break;
            ASSERT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
            QThread::msleep(5);
        }
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        ASSERT_TRUE(p.waitForFinished(10000));
        Database db;
        ASSERT_TRUE(db.OpenLocal(path)) << db.LastError().toStdString();
        EXPECT_EQ(db.IntegrityCheck(), QStringLiteral("ok"));
        EXPECT_EQ(db.IncompleteRecords().value_or(-1), 0) << "no half record";
        EXPECT_EQ(db.PendingCount().value_or(-1), static_cast<int>(db.List({})->size()));
    }
}

TEST(HistoryCli, ReadWriteAndHistoryCommandsThroughTheSimulator)
{
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    const QString cli = QStringLiteral(KADEX_BIN_DIR "/kadex-cli");
    const QString snap = dir.filePath(QStringLiteral("s.json"));
    {
        QFile f(snap);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"({"format": "kadex-snapshot", "version": 1, "parameters": {"T1": 345}})");
    }
    auto run = [&](const QStringList& args) { return test::RunToEnd(cli, args, env); };
    const auto w = run({QStringLiteral("--simulate"), QStringLiteral("write"), snap});
    ASSERT_EQ(w.exitCode, 0) << w.err.toStdString();
    const auto h = run({QStringLiteral("history"), QStringLiteral("--json")});
    ASSERT_EQ(h.exitCode, 0) << h.err.toStdString();
    const QJsonArray recs = QJsonDocument::fromJson(h.out.toUtf8()).object().value(QStringLiteral("records")).toArray();
    // Newest first: the read back, the write, the reads of the connect (the first a full set).
    ASSERT_GE(recs.size(), 3) << h.out.toStdString();
    EXPECT_TRUE(recs.last().toObject().value(QStringLiteral("full_set")).toBool());
    EXPECT_EQ(recs[0].toObject().value(QStringLiteral("kind")).toString(), QStringLiteral("read-back"));
    EXPECT_EQ(recs[0].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("verified"));
    const QJsonObject write = recs[1].toObject();
    EXPECT_EQ(write.value(QStringLiteral("front_end")).toString(), QStringLiteral("kadex-cli"));
    const QJsonArray fields = write.value(QStringLiteral("fields")).toArray();
    ASSERT_EQ(fields.size(), 1) << QJsonDocument(write).toJson().toStdString();
    EXPECT_EQ(fields[0].toObject().value(QStringLiteral("left")).toInt(), 345);
    const QString serial = write.value(QStringLiteral("serial")).toString();


    struct Case {
        QStringList args;
        int exit;
        int lines; // records shown, -1: not counted
    };
    const Case cases[] = {
        {{QStringLiteral("history"), serial}, 0, static_cast<int>(recs.size())},
        {{QStringLiteral("history"), QStringLiteral("00000-00000-000-000")}, 0, 0},
        {{QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("2999-01-01")}, 0, 0},
        {{QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("gestern")}, 2, -1},
        {{QStringLiteral("history"), QStringLiteral("--history"), QStringLiteral("host=x password=y dbname=z")}, 2, -1},
    };
    for (const Case& c : cases) {
        const auto r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exit) << c.args.join(' ').toStdString() << r.err.toStdString();
        if (c.lines < 0)
            continue;
        const QRegularExpression record(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d "), QRegularExpression::MultilineOption);
        EXPECT_EQ(r.out.count(record), c.lines) << r.out.toStdString();
    }

    // The printout ends with the last change of the controller, as found and as left.
    const auto rep = run({QStringLiteral("--simulate"), QStringLiteral("report")});
    ASSERT_EQ(rep.exitCode, 0) << rep.err.toStdString();
    const QString found = QString::number(fields[0].toObject().value(QStringLiteral("found")).toInt());
    EXPECT_TRUE(rep.out.contains(QStringLiteral("parameters.T1: %1 -> 345 ms").arg(found))) << rep.out.toStdString();
}

namespace {

class HistoryServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const QString missing = server.Missing(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        QString error;
        ASSERT_TRUE(server.Init(&error)) << error.toStdString();
        ASSERT_TRUE(server.Start(&error)) << error.toStdString();
        cfg = *ParseServer(server.Dsn(), &error);
    }
    // A plain connection: the tool's own refuses a server of another schema version.
    int serverCount(const QString& sql)
    {
        int n = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("test-count"));
            db.setHostName(cfg.host);
            db.setPort(cfg.port);
            db.setDatabaseName(cfg.database);
            db.setUserName(cfg.user);
            EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(sql) && q.next()) << q.lastError().text().toStdString();
            n = q.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("test-count"));
        return n;
    }
    test::PgServer server;
    ServerConfig cfg;
    QTemporaryDir dir;
};

} // namespace

TEST_F(HistoryServer, StoppedInTheMiddleOfASeriesEveryRecordArrivesOnce)
{
    const QString path = dir.filePath(QStringLiteral("h.db"));
    Database local;
    ASSERT_TRUE(local.OpenLocal(path));
    Sender sender(path, cfg);
    sender.retryMs = 100;
    QStringList problems;
    std::mutex mx;
    sender.OnMessage = [&](Fault f, const QString& text) {
        std::lock_guard<std::mutex> lk(mx);
        if (f != Fault::None)
            problems << text;
    };
    std::mt19937 rng(7);
    QSet<QString> ids;
    auto add = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const Record r = sampleRecord(static_cast<int>(ids.size()), rng);
            ASSERT_TRUE(local.Add(r));
            ids.insert(r.id);
            sender.Wake();
        }
    };
    add(40);
    ASSERT_TRUE(sender.Flush(60000));
    QString error;
    ASSERT_TRUE(server.Stop(&error)) << error.toStdString();
    add(40);
    for (int i = 0; i < 600 && sender.CurrentState() != Sender::State::Away; ++i)
        QThread::msleep(50);
    EXPECT_EQ(sender.CurrentState(), Sender::State::Away);
    add(40);
    ASSERT_TRUE(server.Start(&error)) << error.toStdString();
    add(40);
    // Sent once the sender has tried the server again.
    bool flushed = false;
    for (int i = 0; i < 600 && !flushed; ++i)
        if (!(flushed = sender.Flush(100)))
            QThread::msleep(50);
    ASSERT_TRUE(flushed);
    EXPECT_EQ(serverCount(QStringLiteral("SELECT COUNT(*) FROM service_record")), 160);
    EXPECT_EQ(serverCount(QStringLiteral("SELECT COUNT(DISTINCT id) FROM service_record")), 160);
    EXPECT_EQ(serverCount(QStringLiteral("SELECT COUNT(*) FROM service_record r WHERE field_count <> "
                                         "(SELECT COUNT(*) FROM service_field f WHERE f.record_id = r.id)")),
              0);
    EXPECT_EQ(local.PendingCount().value_or(-1), 0);
    std::lock_guard<std::mutex> lk(mx);
    EXPECT_EQ(problems.size(), 1) << problems.join(QLatin1Char('\n')).toStdString();
    // What the server holds is what was made here.
    Database db;
    ASSERT_TRUE(db.OpenServer(cfg));
    const auto onServer = db.List({});
    ASSERT_TRUE(onServer.has_value());
    const auto here = local.List({});
    ASSERT_EQ(onServer->size(), here->size());
    for (size_t i = 0; i < here->size(); ++i)
        EXPECT_EQ((*onServer)[i], (*here)[i]);
}

TEST_F(HistoryServer, TwoProcessesSharingAFileAndAServerStoreEachRecordOnce)
{
    const QString path = dir.filePath(QStringLiteral("h.db"));
    QProcess a, b;
    a.start(writerPath(), {path, QStringLiteral("150"), QStringLiteral("A"), server.Dsn()});
    b.start(writerPath(), {path, QStringLiteral("150"), QStringLiteral("B"), server.Dsn()});
    for (QProcess* p : {&a, &b}) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    EXPECT_EQ(serverCount(QStringLiteral("SELECT COUNT(*) FROM service_record")), 300);
    EXPECT_EQ(serverCount(QStringLiteral("SELECT COUNT(*) FROM service_field")), 1500);
}

TEST_F(HistoryServer, AServerWithAnotherSchemaVersionIsRefusedAndNotChanged)
{
    {
        Database db;
        ASSERT_TRUE(db.OpenServer(cfg));
        QSqlQuery q(QSqlDatabase::database(db.ConnectionName()));
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE kadex_meta SET value = '7' WHERE name = 'schema_version'")));
    }
    const QString path = dir.filePath(QStringLiteral("h.db"));
    Database local;
    ASSERT_TRUE(local.OpenLocal(path));
    std::mt19937 rng(3);
    ASSERT_TRUE(local.Add(sampleRecord(1, rng)));
    Sender sender(path, cfg);
    QString message;
    std::mutex mx;
    sender.OnMessage = [&](Fault, const QString& text) {
        std::lock_guard<std::mutex> lk(mx);
        message = text;
    };
    EXPECT_FALSE(sender.Flush(60000));
    EXPECT_EQ(sender.CurrentState(), Sender::State::Refused);
    {
        std::lock_guard<std::mutex> lk(mx);
        EXPECT_TRUE(message.contains(QLatin1String("version 7"))) << message.toStdString();
    }
    EXPECT_EQ(serverCount(QStringLiteral("SELECT value::int FROM kadex_meta WHERE name = 'schema_version'")), 7);
    EXPECT_EQ(serverCount(QStringLiteral("SELECT COUNT(*) FROM service_record")), 0);
    EXPECT_EQ(local.PendingCount().value_or(-1), 1) << "kept locally";
}

TEST_F(HistoryServer, ASessionAgainstTheSimulatorReachesTheServer)
{
    auto bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
    WindowModel model(mainWindowFields());
    TMainCore core(model, std::make_unique<sim::SimTransport>(bus));
    core.ActionLog.SetFolder(dir.filePath(QStringLiteral("log")));
    core.History.SetDatabase(dir.filePath(QStringLiteral("h.db")));
    ASSERT_TRUE(core.History.SetServer(server.Dsn()));
    core.SetPollPeriodMs(100000);
    core.Start();
    core.FormCreate();
    std::atomic<bool> ok{false};
    core.Flows.Post("test", [&] { ok = core.COMVerbinden(); });
    ASSERT_TRUE(core.Flows.WaitIdle(60000));
    ASSERT_TRUE(ok.load());
    model.setValue(fld::SpinEditVAVT1, 444);
    ASSERT_TRUE(model.click(fld::ButtonSetzen));
    ASSERT_TRUE(core.Flows.WaitIdle(60000));
    ASSERT_TRUE(core.History.FlushServer(60000));
    Database db;
    ASSERT_TRUE(db.OpenServer(cfg));
    const auto recs = db.List({});
    ASSERT_TRUE(recs.has_value());
    ASSERT_EQ(recs->size(), 2u);
    const FieldChange* t1 = fieldOf(recs->front(), QStringLiteral("parameters.T1"));
    ASSERT_NE(t1, nullptr);
    const auto b = bus->peek(1, 0x0100, 2);
    EXPECT_EQ(t1->left, QString::number((b[0] << 8) | b[1]));
    EXPECT_EQ(t1->left, QStringLiteral("444"));
}
