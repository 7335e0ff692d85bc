#include "history/HistoryStore.h"

#include "settings/ToolIni.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <atomic>
#include <mutex>
#include <thread>

namespace kadex::history {

namespace {

std::atomic<int> connectionCount{0};

// The thread each open connection belongs to: one closed from another thread is only removed,
// since Qt SQL hands a connection to its own thread alone.
std::mutex ownersMutex;
QHash<QString, std::thread::id> owners;

void setOwner(const QString& name)
{
    std::lock_guard<std::mutex> lk(ownersMutex);
    owners.insert(name, std::this_thread::get_id());
}

bool ownedHere(const QString& name)
{
    std::lock_guard<std::mutex> lk(ownersMutex);
    return owners.value(name) == std::this_thread::get_id();
}

const char* const kRecordColumns = "r.id, r.serial, r.firmware, r.type_text, r.bus_address, r.at_utc, r.front_end, "
                                   "r.os_user, r.host, r.kind, r.action, r.result, r.reason, r.full_set";

Record recordFrom(const QSqlQuery& q)
{
    Record r;
    r.id = q.value(0).toString();
    r.serial = q.value(1).toString();
    r.firmware = q.value(2).toString();
    r.typeText = q.value(3).toString();
    r.busAddress = q.value(4).toString();
    r.at = TimeFromText(q.value(5).toString());
    r.frontEnd = q.value(6).toString();
    r.user = q.value(7).toString();
    r.host = q.value(8).toString();
    r.kind = KindFromWord(q.value(9).toString());
    r.action = q.value(10).toString();
    r.result = ResultFromWord(q.value(11).toString());
    r.reason = q.value(12).toString();
    r.fullSet = q.value(13).toInt() != 0;
    return r;
}

// A null text would be bound as SQL NULL; the columns hold texts, empty or not.
QVariant sqlText(const QString& s) { return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s); }

bool looksLikeSqlite(const QString& path)
{
    QFile f(path);
    if (!f.exists() || f.size() == 0)
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return true; // the open itself says why
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

} // namespace

QString FaultText(Fault f, const QString& where, const QString& detail)
{
    QString s;
    switch (f) {
    case Fault::None: return {};
    case Fault::NotADatabase: s = QStringLiteral("%1 is not a history database (left as it is)"); break;
    case Fault::ReadOnly: s = QStringLiteral("%1 cannot be written (read-only)"); break;
    case Fault::DiskFull: s = QStringLiteral("the disk holding %1 is full"); break;
    case Fault::Busy: s = QStringLiteral("%1 was held by another process too long"); break;
    case Fault::NewerSchema: s = QStringLiteral("%1 has a history schema version this tool does not use (left as it is)"); break;
    case Fault::Unreachable: s = QStringLiteral("the history server %1 cannot be reached"); break;
    case Fault::Other: s = QStringLiteral("%1 failed"); break;
    }
    s = s.arg(where);
    return detail.isEmpty() ? s : s + QStringLiteral(": ") + detail.simplified();
}

QString FaultTextGerman(Fault f, const QString& where, const QString& detail)
{
    QString s;
    switch (f) {
    case Fault::None: return {};
    case Fault::NotADatabase: s = QStringLiteral("%1 ist keine Verlaufsdatenbank (bleibt unverändert)"); break;
    case Fault::ReadOnly: s = QStringLiteral("%1 ist schreibgeschützt"); break;
    case Fault::DiskFull: s = QStringLiteral("Der Datenträger von %1 ist voll"); break;
    case Fault::Busy: s = QStringLiteral("%1 war zu lange von einem anderen Programm belegt"); break;
    case Fault::NewerSchema: s = QStringLiteral("%1 hat eine andere Schemaversion des Verlaufs (bleibt unverändert)"); break;
    case Fault::Unreachable: s = QStringLiteral("Der Verlaufsserver %1 ist nicht erreichbar"); break;
    case Fault::Other: s = QStringLiteral("%1: Fehler"); break;
    }
    s = s.arg(where);
    return detail.isEmpty() ? s : s + QStringLiteral(": ") + detail.simplified();
}

QString ServerConfig::Display() const
{
    QString s = user.isEmpty() ? QString() : user + QLatin1Char('@');
    s += host.isEmpty() ? QStringLiteral("localhost") : host;
    if (port > 0)
        s += QLatin1Char(':') + QString::number(port);
    return s + QLatin1Char('/') + database;
}

std::optional<ServerConfig> ParseServer(const QString& dsnIn, QString* error)
{
    auto refuse = [&](const QString& why) -> std::optional<ServerConfig> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString dsn = dsnIn.trimmed();
    if (dsn.isEmpty())
        return refuse(QStringLiteral("no server given"));
    ServerConfig c;
    QStringList options;
    auto take = [&](const QString& key, const QString& value) -> bool {
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr"))
            c.host = value;
        else if (key == QLatin1String("port")) {
            bool ok = false;
            c.port = value.toInt(&ok);
            if (!ok || c.port < 1 || c.port > 65535)
                return false;
        } else if (key == QLatin1String("dbname"))
            c.database = value;
        else if (key == QLatin1String("user"))
            c.user = value;
        else if (key == QLatin1String("password"))
            return false;
        else
            options << key + QLatin1Char('=') + value;
        return true;
    };
    if (dsn.startsWith(QLatin1String("postgresql://")) || dsn.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(dsn, QUrl::StrictMode);
        if (!url.isValid())
            return refuse(QStringLiteral("not a valid server address: %1").arg(url.errorString()));
        if (!url.password().isEmpty())
            return refuse(QStringLiteral("a password does not belong in the server address; put it in ~/.pgpass "
                                         "or PGPASSWORD"));
        c.host = url.host();
        c.port = url.port(-1);
        c.user = url.userName();
        c.database = url.path().mid(1);
        for (const auto& [k, v] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
            if (!take(k, v))
                return refuse(k == QLatin1String("password")
                                  ? QStringLiteral("a password does not belong in the server address; put it in "
                                                   "~/.pgpass or PGPASSWORD")
                                  : QStringLiteral("bad value for %1").arg(k));
    } else {
        static const QRegularExpression word(QStringLiteral("^\\s*([a-z_]+)\\s*=\\s*(\\S+)"));
        QString rest = dsn;
        while (!rest.trimmed().isEmpty()) {
            const auto m = word.match(rest);
            if (!m.hasMatch())
                return refuse(QStringLiteral("cannot read \"%1\": give key=value words or a postgresql:// address")
                                  .arg(rest.trimmed()));
            if (m.captured(1) == QLatin1String("password"))
                return refuse(QStringLiteral("a password does not belong in the server address; put it in ~/.pgpass "
                                             "or PGPASSWORD"));
            if (!take(m.captured(1), m.captured(2)))
                return refuse(QStringLiteral("bad value for %1").arg(m.captured(1)));
            rest = rest.mid(m.capturedEnd());
        }
    }
    if (c.database.isEmpty())
        return refuse(QStringLiteral("no database name (dbname) given"));
    if (!options.join(QLatin1Char(' ')).contains(QLatin1String("connect_timeout=")))
        options << QStringLiteral("connect_timeout=5");
    c.options = options.join(QLatin1Char(';'));
    return c;
}

QString DefaultDatabasePath()
{
    const QString ini = GetToolIniPath();
    if (ini.isEmpty())
        return {};
    return QFileInfo(ini).absolutePath() + QStringLiteral("/KadexHistory.db");
}

Database::Database() : name_(QStringLiteral("kadex-history-%1").arg(connectionCount.fetch_add(1))) {}

Database::~Database() { Close(); }

void Database::Close()
{
    if (QSqlDatabase::contains(name_)) {
        if (ownedHere(name_)) {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    std::lock_guard<std::mutex> lk(ownersMutex);
    owners.remove(name_);
}

bool Database::IsOpen() const
{
    return QSqlDatabase::contains(name_) && ownedHere(name_) && QSqlDatabase::database(name_, false).isOpen();
}

bool Database::fail(Fault f, const QString& text)
{
    fault_ = f;
    error_ = text;
    return false;
}

bool Database::fail(const QSqlError& e)
{
    Fault f = Fault::Other;
    if (dialect_ == Dialect::Sqlite) {
        switch (e.nativeErrorCode().toInt() & 0xff) {
        case 26: f = Fault::NotADatabase; break; // SQLITE_NOTADB
        case 11: f = Fault::NotADatabase; break; // SQLITE_CORRUPT
        case 8: f = Fault::ReadOnly; break;      // SQLITE_READONLY
        case 23: f = Fault::ReadOnly; break;     // SQLITE_AUTH
        case 13: f = Fault::DiskFull; break;     // SQLITE_FULL
        case 5: f = Fault::Busy; break;          // SQLITE_BUSY
        case 6: f = Fault::Busy; break;          // SQLITE_LOCKED
        case 14: f = Fault::ReadOnly; break;     // SQLITE_CANTOPEN: folder or file not writable
        case 10: // SQLITE_IOERR: a full disk shows as a write error too
            f = e.databaseText().contains(QLatin1String("full"), Qt::CaseInsensitive) ? Fault::DiskFull : Fault::Other;
            break;
        default: break;
        }
    } else if (e.type() == QSqlError::ConnectionError) {
        f = Fault::Unreachable;
    }
    return fail(f, e.text());
}

bool Database::begin()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (dialect_ == Dialect::Sqlite) {
        // Taking the write lock at once: a deferred transaction that must upgrade later can fail
        // with SQLITE_BUSY past the busy timeout.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return fail(q.lastError());
        return true;
    }
    if (!db.transaction())
        return fail(db.lastError());
    return true;
}

bool Database::commit()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (dialect_ == Dialect::Sqlite) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("COMMIT"))) {
            fail(q.lastError());
            rollback();
            return false;
        }
        return true;
    }
    if (!db.commit()) {
        fail(db.lastError());
        rollback();
        return false;
    }
    return true;
}

void Database::rollback()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (dialect_ == Dialect::Sqlite) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("ROLLBACK"));
    } else {
        db.rollback();
    }
}

bool Database::OpenLocal(const QString& path)
{
    Close();
    dialect_ = Dialect::Sqlite;
    fault_ = Fault::None;
    error_.clear();
    const QFileInfo fi(path);
    if (fi.exists() && !fi.isFile())
        return fail(Fault::NotADatabase, QStringLiteral("not a regular file"));
    if (!looksLikeSqlite(path))
        return fail(Fault::NotADatabase, QStringLiteral("the file does not begin as a database does"));
    if (!QDir().mkpath(fi.absolutePath()))
        return fail(Fault::ReadOnly, QStringLiteral("the folder cannot be made"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    setOwner(name_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open())
        return fail(db.lastError());
    // Two programs opening a new file at once: SQLite refuses the journal-mode switch or the
    // schema's lock upgrade at once, without its busy wait (that could deadlock). Try again.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        fault_ = Fault::None;
        error_.clear();
        if (openLocalSteps(db))
            return true;
        if (!error_.contains(QLatin1String("locked"), Qt::CaseInsensitive) || waited.elapsed() > 10000)
            return false;
        QThread::msleep(20);
    }
}

bool Database::openLocalSteps(QSqlDatabase& db)
{
    QSqlQuery q(db);
    // WAL: readers never wait for a writer, and a killed writer leaves only an unfinished
    // transaction in the log, which the next open discards.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return fail(q.lastError());
    q.next();
    if (q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        // A read-only file cannot change its journal mode.
        return fail(Fault::ReadOnly, QStringLiteral("write-ahead logging cannot be switched on"));
    }
    q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    return prepareSchema();
}

bool Database::OpenServer(const ServerConfig& server)
{
    Close();
    dialect_ = Dialect::Postgres;
    fault_ = Fault::None;
    error_.clear();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return fail(Fault::Unreachable, QStringLiteral("the PostgreSQL driver of Qt SQL is not installed"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
    setOwner(name_);
    db.setHostName(server.host);
    if (server.port > 0)
        db.setPort(server.port);
    db.setDatabaseName(server.database);
    db.setUserName(server.user);
    db.setConnectOptions(server.options);
    if (!db.open())
        return fail(Fault::Unreachable, db.lastError().text());
    QSqlQuery q(db);
    q.exec(QStringLiteral("SET client_min_messages TO WARNING"));
    return prepareSchema();
}

bool Database::prepareSchema()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    {
        // Up to date: nothing to lock (and a read-only file can still be listed).
        QSqlQuery q(db);
        if (q.exec(SelectVersion()) && q.next() && q.value(0).toInt() == kSchemaVersion)
            return true;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!begin())
            return false;
        QSqlQuery q(db);
        if (dialect_ == Dialect::Postgres) {
            // Two tools creating the tables at once: the second waits and then finds them.
            if (!q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(4711240)"))) {
                fail(q.lastError());
                rollback();
                return false;
            }
        }
        if (!q.exec(CreateMetaTable())) {
            fail(q.lastError());
            rollback();
            continue;
        }
        int version = 0;
        if (!q.exec(SelectVersion())) {
            fail(q.lastError());
            rollback();
            return false;
        }
        const bool hasRow = q.next();
        if (hasRow)
            version = q.value(0).toInt();
        q.finish();
        if (version == kSchemaVersion) {
            return commit();
        }
        // A server already in use is never changed by a tool; a newer local file neither.
        if (version > kSchemaVersion || (dialect_ == Dialect::Postgres && version != 0)) {
            rollback();
            return fail(Fault::NewerSchema,
                        QStringLiteral("it has version %1, this tool uses %2").arg(version).arg(kSchemaVersion));
        }
        for (int v = version + 1; v <= kSchemaVersion; ++v)
            for (const QString& stmt : MigrationStep(dialect_, v))
                if (!q.exec(stmt)) {
                    fail(q.lastError());
                    rollback();
                    return false;
                }
        q.prepare(hasRow ? UpdateVersion() : InsertVersion());
        q.addBindValue(QString::number(kSchemaVersion));
        if (!q.exec()) {
            fail(q.lastError());
            rollback();
            return false;
        }
        return commit();
    }
    return false;
}

bool Database::insert(const Record& r, bool server, bool* inserted)
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO service_record (id, serial, firmware, type_text, bus_address, at_utc, "
                             "front_end, os_user, host, kind, action, result, reason, full_set, field_count) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") +
              (server ? QStringLiteral(" ON CONFLICT (id) DO NOTHING") : QString()));
    for (const QVariant& v : QVariantList{sqlText(r.id), sqlText(r.serial), sqlText(r.firmware), sqlText(r.typeText),
                                          sqlText(r.busAddress), TimeText(r.at), sqlText(r.frontEnd), sqlText(r.user),
                                          sqlText(r.host), KindWord(r.kind), sqlText(r.action), ResultWord(r.result),
                                          sqlText(r.reason), r.fullSet ? 1 : 0, static_cast<int>(r.fields.size())})
        q.addBindValue(v);
    if (!q.exec())
        return fail(q.lastError());
    *inserted = q.numRowsAffected() == 1;
    if (!*inserted)
        return true;
    if (!r.fields.empty()) {
        QVariantList ids, pos, keys, units, found, left;
        for (size_t i = 0; i < r.fields.size(); ++i) {
            const FieldChange& f = r.fields[i];
            ids << r.id;
            pos << static_cast<int>(i);
            keys << sqlText(f.key);
            units << sqlText(f.unit);
            found << sqlText(f.found);
            left << sqlText(f.left);
        }
        QSqlQuery fq(db);
        fq.prepare(QStringLiteral(
            "INSERT INTO service_field (record_id, pos, field_key, unit, as_found, as_left) VALUES (?, ?, ?, ?, ?, ?)"));
        for (const QVariantList& col : {ids, pos, keys, units, found, left})
            fq.addBindValue(col);
        if (!fq.execBatch())
            return fail(fq.lastError());
    }
    if (!server) {
        QSqlQuery oq(db);
        oq.prepare(QStringLiteral("INSERT INTO outbox (record_id) VALUES (?)"));
        oq.addBindValue(r.id);
        if (!oq.exec())
            return fail(oq.lastError());
    }
    return true;
}

bool Database::Add(const Record& r)
{
    if (!IsOpen())
        return fail(fault_ == Fault::None ? Fault::Other : fault_, error_);
    if (!begin())
        return false;
    bool inserted = false;
    if (!insert(r, false, &inserted)) {
        const Fault f = fault_;
        const QString e = error_;
        rollback();
        return fail(f, e);
    }
    return commit();
}

bool Database::AddToServer(const std::vector<Record>& records)
{
    if (!IsOpen())
        return fail(Fault::Unreachable, error_);
    if (!begin())
        return false;
    for (const Record& r : records) {
        bool inserted = false;
        if (!insert(r, true, &inserted)) {
            const Fault f = fault_;
            const QString e = error_;
            rollback();
            return fail(f, e);
        }
    }
    return commit();
}

std::optional<std::vector<Record>> Database::select(const QString& where, const QVariantList& binds,
                                                    const QString& order, int limit)
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString lim = limit > 0 ? QStringLiteral(" LIMIT %1").arg(limit) : QString();
    q.prepare(QStringLiteral("SELECT %1 FROM service_record r %2 ORDER BY %3%4")
                  .arg(QLatin1String(kRecordColumns), where, order, lim));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec()) {
        fail(q.lastError());
        return std::nullopt;
    }
    std::vector<Record> out;
    QHash<QString, size_t> index;
    while (q.next()) {
        index.insert(q.value(0).toString(), out.size());
        out.push_back(recordFrom(q));
    }
    if (out.empty())
        return out;
    // The fields of exactly these records, in chunks of ids.
    const QStringList ids = index.keys();
    for (qsizetype from = 0; from < ids.size(); from += 500) {
        const QStringList chunk = ids.mid(from, 500);
        QSqlQuery fq(db);
        fq.setForwardOnly(true);
        QStringList marks;
        for (qsizetype i = 0; i < chunk.size(); ++i)
            marks << QStringLiteral("?");
        fq.prepare(QStringLiteral("SELECT record_id, field_key, unit, as_found, as_left FROM service_field "
                                  "WHERE record_id IN (%1) ORDER BY record_id, pos")
                       .arg(marks.join(QLatin1Char(','))));
        for (const QString& id : chunk)
            fq.addBindValue(id);
        if (!fq.exec()) {
            fail(fq.lastError());
            return std::nullopt;
        }
        while (fq.next())
            out[index.value(fq.value(0).toString())].fields.push_back(
                {fq.value(1).toString(), fq.value(2).toString(), fq.value(3).toString(), fq.value(4).toString()});
    }
    return out;
}

std::optional<std::vector<Record>> Database::List(const ListQuery& lq)
{
    QStringList conds;
    QVariantList binds;
    if (!lq.serial.isEmpty()) {
        conds << QStringLiteral("r.serial = ?");
        binds << lq.serial;
    }
    if (lq.since.isValid()) {
        conds << QStringLiteral("r.at_utc >= ?");
        binds << TimeText(lq.since);
    }
    const QString where = conds.isEmpty() ? QString() : QStringLiteral("WHERE ") + conds.join(QStringLiteral(" AND "));
    return select(where, binds, QStringLiteral("r.at_utc DESC, r.id DESC"), lq.limit);
}

std::optional<bool> Database::HasFullSetSince(const QString& serial, const QDateTime& since)
{
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.prepare(QStringLiteral("SELECT 1 FROM service_record WHERE serial = ? AND at_utc >= ? AND full_set = 1 LIMIT 1"));
    q.addBindValue(serial);
    q.addBindValue(TimeText(since));
    if (!q.exec()) {
        fail(q.lastError());
        return std::nullopt;
    }
    return q.next();
}

std::optional<std::vector<Record>> Database::Pending(int max)
{
    return select(QStringLiteral("JOIN outbox o ON o.record_id = r.id"), {}, QStringLiteral("r.at_utc, r.id"), max);
}

bool Database::MarkSent(const QStringList& ids)
{
    if (!begin())
        return false;
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.prepare(QStringLiteral("DELETE FROM outbox WHERE record_id = ?"));
    QVariantList list;
    for (const QString& id : ids)
        list << id;
    q.addBindValue(list);
    if (!q.execBatch()) {
        fail(q.lastError());
        rollback();
        return false;
    }
    return commit();
}

std::optional<int> Database::PendingCount()
{
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM outbox")) || !q.next()) {
        fail(q.lastError());
        return std::nullopt;
    }
    return q.value(0).toInt();
}

QString Database::IntegrityCheck()
{
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(QStringLiteral("PRAGMA integrity_check")))
        return q.lastError().text();
    QStringList lines;
    while (q.next())
        lines << q.value(0).toString();
    return lines.join(QLatin1Char('\n'));
}

std::optional<int> Database::IncompleteRecords()
{
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM service_record r WHERE r.field_count <> "
                               "(SELECT COUNT(*) FROM service_field f WHERE f.record_id = r.id)")) ||
        !q.next()) {
        fail(q.lastError());
        return std::nullopt;
    }
    return q.value(0).toInt();
}

} // namespace kadex::history
