#pragma once
// The history's tables, the same on the local SQLite file and on a shared PostgreSQL server,
// with a schema version and the steps that bring a database up to it. Pure text.
#include <QString>
#include <QStringList>

namespace kadex::history {

enum class Dialect { Sqlite, Postgres };

// The version this build writes and reads.
inline constexpr int kSchemaVersion = 1;

// The statements that bring a database from version toVersion - 1 to toVersion (1: from an
// empty database). The local file also gets the outbox of records not yet on the server.
QStringList MigrationStep(Dialect d, int toVersion);

// Creates the version table on an empty database (before the first step).
QString CreateMetaTable();
// The version row: read, first write, change.
QString SelectVersion();
QString InsertVersion();
QString UpdateVersion();

} // namespace kadex::history
