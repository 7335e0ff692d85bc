// The device snapshot commands: "read --all", "write SNAPSHOT.json" and "diff SNAPSHOT.json".
// They run on a headless main-window core, so connecting, "Lesen" and "Setzen" are the
// window's own chains.
#include "cli/CliCommon.h"
#include "sim/SimLink.h"

#include "common/Paths.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"
#include "mainwindow/core/MainCore.h"
#include "mainwindow/core/ValueEntry.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <map>

namespace kadex::cli {

namespace {

struct SnapshotRecord {
    const char* key;
    QStringList fields;
};

// The fields of each record: those its comparison with the device copy looks at.
const std::vector<SnapshotRecord>& records()
{
    static const std::vector<SnapshotRecord> table{
        {"operating",
         {"EditVmaxPrz", "EditVmidPrz", "EditVminPrz", "EditPositionInput", "EditW1Min", "EditW1Max", "EditU5Min",
          "EditU5Max"}},
        {"calibration",
         {"EditPasswordInput", "EditVnomM3", "EditVAVLwErmittelt", "EditVAVDichte", "SpinEditVAVPmin",
          "SpinEditVAVPmax", "SpinEditVAVPnom", "SpinEditVAVPtot", "SpinEditVAVPverz", "SpinEditVAVVtot",
          "SpinEditVAVYmin", "SpinEditVAVYmax", "SpinEditVAVYRmin", "SpinEditVAVYRmax", "RadioButtonVAVYLinear",
          "RadioButtonVAVY2_10V", "SpinEditLZAntrieb", "EditOEMInputOEM", "RadioButtonVolumenstrom",
          "RadioButtonDruckanwendung", "RadioButtonSensTypVolumenstr", "RadioButtonSensTypDruck",
          "RadioButtonSensTypDSK3Druck"}},
        {"parameters",
         {"EditVAVK", "SpinEditVAVT1", "SpinEditVAVTv", "SpinEditVAVTn", "CheckBoxVAVAdaptiv", "SpinEditSnrJahr",
          "SpinEditSnrWoche", "ComboBoxSnrTag", "SpinEditSnrNum", "SpinEditSnrSuffix", "SpinEditSnrDevFam",
          "SpinEditSnrTestStation", "RadioButtonVAVSensorIntern", "RadioButtonVAVSensorExtern"}},
    };
    return table;
}

const SnapshotRecord* findRecord(const QString& key)
{
    for (const SnapshotRecord& r : records())
        if (key == QLatin1String(r.key))
            return &r;
    return nullptr;
}

bool isBool(const FieldState& s) { return s.kind == Kind::Check || s.kind == Kind::Radio; }
bool isNumeric(const FieldState& s) { return s.kind == Kind::Spin || s.isNumber(); }

// The field as the snapshot holds it: a number, a text or a boolean.
QJsonValue fieldValue(const WindowModel& m, const QString& name)
{
    const FieldState s = m.state(name);
    if (isBool(s))
        return s.checked;
    if (s.kind == Kind::Spin)
        return s.value;
    if (s.kind == Kind::Combo)
        return s.itemIndex >= 0 && s.itemIndex < s.items.size() ? QJsonValue(s.items[s.itemIndex]) : QJsonValue();
    if (s.isNumber()) {
        bool ok = false;
        const double v = s.text.trimmed().toDouble(&ok);
        return ok ? QJsonValue(v) : QJsonValue();
    }
    return s.text;
}

QJsonObject snapshotOf(const WindowModel& m)
{
    QJsonObject all;
    for (const SnapshotRecord& r : records()) {
        QJsonObject rec;
        for (const QString& f : r.fields)
            rec[f] = fieldValue(m, f);
        all[QLatin1String(r.key)] = rec;
    }
    return all;
}

QString shown(const QJsonValue& v)
{
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 12);
    if (v.isString())
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    return QStringLiteral("null");
}

bool sameValue(const FieldState& s, const QJsonValue& a, const QJsonValue& b)
{
    if (a.isDouble() && b.isDouble()) {
        const int dec = s.isNumber() ? s.decimals : 0;
        return std::abs(a.toDouble() - b.toDouble()) < 0.5 * std::pow(10.0, -dec);
    }
    return a == b;
}

// One value of the file, checked against the field's kind and limits.
struct Entry {
    QString record, field;
    QJsonValue value;
    QString Key() const { return record + QLatin1Char('.') + field; }
};

struct Snapshot {
    std::vector<Entry> entries;
};

int snapshotError(const QString& msg)
{
    err() << "kadex-cli: " << msg << Qt::endl;
    return ExitUsage;
}

// Checks one value; empty when it fits the field.
QString checkValue(const FieldState& s, const QString& key, const QJsonValue& v)
{
    if (isBool(s)) {
        if (!v.isBool())
            return QStringLiteral("%1 must be true or false").arg(key);
        return {};
    }
    if (s.kind == Kind::Combo) {
        if (!v.isString() || !s.items.contains(v.toString()))
            return QStringLiteral("%1 must be one of %2").arg(key, s.items.join(QStringLiteral(", ")));
        return {};
    }
    if (isNumeric(s)) {
        if (!v.isDouble())
            return QStringLiteral("%1 must be a number").arg(key);
        const double d = v.toDouble();
        const int dec = s.kind == Kind::Spin ? 0 : s.decimals;
        const double scaled = d * std::pow(10.0, dec);
        if (std::abs(scaled - std::round(scaled)) > 1e-6)
            return dec == 0 ? QStringLiteral("%1 must be a whole number, not %2").arg(key, shown(v))
                            : QStringLiteral("%1 takes at most %2 decimals, not %3").arg(key).arg(dec).arg(shown(v));
        if (s.ranged && (d < s.minimum || d > s.maximum))
            return QStringLiteral("%1 is %2, out of its range %3 .. %4")
                .arg(key, shown(v), QString::number(s.minimum, 'g', 12), QString::number(s.maximum, 'g', 12));
        return {};
    }
    if (!v.isString())
        return QStringLiteral("%1 must be a text").arg(key);
    if (s.maxChars > 0 && v.toString().size() > s.maxChars)
        return QStringLiteral("%1 is longer than %2 characters").arg(key).arg(s.maxChars);
    return {};
}

// Reads and checks the file; false (with the message printed) when it cannot be written.
bool loadSnapshot(const QString& path, const WindowModel& m, Snapshot& snap, QString& error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError) {
        error = QStringLiteral("%1 is not JSON: %2 at offset %3").arg(path, pe.errorString()).arg(pe.offset);
        return false;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("%1 must hold one JSON object with the members operating, calibration, parameters")
                    .arg(path);
        return false;
    }
    const QJsonObject all = doc.object();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const SnapshotRecord* rec = findRecord(it.key());
        if (!rec) {
            error = QStringLiteral("unknown record '%1' (known: operating, calibration, parameters)").arg(it.key());
            return false;
        }
        if (!it.value().isObject()) {
            error = QStringLiteral("%1 must be an object of fields").arg(it.key());
            return false;
        }
        const QJsonObject fields = it.value().toObject();
        std::map<QString, int> trueInGroup, givenInGroup;
        for (auto fi = fields.begin(); fi != fields.end(); ++fi) {
            const QString key = it.key() + QLatin1Char('.') + fi.key();
            if (!rec->fields.contains(fi.key())) {
                error = QStringLiteral("unknown key %1").arg(key);
                return false;
            }
            const FieldState s = m.state(fi.key());
            const QString bad = checkValue(s, key, fi.value());
            if (!bad.isEmpty()) {
                error = bad;
                return false;
            }
            if (s.kind == Kind::Radio) {
                ++givenInGroup[s.group];
                if (fi.value().toBool() && ++trueInGroup[s.group] > 1) {
                    error = QStringLiteral("%1: only one choice of its group can be true").arg(key);
                    return false;
                }
            }
            snap.entries.push_back({it.key(), fi.key(), fi.value()});
        }
        // A group given in full must have its choice.
        for (const auto& [group, given] : givenInGroup) {
            int members = 0;
            QString first;
            for (const QString& name : rec->fields)
                if (m.state(name).kind == Kind::Radio && m.state(name).group == group) {
                    ++members;
                    if (first.isEmpty())
                        first = it.key() + QLatin1Char('.') + name;
                }
            if (given == members && trueInGroup[group] == 0) {
                error = QStringLiteral("%1: one choice of its group must be true").arg(first);
                return false;
            }
        }
    }
    return true;
}

// Puts the file's values into the fields: radios by choosing the true one.
void applySnapshot(WindowModel& m, const Snapshot& snap)
{
    for (const Entry& e : snap.entries) {
        const FieldState s = m.state(e.field);
        if (isBool(s)) {
            if (s.kind == Kind::Check || e.value.toBool())
                m.setChecked(e.field, e.value.toBool());
        } else if (s.kind == Kind::Combo) {
            m.setItemIndex(e.field, static_cast<int>(s.items.indexOf(e.value.toString())));
        } else if (s.kind == Kind::Spin) {
            m.setValue(e.field, e.value.toDouble());
        } else if (s.isNumber()) {
            m.setText(e.field, QString::number(e.value.toDouble(), 'f', s.decimals));
        } else {
            m.setText(e.field, e.value.toString());
        }
    }
}

// The value-entry rules a write must meet; false with the message when one is broken.
bool checkEntryRules(const WindowModel& m, uint16_t firmware, double factor, QString& error)
{
    const auto violations = ValidateSnapshotFields(m, firmware, factor);
    if (violations.empty())
        return true;
    error = QStringLiteral("operating.%1: %2").arg(violations.front().field, violations.front().message);
    return false;
}

// A headless core on the port the options name, connected as the window connects.
class Session {
public:
    explicit Session(const Options& o) : o_(o), core_(model_, o.simulate ? sim::MakeSimulatedLink().transport : nullptr)
    {
        model_.setMisuse(WindowModel::Misuse::Warn);
        ConfigureCore(core_, o, sink_);
        WatchBus(core_.ZB, core_.VAVBetrieb.IdentStop, true);
    }
    ~Session()
    {
        FinishBus(ExitOk);
        SetErrorPort(nullptr);
        SetErrorBus(nullptr);
        core_.ZB.SetClosing(true);
        core_.Close();
    }
    // The command's exit status, or ExitRelease when the identification's motor stop could not
    // be released.
    int Finish(int rc) { return FinishBus(rc); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the port, identifies the controller and reads the three records ("Lesen").
    // ExitOk or the exit status with its message printed.
    int Connect()
    {
        if (!core_.Com.OpenPort())
            return portError(o_, core_.Com);
        SetErrorPort(&core_.Com);
        SetErrorBus(&core_.ZB);
        if (!core_.COMVerbinden())
            return deviceError(o_);
        return Read();
    }
    int Read() { return core_.ButtonLesenClick() ? ExitOk : failure(); }
    int Write() { return core_.ButtonSetzenClick() ? ExitOk : failure(); }

    WindowModel& Model() { return model_; }
    TMainCore& Core() { return core_; }

private:
    int failure()
    {
        if (core_.Com.LinkLost())
            return portLostError(core_.Com);
        return deviceError(o_);
    }

    const Options& o_;
    WindowModel model_{mainWindowFields()};
    StderrSink sink_;
    TMainCore core_;
};

// The fields whose device value differs from the file's.
struct Difference {
    QString key;
    QJsonValue file, device;
};

std::vector<Difference> differences(const WindowModel& m, const Snapshot& snap)
{
    std::vector<Difference> out;
    for (const Entry& e : snap.entries) {
        const QJsonValue device = fieldValue(m, e.field);
        if (!sameValue(m.state(e.field), e.value, device))
            out.push_back({e.Key(), e.value, device});
    }
    return out;
}

int readAll(Session& s, const Options& o)
{
    if (const int rc = s.Connect(); rc != ExitOk)
        return rc;
    const QJsonObject snap = snapshotOf(s.Model());
    if (o.json) {
        printJson(snap);
        return ExitOk;
    }
    for (const SnapshotRecord& r : records()) {
        const QJsonObject rec = snap.value(QLatin1String(r.key)).toObject();
        for (const QString& f : r.fields)
            out() << r.key << '.' << f << ": " << Printable(shown(rec.value(f))) << '\n';
    }
    out().flush();
    return ExitOk;
}

} // namespace

int writeSnapshot(Session& s, const Options& o, const Snapshot& snap);
int diffSnapshot(Session& s, const Options& o, const Snapshot& snap);

int runReadAll(const Options& o)
{
    Session s(o);
    return s.Finish(readAll(s, o));
}

int runWrite(const Options& o)
{
    // Everything the file alone can tell is checked before the port is opened.
    QString error;
    Snapshot snap;
    {
        WindowModel scratch(mainWindowFields());
        scratch.setMisuse(WindowModel::Misuse::Warn);
        if (!loadSnapshot(o.args.value(0), scratch, snap, error))
            return snapshotError(error);
        applySnapshot(scratch, snap);
        if (!checkEntryRules(scratch, coupling::FirmwareVminOfVnom, 1.0, error))
            return snapshotError(error);
    }
    Session s(o);
    return s.Finish(writeSnapshot(s, o, snap));
}

int writeSnapshot(Session& s, const Options& o, const Snapshot& snap)
{
    QString error;
    if (const int rc = s.Connect(); rc != ExitOk)
        return rc;
    applySnapshot(s.Model(), snap);
    // Again with the device's firmware and the fields the file left as they were.
    if (!checkEntryRules(s.Model(), s.Core().Ctx.FirmwareVersion, s.Core().Ctx.DisplayFactor(), error))
        return snapshotError(error);
    if (const int rc = s.Write(); rc != ExitOk)
        return rc;
    if (const int rc = s.Read(); rc != ExitOk)
        return rc;
    const auto diffs = differences(s.Model(), snap);
    for (const Difference& d : diffs)
        err() << "kadex-cli: " << d.key << " was written as " << shown(d.file) << " but the device holds "
              << shown(d.device) << Qt::endl;
    if (o.json) {
        QJsonObject obj;
        obj[QStringLiteral("written")] = static_cast<int>(snap.entries.size());
        QJsonArray notHeld;
        for (const Difference& d : diffs)
            notHeld.append(d.key);
        obj[QStringLiteral("notHeld")] = notHeld;
        printJson(obj);
    } else if (diffs.empty()) {
        out() << "Wrote " << snap.entries.size() << " fields; the device holds them as written.\n";
        out().flush();
    }
    return diffs.empty() ? ExitOk : ExitDevice;
}

int runDiff(const Options& o)
{
    QString error;
    Snapshot snap;
    {
        WindowModel scratch(mainWindowFields());
        scratch.setMisuse(WindowModel::Misuse::Warn);
        if (!loadSnapshot(o.args.value(0), scratch, snap, error))
            return snapshotError(error);
    }
    Session s(o);
    return s.Finish(diffSnapshot(s, o, snap));
}

int diffSnapshot(Session& s, const Options& o, const Snapshot& snap)
{
    if (const int rc = s.Connect(); rc != ExitOk)
        return rc;
    const auto diffs = differences(s.Model(), snap);
    if (o.json) {
        QJsonArray arr;
        for (const Difference& d : diffs) {
            QJsonObject obj;
            obj[QStringLiteral("key")] = d.key;
            obj[QStringLiteral("file")] = d.file;
            obj[QStringLiteral("device")] = d.device;
            arr.append(obj);
        }
        out() << QJsonDocument(arr).toJson(QJsonDocument::Indented);
    } else {
        for (const Difference& d : diffs)
            out() << d.key << ": file " << Printable(shown(d.file)) << ", device " << Printable(shown(d.device)) << '\n';
    }
    out().flush();
    return diffs.empty() ? ExitOk : ExitDiffers;
}

} // namespace kadex::cli
