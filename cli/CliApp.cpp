#include "cli/CliApp.h"
#include "cli/CliCommon.h"
#include "cli/CliHelp.h"
#include "cli/CliLive.h"
#include "sim/SimLink.h"

#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "common/CommandLine.h"
#include "common/Helpers.h"
#include "common/Paths.h"
#include "common/Version.h"
#include "device/Identify.h"
#include "core/BusScan.h"
#include "settings/ToolIni.h"

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

namespace {
StopSignals* stops = nullptr;
std::mutex watchMutex;
TZBCmd* watchedBus = nullptr;
TIdentStop* watchedIdent = nullptr;
bool watchCut = false;

void onStop()
{
    std::lock_guard<std::mutex> lk(watchMutex);
    if (!watchedIdent)
        return;
    // Cancel first, then look whether the stop is held: the identification marks it held before
    // it looks for a cancel, so one of the two sides always sees the other.
    watchedIdent->RequestCancel();
    if (watchCut && !watchedIdent->Held())
        watchedBus->SetClosing(true);
}
} // namespace

void BlockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : StopSignals::kSignals)
        sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

namespace {
// For commands that hold nothing: a signal acts as it always does (one already pending at once).
void UnblockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : StopSignals::kSignals)
        sigaddset(&set, s);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}
} // namespace

StopSignals& Stops()
{
    return *stops;
}

void WatchBus(TZBCmd& zb, TIdentStop& ident, bool cut)
{
    {
        std::lock_guard<std::mutex> lk(watchMutex);
        watchedBus = &zb;
        watchedIdent = &ident;
        watchCut = cut;
    }
    if (stops)
        stops->SetOnStop(onStop); // at once when a stop came already
}

int FinishBus(int rc)
{
    TZBCmd* zb = nullptr;
    TIdentStop* ident = nullptr;
    {
        std::lock_guard<std::mutex> lk(watchMutex);
        std::swap(zb, watchedBus);
        std::swap(ident, watchedIdent);
    }
    if (!zb || !ident || !ident->Held())
        return rc;
    const bool confirmed = ident->Confirmed();
    if (zb->Closing()) {
        // A transaction was cut short: let its answer, still on its way, arrive as stray bytes
        // (dropped before the next telegram) instead of passing for the release's answer.
        zb->SetClosing(false);
        zb->Clock().SleepMs(zb->TimeoutMs + zb->GuardMs);
    }
    if (ident->ReleaseIfOwed(*zb)) {
        if (confirmed)
            err() << "kadex-cli: released the motor stop (override 10) of the identification" << Qt::endl;
        return rc;
    }
    if (!confirmed) {
        // The stop itself was never answered: most likely nobody took it.
        err() << "kadex-cli: the controller did not answer the motor stop (override 10) nor its release; should it "
              << "have taken the stop, release it with 'kadex-cli drive auto'" << Qt::endl;
        return rc;
    }
    err() << "kadex-cli: could not release the motor stop (override 10) the identification sent ("
          << TxResultText(zb->LastResult()) << "); the controller may stay stopped: release it with "
          << "'kadex-cli drive auto' once it answers" << Qt::endl;
    return ExitRelease;
}

QString Printable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QStringLiteral("\\\\");
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x") + QStringLiteral("%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

void StderrSink::AddTransferLine(const QString& line)
{
    err() << line << Qt::endl;
}

namespace {

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

// "X", "X and Y", "X, Y and Z".
QString listed(const QStringList& names)
{
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}

// Refuses an option the command does not take, naming the commands it is for.
bool checkOwnership(const help::Program& prog, const help::Command& cmd, const QStringList& given, QString& error)
{
    const QStringList takes = help::CommandOptions(prog, cmd);
    for (const help::Option& opt : prog.options) {
        if (!given.contains(opt.name) || takes.contains(opt.name))
            continue;
        QStringList owners;
        bool everyBusCommand = true;
        for (const help::Command& c : prog.commands) {
            if (c.options.contains(opt.name))
                owners << c.name;
            else if (c.options.contains(QStringLiteral("port")))
                everyBusCommand = false;
        }
        if (!cmd.options.contains(QStringLiteral("port")) && everyBusCommand)
            error = QStringLiteral("%1 needs no controller; --%2 is not used").arg(cmd.name, opt.name);
        else if (owners.isEmpty())
            error = QStringLiteral("--%1 is not an option of %2").arg(opt.name, cmd.name);
        else
            error = QStringLiteral("--%1 is for %2 only").arg(opt.name, listed(owners));
        return false;
    }
    return true;
}

// Prints the help or the version, or the usage error; returns -1 to go on, else the exit status.
int parse(const QStringList& args, Options& o)
{
    QString error;
    switch (ParseCommandLine(args, o, error)) {
    case Parsed::Usage:
        return usageError(error);
    case Parsed::Help: {
        const help::Program& prog = CliProgram();
        const help::Command* cmd = help::FindCommand(prog, o.helpCommand);
        out() << (cmd ? help::RenderCommandHelp(prog, *cmd) : help::RenderHelp(prog));
        out().flush();
        return ExitOk;
    }
    case Parsed::Version:
        out() << "kadex-cli " << VersionString() << '\n';
        out().flush();
        return ExitOk;
    case Parsed::Run:
        break;
    }
    return -1;
}

} // namespace

Parsed ParseCommandLine(const QStringList& args, Options& o, QString& error)
{
    const help::Program& prog = CliProgram();
    QCommandLineParser p;
    const help::ParserOptions opt(prog, p);
    if (!cmdline::Parse(p, args, error))
        return Parsed::Usage;
    const QStringList words = p.positionalArguments();
    const QStringList given = opt.Given(p);
    if (const help::Command* cmd = help::FindCommand(prog, words.value(0)))
        if (!checkOwnership(prog, *cmd, given, error))
            return Parsed::Usage;
    // "help [COMMAND]" and "[COMMAND] --help".
    const bool helpWord = words.value(0) == QLatin1String("help");
    if (helpWord || p.isSet(opt[QStringLiteral("help")])) {
        QString target = helpWord ? words.value(1) : words.value(0);
        if (helpWord && target.isEmpty() && p.isSet(opt[QStringLiteral("help")]))
            target = words.value(0); // "help --help": the help command's own
        if (helpWord && words.size() > 2) {
            error = QStringLiteral("too many arguments for help (got %1): help [COMMAND]").arg(words.size() - 1);
            return Parsed::Usage;
        }
        if (!target.isEmpty() && !help::FindCommand(prog, target)) {
            QStringList names;
            for (const help::Command& c : prog.commands)
                names << c.name;
            error = QStringLiteral("unknown command '%1' (commands: %2)").arg(target, names.join(QStringLiteral(", ")));
            return Parsed::Usage;
        }
        o.helpCommand = target;
        return Parsed::Help;
    }
    if (p.isSet(opt[QStringLiteral("version")]))
        return Parsed::Version;

    o.simulate = p.isSet(opt[QStringLiteral("simulate")]);
    o.json = p.isSet(opt[QStringLiteral("json")]);
    o.trace = p.isSet(opt[QStringLiteral("trace")]);
    o.all = p.isSet(opt[QStringLiteral("all")]);
    const QCommandLineOption& port = opt[QStringLiteral("port")];
    const QCommandLineOption& com = opt[QStringLiteral("com")];
    const QCommandLineOption& baud = opt[QStringLiteral("baud")];
    const QCommandLineOption& address = opt[QStringLiteral("address")];
    const QCommandLineOption& count = opt[QStringLiteral("count")];
    if (int(p.isSet(port)) + int(p.isSet(com)) + int(o.simulate) > 1) {
        error = QStringLiteral("--port, --com and --simulate exclude each other; give one of them");
        return Parsed::Usage;
    }
    if (p.isSet(port)) {
        o.portPath = p.value(port).trimmed();
        if (o.portPath.isEmpty()) {
            error = QStringLiteral("--port needs a device path");
            return Parsed::Usage;
        }
    }
    if (p.isSet(com) && !cmdline::ParseInt(p.value(com), 1, 9999, o.comNr)) {
        error = QStringLiteral("--com needs a port number of 1 or more (--com N is /dev/ttyS(N-1)), not '%1'")
                    .arg(p.value(com));
        return Parsed::Usage;
    }
    if (p.isSet(baud) && !cmdline::ParseBaud(p.value(baud), o.baud, error))
        return Parsed::Usage;
    if (p.isSet(address) && !parseAddress(p.value(address), o.adrIndex)) {
        error = QStringLiteral("--address takes PP or ZB1..ZB8, not '%1'").arg(p.value(address));
        return Parsed::Usage;
    }

    QList<cmdline::Command> commands;
    for (const help::Command& c : prog.commands)
        commands.append({c.name, c.minArgs, c.maxArgs, c.args});
    if (!cmdline::TakeCommand(words, commands, o.command, o.args, error))
        return Parsed::Usage;
    auto given1 = [&p, &opt](const char* name) {
        const QCommandLineOption& option = opt[QLatin1String(name)];
        return p.isSet(option) ? std::optional<QString>(p.value(option)) : std::nullopt;
    };
    o.altitude = given1("altitude");
    o.temperature = given1("temperature");
    o.humidity = given1("humidity");
    o.flow = given1("flow");
    o.pressure = given1("pressure");
    o.density = given1("density");
    o.output = given1("output").value_or(QString());
    o.pdf = given1("pdf").value_or(QString());
    o.history = given1("history");
    o.since = given1("since");
    if (p.isSet(count) && !cmdline::ParseInt(p.value(count), 1, std::numeric_limits<int>::max(), o.count)) {
        error = QStringLiteral("--count needs a number of 1 or more, not '%1'").arg(p.value(count));
        return Parsed::Usage;
    }
    o.withPassword = p.isSet(opt[QStringLiteral("with-password")]);
    if (o.command == QLatin1String("address")) {
        const QCommandLineOption& buttonOpt = opt[QStringLiteral("button")];
        const QCommandLineOption& serialOpt = opt[QStringLiteral("serial")];
        const QCommandLineOption& timeoutOpt = opt[QStringLiteral("timeout")];
        if (!parseAddress(o.args.value(0), o.newAdrIndex)) {
            error = QStringLiteral("address takes the new address PP or ZB1..ZB8, not '%1'").arg(o.args.value(0));
            return Parsed::Usage;
        }
        o.button = p.isSet(buttonOpt);
        if (p.isSet(serialOpt)) {
            o.serial = p.value(serialOpt).trimmed();
            if (!ParseSerialNumber(o.serial)) {
                error = QStringLiteral("'%1' is no valid serial number (form 00812-04711-003-001: year 0..99 and week "
                                       "1..52, day 0..6 and number 1..5535, type 1..255, last group 1..255)")
                            .arg(o.serial);
                return Parsed::Usage;
            }
        }
        o.timeoutGiven = p.isSet(timeoutOpt);
        if (p.isSet(timeoutOpt) && !cmdline::ParseInt(p.value(timeoutOpt), 1, 3600, o.timeoutS)) {
            error = QStringLiteral("--timeout needs a number of seconds 1 .. 3600, not '%1'").arg(p.value(timeoutOpt));
            return Parsed::Usage;
        }
    }
    if (const QCommandLineOption& portWait = opt[QStringLiteral("port-wait")];
        p.isSet(portWait) && !cmdline::ParseInt(p.value(portWait), 0, 86400, o.portWaitS)) {
        error = QStringLiteral("--port-wait needs seconds of 0 .. 86400, not '%1'").arg(p.value(portWait));
        return Parsed::Usage;
    }
    return Parsed::Run;
}

namespace {

int runIdentify(TZBCmd& zb, const Options& o)
{
    IdentInfo info;
    TIdentStop stop;
    WatchBus(zb, stop, true);
    const bool ok = IdentifyDevice(zb, true, info, &stop);
    if (const int rc = FinishBus(ExitOk); rc != ExitOk)
        return rc;
    if (!ok)
        return Stops().Stopped() ? ExitOk : deviceError(o); // Run reports the interruption
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
              << "Type: " << Printable(info.typeText) << '\n'
              << "Bus address: " << Printable(info.busAddress) << '\n'
              << "OEM text: " << Printable(info.oemText) << '\n'
              << "Position text: " << Printable(info.positionText) << '\n'
              << "Type text: " << Printable(info.fenwixText) << '\n'
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

namespace {

int dispatch(const Options& o)
{
    // Which controller address looks for is a usage question, answered before the port opens.
    if (o.command == QLatin1String("address")) {
        if (o.button == !o.serial.isEmpty())
            return usageError(QStringLiteral("address needs either --button or --serial SERIAL"));
        if (!o.button && o.timeoutGiven)
            return usageError(QStringLiteral("--timeout is for address --button only"));
    }
    if (o.command == QLatin1String("read") && o.withPassword && !o.all)
        return usageError(QStringLiteral("--with-password is for read --all, write and diff only"));
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
    else if (o.command == QLatin1String("raw")) {
        TIdentStop none; // a raw telegram holds nothing; a stop only cuts it short
        WatchBus(zb, none, true);
        rc = FinishBus(runRaw(zb, o));
    }
    else if (o.command == QLatin1String("scan"))
        rc = runScan(zb, o);
    else if (o.command == QLatin1String("address"))
        rc = runAddress(zb, o);
    if (rc == ExitOk && com.LinkLost())
        rc = portLostError(com);
    SetErrorPort(nullptr);
    SetErrorBus(nullptr);
    zb.SetClosing(true);
    com.ClosePort();
    return rc;
}

} // namespace

int Run(const QStringList& args)
{
    Options o;
    const int parsed = parse(args, o);
    const bool device = parsed < 0 && o.command != QLatin1String("density") &&
                        o.command != QLatin1String("conductance") && o.command != QLatin1String("history");
    if (!device)
        UnblockStopSignals();
    if (parsed >= 0)
        return parsed;
    if (o.command == QLatin1String("density"))
        return runDensity(o);
    if (o.command == QLatin1String("conductance"))
        return runConductance(o);
    if (o.command == QLatin1String("history"))
        return runHistory(o);

    // The window's settings (sensor and actuator presets, QV values, log folder); without a
    // settings file the shipped seed, read only. Nothing is written back.
    if (!ReadToolIni(GetToolIniPath()))
        ReadToolIni(ToolIniSeedPath());
    StopSignals signals; // before the simulator's, the port's and the core's threads exist
    stops = &signals;
    int rc = dispatch(o);
    // monitor and drive end on a stop as their normal way; the others were interrupted.
    const int sig = signals.Signal();
    const bool endsOnStop = o.command == QLatin1String("monitor") || o.command == QLatin1String("drive");
    if (sig != 0 && !endsOnStop && rc != ExitRelease) {
        err() << "kadex-cli: interrupted by " << StopSignals::Name(sig) << Qt::endl;
        rc = 128 + sig;
    }
    signals.SetOnStop({});
    stops = nullptr;
    return rc;
}

} // namespace kadex::cli
