// A seeded fault soak of the transaction against the in-process simulator on virtual time: no
// command that reports success may carry values the simulated controller does not hold.
#include "Soak.h"

#include <gtest/gtest.h>

using kadex::test::RunSoak;
using kadex::test::SoakOptions;

TEST(Soak, NoWrongValueIsEverAccepted)
{
    for (uint64_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        SoakOptions o;
        o.seed = seed;
        o.telegrams = 400;
        o.faultScale = 2.0; // a short run needs more faults to meet every kind
        const auto st = RunSoak(o);
        EXPECT_GE(st.telegrams, o.telegrams);
        EXPECT_EQ(st.wrongValues, 0u) << st.firstWrong;
        // The faults were real: some commands failed, most got through.
        EXPECT_GT(st.faultsApplied, st.telegrams / 10);
        EXPECT_GT(st.failures, 0u);
        EXPECT_LT(st.failures, st.commands / 4);
    }
}

TEST(Soak, SameSeedSameRun)
{
    SoakOptions o;
    o.seed = 9;
    o.telegrams = 200;
    const auto a = RunSoak(o);
    const auto b = RunSoak(o);
    EXPECT_EQ(a.commands, b.commands);
    EXPECT_EQ(a.failures, b.failures);
    EXPECT_EQ(a.virtualMs, b.virtualMs);
}

// Answers late by 600 ms to 3 s, beyond any fixed guard, from a controller that answers in order.
TEST(Soak, AnswersLaterThanAnyGuardAreNeverTakenForAnotherTelegrams)
{
    for (uint64_t seed : {1u, 2u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        SoakOptions o;
        o.seed = seed;
        o.telegrams = 500;
        o.faultScale = 2.0;
        o.delayMinMs = 600;
        o.delayMaxMs = 3000;
        const auto st = RunSoak(o);
        EXPECT_EQ(st.wrongValues, 0u) << st.firstWrong;
        // The line checks ran, and most commands still got through.
        EXPECT_GT(st.attemptEvents.count("Checking the line"), 0u);
        EXPECT_LT(st.failures, st.commands / 3);
    }
}
