#include "common/Helpers.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace kadex {

double GetFloatWert(const QString& text)
{
    // With the point as decimal separator a comma is a typing slip ("1,000" meant as 1.000),
    // never a thousands separator: such text is no number.
    static const QLocale c = [] {
        QLocale l = QLocale::c();
        l.setNumberOptions(QLocale::RejectGroupSeparator);
        return l;
    }();
    bool ok = false;
    const double v = c.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return 0.0;
    return v;
}

static int32_t saturate(double r)
{
    if (std::isnan(r))
        return 0;
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

int32_t RoundHalfEven(double x)
{
    // nearbyint honours the default rounding mode, which is to-nearest-even.
    return saturate(std::nearbyint(x));
}

int32_t GetIntFromString(const QString& text, double factor)
{
    return RoundHalfEven(GetFloatWert(text) * factor);
}

int32_t Trunc(double x)
{
    return saturate(std::trunc(x));
}

QString Fixed(double x, int decimals)
{
    if (!std::isfinite(x))
        x = 0.0;
    QString s = QString::number(x, 'f', decimals);
    // Never show "-0" or "-0.00".
    if (s.startsWith(QLatin1Char('-'))) {
        bool allZero = true;
        for (int i = 1; i < s.size(); ++i)
            if (s[i] != QLatin1Char('0') && s[i] != QLatin1Char('.'))
                allZero = false;
        if (allZero)
            s.remove(0, 1);
    }
    return s;
}

QString PadLeft(const QString& text, const QString& fill, int width)
{
    if (fill.isEmpty() || text.size() >= width)
        return text;
    return QString(width - text.size(), fill.at(0)) + text;
}

QString PadRight(const QString& text, const QString& fill, int width)
{
    if (fill.isEmpty() || text.size() >= width)
        return text;
    return text + QString(width - text.size(), fill.at(0));
}

QString AppendZeroAfterPoint(const QString& text)
{
    return text.contains(QLatin1Char('.')) ? text + QLatin1Char('0') : text;
}

QString HexBytes(const uint8_t* data, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(static_cast<int>(count * 3));
    for (size_t i = 0; i < count; ++i) {
        out += QLatin1Char(digits[data[i] >> 4]);
        out += QLatin1Char(digits[data[i] & 0x0F]);
        out += QLatin1Char(' ');
    }
    return out;
}

} // namespace kadex
