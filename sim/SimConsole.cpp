#include "sim/SimConsole.h"

#include "comm/ZBFrame.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace kadex::sim {

std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> w;
    std::istringstream in(line);
    for (std::string s; in >> s;)
        w.push_back(s);
    return w;
}

bool ParseNumber(const std::string& text, long long& value, int base)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, base);
    if (errno != 0 || end == text.c_str() || *end != '\0')
        return false;
    value = v;
    return true;
}

bool ParseAddress(const std::string& text, uint8_t& pattern)
{
    std::string t = text;
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::toupper(c); });
    if (t == "PP") {
        pattern = zb::PatternPP;
        return true;
    }
    if (t.size() == 3 && t.rfind("ZB", 0) == 0 && t[2] >= '1' && t[2] <= '8') {
        pattern = zb::AddressPattern(t[2] - '0');
        return true;
    }
    if (t.rfind("0X", 0) == 0)
        t = t.substr(2);
    long long v = 0;
    if (!ParseNumber(t, v, 16) || v < 0 || v > 255)
        return false;
    pattern = static_cast<uint8_t>(v);
    return true;
}

bool ParseSerialText(const std::string& text, Identity& id)
{
    unsigned w1, w2, type, last;
    char tail;
    if (text.size() != 19 || std::sscanf(text.c_str(), "%5u-%5u-%3u-%3u%c", &w1, &w2, &type, &last, &tail) != 4)
        return false;
    if (w1 > 65535 || w2 > 65535 || type > 255 || last > 255)
        return false;
    id.w1 = static_cast<uint16_t>(w1);
    id.w2 = static_cast<uint16_t>(w2);
    id.type = static_cast<uint8_t>(type);
    id.last = static_cast<uint8_t>(last);
    return true;
}

bool ParseFault(const std::vector<std::string>& w, size_t from, Fault& f, std::string& error)
{
    if (w.size() < from + 2) {
        error = "fault needs a kind and a count (N) or a rate (@P)";
        return false;
    }
    if (!FaultKindFromName(w[from], f.kind)) {
        error = "unknown fault kind " + w[from];
        return false;
    }
    const std::string& how = w[from + 1];
    if (!how.empty() && how[0] == '@') {
        char* end = nullptr;
        f.rate = std::strtod(how.c_str() + 1, &end);
        if (end == how.c_str() + 1 || *end != '\0' || f.rate <= 0 || f.rate > 1) {
            error = "rate must be @P with 0 < P <= 1";
            return false;
        }
        f.count = 0;
    } else {
        long long n = 0;
        if (!ParseNumber(how, n) || n < 1 || n > 1000000) {
            error = "count must be a positive number";
            return false;
        }
        f.count = static_cast<int>(n);
    }
    std::vector<long long> p;
    for (size_t i = from + 2; i < w.size(); ++i) {
        if (f.kind == FaultKind::Delay && w[i] == "--out-of-order") {
            f.outOfOrder = true;
            continue;
        }
        long long v = 0;
        if (!ParseNumber(w[i], v) || v < 0) {
            error = "bad fault parameter " + w[i];
            return false;
        }
        p.push_back(v);
    }
    switch (f.kind) {
    case FaultKind::Delay:
        if (!p.empty())
            f.delayMs = static_cast<uint32_t>(p[0]);
        if (p.size() > 1)
            f.delayMaxMs = static_cast<uint32_t>(p[1]);
        break;
    case FaultKind::Split:
        if (!p.empty())
            f.pieceBytes = static_cast<int>(std::max(1LL, p[0]));
        if (p.size() > 1)
            f.pauseMs = static_cast<uint32_t>(p[1]);
        break;
    case FaultKind::Surplus:
        if (!p.empty())
            f.surplusBytes = static_cast<int>(std::max(1LL, p[0]));
        break;
    case FaultKind::Noise:
        if (!p.empty())
            f.noiseBytes = static_cast<int>(std::clamp(p[0], 1LL, 64LL));
        if (p.size() > 1)
            f.noiseWithinMs = static_cast<uint32_t>(std::min(p[1], 60000LL));
        break;
    default:
        if (!p.empty()) {
            error = std::string("fault ") + FaultName(f.kind) + " takes no parameter";
            return false;
        }
    }
    return true;
}

const char* SimConsole::Help()
{
    return "Commands (one per line; SLOT is 1..8, the controller's place on the bus):\n"
           "  status                       one line per controller\n"
           "  press SLOT [MS]              press the service button (held 10000 ms unless given)\n"
           "  release SLOT                 release the service button\n"
           "  remove SLOT                  take the controller off the bus (it keeps its memory)\n"
           "  insert SLOT                  put it back (power-up state); an empty slot gets a new one\n"
           "  replace SLOT W1 W2 LAST [TYPE [D5]]\n"
           "                               a different controller takes the slot's place and address\n"
           "  fault SLOT KIND N|@P [PARAM...]\n"
           "                               fault on the next N answers, or on each with probability P\n"
           "                               kinds: noanswer corrupt badcheck errorbit hangup\n"
           "                                      delay [MS=800 [MAX_MS]] [--out-of-order]: a late answer;\n"
           "                                      meanwhile the controller is busy: the next telegram\n"
           "                                      is answered after it, in order, further ones are\n"
           "                                      missed; --out-of-order answers them at once instead\n"
           "                                      split [BYTES=1 [PAUSE_MS=20]]\n"
           "                                      surplus [BYTES=2]\n"
           "                                      noise [BYTES=3 [WITHIN_MS=1000]]: 1..BYTES random\n"
           "                                      bytes at a random moment within WITHIN_MS after\n"
           "                                      the telegram, answering nothing\n"
           "  clear SLOT                   remove the slot's pending faults (a late answer still comes,\n"
           "                               but the controller takes telegrams again at once)\n"
           "  alarm SLOT BITS              set the alarm bits (decimal or 0x..)\n"
           "  w1 SLOT MV                   voltage at the W1 input, mV\n"
           "  mode SLOT CODE               force an operating mode code\n"
           "  address SLOT PP|ZB1..ZB8     set the bus address code\n"
           "  peek SLOT ADDR [COUNT]       show memory (ADDR hexadecimal, COUNT up to 64)\n"
           "  poke SLOT ADDR BYTE...       write memory directly (hexadecimal bytes)\n"
           "  timing on [BAUD [TURN_MS]] | timing off\n"
           "                               wire timing (BAUD 0: the rate the tool set)\n"
           "  record [N]                   the last N received telegrams (default 10)\n"
           "  hangup                       the port hangs up\n"
           "  unplug                       pull the adapter: the port hangs up and its --link goes\n"
           "  plug                         plug it in again: a new pseudo-terminal, --link points at it\n"
           "  help                         this text\n"
           "  quit                         stop the simulator";
}

SimConsole::SimConsole(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)) {}

namespace {

std::string hexByte(unsigned v)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02X", v & 0xFF);
    return b;
}

const char* levelName(Unlocked u)
{
    switch (u) {
    case Unlocked::Oem: return "oem";
    case Unlocked::Factory: return "factory";
    default: return "none";
    }
}

} // namespace

std::string SimConsole::execute(const std::string& line)
{
    const std::vector<std::string> w = SplitWords(line);
    if (w.empty())
        return "OK";
    const std::string& cmd = w[0];
    auto err = [](const std::string& m) { return "ERR " + m; };

    auto slotArg = [&](int& slot, size_t i = 1) {
        long long v = 0;
        if (w.size() <= i || !ParseNumber(w[i], v) || v < 1 || v > SimBus::MaxSlots)
            return false;
        slot = static_cast<int>(v);
        return true;
    };
    auto numArg = [&](size_t i, long long& v, long long lo, long long hi) {
        if (w.size() <= i)
            return false;
        const std::string& t = w[i];
        const bool hex = t.rfind("0x", 0) == 0 || t.rfind("0X", 0) == 0;
        return ParseNumber(hex ? t.substr(2) : t, v, hex ? 16 : 10) && v >= lo && v <= hi;
    };

    if (cmd == "help")
        return std::string("OK\n") + Help();
    if (cmd == "quit" || cmd == "exit") {
        quit_ = true;
        return "OK bye";
    }
    if (cmd == "hangup") {
        bus_->hangUp("simulated port hung up");
        return "OK hung up";
    }
    if (cmd == "unplug" || cmd == "plug") {
        if (!plug_)
            return err("no pseudo-terminal to " + cmd);
        return plug_(cmd == "plug");
    }
    if (cmd == "status") {
        std::string out = "OK";
        for (int s = 1; s <= SimBus::MaxSlots; ++s) {
            if (!bus_->fitted(s))
                continue;
            const bool present = bus_->present(s);
            const bool pressed = bus_->buttonPressed(s);
            bus_->withController(s, [&](Controller& c) {
                char b[200];
                const char* addr = zb::AddressName(c.addressCode());
                std::snprintf(b, sizeof b,
                              "\n%d %s %s fw %04X %s mode %u pos %.1f%% flow %.1f%% p %.0f Pa button %s unlocked %s alarms %02X"
                              " setpoint %04X",
                              s, addr ? addr : ("0x" + hexByte(c.addressCode())).c_str(), c.identity().text().c_str(),
                              c.firmware(), present ? "present" : "removed", c.mode(), c.damperPosition() * 100,
                              c.actualPercent(), c.pressurePa(), pressed ? "pressed" : "up", levelName(c.unlocked()),
                              c.alarms(), c.busSetpoint());
                out += b;
            });
        }
        return out;
    }
    if (cmd == "timing") {
        if (w.size() >= 2 && w[1] == "off") {
            bus_->setWireTiming(false);
            return "OK wire timing off";
        }
        if (w.size() >= 2 && w[1] == "on") {
            long long baud = 0, turn = 3;
            if (w.size() > 2 && !numArg(2, baud, 0, 1000000))
                return err("bad baud rate");
            if (w.size() > 3 && !numArg(3, turn, 0, 10000))
                return err("bad turnaround");
            bus_->setWireTiming(true, static_cast<int>(baud), static_cast<uint32_t>(turn * 1000));
            return "OK wire timing on";
        }
        return err("usage: timing on [BAUD [TURN_MS]] | timing off");
    }
    if (cmd == "record") {
        long long n = 10;
        if (w.size() > 1 && !numArg(1, n, 1, 100000))
            return err("bad count");
        const auto rec = bus_->record();
        std::string out = "OK " + std::to_string(rec.size()) + " telegrams";
        for (size_t i = rec.size() > static_cast<size_t>(n) ? rec.size() - n : 0; i < rec.size(); ++i)
            out += "\n" + rec[i].describe();
        return out;
    }

    int slot = 0;
    if (!slotArg(slot))
        return err(cmd == "press" || cmd == "release" || cmd == "remove" || cmd == "insert" || cmd == "replace"
                           || cmd == "fault" || cmd == "clear" || cmd == "alarm" || cmd == "w1" || cmd == "mode"
                           || cmd == "address" || cmd == "peek" || cmd == "poke"
                       ? "needs a slot 1..8"
                       : "unknown command " + cmd + " (try help)");

    if (cmd == "insert") {
        bus_->insertController(slot);
        return "OK inserted " + std::to_string(slot) + " " + bus_->identity(slot).text();
    }
    if (!bus_->fitted(slot))
        return err("no controller in slot " + std::to_string(slot));

    if (cmd == "press") {
        long long ms = 10000;
        if (w.size() > 2 && !numArg(2, ms, 1, 3600000))
            return err("bad hold time");
        bus_->pressButton(slot, static_cast<uint32_t>(ms));
        return "OK pressed " + std::to_string(slot);
    }
    if (cmd == "release") {
        bus_->releaseButton(slot);
        return "OK released " + std::to_string(slot);
    }
    if (cmd == "remove") {
        bus_->removeController(slot);
        return "OK removed " + std::to_string(slot);
    }
    if (cmd == "replace") {
        long long w1, w2, last, type = 3, d5 = 0;
        if (!numArg(2, w1, 0, 65535) || !numArg(3, w2, 0, 65535) || !numArg(4, last, 0, 255)
            || (w.size() > 5 && !numArg(5, type, 0, 255)) || (w.size() > 6 && !numArg(6, d5, 0, 255)))
            return err("usage: replace SLOT W1 W2 LAST [TYPE [D5]]");
        Identity id{static_cast<uint16_t>(w1), static_cast<uint16_t>(w2), static_cast<uint8_t>(d5),
                    static_cast<uint8_t>(type), static_cast<uint8_t>(last)};
        bus_->replaceController(slot, id);
        return "OK replaced " + std::to_string(slot) + " " + id.text();
    }
    if (cmd == "fault") {
        Fault f;
        std::string why;
        if (!ParseFault(w, 2, f, why))
            return err(why);
        bus_->addFault(slot, f);
        return std::string("OK fault ") + FaultName(f.kind) + " on " + std::to_string(slot);
    }
    if (cmd == "clear") {
        bus_->clearFaults(slot);
        return "OK cleared " + std::to_string(slot);
    }
    if (cmd == "alarm") {
        long long bits = 0;
        if (!numArg(2, bits, 0, 255))
            return err("usage: alarm SLOT BITS");
        bus_->setAlarms(slot, static_cast<uint8_t>(bits));
        return "OK alarms " + hexByte(static_cast<unsigned>(bits));
    }
    if (cmd == "w1") {
        long long mv = 0;
        if (!numArg(2, mv, 0, 65535))
            return err("usage: w1 SLOT MV");
        bus_->setW1Input(slot, static_cast<uint16_t>(mv));
        return "OK w1 " + std::to_string(mv) + " mV";
    }
    if (cmd == "mode") {
        long long m = 0;
        if (!numArg(2, m, 0, 255))
            return err("usage: mode SLOT CODE");
        bus_->setMode(slot, static_cast<uint8_t>(m));
        return "OK mode " + std::to_string(m);
    }
    if (cmd == "address") {
        uint8_t p = 0;
        if (w.size() < 3 || !ParseAddress(w[2], p))
            return err("usage: address SLOT PP|ZB1..ZB8");
        bus_->withController(slot, [&](Controller& c) { c.setAddressCode(p); });
        return "OK address " + hexByte(p);
    }
    if (cmd == "peek" || cmd == "poke") {
        long long addr = 0;
        if (w.size() < 3 || !ParseNumber(w[2].rfind("0x", 0) == 0 ? w[2].substr(2) : w[2], addr, 16) || addr < 0
            || addr > 0xFFFF)
            return err("ADDR must be hexadecimal 0..FFFF");
        if (cmd == "peek") {
            long long n = 1;
            if (w.size() > 3 && !numArg(3, n, 1, 64))
                return err("COUNT must be 1..64");
            const auto bytes = bus_->peek(slot, static_cast<uint16_t>(addr), static_cast<size_t>(n));
            std::string out = "OK";
            for (uint8_t b : bytes)
                out += " " + hexByte(b);
            return out;
        }
        std::vector<uint8_t> bytes;
        for (size_t i = 3; i < w.size(); ++i) {
            long long b = 0;
            if (!ParseNumber(w[i], b, 16) || b < 0 || b > 255)
                return err("bad byte " + w[i]);
            bytes.push_back(static_cast<uint8_t>(b));
        }
        if (bytes.empty())
            return err("poke needs bytes");
        bus_->poke(slot, static_cast<uint16_t>(addr), bytes);
        return "OK poked " + std::to_string(bytes.size());
    }
    return err("unknown command " + cmd + " (try help)");
}

} // namespace kadex::sim
