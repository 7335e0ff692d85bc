#include "core/CoreTimer.h"

namespace kadex {

CoreTimer::CoreTimer(int intervalMs, bool oneShot, std::function<void()> handler, IClock* clock)
    : intervalMs_(intervalMs), oneShot_(oneShot), handler_(std::move(handler)),
      clock_(clock ? *clock : SteadyClock::Instance())
{
    thread_ = std::thread([this] { run(); });
}

CoreTimer::~CoreTimer()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        quit_ = true;
        active_ = false;
    }
    cv_.notify_all();
    if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id())
        thread_.join();
    else if (thread_.joinable())
        thread_.detach();
}

void CoreTimer::Start()
{
    std::lock_guard<std::mutex> lk(m_);
    active_ = true;
    ++generation_;
    cv_.notify_all();
}

void CoreTimer::Stop()
{
    std::lock_guard<std::mutex> lk(m_);
    active_ = false;
    ++generation_;
    cv_.notify_all();
}

void CoreTimer::run()
{
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        cv_.wait(lk, [&] { return quit_ || active_.load(); });
        if (quit_)
            return;
        const unsigned gen = generation_;
        const uint64_t due = clock_.NowMs() + static_cast<uint64_t>(intervalMs_.load());
        while (!(quit_ || generation_ != gen) && clock_.NowMs() < due)
            clock_.WaitUntil(lk, cv_, due);
        if (quit_ || generation_ != gen)
            continue; // stopped, restarted or quitting
        if (oneShot_)
            active_ = false;
        lk.unlock();
        handler_();
        lk.lock();
    }
}

} // namespace kadex
