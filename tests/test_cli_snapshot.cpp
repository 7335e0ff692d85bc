// kadex-cli's device snapshots (read --all, write, diff) end to end against kadex-sim on a
// pseudo-terminal, so the simulated controller's memory outlives each run and can be peeked.
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

QString binary(const char* name)
{
    return QStringLiteral(KADEX_BIN_DIR "/") + QLatin1String(name);
}

struct Result {
    int exitCode = -1; // -1: crashed or hung
    QString out, err;
};

Result runCli(const QStringList& args)
{
    QProcess p;
    p.start(binary("kadex-cli"), args);
    Result r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString readLine(QProcess& p)
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!p.canReadLine() && Clock::now() < deadline)
        p.waitForReadyRead(100);
    return p.canReadLine() ? QString::fromUtf8(p.readLine()).trimmed() : QString();
}

// kadex-sim with one controller on a pseudo-terminal; its line commands peek at it.
class SimOnPty {
public:
    bool Start()
    {
        sim_.start(binary("kadex-sim"), {});
        if (!sim_.waitForStarted(10000))
            return false;
        const QString first = readLine(sim_);
        if (!first.startsWith(QStringLiteral("PTY /dev/")))
            return false;
        port_ = first.mid(4);
        return true;
    }
    ~SimOnPty()
    {
        sim_.kill();
        sim_.waitForFinished(5000);
    }
    QString Port() const { return port_; }
    QString Command(const QString& line)
    {
        sim_.write(line.toUtf8() + '\n');
        sim_.waitForBytesWritten(5000);
        return readLine(sim_);
    }
    int PeekBe16(int addr)
    {
        const QStringList w = Command(QStringLiteral("peek 1 %1 2").arg(addr, 4, 16, QLatin1Char('0'))).split(' ');
        return w.size() == 3 ? (w[1].toInt(nullptr, 16) << 8 | w[2].toInt(nullptr, 16)) : -1;
    }
    // Telegrams the bus has seen so far.
    int Telegrams()
    {
        const QStringList w = Command(QStringLiteral("record 1")).split(' ');
        const int n = w.size() >= 2 ? w[1].toInt() : -1;
        if (n > 0)
            readLine(sim_); // the last telegram
        return n;
    }

private:
    QProcess sim_;
    QString port_;
};

QJsonObject readAll(SimOnPty& sim)
{
    const Result r = runCli({QStringLiteral("--port"), sim.Port(), QStringLiteral("read"), QStringLiteral("--all"),
                             QStringLiteral("--json")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& content)
{
    const QString path = dir.filePath(QLatin1String(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
    return path;
}

QByteArray withValue(QJsonObject snap, const char* record, const char* field, const QJsonValue& v)
{
    QJsonObject rec = snap.value(QLatin1String(record)).toObject();
    rec[QLatin1String(field)] = v;
    snap[QLatin1String(record)] = rec;
    return QJsonDocument(snap).toJson();
}

bool programsBuilt()
{
    return QFileInfo::exists(binary("kadex-cli")) && QFileInfo::exists(binary("kadex-sim"));
}

} // namespace

TEST(CliSnapshot, ReadModifyWriteRoundTripReachesTheController)
{
    if (!programsBuilt())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    SimOnPty sim;
    ASSERT_TRUE(sim.Start());
    QTemporaryDir dir;
    QJsonObject snap = readAll(sim);
    for (const char* rec : {"operating", "calibration", "parameters"})
        ASSERT_TRUE(snap.value(QLatin1String(rec)).isObject()) << rec;
    EXPECT_TRUE(snap.value(QStringLiteral("operating")).toObject().value(QStringLiteral("EditVmaxPrz")).isDouble());
    EXPECT_TRUE(snap.value(QStringLiteral("parameters")).toObject().value(QStringLiteral("CheckBoxVAVAdaptiv")).isBool());

    // One change in each record.
    const QString unchanged = writeFile(dir, "unchanged.json", QJsonDocument(snap).toJson());
    QJsonObject edited = QJsonDocument::fromJson(withValue(snap, "operating", "EditVmaxPrz", 85.5)).object();
    edited = QJsonDocument::fromJson(withValue(edited, "calibration", "SpinEditLZAntrieb", 120)).object();
    const QString path = writeFile(dir, "edited.json", withValue(edited, "parameters", "SpinEditVAVT1", 321));

    Result r = runCli({QStringLiteral("--port"), sim.Port(), QStringLiteral("diff"), path});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("operating.EditVmaxPrz: file 85.5, device "))) << r.out.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 3) << r.out.toStdString();

    r = runCli({QStringLiteral("--port"), sim.Port(), QStringLiteral("write"), path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runCli({QStringLiteral("--port"), sim.Port(), QStringLiteral("--json"), QStringLiteral("diff"), path});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(r.out.toUtf8()).array().isEmpty()) << r.out.toStdString();
    // The controller itself holds the new values.
    EXPECT_EQ(sim.PeekBe16(0x0204), 8550);  // V'max, 0.01 %
    EXPECT_EQ(sim.PeekBe16(0x002E), 120);   // actuator running time
    EXPECT_EQ(sim.PeekBe16(0x0100), 321);   // T1
    // The first snapshot now differs in exactly those three fields.
    r = runCli({QStringLiteral("--port"), sim.Port(), QStringLiteral("--json"), QStringLiteral("diff"), unchanged});
    EXPECT_EQ(r.exitCode, 1);
    QStringList keys;
    for (const QJsonValue& d : QJsonDocument::fromJson(r.out.toUtf8()).array())
        keys << d.toObject().value(QStringLiteral("key")).toString();
    keys.sort();
    EXPECT_EQ(keys, (QStringList{QStringLiteral("calibration.SpinEditLZAntrieb"),
                                 QStringLiteral("operating.EditVmaxPrz"), QStringLiteral("parameters.SpinEditVAVT1")}));
}

TEST(CliSnapshot, BadFilesAreRefusedBeforeAnyBusTraffic)
{
    if (!programsBuilt())
        GTEST_SKIP() << "kadex-cli or kadex-sim is not built";
    SimOnPty sim;
    ASSERT_TRUE(sim.Start());
    QTemporaryDir dir;
    const QJsonObject snap = readAll(sim);
    const struct {
        const char* what;
        QByteArray content;
        QString named; // the message must name this
    } cases[] = {
        {"not JSON", "{\"operating\": {", QStringLiteral("not JSON")},
        {"unknown record", withValue(snap, "service", "EditVmaxPrz", 50), QStringLiteral("service")},
        {"unknown key", withValue(snap, "operating", "EditVnomM3", 100), QStringLiteral("operating.EditVnomM3")},
        {"out of range", withValue(snap, "operating", "EditVmaxPrz", 120), QStringLiteral("operating.EditVmaxPrz")},
        {"spin out of range", withValue(snap, "parameters", "SpinEditSnrWoche", 60),
         QStringLiteral("parameters.SpinEditSnrWoche")},
        {"wrong type", withValue(snap, "calibration", "SpinEditVAVPmin", QStringLiteral("10")),
         QStringLiteral("calibration.SpinEditVAVPmin")},
        {"text for a boolean", withValue(snap, "parameters", "CheckBoxVAVAdaptiv", 1),
         QStringLiteral("parameters.CheckBoxVAVAdaptiv")},
        {"V'max below 30 %", withValue(snap, "operating", "EditVmaxPrz", 20), QStringLiteral("EditVmaxPrz")},
        {"W1 breaks the 2 V rule",
         withValue(QJsonDocument::fromJson(withValue(snap, "operating", "EditW1Min", 5.0)).object(), "operating",
                   "EditW1Max", 6.0),
         QStringLiteral("EditW1")},
    };
    const int before = sim.Telegrams();
    ASSERT_GE(before, 1);
    for (const auto& c : cases) {
        const Result r = runCli({QStringLiteral("--port"), sim.Port(), QStringLiteral("write"),
                                 writeFile(dir, "bad.json", c.content)});
        EXPECT_EQ(r.exitCode, 2) << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.named)) << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << c.what;
    }
    EXPECT_EQ(sim.Telegrams(), before) << "a refused file reached the bus";
}
