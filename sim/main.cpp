// kadex-sim: simulated controllers behind a bus interface, served on a pseudo-terminal.
#include "comm/Clock.h"
#include "comm/ZBFrame.h"
#include "common/CommandLine.h"
#include "common/Version.h"
#include "sim/PtyServer.h"
#include "sim/SimBus.h"
#include "sim/SimConsole.h"
#include "sim/SimHelp.h"
#include "sim/TimeRate.h"

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
    kadex::sim::SetClockRateFromEnvironment();
    int count = 1;
    std::map<int, std::string> address, firmware, tableId, identity, password;
    std::vector<std::string> faults;
    bool wire = false, verbose = false;
    std::string linkPath;
    long long baud = 0, turnMs = 3, seed = 1;

    QCommandLineParser p;
    const kadex::help::ParserOptions options(SimProgram(), p);
    const QCommandLineOption& controllersOpt = options[QStringLiteral("controllers")];
    const QCommandLineOption& addressOpt = options[QStringLiteral("address")];
    const QCommandLineOption& firmwareOpt = options[QStringLiteral("firmware")];
    const QCommandLineOption& tableIdOpt = options[QStringLiteral("table-id")];
    const QCommandLineOption& identityOpt = options[QStringLiteral("identity")];
    const QCommandLineOption& passwordOpt = options[QStringLiteral("password")];
    const QCommandLineOption& wireOpt = options[QStringLiteral("wire-timing")];
    const QCommandLineOption& baudOpt = options[QStringLiteral("baud")];
    const QCommandLineOption& turnOpt = options[QStringLiteral("turnaround")];
    const QCommandLineOption& faultOpt = options[QStringLiteral("fault")];
    const QCommandLineOption& seedOpt = options[QStringLiteral("seed")];
    const QCommandLineOption& linkOpt = options[QStringLiteral("link")];
    const QCommandLineOption& verboseOpt = options[QStringLiteral("verbose")];
    const QCommandLineOption& helpOpt = options[QStringLiteral("help")];
    const QCommandLineOption& versionOpt = options[QStringLiteral("version")];
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString argError;
    if (!kadex::cmdline::Parse(p, args, argError) || !kadex::cmdline::NoWords(p.positionalArguments(), argError))
        return usageError(str(argError));
    if (p.isSet(helpOpt)) {
        std::cout << kadex::help::RenderHelp(SimProgram()).toStdString();
        return 0;
    }
    if (p.isSet(versionOpt)) {
        std::cout << "kadex-sim " << kadex::VersionString() << "\n";
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
