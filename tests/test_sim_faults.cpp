// Faults injected into the simulated controllers, observed through the tool's transaction:
// retries, failure after three attempts, late and split answers, a controller removed or
// replaced, the port hanging up.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "comm/ZBFrame.h"
#include "sim/SimBus.h"
#include "sim/SimConsole.h"
#include "sim/SimTransport.h"
#include "tests/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace kadex;
using namespace kadex::sim;
using Bytes = std::vector<uint8_t>;

namespace {

struct Rig {
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;

    explicit Rig(BusOptions o = BusOptions::WithControllers(1))
    {
        bus = std::make_shared<SimBus>(o);
        com = std::make_unique<TComForm>(std::make_unique<SimTransport>(bus));
        EXPECT_TRUE(com->OpenPort());
        zb = std::make_unique<TZBCmd>(*com);
    }
    bool identity(Identity& id)
    {
        return zb->GetIdentity(id.w1, id.w2, id.d5, id.type, id.last);
    }
    std::vector<TelegramRecord> received()
    {
        auto r = bus->record();
        bus->clearRecord();
        return r;
    }
    Fault fault(FaultKind kind, int count = 1)
    {
        Fault f;
        f.kind = kind;
        f.count = count;
        return f;
    }
    // Waits until the bus clock has passed t (for answers scheduled in the future).
    void waitBusTime(uint64_t t)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (bus->clock().nowUs() <= t && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
};

bool contains(const std::string& s, const char* part)
{
    return s.find(part) != std::string::npos;
}

} // namespace

TEST(SimFaults, OneCorruptedAnswerSucceedsOnTheSecondAttempt)
{
    Rig rig;
    rig.bus->addFault(1, rig.fault(FaultKind::Corrupt));
    Identity id;
    ASSERT_TRUE(rig.identity(id));
    EXPECT_EQ(id, rig.bus->identity(1));

    const auto rec = rig.received();
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_EQ(rec[0].bytes, rec[1].bytes);  // the same request went out again
    EXPECT_TRUE(contains(rec[0].note, "corrupt")) << rec[0].describe();
    ASSERT_EQ(rec[0].answer.size(), rec[1].answer.size());
    int differing = 0;
    for (size_t i = 0; i < rec[0].answer.size(); ++i)
        differing += rec[0].answer[i] != rec[1].answer[i];
    EXPECT_EQ(differing, 1);
    EXPECT_TRUE(zb::ChecksValid(rec[1].answer.data(), rec[1].answer.size()));
}

TEST(SimFaults, ThreeLostAnswersFailTheTransactionAndTheNextOneWorks)
{
    Rig rig;
    rig.bus->addFault(1, rig.fault(FaultKind::NoAnswer, 3));
    uint8_t mode = 0xEE, old = 0xEE;
    EXPECT_FALSE(rig.zb->GetMode(mode, old));
    auto rec = rig.received();
    ASSERT_EQ(rec.size(), 3u);
    for (const auto& r : rec) {
        EXPECT_EQ(r.bytes, zb::Frame(zb::PatternPP, {0x4B}));
        EXPECT_EQ(r.outcome, TelegramRecord::Outcome::Silent);
        EXPECT_TRUE(contains(r.note, "noanswer")) << r.describe();
    }
    EXPECT_TRUE(rig.zb->GetMode(mode, old));
    // The same telegram again: no line check needed.
    EXPECT_EQ(rig.received().size(), 1u);
}

TEST(SimFaults, BadAnswersAreRetriedUntilTheAttemptsRunOut)
{
    Rig rig;
    struct Case {
        FaultKind kind;
        int count;
        bool ok;
        size_t telegrams;
    };
    for (const Case c : {Case{FaultKind::ErrorBit, 1, true, 2}, Case{FaultKind::BadCheck, 1, true, 2},
                         Case{FaultKind::Surplus, 1, true, 2}, Case{FaultKind::NoAnswer, 2, true, 3},
                         Case{FaultKind::ErrorBit, 3, false, 3}, Case{FaultKind::Corrupt, 3, false, 3}}) {
        SCOPED_TRACE(FaultName(c.kind) + std::string(" x") + std::to_string(c.count));
        rig.bus->addFault(1, rig.fault(c.kind, c.count));
        Identity id;
        EXPECT_EQ(rig.identity(id), c.ok);
        const auto rec = rig.received();
        EXPECT_EQ(rec.size(), c.telegrams);
        if (!rec.empty() && c.kind == FaultKind::ErrorBit) {
            // bit 7 with valid check bytes: only the flag makes the answer bad
            EXPECT_EQ(rec[0].answer[0] & 0x80, 0x80);
            EXPECT_TRUE(zb::ChecksValid(rec[0].answer.data(), rec[0].answer.size()));
        }
        if (!rec.empty() && c.kind == FaultKind::Surplus) {
            EXPECT_EQ(rec[0].answer.size(), 12u);
        }
    }
}

TEST(SimFaults, SplitAnswerIsAssembledAndShortDelayIsWaitedFor)
{
    Rig rig;
    Fault split = rig.fault(FaultKind::Split);
    split.pieceBytes = 2;
    split.pauseMs = 30;
    rig.bus->addFault(1, split);
    Identity id;
    ASSERT_TRUE(rig.identity(id));
    auto rec = rig.received();
    ASSERT_EQ(rec.size(), 1u);
    EXPECT_EQ(rec[0].answerEndUs - rec[0].answerStartUs, 4 * 30000u);  // five pieces

    Fault delay = rig.fault(FaultKind::Delay);
    delay.delayMs = 300;
    rig.bus->addFault(1, delay);
    ASSERT_TRUE(rig.identity(id));
    rec = rig.received();
    ASSERT_EQ(rec.size(), 1u);
    EXPECT_EQ(rec[0].answerStartUs - rec[0].endUs, 300000u);
}

TEST(SimFaults, AnswerLaterThanTheTimeoutCountsAsLost)
{
    Rig rig;
    Fault delay = rig.fault(FaultKind::Delay);
    delay.delayMs = 1200; // well beyond the retry (850 ms), also for a loaded machine
    delay.outOfOrder = true;
    rig.bus->addFault(1, delay);
    Identity id;
    ASSERT_TRUE(rig.identity(id));
    const auto rec = rig.received();
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_EQ(rec[0].answerStartUs - rec[0].endUs, 1200000u);
    EXPECT_GT(rec[1].startUs - rec[0].endUs, 700000u);  // the retry came after the timeout
    EXPECT_LT(rec[1].startUs, rec[0].answerStartUs);    // and before the late answer

    // The late answer arrives while the link is idle and does not spoil what follows.
    rig.waitBusTime(rec[0].answerEndUs);
    // Not only due but handed to the tool.
    ASSERT_TRUE(kadex::test::waitFor([&] { return rig.bus->nextDueUs() == UINT64_MAX; }, 10000));
    uint8_t mode, old;
    EXPECT_TRUE(rig.zb->GetMode(mode, old));
    // A line check came first: the identity's first attempt had failed.
    const auto after = rig.received();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].command(), 0x01);
    EXPECT_EQ(after[1].command(), 0x4B);
}

TEST(SimFaults, RemovedControllerIsGoneAndReturnsInItsPowerUpState)
{
    Rig rig(BusOptions::WithControllers(2));
    rig.zb->SetAdrIndex(2);
    ASSERT_TRUE(rig.zb->SetOverride(ModeOpen));
    ASSERT_TRUE(rig.zb->WriteText16(0x0080, QStringLiteral("Flur")));
    rig.bus->removeController(2);
    Identity id;
    EXPECT_FALSE(rig.identity(id));
    rig.received();

    rig.bus->insertController(2);
    ASSERT_TRUE(rig.identity(id));
    EXPECT_EQ(id, rig.bus->identity(2));
    EXPECT_EQ(rig.bus->mode(2), ModeAuto);  // volatile state is gone
    QString text;
    ASSERT_TRUE(rig.zb->ReadText16(0x0080, text));
    EXPECT_EQ(text.trimmed(), QStringLiteral("Flur"));  // memory is not
}

TEST(SimFaults, ReplacedControllerAnswersWithItsOwnIdentity)
{
    Rig rig;
    ASSERT_TRUE(rig.zb->WriteText16(0x0080, QStringLiteral("Flur")));
    rig.bus->replaceController(1, Identity{1502, 30042, 0, 3, 7});
    QString text, typeText;
    uint32_t key = 0;
    uint8_t type = 0;
    ASSERT_TRUE(rig.zb->GetIdentityText(text, typeText, key, type));
    EXPECT_EQ(text, QStringLiteral("01502-30042-003-007"));
    EXPECT_EQ(key, zb::DeviceKey(1502, 30042, 0, 3, 7));
    ASSERT_TRUE(rig.zb->ReadText16(0x0080, text));
    EXPECT_EQ(text.trimmed(), QStringLiteral("Positionstext"));
}

TEST(SimFaults, HangUpIsReportedOnceAndWritesFailUntilReopened)
{
    Rig rig;
    std::atomic<int> lost{0};
    rig.com->SetLinkLostHandler([&](const QString& why) {
        EXPECT_FALSE(why.isEmpty());
        ++lost;
    });
    rig.bus->hangUp();
    EXPECT_EQ(lost.load(), 1);
    EXPECT_TRUE(rig.com->WriteError());
    EXPECT_FALSE(rig.com->PortOpen());
    Identity id;
    EXPECT_FALSE(rig.identity(id));
    EXPECT_TRUE(rig.received().empty());  // nothing reached the controller
    rig.com->ClosePort();
    EXPECT_FALSE(rig.com->OpenPort());    // the port is gone

    rig.bus->restoreLink();
    ASSERT_TRUE(rig.com->OpenPort());
    EXPECT_TRUE(rig.identity(id));

    // The same as a fault: the port hangs up instead of the answer.
    rig.bus->addFault(1, rig.fault(FaultKind::HangUp));
    EXPECT_FALSE(rig.identity(id));
    EXPECT_EQ(lost.load(), 2);
    const auto rec = rig.received();
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_TRUE(contains(rec[1].note, "hangup")) << rec[1].describe();
}

TEST(SimFaults, FaultsAtARateFollowTheSeed)
{
    auto run = [](uint64_t seed) {
        BusOptions o = BusOptions::WithControllers(1);
        o.seed = seed;
        Rig rig(o);
        Fault f;
        f.kind = FaultKind::Corrupt;
        f.count = 0;
        f.rate = 0.3;
        rig.bus->addFault(1, f);
        rig.zb->Attempts = 1;  // one telegram per command, so that the runs stay aligned
        rig.zb->GuardMs = 0;   // and no quiet guard after a bad answer: this is about the seed
        std::vector<bool> faulted;
        uint8_t mode, old;
        for (int i = 0; i < 40; ++i)
            faulted.push_back(!rig.zb->GetMode(mode, old));
        int marked = 0;
        for (const auto& r : rig.bus->record())
            marked += contains(r.note, "corrupt");
        EXPECT_EQ(marked, std::count(faulted.begin(), faulted.end(), true));
        return faulted;
    };
    const auto a = run(7);
    EXPECT_EQ(run(7), a);
    EXPECT_NE(run(8), a);
    const auto n = std::count(a.begin(), a.end(), true);
    EXPECT_GT(n, 2);
    EXPECT_LT(n, 25);
}

TEST(SimFaults, WireTimingKeepsTheToolsTelegramsInSequence)
{
    Rig rig(BusOptions::WithControllers(2));
    rig.bus->setWireTiming(true, 9600, 3000);
    rig.zb->SetAdrIndex(1);
    uint8_t mode, old;
    Identity id;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(rig.zb->GetMode(mode, old));
        ASSERT_TRUE(rig.identity(id));
    }
    const auto rec = rig.bus->record();
    ASSERT_EQ(rec.size(), 10u);
    for (const auto& r : rec) {
        EXPECT_GE(r.answerStartUs, r.endUs + 3000);
        EXPECT_EQ(r.answerEndUs - r.answerStartUs, r.answer.size() * rig.bus->byteTimeUs());
    }
    const auto check = rig.bus->checkSequential();
    EXPECT_TRUE(check.ok) << check.detail;
}

// Noise: random bytes that answer nothing, after the telegram within the given time or, now and
// then, ahead of its echo. Checked on virtual time with a link that records what reaches the PC.
TEST(SimFaults, NoiseReachesThePcAnsweringNothing)
{
    struct Capture final : IBusLink {
        std::vector<std::pair<uint64_t, Bytes>> got;
        ManualClock* clock = nullptr;
        void fromBus(const uint8_t* d, size_t n) override { got.emplace_back(clock->nowUs(), Bytes(d, d + n)); }
        void linkLost(const std::string&) override {}
    };
    auto clock = std::make_shared<ManualClock>();
    BusOptions o = BusOptions::WithControllers(1);
    o.clock = clock;
    o.deliveryThread = false;
    SimBus bus(o);
    auto pc = std::make_shared<Capture>();
    pc->clock = clock.get();
    std::string why;
    ASSERT_TRUE(bus.attach(pc, why));
    SimConsole console(std::shared_ptr<SimBus>(&bus, [](SimBus*) {}));
    ASSERT_EQ(console.execute("fault 1 noise 40 4 200"), "OK fault noise on 1");
    EXPECT_EQ(console.execute("fault 1 noise 1 65").rfind("OK", 0), 0u);  // bytes capped at 64
    bus.clearFaults(1);
    ASSERT_EQ(console.execute("fault 1 noise 40 4 200"), "OK fault noise on 1");

    const Bytes tel = zb::Frame(zb::PatternPP, {0x4B});
    int ahead = 0, after = 0;
    for (int i = 0; i < 40; ++i) {
        pc->got.clear();
        const uint64_t t0 = clock->nowUs();
        ASSERT_TRUE(bus.fromPc(pc.get(), tel.data(), tel.size(), false));
        while (bus.nextDueUs() != UINT64_MAX) {
            clock->advanceUs(bus.nextDueUs() - clock->nowUs());
            bus.deliverDue();
        }
        // Echo, answer and one noise chunk of 1..4 bytes, in one of two orders.
        ASSERT_EQ(pc->got.size(), 3u);
        const bool first = pc->got[0].second != tel;
        const auto& noise = first ? pc->got[0] : pc->got[2];
        EXPECT_EQ(pc->got[first ? 1 : 0].second, tel);
        EXPECT_EQ(pc->got[first ? 2 : 1].second[0] & 0x70, 0x20);  // the answer: two data bytes
        EXPECT_GE(noise.second.size(), 1u);
        EXPECT_LE(noise.second.size(), 4u);
        EXPECT_LE(noise.first - t0, 200000u);
        (first ? ahead : after)++;
        clock->advanceMs(100);  // a silence between telegrams
    }
    EXPECT_GT(ahead, 0);
    EXPECT_GT(after, ahead);
    const auto rec = bus.record();
    EXPECT_TRUE(std::all_of(rec.begin(), rec.end(), [](const TelegramRecord& r) { return contains(r.note, "noise"); }));
}

// A late controller is busy: it answers the next telegram after its late answer, in order, and
// misses one more sent meanwhile; the out-of-order option answers both at once.
TEST(SimFaults, ABusyControllerAnswersInOrderAndMissesWhatItCannotHold)
{
    struct Collect final : IBusLink {
        void fromBus(const uint8_t*, size_t) override {}
        void linkLost(const std::string&) override {}
    };
    for (const bool outOfOrder : {false, true}) {
        SCOPED_TRACE(outOfOrder ? "out of order" : "in order");
        auto clock = std::make_shared<ManualClock>();
        BusOptions o = BusOptions::WithControllers(1);
        o.clock = clock;
        o.deliveryThread = false;
        SimBus bus(o);
        auto link = std::make_shared<Collect>();
        std::string error;
        ASSERT_TRUE(bus.attach(link, error));
        Fault f;
        f.kind = FaultKind::Delay;
        f.delayMs = 500;
        f.outOfOrder = outOfOrder;
        bus.addFault(1, f);
        for (const uint8_t cmd : {0x4B, 0x32, 0x14}) {
            const Bytes t = zb::Frame(0x01, {cmd});
            ASSERT_TRUE(bus.fromPc(link.get(), t.data(), t.size(), false));
            clock->advanceUs(100000);
            bus.deliverDue();
        }
        const auto rec = bus.record();
        ASSERT_EQ(rec.size(), 3u);
        EXPECT_EQ(rec[0].answerStartUs - rec[0].endUs, 500000u);
        if (outOfOrder) {
            EXPECT_LT(rec[1].answerStartUs, rec[0].answerStartUs);
            EXPECT_TRUE(rec[2].answered());
        } else {
            EXPECT_GE(rec[1].answerStartUs, rec[0].answerEndUs);
            EXPECT_FALSE(rec[2].answered());
            EXPECT_TRUE(contains(rec[2].note, "missed")) << rec[2].describe();
        }
    }
    // The console takes the option.
    Fault parsed;
    std::string error;
    ASSERT_TRUE(ParseFault({"1", "delay", "@0.06", "600", "1400", "--out-of-order"}, 1, parsed, error)) << error;
    EXPECT_TRUE(parsed.outOfOrder);
    EXPECT_EQ(parsed.delayMaxMs, 1400u);
    ASSERT_TRUE(ParseFault({"1", "delay", "2"}, 1, parsed = Fault{}, error));
    EXPECT_FALSE(parsed.outOfOrder);
}
