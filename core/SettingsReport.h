#pragma once
// The settings printout: the connected controller's settings as the window shows them, as
// text lines for a monospaced font. Built afresh for each print; no I/O but the file write.
#include "device/OEMData.h"
#include "device/model/WindowModel.h"
#include "settings/Texts.h"

#include <QDateTime>
#include <QStringList>

namespace kadex {

// Captions of window labels the report names that are not fields of the model (German
// defaults; the language loader may replace them).
struct TReportLabels {
    QString Firmware = QStringLiteral("Firmware");
    QString ConfTableID = QStringLiteral("Conf.Table-ID");
    QString Sensor = QStringLiteral("- Druckfühler");
    QString Funktion = QStringLiteral("- Funktion");
    QString Antrieb = QStringLiteral("- Antrieb");
    QString Hoehe = QStringLiteral("Höhe");
    QString Mode = QStringLiteral("Mode");
    QString Einstellungen = QStringLiteral("Einstellungen");
    QString Vmid = QStringLiteral("V'mid");
};

inline constexpr char kReportTitle[] = "Kadex Einstelldaten";

// reglerFkt 1: volume flow; unitIndex: the unit set the flows are shown in.
QStringList BuildSettingsReport(const WindowModel& m, const TOEMData& oem, int reglerFkt, int unitIndex,
                                const TIniEinstDatText& texts, const QDateTime& now,
                                const TReportLabels& labels = TReportLabels{});
// The lines in code page 1252 with CR LF, replacing the file through a temporary file.
// Empty on success, else why not.
QString SaveSettingsReport(const QString& path, const QStringList& lines);

} // namespace kadex
