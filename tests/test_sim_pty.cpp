// The simulator on a pseudo-terminal: raw bytes through the pty, the tool's serial port on it,
// and end to end: the kadex-sim program driven through its standard input with kadex-cli
// identifying its controllers.
#include "comm/ComForm.h"
#include "comm/SerialTransport.h"
#include "comm/ZBCmd.h"
#include "comm/ZBFrame.h"
#include "core/PortOpenText.h"
#include "sim/PtyServer.h"
#include "sim/SimBus.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace kadex;
using namespace kadex::sim;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

// The tool's end of the pseudo-terminal, opened by hand.
class Slave {
public:
    explicit Slave(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0) {
            termios t{};
            ::tcgetattr(fd_, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Slave()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void write(const Bytes& b) { ASSERT_EQ(::write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    // Reads until n bytes have come or the (generous) deadline passes.
    Bytes read(size_t n, int timeoutMs = 5000)
    {
        Bytes got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < n && Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            uint8_t buf[256];
            const ssize_t r = ::read(fd_, buf, sizeof buf);
            if (r > 0)
                got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    // True once the other side has hung up.
    bool waitHangUp(int timeoutMs = 5000)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                if (p.revents & (POLLHUP | POLLERR))
                    return true;
                uint8_t buf[64];
                const ssize_t r = ::read(fd_, buf, sizeof buf);
                if (r == 0 || (r < 0 && errno == EIO))
                    return true;
            }
        }
        return false;
    }

private:
    int fd_ = -1;
};

Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(SimPty, ServesTheBusOnAPseudoTerminal)
{
    auto bus = std::make_shared<SimBus>();
    PtyServer pty;
    std::string error;
    ASSERT_TRUE(pty.start(bus, &error)) << error;
    ASSERT_EQ(pty.slavePath().rfind("/dev/pts/", 0), 0u) << pty.slavePath();
    Slave tool(pty.slavePath());
    ASSERT_TRUE(tool.ok());

    const Bytes getMode{0x11, 0x4B, 0x00, 0x5A};
    tool.write(getMode);
    EXPECT_EQ(tool.read(9), cat(getMode, {0x20, 0x00, 0x00, 0x20, 0x00}));

    // Garbage, a silence, then a good telegram: the controller side resynchronises.
    tool.write({0x7F, 0x01});
    EXPECT_EQ(tool.read(2), (Bytes{0x7F, 0x01}));  // the interface echoes garbage too
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the silence itself
    tool.write(getMode);
    EXPECT_EQ(tool.read(9), cat(getMode, {0x20, 0x00, 0x00, 0x20, 0x00}));
    const auto rec = bus->record();
    ASSERT_EQ(rec.size(), 3u);
    EXPECT_EQ(rec[1].note, "incomplete telegram dropped after a silence");
    EXPECT_TRUE(rec[2].answered());

    pty.stop();
    EXPECT_FALSE(pty.serving());
}

TEST(SimPty, HangUpClosesTheMasterSide)
{
    auto bus = std::make_shared<SimBus>();
    PtyServer pty;
    ASSERT_TRUE(pty.start(bus));
    Slave tool(pty.slavePath());
    ASSERT_TRUE(tool.ok());
    bus->hangUp();
    EXPECT_TRUE(tool.waitHangUp());
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (pty.serving() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(pty.serving());
}

TEST(SimPty, ToolsSerialPortWorksOnThePseudoTerminal)
{
    auto bus = std::make_shared<SimBus>(BusOptions::WithControllers(2));
    PtyServer pty;
    ASSERT_TRUE(pty.start(bus));

    TComForm com;  // the machine's serial port, on the pseudo-terminal's path
    com.SetPortPath(QString::fromStdString(pty.slavePath()));
    com.SetBaudRate(38400);
    ASSERT_TRUE(com.OpenPort()) << com.LastOpenSystemText().toStdString();
    com.SetDtrRts();  // a warning on a pty, not a failure
    std::atomic<int> lost{0};
    com.SetLinkLostHandler([&](const QString&) { ++lost; });
    TZBCmd zb(com);

    zb.SetAdrIndex(2);
    QString text, typeText;
    uint32_t key = 0;
    uint8_t type = 0;
    ASSERT_TRUE(zb.GetIdentityText(text, typeText, key, type));
    EXPECT_EQ(text.toStdString(), bus->identity(2).text());
    const uint8_t data[4] = {0x12, 0x34, 0x56, 0x78};
    ASSERT_TRUE(zb.WriteMem(0x0300, data, 4));
    EXPECT_EQ(bus->peek(2, 0x0300, 4), (Bytes{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(bus->peek(1, 0x0300, 4), Bytes(4, 0));
    const auto rec = bus->record();
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_EQ(rec[1].bytes, zb::Frame(zb::AddressPattern(2), {0x02, 0x03, 0x00, 0x12, 0x34, 0x56, 0x78}));

    // The port hanging up reaches the tool as a lost link.
    bus->hangUp();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (lost.load() == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(lost.load(), 1);
    com.ClosePort();
}

// Bytes that arrive just before the tool drops pending input (a late answer, noise) leave the
// port a read notification with nothing to read; that is no lost port.
TEST(SimPty, InputDroppedUnderAPendingNotificationIsNoLostPort)
{
    auto bus = std::make_shared<SimBus>(BusOptions::WithControllers(1));
    Fault noise;
    noise.kind = FaultKind::Noise;
    noise.count = 0;
    noise.rate = 1.0;
    noise.noiseWithinMs = 25;
    bus->addFault(1, noise);
    PtyServer pty;
    ASSERT_TRUE(pty.start(bus));
    TComForm com;
    com.SetPortPath(QString::fromStdString(pty.slavePath()));
    com.SetBaudRate(38400);
    ASSERT_TRUE(com.OpenPort()) << com.LastOpenSystemText().toStdString();
    std::atomic<int> lost{0};
    com.SetLinkLostHandler([&](const QString&) { ++lost; });
    TZBCmd zb(com);
    zb.Attempts = 1;
    zb.GuardMs = 0; // send again at once, while noise is still coming
    zb.Rules.probeAfterFailure = false;
    for (int i = 0; i < 300 && lost.load() == 0; ++i) {
        uint8_t mode = 0, old = 0;
        zb.GetMode(mode, old);
        com.Transport()->discardInput();
    }
    EXPECT_EQ(lost.load(), 0);
    EXPECT_FALSE(com.LinkLost());
    // The port still works.
    bus->clearFaults(1);
    uint8_t mode = 0xEE, old = 0xEE;
    zb.Attempts = 3;
    EXPECT_TRUE(zb.GetMode(mode, old));
    EXPECT_EQ(mode, bus->mode(1));
    com.ClosePort();
}

// ------------------------------------------------------------------------------ kadex-sim program

namespace {

QString binary(const char* name)
{
    return QStringLiteral(KADEX_BIN_DIR "/") + QLatin1String(name);
}

// One line of the process's standard output, or an empty string after the deadline.
QString readLine(QProcess& p, int timeoutMs = 10000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!p.canReadLine() && Clock::now() < deadline)
        p.waitForReadyRead(100);
    return p.canReadLine() ? QString::fromUtf8(p.readLine()).trimmed() : QString();
}

QString command(QProcess& sim, const char* line)
{
    sim.write(QByteArray(line) + '\n');
    sim.waitForBytesWritten(5000);
    return readLine(sim);
}

struct CliResult {
    int exitCode = -1;
    QString out;
};

CliResult cli(const QStringList& args)
{
    QProcess p;
    p.start(binary("kadex-cli"), args);
    CliResult r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

} // namespace

TEST(SimEndToEnd, KadexCliIdentifiesTheSimulatorsControllers)
{
    ASSERT_TRUE(QFileInfo::exists(binary("kadex-sim"))) << "build kadex-sim first";
    if (!QFileInfo::exists(binary("kadex-cli")))
        GTEST_SKIP() << "kadex-cli is not built yet";

    QProcess sim;
    sim.start(binary("kadex-sim"), {QStringLiteral("--controllers"), QStringLiteral("2"), QStringLiteral("--address"),
                                    QStringLiteral("1=PP"), QStringLiteral("--address"), QStringLiteral("2=ZB3"),
                                    QStringLiteral("--identity"), QStringLiteral("1=00815-20017-003-002"),
                                    QStringLiteral("--firmware"), QStringLiteral("2=021F")});
    ASSERT_TRUE(sim.waitForStarted(10000));
    const QString first = readLine(sim);
    ASSERT_TRUE(first.startsWith(QStringLiteral("PTY /dev/"))) << first.toStdString();
    const QString port = first.mid(4);

    EXPECT_EQ(command(sim, "status"), QStringLiteral("OK"));
    const QString s1 = readLine(sim), s2 = readLine(sim);
    EXPECT_TRUE(s1.startsWith(QStringLiteral("1 PP 00815-20017-003-002 fw 0308 present"))) << s1.toStdString();
    EXPECT_TRUE(s2.startsWith(QStringLiteral("2 ZB3 00812-04712-003-001 fw 021F present"))) << s2.toStdString();

    // One lost answer on the way: the tool's retry covers it.
    EXPECT_EQ(command(sim, "fault 1 noanswer 1"), QStringLiteral("OK fault noanswer on 1"));
    CliResult r = cli({QStringLiteral("--port"), port, QStringLiteral("identify")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Serial number: 00815-20017-003-002"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Bus address: PP"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Firmware: 0308"))) << r.out.toStdString();

    r = cli({QStringLiteral("--port"), port, QStringLiteral("--address"), QStringLiteral("ZB3"), QStringLiteral("identify")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Serial number: 00812-04712-003-001"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Firmware: 021F"))) << r.out.toStdString();
    // Options after the command and mixed in take effect as well.
    r = cli({QStringLiteral("identify"), QStringLiteral("--port"), port, QStringLiteral("--json"),
             QStringLiteral("--address=ZB3")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("\"serialNumber\": \"00812-04712-003-001\""))) << r.out.toStdString();

    // Another controller in its place answers with its own identity; a removed one not at all.
    EXPECT_EQ(command(sim, "replace 1 1502 30042 7"), QStringLiteral("OK replaced 1 01502-30042-003-007"));
    r = cli({QStringLiteral("--port"), port, QStringLiteral("identify")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Serial number: 01502-30042-003-007"))) << r.out.toStdString();
    EXPECT_EQ(command(sim, "remove 1"), QStringLiteral("OK removed 1"));
    r = cli({QStringLiteral("--port"), port, QStringLiteral("identify")});
    EXPECT_NE(r.exitCode, 0);

    EXPECT_TRUE(command(sim, "bogus").startsWith(QStringLiteral("ERR")));
    EXPECT_EQ(command(sim, "quit"), QStringLiteral("OK bye"));
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
}

TEST(SimEndToEnd, KadexSimStopsOnSigtermAndRejectsBadOptions)
{
    ASSERT_TRUE(QFileInfo::exists(binary("kadex-sim"))) << "build kadex-sim first";
    QProcess sim;
    sim.start(binary("kadex-sim"), {QStringLiteral("--wire-timing"), QStringLiteral("--fault"),
                                    QStringLiteral("1 corrupt @0.5"), QStringLiteral("--baud"), QStringLiteral("9600")});
    ASSERT_TRUE(sim.waitForStarted(10000));
    const QString first = readLine(sim);
    ASSERT_TRUE(first.startsWith(QStringLiteral("PTY /dev/"))) << first.toStdString();
    sim.terminate();  // SIGTERM
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);

    // Usage errors: exit 2, the reason in English and the hint on standard error, nothing served.
    const QString rates = QStringLiteral("300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200");
    const QList<std::pair<QStringList, QString>> bad{
        {{QStringLiteral("--controllers"), QStringLiteral("9")}, QStringLiteral("--controllers takes 1..8")},
        {{QStringLiteral("-n"), QStringLiteral("0")}, QStringLiteral("--controllers takes 1..8")},
        {{QStringLiteral("--address"), QStringLiteral("1=ZB9")}, QStringLiteral("'ZB9' is not PP or ZB1..ZB8")},
        {{QStringLiteral("--address"), QStringLiteral("2=ZB2")}, QStringLiteral("slot 2 but the bus has 1 controller")},
        {{QStringLiteral("--firmware"), QStringLiteral("9=0220"), QStringLiteral("-n"), QStringLiteral("8")},
         QStringLiteral("no slot 1..8")},
        {{QStringLiteral("--fault"), QStringLiteral("1 melt 3")}, QStringLiteral("--fault \"1 melt 3\"")},
        {{QStringLiteral("--identity"), QStringLiteral("1=123")}, QStringLiteral("--identity: '123'")},
        {{QStringLiteral("--baud"), QStringLiteral("1234")}, rates},
        {{QStringLiteral("--baud"), QStringLiteral("50")}, rates},
        {{QStringLiteral("--wire-timing"), QStringLiteral("extra")}, QStringLiteral("unexpected argument 'extra'")},
        {{QStringLiteral("--bogus")}, QStringLiteral("unknown option '--bogus'")},
        {{QStringLiteral("-x"), QStringLiteral("--verbose")}, QStringLiteral("unknown option '-x'")},
        {{QStringLiteral("--turnaround")}, QStringLiteral("missing value after '--turnaround'")},
        {{QStringLiteral("--seed"), QStringLiteral("x")}, QStringLiteral("--seed needs a whole number")},
    };
    for (const auto& [args, message] : bad) {
        QProcess p;
        p.start(binary("kadex-sim"), args);
        ASSERT_TRUE(p.waitForFinished(10000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const std::string what = args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << what;
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty()) << what;
        EXPECT_TRUE(err.startsWith(QStringLiteral("kadex-sim: "))) << what << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(message)) << what << ": " << err.toStdString();
        EXPECT_TRUE(err.endsWith(QStringLiteral("Try 'kadex-sim --help'.\n"))) << what << ": " << err.toStdString();
        EXPECT_FALSE(err.contains(QRegularExpression(QStringLiteral("[äöüÄÖÜß]")))) << what;
    }
}

TEST(SimPty, OpenErrorsAreClassified)
{
    auto bus = std::make_shared<SimBus>();
    PtyServer pty;
    ASSERT_TRUE(pty.start(bus));
    TComForm first, second, missing, notATerminal;
    first.SetPortPath(QString::fromStdString(pty.slavePath()));
    second.SetPortPath(QString::fromStdString(pty.slavePath()));
    missing.SetPortPath("/dev/kadex-no-such-port");
    notATerminal.SetPortPath("/dev/null");
    ASSERT_TRUE(first.OpenPort());
    EXPECT_FALSE(second.OpenPort());
    EXPECT_EQ(second.LastOpenErrorKind(), PortOpenError::InUse) << second.LastOpenSystemText().toStdString();
    EXPECT_EQ(PortOpenErrorText(second), "Kann COM nicht öffnen! (" + second.PortPath() + ")\n"
                                          "Die Schnittstelle wird von einem anderen Programm benutzt.");
    EXPECT_FALSE(missing.OpenPort());
    EXPECT_EQ(missing.LastOpenErrorKind(), PortOpenError::NoSuchDevice);
    EXPECT_FALSE(notATerminal.OpenPort());
    EXPECT_NE(notATerminal.LastOpenErrorKind(), PortOpenError::None);
    // The classes from the port's error and the system's words.
    using E = QSerialPort::SerialPortError;
    struct Case {
        E error;
        const char* text;
        PortOpenError kind;
    } cases[] = {
        {QSerialPort::DeviceNotFoundError, "No such file or directory", PortOpenError::NoSuchDevice},
        {QSerialPort::PermissionError, "Permission denied", PortOpenError::PermissionDenied},
        {QSerialPort::PermissionError, "Permission error while locking the device", PortOpenError::InUse},
        {QSerialPort::PermissionError, "Device or resource busy", PortOpenError::InUse},
        {QSerialPort::OpenError, "Inappropriate ioctl for device", PortOpenError::Other},
        {QSerialPort::UnknownError, "No such device", PortOpenError::NoSuchDevice},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SerialTransport::ClassifyOpenError(c.error, QString::fromLatin1(c.text)), c.kind) << c.text;
    EXPECT_EQ(TComForm::OpenErrorReasonEnglish(PortOpenError::PermissionDenied, "uucp", "Permission denied"),
              "permission denied; add the user to the uucp group and log in again");
    EXPECT_EQ(PortOpenReasonText(PortOpenError::PermissionDenied, "dialout"),
              "Keine Berechtigung: Der Benutzer muss Mitglied der Gruppe \"dialout\" sein (danach neu anmelden).");
    first.ClosePort();
}

TEST(SimPty, UnplugAndPlugKeepTheLinkPath)
{
    const std::string link = "/tmp/kadex-test-link-" + std::to_string(::getpid());
    auto bus = std::make_shared<SimBus>();
    PtyServer pty;
    pty.setLinkPath(link);
    ASSERT_TRUE(pty.start(bus));
    EXPECT_EQ(pty.portPath(), link);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());

    TComForm com;
    com.SetPortPath(QString::fromStdString(link));
    std::atomic<int> lost{0};
    com.SetLinkLostHandler([&](const QString&) { ++lost; });
    ASSERT_TRUE(com.OpenPort());
    pty.unplug();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(link)));
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (lost.load() == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(lost.load(), 1);
    EXPECT_TRUE(com.LinkLost());
    EXPECT_FALSE(com.PortPresent());

    ASSERT_TRUE(pty.plug());
    EXPECT_TRUE(com.PortPresent());
    ASSERT_TRUE(com.OpenPort()) << com.LastOpenSystemText().toStdString();
    EXPECT_FALSE(com.LinkLost());
    EXPECT_FALSE(com.WriteError());
    TZBCmd zb(com);
    uint8_t d1 = 0, d2 = 0;
    EXPECT_TRUE(zb.GetMode(d1, d2));
    EXPECT_EQ(bus->record().size(), 1u);
    com.ClosePort();
    pty.stop();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(link)));
}
