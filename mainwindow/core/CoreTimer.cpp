#include "mainwindow/core/CoreTimer.h"

#include <chrono>

namespace kadex {

using namespace std::chrono;

CoreTimer::CoreTimer(int intervalMs, bool oneShot, std::function<void()> handler)
    : intervalMs_(intervalMs), oneShot_(oneShot), handler_(std::move(handler))
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
        const auto due = steady_clock::now() + milliseconds(intervalMs_.load());
        if (cv_.wait_until(lk, due, [&] { return quit_ || generation_ != gen; }))
            continue; // stopped, restarted or quitting
        if (oneShot_)
            active_ = false;
        lk.unlock();
        handler_();
        lk.lock();
    }
}

} // namespace kadex
