#include "device/SnapshotFile.h"

#include "device/model/WindowModel.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace kadex::snapshot {

using recfields::RecordField;
using recfields::Type;

QString FieldRef::Key() const
{
    return QLatin1String(record->key) + QLatin1Char('.') + QLatin1String(field->key);
}

const std::vector<FieldRef>& AllFields()
{
    static const std::vector<FieldRef> all = [] {
        std::vector<FieldRef> out;
        for (const recfields::Record& r : recfields::Records())
            for (const RecordField& f : r.fields)
                out.push_back({&r, &f});
        return out;
    }();
    return all;
}

QString ShownValue(const FieldRef& ref, const QJsonValue& v)
{
    return ref.field->secret ? QStringLiteral("(not shown)") : recfields::Shown(v);
}

bool ReadFile(const QString& path, QByteArray& bytes, QString& error)
{
    // A device or a pipe could block or never end; only a regular file is opened.
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("cannot read %1: no such file").arg(path);
        return false;
    }
    if (!info.isFile()) {
        error = QStringLiteral("cannot read %1: not a regular file").arg(path);
        return false;
    }
    if (info.size() > kMaxFileSize) {
        error = QStringLiteral("%1 is larger than %2 bytes, too large for a snapshot").arg(path).arg(kMaxFileSize);
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    bytes = f.read(kMaxFileSize + 1);
    if (bytes.size() > kMaxFileSize) {
        error = QStringLiteral("%1 is larger than %2 bytes, too large for a snapshot").arg(path).arg(kMaxFileSize);
        return false;
    }
    return true;
}

QString DuplicateKey(const QByteArray& s)
{
    struct Level {
        bool object;
        QString path;
        QString lastKey;
        QSet<QString> keys;
    };
    std::vector<Level> stack;
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = s[i];
        if (c == '"') {
            qsizetype j = i + 1;
            for (bool esc = false; j < n; ++j) {
                if (esc)
                    esc = false;
                else if (s[j] == '\\')
                    esc = true;
                else if (s[j] == '"')
                    break;
            }
            qsizetype k = j + 1;
            while (k < n && (s[k] == ' ' || s[k] == '\t' || s[k] == '\r' || s[k] == '\n'))
                ++k;
            if (k < n && s[k] == ':' && !stack.empty() && stack.back().object) {
                const QByteArray raw = s.mid(i, j - i + 1);
                const QString key = raw.contains('\\')
                    ? QJsonDocument::fromJson("[" + raw + "]").array().at(0).toString()
                    : QString::fromUtf8(raw.mid(1, raw.size() - 2));
                Level& l = stack.back();
                if (l.keys.contains(key))
                    return l.path.isEmpty() ? key : l.path + QLatin1Char('.') + key;
                l.keys.insert(key);
                l.lastKey = key;
            }
            i = j;
        } else if (c == '{' || c == '[') {
            QString path;
            if (!stack.empty())
                path = stack.back().object
                    ? (stack.back().path.isEmpty() ? stack.back().lastKey
                                                   : stack.back().path + QLatin1Char('.') + stack.back().lastKey)
                    : stack.back().path;
            stack.push_back({c == '{', path, {}, {}});
        } else if ((c == '}' || c == ']') && !stack.empty()) {
            stack.pop_back();
        }
    }
    return {};
}

Parsed Parse(const QByteArray& json, bool withSecrets)
{
    Parsed p;
    auto refuse = [&p](const QString& key, const QString& reason) { p.refused.push_back({key, reason}); };
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError) {
        refuse({}, QStringLiteral("not JSON: %1 at offset %2").arg(pe.errorString()).arg(pe.offset));
        return p;
    }
    if (!doc.isObject()) {
        refuse({}, QStringLiteral("a snapshot is one JSON object"));
        return p;
    }
    if (const QString dup = DuplicateKey(json); !dup.isEmpty()) {
        refuse(dup, QStringLiteral("is given twice"));
        return p;
    }
    const QJsonObject all = doc.object();
    if (all.value(QLatin1String("format")) != QJsonValue(QLatin1String(kFormat)))
        refuse(QStringLiteral("format"), QStringLiteral("must be \"%1\"").arg(QLatin1String(kFormat)));
    if (all.value(QLatin1String("version")) != QJsonValue(kVersion))
        refuse(QStringLiteral("version"), QStringLiteral("must be %1").arg(kVersion));
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QString& name = it.key();
        if (name == QLatin1String("format") || name == QLatin1String("version"))
            continue;
        if (name == QLatin1String("device")) {
            // What the file was read from; not written.
            if (!it.value().isObject())
                refuse(name, QStringLiteral("must be an object"));
            continue;
        }
        const recfields::Record* rec = recfields::FindRecord(name);
        if (!rec) {
            refuse(name, QStringLiteral("is not a part of a snapshot (format, version, device, operating, "
                                        "calibration, parameters)"));
            continue;
        }
        if (!it.value().isObject()) {
            refuse(name, QStringLiteral("must be an object of fields"));
            continue;
        }
        const QJsonObject fields = it.value().toObject();
        for (auto fi = fields.begin(); fi != fields.end(); ++fi) {
            const QString key = name + QLatin1Char('.') + fi.key();
            const RecordField* f = recfields::FindField(*rec, fi.key());
            if (!f) {
                refuse(key, QStringLiteral("is not a field of the %1 record").arg(name));
                continue;
            }
            if (f->secret && !withSecrets) {
                refuse(key, QStringLiteral("is written only when asked for (--with-password)"));
                continue;
            }
            const QString bad = recfields::CheckValue(*f, fi.value());
            if (!bad.isEmpty()) {
                refuse(key, f->secret ? QStringLiteral("is not a valid password (%1)").arg(recfields::Allowed(*f)) : bad);
                continue;
            }
            p.entries.push_back({{rec, f}, fi.value()});
        }
    }
    if (!p.Ok())
        p.entries.clear();
    return p;
}

std::vector<QJsonValue> ValuesOf(const WindowModel& m)
{
    std::vector<QJsonValue> out;
    for (const FieldRef& r : AllFields())
        out.push_back(recfields::ReadField(m, *r.field));
    return out;
}

QJsonObject Document(const WindowModel& m, const DeviceInfo& device, bool withSecrets)
{
    QJsonObject doc;
    doc[QLatin1String("format")] = QLatin1String(kFormat);
    doc[QLatin1String("version")] = kVersion;
    QJsonObject dev;
    dev[QLatin1String("serialNumber")] = device.serialNumber;
    dev[QLatin1String("firmware")] = device.firmware;
    dev[QLatin1String("typeText")] = device.typeText;
    dev[QLatin1String("busAddress")] = device.busAddress;
    dev[QLatin1String("readAt")] = device.readAt.toUTC().toString(Qt::ISODate);
    doc[QLatin1String("device")] = dev;
    for (const recfields::Record& r : recfields::Records()) {
        QJsonObject rec;
        for (const RecordField& f : r.fields) {
            if (f.secret && !withSecrets)
                continue;
            const QJsonValue v = recfields::ReadField(m, f);
            if (!v.isUndefined())
                rec[QLatin1String(f.key)] = v;
        }
        doc[QLatin1String(r.key)] = rec;
    }
    return doc;
}

std::vector<Refusal> Apply(WindowModel& m, const std::vector<Entry>& entries)
{
    const std::vector<FieldRef>& all = AllFields();
    const std::vector<QJsonValue> before = ValuesOf(m);
    auto isChoice = [](const Entry& e) { return e.ref.field->type == Type::Choice || e.ref.field->type == Type::Flag; };
    for (const bool choices : {true, false})
        for (const FieldRef& r : all)
            for (const Entry& e : entries)
                if (e.ref.field == r.field && isChoice(e) == choices)
                    recfields::ApplyField(m, *e.ref.field, e.value);
    const std::vector<QJsonValue> after = ValuesOf(m);
    std::vector<Refusal> out;
    for (size_t i = 0; i < all.size(); ++i) {
        const FieldRef& r = all[i];
        const Entry* given = nullptr;
        for (const Entry& e : entries)
            if (e.ref.field == r.field)
                given = &e;
        if (given && !recfields::SameValue(*r.field, given->value, after[i]))
            out.push_back({r.Key(), QStringLiteral("does not go with the file's other fields: it would be %1, not %2")
                                        .arg(ShownValue(r, after[i]), ShownValue(r, given->value))});
        else if (!given && !before[i].isUndefined() && !after[i].isUndefined()
                 && !recfields::SameValue(*r.field, before[i], after[i]))
            out.push_back({r.Key(), QStringLiteral("would change from %1 to %2 with the file's other fields; give it in "
                                                   "the file to confirm")
                                        .arg(ShownValue(r, before[i]), ShownValue(r, after[i]))});
    }
    return out;
}

} // namespace kadex::snapshot
