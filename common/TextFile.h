#pragma once
// Code page 1252 conversion and the CR LF text files every file format of the tool uses.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace kadex {

// Bytes in code page 1252 to text; the five undefined bytes map to the same code points (as Windows does).
QString FromCp1252(const QByteArray& bytes);
QString FromCp1252(const char* data, qsizetype size);
// Text to code page 1252; characters that have no byte become '?'.
QByteArray ToCp1252(const QString& text);
// One character to its code page 1252 byte, or -1 when it has none.
int Cp1252Byte(QChar c);

// Reads a code page 1252 text file and splits it into lines (CR LF, LF or lone CR end a line).
// Returns false when the file cannot be read; error then says why.
bool ReadTextFileLines(const QString& path, QStringList& lines, QString* error = nullptr);
// The steps of WriteFileAtomic, in order.
enum class WriteStep { Open, Write, Flush, Sync, Close, Rename };
const char* WriteStepName(WriteStep step);
// A fault hook for tests: asked before each step; true makes the step fail as a full disk would
// (ENOSPC). An empty hook (the default) injects nothing. Not for use while writes run on other
// threads.
void SetWriteFaultHook(std::function<bool(WriteStep)> hook);

// Replaces the file at path with data so that the file is at every moment either the old one or
// the complete new one: a temporary file in the same folder is written, flushed, synced to disk
// and then renamed over the old file (and the folder synced). On any failure the old file stays
// as it was, the temporary file is removed and error says why. mode: the file's permission bits
// (an existing file is tightened to them); -1 keeps an existing file's bits and gives a new one
// 0666 less the umask. A symbolic link stays a link: the file it points to is replaced.
bool WriteFileAtomic(const QString& path, const QByteArray& data, int mode = -1, QString* error = nullptr);

// Writes the lines in code page 1252, each ended by CR LF, with WriteFileAtomic.
bool WriteTextFileLines(const QString& path, const QStringList& lines, QString* error = nullptr);
// Appends lines (CR LF each) to a file, creating it when missing.
bool AppendTextFileLines(const QString& path, const QStringList& lines, QString* error = nullptr);

// Splits text into lines as ReadTextFileLines does (a final line ending adds no empty line).
QStringList SplitLines(const QString& text);

} // namespace kadex
