// The operation panel on the wire: what each mode sends every cycle, the release of a forced
// mode on every way out of "Betrieb" (a lost port's release waits for the port's return), and
// "Test" on the OEM tab, checked against the telegrams the simulated controller received.
#include "QtPrinters.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "sim/SimTransport.h"
#include "tests/VirtualClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <functional>
#include <string>
#include <thread>

using namespace kadex;
using namespace std::chrono;
using sim::SimBus;

namespace {

using Telegram = std::vector<uint8_t>; // command code, then its data bytes

struct QuietHost : IMainHost {
    void ShowPortError(const QString&) override {}
    void SetBusyCursor(bool) override {}
};

class OperationWire : public ::testing::Test {
public: // the ways out below act on the fixture
    static constexpr int kPeriodMs = 200;

    void SetUp() override
    {
        bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(1));
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus), &host, &vclock);
        core->SetPollPeriodMs(kPeriodMs);
        core->Start();
        std::atomic<bool> done{false}, ok{false};
        core->Flows.Post("connect", [&] {
            ok = core->COMVerbinden();
            done = true;
        });
        ASSERT_TRUE(waitFor([&] { return done.load(); }, 20000));
        ASSERT_TRUE(ok.load());
    }
    void TearDown() override
    {
        if (core)
            core->Close();
    }

    void pressBetrieb(bool down)
    {
        model->setChecked(fld::SpeedButtonBetrieb, down);
        core->Flows.Post("betrieb", [&] { core->SpeedButtonBetriebClick(); });
    }
    bool operating()
    {
        return core->VAVBetrieb.BetriebAktiv.load() && !core->BetriebThread().Suspended();
    }
    // Waits until n more operation steps have ended.
    bool stepsPass(int n)
    {
        const int from = core->BetriebThread().StepsRun();
        return waitFor([&] { return core->BetriebThread().StepsRun() >= from + n; }, 20000);
    }
    // Override and setpoint telegrams from index `from` of the record, as command and data.
    std::vector<Telegram> modeTelegrams(size_t from)
    {
        std::vector<Telegram> out;
        const auto r = bus->record();
        for (size_t i = from; i < r.size(); ++i) {
            const int c = r[i].command();
            if (c != 0x0E && c != 0x25)
                continue;
            const size_t data = c == 0x0E ? 1 : 2;
            if (r[i].bytes.size() < 2 + data)
                continue;
            out.emplace_back(r[i].bytes.begin() + 1, r[i].bytes.begin() + 2 + static_cast<long>(data));
        }
        return out;
    }
    bool waitFor(const std::function<bool()>& cond, int ms)
    {
        const auto end = steady_clock::now() + milliseconds(ms);
        while (!cond()) {
            if (steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(milliseconds(1));
            if (!core->VerbindenThread().StepRunning() && !core->BetriebThread().StepRunning() && !core->Flows.Busy())
                vclock.Advance(50);
        }
        return true;
    }
    void passVirtual(uint64_t ms)
    {
        const uint64_t end = vclock.NowMs() + ms;
        waitFor([&] { return vclock.NowMs() >= end; }, 20000);
    }

    test::VirtualClock vclock;
    QuietHost host;
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
};

const Telegram kRelease0{0x0E, 0x00};
const Telegram kReleaseSetpoint{0x25, 0xFF, 0xFF};
const Telegram kIdentifyStop{0x0E, 0x0A};

} // namespace

TEST_F(OperationWire, EveryModeSendsItsOverrideAndSetpointEachCycle)
{
    struct Row {
        const char* name;
        FieldId radio;
        int reglerFkt; // 1 volume flow, 2 pressure
        std::vector<Telegram> perCycle;
    };
    const Row rows[] = {
        {"Auto", fld::RadioBetrAuto, 1, {{0x0E, 0x00}, {0x25, 0xFF, 0xFF}}},
        {"Zu", fld::RadioBetrZu, 1, {{0x0E, 0x02}}},
        {"Auf", fld::RadioBetrAuf, 1, {{0x0E, 0x01}}},
        {"V'min", fld::RadioBetrVMin, 1, {{0x0E, 0x04}}},
        {"V'mid", fld::RadioBetrVMid, 1, {{0x0E, 0x05}}},
        {"Motor stop", fld::RadioBetrVMid, 2, {{0x0E, 0x0A}}},
        {"V'max", fld::RadioBetrVMax, 1, {{0x0E, 0x03}}},
        {"V'nom", fld::RadioBetrVNom, 1, {{0x0E, 0x07}}},
        {"Variabel 40.25 %", fld::RadioBetrVariabel, 1, {{0x0E, 0x00}, {0x25, 0x0F, 0xB9}}},
        {"Schnell zu", fld::RadioBetrSchnellZu, 1, {{0x0E, 0x08}}},
        {"Schnell auf", fld::RadioBetrSchnellAuf, 1, {{0x0E, 0x09}}},
    };
    pressBetrieb(true);
    ASSERT_TRUE(waitFor([&] { return operating(); }, 10000));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        core->Ctx.ReglerFkt = row.reglerFkt;
        model->setChecked(row.radio, true);
        if (row.radio == fld::RadioBetrVariabel)
            model->setDeviceValue(fld::EditBetrSollwPrz, 4025, 2);
        // A step under way may still send the previous mode.
        ASSERT_TRUE(stepsPass(1));
        const size_t mark = bus->record().size();
        ASSERT_TRUE(stepsPass(2));
        const std::vector<Telegram> sent = modeTelegrams(mark);
        ASSERT_GE(sent.size(), 2 * row.perCycle.size());
        for (size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(sent[i], row.perCycle[i % row.perCycle.size()]) << "telegram " << i;
    }
    core->Ctx.ReglerFkt = 1;
}

TEST_F(OperationWire, EveryWayOutReleasesTheForcedModeThenSendsNoMoreOfIt)
{
    struct Way {
        const char* name;
        std::function<void(OperationWire&)> leave;
    };
    const Way ways[] = {
        {"button released", [](OperationWire& t) { t.pressBetrieb(false); }},
        {"Experte tab (Transfer keeps it)",
         [](OperationWire& t) {
             t.model->setItemIndex(fld::PageControl1, 4);
             t.core->PageControl1Change();
             ASSERT_TRUE(t.stepsPass(2));
             EXPECT_TRUE(t.operating());
             t.model->setItemIndex(fld::PageControl1, 1);
             t.core->PageControl1Change();
         }},
        {"controller lost", [](OperationWire& t) { t.bus->removeController(1); }},
        {"port lost mid-telegram, back later",
         [](OperationWire& t) {
             sim::Fault hang;
             hang.kind = sim::FaultKind::HangUp;
             t.bus->addFault(1, hang);
             ASSERT_TRUE(t.waitFor([&] { return t.bus->linkDown(); }, 10000));
             ASSERT_TRUE(t.waitFor([&] { return !t.core->VAVBetrieb.BetriebAktiv.load() && !t.core->Flows.Busy(); },
                                   20000));
             EXPECT_FALSE(t.model->checked(fld::SpeedButtonBetrieb));
             t.passVirtual(3 * kPeriodMs);
             t.bus->restoreLink();
             ASSERT_TRUE(t.waitFor([&] { return t.core->Reconnects() == 1 && t.core->DataRead.load(); }, 20000));
         }},
        {"window closed", [](OperationWire& t) { t.core->Close(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        if (!core) {
            SetUp();
            ASSERT_FALSE(HasFatalFailure());
        }
        model->setItemIndex(fld::PageControl1, 2);
        core->PageControl1Change();
        pressBetrieb(true);
        ASSERT_TRUE(waitFor([&] { return operating(); }, 10000));
        model->setChecked(fld::RadioBetrVMax, true);
        ASSERT_TRUE(waitFor([&] { return bus->mode(1) == 3; }, 10000));
        const size_t mark = bus->record().size();
        way.leave(*this);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(waitFor([&] { return !core->VAVBetrieb.BetriebAktiv.load(); }, 20000));
        if (std::string(way.name) != "window closed") { // the closing window keeps its button as it was
            EXPECT_FALSE(model->checked(fld::SpeedButtonBetrieb));
        }
        passVirtual(10 * kPeriodMs);

        const std::vector<Telegram> sent = modeTelegrams(mark);
        size_t lastForced = 0;
        bool forced = false;
        for (size_t i = 0; i < sent.size(); ++i)
            if (sent[i] == Telegram{0x0E, 0x03}) {
                lastForced = i;
                forced = true;
            }
        const size_t release = forced ? lastForced + 1 : 0;
        ASSERT_GE(sent.size(), release + 2);
        // The release comes at once, or (the port gone) with the reconnect's identification,
        // which stops the motor and releases the override.
        EXPECT_TRUE(sent[release] == kRelease0 || (sent[release] == kIdentifyStop && sent[release + 1] == kRelease0));
        // An unanswered override is repeated before the setpoint release follows.
        EXPECT_NE(std::find(sent.begin() + static_cast<long>(release), sent.end(), kReleaseSetpoint), sent.end());
        // After the release only releases; a reconnect's identification stops the motor
        // and releases again at once.
        for (size_t i = release; i < sent.size(); ++i) {
            const bool identification = sent[i] == kIdentifyStop && i + 1 < sent.size() && sent[i + 1] == kRelease0;
            EXPECT_TRUE(sent[i] == kRelease0 || sent[i] == kReleaseSetpoint || identification) << "telegram " << i;
        }

        core->Close();
        core.reset();
        model.reset();
    }
}

TEST_F(OperationWire, TestOnTheOemTabEndsOnServiceWithBetriebDownAndVmax)
{
    model->setItemIndex(fld::PageControl1, 0);
    core->PageControl1Change();
    EXPECT_TRUE(model->visible(fld::PanelTest));
    model->setChecked(fld::RadioBetrAuto, true);
    const size_t mark = bus->record().size();
    ASSERT_TRUE(model->click(fld::ButtonTest)) << "Test is enabled once connected";
    ASSERT_TRUE(waitFor([&] { return operating() && bus->mode(1) == 3; }, 20000));
    EXPECT_EQ(model->itemIndex(fld::PageControl1), 2);
    EXPECT_TRUE(model->visible(fld::PanelBetrieb));
    EXPECT_FALSE(model->visible(fld::PanelTest));
    EXPECT_TRUE(model->checked(fld::SpeedButtonBetrieb));
    EXPECT_TRUE(model->checked(fld::RadioBetrVMax));
    EXPECT_TRUE(core->VerbindenThread().Suspended());
    const std::vector<Telegram> sent = modeTelegrams(mark);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), (Telegram{0x0E, 0x03}));
}
