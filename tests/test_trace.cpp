// The diagnostic trace: off unless asked for, one whole line per entry, rotation.
#include "settings/Trace.h"

#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

using namespace kadex;

namespace kadex::tracetest {
struct TBase {
    virtual ~TBase() = default;
};
struct TDerivedRecord : TBase {};
struct TPlain {};
} // namespace kadex::tracetest

namespace {

const QRegularExpression kEntry(
    QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] (Start|Enter|Leave|Message|Value) (.*)$)"));

struct Entry {
    QString thread, kind, text;
};

// The entries of a file; a line that is not a whole entry fails the test.
std::vector<Entry> readEntries(const QString& path, bool withStart = false)
{
    std::vector<Entry> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i == lines.size() - 1) {
            EXPECT_TRUE(lines[i].isEmpty()) << "unterminated last line";
            break;
        }
        const auto m = kEntry.match(QString::fromUtf8(lines[i]));
        EXPECT_TRUE(m.hasMatch()) << lines[i].toStdString();
        if (m.hasMatch() && (withStart || m.captured(2) != "Start"))
            out.push_back({m.captured(1), m.captured(2), m.captured(3)});
    }
    return out;
}

QStringList texts(const std::vector<Entry>& entries)
{
    QStringList out;
    for (const Entry& e : entries)
        out << e.kind + ' ' + e.text;
    return out;
}

class Trace : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        saveEnv("XDG_DATA_HOME", xdg);
        saveEnv("KADEX_TRACE", flag);
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    }
    void TearDown() override
    {
        restoreEnv("XDG_DATA_HOME", xdg);
        restoreEnv("KADEX_TRACE", flag);
        // Back to the program's state: set up, switched off, nothing written.
        TTrace::Instance().SetEnabled(false);
        TTrace::Instance().SetOutput({});
    }
    void start(const char* value)
    {
        if (value)
            qputenv("KADEX_TRACE", value);
        else
            qunsetenv("KADEX_TRACE");
        TTrace::Instance().Setup();
    }
    QString logFile() const { return home.path() + "/Kadex_Logs/Log.sil"; }

    struct Saved {
        bool set = false;
        QByteArray value;
    };
    static void saveEnv(const char* name, Saved& s)
    {
        s.set = qEnvironmentVariableIsSet(name);
        s.value = qgetenv(name);
    }
    static void restoreEnv(const char* name, const Saved& s)
    {
        if (s.set)
            qputenv(name, s.value);
        else
            qunsetenv(name);
    }

    QTemporaryDir home;
    Saved xdg, flag;
};

} // namespace

TEST_F(Trace, OffByDefaultWritesNothing)
{
    for (const char* value : {static_cast<const char*>(nullptr), "0", "yes", ""}) {
        start(value);
        EXPECT_FALSE(TTrace::Enabled());
        EXPECT_EQ(TTrace::Instance().FileName(), logFile());
        TraceMain.EnterMethod(u"FormCreate");
        TraceMain.TraceBool(u"x", true);
        TraceMain.TraceText(u"t", u"v");
        { TraceMethodScope scope(TraceMain, u"Scoped"); }
        EXPECT_FALSE(QFileInfo::exists(home.path() + "/Kadex_Logs"));
    }
}

TEST_F(Trace, SwitchedOnWritesEveryKindOfEntry)
{
    start("1");
    ASSERT_TRUE(TTrace::Enabled());
    EXPECT_EQ(TTrace::Instance().OutputSetting(),
              "file(filename=\"" + logFile() + "\", maxsize=\"16MB\", maxparts=5, append=true)");

    tracetest::TDerivedRecord derived;
    const tracetest::TBase* base = &derived;
    const tracetest::TPlain plain;
    QTimer timer;
    const QObject* asObject = &timer;

    TraceMain.EnterMethod(u"FormCreate");
    TraceMain.EnterMethod("TVAVBetrieb", "ReadData");
    TraceMain.EnterMethod(base, u"ReadConfig");
    TraceMain.LeaveMethod(&plain, u"SetData");
    TraceMain.EnterMethod(asObject, QStringLiteral("timeout"));
    TraceMain.TraceMessage("Trying to open ComPort");
    TraceMain.TraceBool(u"OEM_Data_HW.Vnom = StrToInt(MainForm.EditVnomM3.Text)", false);
    TraceMain.TraceBool(u"Konfiguration ist gleich: ", true);
    TraceMain.TraceInt(u"Height", -12);
    TraceMain.TraceText(u"Read sOEM", QString::fromUtf8("Höhe"));
    TraceMain.TraceMessage(u"two\r\nlines");
    {
        TraceMethodScope scope(TraceMain, &derived, u"WriteConfig");
        TraceMain.TraceMessage(u"inside");
    }
    TraceMain.LeaveMethod(u"FormCreate");

    const auto entries = readEntries(logFile(), true);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().kind, "Start");
    EXPECT_EQ(texts(readEntries(logFile())),
              QStringList({"Enter FormCreate",
                           "Enter TVAVBetrieb.ReadData",
                           "Enter TDerivedRecord.ReadConfig",
                           "Leave TPlain.SetData",
                           "Enter QTimer.timeout",
                           "Message Trying to open ComPort",
                           "Value OEM_Data_HW.Vnom = StrToInt(MainForm.EditVnomM3.Text) = False",
                           "Value Konfiguration ist gleich:  = True",
                           "Value Height = -12",
                           QString::fromUtf8("Value Read sOEM = Höhe"),
                           "Message two  lines",
                           "Enter TDerivedRecord.WriteConfig",
                           "Message inside",
                           "Leave TDerivedRecord.WriteConfig",
                           "Leave FormCreate"}));
}

TEST_F(Trace, AppendsAcrossRuns)
{
    start("1");
    TraceMain.TraceMessage(u"first run");
    start("1"); // the next program start
    TraceMain.TraceMessage(u"second run");
    const auto all = readEntries(logFile(), true);
    EXPECT_EQ(texts(all).filter(QRegularExpression("^Start ")).size(), 2);
    EXPECT_EQ(texts(readEntries(logFile())), QStringList({"Message first run", "Message second run"}));
}

TEST_F(Trace, RotatesAtTheSizeLimitKeepingFiveParts)
{
    start("1");
    const qint64 limit = 1500;
    TTrace::Instance().SetOutput(TTrace::Instance().FileName(), limit);
    const int count = 400;
    for (int i = 0; i < count; ++i)
        TraceMain.TraceInt(u"n", i);

    std::vector<QString> parts; // oldest first
    for (int p = TTrace::MaxParts - 1; p >= 1; --p)
        parts.push_back(TTrace::Instance().PartFileName(p));
    parts.push_back(logFile());
    EXPECT_EQ(parts.front(), home.path() + "/Kadex_Logs/Log.4.sil");
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/Kadex_Logs/Log.5.sil"));

    std::vector<int> numbers;
    for (const QString& part : parts) {
        ASSERT_TRUE(QFileInfo::exists(part)) << part.toStdString();
        EXPECT_LE(QFileInfo(part).size(), limit);
        if (part != logFile()) { // older parts were filled up before they were rotated
            EXPECT_GT(QFileInfo(part).size(), limit / 2);
        }
        for (const Entry& e : readEntries(part))
            numbers.push_back(e.text.mid(4).toInt());
    }
    // What is kept is the newest entries, without a gap.
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers.back(), count - 1);
    for (size_t i = 1; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], numbers[i - 1] + 1);
    EXPECT_GT(numbers.front(), 0); // the oldest were dropped
}

TEST_F(Trace, ConcurrentWritersNeverShareALine)
{
    start("1");
    const int threads = 4, perThread = 400;
    const QString filler(300, QLatin1Char('x'));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i)
                TraceMain.TraceText(QStringLiteral("w%1 %2").arg(t).arg(i), filler);
        });
    for (auto& w : workers)
        w.join();

    const auto entries = readEntries(logFile());
    ASSERT_EQ(entries.size(), size_t(threads * perThread));
    const QRegularExpression body(QStringLiteral("^w(\\d) (\\d+) = x{300}$"));
    std::map<int, int> next;
    std::map<int, QString> threadOf;
    for (const Entry& e : entries) {
        const auto m = body.match(e.text);
        ASSERT_TRUE(m.hasMatch()) << e.text.left(80).toStdString();
        const int t = m.captured(1).toInt();
        EXPECT_EQ(m.captured(2).toInt(), next[t]++); // each writer's entries in its order
        if (threadOf.count(t)) {
            EXPECT_EQ(threadOf[t], e.thread);
        }
        threadOf[t] = e.thread;
    }
    EXPECT_EQ(threadOf.size(), size_t(threads));
}

TEST_F(Trace, AFolderThatCannotBeMadeDoesNotStopTheTool)
{
    const QString blocker = home.filePath("file");
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    start("1");
    TraceMain.TraceMessage(u"nowhere to go");
    TraceMain.TraceBool(u"still running", true);
    EXPECT_TRUE(QFileInfo(blocker).isFile());
    EXPECT_EQ(QFileInfo(blocker).size(), 0);
}
