// The polling threads: period, pausing at step boundaries, bounded wait for a running step.
#include "comm/ZBThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace kadex;
using namespace std::chrono;

namespace {
bool waitFor(const std::function<bool()>& cond, int ms = 5000)
{
    const auto end = steady_clock::now() + milliseconds(ms);
    while (!cond()) {
        if (steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}
} // namespace

TEST(PollThread, CreatedPausedThenStepsAfterResume)
{
    std::atomic<int> steps{0};
    TPollThread t("test", [&] { ++steps; });
    t.SetPeriodMs(20);
    t.Start();
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(steps.load(), 0);
    EXPECT_TRUE(t.Suspended());
    t.Resume();
    EXPECT_TRUE(waitFor([&] { return steps.load() >= 3; }));
    EXPECT_TRUE(t.Suspend());
    const int atPause = steps.load();
    std::this_thread::sleep_for(milliseconds(80));
    EXPECT_EQ(steps.load(), atPause);
    t.Stop();
}

TEST(PollThread, SuspendWaitsForTheRunningStep)
{
    std::atomic<bool> inStep{false};
    std::atomic<bool> finished{false};
    TPollThread t("test", [&] {
        inStep = true;
        std::this_thread::sleep_for(milliseconds(150));
        finished = true;
        inStep = false;
    });
    t.SetPeriodMs(10000);
    t.Start();
    t.Resume();
    ASSERT_TRUE(waitFor([&] { return inStep.load(); }));
    EXPECT_TRUE(t.Suspend(4000));
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(t.StepRunning());
}

TEST(PollThread, SuspendGivesUpAfterItsLimit)
{
    std::atomic<bool> release{false};
    std::atomic<bool> inStep{false};
    TPollThread t("test", [&] {
        inStep = true;
        while (!release.load())
            std::this_thread::sleep_for(milliseconds(5));
    });
    t.Start();
    t.Resume();
    ASSERT_TRUE(waitFor([&] { return inStep.load(); }));
    EXPECT_FALSE(t.Suspend(50));
    EXPECT_TRUE(t.StepRunning());
    release = true;
    EXPECT_TRUE(t.Suspend(4000));
    t.Stop();
}

TEST(PollThread, PeriodAndNoPauseMode)
{
    std::atomic<int> steps{0};
    std::atomic<bool> noPause{false};
    TPollThread t("test", [&] { ++steps; }, [&] { return noPause.load(); });
    t.SetPeriodMs(100000); // one step, then a long period
    t.Start();
    t.Resume();
    ASSERT_TRUE(waitFor([&] { return steps.load() == 1; }));
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(steps.load(), 1);
    // Sampling without pause: steps follow each other at once.
    noPause = true;
    t.Wake();
    EXPECT_TRUE(waitFor([&] { return steps.load() > 50; }));
    t.Stop();
}

TEST(PollThread, StopWhilePausedOrWaiting)
{
    TPollThread a("a", [] {});
    a.Start();
    a.Stop(); // paused
    TPollThread b("b", [] {});
    b.SetPeriodMs(100000);
    b.Start();
    b.Resume();
    std::this_thread::sleep_for(milliseconds(20));
    const auto t0 = steady_clock::now();
    b.Stop(); // waiting out its period
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - t0).count(), 5000);
}
