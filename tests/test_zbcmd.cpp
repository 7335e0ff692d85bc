// Telegram framing, the transaction (timeout, retries, echo, assembly) and the command set,
// against a scripted link with a hand-driven clock.
#include "QtPrinters.h"
#include "ScriptedLink.h"
#include "comm/ComForm.h"
#include "comm/ComPortEnumerator.h"
#include "comm/ZBCmd.h"
#include "common/Helpers.h"
#include "core/PortOpenText.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kadex;
using kadex::test::FakeClock;
using kadex::test::ScriptedLink;
using Bytes = std::vector<uint8_t>;

namespace {

struct RecordingSink : ITransferSink {
    bool on = true;
    QStringList lines;
    bool TransferOn() const override { return on; }
    void AddTransferLine(const QString& l) override { lines << l; }
};

class Transaction : public ::testing::Test {
protected:
    FakeClock clock;
    ScriptedLink* link = nullptr;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;
    RecordingSink sink;

    void SetUp() override
    {
        zb.reset();
        com.reset();
        clock.events.clear(); // nothing scheduled for a link that has gone
        auto l = std::make_unique<ScriptedLink>(clock);
        link = l.get();
        com = std::make_unique<TComForm>(std::move(l));
        ASSERT_TRUE(com->OpenPort());
        zb = std::make_unique<TZBCmd>(*com, &clock);
        zb->SetTransferSink(&sink);
    }
    // Every telegram is answered with the given frames (one per attempt; the last repeats).
    void answerWith(std::vector<Bytes> frames, uint32_t delay = 5)
    {
        link->onWrite = [this, frames, delay](const Bytes&, int n) {
            const Bytes& f = frames[std::min<size_t>(n - 1, frames.size() - 1)];
            if (!f.empty())
                link->Reply(delay, f);
        };
    }
    Bytes tx() const { return Bytes(zb->TxData(), zb->TxData() + zb->TxLength()); }
};

} // namespace

TEST(Framing, WorkedExamples)
{
    EXPECT_EQ(zb::Frame(0x01, {0x4B}), (Bytes{0x11, 0x4B, 0x00, 0x5A}));
    EXPECT_EQ(zb::Frame(0x00, {0x01, 0x00, 0x18, 0x04}), (Bytes{0x40, 0x01, 0x00, 0x18, 0x04, 0x98, 0xC5}));
    EXPECT_EQ(zb::Frame(0x81, {0x32}), (Bytes{0x91, 0x32, 0xC0, 0x63}));
    EXPECT_EQ(ScriptedLink::Answer({0x00, 0x00}), (Bytes{0x20, 0x00, 0x00, 0x20, 0x00}));
    EXPECT_EQ(zb::Frame(0x08, {0x32}), (Bytes{0x18, 0x32, 0x80, 0xAA}));
}

TEST(Framing, CheckBytesAndPatterns)
{
    // Check byte A keeps only the parities of the last eight bytes.
    const uint8_t nine[9] = {0x01, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(zb::CheckA(nine, 9), 0x00);
    EXPECT_EQ(zb::CheckA(nine, 8), 0x01);
    EXPECT_EQ(zb::CheckB(nine, 9), 0x01);
    const uint8_t patterns[9] = {0x01, 0x00, 0x04, 0x08, 0x0C, 0x80, 0x84, 0x88, 0x8C};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(zb::AddressPattern(i), patterns[i]);
        EXPECT_EQ(zb::AddressIndexOfPattern(patterns[i]), i);
    }
    EXPECT_EQ(zb::AddressPattern(9), 0x01);
    EXPECT_EQ(zb::AddressPattern(-1), 0x01);
    EXPECT_EQ(zb::AddressName(0x02), nullptr);
}

TEST_F(Transaction, HeaderModesAndLongestRequest)
{
    zb->SetAdrIndex(2);
    const uint8_t body[7] = {0x3D, 0x03, 0xE8, 0x13, 0x88, 0x27, 0x10};
    zb->BuildRequest(body, 7);
    Bytes expect{0x74, 0x3D, 0x03, 0xE8, 0x13, 0x88, 0x27, 0x10};
    zb::AppendChecks(expect);
    EXPECT_EQ(tx(), expect);
    EXPECT_EQ(zb::LengthField(zb->TxData()[0]), 7);
    zb->HeaderMode = 1;
    EXPECT_EQ(zb->BuildHeader(1), 0x19);
    zb->HeaderMode = 2;
    EXPECT_EQ(zb->BuildHeader(1), 0x91);
    zb->HeaderMode = 7;
    EXPECT_EQ(zb->BuildHeader(1), 0x19);
}

TEST_F(Transaction, TimeoutBoundaryIsStrictlyGreater)
{
    answerWith({ScriptedLink::Answer({0x00, 0x00})}, 700);
    uint8_t mode = 9, old = 9;
    EXPECT_TRUE(zb->GetMode(mode, old));
    EXPECT_EQ(link->written.size(), 1u);

    link->written.clear();
    answerWith({ScriptedLink::Answer({0x00, 0x00})}, 701);
    EXPECT_FALSE(zb->GetMode(mode, old));
    EXPECT_EQ(link->written.size(), 3u);
}

TEST_F(Transaction, SilenceCostsThreeAttemptsWithPauses)
{
    const uint64_t start = clock.now;
    uint8_t mode, old;
    EXPECT_FALSE(zb->GetMode(mode, old));
    EXPECT_EQ(link->written.size(), 3u);
    // Each attempt: 701 ms until the timeout is decided, then the quiet guard (which covers the
    // 20 ms pause).
    EXPECT_EQ(clock.now - start, 3u * (701 + zb->GuardMs));
    const QStringList expected{"<- ZB_Unknown : 11 4B 00 5A ", "-> Timeout", ""};
    ASSERT_EQ(sink.lines.size(), 9);
    EXPECT_EQ(sink.lines.mid(0, 3), expected);
}

TEST_F(Transaction, ErrorBitAnswersAreRetriedThenFail)
{
    answerWith({ScriptedLink::Answer({0x00, 0x00}, 0x80)});
    uint8_t mode, old;
    EXPECT_FALSE(zb->GetMode(mode, old));
    EXPECT_EQ(link->written.size(), 3u);
}

TEST_F(Transaction, BadCheckByteRetriedFromEmptyBuffer)
{
    Bytes bad = ScriptedLink::Answer({0x07, 0x01});
    bad[3] ^= 0x01;
    answerWith({bad, ScriptedLink::Answer({0x07, 0x01})});
    uint8_t mode = 0, old = 0;
    EXPECT_TRUE(zb->GetMode(mode, old));
    EXPECT_EQ(mode, 7);
    EXPECT_EQ(old, 1);
    EXPECT_EQ(link->written.size(), 2u);
    EXPECT_EQ(zb->RxLength(), 5);
}

TEST_F(Transaction, AnswerSplitAcrossNotifications)
{
    link->echo = false;
    link->onWrite = [this](const Bytes& t, int) {
        Bytes all = t;
        Bytes a = ScriptedLink::Answer({0x00, 0x05});
        all.insert(all.end(), a.begin(), a.end());
        // echo in two pieces, then the answer byte by byte
        link->Reply(1, Bytes(all.begin(), all.begin() + 2));
        for (size_t i = 2; i < all.size(); ++i)
            link->Reply(static_cast<uint32_t>(i * 3), Bytes{all[i]});
    };
    uint8_t mode = 0, old = 0;
    EXPECT_TRUE(zb->GetMode(mode, old));
    EXPECT_EQ(old, 5);
    EXPECT_EQ(link->written.size(), 1u);
}

TEST_F(Transaction, SurplusBytesInSameNotificationFailTheCheck)
{
    Bytes withSurplus = ScriptedLink::Answer({0x00, 0x00});
    withSurplus.push_back(0x55);
    answerWith({withSurplus, ScriptedLink::Answer({0x00, 0x03})});
    uint8_t mode, old;
    EXPECT_TRUE(zb->GetMode(mode, old));
    EXPECT_EQ(old, 3);
    EXPECT_EQ(link->written.size(), 2u);
}

TEST_F(Transaction, LateAnswerNeverJoinsTheRetry)
{
    // The first answer comes after the timeout but before the retry is written.
    link->onWrite = [this](const Bytes&, int n) {
        if (n == 1)
            link->Reply(710, ScriptedLink::Answer({0x00, 0x01}));
        else
            link->Reply(5, ScriptedLink::Answer({0x00, 0x02}));
    };
    uint8_t mode, old = 0;
    EXPECT_TRUE(zb->GetMode(mode, old));
    EXPECT_EQ(old, 2);
    EXPECT_EQ(link->written.size(), 2u);
    EXPECT_GE(link->discards, 2);
}

// One row per rule: what the line does on each attempt, and what the command makes of it.
TEST_F(Transaction, AnswerRulesAndResults)
{
    struct Reply {
        uint32_t delay;
        Bytes bytes;
        bool echoed = true; // the link's own echo comes first
    };
    using Attempt = std::vector<Reply>;
    const Bytes good = ScriptedLink::Answer({0x07, 0x01});
    Bytes badCheck = good;
    badCheck[3] ^= 0x01;
    const Bytes req = zb::Frame(0x01, {0x4B});
    Bytes badEcho = req;
    badEcho[2] ^= 0x40;
    Bytes echoAndGood = badEcho;
    echoAndGood.insert(echoAndGood.end(), good.begin(), good.end());
    struct Case {
        const char* what;
        std::vector<Attempt> attempts; // the last one repeats
        bool ok;
        TxResult result;
        size_t written;
    };
    const std::vector<Case> cases = {
        {"good answer", {{{5, good}}}, true, TxResult::Ok, 1},
        {"silence", {{}}, false, TxResult::Timeout, 3},
        {"bad check, then good", {{{5, badCheck}}, {{5, good}}}, true, TxResult::Ok, 2},
        {"bad check throughout", {{{5, badCheck}}}, false, TxResult::BadCheck, 3},
        {"refused", {{{5, ScriptedLink::Answer({}, 0x80)}}}, false, TxResult::DeviceRefused, 3},
        {"altered echo, then good", {{{1, echoAndGood, false}}, {{5, good}}}, true, TxResult::Ok, 2},
        {"altered echo throughout", {{{1, echoAndGood, false}}}, false, TxResult::EchoMismatch, 3},
        {"answer too long", {{{5, ScriptedLink::Answer({0x07, 0x01, 0x00})}}}, false, TxResult::WrongLength, 3},
        {"answer too short", {{{5, ScriptedLink::Answer({0x07})}}}, false, TxResult::WrongLength, 3},
        {"no data at all", {{{5, ScriptedLink::Answer({})}}}, false, TxResult::WrongLength, 3},
        {"surplus with the answer", {{{5, [&] { Bytes b = good; b.push_back(0x55); return b; }()}}, {{5, good}}},
         true, TxResult::Ok, 2},
        {"surplus before collection", {{{5, good}, {5, {0x55}}}, {{5, good}}}, true, TxResult::Ok, 2},
        {"surplus during the pause", {{{5, good}, {15, {0xAA, 0x55}}}, {{5, good}}}, true, TxResult::Ok, 2},
        {"surplus during the pause throughout", {{{5, good}, {15, {0xAA}}}}, false, TxResult::WrongLength, 3},
        {"answer at exactly the timeout", {{{700, good}}}, true, TxResult::Ok, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp(); // a fresh line: a failed row owes a line check
        clock.events.clear();
        const auto attempts = c.attempts;
        auto at = [attempts](size_t i) -> const Attempt& { return attempts[std::min(i, attempts.size() - 1)]; };
        // The link's own echo is delivered inside write(), so whether the next write is echoed
        // is set beforehand; a row without it sends the (altered) echo itself.
        auto echoed = [](const Attempt& a) { return a.empty() || a.front().echoed; };
        link->echo = echoed(at(0));
        link->onWrite = [this, at, echoed](const Bytes&, int n) {
            for (const Reply& r : at(static_cast<size_t>(n - 1)))
                link->Reply(r.delay, r.bytes); // delays count from the write
            link->echo = echoed(at(static_cast<size_t>(n)));
        };
        uint8_t mode = 0, old = 0;
        EXPECT_EQ(zb->GetMode(mode, old), c.ok);
        EXPECT_EQ(zb->LastResult(), c.result) << TxResultText(zb->LastResult()).toStdString();
        EXPECT_EQ(link->written.size(), c.written);
        if (c.ok) {
            EXPECT_EQ(mode, 7);
            EXPECT_EQ(old, 1);
        }
        link->echo = true;
        clock.advanceTo(clock.now + 2000); // let every scheduled byte pass before the next row
    }
}

// Each command accepts exactly the answer length of its layout; one data byte more or less is
// refused on every attempt.
TEST_F(Transaction, EveryCommandTakesExactlyItsAnswerLength)
{
    uint16_t u1, u2, u3;
    uint8_t b1, b2;
    uint8_t mem[7];
    const uint8_t data[4] = {1, 2, 3, 4};
    struct Case {
        ZbCommand cmd;
        int dataBytes; // from the answer layout
        std::function<bool()> call;
    };
    const std::vector<Case> cases = {
        {ZbCommand::WriteMem, 0, [&] { return zb->WriteMem(0x80, data, 4); }},
        {ZbCommand::SetW1Range, 0, [&] { return zb->SetW1Range(0, 10000); }},
        {ZbCommand::GetW1Range, 4, [&] { return zb->GetW1Range(u1, u2); }},
        {ZbCommand::GetBusAddress, 1, [&] { return zb->GetBusAddress(b1); }},
        {ZbCommand::SetOverride, 0, [&] { return zb->SetOverride(1); }},
        {ZbCommand::GetConfigInfo, 7, [&] { uint16_t id; return zb->GetConfigInfo(b1, u1, u2, id); }},
        {ZbCommand::SetU5Range, 0, [&] { return zb->SetU5Range(0, 10000); }},
        {ZbCommand::GetFirmware, 6, [&] { return zb->GetFirmware(u1, u2, u3); }},
        {ZbCommand::GetU5Range, 4, [&] { return zb->GetU5Range(u1, u2); }},
        {ZbCommand::GetAlarms, 1, [&] { return zb->GetAlarms(b1); }},
        {ZbCommand::GetFlowLimits, 6, [&] { return zb->GetFlowLimits(u1, u2, u3); }},
        {ZbCommand::SetSetpoint, 0, [&] { return zb->SetSetpoint(5000); }},
        {ZbCommand::SetAddressBySerial, 0, [&] { return zb->SetAddressBySerial(812, 4711, 1, 0x04); }},
        {ZbCommand::GetSetpoint, 4, [&] { return zb->GetSetpoint(u1, u2); }},
        {ZbCommand::GetIdentity, 7, [&] { uint8_t t, l; return zb->GetIdentity(u1, u2, b1, t, l); }},
        {ZbCommand::GetActualValue, 4, [&] { return zb->GetActualValue(u1, u2); }},
        {ZbCommand::GetVLevels, 6, [&] { return zb->GetVLevels(u1, u2, u3); }},
        {ZbCommand::Lock, 0, [&] { zb->Lock(); return zb->LastResult() == TxResult::Ok; }},
        {ZbCommand::SetVLevels, 0, [&] { return zb->SetVLevels(1000, 5000, 10000); }},
        {ZbCommand::GetTextAddresses, 6, [&] { return zb->GetTextAddresses(u1, u2, u3); }},
        {ZbCommand::GetMode, 2, [&] { return zb->GetMode(b1, b2); }},
        {ZbCommand::Unlock, 0, [&] { return zb->Unlock(1); }},
        {ZbCommand::ReadMem, 3, [&] { return zb->ReadMem(0x10, 3, mem); }},
        {ZbCommand::ReadMem, 7, [&] { return zb->ReadMem(0x10, 7, mem); }},
    };
    for (const Case& c : cases) {
        for (int d : {-1, 0, 1}) {
            const int m = c.dataBytes + d;
            if (m < 0 || m > 7)
                continue;
            SetUp(); // a fresh line: a failed case owes a line check
            zb->Rules.plausibility = false; // 0x11 bytes are no firmware version
            answerWith({ScriptedLink::Answer(Bytes(static_cast<size_t>(m), 0x11))});
            const auto what = [&] { return "command 0x" + QString::number(int(c.cmd), 16).toStdString() + " answered with "
                                       + std::to_string(m) + " data bytes"; };
            EXPECT_EQ(c.call(), d == 0) << what();
            ASSERT_FALSE(link->written.empty());
            EXPECT_EQ(link->written[0][1], static_cast<uint8_t>(c.cmd));
            EXPECT_EQ(link->written.size(), d == 0 ? 1u : 3u) << what();
            if (d != 0) {
                EXPECT_EQ(zb->LastResult(), TxResult::WrongLength) << what();
            }
        }
    }
}

// A controller that answers after the timeout, or after noise made the attempt fail early, is
// heard out before anything else is sent: its answer, as long as the next command's and with
// valid check bytes, never becomes that command's answer.
TEST_F(Transaction, LateAnswerOfTheSameLengthIsDiscardedInTheGuardTime)
{
    const Bytes late = ScriptedLink::Answer({0xDE, 0xAD});
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, Bytes>> perAttempt; // besides the late answer at +800
        uint64_t retryAfter;
    };
    const std::vector<Case> cases = {
        {"timed out", {}, 800 + 150},
        {"noise made it fail early", {{60, {0x86, 0x22, 0x1B}}}, 800 + 150},
        {"echo spoilt", {{0, {0x00}}}, 800 + 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink.lines.clear();
        std::vector<uint64_t> writtenAt;
        link->onWrite = [&](const Bytes& t, int) {
            writtenAt.push_back(clock.now);
            const uint16_t addr = static_cast<uint16_t>((t[2] << 8) | t[3]);
            if (addr == 0x0100) { // every attempt is answered 800 ms late
                for (const auto& [delay, bytes] : c.perAttempt)
                    link->Reply(delay, bytes);
                link->Reply(800, late);
            } else if (addr == 0x0000) { // the line check after the failure
                link->Reply(5, ScriptedLink::Answer(Bytes(t[4], 0x55)));
            } else { // the next read is answered after 100 ms, with its own bytes
                link->Reply(100, ScriptedLink::Answer({0x12, 0x34}));
            }
        };
        uint8_t out[2] = {};
        EXPECT_FALSE(zb->ReadMem(0x0100, 2, out));
        ASSERT_EQ(writtenAt.size(), 3u);
        // Each retry waited for the late answer and 150 ms of silence after it.
        EXPECT_EQ(writtenAt[1] - writtenAt[0], c.retryAfter);
        EXPECT_EQ(writtenAt[2] - writtenAt[1], c.retryAfter);
        const QStringList discarded = sink.lines.filter("-> Discarded: ");
        ASSERT_EQ(discarded.size(), 3);
        EXPECT_TRUE(discarded[0].endsWith(HexBytes(late.data(), late.size())));

        EXPECT_TRUE(zb->ReadMem(0x0200, 2, out));
        EXPECT_EQ(out[0], 0x12);
        EXPECT_EQ(out[1], 0x34);
        EXPECT_EQ(zb->LastResult(), TxResult::Ok);
    }
}

TEST_F(Transaction, NoiseInTheGuardTimeIsDiscardedAndTraced)
{
    struct Case {
        const char* what;
        std::vector<uint32_t> noiseAfterWrite; // one byte 0x5A each, for the first attempt
        uint64_t retryAfter;                   // when the second telegram goes out
        bool notQuiet;
    };
    const std::vector<Case> cases = {
        {"quiet line", {}, 701 + 150, false},
        {"one burst", {760}, 760 + 150, false},
        {"bursts that keep the guard open", {710, 800, 900, 1000}, 1000 + 150, false},
        // noise every 100 ms never leaves 150 ms of silence: the guard gives up after 1000 ms
        {"endless noise", [] { std::vector<uint32_t> v; for (uint32_t t = 750; t < 3000; t += 100) v.push_back(t); return v; }(),
         701 + 1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clock.events.clear();
        sink.lines.clear();
        std::vector<uint64_t> writtenAt;
        link->onWrite = [&](const Bytes&, int n) {
            writtenAt.push_back(clock.now);
            if (n == 1)
                for (uint32_t t : c.noiseAfterWrite)
                    link->Reply(t, {0x5A});
            else
                link->Reply(5, ScriptedLink::Answer({0x00, 0x00}));
        };
        link->written.clear();
        uint8_t mode, old;
        EXPECT_TRUE(zb->GetMode(mode, old));
        ASSERT_EQ(writtenAt.size(), 2u);
        EXPECT_EQ(writtenAt[1] - writtenAt[0], c.retryAfter);
        const QStringList discarded = sink.lines.filter("-> Discarded:");
        if (c.noiseAfterWrite.empty()) {
            EXPECT_TRUE(discarded.isEmpty());
        } else {
            ASSERT_EQ(discarded.size(), 1);
            EXPECT_TRUE(discarded[0].startsWith("-> Discarded: 5A "));
        }
        EXPECT_EQ(sink.lines.filter("-> Line not quiet").size(), c.notQuiet ? 1 : 0);
        clock.advanceTo(clock.now + 5000);
        link->onWrite = nullptr;
        com->TakeStray();
    }
}

TEST_F(Transaction, StrayBytesBetweenTransactionsAreDroppedBeforeTheNextTelegram)
{
    answerWith({ScriptedLink::Answer({0x03, 0x00})});
    uint8_t mode = 0, old = 0;
    ASSERT_TRUE(zb->GetMode(mode, old));
    // A late answer of the same length turns up while nothing is asked.
    link->Deliver(ScriptedLink::Answer({0x09, 0x09}));
    answerWith({ScriptedLink::Answer({0x04, 0x00})}, 300);
    sink.lines.clear();
    ASSERT_TRUE(zb->GetMode(mode, old));
    EXPECT_EQ(mode, 4);
    ASSERT_GE(sink.lines.size(), 2);
    const Bytes late = ScriptedLink::Answer({0x09, 0x09});
    EXPECT_EQ(sink.lines[0], "-> Discarded: " + HexBytes(late.data(), late.size()));
    EXPECT_TRUE(sink.lines[1].startsWith("<- "));
}

TEST_F(Transaction, ResultsOfTransactionsThatSendNothing)
{
    uint8_t out[8];
    EXPECT_FALSE(zb->ReadMem(0, 8, out));
    EXPECT_EQ(zb->LastResult(), TxResult::InvalidRequest);
    link->failWrites = true;
    EXPECT_FALSE(zb->ReadMem(0, 2, out));
    EXPECT_EQ(zb->LastResult(), TxResult::LinkLost);
    link->failWrites = false;
    zb->SetClosing(true);
    EXPECT_FALSE(zb->ReadMem(0, 2, out));
    EXPECT_EQ(zb->LastResult(), TxResult::Closing);
    // Every reason has its own text.
    QStringList texts;
    for (TxResult r : {TxResult::Ok, TxResult::Timeout, TxResult::BadCheck, TxResult::DeviceRefused,
                       TxResult::WrongLength, TxResult::EchoMismatch, TxResult::LinkLost, TxResult::Closing,
                       TxResult::InvalidRequest, TxResult::OutOfStep, TxResult::Implausible})
        texts << TxResultText(r);
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), 11);
}

TEST_F(Transaction, BroadcastIsWrittenOnceAndWaitsTheTimeout)
{
    zb->HeaderMode = 1;
    const uint64_t start = clock.now;
    EXPECT_TRUE(zb->SetAddressBySerial(812, 4711, 1, 0x04));
    EXPECT_EQ(link->written.size(), 1u);
    EXPECT_EQ(link->written[0][0], 0x79);
    EXPECT_EQ(clock.now - start, 700u);
    ASSERT_EQ(sink.lines.size(), 1);
    EXPECT_TRUE(sink.lines[0].startsWith("<- "));
}

TEST_F(Transaction, WriteFailureIsNotRetried)
{
    link->failWrites = true;
    uint8_t mode, old;
    EXPECT_FALSE(zb->GetMode(mode, old));
    EXPECT_TRUE(com->WriteError());
    EXPECT_EQ(sink.lines.size(), 1); // the "<- " line only
}

TEST_F(Transaction, ClosingSendsNothing)
{
    zb->SetClosing(true);
    uint8_t mode, old;
    EXPECT_FALSE(zb->GetMode(mode, old));
    EXPECT_TRUE(link->written.empty());
    EXPECT_TRUE(sink.lines.isEmpty());
}

TEST_F(Transaction, LostLinkEndsTheWaitAtOnce)
{
    link->onWrite = [this](const Bytes&, int) { link->Lose("Input/output error"); };
    const uint64_t start = clock.now;
    uint8_t mode, old;
    EXPECT_FALSE(zb->GetMode(mode, old));
    EXPECT_TRUE(com->WriteError());
    EXPECT_FALSE(com->PortOpen());
    EXPECT_LT(clock.now - start, 100u);
}

TEST_F(Transaction, TraceUsesCommandNamesAndHexAnswer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ZBCommand.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Null\r\nZB_ReadMem\r\n");
    f.close();
    ASSERT_TRUE(zb->LoadCommandNames(path));
    answerWith({ScriptedLink::Answer({0x41})});
    uint8_t b = 0;
    ASSERT_TRUE(zb->ReadMem(0x0028, 1, &b));
    EXPECT_EQ(b, 0x41);
    ASSERT_EQ(sink.lines.size(), 3);
    Bytes req = zb::Frame(0x01, {0x01, 0x00, 0x28, 0x01});
    EXPECT_EQ(sink.lines[0], "<- ZB_ReadMem : " + HexBytes(req.data(), req.size()));
    EXPECT_TRUE(sink.lines[0].startsWith("<- ZB_ReadMem : 41 01 00 28 01 "));
    EXPECT_EQ(sink.lines[1], "-> 10 41 40 11 ");
    EXPECT_EQ(sink.lines[2], "");

    // Codes beyond the list are unknown; trace off writes nothing.
    uint8_t mode, old;
    zb->GetMode(mode, old);
    EXPECT_TRUE(sink.lines[3].startsWith("<- ZB_Unknown : "));
    sink.on = false;
    sink.lines.clear();
    zb->GetMode(mode, old);
    EXPECT_TRUE(sink.lines.isEmpty());
}

TEST_F(Transaction, ClearedOutputsOnFailureAndKeptOtherwise)
{
    uint16_t a = 1, b = 2, c = 3;
    EXPECT_FALSE(zb->GetFlowLimits(a, b, c));
    EXPECT_EQ(a + b + c, 0);
    a = b = c = 7;
    EXPECT_FALSE(zb->GetVLevels(a, b, c));
    EXPECT_EQ(a + b + c, 0);
    a = b = c = 7;
    EXPECT_FALSE(zb->GetFirmware(a, b, c));
    EXPECT_EQ(a + b + c, 0);
    uint8_t alarms = 5;
    EXPECT_FALSE(zb->GetAlarms(alarms));
    EXPECT_EQ(alarms, 0);
    // Not cleared: identity and mode keep what they had.
    uint16_t w1 = 11, w2 = 12;
    uint8_t d5 = 13, type = 14, last = 15;
    EXPECT_FALSE(zb->GetIdentity(w1, w2, d5, type, last));
    EXPECT_EQ(w1, 11);
    EXPECT_EQ(last, 15);
}

TEST_F(Transaction, ShortAnswerDoesNotFillOutputs)
{
    answerWith({ScriptedLink::Answer({0x01, 0x02})});
    uint16_t a = 0, b = 0, c = 0;
    EXPECT_FALSE(zb->GetFlowLimits(a, b, c));
    EXPECT_EQ(a + b + c, 0);
}

TEST_F(Transaction, CommandRequestsAndDecoding)
{
    struct Case {
        std::function<bool()> call;
        Bytes body;
        Bytes answer;
    };
    uint16_t u1 = 0, u2 = 0, u3 = 0;
    uint8_t b1 = 0, b2 = 0, b3 = 0;
    const std::vector<Case> cases = {
        {[&] { return zb->SetW1Range(2000, 8000); }, {0x03, 0x07, 0xD0, 0x1F, 0x40}, {}},
        {[&] { return zb->GetW1Range(u1, u2) && u1 == 2000 && u2 == 8000; }, {0x06}, {0x07, 0xD0, 0x1F, 0x40}},
        {[&] { return zb->GetBusAddress(b1) && b1 == 0x88; }, {0x0D}, {0x88}},
        {[&] { return zb->SetOverride(10); }, {0x0E, 0x0A}, {}},
        {[&] { uint8_t x; uint16_t y, z, id; return zb->GetConfigInfo(x, y, z, id) && id == 0x1234; },
         {0x12}, {1, 2, 3, 4, 5, 0x12, 0x34}},
        {[&] { return zb->SetU5Range(0, 10000); }, {0x13, 0x00, 0x00, 0x27, 0x10}, {}},
        {[&] { return zb->GetFirmware(u1, u2, u3) && u1 == 0x0308; }, {0x14}, {0x03, 0x08, 0, 0, 0, 0}},
        {[&] { return zb->GetU5Range(u1, u2) && u1 == 500 && u2 == 9500; }, {0x15}, {0x01, 0xF4, 0x25, 0x1C}},
        {[&] { return zb->GetAlarms(b1) && b1 == 0x05; }, {0x1A}, {0x05}},
        {[&] { return zb->GetFlowLimits(u1, u2, u3) && u1 == 250 && u2 == 10000 && u3 == 100; },
         {0x1E}, {0x00, 0xFA, 0x27, 0x10, 0x00, 0x64}},
        {[&] { return zb->SetSetpoint(0xFFFF); }, {0x25, 0xFF, 0xFF}, {}},
        {[&] { return zb->GetSetpoint(u1, u2) && u2 == 10001; }, {0x29}, {0, 0, 0x27, 0x11}},
        {[&] { uint16_t x, y; uint8_t d, t, l; return zb->GetIdentity(x, y, d, t, l) && x == 812 && y == 4711 && d == 9 && t == 3 && l == 1; },
         {0x32}, {0x03, 0x2C, 0x12, 0x67, 0x09, 0x03, 0x01}},
        {[&] { return zb->GetActualValue(u1, u2) && u1 == 4321; }, {0x39}, {0x10, 0xE1, 0, 0}},
        {[&] { return zb->GetVLevels(u1, u2, u3) && u1 == 1000 && u2 == 5000 && u3 == 10000; },
         {0x3B}, {0x03, 0xE8, 0x13, 0x88, 0x27, 0x10}},
        {[&] { return zb->GetTextAddresses(u1, u2, u3) && u1 == 0x70 && u2 == 0x80 && u3 == 0x90; },
         {0x47}, {0, 0x70, 0, 0x80, 0, 0x90}},
        {[&] { return zb->GetMode(b2, b3) && b2 == 3 && b3 == 0; }, {0x4B}, {0x03, 0x00}},
        {[&] { return zb->Unlock(0x12345678); }, {0x4E, 0x12, 0x34, 0x56, 0x78}, {}},
        {[&] { const uint8_t d[4] = {1, 2, 3, 4}; return zb->WriteMem(0x0080, d, 4); },
         {0x02, 0x00, 0x80, 1, 2, 3, 4}, {}},
        {[&] { uint8_t out[7]; return zb->ReadMem(0x0454, 7, out) && out[6] == 7; },
         {0x01, 0x04, 0x54, 0x07}, {1, 2, 3, 4, 5, 6, 7}},
    };
    zb->SetAdrIndex(5); // ZB5
    for (const Case& c : cases) {
        link->written.clear();
        answerWith({ScriptedLink::Answer(c.answer)});
        EXPECT_TRUE(c.call()) << "command 0x" << std::hex << int(c.body[0]);
        ASSERT_EQ(link->written.size(), 1u);
        EXPECT_EQ(link->written[0], zb::Frame(0x80, c.body)) << "command 0x" << std::hex << int(c.body[0]);
    }
    // Requests the wire cannot carry are refused before anything is sent.
    link->written.clear();
    uint8_t big[8];
    EXPECT_FALSE(zb->ReadMem(0, 8, big));
    EXPECT_FALSE(zb->WriteMem(0, big, 5));
    EXPECT_TRUE(link->written.empty());
}

TEST_F(Transaction, DerivedOperations)
{
    QString text = "x";
    answerWith({ScriptedLink::Answer({0x02})});
    EXPECT_TRUE(zb->GetBusAddressText(text));
    EXPECT_TRUE(text.isEmpty());
    answerWith({ScriptedLink::Answer({0x0C})});
    EXPECT_TRUE(zb->GetBusAddressText(text));
    EXPECT_EQ(text, "ZB4");

    answerWith({ScriptedLink::Answer({0x03, 0x2C, 0x12, 0x67, 0x09, 0x03, 0x01})});
    QString id, type;
    uint32_t key = 0;
    uint8_t t = 0;
    EXPECT_TRUE(zb->GetIdentityText(id, type, key, t));
    EXPECT_EQ(id, "00812-04711-003-001");
    EXPECT_EQ(type, "VAV-Reglersystem QV");
    EXPECT_EQ(key, zb::DeviceKey(812, 4711, 9, 3, 1));
    EXPECT_EQ(key, ((812u << 16) | 4711u) ^ ((9u << 24) | (3u << 16) | (1u << 8) | 0x5Au));

    answerWith({ScriptedLink::Answer({0x05})});
    QStringList alarms{"Mechanische Überlast"};
    EXPECT_TRUE(zb->AddAlarmTexts(alarms));
    EXPECT_EQ(alarms, (QStringList{"Mechanische Überlast", "Stop&Go-Ratio zu gross"}));

    link->onWrite = nullptr;
    alarms.clear();
    EXPECT_FALSE(zb->AddAlarmTexts(alarms));
    EXPECT_TRUE(alarms.isEmpty());
    EXPECT_FALSE(zb->GetIdentityText(id, type, key, t));
    EXPECT_TRUE(id.isEmpty());
    EXPECT_TRUE(type.isEmpty());
}

TEST_F(Transaction, Texts)
{
    // Second read of three fails: no text at all.
    link->onWrite = [this](const Bytes&, int n) {
        if (n == 1)
            link->Reply(2, ScriptedLink::Answer({'P', 'o', 's', 'i', 't', 'i'}));
    };
    QString text = "old";
    EXPECT_FALSE(zb->ReadText16(0x0080, text));
    EXPECT_TRUE(text.isEmpty());

    SetUp(); // a fresh line: the failure owes a line check
    link->onWrite = [this](const Bytes& t, int) {
        const uint16_t addr = static_cast<uint16_t>((t[2] << 8) | t[3]);
        const QByteArray src("Positionstext   ");
        const int off = addr - 0x80;
        const int n = t[4];
        Bytes data(src.begin() + off, src.begin() + off + n);
        link->Reply(2, ScriptedLink::Answer(data));
    };
    EXPECT_TRUE(zb->ReadText16(0x0080, text));
    EXPECT_EQ(text, "Positionstext   ");
    ASSERT_EQ(link->written.size(), 3u);
    EXPECT_EQ(link->written[1][3], 0x86);
    EXPECT_EQ(link->written[2][4], 4);

    answerWith({ScriptedLink::Answer({})});
    link->written.clear();
    EXPECT_TRUE(zb->WriteText16(0x0080, "Abc"));
    ASSERT_EQ(link->written.size(), 4u);
    EXPECT_EQ(link->written[0], zb::Frame(0x01, {0x02, 0x00, 0x80, 'A', 'b', 'c', ' '}));
    EXPECT_EQ(link->written[3], zb::Frame(0x01, {0x02, 0x00, 0x8C, ' ', ' ', ' ', ' '}));
    link->written.clear();
    EXPECT_TRUE(zb->WriteText16(0x0080, "ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(link->written[3], zb::Frame(0x01, {0x02, 0x00, 0x8C, 'M', 'N', 'O', 'P'}));
    // A failing write stops the sequence.
    link->written.clear();
    answerWith({ScriptedLink::Answer({}), ScriptedLink::Answer({}, 0x80)});
    EXPECT_FALSE(zb->WriteText16(0x0080, "Abc"));
}

TEST(AnswerAssembly, StreamsAfterATelegram)
{
    using W = TComForm::WaitResult;
    const Bytes tel = zb::Frame(0x01, {0x4B});
    const Bytes ans = ScriptedLink::Answer({0x01, 0x02});
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    Bytes badEcho = tel;
    badEcho[1] ^= 0x10;
    struct Case {
        const char* what;
        std::vector<Bytes> notifications; // an empty entry is a notification with no bytes
        W result;
        bool completeBeforeWait;
    };
    const std::vector<Case> cases = {
        {"echo and answer at once", {cat({tel, ans})}, W::Answer, true},
        {"byte by byte", {Bytes(tel.begin(), tel.begin() + 1), Bytes(tel.begin() + 1, tel.end()), ans}, W::Answer, true},
        {"echo altered", {cat({badEcho, ans})}, W::EchoMismatch, false},
        {"noise before the echo", {cat({{0x55}, tel, ans})}, W::EchoMismatch, false},
        {"echo cut short, answer follows", {cat({Bytes(tel.begin(), tel.end() - 1), ans})}, W::EchoMismatch, false},
        {"surplus in the same notification", {cat({tel, ans, {0x55}})}, W::Surplus, true},
        {"surplus in a later notification", {cat({tel, ans}), {0x55}}, W::Surplus, false},
        // a notification without bytes clears AnswerComplete, so the answer is not taken
        {"empty notification after completion", {cat({tel, ans}), {}}, W::Timeout, false},
        {"answer incomplete", {cat({tel, Bytes(ans.begin(), ans.end() - 1)})}, W::Timeout, false},
        {"300 bytes at once", {cat({tel, Bytes(296, 0x70)})}, W::Surplus, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeClock clock;
        auto l = std::make_unique<ScriptedLink>(clock);
        ScriptedLink* link = l.get();
        TComForm com(std::move(l));
        ASSERT_TRUE(com.OpenPort());
        link->echo = false;
        ASSERT_TRUE(com.WriteTelegram(tel.data(), tel.size()));
        for (const Bytes& n : c.notifications)
            com.ComPort1RxChar(n.data(), n.size());
        EXPECT_EQ(com.Snapshot().answerComplete, c.completeBeforeWait);
        uint8_t buf[256] = {};
        uint8_t len = 0;
        std::atomic<bool> closing{false};
        const W r = com.WaitAnswer(clock, clock.now, 700, closing, buf, len);
        EXPECT_EQ(r, c.result);
        if (r == W::Answer) {
            EXPECT_EQ(Bytes(buf, buf + len), ans);
        }
        // Whatever the outcome, the next telegram starts from an empty receive state.
        EXPECT_FALSE(com.Snapshot().answerComplete);
        EXPECT_EQ(com.Snapshot().writeIndex, 0);
    }
}

TEST(SerialLink, SettingMappings)
{
    EXPECT_EQ(TComForm::MapBaudRate(1000), 1200);
    EXPECT_EQ(TComForm::MapBaudRate(1234), 1200);
    EXPECT_EQ(TComForm::MapBaudRate(38400), 38400);
    EXPECT_EQ(TComForm::MapBaudRate(14400), 14400);
    EXPECT_EQ(TComForm::MapDataBits(7), 7);
    EXPECT_EQ(TComForm::MapDataBits(9), 8);
    EXPECT_EQ(TComForm::MapStopBits(15), 15);
    EXPECT_EQ(TComForm::MapStopBits(20), 20);
    EXPECT_EQ(TComForm::MapStopBits(11), 10);
    EXPECT_EQ(TComForm::DevicePathForNumber(1), "/dev/ttyS0");
}

TEST(SerialLink, OpenAndReopen)
{
    FakeClock clock;
    auto l = std::make_unique<ScriptedLink>(clock);
    ScriptedLink* link = l.get();
    TComForm com(std::move(l));
    com.SetPortNumber(3);
    com.SetBaudRate(1000);
    EXPECT_TRUE(com.OpenPort());
    EXPECT_EQ(link->settings.portName, "/dev/ttyS2");
    EXPECT_EQ(link->settings.baudRate, 1200);
    EXPECT_TRUE(com.OpenPort()); // an open port stays open
    EXPECT_TRUE(com.PortOpen());
    EXPECT_TRUE(com.ClosePort());
    EXPECT_FALSE(com.PortOpen());
    com.SetPortPath("/dev/pts/7");
    EXPECT_TRUE(com.OpenPort());
    EXPECT_EQ(link->settings.portName, "/dev/pts/7");
}

TEST(SerialLink, RealPortThatCannotOpenExplainsWhy)
{
    TComForm com; // the machine's serial port
    com.SetPortPath("/dev/kadex-no-such-port");
    EXPECT_FALSE(com.OpenPort());
    EXPECT_FALSE(com.PortOpen());
    EXPECT_TRUE(PortOpenErrorText(com).startsWith("Kann COM nicht öffnen! (/dev/kadex-no-such-port)"))
        << PortOpenErrorText(com).toStdString();
    EXPECT_GT(PortOpenErrorText(com).indexOf('\n'), 0);
    // Writing to a port that is not open is a write error, not a crash.
    const Bytes t = zb::Frame(1, {0x4B});
    EXPECT_FALSE(com.WriteTelegram(t.data(), t.size()));
    EXPECT_TRUE(com.WriteError());
}

TEST(SerialLink, PortNumbersOfListedNames)
{
    QStringList names{"COM2", "COM10", "COM1"};
    names.sort(Qt::CaseSensitive);
    EXPECT_EQ(names, (QStringList{"COM1", "COM10", "COM2"}));
    EXPECT_EQ(TComPortEnumerator::PortNumberOf("COM1"), 1);
    EXPECT_EQ(TComPortEnumerator::PortNumberOf("COM10"), 10);
    EXPECT_EQ(TComPortEnumerator::PortNumberOf("COM 12 "), 12);
    EXPECT_EQ(TComPortEnumerator::PortNumberOf("/dev/ttyUSB0"), 0);
    // The machine's list is sorted as strings and holds no pseudo-terminals.
    const QStringList ports = TComPortEnumerator::PortNames();
    QStringList sorted = ports;
    sorted.sort(Qt::CaseSensitive);
    EXPECT_EQ(ports, sorted);
    for (const QString& p : ports)
        EXPECT_FALSE(p.startsWith("/dev/pts/"));
}

// A controller that answers in order: the first GetFirmware attempt is answered 1000 ms late,
// the retry after it; that second answer has the length of GetVLevels' answer.
TEST_F(Transaction, AnOwedAnswerNeverPassesForTheNextCommandsAnswer)
{
    const Bytes fw = ScriptedLink::Answer({0x03, 0x08, 0x01, 0x00, 0x01, 0x02});
    const Bytes levels = ScriptedLink::Answer({0x07, 0xD0, 0x13, 0x88, 0x27, 0x10});
    for (const bool probe : {true, false}) {
        SCOPED_TRACE(probe ? "probe" : "no probe");
        SetUp();
        zb->Rules.probeAfterFailure = probe;
        // One processor: each answer comes after the one before it.
        uint64_t busyUntil = 0;
        auto inOrder = [&](uint64_t delay, const Bytes& a) {
            const uint64_t when = std::max(clock.now + delay, busyUntil + 60);
            busyUntil = when;
            link->Reply(static_cast<uint32_t>(when - clock.now), a);
        };
        int fwAttempt = 0;
        link->onWrite = [&](const Bytes& t, int) {
            if (t[1] == 0x14)
                inOrder(++fwAttempt == 1 ? 1000 : 5, fw);
            else if (t[1] == 0x3B)
                inOrder(5, levels);
            else if (t[1] == 0x01) // the probe: as many bytes as asked for
                inOrder(5, ScriptedLink::Answer(Bytes(t[4], 0x55)));
        };
        uint16_t v = 0, w2 = 0, w3 = 0;
        ASSERT_TRUE(zb->GetFirmware(v, w2, w3));
        EXPECT_EQ(v, 0x0308);
        EXPECT_TRUE(zb->ProbeOwed());
        uint16_t a = 0, b = 0, c = 0;
        const bool ok = zb->GetVLevels(a, b, c);
        std::vector<int> codes;
        for (const Bytes& t : link->written)
            codes.push_back(t[1]);
        if (probe) {
            ASSERT_TRUE(ok);
            EXPECT_EQ(std::vector<uint16_t>({a, b, c}), std::vector<uint16_t>({2000, 5000, 10000}));
            // Two probes (the first met the owed answer), then the command.
            EXPECT_EQ(codes, (std::vector<int>{0x14, 0x14, 0x01, 0x01, 0x3B}));
            EXPECT_NE(link->written[2][4], 6); // no probe asks for the owed answer's length
            EXPECT_FALSE(zb->ProbeOwed());
        } else {
            // What the rule is for: the owed firmware answer is taken for the levels.
            EXPECT_TRUE(ok);
            EXPECT_EQ(a, 0x0308);
        }
    }
}

TEST_F(Transaction, ImplausibleAndDoubtfulAnswersAreReadAgain)
{
    struct Case {
        const char* what;
        std::vector<Bytes> answers; // per attempt of the command (probes are answered apart)
        bool ok;
    };
    const Bytes goodFw = ScriptedLink::Answer({0x03, 0x08, 0, 0, 0, 0});
    const Bytes textFw = ScriptedLink::Answer({0x4B, 0x61, 0x20, 0x20, 0x20, 0x20});
    const std::vector<Case> cases = {
        {"firmware that is no version, twice", {textFw, textFw}, false},
        {"firmware that is no version, then a good one", {textFw, goodFw}, true},
        {"a good firmware", {goodFw}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        int n = 0;
        link->onWrite = [&](const Bytes& t, int) {
            if (t[1] == 0x01)
                link->Reply(5, ScriptedLink::Answer(Bytes(t[4], 0x55)));
            else
                link->Reply(5, c.answers[std::min<size_t>(n++, c.answers.size() - 1)]);
        };
        uint16_t v = 0, w2 = 0, w3 = 0;
        EXPECT_EQ(zb->GetFirmware(v, w2, w3), c.ok);
        EXPECT_EQ(v, c.ok ? 0x0308 : 0);
        EXPECT_EQ(zb->LastResult(), c.ok ? TxResult::Ok : TxResult::Implausible);
        // A second reading was preceded by a line check.
        EXPECT_EQ(link->written.size(), c.answers.size() == 1 ? 1u : 3u);
    }

    // Levels above 100 % are refused; V'mid above V'max is taken when it reads the same twice.
    SetUp();
    uint16_t a = 0, b = 0, c = 0;
    link->onWrite = [&](const Bytes& t, int) {
        link->Reply(5, t[1] == 0x01 ? ScriptedLink::Answer(Bytes(t[4], 0x55))
                                    : ScriptedLink::Answer({0x27, 0x11, 0x00, 0x00, 0x00, 0x00}));
    };
    EXPECT_FALSE(zb->GetVLevels(a, b, c));
    link->onWrite = [&](const Bytes& t, int) {
        link->Reply(5, t[1] == 0x01 ? ScriptedLink::Answer(Bytes(t[4], 0x55))
                                    : ScriptedLink::Answer({0x03, 0xE8, 0x13, 0x88, 0x0F, 0xA0}));
    };
    EXPECT_TRUE(zb->GetVLevels(a, b, c));
    EXPECT_EQ(b, 5000);

    // A text with control bytes counts only when a second reading agrees.
    for (const bool steady : {true, false}) {
        SetUp();
        int reads = 0;
        link->onWrite = [&](const Bytes& t, int) {
            if (t[2] == 0 && t[3] == 0)
                return link->Reply(5, ScriptedLink::Answer(Bytes(t[4], 0x55)));
            Bytes d(t[4], 'A');
            if (t[3] == 0x86)
                d[0] = (steady || ++reads == 1) ? 0x1B : 0x07;
            link->Reply(5, ScriptedLink::Answer(d));
        };
        QString text;
        EXPECT_EQ(zb->ReadText16(0x0080, text), steady);
        EXPECT_EQ(text.isEmpty(), !steady);
    }
}

TEST_F(Transaction, TheGuardGrowsWithTheLatenessSeen)
{
    // Every attempt of the read is answered 1500 ms late, with an answer of the wrong length.
    for (const bool learn : {true, false}) {
        SCOPED_TRACE(learn ? "learning" : "not learning");
        SetUp();
        zb->Rules.learnLateness = learn;
        std::vector<uint64_t> at;
        link->onWrite = [&](const Bytes&, int) {
            at.push_back(clock.now);
            link->Reply(1500, ScriptedLink::Answer({0xDE, 0xAD, 0xBE}));
        };
        uint8_t out[2];
        EXPECT_FALSE(zb->ReadMem(0x0010, 2, out));
        ASSERT_EQ(at.size(), 3u);
        // The first retry went out 150 ms after the answer window; the first late answer spoilt
        // it; the next retry waits until the late answer has come and the line is quiet.
        EXPECT_EQ(at[1] - at[0], 701u + 150u);
        EXPECT_EQ(at[2] - at[1], learn ? 1650u : 850u);
        EXPECT_EQ(zb->LearnedLatenessMs(), learn ? 1500u : 0u);
    }
}

TEST_F(Transaction, TheUnlockKeyAndThePasswordNeverShowInTheTrace)
{
    link->onWrite = [&](const Bytes& t, int) {
        link->Reply(5, t[1] == 0x01 ? ScriptedLink::Answer({0x00, 0x00, 0x30, 0x39}) : ScriptedLink::Answer({}));
    };
    uint8_t pw[4];
    ASSERT_TRUE(zb->ReadMem(0x0018, 4, pw));
    ASSERT_TRUE(zb->Unlock(0x00003039));
    // The echo of a spoilt unlock telegram is traced too.
    link->onWrite = [&](const Bytes&, int) { link->Reply(0, {0x00}); };
    zb->Attempts = 1;
    EXPECT_FALSE(zb->Unlock(0x00003039));
    const QString all = sink.lines.join('\n');
    EXPECT_FALSE(all.contains("30 39")) << all.toStdString();
    EXPECT_EQ(sink.lines.filter("<- ZB_Unknown : ").size(), 3);
    EXPECT_GE(all.count("**"), 4 + 4 + 2);
    // The unlock telegram itself went out whole.
    EXPECT_EQ(link->written[1], zb::Frame(0x01, {0x4E, 0x00, 0x00, 0x30, 0x39}));
}
