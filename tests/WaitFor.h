#pragma once
// Polls cond() every 5 ms of real time until it holds or ms milliseconds have passed; false on
// time-out. For tests whose work runs on other threads (flows, polling steps).
#include <chrono>
#include <functional>
#include <thread>

namespace kadex::test {

inline bool waitFor(const std::function<bool()>& cond, int ms)
{
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(ms);
    while (!cond()) {
        if (steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

} // namespace kadex::test
