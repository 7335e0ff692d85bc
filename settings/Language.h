#pragma once
// Language files: every text the user sees has a German default compiled in (LanguageKeys.def
// for window elements, the text records of Texts.h for messages, status lines, the printout and
// the log heading); a language file, an INI file in code page 1252, replaces any subset.
//
// A language file is outside input. The reader never fails as a whole: what it cannot read
// (a line with control or undefined bytes, an overlong value, an unknown section or key, a
// file in another encoding) keeps its default and is listed in Problems, so the caller can say
// once that the file was not fully read.
//
// Threads: the language in force is an immutable snapshot, CurrentLanguage(), which any thread
// may read; LoadLanguageFile builds a new one and swaps it in as a whole.
#include "settings/Texts.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kadex {

// One text a window shows: the element (control object name) and whether the text is its
// caption or its hint (tool tip), read from `section`.
struct TElementText {
    QString section;
    QString element;
    bool hint = false;
    QString text;
};

struct TLanguage {
    // Values the file gave, by "SECTION\nkey" folded to lower case.
    QHash<QString, QString> values;
    // SPRACHETEXT: the language keys, and "key=name" lines, in file order.
    QStringList languageKeys;
    QStringList languageLines;
    // What could not be read, one line each (English, for the trace).
    QStringList problems;
    QString fileName; // the file read; empty for the compiled-in texts

    // The file's text of a key, else the compiled-in default (empty for an unknown key).
    QString Text(const QString& section, const QString& key) const;
    // The text records, with the variants of the controller function (1 volume flow, 2 pressure).
    TTexts Records(int reglerFkt) const;
    // Every window text with the variants that apply: the controller function and whether the
    // volume-signal sensor is chosen (the variable sensor dialog's texts).
    std::vector<TElementText> Elements(int reglerFkt, bool volumeSensor) const;
};

// Longest value taken from a file; a longer one keeps its default.
inline constexpr int kMaxLanguageValue = 400;
// Largest language file read.
inline constexpr qint64 kMaxLanguageFileSize = 1024 * 1024;

// Reads a language file's content (code page 1252; a UTF-8 byte order mark or UTF-8 text is
// taken as UTF-8 and reported).
TLanguage ParseLanguage(const QByteArray& data);

// Every key the loader knows, as "SECTION" -> keys (SPRACHETEXT, whose keys are languages, is
// listed without keys).
const std::vector<std::pair<QString, QStringList>>& KnownLanguageKeys();
// The compiled-in German default of a key; empty for an unknown key.
QString LanguageDefault(const QString& section, const QString& key);

// The language in force; never null (the compiled-in texts until a file was loaded).
std::shared_ptr<const TLanguage> CurrentLanguage();
void SetLanguage(std::shared_ptr<const TLanguage> language);

// Where a language file name is found: the program folder, then the installed data folder.
// Empty when it exists in neither.
QString FindLanguageFile(const QString& fileName);

struct TLanguageLoad {
    bool found = false;    // false: the file does not exist, nothing changed
    QString path;          // where it was looked for or read
    QStringList problems;  // what was not read
};

// Loads a language file and makes it the language in force: the snapshot, the text records
// (IniStatusText ... IniButtonText, published) for the function `reglerFkt`. A missing file
// changes nothing. GUI thread (it writes the text records' working copy).
TLanguageLoad LoadLanguageFile(const QString& path, int reglerFkt);

} // namespace kadex
