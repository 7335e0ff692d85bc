#include "history/HistoryRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

namespace kadex::history {

namespace {
struct KindName {
    Kind kind;
    const char* word;
};
constexpr KindName kKinds[] = {
    {Kind::Read, "read"},         {Kind::Write, "write"},     {Kind::FocusedWrite, "focused-write"},
    {Kind::ReadBack, "read-back"}, {Kind::Ambient, "ambient"}, {Kind::Address, "address"},
    {Kind::Other, "other"},
};
struct ResultName {
    Result result;
    const char* word;
};
constexpr ResultName kResults[] = {
    {Result::Ok, "ok"},          {Result::Verified, "verified"}, {Result::Written, "written"},
    {Result::NotHeld, "not-held"}, {Result::Refused, "refused"},   {Result::Failed, "failed"},
};

QJsonValue jsonValue(const QString& text)
{
    if (text.isEmpty())
        return QJsonValue::Null;
    // Wrapped in an array: QJsonDocument takes only arrays and objects.
    const QJsonDocument d = QJsonDocument::fromJson(QByteArray("[") + text.toUtf8() + "]");
    return d.isArray() && d.array().size() == 1 ? d.array().at(0) : QJsonValue(text);
}
} // namespace

QString KindWord(Kind k)
{
    for (const KindName& n : kKinds)
        if (n.kind == k)
            return QString::fromLatin1(n.word);
    return QStringLiteral("other");
}

Kind KindFromWord(const QString& w)
{
    for (const KindName& n : kKinds)
        if (w == QLatin1String(n.word))
            return n.kind;
    return Kind::Other;
}

QString ResultWord(Result r)
{
    for (const ResultName& n : kResults)
        if (n.result == r)
            return QString::fromLatin1(n.word);
    return QStringLiteral("failed");
}

Result ResultFromWord(const QString& w)
{
    for (const ResultName& n : kResults)
        if (w == QLatin1String(n.word))
            return n.result;
    return Result::Failed;
}

QString NewRecordId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

QString CurrentUser()
{
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QString CurrentHost() { return QSysInfo::machineHostName(); }

QString TimeText(const QDateTime& t) { return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")); }

QDateTime TimeFromText(const QString& s)
{
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : t;
}

QJsonObject ToJson(const Record& r)
{
    QJsonArray fields;
    for (const FieldChange& f : r.fields) {
        QJsonObject o{{QStringLiteral("key"), f.key},
                      {QStringLiteral("found"), jsonValue(f.found)},
                      {QStringLiteral("left"), jsonValue(f.left)}};
        if (!f.unit.isEmpty())
            o[QStringLiteral("unit")] = f.unit;
        fields.append(o);
    }
    return QJsonObject{
        {QStringLiteral("id"), r.id},
        {QStringLiteral("serial"), r.serial},
        {QStringLiteral("firmware"), r.firmware},
        {QStringLiteral("type"), r.typeText},
        {QStringLiteral("address"), r.busAddress},
        {QStringLiteral("time"), TimeText(r.at)},
        {QStringLiteral("front_end"), r.frontEnd},
        {QStringLiteral("user"), r.user},
        {QStringLiteral("host"), r.host},
        {QStringLiteral("kind"), KindWord(r.kind)},
        {QStringLiteral("action"), r.action},
        {QStringLiteral("result"), ResultWord(r.result)},
        {QStringLiteral("reason"), r.reason},
        {QStringLiteral("full_set"), r.fullSet},
        {QStringLiteral("fields"), fields},
    };
}

QString ShownValue(const QString& json)
{
    if (json.isEmpty())
        return QStringLiteral("(unknown)");
    const QJsonValue v = jsonValue(json);
    if (v.isString())
        return v.toString();
    return json;
}

QString CsvQuote(const QString& s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')) &&
        !s.contains(QLatin1Char('\r')))
        return s;
    return QLatin1Char('"') + QString(s).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString CsvHeading()
{
    return QStringLiteral("time,serial,firmware,type,address,front_end,user,host,kind,action,result,reason,field,unit,"
                          "as_found,as_left,id");
}

QStringList CsvRows(const Record& r)
{
    const QStringList head{r.at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                           r.serial,
                           r.firmware,
                           r.typeText,
                           r.busAddress,
                           r.frontEnd,
                           r.user,
                           r.host,
                           KindWord(r.kind),
                           r.action,
                           ResultWord(r.result),
                           r.reason};
    auto row = [&](const QStringList& field) {
        QStringList cols;
        for (const QString& c : head + field + QStringList{r.id})
            cols << CsvQuote(c);
        return cols.join(QLatin1Char(','));
    };
    QStringList rows;
    for (const FieldChange& f : r.fields)
        rows << row({f.key, f.unit, f.found.isEmpty() ? QString() : ShownValue(f.found),
                     f.left.isEmpty() ? QString() : ShownValue(f.left)});
    if (rows.isEmpty())
        rows << row({QString(), QString(), QString(), QString()});
    return rows;
}

} // namespace kadex::history

namespace kadex::history {

QStringList ReportLines(const std::vector<Record>& newestFirst)
{
    QStringList lines{QStringLiteral("Verlauf: zuletzt vorgefunden / hinterlassen")};
    for (const Record& r : newestFirst) {
        const bool write = r.kind == Kind::Write || r.kind == Kind::FocusedWrite || r.kind == Kind::Ambient;
        if (!write || r.fields.empty())
            continue;
        lines << QStringLiteral("  %1  %2 (%3)  %4@%5")
                     .arg(r.at.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")), r.action, ResultWord(r.result),
                          r.user, r.host);
        for (const FieldChange& f : r.fields) {
            QString unit = f.unit;
            unit.replace(QChar(0x221A), QStringLiteral("sqrt")); // not in the printout's code page
            lines << QStringLiteral("  %1: %2 -> %3 %4")
                         .arg(f.key, ShownValue(f.found), ShownValue(f.left), unit)
                         .trimmed()
                         .prepend(QStringLiteral("  "));
        }
        return lines;
    }
    lines << QStringLiteral("  (keine Änderung gespeichert)");
    return lines;
}

} // namespace kadex::history
