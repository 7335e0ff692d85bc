// kadex-sim: simulated controllers behind a bus interface, served on a pseudo-terminal.
#include "comm/Clock.h"
#include "comm/ZBFrame.h"
#include "common/CommandLine.h"
#include "sim/PtyServer.h"
#include "sim/SimBus.h"
#include "sim/SimConsole.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace kadex::sim;

namespace {

const char* kUsage =
    "Usage: kadex-sim [options]\n"
    "\n"
    "Simulates up to eight Kadex controllers behind a bus interface that echoes every byte,\n"
    "served on a pseudo-terminal. The first line on standard output is \"PTY <path>\"; open\n"
    "that path as the serial port (e.g. kadex-cli --port <path> identify). Standard input takes\n"
    "line commands (below); each is answered with a line starting with OK or ERR.\n"
    "\n"
    "Options (SLOT is 1..8, the controller's place on the bus; without SLOT= an option\n"
    "applies to every controller; options marked * may be given more than once):\n"
    "  -n, --controllers N        controllers on the bus, 1..8 (default 1)\n"
    "  --address SLOT=ADDR *      bus address PP or ZB1..ZB8 (default: PP for a single\n"
    "                             controller, ZB1..ZBn for several)\n"
    "  --firmware [SLOT=]HEX *    firmware version, e.g. 0308 or 2=021F (default 0308)\n"
    "  --table-id [SLOT=]HEX *    configuration table ID (default 0310)\n"
    "  --identity SLOT=SERIAL[/D5] *\n"
    "                             identity as serial number text, e.g. 1=00812-04711-003-001/0\n"
    "                             (default 00812-04711-003-001, 00812-04712-003-001, ...)\n"
    "  --password [SLOT=]N *      OEM password at 0x0018 (default 12345)\n"
    "  --wire-timing              bytes take 10 bit times at the baud rate the tool set, and\n"
    "                             the controller pauses before it answers\n"
    "  --baud RATE                wire timing at this rate whatever the tool set; one of\n"
    "                             300 600 1200 2400 4800 9600 14400 19200 38400 57600 115200\n"
    "  --turnaround MS            controller pause before answering, 0..10000 (default 3)\n"
    "  --fault \"SLOT KIND N|@P [PARAM...]\" *\n"
    "                             inject a fault from the start (as the fault command)\n"
    "  --seed N                   random seed for faults at a rate (default 1)\n"
    "  --link PATH                a symbolic link to the pseudo-terminal at PATH, replaced\n"
    "                             by \"plug\" and removed by \"unplug\"; PTY then names PATH\n"
    "  --verbose                  log every received telegram on standard error\n"
    "  -h, --help                 show this help and exit\n"
    "  --version                  show the version and exit\n"
    "\n"
    "Exit status: 0 stopped with \"quit\", SIGINT or SIGTERM, 1 the pseudo-terminal cannot be\n"
    "created, 2 usage error.\n"
    "\n"
    "Stop with \"quit\", SIGINT or SIGTERM.\n"
    "\n";

int sigPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 'x';
    [[maybe_unused]] ssize_t n = ::write(sigPipe[1], &c, 1);
}

// "SLOT=VALUE" or "VALUE" (slot 0: every controller).
bool splitSlot(const std::string& arg, int& slot, std::string& value)
{
    const auto eq = arg.find('=');
    slot = 0;
    value = arg;
    if (eq == std::string::npos)
        return true;
    long long s = 0;
    if (!ParseNumber(arg.substr(0, eq), s) || s < 1 || s > SimBus::MaxSlots)
        return false;
    slot = static_cast<int>(s);
    value = arg.substr(eq + 1);
    return true;
}

int usageError(const std::string& msg)
{
    std::cerr << kadex::cmdline::UsageText(QStringLiteral("kadex-sim"), QString::fromStdString(msg)).toStdString();
    return kadex::cmdline::ExitUsage;
}

std::string str(const QString& s)
{
    return s.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    kadex::SteadyClock::SetRateFromEnvironment();
    int count = 1;
    std::map<int, std::string> address, firmware, tableId, identity, password;
    std::vector<std::string> faults;
    bool wire = false, verbose = false;
    std::string linkPath;
    long long baud = 0, turnMs = 3, seed = 1;

    QCommandLineParser p;
    const QCommandLineOption controllersOpt(QStringList{QStringLiteral("n"), QStringLiteral("controllers")}, QString(),
                                            QStringLiteral("N"));
    const QCommandLineOption addressOpt(QStringLiteral("address"), QString(), QStringLiteral("SLOT=ADDR"));
    const QCommandLineOption firmwareOpt(QStringLiteral("firmware"), QString(), QStringLiteral("HEX"));
    const QCommandLineOption tableIdOpt(QStringLiteral("table-id"), QString(), QStringLiteral("HEX"));
    const QCommandLineOption identityOpt(QStringLiteral("identity"), QString(), QStringLiteral("SLOT=SERIAL"));
    const QCommandLineOption passwordOpt(QStringLiteral("password"), QString(), QStringLiteral("N"));
    const QCommandLineOption wireOpt(QStringLiteral("wire-timing"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption turnOpt(QStringLiteral("turnaround"), QString(), QStringLiteral("MS"));
    const QCommandLineOption faultOpt(QStringLiteral("fault"), QString(), QStringLiteral("FAULT"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QString(), QStringLiteral("N"));
    const QCommandLineOption linkOpt(QStringLiteral("link"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"));
    const QCommandLineOption helpOpt(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOpt(QStringLiteral("version"));
    p.addOptions({controllersOpt, addressOpt, firmwareOpt, tableIdOpt, identityOpt, passwordOpt, wireOpt, baudOpt,
                  turnOpt, faultOpt, seedOpt, linkOpt, verboseOpt, helpOpt, versionOpt});
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString argError;
    if (!kadex::cmdline::Parse(p, args, argError) || !kadex::cmdline::NoWords(p.positionalArguments(), argError))
        return usageError(str(argError));
    if (p.isSet(helpOpt)) {
        std::cout << kUsage << SimConsole::Help() << "\n";
        return 0;
    }
    if (p.isSet(versionOpt)) {
        std::cout << "kadex-sim " KADEX_VERSION "\n";
        return 0;
    }
    wire = p.isSet(wireOpt);
    verbose = p.isSet(verboseOpt);
    if (p.isSet(controllersOpt)
        && !kadex::cmdline::ParseInt(p.value(controllersOpt), 1, SimBus::MaxSlots, count))
        return usageError("--controllers takes 1..8, not '" + str(p.value(controllersOpt)) + "'");
    if (p.isSet(baudOpt)) {
        int rate = 0;
        if (!kadex::cmdline::ParseBaud(p.value(baudOpt), rate, argError))
            return usageError(str(argError));
        baud = rate;
        wire = true;
    }
    if (p.isSet(turnOpt)
        && (!ParseNumber(str(p.value(turnOpt)), turnMs) || turnMs < 0 || turnMs > 10000))
        return usageError("--turnaround takes 0..10000 ms, not '" + str(p.value(turnOpt)) + "'");
    if (p.isSet(seedOpt) && !ParseNumber(str(p.value(seedOpt)), seed))
        return usageError("--seed needs a whole number, not '" + str(p.value(seedOpt)) + "'");
    if (p.isSet(linkOpt)) {
        linkPath = str(p.value(linkOpt));
        if (linkPath.empty())
            return usageError("--link needs a path");
    }
    for (const QString& f : p.values(faultOpt))
        faults.push_back(str(f));
    const std::pair<const QCommandLineOption*, std::map<int, std::string>*> perSlot[] = {
        {&addressOpt, &address}, {&firmwareOpt, &firmware}, {&tableIdOpt, &tableId},
        {&identityOpt, &identity}, {&passwordOpt, &password}};
    for (const auto& [option, values] : perSlot) {
        for (const QString& v : p.values(*option)) {
            int slot = 0;
            std::string val;
            if (!splitSlot(str(v), slot, val))
                return usageError("--" + str(option->names().first()) + ": '" + str(v)
                                  + "' has no slot 1..8 before the '='");
            if (slot > count)
                return usageError("--" + str(option->names().first()) + ": slot " + std::to_string(slot)
                                  + " but the bus has " + std::to_string(count) + " controller(s); see --controllers");
            (*values)[slot] = val;
        }
    }

    BusOptions opt = BusOptions::WithControllers(count);
    opt.wireTiming = wire;
    opt.baud = static_cast<int>(baud);
    opt.turnaroundUs = static_cast<uint32_t>(turnMs * 1000);
    opt.seed = static_cast<uint64_t>(seed);
    auto pick = [](const std::map<int, std::string>& m, int slot) -> const std::string* {
        if (auto it = m.find(slot); it != m.end())
            return &it->second;
        if (auto it = m.find(0); it != m.end())
            return &it->second;
        return nullptr;
    };
    for (int s = 1; s <= count; ++s) {
        ControllerSetup& c = opt.controllers[s - 1];
        if (const std::string* v = pick(address, s))
            if (!ParseAddress(*v, c.addressCode))
                return usageError("--address: '" + *v + "' is not PP or ZB1..ZB8");
        long long n = 0;
        if (const std::string* v = pick(firmware, s)) {
            if (!ParseNumber(*v, n, 16) || n < 0 || n > 0xFFFF)
                return usageError("--firmware: '" + *v + "' is not a hex number 0000..FFFF");
            c.firmware = static_cast<uint16_t>(n);
        }
        if (const std::string* v = pick(tableId, s)) {
            if (!ParseNumber(*v, n, 16) || n < 0 || n > 0xFFFF)
                return usageError("--table-id: '" + *v + "' is not a hex number 0000..FFFF");
            c.tableId = static_cast<uint16_t>(n);
        }
        if (const std::string* v = pick(password, s)) {
            if (!ParseNumber(*v, n) || n < 0 || n > 0xFFFFFFFFLL)
                return usageError("--password: '" + *v + "' is not a number 0..4294967295");
            c.password = static_cast<uint32_t>(n);
        }
        if (const std::string* v = pick(identity, s)) {
            const auto slash = v->find('/');
            if (!ParseSerialText(v->substr(0, slash), c.identity))
                return usageError("--identity: '" + *v + "' is not a serial number like 00812-04711-003-001[/D5]");
            if (slash != std::string::npos) {
                if (!ParseNumber(v->substr(slash + 1), n) || n < 0 || n > 255)
                    return usageError("--identity: the D5 in '" + *v + "' is not a number 0..255");
                c.identity.d5 = static_cast<uint8_t>(n);
            }
        }
    }

    // Signals are caught before the path is announced: whoever read the path may stop us at once.
    if (::pipe2(sigPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("kadex-sim: pipe");
        return 1;
    }
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    auto bus = std::make_shared<SimBus>(opt);
    for (const std::string& f : faults) {
        const auto w = SplitWords(f);
        long long slot = 0;
        Fault fault;
        std::string why;
        if (w.empty() || !ParseNumber(w[0], slot) || slot < 1 || slot > count || !ParseFault(w, 1, fault, why))
            return usageError("--fault \"" + f + "\" is not SLOT KIND N|@P [PARAM...]" + (why.empty() ? "" : ": " + why));
        bus->addFault(static_cast<int>(slot), fault);
    }
    if (verbose)
        bus->setObserver([](const TelegramRecord& r) { std::fprintf(stderr, "%s\n", r.describe().c_str()); });

    PtyServer pty;
    pty.setLinkPath(linkPath);
    std::string error;
    if (!pty.start(bus, &error)) {
        std::fprintf(stderr, "kadex-sim: cannot create the pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    std::printf("PTY %s\n", pty.portPath().c_str());
    std::fflush(stdout);
    for (int s = 1; s <= count; ++s) {
        const ControllerSetup& c = opt.controllers[s - 1];
        const char* name = kadex::zb::AddressName(c.addressCode);
        std::fprintf(stderr, "kadex-sim: controller %d at %s, %s, firmware %04X\n", s, name ? name : "?",
                     c.identity.text().c_str(), c.firmware);
    }

    SimConsole console(bus);
    console.setPlugHandler([&pty](bool plugIn) -> std::string {
        if (!plugIn) {
            pty.unplug();
            return "OK unplugged";
        }
        std::string why;
        if (!pty.plug(&why))
            return "ERR " + why;
        return "OK plugged " + pty.slavePath();
    });
    std::string pending;
    bool stdinOpen = true;
    while (!console.quitRequested()) {
        pollfd fds[2] = {{sigPipe[0], POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buf[512];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0) {
                stdinOpen = false;  // keep serving until a signal
                continue;
            }
            pending.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                std::printf("%s\n", console.execute(line).c_str());
                std::fflush(stdout);
                if (console.quitRequested())
                    break;
            }
        }
    }
    pty.stop();
    return 0;
}
