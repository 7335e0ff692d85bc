#pragma once
// The device snapshot document: the three records under their field names (RecordFields.h),
// a format name and version, and the identification of the device it was read from. Reading
// checks every value against its field before anything reaches a device; applying puts the
// values into the window fields and refuses a file whose fields do not hold together.
#include "device/RecordFields.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <vector>

namespace kadex::snapshot {

inline constexpr const char* kFormat = "kadex-snapshot";
inline constexpr int kVersion = 1;
inline constexpr qint64 kMaxFileSize = 1 << 20;

// One field of one record.
struct FieldRef {
    const recfields::Record* record;
    const recfields::RecordField* field;
    QString Key() const; // "calibration.Dichte"
};
// Every field of the three records in table order.
const std::vector<FieldRef>& AllFields();

struct Entry {
    FieldRef ref;
    QJsonValue value;
};

// Why a file or one of its values cannot be written; key empty for the file as a whole.
struct Refusal {
    QString key;
    QString reason;
    QString Message() const { return key.isEmpty() ? reason : key + QStringLiteral(": ") + reason; }
};

struct Parsed {
    std::vector<Entry> entries;
    std::vector<Refusal> refused;
    bool Ok() const { return refused.empty(); }
};

// Checks a document: format and version, known records and keys, no key twice, every value
// fitting its field. Secret fields are taken only with withSecrets.
Parsed Parse(const QByteArray& json, bool withSecrets);

// The document's bytes: a regular file of at most kMaxFileSize bytes (no device, no pipe).
bool ReadFile(const QString& path, QByteArray& bytes, QString& error);

// The path ("operating.VmaxPrz") of the first key an object of the document holds twice;
// empty when none. The document must be valid JSON.
QString DuplicateKey(const QByteArray& json);

struct DeviceInfo {
    QString serialNumber, firmware, typeText, busAddress;
    QDateTime readAt;
};

// The document of the values the model holds.
QJsonObject Document(const WindowModel& m, const DeviceInfo& device, bool withSecrets);

// Every field's value as the model holds it, in AllFields order.
std::vector<QJsonValue> ValuesOf(const WindowModel& m);

// Puts the entries into the model (choices first, so that the values they bring are then
// overwritten by the file's), then checks that the model holds every entry as given and every
// field the file leaves out as before (where it is shown both before and after: the pressure
// sensor family comes and goes with the sensor type). The refusals; the model is not to be written after one.
std::vector<Refusal> Apply(WindowModel& m, const std::vector<Entry>& entries);

// A value for a message; secret fields are not shown.
QString ShownValue(const FieldRef& ref, const QJsonValue& v);

} // namespace kadex::snapshot
