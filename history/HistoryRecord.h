#pragma once
// One entry of a controller's service history: who did what to which controller, with the
// value each touched field held before (as found) and after (as left), and how it ended.
// Pure data; the stores are in HistoryStore.h.
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace kadex::history {

enum class Kind {
    Read,         // the three records read ("Lesen", the read after a connect, kadex-cli read)
    Write,        // the three records written ("Setzen", snapshot and calibration-set writes)
    FocusedWrite, // "Setzen" of one focused field
    ReadBack,     // a read right after a write of the same controller: compares what was left
    Ambient,      // the ambient conditions written
    Address,      // a new bus address
    Other,
};

enum class Result {
    Ok,       // a read, an addressing or an ambient write that went through
    Verified, // written and read back equal
    Written,  // written, not read back
    NotHeld,  // read back and found different from what was written
    Refused,  // not written: the values were refused before any write
    Failed,   // the transfer failed (reason says where)
};

// "read", "write", ... and back; Other for an unknown word.
QString KindWord(Kind k);
Kind KindFromWord(const QString& w);
QString ResultWord(Result r);
Result ResultFromWord(const QString& w);

struct FieldChange {
    QString key;   // "calibration.Dichte": the snapshot's field name
    QString unit;  // the snapshot's unit, empty for texts and choices
    QString found; // the value before, as JSON text ("1.2", "\"Kadex\"", "true"); empty: unknown
    QString left;  // the value after; empty: unknown
    bool operator==(const FieldChange&) const = default;
};

struct Record {
    QString id; // made where the record is created; unique across machines
    QString serial, firmware, typeText, busAddress;
    QDateTime at; // UTC
    QString frontEnd, user, host;
    Kind kind = Kind::Other;
    QString action; // the action's name as the action log has it
    Result result = Result::Ok;
    QString reason; // why it failed or was refused; empty otherwise
    bool fullSet = false; // fields hold every field the controller showed (a day's first read)
    std::vector<FieldChange> fields;
    bool operator==(const Record&) const = default;
};

// A new unique record id (a random UUID without braces).
QString NewRecordId();
// The operating-system user and the host name of this process.
QString CurrentUser();
QString CurrentHost();

// The stored form of a time: UTC, milliseconds, "2026-12-11T16:33:40.123Z" (sorts as text).
QString TimeText(const QDateTime& t);
QDateTime TimeFromText(const QString& s);

// The record as JSON (kadex-cli history --json): time in UTC, fields with found / left values
// as JSON values.
QJsonObject ToJson(const Record& r);
// A value's JSON text as shown to a person: numbers and words bare, "(unknown)" when empty.
QString ShownValue(const QString& json);

// The CSV export: a heading and one row per field (a record without fields gets one row),
// comma-separated, quoted where needed, times in local time.
QString CsvHeading();
QStringList CsvRows(const Record& r);
QString CsvQuote(const QString& s);

} // namespace kadex::history

namespace kadex::history {

// The printout's lines for a controller's history (newest first): the last write that
// changed fields, with each field as found and as left; one line saying so when there is none.
QStringList ReportLines(const std::vector<Record>& newestFirst);

} // namespace kadex::history
