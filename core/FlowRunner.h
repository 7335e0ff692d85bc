#pragma once
// Runs user actions that use the bus ("Lesen", "Setzen", address change, connect ...) one at a
// time on a thread of their own, so the window thread never waits for the bus.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kadex {

class FlowRunner {
public:
    FlowRunner();
    ~FlowRunner();
    FlowRunner(const FlowRunner&) = delete;
    FlowRunner& operator=(const FlowRunner&) = delete;

    // Queues an action; returns false once the runner is stopping.
    bool Post(std::string name, std::function<void()> action);
    // True while an action runs or waits.
    bool Busy() const;
    // Name of the running action, empty when idle.
    std::string Current() const;
    // Waits until no action runs or waits; false when timeoutMs passed first.
    bool WaitIdle(int timeoutMs) const;
    // Called on the runner thread when it starts and ends an action (busy state for the window).
    void SetBusyHandler(std::function<void(bool busy, const std::string& name)> handler);
    // Finishes the running action, drops the waiting ones and ends the thread.
    void Stop();
    bool OnRunnerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run();

    struct Job {
        std::string name;
        std::function<void()> action;
    };
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    std::deque<Job> queue_;
    std::string current_;
    bool running_ = false;
    bool stop_ = false;
    std::function<void(bool, const std::string&)> busyHandler_;
    std::thread thread_;
};

} // namespace kadex
