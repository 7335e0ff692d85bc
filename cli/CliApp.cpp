#include "cli/CliApp.h"
#include "cli/CliCommon.h"

#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "common/Helpers.h"
#include "common/Paths.h"
#include "device/Identify.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <vector>

namespace kadex::cli {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

int usageError(const QString& msg)
{
    err() << "kadex-cli: " << msg << Qt::endl << "Try 'kadex-cli --help'." << Qt::endl;
    return ExitUsage;
}

QString addressName(int adrIndex)
{
    return adrIndex ? QStringLiteral("ZB%1").arg(adrIndex) : QStringLiteral("PP");
}

namespace {
const TComForm* errorPort = nullptr;
}

void SetErrorPort(const TComForm* com)
{
    errorPort = com;
}

int portOpenError(const TComForm& com)
{
    err() << "kadex-cli: cannot open " << com.DevicePath() << ": "
          << TComForm::OpenErrorReasonEnglish(com.LastOpenErrorKind(), com.LastOpenGroup(), com.LastOpenSystemText())
          << Qt::endl;
    return ExitPort;
}

int portLostError(const TComForm& com)
{
    err() << "kadex-cli: lost the port " << com.DevicePath() << " (the device went away)" << Qt::endl;
    return ExitPort;
}

int deviceError(const Options& o)
{
    if (errorPort && errorPort->LinkLost())
        return portLostError(*errorPort);
    err() << "kadex-cli: the controller at " << addressName(o.adrIndex) << " does not answer or answers badly"
          << Qt::endl;
    return ExitDevice;
}

void printJson(const QJsonObject& obj)
{
    out() << QJsonDocument(obj).toJson(QJsonDocument::Indented);
    out().flush();
}

void StderrSink::AddTransferLine(const QString& line)
{
    err() << line << Qt::endl;
}

namespace {

const char* kUsage =
    "Usage: kadex-cli [options] COMMAND [ARGS]\n"
    "\n"
    "Talks to a Kadex controller through a serial port and the bus interface.\n"
    "\n"
    "Options:\n"
    "  --port PATH        serial device to use (e.g. /dev/ttyUSB0 or a pseudo-terminal)\n"
    "  --com N            serial port number N (Com1 is /dev/ttyS0); default 1\n"
    "  --baud RATE        line speed: 300 600 1200 2400 4800 9600 14400 19200 38400\n"
    "                     57600 115200 (others give 1200); default 38400\n"
    "  --address ADDR     bus address: PP (default) or ZB1..ZB8\n"
    "  --simulate         talk to the built-in simulated controller instead of a port\n"
    "  --json             print results as one JSON object (monitor: one object per line)\n"
    "  --trace            print every telegram (\"<- \" sent, \"-> \" received) to stderr\n"
    "  -h, --help         show this help\n"
    "\n"
    "Commands:\n"
    "  identify           identify the controller: serial number, type, bus address,\n"
    "                     OEM/position/type texts, firmware, configuration table ID\n"
    "  read               identify the controller, then print its operating data: V'nom,\n"
    "                     V'min/V'mid/V'max in %, position text, W1 and U5 ranges in V\n"
    "  monitor [--count N]\n"
    "                     identify and read, then print the live values every 2000 ms:\n"
    "                     mode, setpoint and actual value (% and flow), control signal Y,\n"
    "                     damper position, W1, U5, sensor signal and pressure, alarms;\n"
    "                     one line per sample, until Ctrl-C or N samples were printed\n"
    "  raw BYTE...        send one telegram: command code then payload, 1 to 7 bytes in\n"
    "                     hex (e.g. raw 4B, raw 01 00 18 04); prints the answer's data bytes\n"
    "\n"
    "Exit status: 0 success, 2 usage error, 3 port cannot be opened or was lost (monitor:\n"
    "ended while the port was gone), 4 controller does not answer or answers badly\n"
    "(monitor: never answered). monitor waits for a lost port and goes on when it is back.\n";

bool parseAddress(const QString& text, int& index)
{
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("PP")) {
        index = 0;
        return true;
    }
    if (t.size() == 3 && t.startsWith(QLatin1String("ZB")) && t[2] >= QLatin1Char('1') && t[2] <= QLatin1Char('8')) {
        index = t[2].digitValue();
        return true;
    }
    return false;
}

// Parses the command line; returns -1 to go on, else the exit status.
int parse(const QStringList& args, Options& o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& v) -> bool {
            if (i + 1 >= args.size())
                return false;
            v = args[++i];
            return true;
        };
        QString v;
        if (!o.command.isEmpty()) {
            o.args << a;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            out() << kUsage;
            out().flush();
            return ExitOk;
        } else if (a == QLatin1String("--port")) {
            if (!value(o.portPath) || o.portPath.isEmpty())
                return usageError(QStringLiteral("--port needs a device path"));
        } else if (a == QLatin1String("--com")) {
            bool ok = false;
            if (!value(v) || (o.comNr = v.toInt(&ok), !ok) || o.comNr < 1)
                return usageError(QStringLiteral("--com needs a port number of 1 or more"));
        } else if (a == QLatin1String("--baud")) {
            bool ok = false;
            if (!value(v) || (o.baud = v.toInt(&ok), !ok))
                return usageError(QStringLiteral("--baud needs a number"));
        } else if (a == QLatin1String("--address")) {
            if (!value(v) || !parseAddress(v, o.adrIndex))
                return usageError(QStringLiteral("--address takes PP or ZB1..ZB8"));
        } else if (a == QLatin1String("--simulate")) {
            o.simulate = true;
        } else if (a == QLatin1String("--json")) {
            o.json = true;
        } else if (a == QLatin1String("--trace")) {
            o.trace = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return usageError(QStringLiteral("unknown option '%1'").arg(a));
        } else {
            o.command = a;
        }
    }
    if (o.command.isEmpty())
        return usageError(QStringLiteral("no command given"));
    return -1;
}

int runIdentify(TZBCmd& zb, const Options& o)
{
    IdentInfo info;
    const bool ok = IdentifyDevice(zb, true, info);
    if (!ok)
        return deviceError(o);
    if (o.json) {
        QJsonObject obj;
        obj[QStringLiteral("serialNumber")] = info.serNr;
        obj[QStringLiteral("type")] = info.typeText;
        obj[QStringLiteral("busAddress")] = info.busAddress;
        obj[QStringLiteral("oemText")] = info.oemText;
        obj[QStringLiteral("positionText")] = info.positionText;
        obj[QStringLiteral("typeText")] = info.fenwixText;
        obj[QStringLiteral("firmware")] = IdentInfo::Hex4(info.firmware);
        obj[QStringLiteral("configTableId")] = IdentInfo::Hex4(info.configTableId);
        printJson(obj);
    } else {
        out() << "Serial number: " << info.serNr << '\n'
              << "Type: " << info.typeText << '\n'
              << "Bus address: " << info.busAddress << '\n'
              << "OEM text: " << info.oemText << '\n'
              << "Position text: " << info.positionText << '\n'
              << "Type text: " << info.fenwixText << '\n'
              << "Firmware: " << IdentInfo::Hex4(info.firmware) << '\n'
              << "Configuration table ID: " << IdentInfo::Hex4(info.configTableId) << '\n';
        out().flush();
    }
    return ExitOk;
}

int runRaw(TZBCmd& zb, const Options& o)
{
    if (o.args.isEmpty() || o.args.size() > 7)
        return usageError(QStringLiteral("raw takes 1 to 7 bytes in hex (command code, then payload)"));
    std::vector<uint8_t> body;
    for (const QString& a : o.args) {
        bool ok = false;
        const uint v = a.toUInt(&ok, 16);
        if (!ok || v > 0xFF)
            return usageError(QStringLiteral("'%1' is not a byte in hex").arg(a));
        body.push_back(static_cast<uint8_t>(v));
    }
    zb.BuildRequest(body.data(), static_cast<int>(body.size()));
    if (!zb.Transact()) {
        if (errorPort && errorPort->LinkLost())
            return portLostError(*errorPort);
        err() << "kadex-cli: no valid answer after " << zb.Attempts << " attempts" << Qt::endl;
        return ExitDevice;
    }
    const int n = zb::LengthField(zb.RxBuf[0]);
    const QString data = HexBytes(zb.RxBuf + 1, static_cast<size_t>(std::min<int>(n, zb.RxLen - 3))).trimmed();
    if (o.json) {
        QJsonObject obj;
        obj[QStringLiteral("request")] = HexBytes(zb.TxBuf, zb.TxLen).trimmed();
        obj[QStringLiteral("answer")] = HexBytes(zb.RxBuf, zb.RxLen).trimmed();
        obj[QStringLiteral("data")] = data;
        printJson(obj);
    } else {
        out() << data << '\n';
        out().flush();
    }
    return ExitOk;
}

} // namespace

int Run(const QStringList& args)
{
    Options o;
    const int parsed = parse(args, o);
    if (parsed >= 0)
        return parsed;
    const bool known = o.command == QLatin1String("identify") || o.command == QLatin1String("read")
        || o.command == QLatin1String("monitor") || o.command == QLatin1String("raw");
    if (!known)
        return usageError(QStringLiteral("unknown command '%1'").arg(o.command));
    if (o.command == QLatin1String("read") && !o.args.isEmpty())
        return usageError(QStringLiteral("read takes no arguments"));
    if (o.command == QLatin1String("monitor"))
        return runMonitor(o); // the polling core owns the port

    std::unique_ptr<ITransport> simulated;
    if (o.simulate) {
        simulated = MakeSimulatedTransport();
        if (!simulated) {
            err() << "kadex-cli: the simulated controller is not available in this build" << Qt::endl;
            return ExitPort;
        }
    }
    TComForm com(std::move(simulated));
    com.SetPortNumber(o.comNr);
    com.SetPortPath(o.portPath);
    com.SetBaudRate(o.baud);
    if (!com.OpenPort())
        return portOpenError(com);
    SetErrorPort(&com);
    const QString warning = com.SetDtrRts();
    Q_UNUSED(warning) // pseudo-terminals have no modem lines

    TZBCmd zb(com);
    zb.LoadCommandNames(FindDataFile(QStringLiteral("ZBCommand.txt")));
    zb.AdrIndex = static_cast<uint8_t>(o.adrIndex);
    StderrSink sink;
    if (o.trace)
        zb.SetTransferSink(&sink);

    int rc = ExitUsage;
    if (o.command == QLatin1String("identify"))
        rc = runIdentify(zb, o);
    else if (o.command == QLatin1String("read"))
        rc = runRead(zb, o);
    else if (o.command == QLatin1String("raw"))
        rc = runRaw(zb, o);
    if (rc == ExitOk && com.LinkLost())
        rc = portLostError(com);
    SetErrorPort(nullptr);
    zb.SetClosing(true);
    com.ClosePort();
    return rc;
}

} // namespace kadex::cli
