// Shared number/text helpers, unit sets and code page 1252 text files.
#include "QtPrinters.h"
#include "common/DateFormat.h"
#include "common/Helpers.h"
#include "common/TextFile.h"
#include "common/Units.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kadex;

TEST(Helpers, NumberParsingAndRounding)
{
    // Only point-decimal numbers count; anything else, group separators too, is 0.
    const struct {
        const char* text;
        double value;
    } numbers[] = {
        {"12.5", 12.5},   {" 3 ", 3.0},     {"-0.25", -0.25}, {"+7", 7.0},      {"1e3", 1000.0},
        {".5", 0.5},      {"12,5", 0.0},    {"1,000", 0.0},   {"12,345.5", 0.0}, {"1.000,5", 0.0},
        {"1 000", 0.0},   {"abc", 0.0},     {"", 0.0},        {"nan", 0.0},     {"inf", 0.0},
        {"1e999", 0.0},   {"5x", 0.0},      {"0x10", 0.0},
    };
    for (const auto& n : numbers)
        EXPECT_DOUBLE_EQ(GetFloatWert(QString::fromLatin1(n.text)), n.value) << n.text;
    EXPECT_EQ(GetIntFromString("1,000", 100), 0);

    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.51), 3);
    EXPECT_EQ(RoundHalfEven(1e12), INT32_MAX);
    EXPECT_EQ(RoundHalfEven(-1e12), INT32_MIN);
    EXPECT_EQ(GetIntFromString("50.00", 100), 5000);
    EXPECT_EQ(GetIntFromString("2.3", 1000), 2300);
    EXPECT_EQ(GetIntFromString("0.025", 100), 2);
    EXPECT_EQ(GetIntFromString("x", 100), 0);
    EXPECT_EQ(Trunc(-2.7), -2);
    EXPECT_EQ(Trunc(2.7), 2);
}

TEST(Helpers, TextFormatting)
{
    EXPECT_EQ(Fixed(12.345, 2), "12.35");
    EXPECT_EQ(Fixed(-0.04, 1), "0.0");
    EXPECT_EQ(Fixed(2.3, 1), "2.3");
    EXPECT_EQ(PadLeft("42", "0", 5), "00042");
    EXPECT_EQ(PadLeft("123456", "0", 5), "123456");
    EXPECT_EQ(PadRight("ab", " x", 4), "ab  ");
    EXPECT_EQ(PadRight("ab", "", 4), "ab");
    EXPECT_EQ(AppendZeroAfterPoint("1.5"), "1.50");
    EXPECT_EQ(AppendZeroAfterPoint("15"), "15");
    const uint8_t b[3] = {0x0A, 0xFF, 0x00};
    EXPECT_EQ(HexBytes(b, 3), "0A FF 00 ");
}

TEST(Helpers, DatesAndTimesIgnoreTheLocale)
{
    SetProcessFormats();
    const QString timeFormat = LongTimeFormat();
    EXPECT_FALSE(timeFormat.contains(QLatin1Char('t'))) << timeFormat.toStdString();
    EXPECT_TRUE(timeFormat.contains(QLatin1String("mm"))) << timeFormat.toStdString();
    EXPECT_EQ(QLocale().decimalPoint(), QStringLiteral("."));
    // A later change of the regional settings changes nothing.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        QDate date;
        const char* text;
    } dates[] = {{QDate(2026, 1, 5), "05.01.2026"}, {QDate(1999, 12, 31), "31.12.1999"}, {QDate(), ""}};
    for (const auto& d : dates)
        EXPECT_EQ(DateText(d.date), QString::fromLatin1(d.text));
    EXPECT_EQ(LongTimeFormat(), timeFormat);
    EXPECT_EQ(TimeText(QTime(7, 5, 9)), QTime(7, 5, 9).toString(timeFormat));
    EXPECT_TRUE(TimeText(QTime(7, 5, 9)).contains(QLatin1String("05:09")));
    QLocale::setDefault(QLocale::c());
}

TEST(Helpers, UnitSets)
{
    EXPECT_EQ(QString::fromUtf16(UnitSet[0].name), "m³/h / Pa");
    EXPECT_DOUBLE_EQ(FlowFactor(1), 1.0 / 3.6);
    EXPECT_DOUBLE_EQ(FlowFactor(2), 0.5886854653558604);
    EXPECT_DOUBLE_EQ(PressureFactor(2), 145.0389);
    EXPECT_DOUBLE_EQ(FlowFactor(7), 1.0);
    EXPECT_DOUBLE_EQ(FunctionFactor(2, 1), FlowFactor(2));
    EXPECT_DOUBLE_EQ(FunctionFactor(2, 2), PressureFactor(2));
}

TEST(TextFile, Cp1252RoundTrip)
{
    const QString text = QString::fromUtf8("Höhe €5 „x“ ÿ");
    const QByteArray bytes = ToCp1252(text);
    EXPECT_EQ(bytes, QByteArray("H\xF6he \x80" "5 \x84x\x93 \xFF"));
    EXPECT_EQ(FromCp1252(bytes), text);
    EXPECT_EQ(ToCp1252(QString::fromUtf8("漢")), QByteArray("?"));
    // Undefined bytes survive a round trip.
    const QByteArray odd("\x81\x8D\x8F\x90\x9D", 5);
    EXPECT_EQ(ToCp1252(FromCp1252(odd)), odd);
}

TEST(TextFile, LinesWithCrLf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    ASSERT_TRUE(WriteTextFileLines(path, {"eins", QString::fromUtf8("zwei ä"), ""}));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("eins\r\nzwei \xE4\r\n\r\n"));
    f.close();
    QStringList lines;
    ASSERT_TRUE(ReadTextFileLines(path, lines));
    EXPECT_EQ(lines, (QStringList{"eins", QString::fromUtf8("zwei ä"), ""}));
    ASSERT_TRUE(AppendTextFileLines(path, {"drei"}));
    ASSERT_TRUE(ReadTextFileLines(path, lines));
    EXPECT_EQ(lines.size(), 4);
    EXPECT_EQ(SplitLines("a\nb\r\nc\rd"), (QStringList{"a", "b", "c", "d"}));

    QString err;
    EXPECT_FALSE(ReadTextFileLines(dir.filePath("missing.txt"), lines, &err));
    EXPECT_FALSE(err.isEmpty());
    EXPECT_FALSE(WriteTextFileLines(dir.filePath("no/such/dir/x.txt"), {"x"}, &err));
}
