// The identification's motor stop never outlives it: a fault at each of its telegrams, or a
// cancel, leaves the simulated controller in mode 0, or the release stays owed and the next
// contact delivers it.
#include "QtPrinters.h"
#include "device/Identify.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace kadex;
using sim::SimBus;

namespace {

// The simulator's port; before each telegram reaches the bus, a hook may put a fault on the
// controller (so the fault hits exactly that telegram) or cancel the identification.
class StepTransport final : public ITransport {
public:
    explicit StepTransport(std::shared_ptr<SimBus> bus) : inner_(std::move(bus)) {}
    std::function<void(int)> beforeTelegram;
    int telegrams = 0;
    void setRxHandler(RxHandler h) override { inner_.setRxHandler(std::move(h)); }
    void setLostHandler(LostHandler h) override { inner_.setLostHandler(std::move(h)); }
    void configure(const PortSettings& s) override { inner_.configure(s); }
    bool open(QString& error) override { return inner_.open(error); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    QString setDtrRts() override { return inner_.setDtrRts(); }
    bool write(const uint8_t* data, size_t count) override
    {
        ++telegrams;
        if (beforeTelegram)
            beforeTelegram(telegrams);
        return inner_.write(data, count);
    }
    void discardInput() override { inner_.discardInput(); }
    bool devicePresent(const QString& p) const override { return inner_.devicePresent(p); }

private:
    sim::SimTransport inner_;
};

enum class Hit { Refused, Silent, Cancel };

struct Rig {
    Rig()
    {
        bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(1));
        auto t = std::make_unique<StepTransport>(bus);
        link = t.get();
        com = std::make_unique<TComForm>(std::move(t));
        EXPECT_TRUE(com->OpenPort());
        zb = std::make_unique<TZBCmd>(*com);
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        ctx = std::make_unique<TDeviceContext>(*zb, *model);
        rec = std::make_unique<TVAVBetrieb>(*ctx);
    }
    // From telegram k of the next identification on: 3 refused or unanswered answers (every
    // attempt of one transaction), or a cancel.
    void hitAt(int k, Hit hit)
    {
        const int base = link->telegrams;
        link->beforeTelegram = [this, k, hit, base](int n) {
            if (n != base + k)
                return;
            if (hit == Hit::Cancel)
                rec->IdentStop.RequestCancel();
            else
                bus->addFault(1, sim::Fault{hit == Hit::Refused ? sim::FaultKind::ErrorBit : sim::FaultKind::NoAnswer, 3});
        };
    }
    std::shared_ptr<SimBus> bus;
    StepTransport* link = nullptr;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TDeviceContext> ctx;
    std::unique_ptr<TVAVBetrieb> rec;
};

} // namespace

TEST(IdentifyRelease, AFaultOrACancelAtEachTelegramNeverLeavesTheMotorStopped)
{
    // How many telegrams a clean identification sends.
    int clean = 0;
    {
        Rig r;
        ASSERT_TRUE(r.rec->Identify());
        clean = r.link->telegrams;
        ASSERT_GE(clean, 10);
        EXPECT_EQ(r.bus->mode(1), 0);
    }
    int owed = 0, releasedAtOnce = 0;
    for (const Hit hit : {Hit::Refused, Hit::Silent, Hit::Cancel}) {
        for (int k = 1; k <= clean; ++k) {
            SCOPED_TRACE(testing::Message() << "hit " << static_cast<int>(hit) << " at telegram " << k);
            Rig r;
            r.hitAt(k, hit);
            // A cancel as the firmware telegram goes out comes after the release: nothing to end.
            EXPECT_EQ(r.rec->Identify(), hit == Hit::Cancel && k == clean);
            r.link->beforeTelegram = nullptr;
            r.rec->IdentStop.ClearCancel();
            if (!r.rec->IdentStop.Held()) {
                EXPECT_EQ(r.bus->mode(1), 0);
                ++releasedAtOnce;
                continue;
            }
            ++owed;
            // The next contact sends it: the next identification ends with it ...
            EXPECT_TRUE(r.rec->Identify());
            EXPECT_EQ(r.bus->mode(1), 0);
            EXPECT_FALSE(r.rec->IdentStop.Held());
        }
    }
    // Owed: the refused and the unanswered release, and the unanswered stop (it may have been
    // taken); everything else releases at once.
    EXPECT_EQ(owed, 3);
    EXPECT_EQ(releasedAtOnce, 3 * clean - 3);
}

TEST(IdentifyRelease, OwedReleaseIsSentAtTheNextConnectAndWhenTheCoreCloses)
{
    // A controller that goes away in the middle of the identification, after the stop.
    for (const bool closeInstead : {false, true}) {
        SCOPED_TRACE(closeInstead ? "closing" : "next connect");
        auto bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(1));
        auto t = std::make_unique<StepTransport>(bus);
        StepTransport* link = t.get();
        WindowModel model(mainWindowFields());
        TMainCore core(model, std::move(t));
        ASSERT_TRUE(core.Com.OpenPort());
        link->beforeTelegram = [&](int n) {
            if (n == 3)
                bus->removeController(1);
        };
        EXPECT_FALSE(core.COMVerbinden());
        link->beforeTelegram = nullptr;
        ASSERT_EQ(bus->mode(1), 10);
        ASSERT_TRUE(core.VAVBetrieb.IdentStop.Held());
        bus->insertController(1); // powers up in its memory state: the stop is kept
        bus->setMode(1, 10);
        if (closeInstead) {
            core.Close();
        } else {
            EXPECT_TRUE(core.COMVerbinden());
        }
        EXPECT_EQ(bus->mode(1), 0);
        EXPECT_FALSE(core.VAVBetrieb.IdentStop.Held());
        core.Close();
    }
}

TEST(IdentifyRelease, PlainIdentificationReleasesAfterAFailedStep)
{
    // The variant without the record (kadex-cli identify), seeded over random steps.
    std::mt19937 rng(17);
    for (int i = 0; i < 8; ++i) {
        auto bus = std::make_shared<SimBus>(sim::BusOptions::WithControllers(1));
        auto t = std::make_unique<StepTransport>(bus);
        StepTransport* link = t.get();
        TComForm com(std::move(t));
        ASSERT_TRUE(com.OpenPort());
        TZBCmd zb(com);
        const int k = 2 + static_cast<int>(rng() % 12); // after the stop, before the release
        link->beforeTelegram = [&](int n) {
            if (n == k)
                bus->addFault(1, sim::Fault{sim::FaultKind::ErrorBit, 3});
        };
        IdentInfo info;
        TIdentStop stop;
        EXPECT_FALSE(IdentifyDevice(zb, true, info, &stop)) << k;
        EXPECT_EQ(bus->mode(1), 0) << k;
        EXPECT_FALSE(stop.Held()) << k;
    }
}
