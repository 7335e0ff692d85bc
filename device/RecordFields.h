#pragma once
// The fields of the three device records as a snapshot names them: per record, the list of
// (key, window field, unit, device scale, range). The snapshot commands take every key, type,
// unit and range from here; values are in the physical unit of the record's field (never a
// scaled integer) and do not depend on the unit set the window shows.
#include "device/model/Fields.h"

#include <QJsonValue>
#include <QString>

#include <vector>

namespace kadex {

class WindowModel;

namespace recfields {

enum class Type {
    Number, // a JSON number, a whole multiple of step within min .. max
    Text,   // a JSON string of characters the device's code page holds, no control characters
    Choice, // a JSON string, one of the choice words
    Flag,   // true or false
};

// One word of a choice and what it stands for in the window: the radio buttons that mean it
// (the first is the one chosen when none is checked yet) or the item of a list.
struct Choice {
    const char* word;
    std::vector<FieldId> radios;
    int item = -1;
};

struct RecordField {
    const char* key;        // the record member's name
    FieldId field;          // the window field (the list, or the first radio of a choice)
    Type type;
    const char* unit = "";  // the physical unit of the value
    double deviceScale = 1; // device units per unit of the value (density: 1024)
    double windowScale = 1; // units of the value per unit the window shows (W1: 1000 mV per V)
    double step = 1;        // the value is a whole multiple of this
    double min = 0, max = 0;
    int maxChars = 0;
    std::vector<Choice> choices;
    bool secret = false;    // left out unless asked for (the OEM password)
    // Older firmware holds a narrower range: below firmwareFrom the value is at most olderMax.
    uint16_t firmwareFrom = 0;
    double olderMax = 0;
    const char* meaning = "";

    // Decimals of the window text: what the step needs in window units.
    int WindowDecimals() const;
};

struct Record {
    const char* key; // "operating", "calibration", "parameters"
    std::vector<RecordField> fields;
};

// The three records in write order.
const std::vector<Record>& Records();
const Record* FindRecord(const QString& key);
const RecordField* FindField(const Record& rec, const QString& key);

// The field's value as the window holds it; undefined where the window holds none (the
// pressure sensor family while a volume signal sensor is chosen).
QJsonValue ReadField(const WindowModel& m, const RecordField& f);
// Why the value cannot be written to the field; empty when it can.
QString CheckValue(const RecordField& f, const QJsonValue& v);
// Why the device with this firmware cannot hold the value; empty when it can.
QString CheckForFirmware(const RecordField& f, const QJsonValue& v, uint16_t firmware);
// Puts a checked value into the window fields as typing or clicking would.
void ApplyField(WindowModel& m, const RecordField& f, const QJsonValue& v);
// Equal within half a step.
bool SameValue(const RecordField& f, const QJsonValue& a, const QJsonValue& b);
// The value for a message: a number, a quoted text, true/false, "(none)".
QString Shown(const QJsonValue& v);
// "0.5 .. 2 kg/m³", "one of flow, pressure", "up to 16 characters", "true or false".
QString Allowed(const RecordField& f);

} // namespace recfields
} // namespace kadex
