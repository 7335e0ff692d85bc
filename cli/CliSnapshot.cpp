// The device snapshot commands: "read --all", "write SNAPSHOT.json" and "diff SNAPSHOT.json".
// They run on a headless main-window core, so connecting, "Lesen" and "Setzen" are the
// window's own chains. The keys, units and limits all come from the record field table.
#include "cli/CliCommon.h"
#include "sim/SimLink.h"

#include "device/Identify.h"
#include "device/SnapshotFile.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"
#include "core/MainCore.h"
#include "core/ValueEntry.h"

#include <QDateTime>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <unistd.h>

namespace kadex::cli {

namespace {

using snapshot::Entry;
using snapshot::FieldRef;
using snapshot::Refusal;

// Standard error as it was, remembering the last error line for the --json failure object.
class StderrTee : public QIODevice {
public:
    StderrTee() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    QString LastError() const { return last_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 n) override
    {
        std::fwrite(data, 1, static_cast<size_t>(n), stderr);
        std::fflush(stderr);
        pending_.append(data, static_cast<qsizetype>(n));
        for (qsizetype nl = pending_.indexOf('\n'); nl >= 0; nl = pending_.indexOf('\n')) {
            const QByteArray line = pending_.left(nl);
            pending_.remove(0, nl + 1);
            if (line.startsWith("kadex-cli: "))
                last_ = QString::fromUtf8(line.mid(11));
        }
        return n;
    }

private:
    QByteArray pending_;
    QString last_;
};

StderrTee& tee()
{
    static StderrTee t;
    return t;
}

// Where a command's outcome goes: with --json, a failure is also an object on standard output.
class Outcome {
public:
    explicit Outcome(const Options& o) : json_(o.json)
    {
        if (json_ && err().device() != &tee()) {
            err().flush();
            err().setDevice(&tee());
        }
    }
    // The exit status; a failure prints its object unless one was printed already.
    int Finish(int rc, QJsonObject obj = {})
    {
        if (!json_ || (rc == ExitOk && obj.isEmpty()))
            return rc;
        if (rc != ExitOk) {
            if (!obj.contains(QStringLiteral("error")))
                obj[QStringLiteral("error")] = tee().LastError();
            obj[QStringLiteral("exit_code")] = rc;
        }
        printJson(obj);
        return rc;
    }

private:
    bool json_;
};

size_t indexOf(const FieldRef& r)
{
    const auto& all = snapshot::AllFields();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].field == r.field)
            return i;
    return all.size();
}

QJsonArray keysOf(const std::vector<const Entry*>& entries)
{
    QJsonArray a;
    for (const Entry* e : entries)
        a.append(e->ref.Key());
    return a;
}

// Prints the refusals; the object for --json lists them.
QJsonObject refused(const std::vector<Refusal>& refusals)
{
    QJsonArray list;
    for (const Refusal& r : refusals) {
        err() << "kadex-cli: " << r.Message() << Qt::endl;
        QJsonObject o;
        o[QStringLiteral("key")] = r.key;
        o[QStringLiteral("reason")] = r.reason;
        list.append(o);
    }
    QJsonObject obj;
    obj[QStringLiteral("refused")] = list;
    if (!refusals.empty())
        obj[QStringLiteral("error")] = refusals.front().Message();
    return obj;
}

// The file, read and checked before any bus traffic; ExitOk or ExitUsage with the refusals
// printed and put into obj.
int loadFile(const Options& o, snapshot::Parsed& p, QJsonObject& obj)
{
    QByteArray bytes;
    QString error;
    if (!snapshot::ReadFile(o.args.value(0), bytes, error)) {
        obj = refused({{QString(), error}});
        return ExitUsage;
    }
    p = snapshot::Parse(bytes, o.withPassword);
    if (p.Ok())
        return ExitOk;
    obj = refused(p.refused);
    return ExitUsage;
}

// The OEM password is printed only where nobody reads along.
int passwordOnTerminal(const Options& o)
{
    if (o.withPassword && isatty(STDOUT_FILENO))
        return usageError(QStringLiteral("--with-password does not print the password on a terminal; redirect "
                                         "the output into a file"));
    return ExitOk;
}

// A headless core on the port the options name, connected as the window connects.
class Session {
public:
    explicit Session(const Options& o) : o_(o), core_(model_, o.simulate ? sim::MakeSimulatedLink().transport : nullptr)
    {
        model_.setMisuse(WindowModel::Misuse::Warn);
        ConfigureCore(core_, o, sink_);
        // Snapshot values are in device units, whatever unit set the window would show.
        core_.Ctx.UnitIndex = 0;
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
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    // The command's exit status, or ExitRelease when the identification's motor stop could not
    // be released.
    int Finish(int rc) { return FinishBus(rc); }

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
        const int rc = Read();
        readAt_ = QDateTime::currentDateTimeUtc();
        // The OEM text written is the OEM tab's, which a read fills with the device's.
        model_.setChecked(fld::RadioButtonOEMInputOEM, true);
        return rc;
    }
    int Read() { return core_.ButtonLesenClick() ? ExitOk : failure(); }
    int Write() { return core_.ButtonSetzenClick() ? ExitOk : failure(); }

    WindowModel& Model() { return model_; }
    TMainCore& Core() { return core_; }
    snapshot::DeviceInfo Device() const
    {
        return {core_.VAVBetrieb.SerNr(), IdentInfo::Hex4(core_.Ctx.FirmwareVersion), model_.text(fld::EditFenwix),
                model_.text(fld::EditZBAdr), readAt_};
    }

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
    QDateTime readAt_;
};

// The value-entry rules a write must meet (V'max at least 30 %, the 2 V rule, ...), named by
// the snapshot key of the field they concern.
std::vector<Refusal> entryRules(Session& s)
{
    std::vector<Refusal> out;
    for (const auto& v : ValidateSnapshotFields(s.Model(), s.Core().Ctx.FirmwareVersion, s.Core().Ctx.DisplayFactor())) {
        QString key = v.field;
        for (const FieldRef& r : snapshot::AllFields())
            if (r.field->field.name() == v.field)
                key = r.Key();
        out.push_back({key, v.message});
    }
    return out;
}

} // namespace

int runReadAll(const Options& o)
{
    Outcome outcome(o);
    if (const int rc = passwordOnTerminal(o); rc != ExitOk)
        return outcome.Finish(rc);
    Session s(o);
    if (const int rc = s.Connect(); rc != ExitOk)
        return outcome.Finish(s.Finish(rc));
    const QJsonObject doc = snapshot::Document(s.Model(), s.Device(), o.withPassword);
    if (o.json)
        return outcome.Finish(s.Finish(ExitOk), doc);
    for (const FieldRef& r : snapshot::AllFields()) {
        const QJsonValue v = doc.value(QLatin1String(r.record->key)).toObject().value(QLatin1String(r.field->key));
        if (v.isUndefined())
            continue;
        out() << r.Key() << ": " << Printable(recfields::Shown(v));
        if (*r.field->unit && r.field->type == recfields::Type::Number)
            out() << ' ' << QString::fromUtf8(r.field->unit);
        out() << '\n';
    }
    out().flush();
    return s.Finish(ExitOk);
}

int runWrite(const Options& o)
{
    Outcome outcome(o);
    // Everything the file alone can tell is checked before the port is opened.
    snapshot::Parsed file;
    QJsonObject obj;
    if (const int rc = loadFile(o, file, obj); rc != ExitOk)
        return outcome.Finish(rc, obj);
    Session s(o);
    if (const int rc = s.Connect(); rc != ExitOk)
        return outcome.Finish(s.Finish(rc));
    const std::vector<QJsonValue> before = snapshot::ValuesOf(s.Model());
    // Then what needs the device: the fields left out, the firmware; nothing is written on a refusal.
    std::vector<Refusal> refusals;
    for (const Entry& e : file.entries)
        if (const QString why = recfields::CheckForFirmware(*e.ref.field, e.value, s.Core().Ctx.FirmwareVersion);
            !why.isEmpty())
            refusals.push_back({e.ref.Key(), why});
    if (refusals.empty())
        refusals = snapshot::Apply(s.Model(), file.entries);
    if (refusals.empty())
        refusals = entryRules(s);
    if (!refusals.empty())
        return outcome.Finish(s.Finish(ExitUsage), refused(refusals));

    std::vector<const Entry*> written, unchanged, notHeld;
    for (const Entry& e : file.entries)
        (recfields::SameValue(*e.ref.field, e.value, before[indexOf(e.ref)]) ? unchanged : written).push_back(&e);
    if (!written.empty()) {
        if (const int rc = s.Write(); rc != ExitOk)
            return outcome.Finish(s.Finish(rc));
        if (const int rc = s.Read(); rc != ExitOk)
            return outcome.Finish(s.Finish(rc));
    }
    const std::vector<QJsonValue> now = snapshot::ValuesOf(s.Model());
    for (const Entry& e : file.entries) {
        const QJsonValue held = now[indexOf(e.ref)];
        if (recfields::SameValue(*e.ref.field, e.value, held))
            continue;
        notHeld.push_back(&e);
        err() << "kadex-cli: " << e.ref.Key() << " was written as " << snapshot::ShownValue(e.ref, e.value)
              << " but the device holds " << snapshot::ShownValue(e.ref, held) << Qt::endl;
    }
    obj = QJsonObject{};
    obj[QStringLiteral("written")] = keysOf(written);
    obj[QStringLiteral("unchanged")] = keysOf(unchanged);
    obj[QStringLiteral("refused")] = QJsonArray();
    obj[QStringLiteral("not_held")] = keysOf(notHeld);
    const int rc = notHeld.empty() ? ExitOk : ExitDevice;
    if (o.json)
        return outcome.Finish(s.Finish(rc), obj);
    if (notHeld.empty()) {
        auto list = [](const std::vector<const Entry*>& v) {
            QStringList keys;
            for (const Entry* e : v)
                keys << e->ref.Key();
            return keys.join(QStringLiteral(", "));
        };
        if (written.empty())
            out() << "Nothing to write: the device holds all " << unchanged.size() << " fields of the file.\n";
        else
            out() << "Wrote " << list(written) << "; the device holds "
                  << (written.size() == 1 ? "it" : "them") << " as written."
                  << (unchanged.empty() ? QString() : QStringLiteral(" Already held: %1.").arg(list(unchanged)))
                  << '\n';
        out().flush();
    }
    return s.Finish(rc);
}

int runDiff(const Options& o)
{
    Outcome outcome(o);
    snapshot::Parsed file;
    QJsonObject obj;
    if (const int rc = loadFile(o, file, obj); rc != ExitOk)
        return outcome.Finish(rc, obj);
    Session s(o);
    if (const int rc = s.Connect(); rc != ExitOk)
        return outcome.Finish(s.Finish(rc));
    const std::vector<QJsonValue> now = snapshot::ValuesOf(s.Model());
    QJsonArray arr;
    int differing = 0;
    for (const Entry& e : file.entries) {
        const QJsonValue device = now[indexOf(e.ref)];
        if (recfields::SameValue(*e.ref.field, e.value, device))
            continue;
        ++differing;
        if (o.json) {
            QJsonObject d;
            d[QStringLiteral("key")] = e.ref.Key();
            if (!e.ref.field->secret) {
                d[QStringLiteral("file")] = e.value;
                d[QStringLiteral("device")] = device.isUndefined() ? QJsonValue() : device;
            }
            arr.append(d);
        } else {
            out() << e.ref.Key() << ": file " << Printable(snapshot::ShownValue(e.ref, e.value)) << ", device "
                  << Printable(snapshot::ShownValue(e.ref, device)) << '\n';
        }
    }
    if (o.json)
        out() << QJsonDocument(arr).toJson(QJsonDocument::Indented);
    out().flush();
    return s.Finish(differing == 0 ? ExitOk : ExitDiffers);
}

} // namespace kadex::cli
