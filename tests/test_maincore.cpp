// Connection supervision against the simulated controller: connecting, polling, a lost or
// replaced controller, the mode byte by firmware, write errors, the bus address change,
// closing, and the bus shared by the polling thread and user actions.
#include "QtPrinters.h"
#include "comm/SerialTransport.h"
#include "core/MainCore.h"
#include "device/model/WindowFields.h"
#include "core/PortChoice.h"
#include "settings/ToolIni.h"
#include "sim/SimTransport.h"
#include "tests/VirtualClock.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

using namespace kadex;
using namespace std::chrono;
using sim::SimBus;

namespace {

struct RecordingHost : IMainHost {
    std::atomic<int> portErrors{0};
    QString lastError;
    std::mutex m;
    void ShowPortError(const QString& text) override
    {
        std::lock_guard<std::mutex> lk(m);
        lastError = text;
        ++portErrors;
    }
    void SetBusyCursor(bool) override {}
};


// The simulator's port with writes that fail on demand while the port stays open.
class FlakyTransport final : public ITransport {
public:
    explicit FlakyTransport(std::shared_ptr<SimBus> bus) : inner_(std::move(bus)) {}
    std::atomic<bool> failWrites{false};
    void setRxHandler(RxHandler h) override { inner_.setRxHandler(std::move(h)); }
    void setLostHandler(LostHandler h) override { inner_.setLostHandler(std::move(h)); }
    void configure(const PortSettings& s) override { inner_.configure(s); }
    bool open(QString& error) override { return inner_.open(error); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    QString setDtrRts() override { return inner_.setDtrRts(); }
    bool write(const uint8_t* data, size_t count) override { return !failWrites.load() && inner_.write(data, count); }
    void discardInput() override { inner_.discardInput(); }

private:
    sim::SimTransport inner_;
};

// Polling periods, pause bounds and timers run on a virtual clock (bus transfers keep their real
// timing against the simulator); tests that need real polling set clock to nullptr first.
class MainCoreSim : public ::testing::Test {
protected:
    void make(sim::BusOptions opts = sim::BusOptions::WithControllers(1), int periodMs = 300)
    {
        bus = std::make_shared<SimBus>(opts);
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus), &host, clock);
        core->SetPollPeriodMs(periodMs);
        core->Start();
    }
    bool connect()
    {
        std::atomic<bool> done{false}, result{false};
        core->Flows.Post("connect", [&] {
            result = core->COMVerbinden();
            done = true;
        });
        waitFor([&] { return done.load(); }, 20000);
        return result.load();
    }
    std::vector<int> commandsSince(size_t from)
    {
        std::vector<int> c;
        const auto r = bus->record();
        for (size_t i = from; i < r.size(); ++i)
            c.push_back(r[i].command());
        return c;
    }
    QString t(FieldId f) { return model->text(f); }
    // Waits in real time for cond; meanwhile virtual time moves on whenever no polling step and
    // no flow runs, so a period passes at once but never cuts a transfer's pause bound short.
    bool waitFor(const std::function<bool()>& cond, int ms)
    {
        const auto end = steady_clock::now() + milliseconds(ms);
        while (!cond()) {
            if (steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(milliseconds(1));
            advanceIfIdle(50);
        }
        return true;
    }
    void advanceIfIdle(uint64_t ms)
    {
        if (clock && core && !core->VerbindenThread().StepRunning() && !core->BetriebThread().StepRunning()
            && !core->Flows.Busy())
            vclock.Advance(ms);
    }
    // Lets virtual time pass (about ms of it) with the threads doing what they do meanwhile.
    void passVirtual(uint64_t ms)
    {
        const uint64_t end = vclock.NowMs() + ms;
        const auto limit = steady_clock::now() + seconds(20);
        while (vclock.NowMs() < end && steady_clock::now() < limit) {
            std::this_thread::sleep_for(milliseconds(1));
            advanceIfIdle(50);
        }
    }

    test::VirtualClock vclock;
    IClock* clock = &vclock;
    RecordingHost host;
    std::shared_ptr<SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
};

} // namespace

TEST_F(MainCoreSim, ConnectFillsTheWindowAndStartsPolling)
{
    make();
    ASSERT_TRUE(connect());
    EXPECT_EQ(t(fld::EditSerNr), "00812-04711-003-001");
    EXPECT_EQ(t(fld::EditFirmware), "0308");
    EXPECT_TRUE(core->DataRead.load());
    EXPECT_TRUE(model->enabled(fld::ButtonLesen));
    EXPECT_TRUE(model->enabled(fld::ButtonSetzen));
    EXPECT_TRUE(model->enabled(fld::ComboBoxZBAdress));
    EXPECT_TRUE(core->SecTimerActive());
    EXPECT_EQ(model->caption(fld::PanelSecOnline), "00:00:00");
    EXPECT_FALSE(core->VerbindenThread().Suspended());
    EXPECT_TRUE(model->visible(fld::ImageEqual));
    EXPECT_FALSE(model->visible(fld::ImageNotEqual));
    // The connection step polls: mode, live values, identity.
    const size_t before = bus->record().size();
    ASSERT_TRUE(waitFor([&] { return core->VerbindenThread().StepsRun() >= 2; }, 10000));
    const auto c = commandsSince(before);
    EXPECT_NE(std::find(c.begin(), c.end(), 0x4B), c.end());
    EXPECT_NE(std::find(c.begin(), c.end(), 0x32), c.end());
    EXPECT_EQ(model->caption(fld::PanelBetrStatus), "Auto [Führungseingang W1]");
    EXPECT_TRUE(model->checked(fld::RadioBetrAuto));
}

TEST_F(MainCoreSim, RemovedControllerEmptiesTheIdentificationQuietly)
{
    make(sim::BusOptions::WithControllers(1), 2000);
    ASSERT_TRUE(connect());
    ASSERT_EQ(t(fld::EditSerNr), "00812-04711-003-001");
    const auto t0 = steady_clock::now();
    bus->removeController(1);
    // One period plus one failing step (three attempts): about 4.2 s; allow for a busy machine.
    ASSERT_TRUE(waitFor([&] { return t(fld::EditSerNr).isEmpty(); }, 15000));
    const auto took = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    RecordProperty("LossDetectedAfterMs", static_cast<int>(took));
    EXPECT_TRUE(t(fld::EditFirmware).isEmpty());
    EXPECT_FALSE(model->enabled(fld::ButtonLesen));
    EXPECT_FALSE(model->enabled(fld::LabelSerNr));
    EXPECT_FALSE(core->SecTimerActive());
    EXPECT_TRUE(model->caption(fld::PanelSecOnline).isEmpty());
    EXPECT_TRUE(model->visible(fld::ImageNotEqual));
    EXPECT_EQ(host.portErrors.load(), 0);
    EXPECT_TRUE(t(kStatusMessage).isEmpty());
    // Put back: the next step finds it as a new controller and connects.
    bus->insertController(1);
    ASSERT_TRUE(waitFor([&] { return t(fld::EditSerNr) == "00812-04711-003-001"; }, 15000));
}

TEST_F(MainCoreSim, ReplacedControllerIsConnectedWithinOnePeriod)
{
    make(sim::BusOptions::WithControllers(1), 500);
    ASSERT_TRUE(connect());
    sim::Identity other;
    other.w1 = 913;
    other.w2 = 10042;
    other.last = 7;
    bus->replaceController(1, other);
    ASSERT_TRUE(waitFor([&] { return t(fld::EditSerNr) == "00913-10042-003-007"; }, 10000));
    // The connect step goes on to read the new controller's data.
    // DataRead is set before the buttons are enabled again.
    EXPECT_TRUE(waitFor([&] { return core->DataRead.load() && model->enabled(fld::ButtonLesen); }, 10000));
}

TEST_F(MainCoreSim, ModeByteDependsOnFirmware)
{
    sim::BusOptions opts = sim::BusOptions::WithControllers(1);
    opts.controllers[0].firmware = 0x021F;
    make(opts, 100000);
    ASSERT_TRUE(connect());
    core->SuspendVerbindenThread();
    bus->setMode(1, 1); // old firmware answers d1 = 0, d2 = 1
    core->ConnectionStep();
    EXPECT_TRUE(model->checked(fld::RadioBetrAuf));
    EXPECT_EQ(model->caption(fld::PanelBetrStatus), "Klappe öffnet");
    // The same answer read as new firmware: mode 0 in d1.
    core->Ctx.FirmwareVersion = 0x0220;
    core->ConnectionStep();
    EXPECT_TRUE(model->checked(fld::RadioBetrAuto));
}

TEST_F(MainCoreSim, ModeWithoutChoiceKeepsTheChoice)
{
    make(sim::BusOptions::WithControllers(1), 100000);
    ASSERT_TRUE(connect());
    core->SuspendVerbindenThread();
    bus->setMode(1, 2);
    core->ConnectionStep();
    ASSERT_TRUE(model->checked(fld::RadioBetrZu));
    bus->setMode(1, 10);
    core->ConnectionStep();
    EXPECT_TRUE(model->checked(fld::RadioBetrZu));
    EXPECT_EQ(model->caption(fld::PanelBetrStatus), "Stopped");
}

TEST_F(MainCoreSim, WriteErrorOnAPortThatStaysStopsBothThreadsForGood)
{
    bus = std::make_shared<SimBus>();
    model = std::make_unique<WindowModel>(mainWindowFields());
    model->setMisuse(WindowModel::Misuse::Throw);
    auto flaky = std::make_unique<FlakyTransport>(bus);
    FlakyTransport* link = flaky.get();
    core = std::make_unique<TMainCore>(*model, std::move(flaky), &host, clock);
    core->SetPollPeriodMs(200);
    core->Start();
    ASSERT_TRUE(connect());
    link->failWrites = true;
    ASSERT_TRUE(waitFor([&] { return t(kStatusMessage) == "Error"; }, 10000));
    ASSERT_TRUE(waitFor([&] { return core->VerbindenThread().Suspended() && core->BetriebThread().Suspended(); }, 10000));
    ASSERT_TRUE(core->Flows.WaitIdle(10000));
    // They stay paused, even once the port works again, and nobody watches for a return.
    link->failWrites = false;
    const int steps = core->VerbindenThread().StepsRun();
    passVirtual(20 * 200);
    EXPECT_EQ(core->VerbindenThread().StepsRun(), steps);
    EXPECT_TRUE(core->Com.WriteError());
    EXPECT_FALSE(core->Com.LinkLost());
    EXPECT_FALSE(core->PortWatchActive());
}

TEST_F(MainCoreSim, LostPortPausesPollingAndReconnectsWhenItIsBack)
{
    make(sim::BusOptions::WithControllers(1), 200);
    core->SetPortWatchMs(100);
    ASSERT_TRUE(connect());
    model->setChecked(fld::SpeedButtonBetrieb, true);
    core->Flows.Post("Betrieb", [&] { core->SpeedButtonBetriebClick(); });
    ASSERT_TRUE(waitFor([&] { return core->VAVBetrieb.BetriebAktiv.load(); }, 5000));
    bus->hangUp();
    // The loss is shown by the port's own notification, not by the next poll.
    EXPECT_EQ(t(kStatusMessage), "Schnittstelle getrennt");
    EXPECT_EQ(model->caption(fld::PanelProgStatus), "Schnittstelle getrennt");
    EXPECT_TRUE(model->text(fld::EditSerNr).isEmpty());
    ASSERT_TRUE(core->Flows.WaitIdle(10000));
    EXPECT_TRUE(core->VerbindenThread().Suspended());
    EXPECT_TRUE(core->BetriebThread().Suspended());
    EXPECT_FALSE(core->VAVBetrieb.BetriebAktiv.load());
    EXPECT_FALSE(model->checked(fld::SpeedButtonBetrieb));
    EXPECT_TRUE(core->PortWatchActive());
    passVirtual(10 * 100); // ten looks of the port watch
    EXPECT_EQ(core->Reconnects(), 0); // still gone
    EXPECT_EQ(t(kStatusMessage), "Schnittstelle getrennt");

    bus->clearRecord();
    bus->restoreLink();
    ASSERT_TRUE(waitFor([&] { return core->Reconnects() == 1 && core->DataRead.load(); }, 10000));
    EXPECT_EQ(model->text(fld::EditSerNr), "00812-04711-003-001");
    EXPECT_TRUE(t(kStatusMessage).isEmpty());
    EXPECT_FALSE(core->Com.WriteError());
    EXPECT_FALSE(core->VerbindenThread().Suspended());
    EXPECT_EQ(host.portErrors.load(), 0);
    // The connect step's telegrams reached the controller, then polling goes on.
    ASSERT_FALSE(bus->record().empty());
    const size_t afterConnect = bus->record().size();
    ASSERT_TRUE(waitFor([&] { return bus->record().size() > afterConnect + 2; }, 10000));
    EXPECT_TRUE(bus->checkSequential().ok) << bus->checkSequential().detail;

    // A loss again later is handled the same way.
    bus->hangUp();
    EXPECT_EQ(t(kStatusMessage), "Schnittstelle getrennt");
    bus->restoreLink();
    ASSERT_TRUE(waitFor([&] { return core->Reconnects() == 2 && core->DataRead.load(); }, 10000));
}

TEST_F(MainCoreSim, PortThatCannotOpenLeavesPollingStopped)
{
    model = std::make_unique<WindowModel>(mainWindowFields());
    model->setMisuse(WindowModel::Misuse::Throw);
    core = std::make_unique<TMainCore>(*model, std::make_unique<SerialTransport>(), &host);
    core->Com.SetPortPath("/dev/kadex-missing");
    core->Start();
    EXPECT_FALSE(core->COMVerbinden());
    EXPECT_EQ(host.portErrors.load(), 1);
    EXPECT_EQ(host.lastError, "Kann COM nicht öffnen! (/dev/kadex-missing)\nDie Schnittstelle ist nicht vorhanden.");
    EXPECT_EQ(core->Com.LastOpenErrorKind(), PortOpenError::NoSuchDevice);
    EXPECT_FALSE(core->Com.LastOpenSystemText().isEmpty());
    EXPECT_EQ(t(kStatusMessage), "Kann COM nicht öffnen!");
    EXPECT_EQ(t(kStatusPort), "/dev/kadex-missing");
    EXPECT_TRUE(core->VerbindenThread().Suspended());
    EXPECT_FALSE(model->enabled(fld::ComboBoxZBAdress)); // no port, no bus address choice
    EXPECT_TRUE(model->enabled(fld::TabSheetService));
}

TEST_F(MainCoreSim, BusAddressChange)
{
    sim::BusOptions opts = sim::BusOptions::WithControllers(3); // ZB1..ZB3
    make(opts, 100000);
    model->setItemIndex(fld::ComboBoxZBAdress, 1);
    core->ZB.SetAdrIndex(1);
    ASSERT_TRUE(connect());
    ASSERT_EQ(t(fld::EditZBAdr), "ZB1");
    const QString first = t(fld::EditSerNr);

    // Another controller: identified anew and read.
    model->setItemIndex(fld::ComboBoxZBAdress, 3);
    core->ComboBoxZBAdressChange();
    EXPECT_EQ(core->ZB.AdrIndex(), 3);
    EXPECT_EQ(t(fld::EditZBAdr), "ZB3");
    EXPECT_NE(t(fld::EditSerNr), first);
    EXPECT_TRUE(model->enabled(fld::ButtonLesen));

    // The same controller again: data kept, online time restarts.
    core->SecondsOnline = 77;
    core->ComboBoxZBAdressChange();
    EXPECT_EQ(core->SecondsOnline.load(), 0);
    EXPECT_EQ(model->caption(fld::PanelSecOnline), "00:00:00");

    // Nobody at ZB8.
    model->setItemIndex(fld::ComboBoxZBAdress, 8);
    core->ComboBoxZBAdressChange();
    EXPECT_TRUE(t(fld::EditSerNr).isEmpty());
    EXPECT_TRUE(core->VAVBetrieb.SerNr().isEmpty());
}

TEST_F(MainCoreSim, AddressChoiceWithClosedPortOnlySetsTheAddress)
{
    make(sim::BusOptions::WithControllers(1), 100000);
    model->setItemIndex(fld::ComboBoxZBAdress, 3);
    core->ComboBoxZBAdressChange();
    EXPECT_EQ(core->ZB.AdrIndex(), 3);
    EXPECT_TRUE(bus->record().empty());
}

TEST_F(MainCoreSim, ClosingReleasesAForcedModeThenSendsNothing)
{
    make(sim::BusOptions::WithControllers(1), 200);
    ASSERT_TRUE(connect());
    model->setChecked(fld::SpeedButtonBetrieb, true);
    core->Flows.Post("betrieb", [&] { core->SpeedButtonBetriebClick(); });
    ASSERT_TRUE(waitFor([&] { return core->VAVBetrieb.BetriebAktiv.load(); }, 10000));
    model->setChecked(fld::RadioBetrVMax, true);
    ASSERT_TRUE(waitFor([&] { return bus->mode(1) == 3; }, 10000));
    EXPECT_TRUE(core->VerbindenThread().Suspended());
    const size_t before = bus->record().size();
    core->Close();
    const auto r = bus->record();
    ASSERT_GE(r.size(), before + 2);
    // The last two telegrams: override 0, then no setpoint.
    const auto& a = r[r.size() - 2];
    const auto& b = r[r.size() - 1];
    EXPECT_EQ(a.command(), 0x0E);
    EXPECT_EQ(a.bytes[2], 0);
    EXPECT_EQ(b.command(), 0x25);
    EXPECT_EQ(b.bytes[2], 0xFF);
    EXPECT_EQ(b.bytes[3], 0xFF);
    EXPECT_EQ(bus->mode(1), 0);
    passVirtual(10 * 200);
    EXPECT_EQ(bus->record().size(), r.size());
    uint8_t d1, d2;
    EXPECT_FALSE(core->ZB.GetMode(d1, d2));
    EXPECT_EQ(bus->record().size(), r.size());
}

TEST_F(MainCoreSim, FailedOperationCycleEndsTheOperationMode)
{
    make(sim::BusOptions::WithControllers(1), 200);
    ASSERT_TRUE(connect());
    model->setChecked(fld::SpeedButtonBetrieb, true);
    core->Flows.Post("betrieb", [&] { core->SpeedButtonBetriebClick(); });
    ASSERT_TRUE(waitFor([&] { return core->VAVBetrieb.BetriebAktiv.load() && !core->BetriebThread().Suspended(); }, 10000));
    bus->removeController(1);
    ASSERT_TRUE(waitFor([&] { return !model->checked(fld::SpeedButtonBetrieb) && !core->VAVBetrieb.BetriebAktiv.load(); }, 20000));
    EXPECT_TRUE(t(fld::EditSerNr).isEmpty());
    ASSERT_TRUE(waitFor([&] { return !core->VerbindenThread().Suspended(); }, 10000));
    EXPECT_TRUE(core->BetriebThread().Suspended());
}

TEST_F(MainCoreSim, PollingAndUserActionsNeverInterleaveOnTheBus)
{
    clock = nullptr; // polling flat out in real time, against the flow
    make(sim::BusOptions::WithControllers(1), 1);
    ASSERT_TRUE(connect());
    // Polling runs flat out while a user flow reads and writes without pausing it.
    std::atomic<bool> done{false};
    core->Flows.Post("many", [&] {
        for (int i = 0; i < 30; ++i) {
            core->VAVBetrieb.ReadData();
            uint8_t b[7];
            core->ZB.ReadMem(0x0080, 7, b);
        }
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }, 60000));
    core->Close();
    const SimBus::SequenceCheck check = bus->checkSequential();
    EXPECT_TRUE(check.ok) << check.detail;
    EXPECT_GT(core->VerbindenThread().StepsRun(), 1);
    for (const auto& rec : bus->record())
        EXPECT_EQ(rec.outcome, sim::TelegramRecord::Outcome::Answered) << rec.describe();
}

TEST(MainCore, OnlineTimeText)
{
    EXPECT_EQ(TMainCore::OnlineText(1), "00:00:01");
    EXPECT_EQ(TMainCore::OnlineText(3661), "01:01:01");
    EXPECT_EQ(TMainCore::OnlineText(359999), "99:59:59");
}

TEST(TransferLog, KeepsLinesOnlyWhileShownAndDropsTheOlderHalf)
{
    WindowModel model(mainWindowFields());
    TTransferLog log(model);
    log.AddTransferLine("hidden");
    EXPECT_TRUE(model.items(fld::MemoCOMTransf).isEmpty());
    model.setVisible(fld::TabSheetTransfer, true);
    for (int i = 0; i < 501; ++i)
        log.AddTransferLine(QString::number(i));
    ASSERT_EQ(model.items(fld::MemoCOMTransf).size(), 501);
    log.AddTransferLine("next");
    const QStringList lines = model.items(fld::MemoCOMTransf);
    EXPECT_EQ(lines.size(), 251); // 501 - (501 / 2 + 1) + 1
    EXPECT_EQ(lines.first(), "251");
    EXPECT_EQ(lines.last(), "next");
    log.Clear();
    EXPECT_TRUE(model.items(fld::MemoCOMTransf).isEmpty());
}

TEST_F(MainCoreSim, StartUpCorrectsStoredTabAndAddress)
{
    make(sim::BusOptions::WithControllers(1), 100000);
    core->FormCreate();
    TStartupSettings st;
    st.Tabsheet = 4;
    st.ZBAdrIndex = 12;
    core->StartTimerTimer(st);
    EXPECT_EQ(model->itemIndex(fld::PageControl1), 3);
    EXPECT_FALSE(model->visible(fld::TabSheetTransfer));
    EXPECT_EQ(model->itemIndex(fld::ComboBoxZBAdress), 0);
    EXPECT_EQ(core->ZB.AdrIndex(), 0);
    EXPECT_FALSE(model->visible(fld::PanelBetrieb));
    ASSERT_TRUE(core->Flows.WaitIdle(20000));
    EXPECT_EQ(t(fld::EditSerNr), "00812-04711-003-001");
    // The Transfer display: shown, one empty line, the previous tab active again.
    core->SuspendVerbindenThread(); // no poll telegrams in the log meanwhile
    core->SetTransferDisplay(true);
    EXPECT_TRUE(model->visible(fld::TabSheetTransfer));
    EXPECT_EQ(model->itemIndex(fld::PageControl1), 3);
    EXPECT_EQ(model->items(fld::MemoCOMTransf), QStringList{QString()});
    core->SetTransferDisplay(false);
    EXPECT_FALSE(model->visible(fld::TabSheetTransfer));
}

TEST_F(MainCoreSim, ReadAndWriteButtons)
{
    make(sim::BusOptions::WithControllers(1), 300);
    ASSERT_TRUE(connect());
    model->setText(fld::EditPositionInput, "Büro 12");
    core->AnzConfPcHwEqual(core->VAVBetrieb.IsPcHwEqual());
    EXPECT_TRUE(model->visible(fld::ImageNotEqual));
    ASSERT_TRUE(core->ButtonSetzenClick());
    const auto text = bus->peek(1, 0x0080, 16);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(text.data()), 16), QByteArray("B\xFCro 12         "));
    EXPECT_TRUE(model->visible(fld::ImageEqual));
    EXPECT_FALSE(core->VerbindenThread().Suspended()); // polling goes on afterwards
    EXPECT_TRUE(model->caption(fld::PanelProgStatus).isEmpty());

    bus->withController(1, [](sim::Controller& c) { c.setText16(0x0080, "Flur"); });
    ASSERT_TRUE(core->ButtonLesenClick());
    EXPECT_EQ(t(fld::EditPositionInput), "Flur");
    EXPECT_TRUE(core->DataRead.load());
    EXPECT_TRUE(model->visible(fld::ImageEqual));
}

TEST(MainCoreViews, SensorViewsFollowFunctionAndSensorType)
{
    WindowModel model(mainWindowFields());
    TMainCore core(model, std::make_unique<sim::SimTransport>(std::make_shared<SimBus>()));
    core.UpdateSensorViews();
    // DPK pressure sensor, volume flow: density, conductance and sensor value; no altitude.
    EXPECT_TRUE(model.visible(fld::EditDichte));
    EXPECT_TRUE(model.visible(fld::GroupBoxVAVLeitwert));
    EXPECT_TRUE(model.visible(fld::EditSensorValue));
    EXPECT_FALSE(model.visible(fld::EditHoeheAnz));
    EXPECT_TRUE(model.visible(fld::ButtonCalculateDichte));
    // The sensor choice drives it through its change rule.
    model.setChecked(fld::RadioButtonSensTypDSK3Druck, true, Origin::User);
    EXPECT_TRUE(model.visible(fld::EditHoeheAnz));
    model.setChecked(fld::RadioButtonSensTypVolumenstr, true, Origin::User);
    EXPECT_FALSE(model.visible(fld::EditDichte));
    EXPECT_FALSE(model.visible(fld::EditHoeheAnz));
    EXPECT_FALSE(model.visible(fld::ButtonCalculateDichte));
    // Pressure function: no density even with a pressure sensor.
    core.Ctx.ReglerFkt = 2;
    model.setChecked(fld::RadioButtonSensTypDruck, true, Origin::User);
    EXPECT_FALSE(model.visible(fld::EditDichte));
    EXPECT_FALSE(model.visible(fld::GroupBoxVAVLeitwert));
}

TEST(PortChoice, StoredPortMissingOnFirstStart)
{
    using A = TPortChoice::Action;
    const QStringList none;
    const QStringList onboard{"/dev/ttyS0"};
    const QStringList oneUsb{"/dev/ttyS0", "/dev/ttyUSB0"};
    const QStringList twoUsb{"/dev/ttyACM0", "/dev/ttyUSB0"};
    struct Case {
        const char* stored;
        QStringList present;
        bool exists;
        A action;
        const char* port;
    } cases[] = {
        {"/dev/ttyS1", {"/dev/ttyS0", "/dev/ttyS1"}, true, A::UseStored, ""},
        {"/dev/ttyUSB0", oneUsb, true, A::UseStored, ""},
        {"/tmp/sim-link", none, true, A::UseStored, ""},   // a link or a pseudo-terminal: never listed
        {"/dev/ttyS1", none, true, A::Keep, ""},           // a ttyS node without hardware
        {"/dev/ttyS1", none, false, A::Keep, ""},
        {"/dev/ttyS1", oneUsb, true, A::Pick, "/dev/ttyUSB0"},
        {"/dev/ttyUSB3", {"/dev/ttyACM0"}, false, A::Pick, "/dev/ttyACM0"},
        {"/dev/ttyS1", twoUsb, false, A::Ask, ""},
        {"/dev/ttyS1", onboard, false, A::Ask, ""},
    };
    for (const Case& c : cases) {
        const TPortChoice r = ChoosePort(QString::fromLatin1(c.stored), c.present, c.exists);
        SCOPED_TRACE(std::string(c.stored) + " among " + c.present.join(',').toStdString());
        EXPECT_EQ(r.action, c.action);
        EXPECT_EQ(r.port, QString::fromLatin1(c.port));
        EXPECT_EQ(r.ports, c.action == A::Ask ? c.present : QStringList());
    }
}

TEST_F(MainCoreSim, Dsk3SensorTypeOnlyFromFirmware0308)
{
    // FirmwareNr is the hex text read as a decimal number: 0307 is 307, 0308 is 308.
    const struct {
        uint16_t firmware;
        bool dsk3Shown;
    } cases[] = {{0x0220, false}, {0x0307, false}, {0x0308, true}, {0x0412, true}};
    for (const auto& c : cases) {
        sim::BusOptions opts = sim::BusOptions::WithControllers(1);
        opts.controllers[0].firmware = c.firmware;
        make(opts, 100000);
        core->FormCreate();
        model->setChecked(fld::RadioButtonSensTypDSK3Druck, true, Origin::User);
        // The connect reads the calibration record too: a controller that has the DSK3 type
        // reports it (pressure sensor family 2).
        if (c.dsk3Shown)
            bus->poke(1, 0x0020, {2});
        ASSERT_TRUE(connect()) << std::hex << c.firmware;
        EXPECT_EQ(core->VAVBetrieb.GetFirmwareNr(), QString::number(c.firmware, 16).toInt()) << std::hex << c.firmware;
        EXPECT_EQ(model->visible(fld::RadioButtonSensTypDSK3Druck), c.dsk3Shown) << std::hex << c.firmware;
        EXPECT_EQ(model->checked(fld::RadioButtonSensTypDSK3Druck), c.dsk3Shown) << std::hex << c.firmware;
        EXPECT_EQ(model->checked(fld::RadioButtonSensTypDruck), !c.dsk3Shown) << std::hex << c.firmware;
        // The sensor views follow the choice the firmware forced.
        EXPECT_EQ(model->visible(fld::EditHoeheAnz), c.dsk3Shown) << std::hex << c.firmware;
        core.reset();
    }
}

TEST_F(MainCoreSim, StartUpPreparesFoldersAndFields)
{
    QTemporaryDir home;
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    ResetToolIniRecords();
    IniBetrieb.VmaxPrz = 9000;
    IniBetrieb.PositionText = QStringLiteral("Aus den Einstellungen");
    IniOem.Leitwert = 2800; // the calibration record shows it as the active conductance
    PublishToolIni(); // the device records read the published settings
    // No controller answers: the fields keep what the start-up put there.
    make(sim::BusOptions::WithControllers(1), 100000);
    bus->removeController(1);
    // The operating record took the BETRIEB defaults when it was made.
    EXPECT_EQ(core->VAVBetrieb.BetrData.VmaxPrz, 9000);
    core->FormCreate();
    core->StartTimerTimer(TStartupSettings::FromToolIni());
    ASSERT_TRUE(core->Flows.WaitIdle(20000));
    EXPECT_EQ(t(fld::EditVAVLwErmittelt), "28.00"); // copied before the device info was cleared
    EXPECT_TRUE(t(fld::EditVAVLwAktiv).isEmpty());
    EXPECT_EQ(t(fld::EditVmaxPrz), "90.00");
    EXPECT_EQ(t(fld::EditPositionInput), "Aus den Einstellungen");
    EXPECT_EQ(IniPath.LogDatei, home.path() + "/Kadex_Logs");
    EXPECT_EQ(IniPath.DefaultDatei, home.path() + "/Kadex_Defaults");
    EXPECT_TRUE(QFileInfo(IniPath.LogDatei).isDir());
    EXPECT_TRUE(QFileInfo(IniPath.DefaultDatei).isDir());
    // A folder the user chose stays.
    IniPath.LogDatei = home.path() + "/mine";
    core->StartTimerTimer(TStartupSettings::FromToolIni());
    EXPECT_EQ(IniPath.LogDatei, home.path() + "/mine");
    EXPECT_TRUE(QFileInfo(IniPath.LogDatei).isDir());
    core.reset();
    ResetToolIniRecords();
    qputenv("XDG_DATA_HOME", oldXdg);
}

// The stored controller function is applied at start-up, before the first connect.
TEST_F(MainCoreSim, StartUpAppliesTheStoredFunction)
{
    ResetToolIniRecords();
    make(sim::BusOptions::WithControllers(1), 100000);
    bus->removeController(1);
    core->FormCreate();
    TStartupSettings st = TStartupSettings::FromToolIni();
    st.ReglerFkt = 2;
    core->StartTimerTimer(st);
    ASSERT_TRUE(core->Flows.WaitIdle(20000));
    EXPECT_EQ(core->Ctx.ReglerFkt.load(), 2);
    EXPECT_TRUE(model->checked(fld::RadioButtonDruckanwendung));
    EXPECT_EQ(model->caption(fld::LabelVnomM3), "P'nom");
    EXPECT_EQ(model->text(kStatusFunction), "Druck ");
    EXPECT_FALSE(model->visible(fld::PanelVmid));
    EXPECT_FALSE(model->enabled(fld::RadioButtonSensTypVolumenstr));
}

// Address changes raced against the connection step: the change pauses the step before it
// switches, so one step's telegrams, from its mode query to its identity query, all go to one
// address.
TEST_F(MainCoreSim, AddressChangeNeverSplitsAPollingStep)
{
    const uint32_t seed = qEnvironmentVariableIsSet("KADEX_SEED") ? qEnvironmentVariableIntValue("KADEX_SEED") : 20261210;
    const int iterations = qEnvironmentVariableIsSet("KADEX_ITERATIONS") ? qEnvironmentVariableIntValue("KADEX_ITERATIONS") : 12;
    std::mt19937 rng(seed);
    clock = nullptr; // steps back to back in real time, raced by the changes
    make(sim::BusOptions::WithControllers(2), 1); // ZB1, ZB2
    model->setItemIndex(fld::ComboBoxZBAdress, 1);
    core->ZB.SetAdrIndex(1);
    ASSERT_TRUE(connect());
    for (int i = 0; i < iterations; ++i) {
        std::this_thread::sleep_for(milliseconds(rng() % 40));
        model->setItemIndex(fld::ComboBoxZBAdress, 1 + static_cast<int>(rng() % 2), Origin::User);
        ASSERT_TRUE(core->Flows.WaitIdle(30000));
    }
    core->SuspendVerbindenThread();
    const auto r = bus->record();
    int steps = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        if (r[i].command() != 0x4B)
            continue;
        ++steps;
        for (size_t j = i + 1; j < r.size() && r[j].command() != 0x4B; ++j) {
            ASSERT_EQ(r[j].pattern(), r[i].pattern()) << "step at " << i << " split at " << j << ": " << r[j].describe();
            if (r[j].command() == 0x32)
                break;
        }
    }
    EXPECT_GE(steps, 3); // steps ran between the changes
}
