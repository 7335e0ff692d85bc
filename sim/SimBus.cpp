#include "sim/SimBus.h"

#include "comm/ZBFrame.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace kadex::sim {

namespace {

std::string hex(const std::vector<uint8_t>& bytes)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

void addNote(std::string& note, const std::string& more)
{
    if (more.empty())
        return;
    if (!note.empty())
        note += "; ";
    note += more;
}

} // namespace

const char* FaultName(FaultKind kind)
{
    switch (kind) {
    case FaultKind::NoAnswer: return "noanswer";
    case FaultKind::Corrupt: return "corrupt";
    case FaultKind::BadCheck: return "badcheck";
    case FaultKind::ErrorBit: return "errorbit";
    case FaultKind::Surplus: return "surplus";
    case FaultKind::Split: return "split";
    case FaultKind::Delay: return "delay";
    case FaultKind::HangUp: return "hangup";
    case FaultKind::Noise: return "noise";
    }
    return "?";
}

bool FaultKindFromName(const std::string& name, FaultKind& kind)
{
    for (FaultKind k : {FaultKind::NoAnswer, FaultKind::Corrupt, FaultKind::BadCheck, FaultKind::ErrorBit,
                        FaultKind::Surplus, FaultKind::Split, FaultKind::Delay, FaultKind::HangUp,
                        FaultKind::Noise}) {
        if (name == FaultName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

std::string TelegramRecord::describe() const
{
    std::string s = "#" + std::to_string(seq) + " ";
    const char* addr = bytes.empty() ? nullptr : zb::AddressName(pattern());
    if (!bytes.empty() && pattern() == zb::PatternBroadcast)
        addr = "broadcast";
    else if (!bytes.empty() && pattern() == zb::PatternButton)
        addr = "button";
    s += addr ? addr : "?";
    s += " [" + hex(bytes) + "]";
    switch (outcome) {
    case Outcome::Answered: s += " -> [" + hex(answer) + "]"; break;
    case Outcome::Silent: s += " -> no answer"; break;
    case Outcome::Ignored: s += " ignored"; break;
    }
    if (!note.empty())
        s += " (" + note + ")";
    return s;
}

BusOptions BusOptions::WithControllers(int n)
{
    BusOptions o;
    n = std::clamp(n, 1, SimBus::MaxSlots);
    for (int i = 0; i < n; ++i) {
        ControllerSetup s;
        s.identity.w2 = static_cast<uint16_t>(4711 + i);
        s.addressCode = n == 1 ? zb::PatternPP : zb::AddressPattern(i + 1);
        o.controllers.push_back(s);
    }
    return o;
}

// ============================================================================== life cycle

SimBus::SimBus(BusOptions options)
    : opt_(std::move(options)), clock_(opt_.clock ? opt_.clock : std::make_shared<RealClock>()), rng_(opt_.seed)
{
    const int n = std::min<int>(static_cast<int>(opt_.controllers.size()), MaxSlots);
    for (int i = 0; i < n; ++i)
        fitController(i + 1, opt_.controllers[i]);
    if (opt_.deliveryThread)
        scheduler_ = std::thread([this] { schedulerLoop(); });
}

SimBus::~SimBus()
{
    {
        std::lock_guard<std::mutex> l(mu_);
        stop_ = true;
    }
    cv_.notify_all();
    if (scheduler_.joinable())
        scheduler_.join();
}

// ============================================================================== link side

bool SimBus::attach(std::shared_ptr<IBusLink> link, std::string& error)
{
    std::lock_guard<std::mutex> l(mu_);
    if (linkDown_) {
        error = "the simulated port has hung up";
        return false;
    }
    if (link_ && link_ != link) {
        error = "the simulated bus is in use by another link";
        return false;
    }
    link_ = std::move(link);
    rx_.clear();
    return true;
}

void SimBus::detach(const IBusLink* link)
{
    std::lock_guard<std::mutex> l(mu_);
    if (link_.get() != link)
        return;
    link_.reset();
    rx_.clear();
    for (auto it = queue_.begin(); it != queue_.end();)
        it = it->second.link == link ? queue_.erase(it) : std::next(it);
}

void SimBus::setLinkBaud(int baud)
{
    std::lock_guard<std::mutex> l(mu_);
    linkBaud_ = baud;
}

uint64_t SimBus::byteUsLocked() const
{
    if (!opt_.wireTiming)
        return 0;
    const int baud = opt_.baud > 0 ? opt_.baud : (linkBaud_ > 0 ? linkBaud_ : 9600);
    return (10'000'000ull + baud / 2) / static_cast<uint64_t>(baud);  // start, 8 data, stop bit
}

bool SimBus::fromPc(const IBusLink* link, const uint8_t* data, size_t count, bool alreadyArrived)
{
    if (count == 0)
        return true;
    Work work;
    uint64_t txEnd = 0;
    bool waitOut = false;
    {
        std::lock_guard<std::mutex> l(mu_);
        if (linkDown_ || !link_ || link_.get() != link)
            return false;
        const uint64_t now = clock_->nowUs();
        const uint64_t bt = byteUsLocked();
        if (alreadyArrived || bt == 0) {
            // The interface echoes what it received; it is all here already.
            work.out.push_back({now, std::vector<uint8_t>(data, data + count)});
            feedLocked(data, count, now, 0, work);
        } else {
            // The PC's UART sends one byte after the other, each echoed as it ends.
            const uint64_t t0 = std::max(now, pcTxFreeUs_);
            for (size_t i = 0; i < count; ++i)
                work.out.push_back({t0 + (i + 1) * bt, {data[i]}});
            txEnd = t0 + count * bt;
            pcTxFreeUs_ = txEnd;
            waitOut = true;
            // The telegram is handled now with the times it will have; its answer is timed after it.
            feedLocked(data, count, t0, bt, work);
        }
    }
    recordCv_.notify_all();
    // Noise during the telegram reaches the PC ahead of the echo.
    const uint64_t echoAt = work.out.empty() ? 0 : work.out.front().timeUs;
    for (auto& it : work.out)
        if (it.beforeEcho)
            it.timeUs = echoAt > 0 ? echoAt - 1 : 0;
    std::stable_sort(work.out.begin(), work.out.end(),
                     [](const TimedBytes& a, const TimedBytes& b) { return a.timeUs < b.timeUs; });
    dispatch(link, std::move(work.out));

    std::function<void(const TelegramRecord&)> obs;
    {
        std::lock_guard<std::mutex> l(mu_);
        obs = observer_;
    }
    if (obs)
        for (const auto& r : work.records)
            obs(r);
    if (work.hangUp)
        hangUp("simulated port hung up");

    if (waitOut) {
        std::unique_lock<std::mutex> lk(mu_);
        while (!stop_ && !linkDown_ && clock_->nowUs() < txEnd)
            clock_->waitUntil(lk, cv_, txEnd);
    }
    return !linkDown();
}

void SimBus::feedLocked(const uint8_t* data, size_t count, uint64_t firstStartUs, uint64_t perByteUs, Work& work)
{
    for (size_t i = 0; i < count; ++i) {
        const uint64_t s = firstStartUs + i * perByteUs;
        const uint64_t e = s + perByteUs;
        if (!rx_.empty() && s >= rxLastEndUs_ + opt_.resyncGapUs) {
            // A silence inside a telegram: the controller gives the fragment up.
            TelegramRecord r;
            r.seq = ++recordSeq_;
            r.startUs = rxStartUs_;
            r.endUs = rxLastEndUs_;
            r.bytes = rx_;
            r.outcome = TelegramRecord::Outcome::Ignored;
            r.note = "incomplete telegram dropped after a silence";
            record_.push_back(r);
            work.records.push_back(std::move(r));
            rx_.clear();
        }
        if (rx_.empty())
            rxStartUs_ = s;
        rx_.push_back(data[i]);
        rxLastEndUs_ = e;
        const size_t needed = static_cast<size_t>(zb::LengthField(rx_[0])) + 3;
        if (rx_.size() >= needed) {
            std::vector<uint8_t> t;
            t.swap(rx_);
            telegramLocked(std::move(t), rxStartUs_, e, work);
        }
    }
}

bool SimBus::collidesLocked(uint64_t s, uint64_t e)
{
    answerIntervals_.erase(std::remove_if(answerIntervals_.begin(), answerIntervals_.end(),
                                          [s](const auto& iv) { return iv.second + 10'000'000ull < s; }),
                           answerIntervals_.end());
    for (const auto& [as, ae] : answerIntervals_)
        if (s < ae && e > as)
            return true;
    return false;
}

void SimBus::telegramLocked(std::vector<uint8_t> bytes, uint64_t s, uint64_t e, Work& work)
{
    TelegramRecord r;
    r.seq = ++recordSeq_;
    r.startUs = s;
    r.endUs = e;
    r.bytes = std::move(bytes);
    auto finish = [&] {
        record_.push_back(r);
        work.records.push_back(r);
    };
    const std::vector<uint8_t>& t = r.bytes;

    if (!zb::ChecksValid(t.data(), t.size())) {
        r.outcome = TelegramRecord::Outcome::Ignored;
        r.note = "bad check bytes";
        return finish();
    }
    const int n = zb::LengthField(t[0]);
    if (n == 0) {
        r.outcome = TelegramRecord::Outcome::Ignored;
        r.note = "no command byte";
        return finish();
    }
    if (collidesLocked(s, e)) {
        r.outcome = TelegramRecord::Outcome::Ignored;
        r.note = "collided with an answer on the wire";
        return finish();
    }

    const uint8_t pattern = zb::PatternOf(t[0]);
    const bool broadcast = pattern == zb::PatternBroadcast;
    const bool button = pattern == zb::PatternButton;
    // Who takes it is decided before anyone runs it (addressing changes patterns).
    std::vector<int> takers;
    for (int k = 0; k < MaxSlots; ++k) {
        const Slot& sl = slots_[k];
        if (!sl.ctl || !sl.present)
            continue;
        const bool takes = broadcast || (button ? sl.buttonUntilUs > e : sl.ctl->answerPattern() == pattern);
        if (takes)
            takers.push_back(k + 1);
    }

    struct Answer {
        std::vector<uint8_t> frame;
        Shaped shape;
        int slot = 0;
        uint64_t readyUs = 0; // when the controller is free to answer
    };
    std::vector<Answer> answers;
    for (int slot : takers) {
        Slot& sl = slots_[slot - 1];
        sl.owedEnds.erase(std::remove_if(sl.owedEnds.begin(), sl.owedEnds.end(), [e](uint64_t end) { return end <= e; }),
                          sl.owedEnds.end());
        if (!broadcast && sl.owedEnds.size() >= 2) {
            // Busy with a late answer and one telegram waiting already: this one is lost.
            addNote(r.note, "missed: controller busy" + (takers.size() > 1 ? " at slot " + std::to_string(slot) : ""));
            continue;
        }
        const uint64_t readyUs = sl.owedEnds.empty() ? e : std::max(e, sl.owedEnds.back());
        const Controller::Reply reply = sl.ctl->execute(t.data() + 1, static_cast<size_t>(n), broadcast, e);
        r.slots.push_back(slot);
        if (!reply.answer)
            continue;
        std::vector<uint8_t> frame;
        frame.reserve(reply.data.size() + 3);
        frame.push_back(static_cast<uint8_t>((reply.refused ? zb::ErrorBit : 0)
                                             | ((reply.data.size() << 4) & zb::LengthMask)));
        for (uint8_t b : reply.data)
            frame.push_back(b);
        zb::AppendChecks(frame);
        r.refused = r.refused || reply.refused;
        Shaped shape;
        bool hang = false;
        std::string faults;
        const bool send = shapeLocked(sl, frame, shape, faults, hang);
        if (!faults.empty())
            addNote(r.note, "fault " + faults + (takers.size() > 1 ? " at slot " + std::to_string(slot) : ""));
        work.hangUp = work.hangUp || hang;
        if (!shape.noise.empty())
            work.out.push_back({e + shape.noiseAfterUs, std::move(shape.noise), shape.noiseBeforeEcho});
        if (send)
            answers.push_back({std::move(frame), shape, slot, shape.outOfOrder ? e : readyUs});
    }

    if (answers.empty()) {
        r.outcome = TelegramRecord::Outcome::Silent;
        if (broadcast)
            addNote(r.note, "broadcast");
        else if (takers.empty())
            addNote(r.note, button ? "no service button pressed" : "no controller at this address");
        return finish();
    }

    Answer a = std::move(answers.front());
    if (answers.size() > 1) {
        // Several drivers at once on a dominant-low line.
        for (size_t i = 1; i < answers.size(); ++i) {
            const auto& f = answers[i].frame;
            if (f.size() > a.frame.size())
                a.frame.resize(f.size(), 0xFF);
            for (size_t j = 0; j < f.size(); ++j)
                a.frame[j] &= f[j];
            a.shape.delayUs = std::max(a.shape.delayUs, answers[i].shape.delayUs);
            a.readyUs = std::max(a.readyUs, answers[i].readyUs);
        }
        addNote(r.note, std::to_string(answers.size()) + " answers collided");
    }

    const uint64_t bt = byteUsLocked();
    uint64_t at = a.readyUs + (bt ? opt_.turnaroundUs : 0) + a.shape.delayUs;
    r.answerStartUs = at;
    const size_t piece = a.shape.pieceBytes > 0 ? static_cast<size_t>(a.shape.pieceBytes) : a.frame.size();
    for (size_t i = 0; i < a.frame.size();) {
        const size_t len = std::min(piece, a.frame.size() - i);
        if (bt == 0) {
            work.out.push_back({at, std::vector<uint8_t>(a.frame.begin() + i, a.frame.begin() + i + len)});
        } else {
            for (size_t j = 0; j < len; ++j) {
                at += bt;
                work.out.push_back({at, {a.frame[i + j]}});
            }
        }
        i += len;
        if (i < a.frame.size())
            at += a.shape.pauseUs;
    }
    r.answerEndUs = at;
    answerIntervals_.emplace_back(r.answerStartUs, r.answerEndUs);
    for (const Answer& x : answers)
        if (!x.shape.outOfOrder)
            slots_[x.slot - 1].owedEnds.push_back(r.answerEndUs);
    r.answer = std::move(a.frame);
    r.outcome = TelegramRecord::Outcome::Answered;
    finish();
}

bool SimBus::shapeLocked(Slot& slot, std::vector<uint8_t>& frame, Shaped& shape, std::string& note, bool& hangUp)
{
    std::vector<Fault> applied;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (auto it = slot.faults.begin(); it != slot.faults.end();) {
        bool applies = false;
        if (it->count > 0) {
            applies = true;
            --it->count;
        } else if (it->rate > 0) {
            applies = u(rng_) < it->rate;
        }
        if (applies)
            applied.push_back(*it);
        it = (it->count <= 0 && it->rate <= 0) ? slot.faults.erase(it) : std::next(it);
    }
    if (applied.empty())
        return true;

    bool send = true;
    auto has = [&](FaultKind k) {
        return std::any_of(applied.begin(), applied.end(), [k](const Fault& f) { return f.kind == k; });
    };
    for (const Fault& f : applied)
        addNote(note, FaultName(f.kind));
    // Byte faults in a fixed order, so that recomputed check bytes never hide another fault.
    if (has(FaultKind::ErrorBit)) {
        frame[0] |= zb::ErrorBit;
        frame.resize(frame.size() - 2);
        zb::AppendChecks(frame);
    }
    if (has(FaultKind::Corrupt))
        frame[frame.size() > 3 ? 1 : 0] ^= 0x01;
    if (has(FaultKind::BadCheck))
        frame[frame.size() - 2] ^= 0xFF;
    for (const Fault& f : applied) {
        switch (f.kind) {
        case FaultKind::NoAnswer: send = false; break;
        case FaultKind::HangUp: send = false; hangUp = true; break;
        case FaultKind::Surplus:
            for (int i = 0; i < std::max(1, f.surplusBytes); ++i)
                frame.push_back(i % 2 ? 0xAA : 0x55);
            break;
        case FaultKind::Split:
            shape.pieceBytes = std::max(1, f.pieceBytes);
            shape.pauseUs = static_cast<uint64_t>(f.pauseMs) * 1000;
            break;
        case FaultKind::Delay: {
            uint64_t us = static_cast<uint64_t>(f.delayMs) * 1000;
            if (f.delayMaxMs > f.delayMs)
                us = std::uniform_int_distribution<uint64_t>(us, static_cast<uint64_t>(f.delayMaxMs) * 1000)(rng_);
            shape.delayUs += us;
            shape.outOfOrder = shape.outOfOrder || f.outOfOrder;
            break;
        }
        case FaultKind::Noise: {
            std::uniform_int_distribution<int> count(1, std::max(1, f.noiseBytes));
            std::uniform_int_distribution<int> byte(0, 255);
            std::uniform_int_distribution<uint64_t> when(0, static_cast<uint64_t>(f.noiseWithinMs) * 1000);
            shape.noiseAfterUs = when(rng_);
            shape.noiseBeforeEcho = std::uniform_int_distribution<int>(0, 7)(rng_) == 0;
            shape.noise.resize(static_cast<size_t>(count(rng_)));
            for (uint8_t& b : shape.noise)
                b = static_cast<uint8_t>(byte(rng_));
            break;
        }
        default: break;
        }
    }
    return send;
}

void SimBus::dispatch(const IBusLink* link, std::vector<TimedBytes> items)
{
    if (items.empty())
        return;
    std::lock_guard<std::mutex> d(deliverMu_);
    std::vector<std::vector<uint8_t>> immediate;
    std::shared_ptr<IBusLink> target;
    {
        std::lock_guard<std::mutex> l(mu_);
        if (linkDown_ || !link_ || link_.get() != link)
            return;
        target = link_;
        const uint64_t now = clock_->nowUs();
        bool queueing = false;
        for (auto& it : items) {
            // Anything due later, or behind bytes still waiting, keeps the order through the queue.
            if (!queueing && (it.timeUs > now || (!queue_.empty() && queue_.begin()->first.first <= it.timeUs)))
                queueing = true;
            if (queueing)
                queue_.emplace(QueueKey{it.timeUs, queueSeq_++}, Pending{std::move(it.bytes), link});
            else
                immediate.push_back(std::move(it.bytes));
        }
    }
    cv_.notify_all();
    for (const auto& b : immediate)
        target->fromBus(b.data(), b.size());
}

void SimBus::schedulerLoop()
{
    std::unique_lock<std::mutex> lk(mu_);
    while (!stop_) {
        if (queue_.empty()) {
            cv_.wait(lk);
            continue;
        }
        const uint64_t due = queue_.begin()->first.first;
        if (due > clock_->nowUs()) {
            clock_->waitUntil(lk, cv_, due);
            continue;
        }
        lk.unlock();
        deliverOne();
        lk.lock();
    }
}

bool SimBus::deliverOne()
{
    std::lock_guard<std::mutex> d(deliverMu_);
    Pending p;
    std::shared_ptr<IBusLink> target;
    {
        std::lock_guard<std::mutex> l(mu_);
        if (queue_.empty() || queue_.begin()->first.first > clock_->nowUs())
            return false;
        p = std::move(queue_.begin()->second);
        queue_.erase(queue_.begin());
        if (!linkDown_ && link_ && link_.get() == p.link)
            target = link_;
    }
    if (target)
        target->fromBus(p.bytes.data(), p.bytes.size());
    return true;
}

size_t SimBus::deliverDue()
{
    size_t n = 0;
    while (deliverOne())
        ++n;
    return n;
}

uint64_t SimBus::nextDueUs() const
{
    std::lock_guard<std::mutex> l(mu_);
    return queue_.empty() ? UINT64_MAX : queue_.begin()->first.first;
}

void SimBus::discardDue(const IBusLink* link)
{
    std::lock_guard<std::mutex> l(mu_);
    const uint64_t now = clock_->nowUs();
    for (auto it = queue_.begin(); it != queue_.end() && it->first.first <= now;)
        it = it->second.link == link ? queue_.erase(it) : std::next(it);
}

void SimBus::hangUp(const std::string& reason)
{
    std::shared_ptr<IBusLink> link;
    {
        std::lock_guard<std::mutex> l(mu_);
        if (linkDown_)
            return;
        linkDown_ = true;
        queue_.clear();
        rx_.clear();
        link = std::move(link_);  // a hung-up link is gone; a later open attaches anew
    }
    cv_.notify_all();
    if (link)
        link->linkLost(reason);
}

bool SimBus::linkDown() const
{
    std::lock_guard<std::mutex> l(mu_);
    return linkDown_;
}

void SimBus::restoreLink()
{
    std::lock_guard<std::mutex> l(mu_);
    linkDown_ = false;
}

// ============================================================================== controllers

SimBus::Slot* SimBus::slotLocked(int slot)
{
    return slot >= 1 && slot <= MaxSlots ? &slots_[slot - 1] : nullptr;
}

Controller* SimBus::controllerLocked(int slot)
{
    Slot* s = slotLocked(slot);
    if (!s || !s->ctl)
        return nullptr;
    s->ctl->advanceTo(clock_->nowUs());
    return s->ctl.get();
}

bool SimBus::fitted(int slot) const
{
    std::lock_guard<std::mutex> l(mu_);
    return slot >= 1 && slot <= MaxSlots && slots_[slot - 1].ctl != nullptr;
}

bool SimBus::present(int slot) const
{
    std::lock_guard<std::mutex> l(mu_);
    return slot >= 1 && slot <= MaxSlots && slots_[slot - 1].ctl && slots_[slot - 1].present;
}

void SimBus::fitController(int slot, const ControllerSetup& setup)
{
    std::lock_guard<std::mutex> l(mu_);
    Slot* s = slotLocked(slot);
    if (!s)
        return;
    s->ctl = std::make_unique<Controller>(setup, clock_->nowUs());
    s->present = true;
    s->buttonUntilUs = 0;
    s->owedEnds.clear();
    s->faults.clear();
}

bool SimBus::removeController(int slot)
{
    std::lock_guard<std::mutex> l(mu_);
    Slot* s = slotLocked(slot);
    if (!s || !s->ctl)
        return false;
    s->present = false;
    return true;
}

bool SimBus::insertController(int slot)
{
    std::unique_lock<std::mutex> l(mu_);
    Slot* s = slotLocked(slot);
    if (!s)
        return false;
    if (!s->ctl) {
        l.unlock();
        ControllerSetup setup;
        setup.identity.w2 = static_cast<uint16_t>(4711 + slot - 1);
        setup.addressCode = zb::AddressPattern(slot);
        fitController(slot, setup);
        return true;
    }
    s->ctl->powerUp(clock_->nowUs());
    s->present = true;
    s->buttonUntilUs = 0;
    s->owedEnds.clear();
    return true;
}

bool SimBus::replaceController(int slot, const Identity& identity)
{
    std::lock_guard<std::mutex> l(mu_);
    Slot* s = slotLocked(slot);
    if (!s || !s->ctl)
        return false;
    ControllerSetup setup;
    setup.identity = identity;
    setup.addressCode = s->ctl->addressCode();
    setup.firmware = s->ctl->firmware();
    setup.tableId = s->ctl->tableId();
    s->ctl = std::make_unique<Controller>(setup, clock_->nowUs());
    s->present = true;
    s->buttonUntilUs = 0;
    s->owedEnds.clear();
    return true;
}

bool SimBus::withController(int slot, const std::function<void(Controller&)>& f)
{
    std::lock_guard<std::mutex> l(mu_);
    Controller* c = controllerLocked(slot);
    if (!c)
        return false;
    f(*c);
    return true;
}

std::vector<uint8_t> SimBus::peek(int slot, uint16_t addr, size_t count)
{
    std::vector<uint8_t> v;
    withController(slot, [&](Controller& c) { v = c.peek(addr, count); });
    return v;
}

void SimBus::poke(int slot, uint16_t addr, const std::vector<uint8_t>& bytes)
{
    withController(slot, [&](Controller& c) { c.poke(addr, bytes); });
}

Identity SimBus::identity(int slot)
{
    Identity id{};
    withController(slot, [&](Controller& c) { id = c.identity(); });
    return id;
}

void SimBus::setIdentity(int slot, const Identity& id)
{
    withController(slot, [&](Controller& c) { c.setIdentity(id); });
}

uint8_t SimBus::mode(int slot)
{
    uint8_t m = 0xFF;
    withController(slot, [&](Controller& c) { m = c.mode(); });
    return m;
}

void SimBus::setMode(int slot, uint8_t mode)
{
    withController(slot, [&](Controller& c) { c.setMode(mode); });
}

uint16_t SimBus::setpoint(int slot)
{
    uint16_t v = 0xFFFF;
    withController(slot, [&](Controller& c) { v = c.busSetpoint(); });
    return v;
}

void SimBus::setAlarms(int slot, uint8_t bits)
{
    withController(slot, [&](Controller& c) { c.setAlarms(bits); });
}

void SimBus::setW1Input(int slot, uint16_t mv)
{
    withController(slot, [&](Controller& c) { c.setW1InputMv(mv); });
}

Unlocked SimBus::unlocked(int slot)
{
    Unlocked u = Unlocked::None;
    withController(slot, [&](Controller& c) { u = c.unlocked(); });
    return u;
}

void SimBus::pressButton(int slot, uint32_t holdMs)
{
    std::lock_guard<std::mutex> l(mu_);
    if (Slot* s = slotLocked(slot))
        s->buttonUntilUs = clock_->nowUs() + static_cast<uint64_t>(holdMs) * 1000;
}

void SimBus::releaseButton(int slot)
{
    std::lock_guard<std::mutex> l(mu_);
    if (Slot* s = slotLocked(slot))
        s->buttonUntilUs = 0;
}

bool SimBus::buttonPressed(int slot)
{
    std::lock_guard<std::mutex> l(mu_);
    Slot* s = slotLocked(slot);
    return s && s->buttonUntilUs > clock_->nowUs();
}

// ============================================================================== faults, timing

void SimBus::addFault(int slot, const Fault& fault)
{
    std::lock_guard<std::mutex> l(mu_);
    if (Slot* s = slotLocked(slot))
        s->faults.push_back(fault);
}

void SimBus::clearFaults(int slot)
{
    std::lock_guard<std::mutex> l(mu_);
    if (Slot* s = slotLocked(slot)) {
        s->faults.clear();
        // Nor is it busy any more with a late answer (which may still come).
        s->owedEnds.clear();
    }
}

void SimBus::setWireTiming(bool on, int baud, uint32_t turnaroundUs)
{
    std::lock_guard<std::mutex> l(mu_);
    opt_.wireTiming = on;
    opt_.baud = baud;
    opt_.turnaroundUs = turnaroundUs;
}

bool SimBus::wireTiming() const
{
    std::lock_guard<std::mutex> l(mu_);
    return opt_.wireTiming;
}

uint64_t SimBus::byteTimeUs() const
{
    std::lock_guard<std::mutex> l(mu_);
    return byteUsLocked();
}

// ============================================================================== record

std::vector<TelegramRecord> SimBus::record() const
{
    std::lock_guard<std::mutex> l(mu_);
    return record_;
}

void SimBus::clearRecord()
{
    std::lock_guard<std::mutex> l(mu_);
    record_.clear();
}

bool SimBus::waitForRecords(size_t n, uint32_t timeoutMs) const
{
    std::unique_lock<std::mutex> l(mu_);
    return recordCv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return record_.size() >= n; });
}

SimBus::SequenceCheck SimBus::checkSequential() const
{
    const std::vector<TelegramRecord> rec = record();
    for (size_t i = 1; i < rec.size(); ++i) {
        const TelegramRecord& prev = rec[i - 1];
        const TelegramRecord& cur = rec[i];
        if (prev.answered() && cur.startUs < prev.answerEndUs) {
            SequenceCheck c;
            c.ok = false;
            c.detail = "telegram " + cur.describe() + " started " + std::to_string(prev.answerEndUs - cur.startUs)
                + " us before the answer to " + prev.describe() + " ended";
            return c;
        }
    }
    return {};
}

void SimBus::setObserver(std::function<void(const TelegramRecord&)> observer)
{
    std::lock_guard<std::mutex> l(mu_);
    observer_ = std::move(observer);
}

} // namespace kadex::sim
