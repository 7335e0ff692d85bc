// Prints how long the identification plus the operating-data read, and the whole read of the
// three records ("Lesen"), take against the simulated controller with wire timing at 38400
// baud, beside the physical floor of the same telegrams: their bytes on the wire (the echo arrives while the request is sent, so request and answer
// bytes count), the controller's turnaround before each answer and the tool's 20 ms pause
// after each transaction.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "device/DeviceContext.h"
#include "device/OEMData.h"
#include "device/QVData.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"
#include "sim/SimBus.h"
#include "sim/SimTransport.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace kadex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBaud = 38400;
constexpr double kPauseMs = 20.0; // after every transaction (Transact)

struct Floor {
    size_t telegrams = 0;
    size_t answered = 0;
    size_t bytes = 0;
    double ms = 0;
};

Floor floorOf(const std::vector<sim::TelegramRecord>& rec, uint32_t turnaroundUs)
{
    Floor f;
    for (const sim::TelegramRecord& t : rec) {
        ++f.telegrams;
        f.bytes += t.bytes.size() + t.answer.size();
        double ms = (t.bytes.size() + t.answer.size()) * 10.0 * 1000.0 / kBaud + kPauseMs;
        if (t.answered()) {
            ++f.answered;
            ms += turnaroundUs / 1000.0;
        }
        f.ms += ms;
    }
    return f;
}

template <class Run>
bool measure(const char* what, int runs, sim::SimBus& bus, uint32_t turnaroundUs, Run run)
{
    std::vector<double> measured;
    Floor floor;
    for (int i = 0; i < runs; ++i) {
        bus.clearRecord();
        const auto t0 = Clock::now();
        const bool ok = run();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (!ok) {
            std::printf("%s, run %d: failed\n", what, i + 1);
            return false;
        }
        measured.push_back(ms);
        const Floor f = floorOf(bus.record(), turnaroundUs);
        if (i > 0 && (f.telegrams != floor.telegrams || f.bytes != floor.bytes))
            std::printf("note: run %d had %zu telegrams, %zu bytes (run 1: %zu, %zu)\n", i + 1, f.telegrams, f.bytes,
                        floor.telegrams, floor.bytes);
        floor = f;
    }

    double sum = 0;
    for (double m : measured)
        sum += m;
    const double mean = sum / runs;
    const auto [lo, hi] = std::minmax_element(measured.begin(), measured.end());
    const double perTransaction = (mean - floor.ms) / static_cast<double>(floor.telegrams);

    std::printf("%s, simulated controller, wire timing %d baud, turnaround %.1f ms, %d runs\n", what, kBaud,
                turnaroundUs / 1000.0, runs);
    std::printf("  telegrams per run:       %zu (%zu answered), %zu bytes on the wire (requests + answers)\n",
                floor.telegrams, floor.answered, floor.bytes);
    std::printf("  measured:                mean %.1f ms (min %.1f, max %.1f)\n", mean, *lo, *hi);
    std::printf("  physical floor:          %.1f ms (bytes %.1f ms + turnaround %.1f ms + pauses %.1f ms)\n", floor.ms,
                floor.bytes * 10.0 * 1000.0 / kBaud, floor.answered * turnaroundUs / 1000.0,
                floor.telegrams * kPauseMs);
    std::printf("  difference:              %.1f ms in all, %.2f ms per transaction\n\n", mean - floor.ms, perTransaction);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    sim::BusOptions opts = sim::BusOptions::WithControllers(1);
    opts.wireTiming = true;
    opts.baud = kBaud;
    const uint32_t turnaroundUs = opts.turnaroundUs;
    auto bus = std::make_shared<sim::SimBus>(opts);

    TComForm com(std::make_unique<sim::SimTransport>(bus));
    com.SetBaudRate(kBaud);
    if (!com.OpenPort()) {
        std::printf("cannot open the simulated port\n");
        return 1;
    }
    TZBCmd zb(com);
    WindowModel model(mainWindowFields());
    TDeviceContext ctx(zb, model);
    TVAVBetrieb record(ctx);

    TOEMData oem(ctx, record);
    TQVData qv(ctx, record);
    if (!record.Identify()) {
        std::printf("identification failed\n");
        return 1;
    }

    const int runs = 10;
    // The identification plus the operating data, and the whole "Lesen" chain (operating
    // data, calibration configuration, controller parameters) on an identified controller.
    const bool ok = measure("Identify + ReadData", runs, *bus, turnaroundUs, [&] { return record.Identify() && record.ReadData(); }) &&
                    measure("\"Lesen\" (three records)", runs, *bus, turnaroundUs,
                            [&] { return record.ReadData() && oem.ReadConfig() && qv.ReadConfig(); });
    return ok ? 0 : 1;
}
