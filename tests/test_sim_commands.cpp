// The tool's command set against the simulated controllers: every command at PP and at ZB
// addresses with several controllers on the bus, checked by what reached the controllers; and
// the protected memory with its unlock levels.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "comm/ZBFrame.h"
#include "sim/SimBus.h"
#include "sim/SimTransport.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace kadex;
using namespace kadex::sim;
using Bytes = std::vector<uint8_t>;

namespace {

// Three controllers: slot 1 at PP, slot 2 at ZB2, slot 3 at ZB5 (a pattern with bit 7 set).
BusOptions threeControllers()
{
    BusOptions o = BusOptions::WithControllers(3);
    o.controllers[0].addressCode = zb::PatternPP;
    o.controllers[1].addressCode = zb::AddressPattern(2);
    o.controllers[2].addressCode = zb::AddressPattern(5);
    o.controllers[0].firmware = 0x0308;
    o.controllers[1].firmware = 0x021F;
    o.controllers[2].firmware = 0x0220;
    o.controllers[2].tableId = 0x1234;
    o.controllers[2].identity = Identity{2745, 40017, 7, 2, 9};
    return o;
}

struct Rig {
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;

    explicit Rig(BusOptions o = threeControllers())
    {
        o.clock = std::make_shared<ManualClock>();  // live values stand still unless advanced
        bus = std::make_shared<SimBus>(o);
        com = std::make_unique<TComForm>(std::make_unique<SimTransport>(bus));
        EXPECT_TRUE(com->OpenPort());
        zb = std::make_unique<TZBCmd>(*com);
    }
    ManualClock& clock() { return static_cast<ManualClock&>(bus->clock()); }
    // The telegrams the controllers received since the last call.
    std::vector<TelegramRecord> received()
    {
        auto r = bus->record();
        bus->clearRecord();
        return r;
    }
};

struct Target {
    int adrIndex;
    int slot;
};
void PrintTo(const Target& t, std::ostream* os)
{
    *os << zb::AddressName(zb::AddressPattern(t.adrIndex)) << " (slot " << t.slot << ")";
}

class SimCommands : public ::testing::TestWithParam<Target> {
protected:
    Rig rig;
    int slot = GetParam().slot;

    void SetUp() override
    {
        rig.zb->SetAdrIndex(static_cast<uint8_t>(GetParam().adrIndex));
        rig.bus->clearRecord();
    }
    // Only the addressed controller took the telegrams, each answered without refusal.
    void expectOnlyTarget(size_t telegrams)
    {
        const auto rec = rig.received();
        ASSERT_EQ(rec.size(), telegrams);
        for (const auto& r : rec) {
            EXPECT_EQ(r.slots, std::vector<int>{slot}) << r.describe();
            EXPECT_TRUE(r.answered()) << r.describe();
            EXPECT_FALSE(r.refused) << r.describe();
        }
    }
    std::vector<int> others() const
    {
        std::vector<int> o;
        for (int s = 1; s <= 3; ++s)
            if (s != slot)
                o.push_back(s);
        return o;
    }
};

} // namespace

TEST_P(SimCommands, IdentityAddressFirmwareAndConfiguration)
{
    const Identity id = rig.bus->identity(slot);
    uint16_t w1 = 0, w2 = 0;
    uint8_t d5 = 0, type = 0, last = 0;
    ASSERT_TRUE(rig.zb->GetIdentity(w1, w2, d5, type, last));
    EXPECT_EQ(Identity({w1, w2, d5, type, last}), id);

    QString text, typeText;
    uint32_t key = 0;
    uint8_t t = 0;
    ASSERT_TRUE(rig.zb->GetIdentityText(text, typeText, key, t));
    EXPECT_EQ(text.toStdString(), id.text());
    EXPECT_EQ(key, zb::DeviceKey(id.w1, id.w2, id.d5, id.type, id.last));

    uint8_t pattern = 0xFF;
    ASSERT_TRUE(rig.zb->GetBusAddress(pattern));
    EXPECT_EQ(pattern, zb::AddressPattern(GetParam().adrIndex));
    ASSERT_TRUE(rig.zb->GetBusAddressText(text));
    EXPECT_EQ(text, QString::fromLatin1(zb::AddressName(pattern)));

    uint16_t fw = 0, fw2 = 0, fw3 = 0;
    ASSERT_TRUE(rig.zb->GetFirmware(fw, fw2, fw3));
    rig.bus->withController(slot, [&](Controller& c) { EXPECT_EQ(fw, c.firmware()); });

    uint8_t b1 = 0;
    uint16_t cw1 = 0, cw2 = 0, table = 0;
    ASSERT_TRUE(rig.zb->GetConfigInfo(b1, cw1, cw2, table));
    rig.bus->withController(slot, [&](Controller& c) { EXPECT_EQ(table, c.tableId()); });

    uint16_t oem = 0, pos = 0, typ = 0;
    ASSERT_TRUE(rig.zb->GetTextAddresses(oem, pos, typ));
    EXPECT_EQ(oem, 0x0070);
    EXPECT_EQ(pos, 0x0080);
    EXPECT_EQ(typ, 0x0090);
    expectOnlyTarget(7);
}

TEST_P(SimCommands, MemoryAndTextsReachOnlyTheAddressedController)
{
    const Bytes data{0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_TRUE(rig.zb->WriteMem(0x0300, data.data(), 4));
    EXPECT_EQ(rig.bus->peek(slot, 0x0300, 4), data);
    for (int o : others())
        EXPECT_EQ(rig.bus->peek(o, 0x0300, 4), Bytes(4, 0)) << "slot " << o;

    rig.bus->poke(slot, 0x0400, {1, 2, 3, 4, 5, 6, 7});
    uint8_t out[7] = {};
    ASSERT_TRUE(rig.zb->ReadMem(0x0400, 7, out));
    EXPECT_EQ(Bytes(out, out + 7), (Bytes{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(rig.zb->ReadMem(0x0400, 8, out));  // refused by the tool itself: nothing sent
    expectOnlyTarget(2);

    // The position text is free to write; a long text is cut to 16 characters, a short one padded.
    ASSERT_TRUE(rig.zb->WriteText16(0x0080, QStringLiteral("Raum 4.17 Nord-Ost")));
    rig.bus->withController(slot, [](Controller& c) { EXPECT_EQ(c.text16(0x0080), "Raum 4.17 Nord-O"); });
    ASSERT_TRUE(rig.zb->WriteText16(0x0080, QStringLiteral("B12")));
    EXPECT_EQ(rig.bus->peek(slot, 0x0080, 16), Bytes({'B', '1', '2', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}));
    for (int o : others())
        rig.bus->withController(o, [](Controller& c) { EXPECT_EQ(c.text16(0x0080), "Positionstext"); });
    QString text;
    ASSERT_TRUE(rig.zb->ReadText16(0x0070, text));
    EXPECT_EQ(text, QStringLiteral("OEM-Text        "));
    expectOnlyTarget(8 + 3);
}

TEST_P(SimCommands, LevelsRangesAndFlowLimitsAreKeptInMemory)
{
    ASSERT_TRUE(rig.zb->SetVLevels(1000, 5000, 9000));
    EXPECT_EQ(rig.bus->peek(slot, mem::VLevels, 6), (Bytes{0x03, 0xE8, 0x13, 0x88, 0x23, 0x28}));
    uint16_t vmin = 0, vmid = 0, vmax = 0;
    ASSERT_TRUE(rig.zb->GetVLevels(vmin, vmid, vmax));
    EXPECT_EQ(vmin, 1000);
    EXPECT_EQ(vmid, 5000);
    EXPECT_EQ(vmax, 9000);
    for (int o : others())
        EXPECT_EQ(rig.bus->peek(o, mem::VLevels, 6), (Bytes{0x07, 0xD0, 0x13, 0x88, 0x27, 0x10}));

    uint16_t vnom = 0;
    rig.bus->poke(slot, mem::Vnom, {0x01, 0x90});  // 400
    ASSERT_TRUE(rig.zb->GetFlowLimits(vnom, vmax, vmin));
    EXPECT_EQ(vnom, 400);
    EXPECT_EQ(vmax, 9000);
    // Firmware 2.20 and 2.21 keep V'min as a share of V'max; the limits report it absolute.
    uint16_t fw = 0;
    rig.bus->withController(slot, [&](Controller& c) { fw = c.firmware(); });
    EXPECT_EQ(vmin, fw == 0x0220 || fw == 0x0221 ? 900 : 1000);

    ASSERT_TRUE(rig.zb->SetW1Range(2000, 6000));
    ASSERT_TRUE(rig.zb->SetU5Range(500, 9500));
    EXPECT_EQ(rig.bus->peek(slot, mem::W1Range, 8), (Bytes{0x07, 0xD0, 0x17, 0x70, 0x01, 0xF4, 0x25, 0x1C}));
    uint16_t start = 0, span = 0;
    ASSERT_TRUE(rig.zb->GetW1Range(start, span));
    EXPECT_EQ(start, 2000);
    EXPECT_EQ(span, 6000);
    ASSERT_TRUE(rig.zb->GetU5Range(start, span));
    EXPECT_EQ(start, 500);
    EXPECT_EQ(span, 9500);
    // ReadMem sees what the commands set.
    uint8_t raw[6];
    ASSERT_TRUE(rig.zb->ReadMem(mem::VLevels, 6, raw));
    EXPECT_EQ(Bytes(raw, raw + 6), (Bytes{0x03, 0xE8, 0x13, 0x88, 0x23, 0x28}));
    expectOnlyTarget(8);
}

TEST_P(SimCommands, OverrideModeSetpointActualValueAndAlarms)
{
    ASSERT_TRUE(rig.zb->SetOverride(ModeVmax));
    EXPECT_EQ(rig.bus->mode(slot), ModeVmax);
    for (int o : others())
        EXPECT_EQ(rig.bus->mode(o), ModeAuto);
    uint8_t d1 = 0xFF, d2 = 0xFF;
    ASSERT_TRUE(rig.zb->GetMode(d1, d2));
    uint16_t fw = 0;
    rig.bus->withController(slot, [&](Controller& c) { fw = c.firmware(); });
    if (fw >= 0x0220) {
        EXPECT_EQ(d1, ModeVmax);
        EXPECT_EQ(d2, 0);
    } else {
        EXPECT_EQ(d1, 0);
        EXPECT_EQ(d2, ModeVmax);
    }

    ASSERT_TRUE(rig.zb->SetOverride(ModeAuto));
    ASSERT_TRUE(rig.zb->SetSetpoint(5000));
    EXPECT_EQ(rig.bus->setpoint(slot), 5000);
    rig.clock().advanceMs(20000);
    uint16_t w1 = 0, sp = 0, actual = 0, flow = 0;
    ASSERT_TRUE(rig.zb->GetSetpoint(w1, sp));
    EXPECT_EQ(w1, 5000);  // the W1 input
    // 50 % of the range: new firmware reports 20 + 0.5 * 80 = 60 % of V'nom, old the 50 % sent.
    EXPECT_EQ(sp, fw >= 0x0220 ? 6000 : 5000);
    ASSERT_TRUE(rig.zb->GetActualValue(actual, flow));
    EXPECT_EQ(actual, 6000);
    EXPECT_EQ(flow, 150);
    ASSERT_TRUE(rig.zb->SetSetpoint(0xFFFF));
    EXPECT_EQ(rig.bus->setpoint(slot), 0xFFFF);

    rig.bus->setAlarms(slot, 0x05);
    uint8_t bits = 0;
    ASSERT_TRUE(rig.zb->GetAlarms(bits));
    EXPECT_EQ(bits, 0x05);
    QStringList list{TZBCmd::AlarmText(2)};
    ASSERT_TRUE(rig.zb->AddAlarmTexts(list));
    EXPECT_EQ(list, (QStringList{TZBCmd::AlarmText(2), TZBCmd::AlarmText(0)}));
    expectOnlyTarget(9);
}

TEST_P(SimCommands, RefusedCommandsFailAfterThreeAttemptsAndChangeNothing)
{
    EXPECT_FALSE(rig.zb->SetOverride(6));
    EXPECT_FALSE(rig.zb->SetSetpoint(10001));
    EXPECT_EQ(rig.bus->mode(slot), ModeAuto);
    EXPECT_EQ(rig.bus->setpoint(slot), 0xFFFF);
    const auto rec = rig.received();
    ASSERT_EQ(rec.size(), 6u);
    for (const auto& r : rec) {
        EXPECT_TRUE(r.refused) << r.describe();
        EXPECT_EQ(r.answer[0] & 0x80, 0x80);
    }
}

INSTANTIATE_TEST_SUITE_P(SimAt, SimCommands,
                         ::testing::Values(Target{0, 1}, Target{2, 2}, Target{5, 3}),
                         [](const auto& p) {
                             return std::string(zb::AddressName(zb::AddressPattern(p.param.adrIndex)));
                         });

// ------------------------------------------------------------------------------ addressing

TEST(SimAddressing, BroadcastBySerialMovesOnlyTheMatchingController)
{
    Rig rig;
    const Identity id = rig.bus->identity(2);
    rig.zb->HeaderMode = 1;
    rig.zb->TimeoutMs = 50;  // the broadcast only waits this long
    ASSERT_TRUE(rig.zb->SetAddressBySerial(id.w1, id.w2, id.last, zb::AddressPattern(7)));
    // A serial number nobody has moves nobody.
    ASSERT_TRUE(rig.zb->SetAddressBySerial(id.w1, static_cast<uint16_t>(id.w2 + 100), id.last, zb::PatternPP));
    rig.zb->HeaderMode = 0;
    rig.zb->TimeoutMs = 700;

    const auto rec = rig.received();
    ASSERT_EQ(rec.size(), 2u);  // a broadcast goes out once
    EXPECT_EQ(rec[0].outcome, TelegramRecord::Outcome::Silent);
    EXPECT_EQ(rec[0].pattern(), zb::PatternBroadcast);
    EXPECT_EQ(rig.bus->peek(2, mem::AddressCode, 1), Bytes{0x88});
    EXPECT_EQ(rig.bus->peek(1, mem::AddressCode, 1), Bytes{0x01});
    EXPECT_EQ(rig.bus->peek(3, mem::AddressCode, 1), Bytes{0x80});

    rig.zb->SetAdrIndex(7);
    QString text, typeText;
    uint32_t key;
    uint8_t type;
    ASSERT_TRUE(rig.zb->GetIdentityText(text, typeText, key, type));
    EXPECT_EQ(text.toStdString(), id.text());
}

TEST(SimAddressing, ButtonCallFindsThePressedController)
{
    Rig rig;
    rig.zb->HeaderMode = 2;
    rig.zb->Attempts = 1;
    rig.zb->TimeoutMs = 200;
    uint16_t w1 = 0, w2 = 0;
    uint8_t d5, type, last;
    EXPECT_FALSE(rig.zb->GetIdentity(w1, w2, d5, type, last));
    rig.bus->pressButton(3);
    ASSERT_TRUE(rig.zb->GetIdentity(w1, w2, d5, type, last));
    EXPECT_EQ(Identity({w1, w2, d5, type, last}), rig.bus->identity(3));
    const auto rec = rig.received();
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_EQ(rec[0].bytes, (Bytes{0x91, 0x32, 0xC0, 0x63}));
    EXPECT_EQ(rec[0].outcome, TelegramRecord::Outcome::Silent);
    EXPECT_EQ(rec[1].slots, std::vector<int>{3});
}

// ------------------------------------------------------------------------------ protection

class SimProtection : public ::testing::Test {
protected:
    Rig rig{BusOptions::WithControllers(2)};  // ZB1, ZB2
    uint16_t oemKey = 0;
    uint32_t deviceKey = 0;

    void SetUp() override
    {
        rig.zb->SetAdrIndex(1);
        rig.bus->withController(1, [&](Controller& c) {
            c.pokeBe32(mem::Password, 0x0004D2F1);  // the key is the low half only
            oemKey = 0xD2F1;
            deviceKey = c.deviceKey();
        });
    }
    bool write(uint16_t addr, const Bytes& data)
    {
        return rig.zb->WriteMem(addr, data.data(), static_cast<uint8_t>(data.size()));
    }
    // A refused write changes nothing and is answered with bit 7 on each of its three attempts.
    void expectRefused(uint16_t addr, const Bytes& data)
    {
        const Bytes before = rig.bus->peek(1, addr, data.size());
        rig.bus->clearRecord();
        EXPECT_FALSE(write(addr, data)) << std::hex << addr;
        EXPECT_EQ(rig.bus->peek(1, addr, data.size()), before) << std::hex << addr;
        const auto rec = rig.received();
        ASSERT_EQ(rec.size(), 3u);
        for (const auto& r : rec)
            EXPECT_TRUE(r.refused) << r.describe();
    }
    void expectWritten(uint16_t addr, const Bytes& data)
    {
        EXPECT_TRUE(write(addr, data)) << std::hex << addr;
        EXPECT_EQ(rig.bus->peek(1, addr, data.size()), data) << std::hex << addr;
    }
};

TEST_F(SimProtection, FreeMemoryNeedsNoUnlock)
{
    expectWritten(0x0080, {'A', 'B', 'C', 'D'});  // position text
    expectWritten(0x008C, {1, 2, 3, 4});          // up to its last byte
    expectWritten(0x0010, {1, 2, 3, 4});
    expectWritten(0x0124, {5, 6, 7, 8});
    expectWritten(0x00A0, {9});
    expectWritten(0x0000, {7});
}

TEST_F(SimProtection, WritesWithoutTheRightUnlockAreRefused)
{
    expectRefused(0x0032, {0x01, 0x2C});       // V'nom
    expectRefused(0x0016, {0x03});
    expectRefused(0x007F, {0x00});
    expectRefused(0x007E, {0, 0, 0, 0});       // runs into the position text: still protected
    expectRefused(0x008E, {0, 0, 0, 0});       // runs into the type text
    expectRefused(0x0114, {0, 0, 0x0A, 0xF0});
    expectRefused(0x0120, {0, 0, 0, 1});
    expectRefused(0x0001, {0x03, 0x2C});       // serial number
    expectRefused(0x000E, {0x04});             // bus address code
    expectRefused(0x0090, {'X'});
    expectRefused(0x0110, {0, 0, 0, 0});

    // A wrong key opens nothing and is answered with bit 7.
    rig.bus->clearRecord();
    EXPECT_FALSE(rig.zb->Unlock(0x1234));
    EXPECT_FALSE(rig.zb->Unlock(0x0004D2F1));  // the whole password is not the key
    EXPECT_FALSE(rig.zb->Unlock(deviceKey ^ 1));
    for (const auto& r : rig.received())
        EXPECT_TRUE(r.refused) << r.describe();
    EXPECT_EQ(rig.bus->unlocked(1), Unlocked::None);
    expectRefused(0x0032, {0x01, 0x2C});
}

TEST_F(SimProtection, OemKeyOpensTheCalibrationAreaUntilLock)
{
    ASSERT_TRUE(rig.zb->Unlock(oemKey));
    EXPECT_EQ(rig.bus->unlocked(1), Unlocked::Oem);
    EXPECT_EQ(rig.bus->unlocked(2), Unlocked::None);  // every controller has its own lock
    expectWritten(0x0032, {0x01, 0x2C});
    expectWritten(0x0016, {0x03});
    expectWritten(0x007C, {1, 2, 3, 4});
    expectWritten(0x0114, {0, 0, 0x0A, 0xF0});
    expectWritten(0x0120, {0, 0, 6, 0xEB});
    // The factory area stays closed.
    expectRefused(0x0001, {0x03, 0x2C});
    expectRefused(0x0090, {'X'});
    expectRefused(0x0110, {0, 0, 0, 0});

    rig.zb->Lock();
    EXPECT_EQ(rig.bus->unlocked(1), Unlocked::None);
    expectRefused(0x0032, {0x02, 0x2C});

    // The key follows the password in memory.
    rig.bus->poke(1, mem::Password, {0, 0, 0x30, 0x39});
    EXPECT_FALSE(rig.zb->Unlock(oemKey));
    EXPECT_TRUE(rig.zb->Unlock(0x3039));
}

TEST_F(SimProtection, DeviceKeyOpensTheFactoryAreaAndTheCalibrationArea)
{
    ASSERT_TRUE(rig.zb->Unlock(deviceKey));
    EXPECT_EQ(rig.bus->unlocked(1), Unlocked::Factory);
    expectWritten(0x0005, {0, 3, 2});
    expectWritten(0x0090, {'K', 'P', 'R', ' '});
    expectWritten(0x0110, {0x9A, 0x99, 0x99, 0x3F});
    expectWritten(0x000A, {0, 1, 0, 2});
    expectWritten(0x0032, {0x00, 0xC8});
    expectWritten(0x0018, {0, 0, 0, 7});

    rig.zb->Lock();
    expectRefused(0x0005, {0, 3, 3});
    expectRefused(0x0032, {0x01, 0x2C});

    // A new serial number changes the key the controller expects.
    const uint32_t oldKey = deviceKey;
    rig.bus->setIdentity(1, Identity{901, 1234, 0, 3, 4});
    EXPECT_FALSE(rig.zb->Unlock(oldKey));
    uint16_t w1, w2;
    uint8_t d5, type, last;
    ASSERT_TRUE(rig.zb->GetIdentity(w1, w2, d5, type, last));
    EXPECT_TRUE(rig.zb->Unlock(zb::DeviceKey(w1, w2, d5, type, last)));
}
