#include "comm/ZBThreads.h"

namespace kadex {

TPollThread::TPollThread(std::string name, std::function<void()> step, std::function<bool()> skipPause,
                         IClock* clock)
    : name_(std::move(name)), step_(std::move(step)), skipPause_(std::move(skipPause)),
      clock_(clock ? *clock : SteadyClock::Instance())
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
    const uint64_t deadline = clock_.NowMs() + static_cast<uint64_t>(waitMs > 0 ? waitMs : 0);
    while (busy_.load() && clock_.NowMs() < deadline)
        clock_.WaitUntil(lk, idleCv_, deadline);
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
    uint64_t nextStep = clock_.NowMs();
    for (;;) {
        cv_.wait(lk, [&] { return stop_ || !suspended_.load(); });
        if (stop_)
            return;
        if (clock_.NowMs() < nextStep) {
            while (!(stop_ || suspended_.load() || wake_) && clock_.NowMs() < nextStep)
                clock_.WaitUntil(lk, cv_, nextStep);
            wake_ = false;
            if (stop_)
                return;
            if (suspended_.load())
                continue;
            if (clock_.NowMs() < nextStep && !(skipPause_ && skipPause_()))
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
        nextStep = clock_.NowMs() + (noPause ? 0 : static_cast<uint64_t>(periodMs_.load()));
    }
}

} // namespace kadex
