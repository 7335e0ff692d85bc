// The live plot's sample buffer: one sample per operation cycle, taken from what the operation
// step wrote into the model, bounded in time and count, pausable, and its CSV text.
#include "QtPrinters.h"
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "device/DeviceContext.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowFields.h"
#include "core/LiveSamples.h"
#include "sim/SimBus.h"
#include "sim/SimClock.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>

using namespace kadex;

namespace {

struct Harness {
    WindowModel model{mainWindowFields()};
    std::atomic<int> steps{0};
    std::atomic<bool> running{false};
    int64_t now = 1765363752000; // 2025-12-10T10:49:12.000Z
    LiveSamplesOptions options;
    std::unique_ptr<LiveSamples> buf;

    explicit Harness(LiveSamplesOptions o = {}) : options(o)
    {
        model.setMisuse(WindowModel::Misuse::Throw);
        buf = std::make_unique<LiveSamples>(
            model, [this] { return steps.load(); }, [this] { return running.load(); }, options,
            [this] { return now; });
    }
    void operation(bool on) { model.setChecked(fld::SpeedButtonBetrieb, on, Origin::User); }
    // One operation cycle as the step writes it, then the period until the next.
    void cycle(const char* sollw, const char* istw, const char* klappe, const char* druck)
    {
        running = true;
        model.setText(fld::EditBetrIstwPrz, QString::fromUtf8(istw));
        model.setText(fld::EditBetrSollwPrz, QString::fromUtf8(sollw));
        model.setText(fld::EditBetrMotRueckPrz, QString::fromUtf8(klappe));
        model.setText(fld::EditSensorValue, QString::fromUtf8(druck));
        EXPECT_FALSE(buf->Poll()) << "no sample while the step runs";
        ++steps;
        running = false;
        now += 2000;
    }
};

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

} // namespace

TEST(LiveSamples, OneSamplePerCycleOnlyWhileOperating)
{
    Harness h;
    h.cycle("10", "10", "5.0", "12"); // connection polling: not sampled
    EXPECT_FALSE(h.buf->Poll());
    h.operation(true);
    EXPECT_FALSE(h.buf->Poll()) << "no cycle has ended since the start";

    struct Row {
        const char *sollw, *istw, *klappe, *druck;
        double s, i, k, p;
    };
    const double none = std::nan("");
    const Row rows[] = {
        {"40", "38", "41.5", "55", 40, 38, 41.5, 55},
        {"40", "38", "41.5", "55", 40, 38, 41.5, 55}, // nothing changed: still one sample
        {"---", "0", "0.0", "0", none, 0, 0, 0},
        {"37.50", "36", "100.0", "120", 37.5, 36, 100, 120},
    };
    int64_t t0 = h.now;
    for (const Row& r : rows) {
        h.cycle(r.sollw, r.istw, r.klappe, r.druck);
        EXPECT_TRUE(h.buf->Poll());
        EXPECT_FALSE(h.buf->Poll()) << "the same cycle twice";
    }
    const auto got = h.buf->Samples();
    ASSERT_EQ(got.size(), std::size(rows));
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(same(got[i].setpointPrz, rows[i].s)) << i;
        EXPECT_EQ(got[i].actualPrz, rows[i].i) << i;
        EXPECT_EQ(got[i].damperPrz, rows[i].k) << i;
        EXPECT_EQ(got[i].pressure, rows[i].p) << i;
        EXPECT_EQ(got[i].msSinceEpoch, t0 + 2000 * int64_t(i + 1)) << i;
    }

    // Several cycles between two polls: one sample. No pressure sensor: no pressure.
    h.model.setVisible(fld::EditSensorValue, false);
    h.cycle("1", "2", "3.0", "4");
    h.cycle("5", "6", "7.0", "8");
    EXPECT_TRUE(h.buf->Poll());
    EXPECT_EQ(h.buf->Samples().back().actualPrz, 6);
    EXPECT_TRUE(std::isnan(h.buf->Samples().back().pressure));

    // Released: no more samples, but the run stays for an export until the next run begins.
    h.operation(false);
    h.cycle("9", "9", "9.0", "9");
    EXPECT_FALSE(h.buf->Poll());
    EXPECT_EQ(h.buf->Size(), std::size(rows) + 1);
    h.operation(true);
    EXPECT_EQ(h.buf->Size(), std::size(rows) + 1);
    h.cycle("9", "9", "9.0", "9");
    EXPECT_TRUE(h.buf->Poll());
    EXPECT_EQ(h.buf->Size(), 1u);
}

TEST(LiveSamples, PauseTakesNothingAndContinuesWithTheNextCycle)
{
    Harness h;
    h.operation(true);
    h.buf->SetPaused(true);
    h.cycle("2", "2", "2.0", "2");
    EXPECT_FALSE(h.buf->Poll());
    h.buf->SetPaused(false);
    EXPECT_FALSE(h.buf->Poll()) << "the cycles run while paused are not sampled afterwards";
    h.cycle("4", "4", "4.0", "4");
    ASSERT_TRUE(h.buf->Poll());
    ASSERT_EQ(h.buf->Size(), 1u);
    EXPECT_EQ(h.buf->Samples()[0].actualPrz, 4);
}

TEST(LiveSamples, BoundedByWindowAndCount)
{
    // Seeded random cycle lengths: the buffer never holds a sample older than the window
    // (from the newest) nor more than maxSamples, and always the newest ones in order.
    LiveSamplesOptions o;
    o.windowSeconds = 60;
    o.maxSamples = 25;
    Harness h(o);
    h.operation(true);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> gap(1, 4000);
    std::vector<int64_t> all;
    for (int i = 0; i < 500; ++i) {
        h.cycle("1", std::to_string(i).c_str(), "1.0", "1");
        h.now += gap(rng) - 2000;
        ASSERT_TRUE(h.buf->Poll());
        all.push_back(h.now);
        const auto got = h.buf->Samples();
        ASSERT_EQ(got.back().actualPrz, i);
        ASSERT_GE(got.front().msSinceEpoch, h.now - 60000);
        // Nothing the window and the count allow was dropped.
        const size_t expected = std::min<size_t>(
            25, size_t(std::count_if(all.begin(), all.end(), [&](int64_t t) { return t >= h.now - 60000; })));
        ASSERT_EQ(got.size(), expected) << i;
        for (size_t k = 1; k < got.size(); ++k)
            ASSERT_EQ(got[k].actualPrz, got[k - 1].actualPrz + 1);
    }
}

TEST(LiveSamples, CsvText)
{
    const double none = std::nan("");
    struct Row {
        LiveSample s;
        const char* line;
    };
    const Row rows[] = {
        {{1765363752000, 40, 38, 41.5, 55}, "2025-12-10T10:49:12.000Z,40,38,41.5,55"},
        {{1765363754007, none, 0, 0, none}, "2025-12-10T10:49:14.007Z,,0,0,"},
        {{1765363756999, 37.25, 100, 99.9, 1234567}, "2025-12-10T10:49:16.999Z,37.25,100,99.9,1234567"},
    };
    std::vector<LiveSample> samples;
    QStringList expected{"time,setpoint_percent,actual_percent,damper_percent,pressure_uPSI"};
    for (const Row& r : rows) {
        samples.push_back(r.s);
        expected << QString::fromUtf8(r.line);
    }
    EXPECT_EQ(LiveSamplesCsv(samples, QStringLiteral("uPSI")), expected);
}

// The operation cycle against the simulated controller with pinned live cells: the buffer
// holds exactly what the controller reported, one sample per cycle.
TEST(LiveSamplesSim, HoldsTheSimulatorsValues)
{
    using namespace sim::mem;
    auto clock = std::make_shared<sim::ManualClock>();
    sim::BusOptions opts = sim::BusOptions::WithControllers(1);
    opts.clock = clock;
    auto bus = std::make_shared<sim::SimBus>(opts);
    TComForm com(std::make_unique<sim::SimTransport>(bus));
    ASSERT_TRUE(com.OpenPort());
    TZBCmd zb(com);
    WindowModel model(mainWindowFields());
    model.setMisuse(WindowModel::Misuse::Throw);
    TDeviceContext ctx(zb, model);
    TVAVBetrieb rec(ctx);
    rec.InitBetriebData(TBetrData{});
    // V'min 0 %, V'max 100 %: the shown Auto setpoint is the device's setpoint in percent.
    bus->poke(1, VLevels, {0x00, 0x00, 0x13, 0x88, 0x27, 0x10});
    ASSERT_TRUE(rec.Identify());

    int steps = 0;
    LiveSamples buf(model, [&] { return steps; });
    model.setChecked(fld::SpeedButtonBetrieb, true);
    ASSERT_TRUE(rec.StartBetrieb());

    struct Expect {
        double s, i, k, p;
    };
    std::vector<Expect> expected;
    std::mt19937 rng(11);
    for (int cycle = 0; cycle < 15; ++cycle) {
        const int setpoint = std::uniform_int_distribution<int>(0, 100)(rng) * 100;
        const int damper = std::uniform_int_distribution<int>(0, 1000)(rng) * 10;
        const int pressure = std::uniform_int_distribution<int>(0, 900)(rng);
        bus->withController(1, [&](sim::Controller& c) {
            c.pinReportedSetpoint(setpoint);
            c.pinLive(MotorPosition, uint16_t(damper));
            c.pinLive(SensorPressure, uint16_t(pressure));
        });
        // Auto shows the device's setpoint; Variabel keeps the typed one and moves the damper.
        const bool variabel = cycle % 2 == 1;
        if (variabel)
            model.setText(fld::EditBetrSollwPrz, QString::number(setpoint / 100), Origin::User);
        clock->advanceMs(2000);
        ASSERT_TRUE(rec.SetBetriebsart(variabel ? ChoiceVariabel : ChoiceAuto));
        ++steps;
        double actual = 0;
        bus->withController(1, [&](sim::Controller& c) { actual = c.actualPercent(); });
        ASSERT_TRUE(buf.Poll());
        // The actual value travels as hundredths and is shown as a whole percent.
        expected.push_back({setpoint / 100.0, QString::number(std::lround(actual * 100) / 100.0, 'f', 0).toDouble(), damper / 100.0,
                            double(pressure)});
    }
    const auto got = buf.Samples();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_NE(expected.front().i, expected.back().i) << "the actual value moved meanwhile";
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].setpointPrz, expected[i].s) << i;
        EXPECT_EQ(got[i].actualPrz, expected[i].i) << i;
        EXPECT_EQ(got[i].damperPrz, expected[i].k) << i;
        EXPECT_EQ(got[i].pressure, expected[i].p) << i;
    }
}
