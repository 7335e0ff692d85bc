// Prints how quickly a transaction returns once its answer is complete, and how much CPU a
// transaction costs while it waits out a timeout (no busy waiting).
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

using namespace kadex;
using Clock = std::chrono::steady_clock;

namespace {

// Answers from a thread of its own after a short turnaround, like a bus interface would.
class ThreadLink final : public ITransport {
public:
    bool answer = true;
    Clock::time_point lastByte;

    ~ThreadLink() override
    {
        {
            std::lock_guard<std::mutex> lk(m_);
            stop_ = true;
        }
        cv_.notify_all();
        if (t_.joinable())
            t_.join();
    }
    void setRxHandler(RxHandler h) override { rx_ = std::move(h); }
    void setLostHandler(LostHandler) override {}
    void configure(const PortSettings&) override {}
    bool open(QString&) override
    {
        t_ = std::thread([this] { run(); });
        open_ = true;
        return true;
    }
    void close() override {}
    bool isOpen() const override { return open_; }
    QString setDtrRts() override { return {}; }
    void discardInput() override {}
    bool write(const uint8_t* d, size_t n) override
    {
        std::lock_guard<std::mutex> lk(m_);
        pending_.assign(d, d + n);
        cv_.notify_all();
        return true;
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lk(m_);
        while (!stop_) {
            cv_.wait(lk, [&] { return stop_ || !pending_.empty(); });
            if (stop_)
                break;
            std::vector<uint8_t> t = std::move(pending_);
            pending_.clear();
            lk.unlock();
            rx_(t.data(), t.size()); // echo
            if (answer) {
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                std::vector<uint8_t> a{zb::Header(0, 2), 0x00, 0x01};
                zb::AppendChecks(a);
                lastByte = Clock::now();
                rx_(a.data(), a.size());
            }
            lk.lock();
        }
    }
    RxHandler rx_;
    std::thread t_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<uint8_t> pending_;
    bool stop_ = false;
    bool open_ = false;
};

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto link = std::make_unique<ThreadLink>();
    ThreadLink* l = link.get();
    TComForm com(std::move(link));
    com.OpenPort();
    TZBCmd zb(com);

    const int runs = 200;
    std::vector<double> latencies;
    for (int i = 0; i < runs; ++i) {
        uint8_t mode, old;
        if (!zb.GetMode(mode, old)) {
            std::printf("transaction failed\n");
            return 1;
        }
        const auto end = Clock::now();
        latencies.push_back(std::chrono::duration<double, std::micro>(end - l->lastByte).count() - 20000.0);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("answer complete -> Transact returns (without the 20 ms pause), %d runs:\n", runs);
    std::printf("  median %.1f us, 95th percentile %.1f us, max %.1f us\n", latencies[runs / 2],
                latencies[runs * 95 / 100], latencies.back());

    l->answer = false;
    zb.Attempts = 1;
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    uint8_t mode, old;
    const bool ok = zb.GetMode(mode, old);
    const double wall = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const double cpu = (cpuSeconds() - cpu0) * 1000.0;
    std::printf("transaction without answer: result %s, %.0f ms wall time, %.2f ms CPU time\n",
                ok ? "true" : "false", wall, cpu);
    return 0;
}
