#pragma once
// Profile (INI) files: "[Section]" headers and "Key=Value" lines, names compared without regard
// to case, text in code page 1252 with CR LF. The file is read once into memory; writes change
// only the line of the key they write (or add it), so every other byte of a hand-edited file -
// comments, unknown sections, order, line endings - survives a Save.
//
// Reading follows the platform profile API that such files were made for: the first occurrence
// of a section and of a key wins, blanks and tabs around names and values are dropped, one pair
// of matching quotes around a value is dropped, lines starting with ';' or '#' are comments.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace kadex {

// Decimal integer text (optional sign, digits only) within the 32-bit range; nothing otherwise.
std::optional<int32_t> ParseIniInteger(QStringView text);
// The same for 64 bits.
std::optional<int64_t> ParseIniInteger64(QStringView text);
// A finite number with the point as decimal separator; nothing otherwise.
std::optional<double> ParseIniFloat(QStringView text);

class TIniFile {
public:
    // Files larger than this are not read (a settings or language file is a few kilobytes).
    static constexpr qint64 MaxFileSize = 8 * 1024 * 1024;

    TIniFile() = default;
    // Loads the file at once; see Load.
    explicit TIniFile(const QString& fileName);

    // Reads the file. True when it was read; false when it is missing, is not a regular file,
    // is too large or cannot be read - the content is then empty. FileName() is set either way.
    bool Load(const QString& fileName);
    // Takes the content from memory (FileName() stays as it is).
    void LoadFromData(const QByteArray& data);
    // The content as it would be saved.
    QByteArray Data() const;

    const QString& FileName() const { return fileName_; }
    // The file existed at the last Load (even when it could not be read).
    bool FileExisted() const { return existed_; }
    // The last Load read the file.
    bool Loaded() const { return loaded_; }
    // True after a write changed the content and before the next Save or Load.
    bool Modified() const { return modified_; }

    // Writes the content to FileName() (or fileName when given) with WriteFileAtomic: the target
    // is replaced only by the complete new content. Saving to FileName(): an unchanged file is
    // not written again, and a file that existed but could not be read is never overwritten.
    // mode: the file's permission bits (also applied to an unchanged file), -1 to keep them.
    // False on any failure (LastError says why); the target then keeps its old content.
    bool Save(const QString& fileName = {}, int mode = -1);
    const QString& LastError() const { return lastError_; }

    // Reading. A missing section or key gives the default; a key that is present with an empty
    // value gives the empty text (ReadString) or the default (ReadInteger, ReadFloat).
    bool SectionExists(QStringView section) const;
    bool ValueExists(QStringView section, QStringView key) const;
    QString ReadString(QStringView section, QStringView key, const QString& def = {}) const;
    int32_t ReadInteger(QStringView section, QStringView key, int32_t def) const;
    double ReadFloat(QStringView section, QStringView key, double def) const;
    // Section names in file order, each once (spelled as at its first occurrence).
    QStringList Sections() const;
    // Key names of a section in file order, each once.
    QStringList SectionKeys(QStringView section) const;
    // "Key=Value" for every key of a section, in file order, each key once.
    QStringList SectionValues(QStringView section) const;

    // Writing (in memory until Save). The key's line is rewritten in place, keeping what stands
    // before the value; a missing key is added after the last key of its section, a missing
    // section at the end of the file. Line breaks inside a value become blanks, so a value can
    // never start a new line; a value with surrounding blanks or quotes is written in quotes so
    // that it reads back unchanged. Writing the value a key already has changes nothing. False (and nothing changed) for a section name that is empty or
    // holds ']', or a key name that is empty, holds '=' or starts with '[', ';' or '#'.
    bool WriteString(QStringView section, QStringView key, const QString& value);
    bool WriteInteger(QStringView section, QStringView key, int64_t value);

private:
    enum class Kind : uint8_t { Other, Blank, Comment, Section, Key };
    struct Line {
        QByteArray text; // without line ending
        QByteArray eol;  // "\r\n", "\n", "\r" or empty for an unterminated last line
    };
    struct Parsed {
        Kind kind = Kind::Other;
        QString name;   // section or key name as written, trimmed
        QString folded; // name for comparison
        QString value;  // key value, trimmed and unquoted
    };
    struct Range {
        int header; // index of the section line
        int end;    // one past its last line
    };

    void clear();
    void splitLines(const QByteArray& data);
    Parsed parseLine(int index) const;
    void reparse();
    void rebuildSections();
    QString decode(const QByteArray& bytes) const;
    QByteArray encode(const QString& text) const;
    std::vector<Range> rangesOf(const QString& foldedSection) const;
    QStringList collectKeys(QStringView section, bool withValues) const;
    int findKey(QStringView section, QStringView key) const;
    void insertLine(int index, const QByteArray& text);

    QString fileName_;
    QString lastError_;
    bool existed_ = false;
    bool loaded_ = false;
    bool modified_ = false;
    bool utf8_ = false; // the file starts with a UTF-8 byte order mark
    std::vector<Line> lines_;
    std::vector<Parsed> parsed_;
    std::vector<Range> sections_;
};

} // namespace kadex
