// The polling threads and the core timers on a virtual clock: the 2000 ms period, pausing at
// step boundaries, the 4000 ms bound for a running step and the timer intervals, without
// waiting in real time.
#include "comm/ZBThreads.h"
#include "core/CoreTimer.h"
#include "tests/VirtualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <vector>
#include <chrono>
#include <thread>

using namespace kadex;
using namespace std::chrono;
using kadex::test::VirtualClock;

namespace {
// Real-time wait for something another thread does at once (not for a period).
bool waitFor(const std::function<bool()>& cond, int ms = 5000)
{
    const auto end = steady_clock::now() + milliseconds(ms);
    while (!cond()) {
        if (steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}
} // namespace

TEST(PollThread, StepsEveryPeriodOnlyWhileResumed)
{
    VirtualClock clock;
    std::atomic<int> steps{0};
    TPollThread t("test", [&] { ++steps; }, {}, &clock);
    t.Start();
    EXPECT_TRUE(t.Suspended());
    clock.Advance(10000);
    EXPECT_EQ(steps.load(), 0); // created paused
    t.Resume();
    ASSERT_TRUE(waitFor([&] { return steps.load() == 1; })); // the first step at once
    for (int i = 2; i <= 4; ++i) {
        ASSERT_TRUE(clock.WaitForWaiters(1));
        clock.Advance(1999);
        EXPECT_EQ(steps.load(), i - 1) << "a step before its period ended";
        clock.Advance(1);
        ASSERT_TRUE(waitFor([&] { return steps.load() == i; }));
    }
    ASSERT_TRUE(clock.WaitForWaiters(1));
    EXPECT_TRUE(t.Suspend());
    clock.Advance(60000);
    EXPECT_EQ(steps.load(), 4);
    // Resuming after a long pause steps at once: the period has long run out.
    t.Resume();
    ASSERT_TRUE(waitFor([&] { return steps.load() == 5; }));
    // Pausing does not restart the period: 500 ms paused count towards it.
    ASSERT_TRUE(clock.WaitForWaiters(1));
    EXPECT_TRUE(t.Suspend());
    clock.Advance(500);
    t.Resume();
    ASSERT_TRUE(clock.WaitForWaiters(1));
    clock.Advance(1499);
    EXPECT_EQ(steps.load(), 5);
    clock.Advance(1);
    ASSERT_TRUE(waitFor([&] { return steps.load() == 6; }));
    t.Stop();
}

TEST(PollThread, SuspendWaitsForTheRunningStepAtMost4000Ms)
{
    VirtualClock clock;
    std::atomic<bool> release{false};
    std::atomic<bool> inStep{false};
    TPollThread t("test", [&] {
        inStep = true;
        while (!release.load())
            std::this_thread::sleep_for(milliseconds(1));
        inStep = false;
    }, {}, &clock);
    t.Start();
    t.Resume();
    ASSERT_TRUE(waitFor([&] { return inStep.load(); }));

    std::atomic<int> result{-1};
    std::thread pauser([&] { result = t.Suspend(4000) ? 1 : 0; });
    ASSERT_TRUE(clock.WaitForWaiters(1));
    clock.Advance(3999);
    EXPECT_EQ(result.load(), -1) << "gave up before 4000 ms";
    clock.Advance(1);
    pauser.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_TRUE(t.StepRunning());

    // A step that ends within the bound: Suspend returns when it ends, before the bound.
    std::thread pauser2([&] { result = t.Suspend(4000) ? 1 : 0; });
    ASSERT_TRUE(clock.WaitForWaiters(1));
    clock.Advance(1000);
    release = true;
    pauser2.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_FALSE(t.StepRunning());
    t.Stop();
}

TEST(PollThread, NoPauseModeStepsAtOnceAndWakeRechecks)
{
    VirtualClock clock;
    std::atomic<int> steps{0};
    std::atomic<bool> noPause{false};
    TPollThread t("test", [&] { ++steps; }, [&] { return noPause.load(); }, &clock);
    t.Start();
    t.Resume();
    ASSERT_TRUE(waitFor([&] { return steps.load() == 1; }));
    ASSERT_TRUE(clock.WaitForWaiters(1));
    EXPECT_EQ(steps.load(), 1);
    // Sampling without pause: steps follow each other at once, with no time passing.
    noPause = true;
    t.Wake();
    EXPECT_TRUE(waitFor([&] { return steps.load() > 50; }));
    noPause = false;
    ASSERT_TRUE(clock.WaitForWaiters(1));
    const int n = steps.load();
    clock.Advance(1999);
    EXPECT_EQ(steps.load(), n);
    t.Stop();
}

TEST(PollThread, StopWhilePausedOrWaitingOutItsPeriod)
{
    VirtualClock clock;
    TPollThread a("a", [] {}, {}, &clock);
    a.Start();
    a.Stop(); // paused
    TPollThread b("b", [] {}, {}, &clock);
    b.Start();
    b.Resume();
    ASSERT_TRUE(clock.WaitForWaiters(1));
    b.Stop(); // returns although the virtual period never ends
    EXPECT_EQ(clock.Waiters(), 0u);
}

TEST(PollThread, RealClockByDefault)
{
    std::atomic<int> steps{0};
    TPollThread t("test", [&] { ++steps; });
    t.SetPeriodMs(10);
    t.Start();
    t.Resume();
    EXPECT_TRUE(waitFor([&] { return steps.load() >= 3; }));
    t.Stop();
}

TEST(CoreTimer, IntervalRestartStopAndOneShot)
{
    VirtualClock clock;
    std::atomic<int> ticks{0};
    CoreTimer timer(1000, false, [&] { ++ticks; }, &clock);
    clock.Advance(5000);
    EXPECT_EQ(ticks.load(), 0); // not started
    timer.Start();
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(clock.WaitForWaiters(1));
        clock.Advance(999);
        EXPECT_EQ(ticks.load(), i - 1);
        clock.Advance(1);
        ASSERT_TRUE(waitFor([&] { return ticks.load() == i; }));
    }
    // Start while running begins the interval anew.
    ASSERT_TRUE(clock.WaitForWaiters(1));
    clock.Advance(600);
    timer.Start();
    ASSERT_TRUE(clock.WaitForWaiterAt(clock.NowMs() + 1000));
    clock.Advance(600);
    EXPECT_EQ(ticks.load(), 3);
    clock.Advance(400);
    ASSERT_TRUE(waitFor([&] { return ticks.load() == 4; }));
    ASSERT_TRUE(clock.WaitForWaiters(1));
    timer.Stop();
    clock.Advance(10000);
    EXPECT_EQ(ticks.load(), 4);
    EXPECT_FALSE(timer.Active());

    std::atomic<int> shots{0};
    CoreTimer once(50, true, [&] { ++shots; }, &clock);
    once.Start();
    ASSERT_TRUE(clock.WaitForWaiters(1));
    clock.Advance(50);
    ASSERT_TRUE(waitFor([&] { return shots.load() == 1; }));
    clock.Advance(10000);
    EXPECT_EQ(shots.load(), 1);
    EXPECT_FALSE(once.Active());
}

// The virtual clock itself, seeded: threads wait for random deadlines on their own condition
// variables while time jumps by random steps; nobody returns early, and once an advance has
// returned no thread is still waiting for a deadline it passed.
TEST(VirtualClock, AdvanceWakesEveryDueWaiterAndNoOneEarly)
{
    VirtualClock clock(0);
    std::mt19937 rng(20261210);
    constexpr int kThreads = 4;
    std::atomic<bool> stop{false};
    std::atomic<int> early{0};
    std::atomic<uint64_t> waitingFor[kThreads];
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        waitingFor[i] = 0;
        threads.emplace_back([&, i, seed = rng()] {
            std::mt19937 r(seed);
            std::mutex m;
            std::condition_variable cv;
            std::unique_lock<std::mutex> lk(m);
            while (!stop.load()) {
                const uint64_t deadline = clock.NowMs() + 1 + r() % 300;
                waitingFor[i] = deadline;
                while (clock.NowMs() < deadline && !stop.load())
                    clock.WaitUntil(lk, cv, deadline);
                if (!stop.load() && clock.NowMs() < deadline)
                    ++early;
                waitingFor[i] = 0;
            }
        });
    }
    for (int step = 0; step < 2000; ++step) {
        clock.Advance(rng() % 120);
        const uint64_t now = clock.NowMs();
        for (int i = 0; i < kThreads; ++i) {
            const uint64_t d = waitingFor[i].load();
            // A thread may sit in its loop between waits, never in a wait for a passed deadline.
            if (d != 0 && d <= now) {
                ASSERT_TRUE(waitFor([&] { return waitingFor[i].load() != d || clock.NowMs() != now; }, 2000))
                    << "thread " << i << " still waits for " << d << " at " << now;
            }
        }
    }
    stop = true;
    clock.Advance(1000);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(early.load(), 0);
}
