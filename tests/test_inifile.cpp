// The profile-file layer: reading like the platform profile API, writes that touch one line.
#include "settings/IniFile.h"

#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kadex;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

TIniFile fromData(const QByteArray& data)
{
    TIniFile ini;
    ini.LoadFromData(data);
    return ini;
}

} // namespace

TEST(IniFileRead, NamesIgnoreCaseAndBlanksAndFirstOccurrenceWins)
{
    const TIniFile ini = fromData("orphan=1\r\n"
                                  "; comment=1\r\n"
                                  "  [ Com ]  trailing\r\n"
                                  "  comnr =  7  \r\n"
                                  "COMNR=8\r\n"
                                  "# Baudrate=9\r\n"
                                  "no equals sign here\r\n"
                                  "=nameless\r\n"
                                  "Quoted=\"  spaced  \"\r\n"
                                  "Single='x'\r\n"
                                  "Half=\"x\r\n"
                                  "Empty=\r\n"
                                  "[com]\r\n"
                                  "Second=2\r\n"
                                  "comnr=9\r\n"
                                  "[Open\r\n"
                                  "k=v");
    EXPECT_EQ(ini.ReadInteger(u"COM", u"COMNr", -1), 7);
    EXPECT_EQ(ini.ReadString(u"cOm", u"Quoted"), "  spaced  ");
    EXPECT_EQ(ini.ReadString(u"COM", u"Single"), "x");
    EXPECT_EQ(ini.ReadString(u"COM", u"Half"), "\"x");
    EXPECT_EQ(ini.ReadString(u"COM", u"Baudrate", "def"), "def"); // commented out
    EXPECT_EQ(ini.ReadString(u"COM", u"orphan", "def"), "def");   // before any section
    EXPECT_TRUE(ini.ValueExists(u"COM", u"Empty"));
    EXPECT_EQ(ini.ReadString(u"COM", u"Empty", "def"), "");
    EXPECT_EQ(ini.ReadInteger(u"COM", u"Empty", 42), 42);
    // A repeated section adds its keys; a key already seen keeps its first value.
    EXPECT_EQ(ini.ReadInteger(u"COM", u"Second", 0), 2);
    EXPECT_EQ(ini.ReadString(u"open", u"K"), "v");
    EXPECT_FALSE(ini.SectionExists(u"Missing"));
    EXPECT_EQ(ini.ReadFloat(u"Missing", u"K", 1.5), 1.5);

    EXPECT_EQ(ini.Sections(), QStringList({"Com", "Open"}));
    EXPECT_EQ(ini.SectionKeys(u"COM"), QStringList({"comnr", "Quoted", "Single", "Half", "Empty", "Second"}));
    EXPECT_EQ(ini.SectionValues(u"open"), QStringList({"k=v"}));
}

TEST(IniFileRead, NumbersThatAreNotNumbersCountAsMissing)
{
    const TIniFile ini = fromData("[N]\r\na=abc\r\nb=12abc\r\nc=2147483647\r\nd=-2147483648\r\ne=2147483648\r\n"
                                  "f=+15\r\ng=0x10\r\nh=1.5\r\ni= -3 \r\nj=1,2\r\nk=inf\r\nl=-0.25\r\nm=1e3\r\n"
                                  "n=-\r\n");
    EXPECT_EQ(ini.ReadInteger(u"N", u"a", -1), -1);
    EXPECT_EQ(ini.ReadInteger(u"N", u"b", -1), -1);
    EXPECT_EQ(ini.ReadInteger(u"N", u"c", -1), 2147483647);
    EXPECT_EQ(ini.ReadInteger(u"N", u"d", -1), INT32_MIN);
    EXPECT_EQ(ini.ReadInteger(u"N", u"e", -1), -1);
    EXPECT_EQ(ini.ReadInteger(u"N", u"f", -1), 15);
    EXPECT_EQ(ini.ReadInteger(u"N", u"g", -1), -1);
    EXPECT_EQ(ini.ReadInteger(u"N", u"h", -1), -1);
    EXPECT_EQ(ini.ReadInteger(u"N", u"i", 0), -3);
    EXPECT_EQ(ini.ReadInteger(u"N", u"n", 4), 4);

    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"N", u"h", 0), 1.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"N", u"j", 9), 9);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"N", u"k", 9), 9);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"N", u"l", 9), -0.25);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"N", u"m", 9), 1000);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"N", u"a", 9), 9);

    EXPECT_EQ(ParseIniInteger64(u"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseIniInteger64(u"9223372036854775807"), INT64_MAX);
    EXPECT_FALSE(ParseIniInteger64(u"9223372036854775808"));
    EXPECT_FALSE(ParseIniInteger(u""));
    EXPECT_FALSE(ParseIniInteger(u"1 2"));
}

TEST(IniFileRead, TextIsCodePage1252UnlessTheFileStartsWithAUtf8Mark)
{
    const TIniFile cp = fromData("[Form_Dichte]\r\nHoeheTxt=H\xF6he \x80\r\n[Gr\xD6\xDF" "e]\r\nx=1\r\n");
    EXPECT_EQ(cp.ReadString(u"FORM_DICHTE", u"hoehetxt"), QString::fromUtf8("Höhe €"));
    // Case folding reaches beyond ASCII.
    EXPECT_EQ(cp.ReadInteger(QString::fromUtf8("größE"), u"X", 0), 1);

    const TIniFile utf = fromData("\xEF\xBB\xBF[A]\nT=H\xC3\xB6he\n");
    EXPECT_EQ(utf.ReadString(u"A", u"T"), QString::fromUtf8("Höhe"));
}

TEST(IniFileRead, BadInputGivesDefaultsWithoutFailing)
{
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(static_cast<char>((i * 7919) & 0xFF));
    const QByteArray longLine = "[A]\r\nk=" + QByteArray(1 << 20, '9') + "\r\nafter=1\r\n";
    for (const QByteArray& data : {QByteArray(), binary, QByteArray("\0\0[A]\0=\0", 9), longLine,
                                   QByteArray("[[[]]]===\r\r\n\n[")}) {
        const TIniFile ini = fromData(data);
        EXPECT_EQ(ini.ReadInteger(u"A", u"k", 5), 5);
        EXPECT_EQ(ini.ReadString(u"A", u"missing", "d"), "d");
        EXPECT_EQ(ini.Data(), data); // what is read is kept byte for byte
    }
    EXPECT_EQ(fromData(longLine).ReadInteger(u"A", u"after", 0), 1);
}

TEST(IniFileWrite, ChangesOnlyTheLineOfTheKey)
{
    const QByteArray original = "; settings\r\n"
                                "[COM]\r\n"
                                "  ComNr = 2\r\n"
                                "Extra=H\xF6he\r\n"
                                "\r\n"
                                "; next part\r\n"
                                "[Other]\r\n"
                                "x=1\r\n";
    TIniFile ini = fromData(original);
    EXPECT_TRUE(ini.WriteInteger(u"com", u"COMNR", 5));
    EXPECT_TRUE(ini.WriteString(u"COM", u"COMPort", "/dev/ttyUSB0"));
    EXPECT_TRUE(ini.WriteString(u"NEW", u"Text", QString::fromUtf8("Größe €")));
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(ini.Data(), QByteArray("; settings\r\n"
                                     "[COM]\r\n"
                                     "  ComNr = 5\r\n"
                                     "Extra=H\xF6he\r\n"
                                     "COMPort=/dev/ttyUSB0\r\n"
                                     "\r\n"
                                     "; next part\r\n"
                                     "[Other]\r\n"
                                     "x=1\r\n"
                                     "\r\n"
                                     "[NEW]\r\n"
                                     "Text=Gr\xF6\xDF" "e \x80\r\n"));
    EXPECT_EQ(ini.ReadString(u"NEW", u"TEXT"), QString::fromUtf8("Größe €"));
    // A character code page 1252 cannot hold becomes '?'.
    EXPECT_TRUE(ini.WriteString(u"NEW", u"Text", QString::fromUtf8("Ω")));
    EXPECT_EQ(ini.ReadString(u"NEW", u"Text"), "?");
}

TEST(IniFileWrite, KeepsTheFilesLineEndingsAndEndsAnOpenLastLine)
{
    TIniFile lf = fromData("[A]\nk=1\n[B]\nz=0");
    lf.WriteString(u"A", u"n", "2");
    lf.WriteString(u"B", u"y", "3");
    EXPECT_EQ(lf.Data(), QByteArray("[A]\nk=1\nn=2\n[B]\nz=0\ny=3\n"));

    TIniFile empty = fromData({});
    empty.WriteInteger(u"S", u"k", -4);
    EXPECT_EQ(empty.Data(), QByteArray("[S]\r\nk=-4\r\n"));
}

TEST(IniFileWrite, AValueCanNeverBreakOutOfItsLine)
{
    TIniFile ini = fromData("[OEM]\r\nOEMText=x\r\n[COM]\r\nCOMNr=2\r\n");
    ASSERT_TRUE(ini.WriteString(u"OEM", u"OEMText", "evil\r\n[COM]\r\nCOMNr=99"));
    EXPECT_EQ(ini.ReadInteger(u"COM", u"COMNr", 0), 2);
    EXPECT_EQ(ini.ReadString(u"OEM", u"OEMText"), "evil  [COM]  COMNr=99");
    EXPECT_EQ(ini.Sections(), QStringList({"OEM", "COM"}));

    // Names that would not read back as the same key or section are refused.
    const QByteArray before = ini.Data();
    EXPECT_FALSE(ini.WriteString(u"OEM", u"a=b", "1"));
    EXPECT_FALSE(ini.WriteString(u"OEM", u"  ", "1"));
    EXPECT_FALSE(ini.WriteString(u"OEM", u";k", "1"));
    EXPECT_FALSE(ini.WriteString(u"OEM", u"[k", "1"));
    EXPECT_FALSE(ini.WriteString(u"O]EM", u"k", "1"));
    EXPECT_FALSE(ini.WriteString(u"", u"k", "1"));
    EXPECT_EQ(ini.Data(), before);
}

TEST(IniFileWrite, ValuesReadBackAsWritten)
{
    TIniFile ini = fromData("[P]\r\nk=same\r\n");
    ini.WriteString(u"P", u"k", "same");
    EXPECT_FALSE(ini.Modified());
    for (const QString& v : {QString(" padded "), QString("\"quoted\""), QString("'q'"), QString(""),
                            QString("a=b;c#d")}) {
        ini.WriteString(u"P", u"k", v);
        EXPECT_EQ(fromData(ini.Data()).ReadString(u"P", u"k", "missing"), v);
    }
}

class IniFileDisk : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(IniFileDisk, SaveWritesOnlyWhatChangedAndReportsFailures)
{
    const QString file = path("a.ini");
    const QByteArray original = "[A]\nk=1\n;c\n";
    ASSERT_TRUE(writeBytes(file, original));
    TIniFile ini(file);
    EXPECT_TRUE(ini.Loaded());
    EXPECT_EQ(ini.ReadInteger(u"a", u"K", 0), 1);
    EXPECT_TRUE(ini.Save()); // nothing changed
    EXPECT_EQ(readBytes(file), original);
    ini.WriteInteger(u"A", u"k", 2);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(readBytes(file), QByteArray("[A]\nk=2\n;c\n"));
    EXPECT_FALSE(ini.Modified());

    // The folder vanished between reading and writing.
    ini.WriteInteger(u"A", u"k", 3);
    ASSERT_TRUE(QDir(dir.path()).removeRecursively());
    EXPECT_FALSE(ini.Save());
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(ini.Save(dir.path() + "/missing/b.ini"));
}

TEST_F(IniFileDisk, ALinkedFileStaysLinked)
{
    const QString real = path("real.ini"), link = path("link.ini");
    ASSERT_TRUE(writeBytes(real, "[A]\r\nk=1\r\n"));
    ASSERT_TRUE(QFile::link(real, link));
    TIniFile ini(link);
    ini.WriteInteger(u"A", u"k", 2);
    ASSERT_TRUE(ini.Save());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readBytes(real), QByteArray("[A]\r\nk=2\r\n"));
}

TEST_F(IniFileDisk, WhatCannotBeReadIsNeverOverwritten)
{
    // A folder or a pipe where the file should be: nothing is read (and nothing blocks).
    const QString folder = path("folder.ini");
    ASSERT_TRUE(QDir().mkpath(folder));
    TIniFile f(folder);
    EXPECT_FALSE(f.Loaded());
    EXPECT_TRUE(f.FileExisted());
    f.WriteString(u"A", u"k", "1");
    EXPECT_FALSE(f.Save());
    EXPECT_TRUE(QFileInfo(folder).isDir());

    const QString fifo = path("fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    TIniFile p(fifo);
    EXPECT_FALSE(p.Loaded());

    // Too large to be a settings file: not read, and not replaced by the little we know.
    const QString big = path("big.ini");
    ASSERT_TRUE(writeBytes(big, "[A]\r\nk=1\r\n" + QByteArray(TIniFile::MaxFileSize, ';')));
    TIniFile b(big);
    EXPECT_FALSE(b.Loaded());
    EXPECT_EQ(b.ReadInteger(u"A", u"k", 0), 0);
    b.WriteInteger(u"A", u"k", 2);
    EXPECT_FALSE(b.Save());
    EXPECT_EQ(QFileInfo(big).size(), TIniFile::MaxFileSize + 10);

    TIniFile missing(path("none.ini"));
    EXPECT_FALSE(missing.Loaded());
    EXPECT_FALSE(missing.FileExisted());
}
