#pragma once
// The calibration-set file (".vav"): three lines in code page 1252 ended by CR LF, a version
// line, a header line and a data line of TAB-separated columns. Pure format handling: reading
// checks everything the file alone can tell, so a damaged file never reaches the fields.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kadex {

inline constexpr int kVavColumns = 34;

// "Defaultdatei Kadex<TAB> Version 2.11".
QString VavVersionLine();
// The three lines, code page 1252, CR LF each. False (nothing made) when a text has a
// character code page 1252 cannot hold; error names its line and column.
bool EncodeVavFile(const QString& header, const QString& values, QByteArray& bytes, QString* error = nullptr);

// Where and why a file was refused. line and column count from 1; column 0: the whole line.
struct VavError {
    int line = 0;
    int column = 0;
    QString reason;
    // "line 3, column 17: ..." in English.
    QString Text() const;
};

// Reads a file's bytes: exactly three lines each ended by CR LF, code page 1252 (no byte-order
// mark, no UTF-8, no control bytes but TAB), a header and a data line of 34 columns (an older
// file may end after column 29 or 32, both lines alike), and every data column the fields take
// a number from within that field's range. On success header and values hold lines 2 and 3.
bool ParseVavFile(const QByteArray& bytes, QString& header, QString& values, VavError& error);

} // namespace kadex
