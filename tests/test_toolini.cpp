// The tool settings file: defaults, seed, hand-edited files and what the tool writes back.
#include "settings/ToolIni.h"

#include "comm/ComForm.h"
#include "common/TextFile.h"
#include "settings/IniFile.h"

#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

// Every record at once, for comparing whole states.
struct Records {
    TIniCom com;
    TIniConfig config;
    TSprachWahl sprache;
    TPath path;
    TIniPresetSensor dpk[3], dsk3[3], vs;
    TIniPresetAntrieb hfx, rgt;
    TBetrieb betrieb;
    TIniOem oem;
    TIniQV qv;

    static Records Now()
    {
        Records r{IniCom, IniConfig, SprachWahl, IniPath, {}, {}, IniPresetVS, IniPresetHFX, IniPresetRGT,
                  IniBetrieb, IniOem, IniQV};
        for (int i = 0; i < 3; ++i) {
            r.dpk[i] = IniPresetDPK[i];
            r.dsk3[i] = IniPresetDSK3[i];
        }
        return r;
    }
    bool operator==(const Records& o) const
    {
        return com.COMNr == o.com.COMNr && com.Baudrate == o.com.Baudrate && com.COMPort == o.com.COMPort
               && config.EinheitIndex == o.config.EinheitIndex && config.Tabsheet == o.config.Tabsheet
               && config.ZBAdrIndex == o.config.ZBAdrIndex && config.ReglerFkt == o.config.ReglerFkt
               && sprache.Sprache == o.sprache.Sprache && sprache.SprachDatei == o.sprache.SprachDatei
               && path.LogDatei == o.path.LogDatei && path.DefaultDatei == o.path.DefaultDatei
               && std::equal(dpk, dpk + 3, o.dpk) && std::equal(dsk3, dsk3 + 3, o.dsk3) && vs == o.vs
               && hfx == o.hfx && rgt == o.rgt && betrieb == o.betrieb && oem == o.oem && qv == o.qv;
    }
};

class ToolIni : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        oldXdg = qgetenv("XDG_DATA_HOME");
        hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        ResetToolIniRecords();
    }
    void TearDown() override
    {
        if (hadXdg)
            qputenv("XDG_DATA_HOME", oldXdg);
        else
            qunsetenv("XDG_DATA_HOME");
        ResetToolIniRecords();
    }
    // The records as read from an existing file that sets nothing: every key's default.
    static Records Defaults(const QString& scratch)
    {
        writeBytes(scratch, "; nothing\r\n");
        ReadToolIni(scratch);
        const Records r = Records::Now();
        ResetToolIniRecords();
        return r;
    }

    QTemporaryDir home;
    QByteArray oldXdg;
    bool hadXdg = false;
};

} // namespace

TEST_F(ToolIni, WithoutAFilePort1At1200AndNothingElse)
{
    const QString path = GetToolIniPath();
    EXPECT_EQ(path, home.path() + "/Fenwix/KadexTool.ini");
    EXPECT_TRUE(QFileInfo(home.path() + "/Fenwix").isDir()); // created on the way

    IniConfig.ReglerFkt = 2; // left over from an earlier read
    EXPECT_FALSE(ReadToolIni(path));
    EXPECT_EQ(IniCom.COMNr, 1);
    EXPECT_EQ(IniCom.Baudrate, 1200);
    // Volume flow and the product type texts, as with a file that names none of them.
    EXPECT_EQ(IniConfig.ReglerFkt, 1);
    EXPECT_EQ(IniQV.FenwixText, "Kadex");
    EXPECT_EQ(IniQV.FenwixTextKPR, "Kadex [KPR Mode]");
    EXPECT_TRUE(SprachWahl.Sprache.isEmpty());
    EXPECT_TRUE(SprachWahl.SprachDatei.isEmpty());
    EXPECT_TRUE(IniPath.LogDatei.isEmpty());
    EXPECT_EQ(IniPresetDPK[SensorPreset300], TIniPresetSensor{});
    EXPECT_EQ(IniQV.K, 0.0f);
    EXPECT_EQ(IniQV.Tn, 0);
    EXPECT_EQ(TComForm::MapBaudRate(IniCom.Baudrate), 1200);
    EXPECT_EQ(DefaultLogDir(), home.path() + "/Kadex_Logs");
    EXPECT_EQ(DefaultDataFileDir(), home.path() + "/Kadex_Defaults");

    // Choices are lost at exit: the file is never created.
    IniCom.COMNr = 4;
    EXPECT_FALSE(WriteToolIni(path));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(SeedToolIniFrom(home.path() + "/no-such-seed.ini"));
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(ToolIni, ShippedSeedHoldsEveryKeyWithItsDefault)
{
    const QString seed = QStringLiteral(KADEX_SOURCE_DIR "/data/KadexTool.ini");
    const QByteArray bytes = readBytes(seed);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n')); // CR LF only

    const TIniFile ini(seed);
    const QList<ToolIniKey> keys = ToolIniKeys();
    EXPECT_EQ(keys.size(), 2 + 1 + 4 + 1 + 3 + 36 + 6 + 12 + 8 + 5 + 15);
    for (const ToolIniKey& k : keys) {
        EXPECT_TRUE(ini.ValueExists(k.section, k.key)) << k.section.toStdString() << "/" << k.key.toStdString();
        EXPECT_EQ(ini.ReadString(k.section, k.key), k.defaultText) << k.key.toStdString();
    }
    EXPECT_EQ(ini.ReadString(u"SPRACHE", u"Deutsch"), "Kadexgerm.lng");

    const Records defaults = Defaults(home.filePath("empty.ini"));
    ASSERT_TRUE(ReadToolIni(seed));
    EXPECT_TRUE(Records::Now() == defaults);

    // Spot checks against the tables.
    EXPECT_EQ(IniCom.COMNr, 2);
    EXPECT_EQ(IniCom.Baudrate, 38400);
    EXPECT_EQ(IniConfig.ReglerFkt, 1);
    EXPECT_EQ(SprachWahl.Sprache, "Deutsch");
    EXPECT_EQ(SprachWahl.SprachDatei, "Kadexgerm.lng");
    EXPECT_EQ(IniPresetDPK[SensorPreset600], (TIniPresetSensor{0, 10000, 600, 6, 30, 5}));
    EXPECT_EQ(IniPresetDSK3[SensorPreset100], (TIniPresetSensor{0, 10000, 100, 1, 30, 5}));
    EXPECT_EQ(IniPresetVS, (TIniPresetSensor{0, 10000, 100, 1, 30, 5}));
    EXPECT_EQ(IniPresetHFX, (TIniPresetAntrieb{2000, 10000, 2000, 10000, 5, 1}));
    EXPECT_EQ(IniPresetRGT, (TIniPresetAntrieb{2000, 10000, 2000, 10000, 120, 0}));
    EXPECT_EQ(IniBetrieb, (TBetrieb{0, 5000, 10000, 0, 10000, 0, 10000, "Positionstext"}));
    EXPECT_EQ(IniOem, (TIniOem{250, 1200, 2800, "0", "OEM-Text"}));
    EXPECT_FLOAT_EQ(IniQV.K, 1.2f);
    EXPECT_EQ(IniQV.Tn, 400);
    EXPECT_EQ(IniQV.SnrDevFam, 3);
    EXPECT_EQ(IniQV.FenwixTextKPR, "Kadex [KPR Mode]");
}

TEST_F(ToolIni, FirstRunWithSeedKeepsTheUsersChoices)
{
    // The build places the seed beside the programs, as an installation does.
    const QString seed = ToolIniSeedPath();
    ASSERT_FALSE(seed.isEmpty());
    EXPECT_EQ(readBytes(seed), readBytes(QStringLiteral(KADEX_SOURCE_DIR "/data/KadexTool.ini")));

    const QString path = GetToolIniPath();
    ASSERT_TRUE(SeedToolIni());
    EXPECT_EQ(readBytes(path), readBytes(seed));
    ASSERT_TRUE(ReadToolIni(path));
    EXPECT_EQ(IniCom.COMNr, 2);

    IniCom.COMNr = 7;
    IniCom.COMPort = "/dev/ttyUSB0";
    IniConfig.EinheitIndex = 2;
    IniConfig.Tabsheet = 3;
    IniConfig.ZBAdrIndex = 5;
    IniConfig.ReglerFkt = 2;
    SprachWahl.Sprache = "English";
    IniPath.LogDatei = QString::fromUtf8("/data/Prüfung");
    IniPath.DefaultDatei = "/data/vav";
    IniOem.OEMText = "ACME 1";
    IniQV.Tn = 999; // a preset: never written
    ASSERT_TRUE(WriteToolIni(path));

    ResetToolIniRecords();
    ASSERT_TRUE(ReadToolIni(path));
    EXPECT_EQ(IniCom.COMNr, 7);
    EXPECT_EQ(IniCom.COMPort, "/dev/ttyUSB0");
    EXPECT_EQ(IniConfig.EinheitIndex, 2);
    EXPECT_EQ(IniConfig.Tabsheet, 3);
    EXPECT_EQ(IniConfig.ZBAdrIndex, 5);
    EXPECT_EQ(IniConfig.ReglerFkt, 2);
    EXPECT_EQ(SprachWahl.Sprache, "English");
    EXPECT_EQ(SprachWahl.SprachDatei, "Kadexgerm.lng"); // no SPRACHE entry for English
    EXPECT_EQ(IniPath.LogDatei, QString::fromUtf8("/data/Prüfung"));
    EXPECT_EQ(IniOem.OEMText, "ACME 1");
    EXPECT_EQ(IniQV.Tn, 400);
    EXPECT_TRUE(readBytes(path).contains("LogDatei=/data/Pr\xFC" "fung\r\n"));

    // A second start does not copy the seed over the user's file.
    const QByteArray mine = readBytes(path);
    EXPECT_FALSE(SeedToolIni());
    EXPECT_EQ(readBytes(path), mine);
}

TEST_F(ToolIni, ReadOnlySeedGivesAWritableCopy)
{
    const QString seed = home.filePath("seed.ini");
    ASSERT_TRUE(writeBytes(seed, "[COM]\r\nCOMNr=3\r\n"));
    QFile::setPermissions(seed, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    ASSERT_TRUE(SeedToolIniFrom(seed));
    const QString path = GetToolIniPath();
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::WriteOwner);
    ASSERT_TRUE(ReadToolIni(path));
    IniCom.COMNr = 9;
    EXPECT_TRUE(WriteToolIni(path));
    EXPECT_TRUE(readBytes(path).startsWith("[COM]\r\nCOMNr=9\r\n"));
}

TEST_F(ToolIni, HandEditedFileIsReadAndEveryForeignLineSurvivesByteForByte)
{
    const QString path = GetToolIniPath();
    const QByteArray original = "; my settings \xB0\r\n"
                                "[com]\r\n"
                                "comnr = 3\r\n"
                                "BAUDRATE=9600\r\n"
                                "Unknown=keep me\r\n"
                                "\r\n"
                                "[Config]\r\n"
                                "einheitindex=1\r\n"
                                "  TabSheet=2   \r\n"
                                "ZBAdrIndex=12\r\n"
                                "[Werkstatt]\r\n"
                                "Ort=H\xF6he 5\r\n"
                                "[sprachwahl]\r\n"
                                "SPRACHE=English\r\n"
                                "[Sprache]\r\n"
                                "deutsch=Kadexgerm.lng\r\n"
                                "ENGLISH=Kadexengl.lng\r\n"
                                "[Drucksensor]\r\n"
                                "dpk300_pnom=350\r\n"
                                "DPK300_Pmax=abc\r\n"
                                "[oem]\r\n"
                                "OEMText=Gr\xF6\xDF" "e\r\n"
                                "Password=  123456789012  \r\n"
                                "[QV]\r\n"
                                "k=0.75\r\n"
                                "FenwixText=H\xF6he\r\n"
                                "; end";
    ASSERT_TRUE(writeBytes(path, original));
    ASSERT_TRUE(ReadToolIni(path));
    EXPECT_EQ(IniCom.COMNr, 3);
    EXPECT_EQ(IniCom.Baudrate, 9600);
    EXPECT_EQ(IniConfig.EinheitIndex, 1);
    EXPECT_EQ(IniConfig.Tabsheet, 2);
    EXPECT_EQ(IniConfig.ZBAdrIndex, 12);
    EXPECT_EQ(IniConfig.ReglerFkt, 1);
    EXPECT_EQ(SprachWahl.Sprache, "English");
    EXPECT_EQ(SprachWahl.SprachDatei, "Kadexengl.lng");
    EXPECT_EQ(IniPresetDPK[SensorPreset300].Pnom, 350);
    EXPECT_EQ(IniPresetDPK[SensorPreset300].Pmax, 10000);
    EXPECT_EQ(IniOem.OEMText, QString::fromUtf8("Größe"));
    EXPECT_EQ(IniOem.Password, "123456789012");
    EXPECT_EQ(OemPasswordValue(IniOem.Password), uint32_t(123456789012ULL & 0xFFFFFFFFu));
    EXPECT_FLOAT_EQ(IniQV.K, 0.75f);
    EXPECT_EQ(IniQV.FenwixText, QString::fromUtf8("Höhe"));

    // What the window hands back at exit: its bus address, the default folder it used.
    IniConfig.ZBAdrIndex = 0;
    IniPath.DefaultDatei = DefaultDataFileDir();
    IniCom.COMNr = 4;
    IniConfig.Tabsheet = 1;
    SprachWahl.Sprache.clear(); // written as "Deutsch"
    IniOem.OEMText = QString::fromUtf8("Müller €");
    IniPath.LogDatei = "/logs";
    ASSERT_TRUE(WriteToolIni(path));
    EXPECT_EQ(readBytes(path), QByteArray("; my settings \xB0\r\n"
                                          "[com]\r\n"
                                          "comnr = 4\r\n"
                                          "BAUDRATE=9600\r\n"
                                          "Unknown=keep me\r\n"
                                          "\r\n"
                                          "[Config]\r\n"
                                          "einheitindex=1\r\n"
                                          "  TabSheet=1\r\n"
                                          "ZBAdrIndex=0\r\n"
                                          "ReglerFkt=1\r\n"
                                          "[Werkstatt]\r\n"
                                          "Ort=H\xF6he 5\r\n"
                                          "[sprachwahl]\r\n"
                                          "SPRACHE=Deutsch\r\n"
                                          "[Sprache]\r\n"
                                          "deutsch=Kadexgerm.lng\r\n"
                                          "ENGLISH=Kadexengl.lng\r\n"
                                          "[Drucksensor]\r\n"
                                          "dpk300_pnom=350\r\n"
                                          "DPK300_Pmax=abc\r\n"
                                          "[oem]\r\n"
                                          "OEMText=M\xFCller \x80\r\n"
                                          "Password=  123456789012  \r\n"
                                          "[QV]\r\n"
                                          "k=0.75\r\n"
                                          "FenwixText=H\xF6he\r\n"
                                          "; end\r\n"
                                          "\r\n"
                                          "[PATH]\r\n"
                                          "LogDatei=/logs\r\n"
                                          "DefaultDatei="
                                              + home.path().toLocal8Bit() + "/Kadex_Defaults\r\n"));
}

TEST_F(ToolIni, BadFilesGiveTheTableDefaults)
{
    const Records defaults = Defaults(home.filePath("empty.ini"));
    EXPECT_EQ(defaults.com.COMNr, 2);
    EXPECT_EQ(defaults.oem.Password, "0");

    QByteArray binary;
    for (int i = 0; i < 2048; ++i)
        binary.append(static_cast<char>((i * 131 + 7) & 0xFF));
    const QList<QByteArray> bad = {
        QByteArray(),
        binary,
        "[COM]\r\nCOMNr=abc\r\nBaudrate=\r\n[CONFIG]\r\nEinheitIndex=1.0\r\n[QV]\r\nK=abc\r\nTn=1e3\r\n",
        "[SOMETHING]\r\nCOMNr=5\r\n",
        "[COM]\r\nCOMNr 5\r\nBaudrate\r\n",
        "[COM]\r\nCOMNr=" + QByteArray(300000, '7') + "\r\n[OEM]\r\nVnom=" + QByteArray(100000, 'x') + "\r\n",
        // Values outside what the field holds.
        "[CONFIG]\r\nEinheitIndex=256\r\nReglerFkt=-1\r\n[OEM]\r\nVnom=65536\r\nDichte=-5\r\n"
        "[ANTRIEB]\r\nRGT_LZAntrieb=70000\r\n[QV]\r\nK=1e300\r\n",
        // A controller function the tool does not know is the volume-flow one.
        "[CONFIG]\r\nReglerFkt=0\r\n",
        "[CONFIG]\r\nReglerFkt=7\r\n",
    };
    const QString path = home.filePath("bad.ini");
    for (const QByteArray& data : bad) {
        ASSERT_TRUE(writeBytes(path, data));
        ResetToolIniRecords();
        EXPECT_TRUE(ReadToolIni(path));
        EXPECT_TRUE(Records::Now() == defaults) << data.left(60).toStdString();
    }
    // An empty Sprache means no language file.
    ASSERT_TRUE(writeBytes(path, "[SPRACHWAHL]\r\nSprache=\r\n[SPRACHE]\r\n=x.lng\r\n"));
    ASSERT_TRUE(ReadToolIni(path));
    EXPECT_TRUE(SprachWahl.Sprache.isEmpty());
    EXPECT_TRUE(SprachWahl.SprachDatei.isEmpty());
}

TEST_F(ToolIni, BaudrateAndPasswordValues)
{
    const QString path = home.filePath("b.ini");
    const std::pair<const char*, int> cases[] = {{"300", 300}, {"115200", 115200}, {"1234", 1200}, {"38400", 38400}};
    for (const auto& [text, rate] : cases) {
        ASSERT_TRUE(writeBytes(path, QByteArray("[COM]\r\nBaudrate=") + text + "\r\n"));
        ReadToolIni(path);
        EXPECT_EQ(IniCom.Baudrate, QByteArray(text).toInt());
        EXPECT_EQ(TComForm::MapBaudRate(IniCom.Baudrate), rate);
    }
    EXPECT_EQ(OemPasswordValue("4711"), 4711u);
    EXPECT_EQ(OemPasswordValue("4294967297"), 1u); // low 32 bits
    EXPECT_EQ(OemPasswordValue("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(OemPasswordValue("12ab"), 0u);
    EXPECT_EQ(OemPasswordValue("99999999999999999999"), 0u);
    EXPECT_EQ(OemPasswordValue(""), 0u);
}

TEST_F(ToolIni, LanguageChoiceIsReadAgainOnDemand)
{
    const QString path = home.filePath("l.ini");
    ASSERT_TRUE(writeBytes(path, "[SPRACHWAHL]\r\nSprache=Deutsch\r\n[SPRACHE]\r\nDeutsch=Kadexgerm.lng\r\n"
                                 "English=Kadexengl.lng\r\n"));
    ASSERT_TRUE(ReadToolIni(path));
    EXPECT_EQ(SprachWahl.SprachDatei, "Kadexgerm.lng");
    SprachWahl.Sprache = "english";
    EXPECT_TRUE(ReadLanguageChoice(path));
    EXPECT_EQ(SprachWahl.SprachDatei, "Kadexengl.lng");
    SprachWahl.Sprache = "Français";
    EXPECT_TRUE(ReadLanguageChoice(path));
    EXPECT_EQ(SprachWahl.SprachDatei, "Kadexgerm.lng");
    SprachWahl.SprachDatei = "keep";
    EXPECT_FALSE(ReadLanguageChoice(home.filePath("none.ini")));
    EXPECT_EQ(SprachWahl.SprachDatei, "keep");
}

TEST_F(ToolIni, MissingKeysAreAddedInTheSavedOrder)
{
    const QString path = home.filePath("order.ini");
    ASSERT_TRUE(writeBytes(path, "[COM]\r\nBaudrate=9600\r\n"));
    ASSERT_TRUE(ReadToolIni(path));
    IniCom.COMNr = 6;
    ASSERT_TRUE(WriteToolIni(path));
    // Without a chosen device path the COMPort key is not added.
    EXPECT_EQ(readBytes(path), QByteArray("[COM]\r\nBaudrate=9600\r\nCOMNr=6\r\n\r\n"
                                          "[CONFIG]\r\nEinheitIndex=0\r\nTabsheet=0\r\nZBAdrIndex=0\r\nReglerFkt=1\r\n\r\n"
                                          "[SPRACHWAHL]\r\nSprache=Deutsch\r\n\r\n"
                                          "[PATH]\r\nLogDatei=\r\nDefaultDatei=\r\n\r\n"
                                          "[OEM]\r\nOEMText=OEM-Text\r\n"));
    IniCom.COMPort = "/dev/ttyACM0";
    ASSERT_TRUE(WriteToolIni(path));
    EXPECT_TRUE(readBytes(path).startsWith("[COM]\r\nBaudrate=9600\r\nCOMNr=6\r\nCOMPort=/dev/ttyACM0\r\n\r\n"));
    IniCom.COMPort.clear(); // back to the number: the key stays, emptied
    ASSERT_TRUE(WriteToolIni(path));
    EXPECT_TRUE(readBytes(path).startsWith("[COM]\r\nBaudrate=9600\r\nCOMNr=6\r\nCOMPort=\r\n\r\n"));
}

TEST_F(ToolIni, WriteFailuresReportFalseAndLeaveTheFileAlone)
{
    const QString path = GetToolIniPath();
    ASSERT_TRUE(writeBytes(path, "[COM]\r\nCOMNr=2\r\n"));
    ASSERT_TRUE(ReadToolIni(path));
    IniCom.COMNr = 8;

    // A path below a regular file cannot exist.
    const QString blocker = home.filePath("plainfile");
    ASSERT_TRUE(writeBytes(blocker, "x"));
    EXPECT_FALSE(WriteToolIni(blocker + "/KadexTool.ini"));

    // A folder where the file should be.
    const QString folder = home.filePath("dir.ini");
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_FALSE(WriteToolIni(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // A readable file whose folder takes no new files, not even from root.
    const QString procFile = QStringLiteral("/proc/self/comm");
    ASSERT_TRUE(TIniFile(procFile).Loaded());
    const QByteArray name = readBytes(procFile);
    EXPECT_FALSE(WriteToolIni(procFile));
    EXPECT_EQ(readBytes(procFile), name);

    // The folder vanished while the tool ran.
    ASSERT_TRUE(QDir(home.path() + "/Fenwix").removeRecursively());
    EXPECT_FALSE(WriteToolIni(path));
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/Fenwix"));
}

TEST_F(ToolIni, ReadOnlyFileIsNotWritten)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: a read-only file is writable for root";
    const QString path = GetToolIniPath();
    ASSERT_TRUE(writeBytes(path, "[COM]\r\nCOMNr=2\r\n"));
    ASSERT_TRUE(ReadToolIni(path));
    IniCom.COMNr = 8;
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_FALSE(WriteToolIni(path));
    EXPECT_EQ(readBytes(path), QByteArray("[COM]\r\nCOMNr=2\r\n"));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(ToolIni, AFailureAtEachWriteStepLeavesTheOldFileWholeAndSaysWhy)
{
    ASSERT_TRUE(SeedToolIni());
    const QString path = GetToolIniPath();
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray old = readBytes(path);
    ASSERT_GT(old.size(), 1000);
    ASSERT_TRUE(ReadToolIni(path));
    const WriteStep steps[] = {WriteStep::Open, WriteStep::Write, WriteStep::Flush,
                               WriteStep::Sync, WriteStep::Close, WriteStep::Rename};
    int n = 0;
    for (const WriteStep step : steps) {
        SCOPED_TRACE(WriteStepName(step));
        IniCom.COMNr = 10 + n++;
        SetWriteFaultHook([step](WriteStep s) { return s == step; });
        QString why;
        EXPECT_FALSE(WriteToolIni(path, &why));
        SetWriteFaultHook({});
        EXPECT_EQ(readBytes(path), old);
        EXPECT_TRUE(why.contains(QLatin1String(WriteStepName(step)))) << why.toStdString();
        // No temporary file is left behind.
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"KadexTool.ini"});
    }
    // Without a fault the choice is written, and the file and its folder are the user's alone.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                    | QFileDevice::ReadOther);
    ASSERT_TRUE(WriteToolIni(path));
    // Only the changed key differs from the old file.
    EXPECT_EQ(readBytes(path), QByteArray(old).replace("COMNr=2\r\n", "COMNr=15\r\n"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(ToolIni, FullDiskWhileSeedingLeavesNoEmptyFile)
{
    SetWriteFaultHook([](WriteStep s) { return s == WriteStep::Flush; });
    ToolIniSeeding report;
    EXPECT_FALSE(SeedToolIni(&report));
    SetWriteFaultHook({});
    EXPECT_FALSE(report.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(GetToolIniPath()));
    // The next start seeds.
    ASSERT_TRUE(SeedToolIni(&report));
    EXPECT_EQ(readBytes(GetToolIniPath()), readBytes(ToolIniSeedPath()));
}

TEST_F(ToolIni, UnreadableFileIsReplacedAndKeptUnderADatedName)
{
    const QString path = GetToolIniPath();
    const struct {
        const char* what;
        QByteArray bytes;
        bool unreadable;
    } cases[] = {
        {"empty", QByteArray(), true},
        {"binary", QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10), true},
        {"cut before a section", "COMNr=3\r\nBaud", true},
        {"text without sections", "just some words\r\n", true},
        {"hand-trimmed", "[COM]\r\nCOMNr=3", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(QFileInfo(path).absolutePath()).removeRecursively();
        const QString again = GetToolIniPath();
        ASSERT_TRUE(writeBytes(again, c.bytes));
        EXPECT_EQ(ToolIniUnreadable(again), c.unreadable);
        ToolIniSeeding report;
        EXPECT_EQ(SeedToolIni(&report), c.unreadable);
        if (!c.unreadable) {
            EXPECT_EQ(readBytes(again), c.bytes);
            EXPECT_TRUE(report.keptAs.isEmpty());
            continue;
        }
        EXPECT_EQ(readBytes(again), readBytes(ToolIniSeedPath()));
        EXPECT_TRUE(QFileInfo(report.keptAs).fileName().startsWith("KadexTool.ini.unreadable-")) << report.keptAs.toStdString();
        EXPECT_EQ(QFileInfo(report.keptAs).absolutePath(), QFileInfo(again).absolutePath());
        EXPECT_EQ(readBytes(report.keptAs), c.bytes);
    }
}
