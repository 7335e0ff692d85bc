#include "settings/IniFile.h"

#include "common/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <cmath>
#include <sys/stat.h>
#include <limits>

namespace kadex {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");
const QByteArray kCrLf("\r\n");

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Only blanks and tabs: a no-break space (0xA0) is text.
QStringView trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

QString fold(QStringView name)
{
    return trimBlanks(name).toString().toCaseFolded();
}

QStringView unquote(QStringView v)
{
    if (v.size() >= 2) {
        const QChar q = v.front();
        if ((q == QLatin1Char('"') || q == QLatin1Char('\'')) && v.back() == q)
            return v.mid(1, v.size() - 2);
    }
    return v;
}

// Magnitude and sign of a decimal integer text; nothing when it is not one or exceeds limit.
std::optional<std::pair<bool, uint64_t>> parseDecimal(QStringView text, uint64_t posLimit, uint64_t negLimit)
{
    const QStringView t = trimBlanks(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    const uint64_t limit = negative ? negLimit : posLimit;
    uint64_t value = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const uint64_t digit = c - u'0';
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return std::make_pair(negative, value);
}

} // namespace

std::optional<int32_t> ParseIniInteger(QStringView text)
{
    const auto r = parseDecimal(text, 2147483647ULL, 2147483648ULL);
    if (!r)
        return std::nullopt;
    return static_cast<int32_t>(r->first ? -static_cast<int64_t>(r->second) : static_cast<int64_t>(r->second));
}

std::optional<int64_t> ParseIniInteger64(QStringView text)
{
    const uint64_t maxPos = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    const auto r = parseDecimal(text, maxPos, maxPos + 1);
    if (!r)
        return std::nullopt;
    if (!r->first)
        return static_cast<int64_t>(r->second);
    // -(2^63) does not fit the positive side; build it without overflow.
    return r->second == maxPos + 1 ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(r->second);
}

std::optional<double> ParseIniFloat(QStringView text)
{
    const QStringView t = trimBlanks(text);
    if (t.isEmpty())
        return std::nullopt;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = c.toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

TIniFile::TIniFile(const QString& fileName)
{
    Load(fileName);
}

void TIniFile::clear()
{
    existed_ = false;
    loaded_ = false;
    modified_ = false;
    utf8_ = false;
    lines_.clear();
    parsed_.clear();
    sections_.clear();
}

bool TIniFile::Load(const QString& fileName)
{
    clear();
    fileName_ = fileName;
    if (fileName.isEmpty())
        return false;
    const QFileInfo fi(fileName);
    existed_ = fi.exists();
    // Only regular files: a device or a fifo could block or never end.
    if (!fi.isFile() || fi.size() > MaxFileSize)
        return false;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.read(MaxFileSize + 1);
    if (f.error() != QFileDevice::NoError || data.size() > MaxFileSize)
        return false;
    LoadFromData(data);
    existed_ = true;
    loaded_ = true;
    return true;
}

void TIniFile::LoadFromData(const QByteArray& data)
{
    const bool existed = existed_, loaded = loaded_;
    clear();
    existed_ = existed;
    loaded_ = loaded;
    // Content given while a file is attached differs from that file until it is saved.
    modified_ = loaded;
    utf8_ = data.startsWith(kBom);
    splitLines(data);
    reparse();
}

void TIniFile::splitLines(const QByteArray& data)
{
    const char* p = data.constData();
    const qsizetype n = data.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != '\r' && p[i] != '\n')
            continue;
        const qsizetype textEnd = i;
        if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n')
            ++i;
        lines_.push_back({QByteArray(p + start, textEnd - start), QByteArray(p + textEnd, i + 1 - textEnd)});
        start = i + 1;
    }
    if (start < n)
        lines_.push_back({QByteArray(p + start, n - start), QByteArray()});
}

QByteArray TIniFile::Data() const
{
    QByteArray out;
    qsizetype size = 0;
    for (const Line& l : lines_)
        size += l.text.size() + l.eol.size();
    out.reserve(size);
    for (const Line& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

QString TIniFile::decode(const QByteArray& bytes) const
{
    return utf8_ ? QString::fromUtf8(bytes) : FromCp1252(bytes);
}

QByteArray TIniFile::encode(const QString& text) const
{
    return utf8_ ? text.toUtf8() : ToCp1252(text);
}

TIniFile::Parsed TIniFile::parseLine(int index) const
{
    QByteArray raw = lines_[index].text;
    if (index == 0 && utf8_)
        raw.remove(0, kBom.size());
    const QString text = decode(raw);
    const QStringView t = trimBlanks(text);
    Parsed p;
    if (t.isEmpty()) {
        p.kind = Kind::Blank;
    } else if (t.front() == QLatin1Char(';') || t.front() == QLatin1Char('#')) {
        p.kind = Kind::Comment;
    } else if (t.front() == QLatin1Char('[')) {
        QStringView name = t.mid(1);
        const qsizetype close = name.indexOf(QLatin1Char(']'));
        if (close >= 0)
            name = name.left(close);
        p.kind = Kind::Section;
        p.name = trimBlanks(name).toString();
        p.folded = p.name.toCaseFolded();
    } else {
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq > 0) {
            const QStringView key = trimBlanks(t.left(eq));
            if (!key.isEmpty()) {
                p.kind = Kind::Key;
                p.name = key.toString();
                p.folded = p.name.toCaseFolded();
                p.value = unquote(trimBlanks(t.mid(eq + 1))).toString();
            }
        }
    }
    return p;
}

void TIniFile::rebuildSections()
{
    sections_.clear();
    const int n = static_cast<int>(parsed_.size());
    for (int i = 0; i < n; ++i) {
        if (parsed_[i].kind != Kind::Section)
            continue;
        if (!sections_.empty())
            sections_.back().end = i;
        sections_.push_back({i, n});
    }
}

void TIniFile::reparse()
{
    parsed_.clear();
    parsed_.reserve(lines_.size());
    for (int i = 0; i < static_cast<int>(lines_.size()); ++i)
        parsed_.push_back(parseLine(i));
    rebuildSections();
}

std::vector<TIniFile::Range> TIniFile::rangesOf(const QString& foldedSection) const
{
    std::vector<Range> out;
    for (const Range& r : sections_)
        if (parsed_[r.header].folded == foldedSection)
            out.push_back(r);
    return out;
}

int TIniFile::findKey(QStringView section, QStringView key) const
{
    const QString s = fold(section), k = fold(key);
    for (const Range& r : sections_) {
        if (parsed_[r.header].folded != s)
            continue;
        for (int i = r.header + 1; i < r.end; ++i)
            if (parsed_[i].kind == Kind::Key && parsed_[i].folded == k)
                return i;
    }
    return -1;
}

bool TIniFile::SectionExists(QStringView section) const
{
    return !rangesOf(fold(section)).empty();
}

bool TIniFile::ValueExists(QStringView section, QStringView key) const
{
    return findKey(section, key) >= 0;
}

QString TIniFile::ReadString(QStringView section, QStringView key, const QString& def) const
{
    const int i = findKey(section, key);
    return i >= 0 ? parsed_[i].value : def;
}

int32_t TIniFile::ReadInteger(QStringView section, QStringView key, int32_t def) const
{
    const int i = findKey(section, key);
    if (i < 0)
        return def;
    return ParseIniInteger(parsed_[i].value).value_or(def);
}

double TIniFile::ReadFloat(QStringView section, QStringView key, double def) const
{
    const int i = findKey(section, key);
    if (i < 0)
        return def;
    return ParseIniFloat(parsed_[i].value).value_or(def);
}

QStringList TIniFile::Sections() const
{
    QStringList out;
    QSet<QString> seen;
    for (const Range& r : sections_) {
        const Parsed& p = parsed_[r.header];
        if (!seen.contains(p.folded)) {
            seen.insert(p.folded);
            out.append(p.name);
        }
    }
    return out;
}

QStringList TIniFile::SectionKeys(QStringView section) const
{
    return collectKeys(section, false);
}

QStringList TIniFile::SectionValues(QStringView section) const
{
    return collectKeys(section, true);
}

QStringList TIniFile::collectKeys(QStringView section, bool withValues) const
{
    // First occurrence of each key wins, across repeated sections of the same name.
    QStringList out;
    QSet<QString> seen;
    for (const Range& r : rangesOf(fold(section)))
        for (int i = r.header + 1; i < r.end; ++i) {
            const Parsed& p = parsed_[i];
            if (p.kind == Kind::Key && !seen.contains(p.folded)) {
                seen.insert(p.folded);
                out.append(withValues ? p.name + QLatin1Char('=') + p.value : p.name);
            }
        }
    return out;
}

void TIniFile::insertLine(int index, const QByteArray& text)
{
    // A new line takes the ending of the line before it (or the file's first ending), so a
    // file keeps one style.
    QByteArray eol = kCrLf;
    for (const Line& l : lines_)
        if (!l.eol.isEmpty()) {
            eol = l.eol;
            break;
        }
    if (index > 0) {
        Line& prev = lines_[index - 1];
        if (prev.eol.isEmpty())
            prev.eol = eol;
        eol = prev.eol;
    }
    lines_.insert(lines_.begin() + index, Line{text, eol});
    parsed_.insert(parsed_.begin() + index, parseLine(index));
    rebuildSections();
}

bool TIniFile::WriteString(QStringView section, QStringView key, const QString& value)
{
    const QString sec = trimBlanks(section).toString();
    const QString k = trimBlanks(key).toString();
    if (sec.isEmpty() || sec.contains(QLatin1Char(']')) || sec.contains(QLatin1Char('\r'))
        || sec.contains(QLatin1Char('\n')))
        return false;
    if (k.isEmpty() || k.contains(QLatin1Char('=')) || k.contains(QLatin1Char('\r')) || k.contains(QLatin1Char('\n'))
        || k.front() == QLatin1Char('[') || k.front() == QLatin1Char(';') || k.front() == QLatin1Char('#'))
        return false;
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' '));
    v.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Reading drops surrounding blanks and one pair of quotes; quote such a value so that it
    // reads back as written.
    QString stored = v;
    if (!v.isEmpty() && (isBlank(v.front()) || isBlank(v.back()) || unquote(v).size() != v.size()))
        stored = QLatin1Char('"') + v + QLatin1Char('"');

    const int at = findKey(sec, k);
    if (at >= 0) {
        if (parsed_[at].value == v)
            return true;
        // Keep everything up to the value: indentation, the key's spelling, blanks around '='.
        const QByteArray& old = lines_[at].text;
        qsizetype cut = old.indexOf('=') + 1;
        while (cut < old.size() && (old[cut] == ' ' || old[cut] == '\t'))
            ++cut;
        lines_[at].text = old.left(cut) + encode(stored);
        parsed_[at] = parseLine(at);
        modified_ = true;
        return true;
    }

    const QByteArray line = encode(k) + '=' + encode(stored);
    const std::vector<Range> ranges = rangesOf(sec.toCaseFolded());
    if (!ranges.empty()) {
        // After the last entry of the section, not after the blank lines and comments that
        // usually introduce the next one.
        const Range& r = ranges.front();
        int last = r.header;
        for (int i = r.header + 1; i < r.end; ++i)
            if (parsed_[i].kind == Kind::Key || parsed_[i].kind == Kind::Other)
                last = i;
        insertLine(last + 1, line);
    } else {
        int n = static_cast<int>(lines_.size());
        if (n > 0 && parsed_[n - 1].kind != Kind::Blank)
            insertLine(n++, QByteArray());
        insertLine(n++, encode(QLatin1Char('[') + sec + QLatin1Char(']')));
        insertLine(n, line);
    }
    modified_ = true;
    return true;
}

bool TIniFile::WriteInteger(QStringView section, QStringView key, int64_t value)
{
    return WriteString(section, key, QString::number(value));
}

bool TIniFile::Save(const QString& fileName, int mode)
{
    lastError_.clear();
    const QString target = fileName.isEmpty() ? fileName_ : fileName;
    if (target.isEmpty()) {
        lastError_ = QStringLiteral("no file name");
        return false;
    }
    const bool own = target == fileName_;
    // A file that exists but could not be read must not be replaced by what little we know.
    if (own && existed_ && !loaded_) {
        lastError_ = QStringLiteral("%1 could not be read").arg(target);
        return false;
    }
    if (own && loaded_ && !modified_) {
        // Nothing to write; the permission bits are still brought to what was asked for.
        if (mode >= 0)
            ::chmod(QFile::encodeName(target).constData(), static_cast<mode_t>(mode));
        return true;
    }
    // A settings file kept elsewhere and linked here stays linked (WriteFileAtomic writes where
    // the link points).
    if (!WriteFileAtomic(target, Data(), mode, &lastError_))
        return false;
    if (own) {
        existed_ = loaded_ = true;
        modified_ = false;
    }
    return true;
}

} // namespace kadex
