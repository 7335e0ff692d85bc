// Seeded fault soak of the transaction against the in-process simulator, on virtual time: late,
// lost, split and surplus answers, corrupted bytes and noise between telegrams. Prints per run the
// telegrams, the failures detected (commands that returned false) and the wrong values accepted
// (commands that returned true with values the simulated controller does not hold). The row after
// them repeats the first seed without the quiet guard, to show what it is for. A second table runs
// answers late by 600 ms to 3 s with every rule, with each rule switched off in turn, and with a
// controller that answers out of order.
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
    std::printf("%-24s %9s %10s %9s %9s %7s %12s %8s\n", "run", "commands", "telegrams", "faulted", "failures",
                "wrong", "virtual s", "real s");
    SoakStats total;
    auto row = [](const char* name, const SoakStats& s, double realS) {
        std::printf("%-24s %9zu %10zu %9zu %9zu %7zu %12.1f %8.2f\n", name, s.commands, s.telegrams, s.faultsApplied,
                    s.failures, s.wrongValues, s.virtualMs / 1000.0, realS);
        if (!s.firstWrong.empty())
            std::printf("%-24s first wrong value: %s\n", "", s.firstWrong.c_str());
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

    // Answers late by 600 ms to 3 s, beyond any fixed guard: the rules that hold for any lateness,
    // then each switched off in turn, then the controller that answers out of order.
    std::printf("\nlate answers 600..3000 ms (%d runs of %zu telegrams each)\n", runs, perRun);
    std::printf("%-24s %9s %10s %9s %9s %7s %12s %8s\n", "rules", "commands", "telegrams", "faulted", "failures",
                "wrong", "virtual s", "real s");
    struct Variant {
        const char* name;
        bool outOfOrder;
        bool probe, learn, plausible;
    };
    const Variant variants[] = {
        {"in order, all rules", false, true, true, true},
        {"in order, no probe", false, false, true, true},
        {"in order, no learning", false, true, false, true},
        {"in order, no plausib.", false, true, true, false},
        {"in order, only probe", false, true, false, false},
        {"in order, only learning", false, false, true, false},
        {"in order, only plausib.", false, false, false, true},
        {"in order, none", false, false, false, false},
        {"out of order, all", true, true, true, true},
        {"out of order, no probe", true, false, true, true},
        {"out of order, no learn.", true, true, false, true},
        {"out of order, no plaus.", true, true, true, false},
        {"out of order, none", true, false, false, false},
    };
    size_t lateWrong = 0, lateTelegrams = 0;
    for (const Variant& v : variants) {
        SoakStats sum;
        const auto v0 = std::chrono::steady_clock::now();
        for (int r = 0; r < runs; ++r) {
            SoakOptions lo;
            lo.seed = static_cast<uint64_t>(r + 1);
            lo.telegrams = perRun;
            lo.faultScale = scale;
            lo.delayMinMs = 600;
            lo.delayMaxMs = 3000;
            lo.outOfOrder = v.outOfOrder;
            lo.rules.probeAfterFailure = v.probe;
            lo.rules.learnLateness = v.learn;
            lo.rules.plausibility = v.plausible;
            lo.verbose = std::getenv("KADEX_SOAK_VERBOSE") != nullptr && v.probe && v.learn && v.plausible;
            sum.add(RunSoak(lo));
        }
        row(v.name, sum, std::chrono::duration<double>(std::chrono::steady_clock::now() - v0).count());
        if (&v == &variants[0]) {
            lateWrong = sum.wrongValues;
            lateTelegrams = sum.telegrams;
            std::printf("%-24s attempt events:", "");
            for (const auto& [e, n] : sum.attemptEvents)
                std::printf("  \"%s\" %zu", e.c_str(), n);
            std::printf("\n");
        }
    }
    std::printf("in order, 600..3000 ms, all rules: telegrams %zu, wrong values accepted %zu\n", lateTelegrams, lateWrong);
    std::printf("runs: %d, telegrams: %zu, failures detected: %zu, wrong values accepted: %zu\n", runs,
                total.telegrams, total.failures, total.wrongValues);
    return total.wrongValues == 0 && lateWrong == 0 ? 0 : 1;
}
