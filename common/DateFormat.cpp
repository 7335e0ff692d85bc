#include "common/DateFormat.h"

#include <QLocale>
#include <QRegularExpression>

#include <mutex>

namespace kadex {

namespace {

std::mutex formatMutex;
QString timeFormat = QStringLiteral("HH:mm:ss");

// A time zone ("t") has no place in a time of day written to a log or shown in a field.
QString withoutTimeZone(QString format)
{
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    format.remove(zone);
    return format.trimmed();
}

} // namespace

void SetProcessFormats()
{
    const QString platformTime = withoutTimeZone(QLocale::system().timeFormat(QLocale::LongFormat));
    QLocale::setDefault(QLocale::c());
    std::lock_guard<std::mutex> lk(formatMutex);
    if (!platformTime.isEmpty())
        timeFormat = platformTime;
}

QString ShortDateFormat()
{
    return QStringLiteral("dd.MM.yyyy");
}

QString LongTimeFormat()
{
    std::lock_guard<std::mutex> lk(formatMutex);
    return timeFormat;
}

QString DateText(const QDate& date)
{
    return date.toString(ShortDateFormat());
}

QString TimeText(const QTime& time)
{
    // A format string is applied with the C locale, so AM/PM do not follow the desktop either.
    return time.toString(LongTimeFormat());
}

} // namespace kadex
