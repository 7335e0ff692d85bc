// Seeded fault soak of the transaction against the in-process simulator, on virtual time: late,
// lost, split and surplus answers, corrupted bytes and noise between telegrams. Prints per run the
// telegrams, the failures detected (commands that returned false) and the wrong values accepted
// (commands that returned true with values the simulated controller does not hold). The last row
// repeats the first seed without the quiet guard, to show what it is for.
//   bench_soak [TELEGRAMS_PER_RUN=5000] [RUNS=4] [FAULT_SCALE=1]
// KADEX_SOAK_VERBOSE=1 prints the trace around every wrong value.
#include "tests/Soak.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace kadex::test;

int main(int argc, char** argv)
{
    const size_t perRun = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 5000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 4;
    const double scale = argc > 3 ? std::atof(argv[3]) : 1.0;
    std::printf("fault rates x %.2f\n", scale);
    std::printf("%-22s %9s %10s %9s %9s %7s %12s %8s\n", "run", "commands", "telegrams", "faulted", "failures",
                "wrong", "virtual s", "real s");
    SoakStats total;
    auto row = [](const char* name, const SoakStats& s, double realS) {
        std::printf("%-22s %9zu %10zu %9zu %9zu %7zu %12.1f %8.2f\n", name, s.commands, s.telegrams, s.faultsApplied,
                    s.failures, s.wrongValues, s.virtualMs / 1000.0, realS);
        if (!s.firstWrong.empty())
            std::printf("%-22s first wrong value: %s\n", "", s.firstWrong.c_str());
    };
    for (int r = 0; r < runs; ++r) {
        SoakOptions o;
        o.seed = static_cast<uint64_t>(r + 1);
        o.telegrams = perRun;
        o.faultScale = scale;
        o.verbose = std::getenv("KADEX_SOAK_VERBOSE") != nullptr;
        const auto t0 = std::chrono::steady_clock::now();
        const SoakStats s = RunSoak(o);
        const double realS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        char name[32];
        std::snprintf(name, sizeof name, "seed %d", r + 1);
        row(name, s, realS);
        total.add(s);
    }
    row("total", total, 0);
    std::printf("failures by reason:");
    for (const auto& [r, n] : total.failureReasons)
        std::printf("  %s %zu", kadex::TxResultText(r).toStdString().c_str(), n);
    std::printf("\nattempt events:");
    for (const auto& [e, n] : total.attemptEvents)
        std::printf("  \"%s\" %zu", e.c_str(), n);
    std::printf("\n");

    SoakOptions o;
    o.seed = 1;
    o.telegrams = perRun;
    o.guardMs = 0;
    o.faultScale = scale;
    const auto t0 = std::chrono::steady_clock::now();
    const SoakStats s = RunSoak(o);
    row("seed 1, no guard", s, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    std::printf("runs: %d, telegrams: %zu, failures detected: %zu, wrong values accepted: %zu\n", runs,
                total.telegrams, total.failures, total.wrongValues);
    return total.wrongValues == 0 ? 0 : 1;
}
