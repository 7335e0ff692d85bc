// Arbitrary bytes as a language file: reading never fails; every text taken is one the file
// gave for a key the loader knows, within the length limit and without control characters;
// every other key keeps its German default.
#include "settings/Language.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

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
    const kadex::TLanguage lang = kadex::ParseLanguage(bytes);
    check(lang.languageKeys.size() == lang.languageLines.size());
    for (const auto& [section, keys] : kadex::KnownLanguageKeys())
        for (const QString& key : keys) {
            const QString text = lang.Text(section, key);
            check(text.size() <= kadex::kMaxLanguageValue || text == kadex::LanguageDefault(section, key));
            for (QChar c : text)
                check(c.unicode() >= 0x20 || c == QLatin1Char('\t') || c == QLatin1Char('\n'));
        }
    for (const QString& k : lang.values.keys()) {
        const qsizetype nl = k.indexOf(QLatin1Char('\n'));
        check(nl > 0);
    }
    // The records and the window texts are built from whatever was read.
    (void)lang.Records(1);
    (void)lang.Records(2);
    check(!lang.Elements(1, false).empty());
    return 0;
}
