// Arbitrary bytes as a profile file: reading never fails, what is read is kept byte for byte,
// a write reads back as written and leaves the other keys alone, and the tool settings and
// their write-back run on it.
#include "settings/IniFile.h"
#include "settings/ToolIni.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

using kadex::TIniFile;

namespace {

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TIniFile ini;
    ini.LoadFromData(bytes);
    check(ini.Data() == bytes);

    // Every name the file offers can be read back.
    const QStringList sections = ini.Sections();
    for (const QString& s : sections) {
        check(ini.SectionExists(s));
        const QStringList keys = ini.SectionKeys(s);
        check(keys.size() == ini.SectionValues(s).size());
        for (const QString& k : keys) {
            check(ini.ValueExists(s, k));
            (void)ini.ReadInteger(s, k, 0);
            (void)ini.ReadFloat(s, k, 0.0);
        }
    }

    // A write with a name and value taken from the input.
    const QString text = QString::fromLatin1(bytes.left(48));
    const QString section = sections.isEmpty() ? QStringLiteral("S") : sections.front();
    const QString key = QStringLiteral("K") + QString::number(size % 7);
    const QStringList otherKeys = ini.SectionKeys(section);
    QStringList before;
    for (const QString& k : otherKeys)
        before << ini.ReadString(section, k);
    if (ini.WriteString(section, key, text)) {
        QString expected = text;
        expected.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        TIniFile again;
        again.LoadFromData(ini.Data());
        const QString got = again.ReadString(section, key);
        // Latin-1 input survives code page 1252 except for the bytes 0x80..0x9F, which map
        // elsewhere and come back as '?'; compare only when none of them occurs.
        bool plain = true;
        for (QChar c : expected)
            plain = plain && (c.unicode() < 0x80 || c.unicode() > 0x9F);
        if (plain && !ini.Data().startsWith("\xEF\xBB\xBF"))
            check(got == expected);
        for (qsizetype i = 0; i < otherKeys.size(); ++i)
            if (otherKeys[i].compare(key, Qt::CaseInsensitive) != 0)
                check(again.ReadString(section, otherKeys[i]) == before[i]);
        // Writing the same value again changes nothing.
        const QByteArray once = again.Data();
        again.WriteString(section, key, got);
        check(again.Data() == once);
    }

    // The tool settings read and write back on the same content.
    TIniFile tool;
    tool.LoadFromData(bytes);
    kadex::LoadToolIniRecords(tool);
    kadex::StoreToolIniRecords(tool);
    TIniFile reread;
    reread.LoadFromData(tool.Data());
    check(reread.ReadInteger(u"COM", u"COMNr", 0) == kadex::IniCom.COMNr);
    kadex::ResetToolIniRecords();
    return 0;
}
