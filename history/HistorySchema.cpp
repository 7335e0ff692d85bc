#include "history/HistorySchema.h"

namespace kadex::history {

QString CreateMetaTable()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS kadex_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)");
}

QString SelectVersion() { return QStringLiteral("SELECT value FROM kadex_meta WHERE name = 'schema_version'"); }
QString InsertVersion() { return QStringLiteral("INSERT INTO kadex_meta (name, value) VALUES ('schema_version', ?)"); }
QString UpdateVersion() { return QStringLiteral("UPDATE kadex_meta SET value = ? WHERE name = 'schema_version'"); }

QStringList MigrationStep(Dialect d, int toVersion)
{
    switch (toVersion) {
    case 1: {
        QStringList s{
            QStringLiteral("CREATE TABLE service_record ("
                           "id TEXT PRIMARY KEY, serial TEXT NOT NULL, firmware TEXT NOT NULL, "
                           "type_text TEXT NOT NULL, bus_address TEXT NOT NULL, at_utc TEXT NOT NULL, "
                           "front_end TEXT NOT NULL, os_user TEXT NOT NULL, host TEXT NOT NULL, kind TEXT NOT NULL, "
                           "action TEXT NOT NULL, result TEXT NOT NULL, reason TEXT NOT NULL, "
                           "full_set INTEGER NOT NULL, field_count INTEGER NOT NULL)"),
            QStringLiteral("CREATE INDEX service_record_serial_at ON service_record (serial, at_utc)"),
            QStringLiteral("CREATE INDEX service_record_at ON service_record (at_utc)"),
            QStringLiteral("CREATE TABLE service_field ("
                           "record_id TEXT NOT NULL REFERENCES service_record (id), pos INTEGER NOT NULL, "
                           "field_key TEXT NOT NULL, unit TEXT NOT NULL, as_found TEXT NOT NULL, "
                           "as_left TEXT NOT NULL, PRIMARY KEY (record_id, pos))"),
        };
        if (d == Dialect::Sqlite)
            s << QStringLiteral("CREATE TABLE outbox (record_id TEXT PRIMARY KEY REFERENCES service_record (id))");
        return s;
    }
    default:
        return {};
    }
}

} // namespace kadex::history
