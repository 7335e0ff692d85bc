#pragma once
// The monthly action log: a tab-separated table, heading first, newest entry right below it.
// Pure text and file handling; what goes into an entry is gathered by the caller.
#include "settings/Texts.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace kadex {

// "Kadex_2024_05.txt" in folder for a date in May 2024.
QString LogFileName(const QString& folder, const QDate& date);
// The 26 column headings, tab-separated.
QString BuildLogHeader(const TIniLogFileText& t);

// V'nom, V'max, V'min and V'mid in base units (m³/h or Pa) from the shown fields, each as
// a whole number text. factor: display units per base unit; firmware decides what V'min is
// a share of. vmid is empty in the pressure application (the caller writes "--").
struct LogFlows {
    QString vnom, vmax, vmin, vmid;
};
LogFlows ComputeLogFlows(const QString& vnomShown, const QString& vmaxPrz, const QString& vminPrz,
                         const QString& vmidPrz, double factor, uint16_t firmware);

enum class LogResult {
    Ok,
    FolderFailed, // the folder cannot be made: no entry
    ReadFailed,   // the month's file cannot be read or has no heading: file unchanged, no entry
    WriteFailed,  // the file cannot be replaced: entry lost, file unchanged
};

// Inserts line as line 2 of the month's file (date's month), beginning the file with header
// when it does not exist. Processes and threads that log into the same folder take turns
// (a lock file beside the log), and the file is replaced as a whole through a temporary file,
// so concurrent writers lose nothing and a crash leaves the old or the new file, never a cut
// one. file receives the log file's path.
LogResult InsertLogEntry(const QString& folder, const QDate& date, const QString& header, const QString& line,
                         QString* file = nullptr);

} // namespace kadex
