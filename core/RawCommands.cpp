#include "core/RawCommands.h"

#include "common/TextFile.h"

#include <QFileInfo>

namespace kadex {

namespace {

bool decimalByte(const QString& field, int lo, int hi, uint8_t& out)
{
    const QString t = field.trimmed();
    if (t.isEmpty() || t.size() > 3)
        return false;
    for (QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    const int v = t.toInt();
    if (v < lo || v > hi)
        return false;
    out = static_cast<uint8_t>(v);
    return true;
}

} // namespace

QString RawTemplate::EntryText() const
{
    if (!usable())
        return QStringLiteral("[unbrauchbar: %1] %2").arg(problem, line.trimmed());
    return QStringLiteral("%1: %2").arg(code).arg(name);
}

std::optional<RawTemplate> ParseTemplateLine(const QString& line)
{
    if (!line.contains(QLatin1Char(';')))
        return std::nullopt;
    RawTemplate t;
    t.line = line;
    // Only fields ended by ";" count; what follows the last one is not read.
    QStringList fields = line.split(QLatin1Char(';'));
    fields.removeLast();
    if (fields.size() < 3) {
        t.problem = QStringLiteral("Code, Länge und Name erwartet");
        return t;
    }
    t.name = fields[2].trimmed();
    if (!decimalByte(fields[0], 0, 255, t.code)) {
        t.problem = QStringLiteral("Code '%1' ist keine Zahl 0..255").arg(fields[0].trimmed());
        return t;
    }
    if (!decimalByte(fields[1], 1, 7, t.n)) {
        t.problem = QStringLiteral("Länge '%1' ist keine Zahl 1..7").arg(fields[1].trimmed());
        return t;
    }
    const int need = t.n - 1;
    if (fields.size() - 3 < need) {
        t.problem = QStringLiteral("%1 Datenbytes erwartet, %2 vorhanden").arg(need).arg(fields.size() - 3);
        return t;
    }
    for (int i = 0; i < need; ++i) {
        uint8_t b = 0;
        if (!decimalByte(fields[3 + i], 0, 255, b)) {
            t.problem = QStringLiteral("Datenbyte %1 '%2' ist keine Zahl 0..255").arg(i + 1).arg(fields[3 + i].trimmed());
            t.payload.clear();
            return t;
        }
        t.payload.push_back(b);
    }
    return t;
}

RawTemplateFile ParseRawTemplates(const QStringList& lines)
{
    RawTemplateFile f;
    for (const QString& line : lines) {
        if (std::optional<RawTemplate> t = ParseTemplateLine(line)) {
            if (!t->usable())
                ++f.unusable;
            f.templates.push_back(std::move(*t));
        }
    }
    if (f.templates.empty())
        f.message = QStringLiteral("Die Vorlagendatei enthält keine Kommandovorlagen.");
    else if (f.unusable > 0)
        f.message = QStringLiteral("%1 Vorlage(n) der Datei sind unbrauchbar und werden nicht gesendet.").arg(f.unusable);
    return f;
}

RawTemplateFile LoadRawTemplates(const QString& path)
{
    QStringList lines;
    QString error;
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        RawTemplateFile f;
        f.message = QStringLiteral("Die Vorlagendatei ZBCommands.txt wurde nicht gefunden; die Liste bleibt leer.");
        return f;
    }
    if (!ReadTextFileLines(path, lines, &error)) {
        RawTemplateFile f;
        f.message = QStringLiteral("Die Vorlagendatei %1 kann nicht gelesen werden (%2); die Liste bleibt leer.")
                        .arg(path, error);
        return f;
    }
    RawTemplateFile f = ParseRawTemplates(lines);
    if (f.templates.empty())
        f.message = QStringLiteral("Die Vorlagendatei %1 enthält keine Kommandovorlagen.").arg(path);
    return f;
}

std::vector<uint8_t> RawTelegram(const RawTemplate& t, uint8_t header)
{
    std::vector<uint8_t> b;
    b.reserve(static_cast<size_t>(t.n) + 3);
    b.push_back(header);
    b.push_back(t.code);
    b.insert(b.end(), t.payload.begin(), t.payload.end());
    b.push_back(TZBCmd::CheckA(b.data(), b.size()));
    b.push_back(TZBCmd::CheckB(b.data(), b.size()));
    return b;
}

RawSendResult SendRawTemplate(TZBCmd& zb, const RawTemplate& t)
{
    RawSendResult r;
    if (!t.usable()) {
        r.problem = t.problem;
        return r;
    }
    std::lock_guard<std::recursive_mutex> bus(zb.BusMutex());
    r.request = RawTelegram(t, zb.BuildHeader(t.n));
    if (!zb.SendTelegram(r.request.data(), r.request.size())) {
        r.problem = QStringLiteral("nicht gesendet");
        return r;
    }
    uint8_t buf[256];
    uint8_t len = 0;
    if (zb.ReceiveAnswer(buf, len)) {
        r.answer.assign(buf, buf + len);
        r.outcome = RawSendResult::Outcome::Answered;
    } else {
        r.outcome = RawSendResult::Outcome::NoAnswer;
    }
    return r;
}

} // namespace kadex
