#include "settings/VavFile.h"

#include "common/TextFile.h"

#include <cmath>
#include <limits>

namespace kadex {

namespace {

// How a data column is checked. Columns not listed take any text.
enum class Check { Any, Int, Real, Text16, Flag, SensorCode };
struct ColumnRule {
    Check check;
    double min, max;
};

ColumnRule ruleFor(int column)
{
    constexpr double big = std::numeric_limits<int32_t>::max();
    switch (column) {
    case 5: return {Check::Int, 1, 65535};     // V'nom
    case 6: case 7: return {Check::Int, 0, 65535}; // V'max, V'min
    case 8: return {Check::Real, 0, 100};      // V'mid %
    case 9: return {Check::Real, 0, 33149};    // conductance
    case 10: return {Check::Real, 0, 63.999};  // density kg/m³ (1024ths in 16 bits)
    case 11: case 12: return {Check::Text16, 0, 0};
    case 13: case 15: return {Check::Real, 0, 8};  // start voltages
    case 14: case 16: return {Check::Real, 0, 10}; // stop voltages
    case 17: case 18: case 23: case 24: case 25: case 26: return {Check::Int, 0, 10000}; // mV
    case 19: case 20: return {Check::Int, 0, big}; // in display units of any unit set
    case 21: return {Check::Int, 0, 65535};
    case 22: return {Check::Int, 0, 100};
    case 27: return {Check::Flag, 0, 1};
    case 28: return {Check::Int, 0, 65535};
    case 29: return {Check::Int, 0, 4294967295.0}; // password; may be empty
    case 30: return {Check::Real, 0, 8800};
    case 31: return {Check::Real, -148.6, 10000};
    case 32: return {Check::Real, 0, 100};
    case 34: return {Check::SensorCode, 1, 2};
    default: return {Check::Any, 0, 0};
    }
}

bool isPlainNumber(const QString& t, bool integer)
{
    if (t.isEmpty())
        return false;
    int i = 0;
    if (t[0] == QLatin1Char('-'))
        ++i;
    bool digits = false, point = false;
    for (; i < t.size(); ++i) {
        if (t[i].isDigit() && t[i].unicode() < 128)
            digits = true;
        else if (t[i] == QLatin1Char('.') && !integer && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

QString checkColumn(int column, const QString& text)
{
    const ColumnRule r = ruleFor(column);
    switch (r.check) {
    case Check::Any: return {};
    case Check::Text16:
        return text.size() <= 16 ? QString() : QStringLiteral("text longer than 16 characters");
    case Check::Flag:
        return text.trimmed() == QLatin1String("0") || text.trimmed() == QLatin1String("1")
                   ? QString()
                   : QStringLiteral("'%1' is neither 0 nor 1").arg(text);
    case Check::SensorCode:
        return text == QLatin1String("1") || text == QLatin1String("2")
                   ? QString()
                   : QStringLiteral("sensor type code '%1' is neither 1 nor 2").arg(text);
    case Check::Int:
    case Check::Real: {
        if (column == 29 && text.isEmpty())
            return {};
        const bool integer = r.check == Check::Int;
        if (!isPlainNumber(text, integer))
            return QStringLiteral("'%1' is not %2").arg(text, integer ? QStringLiteral("a whole number")
                                                                      : QStringLiteral("a number"));
        const double v = text.toDouble();
        if (!std::isfinite(v) || v < r.min || v > r.max)
            return QStringLiteral("%1 is out of range %2 .. %3").arg(text).arg(r.min, 0, 'g', 12).arg(r.max, 0, 'g', 12);
        return {};
    }
    }
    return {};
}

// The decoded text has no character outside code page 1252 by construction; what is refused is
// what a text editor or another program would have made of it.
bool checkBytes(const QByteArray& bytes, VavError& e)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        e = {1, 1, QStringLiteral("the file starts with a byte-order mark; it must be code page 1252")};
        return false;
    }
    int line = 1, column = 1;
    bool high = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\n') {
            ++line;
            column = 1;
            continue;
        }
        if (b == '\t')
            ++column;
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
            e = {line, column, QStringLiteral("byte 0x%1 is not a character of code page 1252").arg(b, 2, 16, QLatin1Char('0'))};
            return false;
        }
        if (b < 0x20 && b != '\t' && b != '\r') {
            e = {line, column, QStringLiteral("control byte 0x%1 (not a text file)").arg(b, 2, 16, QLatin1Char('0'))};
            return false;
        }
        high = high || b >= 0x80;
    }
    // Text that is valid UTF-8 with characters beyond ASCII was saved in the wrong code page.
    if (high && QString::fromUtf8(bytes).toUtf8() == bytes && !QString::fromUtf8(bytes).contains(QChar::ReplacementCharacter)) {
        const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
        for (int l = 0; l < lines.size(); ++l)
            for (const QChar c : lines[l])
                if (c.unicode() >= 0x80) {
                    const int col = 1 + static_cast<int>(lines[l].left(lines[l].indexOf(c)).count(QLatin1Char('\t')));
                    e = {l + 1, col, QStringLiteral("the text is UTF-8, not code page 1252")};
                    return false;
                }
    }
    return true;
}

} // namespace

QString VavVersionLine() { return QStringLiteral("Defaultdatei Kadex\t Version 2.11"); }

QString VavError::Text() const
{
    QString where = QStringLiteral("line %1").arg(line);
    if (column > 0)
        where += QStringLiteral(", column %1").arg(column);
    return where + QStringLiteral(": ") + reason;
}

bool EncodeVavFile(const QString& header, const QString& values, QByteArray& bytes, QString* error)
{
    const QStringList lines{VavVersionLine(), header, values};
    QByteArray out;
    for (int l = 0; l < lines.size(); ++l) {
        const QString& text = lines[l];
        for (qsizetype i = 0; i < text.size(); ++i)
            if (Cp1252Byte(text[i]) < 0 || (text[i].unicode() < 0x20 && text[i] != QLatin1Char('\t'))) {
                if (error)
                    *error = VavError{l + 1, 1 + static_cast<int>(text.left(i).count(QLatin1Char('\t'))),
                                      QStringLiteral("'%1' cannot be written in code page 1252").arg(text[i])}
                                 .Text();
                return false;
            }
        out += ToCp1252(text);
        out += "\r\n";
    }
    bytes = out;
    return true;
}

bool ParseVavFile(const QByteArray& bytes, QString& header, QString& values, VavError& error)
{
    if (!checkBytes(bytes, error))
        return false;
    // Exactly three lines, each ended by CR LF.
    QList<QByteArray> raw = bytes.split('\n');
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast();
    else if (!raw.isEmpty()) {
        error = {static_cast<int>(raw.size()), 0, QStringLiteral("the last line has no line end (CR LF)")};
        return false;
    }
    if (raw.size() != 3) {
        error = {std::min<int>(static_cast<int>(raw.size()) + 1, 4), 0,
                 raw.size() < 3 ? QStringLiteral("line missing: the file must have three lines, it has %1").arg(raw.size())
                                : QStringLiteral("the file must have three lines, it has %1").arg(raw.size())};
        return false;
    }
    QStringList lines;
    for (int l = 0; l < 3; ++l) {
        if (!raw[l].endsWith('\r') || raw[l].chopped(1).contains('\r')) {
            error = {l + 1, 0, QStringLiteral("the line does not end in CR LF")};
            return false;
        }
        lines.append(FromCp1252(raw[l].chopped(1)));
    }
    const QStringList head = lines[1].split(QLatin1Char('\t'));
    const QStringList data = lines[2].split(QLatin1Char('\t'));
    for (int l : {2, 3}) {
        const qsizetype n = (l == 2 ? head : data).size();
        if (n != kVavColumns && n != 29 && n != 32) {
            error = {l, static_cast<int>(std::min<qsizetype>(n, kVavColumns + 1)),
                     QStringLiteral("%1 columns; the file needs 34 (older files 29 or 32)").arg(n)};
            return false;
        }
    }
    if (head.size() != data.size()) {
        error = {3, static_cast<int>(std::min(head.size(), data.size())) + 1,
                 QStringLiteral("the data line has %1 columns, the header %2").arg(data.size()).arg(head.size())};
        return false;
    }
    // The units the data are given in are read from these headers.
    for (int c : {5, 8}) {
        const QString& h = head[c - 1];
        const qsizetype open = h.indexOf(QLatin1Char('['));
        if (open < 0 || h.indexOf(QLatin1Char(']'), open) < 0) {
            error = {2, c, QStringLiteral("the header '%1' names no unit in [ ]").arg(h)};
            return false;
        }
    }
    for (int c = 1; c <= data.size(); ++c) {
        const QString why = checkColumn(c, data[c - 1]);
        if (!why.isEmpty()) {
            error = {3, c, why};
            return false;
        }
    }
    header = lines[1];
    values = lines[2];
    return true;
}

} // namespace kadex
