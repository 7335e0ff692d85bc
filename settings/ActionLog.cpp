#include "settings/ActionLog.h"

#include "common/AtomicFile.h"
#include "common/Helpers.h"
#include "common/TextFile.h"

#include <QDir>
#include <QFileInfo>


namespace kadex {

QString LogFileName(const QString& folder, const QDate& date)
{
    return QDir(folder).filePath(QStringLiteral("Kadex_%1_%2.txt")
                                     .arg(date.year(), 4, 10, QLatin1Char('0'))
                                     .arg(date.month(), 2, 10, QLatin1Char('0')));
}

QString BuildLogHeader(const TIniLogFileText& t)
{
    const QStringList cols{t.Date,  t.Time,     t.SerNo,  t.OEM,  t.Position, t.Action,      t.Volumentrom,
                           t.Leitwert, t.PosKlappe, t.Dichte, t.Hoehe, t.Vnom,     t.Vmax,        t.Vmin,
                           t.Vmid, t.ZBAdr,    t.Mode,   t.W1,   t.U5,       t.Alarms,      t.Typ,
                           t.Firmware, t.ConfTableID, t.Sensor, t.SensorTyp, t.Antrieb};
    return cols.join(QLatin1Char('\t'));
}

LogFlows ComputeLogFlows(const QString& vnomShown, const QString& vmaxPrz, const QString& vminPrz,
                         const QString& vmidPrz, double factor, uint16_t firmware)
{
    const auto whole = [](double v) { return QString::number(v, 'f', 0); };
    const double f = factor == 0 ? 1.0 : factor;
    const double vnom = RoundHalfEven(GetFloatWert(vnomShown)) / f;
    const double big = GetFloatWert(vmaxPrz);
    const double vmax = vnom * big / 100;
    double small = GetFloatWert(vminPrz);
    const bool ofVnom = firmware >= 0x0220;
    const double vmin = small * (ofVnom ? vnom : vmax) / 100;
    const double mid = GetFloatWert(vmidPrz);
    if (ofVnom && big > 0)
        small = 100 / big * small;
    const double h = (mid + small - mid * small / 100) * big / 100;
    const double vmid = vnom * h / 100;
    return {whole(vnom), whole(vmax), whole(vmin), whole(vmid)};
}

LogResult InsertLogEntry(const QString& folder, const QDate& date, const QString& header, const QString& line,
                         QString* file)
{
    const QString path = LogFileName(folder, date);
    if (file)
        *file = path;
    if (!QDir().mkpath(folder))
        return LogResult::FolderFailed;
    // flock locks belong to the open file, so two threads exclude each other as two processes do.
    FileLock lock(path);
    QStringList lines;
    if (QFileInfo::exists(path)) {
        if (!ReadTextFileLines(path, lines) || lines.isEmpty())
            return LogResult::ReadFailed;
        lines.insert(1, line);
    } else {
        lines = {header, line};
    }
    QByteArray data;
    for (const QString& l : lines) {
        data += ToCp1252(l);
        data += "\r\n";
    }
    return WriteFileAtomic(path, data) ? LogResult::Ok : LogResult::WriteFailed;
}

} // namespace kadex
