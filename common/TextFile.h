#pragma once
// Code page 1252 conversion and the CR LF text files every file format of the tool uses.
#include <QByteArray>
#include <QString>
#include <QStringList>

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
// Writes the lines in code page 1252, each ended by CR LF. Written to a temporary file first and
// then renamed over the target, so a failure never leaves a half-written file.
bool WriteTextFileLines(const QString& path, const QStringList& lines, QString* error = nullptr);
// Appends lines (CR LF each) to a file, creating it when missing.
bool AppendTextFileLines(const QString& path, const QStringList& lines, QString* error = nullptr);

// Splits text into lines as ReadTextFileLines does (a final line ending adds no empty line).
QStringList SplitLines(const QString& text);

} // namespace kadex
