#include "comm/ZBThreads.h"

#include <chrono>

namespace kadex {

using namespace std::chrono;

TPollThread::TPollThread(std::string name, std::function<void()> step, std::function<bool()> skipPause)
    : name_(std::move(name)), step_(std::move(step)), skipPause_(std::move(skipPause))
{
}

TPollThread::~TPollThread()
{
    Stop();
}

void TPollThread::Start()
{
    if (thread_.joinable())
        return;
    thread_ = std::thread([this] { run(); });
}

bool TPollThread::Suspend(int waitMs)
{
    std::unique_lock<std::mutex> lk(m_);
    suspended_ = true;
    cv_.notify_all();
    if (std::this_thread::get_id() == thread_.get_id())
        return true; // a step pausing its own thread: takes effect when the step ends
    idleCv_.wait_for(lk, milliseconds(waitMs), [&] { return !busy_.load(); });
    return !busy_.load();
}

void TPollThread::Resume()
{
    std::lock_guard<std::mutex> lk(m_);
    suspended_ = false;
    cv_.notify_all();
}

void TPollThread::Wake()
{
    std::lock_guard<std::mutex> lk(m_);
    wake_ = true;
    cv_.notify_all();
}

void TPollThread::Stop()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        stop_ = true;
        cv_.notify_all();
    }
    if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id())
        thread_.join();
}

void TPollThread::run()
{
    std::unique_lock<std::mutex> lk(m_);
    // The period runs from the end of the last step; pausing does not restart it.
    steady_clock::time_point nextStep = steady_clock::now();
    for (;;) {
        cv_.wait(lk, [&] { return stop_ || !suspended_.load(); });
        if (stop_)
            return;
        if (steady_clock::now() < nextStep) {
            cv_.wait_until(lk, nextStep, [&] { return stop_ || suspended_.load() || wake_; });
            wake_ = false;
            if (stop_)
                return;
            if (suspended_.load())
                continue;
            if (steady_clock::now() < nextStep && !(skipPause_ && skipPause_()))
                continue;
        }
        busy_ = true;
        lk.unlock();
        step_();
        ++steps_;
        const bool noPause = skipPause_ && skipPause_();
        lk.lock();
        busy_ = false;
        idleCv_.notify_all();
        nextStep = steady_clock::now() + (noPause ? milliseconds(0) : milliseconds(periodMs_.load()));
    }
}

} // namespace kadex
