#include "cli/CliApp.h"
#include "sim/SimLink.h"
#include "cli/CliCommon.h"

#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "common/CommandLine.h"
#include "common/Helpers.h"
#include "common/Paths.h"
#include "device/Identify.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
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
const TZBCmd* errorBus = nullptr;
}

void SetErrorPort(const TComForm* com)
{
    errorPort = com;
}

void SetErrorBus(const TZBCmd* zb)
{
    errorBus = zb;
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
    err() << "kadex-cli: the controller at " << addressName(o.adrIndex) << " does not answer or answers badly";
    // Why the last transaction failed helps more than the bare fact.
    if (errorBus && errorBus->LastResult() != TxResult::Ok)
        err() << " (" << TxResultText(errorBus->LastResult()) << ")";
    err() << Qt::endl;
    return ExitDevice;
}

int portError(const Options& o, const TComForm& com)
{
    // The link's own text is the desktop program's; here the device path is what helps.
    QString where = com.DevicePath();
    if (o.portPath.isEmpty())
        where += QStringLiteral(" (--com %1)").arg(o.comNr);
    err() << "kadex-cli: cannot open " << where << ": "
          << TComForm::OpenErrorReasonEnglish(com.LastOpenErrorKind(), com.LastOpenGroup(), com.LastOpenSystemText())
          << Qt::endl;
    return ExitPort;
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
    "Options may come before or after the command; \"--\" ends the options.\n"
    "\n"
    "Options:\n"
    "  --port PATH        serial device to use (e.g. /dev/ttyUSB0 or a pseudo-terminal)\n"
    "  --com N            serial port N (/dev/ttyS(N-1)); default 1 (/dev/ttyS0)\n"
    "  --baud RATE        line speed, one of 300 600 1200 2400 4800 9600 14400 19200\n"
    "                     38400 57600 115200; default 38400\n"
    "  --address ADDR     bus address: PP (default) or ZB1..ZB8\n"
    "  --simulate         talk to the built-in simulated controller instead of a port\n"
    "  --json             print results as one JSON object (monitor, drive: one object\n"
    "                     per line)\n"
    "  --trace            print every telegram (\"<- \" sent, \"-> \" received) to stderr\n"
    "  --count N          monitor and drive only: stop after N samples\n"
    "  --all              read only: print all three records (operating data,\n"
    "                     calibration, controller parameters) as a snapshot\n"
    "  --altitude M       density only: altitude above sea level in m, 0 .. 8800;\n"
    "                     default 0\n"
    "  --temperature C    density only: mean temperature of the medium in degrees\n"
    "                     Celsius, -148.6 .. 10000; default 20\n"
    "  --humidity PCT     density only: relative humidity in %, 0 .. 100; default 40\n"
    "  --flow V           conductance only: reference flow in m3/h, 0 .. 65535\n"
    "  --pressure P       conductance only: differential pressure in Pa, 0 .. 65535\n"
    "  --density RHO      conductance only: air density in kg/m3, 0.5 .. 2; default 1.2\n"
    "  --output FILE      report only: write the printout to FILE (code page 1252, CR LF)\n"
    "  --pdf FILE         report only: write the printout as a PDF to FILE\n"
    "  -h, --help         show this help and exit\n"
    "  --version          show the version and exit\n"
    "--port, --com and --simulate exclude each other.\n"
    "\n"
    "Commands:\n"
    "  identify           identify the controller: serial number, type, bus address,\n"
    "                     OEM/position/type texts, firmware, configuration table ID\n"
    "  read               identify the controller, then print its operating data: V'nom,\n"
    "                     V'min/V'mid/V'max in %, position text, W1 and U5 ranges in V\n"
    "  read --all         identify the controller, read all three records as the window's\n"
    "                     \"Lesen\" does and print each field as RECORD.FIELD: VALUE; with\n"
    "                     --json one object with the members operating, calibration and\n"
    "                     parameters, keyed by the window's field names\n"
    "  write SNAPSHOT.json\n"
    "                     check the file (as read --all --json writes it, edited or not)\n"
    "                     before any bus traffic, read the device, put the file's values\n"
    "                     into the fields, write all three records as \"Setzen\" does,\n"
    "                     read them back and name each field the device does not hold\n"
    "  write FILE.vav     check the calibration-set file before any bus traffic, read the\n"
    "                     device, apply the file as \"Default laden\" does, write as\n"
    "                     \"Setzen\" does, read back and name each column the device does\n"
    "                     not hold\n"
    "  save FILE.vav      read the device and save its calibration set as the window's\n"
    "                     \"Speichern\" does\n"
    "  report [--output FILE] [--pdf FILE]\n"
    "                     read the device and print the settings printout (to FILE with\n"
    "                     --output, as a PDF with --pdf)\n"
    "  diff SNAPSHOT.json\n"
    "                     read the device and print the fields that differ from the file:\n"
    "                     RECORD.FIELD: file VALUE, device VALUE (--json: an array)\n"
    "  monitor [--count N]\n"
    "                     identify and read, then print the live values every 2000 ms:\n"
    "                     mode, setpoint and actual value (% and flow), control signal Y,\n"
    "                     damper position, W1, U5, sensor signal and pressure, alarms;\n"
    "                     one line per sample, until Ctrl-C or N samples were printed\n"
    "  drive MODE [PERCENT] [--count N]\n"
    "                     hold an operation mode and print the live values every\n"
    "                     2000 ms until Ctrl-C, SIGTERM or N samples; MODE is auto,\n"
    "                     close, open, fast-close, fast-open, vmin, vmid, vmax, vnom or\n"
    "                     variable PERCENT (setpoint 0 .. 100 %); the mode is released\n"
    "                     (override 0, setpoint given back) on the way out\n"
    "  raw BYTE...        send one telegram: command code then payload, 1 to 7 bytes in\n"
    "                     hex (e.g. raw 4B, raw 01 00 18 04); prints the answer's data bytes\n"
    "  density [--altitude M] [--temperature C] [--humidity PCT]\n"
    "                     the air density in kg/m3 from the ambient conditions, as the\n"
    "                     ambient-conditions dialog computes it; with --json also the\n"
    "                     pressure, the saturation and the partial vapour pressure\n"
    "  conductance --flow V --pressure P [--density RHO]\n"
    "                     the damper conductance V / sqrt(p / rho) as the conductance\n"
    "                     dialog computes it from a typed flow and pressure (both taken\n"
    "                     to whole numbers)\n"
    "density and conductance need no controller and take no port options.\n"
    "\n"
    "Exit status: 0 success, 1 no conductance (a pressure of 0 Pa) or diff found\n"
    "differences, 2 usage error or a snapshot file that cannot be written (nothing is\n"
    "written), 3 the port cannot be opened or was lost (monitor: ended while the port was\n"
    "gone), 4 the controller does not answer or answers badly, or write found a field\n"
    "not held as written (monitor: never answered; drive: stopped answering).\n"
    "monitor waits for a lost port and goes on when it is back.\n";

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
    QCommandLineParser p;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption com(QStringLiteral("com"), QString(), QStringLiteral("N"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption address(QStringLiteral("address"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption simulate(QStringLiteral("simulate"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption trace(QStringLiteral("trace"));
    const QCommandLineOption count(QStringLiteral("count"), QString(), QStringLiteral("N"));
    const QCommandLineOption all(QStringLiteral("all"));
    const QCommandLineOption altitude(QStringLiteral("altitude"), QString(), QStringLiteral("M"));
    const QCommandLineOption temperature(QStringLiteral("temperature"), QString(), QStringLiteral("C"));
    const QCommandLineOption humidity(QStringLiteral("humidity"), QString(), QStringLiteral("PCT"));
    const QCommandLineOption flow(QStringLiteral("flow"), QString(), QStringLiteral("V"));
    const QCommandLineOption pressure(QStringLiteral("pressure"), QString(), QStringLiteral("P"));
    const QCommandLineOption densityOpt(QStringLiteral("density"), QString(), QStringLiteral("RHO"));
    const QCommandLineOption output(QStringLiteral("output"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption pdfOpt(QStringLiteral("pdf"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    p.addOptions({port, com, baud, address, simulate, json, trace, count, all, altitude, temperature, humidity, flow,
                  pressure, densityOpt, output, pdfOpt, help, version});

    QString error;
    if (!cmdline::Parse(p, args, error))
        return usageError(error);
    if (p.isSet(help)) {
        out() << kUsage;
        out().flush();
        return ExitOk;
    }
    if (p.isSet(version)) {
        out() << "kadex-cli " KADEX_VERSION "\n";
        out().flush();
        return ExitOk;
    }
    o.simulate = p.isSet(simulate);
    o.json = p.isSet(json);
    o.trace = p.isSet(trace);
    if (int(p.isSet(port)) + int(p.isSet(com)) + int(o.simulate) > 1)
        return usageError(QStringLiteral("--port, --com and --simulate exclude each other; give one of them"));
    if (p.isSet(port)) {
        o.portPath = p.value(port).trimmed();
        if (o.portPath.isEmpty())
            return usageError(QStringLiteral("--port needs a device path"));
    }
    if (p.isSet(com) && !cmdline::ParseInt(p.value(com), 1, 9999, o.comNr))
        return usageError(QStringLiteral("--com needs a port number of 1 or more (--com N is /dev/ttyS(N-1)), not '%1'")
                              .arg(p.value(com)));
    if (p.isSet(baud) && !cmdline::ParseBaud(p.value(baud), o.baud, error))
        return usageError(error);
    if (p.isSet(address) && !parseAddress(p.value(address), o.adrIndex))
        return usageError(QStringLiteral("--address takes PP or ZB1..ZB8, not '%1'").arg(p.value(address)));

    const QList<cmdline::Command> commands{
        {QStringLiteral("identify"), 0, 0, QString()},
        {QStringLiteral("read"), 0, 0, QString()},
        {QStringLiteral("monitor"), 0, 0, QString()},
        {QStringLiteral("write"), 1, 1, QStringLiteral("SNAPSHOT.json or FILE.vav")},
        {QStringLiteral("save"), 1, 1, QStringLiteral("FILE.vav")},
        {QStringLiteral("report"), 0, 0, QString()},
        {QStringLiteral("diff"), 1, 1, QStringLiteral("SNAPSHOT.json")},
        {QStringLiteral("drive"), 1, 2, QStringLiteral("MODE [PERCENT] (auto, close, open, fast-close, fast-open, vmin, vmid, vmax, vnom, variable PERCENT)")},
        {QStringLiteral("raw"), 1, 7, QStringLiteral("BYTE... (1 to 7 bytes in hex: command code, then payload)")},
        {QStringLiteral("density"), 0, 0, QString()},
        {QStringLiteral("conductance"), 0, 0, QString()},
    };
    if (!cmdline::TakeCommand(p.positionalArguments(), commands, o.command, o.args, error))
        return usageError(error);
    // The calculations' values belong to their command; the port options to the others.
    const std::pair<const QCommandLineOption*, const char*> owned[]{
        {&altitude, "density"}, {&temperature, "density"}, {&humidity, "density"},
        {&flow, "conductance"}, {&pressure, "conductance"}, {&densityOpt, "conductance"},
        {&output, "report"}, {&pdfOpt, "report"}};
    for (const auto& [opt, owner] : owned)
        if (p.isSet(*opt) && o.command != QLatin1String(owner))
            return usageError(QStringLiteral("--%1 is for %2 only").arg(opt->names().first(), QLatin1String(owner)));
    if (o.command == QLatin1String("density") || o.command == QLatin1String("conductance")) {
        for (const QCommandLineOption* opt : {&port, &com, &baud, &address, &simulate, &trace})
            if (p.isSet(*opt))
                return usageError(QStringLiteral("%1 needs no controller; --%2 is not used")
                                      .arg(o.command, opt->names().first()));
    }
    auto given = [&p](const QCommandLineOption& opt) {
        return p.isSet(opt) ? std::optional<QString>(p.value(opt)) : std::nullopt;
    };
    o.altitude = given(altitude);
    o.temperature = given(temperature);
    o.humidity = given(humidity);
    o.flow = given(flow);
    o.pressure = given(pressure);
    o.density = given(densityOpt);
    o.output = p.value(output);
    o.pdf = p.value(pdfOpt);
    if (p.isSet(all)) {
        if (o.command != QLatin1String("read"))
            return usageError(QStringLiteral("--all is for read only"));
        o.all = true;
    }
    if (p.isSet(count)) {
        if (o.command != QLatin1String("monitor") && o.command != QLatin1String("drive"))
            return usageError(QStringLiteral("--count is for monitor and drive only"));
        if (!cmdline::ParseInt(p.value(count), 1, std::numeric_limits<int>::max(), o.count))
            return usageError(QStringLiteral("--count needs a number of 1 or more, not '%1'").arg(p.value(count)));
    }
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
    const int n = zb::LengthField(zb.RxData()[0]);
    const QString data = HexBytes(zb.RxData() + 1, static_cast<size_t>(std::min<int>(n, zb.RxLength() - 3))).trimmed();
    if (o.json) {
        QJsonObject obj;
        obj[QStringLiteral("request")] = HexBytes(zb.TxData(), zb.TxLength()).trimmed();
        obj[QStringLiteral("answer")] = HexBytes(zb.RxData(), zb.RxLength()).trimmed();
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
    if (o.command == QLatin1String("monitor"))
        return runMonitor(o); // the polling core owns the port
    if (o.command == QLatin1String("read") && o.all)
        return runReadAll(o); // the headless core owns the port
    if (o.command == QLatin1String("write"))
        return IsVavFile(o.args.value(0)) ? runWriteVav(o) : runWrite(o);
    if (o.command == QLatin1String("save"))
        return runSaveVav(o);
    if (o.command == QLatin1String("report"))
        return runReport(o);
    if (o.command == QLatin1String("diff"))
        return runDiff(o);
    if (o.command == QLatin1String("drive"))
        return runDrive(o);
    if (o.command == QLatin1String("density"))
        return runDensity(o);
    if (o.command == QLatin1String("conductance"))
        return runConductance(o);

    std::unique_ptr<ITransport> simulated;
    if (o.simulate)
        simulated = sim::MakeSimulatedLink().transport;
    TComForm com(std::move(simulated));
    com.SetPortNumber(o.comNr);
    com.SetPortPath(o.portPath);
    com.SetBaudRate(o.baud);
    if (!com.OpenPort())
        return portError(o, com);
    SetErrorPort(&com);
    const QString warning = com.SetDtrRts();
    Q_UNUSED(warning) // pseudo-terminals have no modem lines

    TZBCmd zb(com);
    zb.LoadCommandNames(FindDataFile(QStringLiteral("ZBCommand.txt")));
    zb.SetAdrIndex(static_cast<uint8_t>(o.adrIndex));
    StderrSink sink;
    if (o.trace)
        zb.SetTransferSink(&sink);
    SetErrorBus(&zb);

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
    SetErrorBus(nullptr);
    zb.SetClosing(true);
    com.ClosePort();
    return rc;
}

} // namespace kadex::cli
