// Bus addressing, the bus scan and raw telegram templates against a simulated bus of several
// controllers: what each controller holds afterwards (its address code) and what reached the
// bus (the telegram record) decide, not what the tool believes it did.
#include "QtPrinters.h"
#include "comm/ZBCmd.h"
#include "common/TextFile.h"
#include "device/model/WindowFields.h"
#include "core/BusAddressing.h"
#include "core/BusScan.h"
#include "core/RawCommands.h"
#include "core/ZBAdrFlow.h"
#include "core/MainCore.h"
#include "settings/ActionLog.h"
#include "sim/SimBus.h"
#include "sim/SimTransport.h"
#include "tests/WaitFor.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

using namespace kadex;
using sim::SimBus;

namespace {

constexpr uint8_t kSetAddress = 0x26;
constexpr uint8_t kIdentity = 0x32;

class BusService : public ::testing::Test {
protected:
    void make(int controllers)
    {
        bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(controllers));
        com = std::make_unique<TComForm>(std::make_unique<sim::SimTransport>(bus));
        // The scan's short attempt follows the line speed: the slowest rate gives it room for a
        // loaded machine at the tests' tenfold time rate (the simulator answers at once).
        com->SetBaudRate(300);
        zb = std::make_unique<TZBCmd>(*com);
        ASSERT_TRUE(com->OpenPort());
    }
    QString serial(int slot) { return QString::fromStdString(bus->identity(slot).text()); }
    ZbIdentity identity(int slot)
    {
        const sim::Identity i = bus->identity(slot);
        return {i.w1, i.w2, i.type, i.last};
    }
    uint8_t code(int slot) { return bus->peek(slot, sim::mem::AddressCode, 1)[0]; }
    std::vector<uint8_t> codes(int n)
    {
        std::vector<uint8_t> c;
        for (int s = 1; s <= n; ++s)
            c.push_back(code(s));
        return c;
    }
    std::vector<sim::TelegramRecord> sent(uint8_t command)
    {
        std::vector<sim::TelegramRecord> r;
        for (const auto& t : bus->record())
            if (t.command() == command)
                r.push_back(t);
        return r;
    }
    // The serial number a SetAddressBySerial telegram carries, and its new pattern.
    static std::pair<std::tuple<int, int, int>, int> broadcastOf(const sim::TelegramRecord& t)
    {
        const auto& b = t.bytes;
        return {{(b[2] << 8) | b[3], (b[4] << 8) | b[5], b[6]}, b[7]};
    }
    void TearDown() override
    {
        if (zb) {
            zb->SetClosing(true);
            com->ClosePort();
        }
    }

    std::shared_ptr<SimBus> bus;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;
};

} // namespace

TEST(SerialNumber, FormAndRanges)
{
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {
        {"00812-04711-003-001", true},  {"09952-65535-255-255", true}, {"09952-05535-255-255", true},
        {"00853-04711-003-001", false}, {"00800-04711-003-001", false}, {"00812-75536-003-001", false},
        {"00812-05536-003-001", false}, {"00812-00000-003-001", false}, {"00812-04711-000-001", false},
        {"00812-04711-003-000", false}, {"00812-04711-256-001", false}, {"00812 04711-003-001", false},
        {"00812-04711-003-0011", false}, {"0812-04711-003-001", false}, {"00812-047a1-003-001", false},
        {"", false},
    };
    for (const Case& c : cases) {
        const auto id = ParseSerialNumber(QString::fromLatin1(c.text));
        EXPECT_EQ(id.has_value(), c.valid) << c.text;
        if (id) {
            EXPECT_EQ(id->Text(), QString::fromLatin1(c.text));
        }
    }
}

TEST_F(BusService, ButtonAddressesOnlyThePressedController)
{
    make(3);
    bus->pressButton(2);
    TBusAddressing a(*zb);
    ZbIdentity id;
    ASSERT_TRUE(a.SearchButton(id, {}, 5000));
    EXPECT_EQ(id, identity(2));
    const AddressingResult r = a.Address(id, 5, false);
    EXPECT_EQ(r.outcome, AddressingResult::Outcome::Ok) << AddressingOutcomeText(r).toStdString();
    EXPECT_EQ(codes(3), (std::vector<uint8_t>{0x00, 0x80, 0x08}));
    // The push-button calls went out as such, and every broadcast named the pressed one.
    const auto calls = sent(kIdentity);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().pattern(), zb::PatternButton);
    for (const auto& t : sent(kSetAddress)) {
        EXPECT_EQ(t.pattern(), zb::PatternBroadcast);
        EXPECT_EQ(broadcastOf(t), std::make_pair(std::make_tuple(812, 4712, 1), 0x80));
    }
    // The bus object's settings are back as they were.
    EXPECT_EQ(zb->Attempts, 3);
    EXPECT_EQ(zb->HeaderMode, 0);
    EXPECT_EQ(zb->TimeoutMs, 700u);
    EXPECT_EQ(zb->AdrIndex(), 0);
}

TEST_F(BusService, ButtonSearchEndsWhenNobodyPressesOrOnAbort)
{
    make(2);
    TBusAddressing a(*zb);
    ZbIdentity id;
    EXPECT_FALSE(a.SearchButton(id, {}, 1500));
    int asked = 0;
    EXPECT_FALSE(a.SearchButton(id, [&] { return ++asked > 2; }));
    EXPECT_EQ(codes(2), (std::vector<uint8_t>{0x00, 0x04}));
    EXPECT_TRUE(sent(kSetAddress).empty());
}

TEST_F(BusService, SerialNumberAddressesOnlyTheMatchingController)
{
    make(4);
    TBusAddressing a(*zb);
    int logged = 0;
    a.OnAddressed = [&](const AddressingResult& r) {
        ++logged;
        EXPECT_EQ(r.target, identity(3));
    };
    const AddressingResult r = a.AddressBySerial(serial(3), 7);
    EXPECT_TRUE(r.ok()) << AddressingOutcomeText(r).toStdString();
    EXPECT_EQ(codes(4), (std::vector<uint8_t>{0x00, 0x04, 0x88, 0x0C}));
    EXPECT_EQ(logged, 1);
}

TEST_F(BusService, OccupantOfTheWantedAddressGoesToPPFirst)
{
    make(3);
    TBusAddressing a(*zb);
    const AddressingResult r = a.AddressBySerial(serial(2), 1);
    ASSERT_TRUE(r.ok()) << AddressingOutcomeText(r).toStdString();
    EXPECT_TRUE(r.occupantMoved);
    EXPECT_EQ(r.occupant, identity(1));
    EXPECT_EQ(codes(3), (std::vector<uint8_t>{zb::PatternPP, 0x00, 0x08}));
    EXPECT_EQ(bus->mode(1), sim::ModeStop); // stopped before it was moved
    const auto b = sent(kSetAddress);
    ASSERT_GE(b.size(), 2u);
    EXPECT_EQ(broadcastOf(b.front()), std::make_pair(std::make_tuple(812, 4711, 1), int(zb::PatternPP)));
    EXPECT_EQ(broadcastOf(b.back()), std::make_pair(std::make_tuple(812, 4712, 1), 0x00));
}

TEST_F(BusService, SerialNumberOfNobodyChangesNothing)
{
    make(3);
    TBusAddressing a(*zb);
    // Wanted address held by another controller: it is not moved for nobody.
    AddressingResult r = a.AddressBySerial(QStringLiteral("00812-05000-003-001"), 2);
    EXPECT_EQ(r.outcome, AddressingResult::Outcome::SerialNotFound);
    EXPECT_TRUE(sent(kSetAddress).empty());
    EXPECT_EQ(bus->mode(2), sim::ModeAuto); // not even stopped
    // A free address: the broadcast reaches nobody.
    r = a.AddressBySerial(QStringLiteral("00812-05000-003-001"), 6);
    EXPECT_EQ(r.outcome, AddressingResult::Outcome::SerialNotFound);
    EXPECT_EQ(codes(3), (std::vector<uint8_t>{0x00, 0x04, 0x08}));
    EXPECT_TRUE(ZBAdrFlow::FailureText(r).contains(QStringLiteral("00812-05000-003-001")));
    // A malformed one sends nothing at all.
    bus->clearRecord();
    r = a.AddressBySerial(QStringLiteral("00853-04711-003-001"), 6);
    EXPECT_EQ(r.outcome, AddressingResult::Outcome::InvalidSerial);
    EXPECT_TRUE(bus->record().empty());
}

TEST_F(BusService, RandomAddressingsKeepEveryOtherControllerWhereItWas)
{
    make(5);
    std::mt19937 rng(22);
    TBusAddressing a(*zb);
    for (int round = 0; round < 6; ++round) {
        const int slot = 1 + static_cast<int>(rng() % 5);
        const int target = 1 + static_cast<int>(rng() % 8);
        const std::vector<uint8_t> before = codes(5);
        const uint8_t wanted = zb::AddressPattern(target);
        const AddressingResult r = a.AddressBySerial(serial(slot), target);
        ASSERT_TRUE(r.ok()) << round << ": " << AddressingOutcomeText(r).toStdString();
        std::vector<uint8_t> expected = before;
        for (int s = 1; s <= 5; ++s)
            if (s != slot && before[size_t(s - 1)] == wanted)
                expected[size_t(s - 1)] = zb::PatternPP;
        expected[size_t(slot - 1)] = wanted;
        ASSERT_EQ(codes(5), expected) << "round " << round;
        // Two on PP would collide; put a parked one back on a free address as a technician would.
        for (int s = 1; s <= 5; ++s)
            if (code(s) == zb::PatternPP)
                for (int k = 1; k <= 8; ++k) {
                    const auto c = codes(5);
                    if (std::find(c.begin(), c.end(), zb::AddressPattern(k)) == c.end()) {
                        bus->withController(s, [k](sim::Controller& ctl) { ctl.setAddressCode(zb::AddressPattern(k)); });
                        break;
                    }
                }
    }
}

TEST_F(BusService, ScanFindsEightControllersAbsentOnesAndDuplicates)
{
    make(8);
    ScanResult r = ScanBus(*zb);
    ASSERT_TRUE(r.complete);
    ASSERT_EQ(r.entries.size(), 9u);
    EXPECT_EQ(r.entries[0].state, ScanEntry::State::Absent);
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(r.entries[size_t(i)].state, ScanEntry::State::Present) << i;
        EXPECT_EQ(r.entries[size_t(i)].serial, serial(i));
        EXPECT_EQ(r.entries[size_t(i)].firmware, 0x0308);
    }
    // The empty PP costs one short attempt.
    int ppCalls = 0;
    for (const auto& t : sent(kIdentity))
        ppCalls += t.pattern() == zb::PatternPP;
    EXPECT_EQ(ppCalls, 1);

    bus->removeController(4);
    bus->withController(6, [](sim::Controller& c) { c.setAddressCode(0x00); }); // onto ZB1
    r = ScanBus(*zb);
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.entries[4].state, ScanEntry::State::Absent);
    EXPECT_EQ(r.entries[1].state, ScanEntry::State::Duplicate);
    EXPECT_EQ(r.entries[6].state, ScanEntry::State::Absent);
    EXPECT_TRUE(ScanEntryText(r.entries[1]).contains(QStringLiteral("serial number")));
    EXPECT_EQ(r.entries[2].serial, serial(2));
    EXPECT_EQ(zb->Attempts, 3);
    EXPECT_EQ(zb->TimeoutMs, 700u);
}

TEST(RawTemplates, LinesParseOrAreMarked)
{
    struct Case {
        const char* line;
        bool templ, usable;
        std::vector<uint8_t> telegram; // its header names the address
    } cases[] = {
        {"75;1;Betriebsart lesen;", true, true, {0x11, 0x4B, 0x00, 0x5A}},                   // PP
        {"1;4;lesen;0;24;4;rest", true, true, {0x40, 0x01, 0x00, 0x18, 0x04, 0x98, 0xC5}},  // ZB1
        {"no template here", false, false, {}},
        {"256;1;x;", true, false, {}},
        {"75;0;x;", true, false, {}},
        {"75;8;x;1;2;3;4;5;6;7;", true, false, {}},
        {"1;4;x;0;24;", true, false, {}},
        {"1;4;x;0;24;4", true, false, {}}, // the last byte has no ";"
        {"1;2;x;-1;", true, false, {}},
        {"0x4B;1;x;", true, false, {}},
        {"75;1", true, false, {}},
    };
    for (const Case& c : cases) {
        const auto t = ParseTemplateLine(QString::fromLatin1(c.line));
        ASSERT_EQ(t.has_value(), c.templ) << c.line;
        if (!t)
            continue;
        EXPECT_EQ(t->usable(), c.usable) << c.line;
        if (c.usable) {
            EXPECT_EQ(RawTelegram(*t, zb::Header(c.telegram[0] & 0x8F, t->n)), c.telegram) << c.line;
        } else {
            EXPECT_TRUE(t->EntryText().contains(QStringLiteral("unbrauchbar"))) << c.line;
        }
    }
    const RawTemplateFile f =
        ParseRawTemplates({QStringLiteral("75;1;a;"), QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("50;1;b;")});
    ASSERT_EQ(f.templates.size(), 2u);
    EXPECT_EQ(f.templates[1].EntryText(), QStringLiteral("50: b"));
    const RawTemplateFile missing = LoadRawTemplates(QStringLiteral("/nonexistent/ZBCommands.txt"));
    EXPECT_TRUE(missing.templates.empty());
    EXPECT_FALSE(missing.message.isEmpty());
}

TEST_F(BusService, ShippedTemplatesCoverTheCommandSetAndReachTheBusAsWritten)
{
    make(3);
    const RawTemplateFile f = LoadRawTemplates(QStringLiteral(KADEX_SOURCE_DIR "/data/ZBCommands.txt"));
    ASSERT_TRUE(f.message.isEmpty()) << f.message.toStdString();
    const int codes[] = {0x01, 0x02, 0x03, 0x06, 0x0D, 0x0E, 0x12, 0x13, 0x14, 0x15, 0x1A, 0x1E,
                         0x25, 0x26, 0x29, 0x32, 0x39, 0x3B, 0x3C, 0x3D, 0x47, 0x4B, 0x4E};
    for (int c : codes)
        EXPECT_TRUE(std::any_of(f.templates.begin(), f.templates.end(), [c](const RawTemplate& t) { return t.code == c; }))
            << "no template for " << c;
    zb->SetAdrIndex(3);
    for (const RawTemplate& t : f.templates) {
        bus->clearRecord();
        const RawSendResult r = SendRawTemplate(*zb, t);
        ASSERT_TRUE(bus->waitForRecords(1, 2000));
        const auto rec = bus->record();
        ASSERT_EQ(rec.size(), 1u) << t.line.toStdString();
        EXPECT_EQ(rec[0].bytes, r.request);
        EXPECT_EQ(rec[0].bytes[0], zb::Header(0x08, t.n));
        EXPECT_EQ(rec[0].slots, std::vector<int>{3}) << t.line.toStdString();
        EXPECT_EQ(r.outcome, RawSendResult::Outcome::Answered);
    }
    // The worked example, byte for byte as the controller received it.
    bus->clearRecord();
    SendRawTemplate(*zb, *ParseTemplateLine(QStringLiteral("50;1;Seriennummer;")));
    ASSERT_TRUE(bus->waitForRecords(1, 2000));
    EXPECT_EQ(bus->record()[0].bytes, (std::vector<uint8_t>{0x18, 0x32, 0x80, 0xAA}));
    // An unusable template sends nothing.
    bus->clearRecord();
    const RawSendResult refused = SendRawTemplate(*zb, *ParseTemplateLine(QStringLiteral("1;4;x;0;24;")));
    EXPECT_EQ(refused.outcome, RawSendResult::Outcome::NotSent);
    EXPECT_TRUE(refused.request.empty());
    EXPECT_TRUE(bus->record().empty());
}

TEST(BusServiceCore, AddressingDialogThenTheWindowIdentifiesTheControllerAtItsAddress)
{
    auto bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(2));
    WindowModel model(mainWindowFields());
    TMainCore core(model, std::make_unique<sim::SimTransport>(bus));
    core.SetPollPeriodMs(300);
    core.Com.SetBaudRate(300); // room for the scan's short attempts (see BusService::make)
    QTemporaryDir logDir;
    core.ActionLog.SetFolder(logDir.path());
    const QDateTime when(QDate(2024, 5, 7), QTime(9, 30, 0));
    core.ActionLog.Now = [when] { return when; };
    core.Start();
    model.setItemIndex(fld::ComboBoxZBAdress, 1);
    core.ZB.SetAdrIndex(1);
    std::atomic<bool> connected{false};
    core.Flows.Post("connect", [&] { connected = core.COMVerbinden(); });
    ASSERT_TRUE(core.Flows.WaitIdle(20000));
    ASSERT_TRUE(connected.load());
    ASSERT_EQ(model.text(fld::EditSerNr), QString::fromStdString(bus->identity(1).text()));

    ZBAdrFlow flow(core);
    std::vector<std::pair<ZBAdrFlow::MessageKind, QString>> messages;
    std::mutex m;
    flow.OnMessage = [&](ZBAdrFlow::MessageKind k, const QString& t) {
        std::lock_guard<std::mutex> lk(m);
        messages.emplace_back(k, t);
    };
    std::atomic<bool> identified{false};
    flow.OnIdentified = [&] { identified = true; };
    flow.Show();
    ASSERT_TRUE(test::waitFor([&] { return core.VerbindenThread().Suspended(); }, 10000));
    EXPECT_EQ(flow.Serial, QString::fromStdString(bus->identity(1).text()));
    flow.BySerial = true;
    flow.Serial = QString::fromStdString(bus->identity(2).text());
    flow.AddressIndex = 1;
    ASSERT_TRUE(flow.Ok());
    ASSERT_TRUE(test::waitFor([&] { return !flow.Working(); }, 30000));
    {
        std::lock_guard<std::mutex> lk(m);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].first, ZBAdrFlow::MessageKind::Info);
    }
    flow.Close();
    ASSERT_TRUE(test::waitFor([&] { return identified.load(); }, 30000));
    EXPECT_EQ(bus->peek(1, sim::mem::AddressCode, 1)[0], zb::PatternPP);
    EXPECT_EQ(bus->peek(2, sim::mem::AddressCode, 1)[0], 0x00);
    EXPECT_EQ(model.text(fld::EditSerNr), QString::fromStdString(bus->identity(2).text()));
    EXPECT_EQ(core.ZB.AdrIndex(), 1);
    // The newest log line is the addressing, naming the controller identified at its address.
    QStringList log;
    ASSERT_TRUE(ReadTextFileLines(LogFileName(logDir.path(), when.date()), log));
    ASSERT_GE(log.size(), 2);
    const QStringList newest = log[1].split(QLatin1Char('\t'));
    EXPECT_EQ(newest.value(5), QStringLiteral("ZB-Adresse ZB1"));
    EXPECT_EQ(newest.value(2), QString::fromStdString(bus->identity(2).text()));
    EXPECT_FALSE(core.VerbindenThread().Suspended()); // polling resumed
    core.Close();
}
