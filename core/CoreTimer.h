#pragma once
// A timer without an event loop: runs its handler on a thread of its own, once or every
// interval, until stopped. The window's timers that need no widget live here so that the
// core runs the same with or without a window.
#include "comm/Clock.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kadex {

class CoreTimer {
public:
    // The interval is counted on clock (the steady clock when null).
    CoreTimer(int intervalMs, bool oneShot, std::function<void()> handler, IClock* clock = nullptr);
    ~CoreTimer();
    CoreTimer(const CoreTimer&) = delete;
    CoreTimer& operator=(const CoreTimer&) = delete;

    // (Re)starts the interval from now.
    void Start();
    void Stop();
    bool Active() const { return active_.load(); }
    void SetInterval(int ms) { intervalMs_ = ms; }

private:
    void run();

    std::atomic<int> intervalMs_;
    const bool oneShot_;
    std::function<void()> handler_;
    IClock& clock_;
    std::mutex m_;
    std::condition_variable cv_;
    std::atomic<bool> active_{false};
    unsigned generation_ = 0;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace kadex
