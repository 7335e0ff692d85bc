#pragma once
// A seeded fault soak of the tool's transaction against the in-process simulator, on one
// virtual clock: late, lost, split and surplus answers, corrupted bytes and noise between
// telegrams. Every command that reports success is checked against the simulated controller's
// own memory and state, which the tool never sees.
// Used by tests/test_soak.cpp and bench/bench_soak.cpp.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "sim/SimBus.h"
#include "sim/SimClock.h"
#include "sim/SimTransport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kadex::test {

// The tool's clock on the simulator's virtual time: whenever the tool waits, time jumps to the
// next moment something is due on the bus (or to the deadline) and that is delivered.
class VirtualBusClock final : public IClock {
public:
    VirtualBusClock(sim::ManualClock& clock, sim::SimBus& bus) : clock_(clock), bus_(bus) {}

    uint64_t NowMs() override { return clock_.nowUs() / 1000; }
    void SleepMs(uint32_t ms) override
    {
        const uint64_t until = clock_.nowUs() + static_cast<uint64_t>(ms) * 1000;
        for (uint64_t next; (next = bus_.nextDueUs()) <= until;)
            step(next);
        advanceTo(until);
    }
    void WaitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable&, uint64_t deadlineMs) override
    {
        lk.unlock();
        const uint64_t deadline = deadlineMs * 1000;
        const uint64_t next = bus_.nextDueUs();
        if (next <= deadline)
            step(next);
        else
            advanceTo(deadline);
        lk.lock();
    }

private:
    void step(uint64_t t)
    {
        advanceTo(t);
        bus_.deliverDue();
    }
    void advanceTo(uint64_t t)
    {
        const uint64_t now = clock_.nowUs();
        if (t > now)
            clock_.advanceUs(t - now);
    }
    sim::ManualClock& clock_;
    sim::SimBus& bus_;
};

struct SoakOptions {
    uint64_t seed = 1;
    size_t telegrams = 300;      // run until the controller has received this many
    uint32_t guardMs = 150;      // the tool's quiet guard (0 shows what it is for)
    double faultScale = 1.0;     // multiplies every fault rate below
    bool verbose = false;        // print every wrong value
    // Late answers: delays from delayMinMs to delayMaxMs; the controller answers in order (busy
    // meanwhile) unless outOfOrder.
    uint32_t delayMinMs = 650;
    uint32_t delayMaxMs = 840;
    bool outOfOrder = false;
    ZbRules rules;               // the tool's rules against late answers
};

struct SoakStats {
    size_t commands = 0;
    size_t telegrams = 0;
    size_t failures = 0;         // commands that returned false
    size_t wrongValues = 0;      // commands that returned true with values the controller does not hold
    uint64_t virtualMs = 0;
    size_t faultsApplied = 0;    // telegrams the simulator marked with a fault
    std::map<TxResult, size_t> failureReasons;
    std::map<std::string, size_t> attemptEvents; // trace events: timeouts, rejections, discards
    std::string firstWrong;

    void add(const SoakStats& o)
    {
        commands += o.commands;
        telegrams += o.telegrams;
        failures += o.failures;
        wrongValues += o.wrongValues;
        virtualMs += o.virtualMs;
        faultsApplied += o.faultsApplied;
        for (const auto& [r, n] : o.failureReasons)
            failureReasons[r] += n;
        for (const auto& [e, n] : o.attemptEvents)
            attemptEvents[e] += n;
        if (firstWrong.empty())
            firstWrong = o.firstWrong;
    }
};

namespace soak {

inline sim::Fault rate(sim::FaultKind kind, double p)
{
    sim::Fault f;
    f.kind = kind;
    f.count = 0;
    f.rate = p;
    return f;
}

inline uint16_t be16(const std::vector<uint8_t>& v, size_t i)
{
    return static_cast<uint16_t>((v.at(i) << 8) | v.at(i + 1));
}

} // namespace soak

inline SoakStats RunSoak(const SoakOptions& opt)
{
    using namespace kadex::sim;
    auto manual = std::make_shared<ManualClock>();
    BusOptions bo = BusOptions::WithControllers(1);
    bo.clock = manual;
    bo.seed = opt.seed;
    bo.deliveryThread = false;
    auto bus = std::make_shared<SimBus>(bo);

    SoakStats st;
    // With verbose, the last lines of the transfer trace and of the bus record, for a wrong value.
    // Always on: it also counts what the rules rejected, attempt by attempt.
    struct Tail final : ITransferSink {
        bool on = false;
        std::vector<std::string> lines;
        sim::ManualClock* clock = nullptr;
        std::map<std::string, size_t>* counts = nullptr;
        bool TransferOn() const override { return true; }
        void AddTransferLine(const QString& l) override
        {
            for (const char* what : {"-> Timeout", "-> Rejected: ", "-> Discarded: ", "-> Line not quiet",
                                     "-> Checking the line", "-> Doubtful answer"})
                if (l.startsWith(QLatin1String(what))) {
                    const QString key = l.startsWith(QLatin1String("-> Rejected: ")) ? l.mid(3) : QString::fromLatin1(what + 3);
                    ++(*counts)[key.toStdString()];
                }
            if (on)
                add("tool " + l.toStdString());
        }
        void add(const std::string& l)
        {
            lines.push_back(std::to_string(clock->nowUs() / 1000) + " " + l);
            if (lines.size() > 80)
                lines.erase(lines.begin());
        }
    } tail;
    tail.on = opt.verbose;
    tail.clock = manual.get();
    tail.counts = &st.attemptEvents;
    bus->setObserver([&st, &tail](const TelegramRecord& r) {
        ++st.telegrams;
        st.faultsApplied += r.note.find("fault") != std::string::npos;
        if (tail.on)
            tail.add("bus " + r.describe() + " answer at " + std::to_string(r.answerStartUs / 1000));
    });

    TComForm com(std::make_unique<SimTransport>(bus));
    VirtualBusClock clock(*manual, *bus);
    TZBCmd zb(com, &clock);
    zb.GuardMs = opt.guardMs;
    zb.Rules = opt.rules;
    zb.SetTransferSink(&tail);
    if (!com.OpenPort())
        return st;

    // Late answers (one fault, so that delays never add up beyond delayMaxMs).
    const double k = opt.faultScale;
    {
        Fault f = soak::rate(FaultKind::Delay, 0.05 * k);
        f.delayMs = opt.delayMinMs;
        f.delayMaxMs = opt.delayMaxMs;
        f.outOfOrder = opt.outOfOrder;
        bus->addFault(1, f);
    }
    bus->addFault(1, soak::rate(FaultKind::NoAnswer, 0.03 * k));
    {
        Fault f = soak::rate(FaultKind::Split, 0.03 * k);
        f.pieceBytes = 2;
        f.pauseMs = 30;
        bus->addFault(1, f);
    }
    {
        Fault f = soak::rate(FaultKind::Surplus, 0.02 * k);
        f.surplusBytes = 1;
        bus->addFault(1, f);
    }
    bus->addFault(1, soak::rate(FaultKind::Surplus, 0.01 * k));
    bus->addFault(1, soak::rate(FaultKind::Noise, 0.04 * k));
    bus->addFault(1, soak::rate(FaultKind::Corrupt, 0.01 * k));
    bus->addFault(1, soak::rate(FaultKind::BadCheck, 0.01 * k));
    bus->addFault(1, soak::rate(FaultKind::ErrorBit, 0.01 * k));

    std::mt19937_64 rng(opt.seed * 7919 + 1);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    constexpr uint16_t area = 0x0300; // plain memory the soak owns
    {
        std::vector<uint8_t> fill(256);
        for (uint8_t& b : fill)
            b = static_cast<uint8_t>(pick(0, 255));
        bus->poke(1, area, fill);
    }

    auto wrong = [&](const std::string& what) {
        ++st.wrongValues;
        if (st.firstWrong.empty())
            st.firstWrong = what;
        if (opt.verbose) {
            std::printf("wrong value accepted: %s\n", what.c_str());
            for (const auto& l : tail.lines)
                std::printf("  %s\n", l.c_str());
        }
    };
    const uint8_t modes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10};

    while (st.telegrams < opt.telegrams) {
        ++st.commands;
        bool ok = false;
        switch (pick(0, 11)) {
        case 0:
        case 1: {
            const uint16_t addr = static_cast<uint16_t>(area + pick(0, 248));
            const uint8_t n = static_cast<uint8_t>(pick(1, 7));
            uint8_t out[7] = {};
            ok = zb.ReadMem(addr, n, out);
            if (ok && std::vector<uint8_t>(out, out + n) != bus->peek(1, addr, n))
                wrong("ReadMem " + std::to_string(addr) + "/" + std::to_string(n));
            break;
        }
        case 2: {
            const uint16_t addr = static_cast<uint16_t>(area + pick(0, 251));
            const uint8_t n = static_cast<uint8_t>(pick(1, 4));
            uint8_t data[4];
            for (uint8_t& b : data)
                b = static_cast<uint8_t>(pick(0, 255));
            ok = zb.WriteMem(addr, data, n);
            if (ok && std::vector<uint8_t>(data, data + n) != bus->peek(1, addr, n))
                wrong("WriteMem " + std::to_string(addr));
            break;
        }
        case 3: {
            uint16_t a = 0, b = 0, c = 0;
            ok = zb.GetVLevels(a, b, c);
            const auto m = bus->peek(1, mem::VLevels, 6);
            if (ok && (a != soak::be16(m, 0) || b != soak::be16(m, 2) || c != soak::be16(m, 4)))
                wrong("GetVLevels");
            break;
        }
        case 4: {
            const uint16_t a = static_cast<uint16_t>(pick(0, 10000)), b = static_cast<uint16_t>(pick(0, 10000)),
                           c = static_cast<uint16_t>(pick(0, 10000));
            ok = zb.SetVLevels(a, b, c);
            const auto m = bus->peek(1, mem::VLevels, 6);
            if (ok && (a != soak::be16(m, 0) || b != soak::be16(m, 2) || c != soak::be16(m, 4)))
                wrong("SetVLevels");
            break;
        }
        case 5: {
            Identity id;
            ok = zb.GetIdentity(id.w1, id.w2, id.d5, id.type, id.last);
            if (ok && !(id == bus->identity(1)))
                wrong("GetIdentity");
            break;
        }
        case 6: {
            uint8_t mode = 0xEE, old = 0xEE;
            ok = zb.GetMode(mode, old);
            if (ok && (mode != bus->mode(1) || old != 0))
                wrong("GetMode " + std::to_string(mode));
            break;
        }
        case 7: {
            const uint8_t code = modes[pick(0, 9)];
            ok = zb.SetOverride(code);
            if (ok && bus->mode(1) != code)
                wrong("SetOverride");
            break;
        }
        case 8: {
            uint16_t a = 0, b = 0;
            const bool w1 = pick(0, 1) == 0;
            ok = w1 ? zb.GetW1Range(a, b) : zb.GetU5Range(a, b);
            const auto m = bus->peek(1, w1 ? mem::W1Range : mem::U5Range, 4);
            if (ok && (a != soak::be16(m, 0) || b != soak::be16(m, 2)))
                wrong("GetW1/U5Range");
            break;
        }
        case 9: {
            const uint8_t bits = static_cast<uint8_t>(pick(0, 255));
            bus->setAlarms(1, bits);
            uint8_t got = 0;
            ok = zb.GetAlarms(got);
            if (ok && got != bits)
                wrong("GetAlarms");
            break;
        }
        case 10: {
            uint16_t v = 0, w2 = 0, w3 = 0;
            ok = zb.GetFirmware(v, w2, w3);
            uint16_t fw = 0;
            bus->withController(1, [&](Controller& c) { fw = c.firmware(); });
            if (ok && v != fw)
                wrong("GetFirmware");
            break;
        }
        default: {
            uint16_t o = 0, p = 0, t = 0;
            ok = zb.GetTextAddresses(o, p, t);
            if (ok && (o != mem::OemText || p != mem::PositionText || t != mem::TypeText))
                wrong("GetTextAddresses");
            break;
        }
        }
        if (!ok) {
            ++st.failures;
            ++st.failureReasons[zb.LastResult()];
        }
        if (st.commands % 512 == 0)
            bus->clearRecord(); // the observer counts; the record need not grow without end
    }
    st.virtualMs = manual->nowUs() / 1000;
    bus->setObserver(nullptr);
    return st;
}

} // namespace kadex::test
