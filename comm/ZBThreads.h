#pragma once
// The two polling threads: each runs one step of the main window every period, can be paused
// and resumed at step boundaries, and at most one of them runs at a time (the callers see to
// that by pausing one before resuming the other).
#include "comm/Clock.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kadex {

class TPollThread {
public:
    // step runs on the thread; skipPause() is asked after each step: true = next step at once.
    // The period and the pause bound are counted on clock (the steady clock when null).
    TPollThread(std::string name, std::function<void()> step, std::function<bool()> skipPause = {},
                IClock* clock = nullptr);
    ~TPollThread();
    TPollThread(const TPollThread&) = delete;
    TPollThread& operator=(const TPollThread&) = delete;

    // Starts the thread in the paused state.
    void Start();
    // Asks the thread to pause at the next step boundary and waits at most waitMs for a running
    // step to finish. Returns true when no step is running on return.
    bool Suspend(int waitMs = 4000);
    // Lets the thread run its steps again: the next step follows when a full period has passed
    // since the end of the last one (at once when it has).
    void Resume();
    // Ends the thread (waits for a running step).
    void Stop();

    bool Suspended() const { return suspended_.load(); }
    bool StepRunning() const { return busy_.load(); }
    int StepsRun() const { return steps_.load(); }
    void SetPeriodMs(int ms) { periodMs_ = ms; }
    int PeriodMs() const { return periodMs_; }
    const std::string& Name() const { return name_; }

    // Wakes a thread waiting in its period so it re-checks its state (e.g. skipPause changed).
    void Wake();

private:
    void run();

    std::string name_;
    std::function<void()> step_;
    std::function<bool()> skipPause_;
    IClock& clock_;
    std::thread thread_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::condition_variable idleCv_;
    std::atomic<bool> suspended_{true};
    std::atomic<bool> busy_{false};
    std::atomic<int> steps_{0};
    std::atomic<int> periodMs_{2000};
    bool stop_ = false;
    bool wake_ = false;
};

// Names kept for the callers that think in the two roles.
using TVerbindenThread = TPollThread;
using TBetriebThread = TPollThread;

} // namespace kadex
