// User actions run one at a time, in order, off the window thread.
#include "core/FlowRunner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace kadex;

TEST(FlowRunner, RunsActionsInOrderOneAtATime)
{
    FlowRunner runner;
    std::mutex m;
    std::vector<int> order;
    std::atomic<int> concurrent{0}, maxConcurrent{0};
    std::vector<std::string> busy;
    runner.SetBusyHandler([&](bool on, const std::string& name) {
        std::lock_guard<std::mutex> lk(m);
        busy.push_back((on ? "+" : "-") + name);
    });
    for (int i = 0; i < 20; ++i) {
        runner.Post("job" + std::to_string(i), [&, i] {
            const int c = ++concurrent;
            maxConcurrent = std::max(maxConcurrent.load(), c);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            {
                std::lock_guard<std::mutex> lk(m);
                order.push_back(i);
            }
            --concurrent;
        });
    }
    ASSERT_TRUE(runner.WaitIdle(10000));
    EXPECT_FALSE(runner.Busy());
    EXPECT_EQ(maxConcurrent.load(), 1);
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(order[i], i);
    ASSERT_EQ(busy.size(), 40u);
    EXPECT_EQ(busy[0], "+job0");
    EXPECT_EQ(busy[1], "-job0");
}

TEST(FlowRunner, StopFinishesRunningAndDropsWaiting)
{
    FlowRunner runner;
    std::atomic<bool> started{false}, release{false};
    std::atomic<int> ran{0};
    runner.Post("long", [&] {
        started = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++ran;
    });
    runner.Post("dropped", [&] { ++ran; });
    while (!started)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(runner.Busy());
    EXPECT_EQ(runner.Current(), "long");
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release = true;
    });
    runner.Stop();
    releaser.join();
    EXPECT_EQ(ran.load(), 1);
    EXPECT_FALSE(runner.Post("late", [] {}));
}
