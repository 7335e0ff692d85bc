#pragma once
// The history's databases through Qt SQL: the local SQLite file (write-ahead logging, one
// transaction per record, an outbox of records not yet on the server) and a shared PostgreSQL
// server. A Database is one connection and belongs to the thread that opened it.
#include "history/HistoryRecord.h"
#include "history/HistorySchema.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

class QSqlDatabase;
class QSqlError;

namespace kadex::history {

// Why the history could not keep a record or read the database.
enum class Fault {
    None,
    NotADatabase, // the file is something else (or damaged)
    ReadOnly,     // the file or its folder cannot be written
    DiskFull,
    Busy,         // another process held the database too long
    NewerSchema,  // made by a newer tool (local file) or another schema version (server)
    Unreachable,  // the server cannot be reached or refused the login
    Other,
};

// English text of a fault for a path or server; for stderr and the trace.
QString FaultText(Fault f, const QString& where, const QString& detail);
// The same in German for the window.
QString FaultTextGerman(Fault f, const QString& where, const QString& detail);

// A shared server as the user gave it: libpq key=value words ("host=db port=5432 dbname=kadex
// user=svc") or a URI ("postgresql://svc@db:5432/kadex"). A password is refused: it comes from
// ~/.pgpass or PGPASSWORD only.
struct ServerConfig {
    QString host, database, user;
    int port = -1;
    QString options; // the other libpq words, "connect_timeout=5;sslmode=require"
    QString Display() const; // "svc@db:5432/kadex" for messages
};
std::optional<ServerConfig> ParseServer(const QString& dsn, QString* error);

// The local history file: KadexHistory.db beside the tool settings; empty when the per-user
// folder is unknown.
QString DefaultDatabasePath();

struct ListQuery {
    QString serial;   // empty: every controller
    QDateTime since;  // invalid: from the start
    int limit = 0;    // 0: all
};

class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (creating the file and its folder when missing) and brings the schema up to date.
    bool OpenLocal(const QString& path);
    // Connects to the server and checks its schema: created when the server has none, refused
    // when it has another version (never changed).
    bool OpenServer(const ServerConfig& server);
    bool IsOpen() const;
    void Close();

    // One record in one transaction (with its outbox entry on the local file).
    bool Add(const Record& r);
    // Records on the server: those it has already (by id) are left as they are.
    bool AddToServer(const std::vector<Record>& records);
    // Newest first.
    std::optional<std::vector<Record>> List(const ListQuery& q);
    // Whether a full set of this controller was stored at or after since.
    std::optional<bool> HasFullSetSince(const QString& serial, const QDateTime& since);
    // The oldest records of the outbox, and taking them out once the server has them.
    std::optional<std::vector<Record>> Pending(int max);
    bool MarkSent(const QStringList& ids);
    std::optional<int> PendingCount();
    // SQLite's integrity check: "ok" or what it found.
    QString IntegrityCheck();
    // Records whose stored field rows do not match their field count (a half record).
    std::optional<int> IncompleteRecords();

    Fault LastFault() const { return fault_; }
    QString LastError() const { return error_; }
    Dialect dialect() const { return dialect_; }
    QString ConnectionName() const { return name_; }

private:
    bool prepareSchema();
    bool openLocalSteps(QSqlDatabase& db);
    bool fail(const QSqlError& e);
    bool fail(Fault f, const QString& text);
    std::optional<std::vector<Record>> select(const QString& where, const QVariantList& binds, const QString& order,
                                              int limit);
    bool insert(const Record& r, bool server, bool* inserted);
    bool begin();
    bool commit();
    void rollback();

    QString name_;
    Dialect dialect_ = Dialect::Sqlite;
    Fault fault_ = Fault::None;
    QString error_;
};

} // namespace kadex::history
