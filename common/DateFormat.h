#pragma once
// The process-wide number and date formats: the point is the decimal separator, dates read
// "dd.MM.yyyy" and times use the platform's long time format as it was at program start.
// Later changes of the desktop's regional settings are not taken up. Every date or time the
// tool shows or writes goes through DateText/TimeText.
#include <QDate>
#include <QString>
#include <QTime>

namespace kadex {

// Program start, before any window: the default locale becomes the C locale (point, no group
// separators) and the time format is taken from the platform once.
void SetProcessFormats();

QString ShortDateFormat(); // "dd.MM.yyyy"
// The platform's long time format without a time zone; "HH:mm:ss" before SetProcessFormats.
QString LongTimeFormat();

QString DateText(const QDate& date);
QString TimeText(const QTime& time);

} // namespace kadex
