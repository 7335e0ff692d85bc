#include "core/FlowRunner.h"

#include <chrono>

namespace kadex {

FlowRunner::FlowRunner()
{
    thread_ = std::thread([this] { run(); });
}

FlowRunner::~FlowRunner()
{
    Stop();
}

bool FlowRunner::Post(std::string name, std::function<void()> action)
{
    std::lock_guard<std::mutex> lk(m_);
    if (stop_)
        return false;
    queue_.push_back({std::move(name), std::move(action)});
    cv_.notify_all();
    return true;
}

bool FlowRunner::Busy() const
{
    std::lock_guard<std::mutex> lk(m_);
    return running_ || !queue_.empty();
}

std::string FlowRunner::Current() const
{
    std::lock_guard<std::mutex> lk(m_);
    return current_;
}

bool FlowRunner::WaitIdle(int timeoutMs) const
{
    std::unique_lock<std::mutex> lk(m_);
    return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return !running_ && queue_.empty(); });
}

void FlowRunner::SetBusyHandler(std::function<void(bool, const std::string&)> handler)
{
    std::lock_guard<std::mutex> lk(m_);
    busyHandler_ = std::move(handler);
}

void FlowRunner::Stop()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        stop_ = true;
        queue_.clear();
        cv_.notify_all();
    }
    if (thread_.joinable() && !OnRunnerThread())
        thread_.join();
}

void FlowRunner::run()
{
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        cv_.wait(lk, [&] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        current_ = job.name;
        auto handler = busyHandler_;
        lk.unlock();
        if (handler)
            handler(true, job.name);
        job.action();
        if (handler)
            handler(false, job.name);
        lk.lock();
        running_ = false;
        current_.clear();
        cv_.notify_all();
    }
}

} // namespace kadex
