// Prints how long the bus scan (PP and ZB1..ZB8) takes against the simulated bus with wire
// timing at 38400 baud: an empty bus and a full one (eight controllers), each beside the wire
// floor of its telegrams (bytes on the wire, the controllers' turnaround, the 20 ms pause after
// each answered transaction) and beside what the silent addresses cost by the scan's rule (one
// short attempt and the quiet guard). For comparison: nine full identifications on the full bus,
// and what asking an empty bus address by address costs with three full attempts each.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "device/Identify.h"
#include "core/BusScan.h"
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

struct Figures {
    double meanMs = 0, minMs = 0, maxMs = 0;
    size_t telegrams = 0, answered = 0, bytes = 0;
    double floorMs = 0;
    int found = 0;
};

template <class Run>
Figures measure(sim::SimBus& bus, uint32_t turnaroundUs, int runs, Run run)
{
    Figures f;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        bus.clearRecord();
        const auto t0 = Clock::now();
        f.found = run();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    double sum = 0;
    for (double m : ms)
        sum += m;
    f.meanMs = sum / runs;
    f.minMs = *std::min_element(ms.begin(), ms.end());
    f.maxMs = *std::max_element(ms.begin(), ms.end());
    for (const sim::TelegramRecord& t : bus.record()) {
        ++f.telegrams;
        f.bytes += t.bytes.size() + t.answer.size();
        f.floorMs += (t.bytes.size() + t.answer.size()) * 10.0 * 1000.0 / kBaud;
        if (t.answered()) {
            ++f.answered;
            f.floorMs += turnaroundUs / 1000.0 + TZBCmd::PauseMs;
        }
    }
    return f;
}

void print(const char* what, const Figures& f, int runs, double silentCostMs, int silent)
{
    std::printf("%s (%d runs)\n", what, runs);
    std::printf("  controllers found:       %d\n", f.found);
    std::printf("  telegrams:               %zu (%zu answered), %zu bytes on the wire\n", f.telegrams, f.answered,
                f.bytes);
    std::printf("  measured:                mean %.0f ms (min %.0f, max %.0f)\n", f.meanMs, f.minMs, f.maxMs);
    std::printf("  wire floor:              %.1f ms\n", f.floorMs);
    if (silent > 0)
        std::printf("  silent addresses:        %d x %.0f ms (short attempt + quiet guard) = %.0f ms\n", silent,
                    silentCostMs, silent * silentCostMs);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    sim::BusOptions opts = sim::BusOptions::WithControllers(8);
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
    const double silentMs = ScanTimeoutMs(kBaud) + zb.GuardMs;
    const auto scan = [&] {
        int found = 0;
        for (const ScanEntry& e : ScanBus(zb).entries)
            found += e.state == ScanEntry::State::Present;
        return found;
    };
    const int runs = 3;
    std::printf("Bus scan at %d baud, wire timing, turnaround %.1f ms; short attempt %u ms, quiet guard %u ms\n\n",
                kBaud, turnaroundUs / 1000.0, ScanTimeoutMs(kBaud), zb.GuardMs);

    const Figures full = measure(*bus, turnaroundUs, runs, scan);
    print("Full bus: eight controllers on ZB1..ZB8, PP empty", full, runs, silentMs, 1);

    const Figures nine = measure(*bus, turnaroundUs, 1, [&] {
        int found = 0;
        for (int i = 0; i <= 8; ++i) {
            zb.SetAdrIndex(static_cast<uint8_t>(i == 0 ? 1 : i));
            IdentInfo info;
            found += IdentifyDevice(zb, true, info);
        }
        return found;
    });
    print("For comparison: nine full identifications on the full bus", nine, 1, 0, 0);

    for (int slot = 1; slot <= 8; ++slot)
        bus->removeController(slot);
    const Figures empty = measure(*bus, turnaroundUs, runs, scan);
    print("Empty bus", empty, runs, silentMs, 9);
    std::printf("Asking the empty bus address by address with three full attempts each: 9 x 3 x (%u + %u) ms = "
                "%.1f s\n",
                zb.TimeoutMs, zb.GuardMs, 9 * 3 * (zb.TimeoutMs + zb.GuardMs) / 1000.0);
    return full.found == 8 && empty.found == 0 ? 0 : 1;
}
