#pragma once
// A scripted byte link and a hand-driven clock, for exact transaction tests.
#include "comm/Clock.h"
#include "comm/Transport.h"
#include "comm/ZBFrame.h"

#include <functional>
#include <map>
#include <vector>

namespace kadex::test {

class FakeClock final : public IClock {
public:
    uint64_t now = 1000;
    std::multimap<uint64_t, std::function<void()>> events;

    void At(uint64_t t, std::function<void()> f) { events.emplace(t, std::move(f)); }
    uint64_t NowMs() override { return now; }
    void SleepMs(uint32_t ms) override { advanceTo(now + ms); }
    void WaitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable&, uint64_t deadline) override
    {
        if (!events.empty() && events.begin()->first <= deadline) {
            lk.unlock();
            runNext();
            lk.lock();
        } else if (deadline > now) {
            now = deadline;
        }
    }
    void advanceTo(uint64_t t)
    {
        while (!events.empty() && events.begin()->first <= t)
            runNext();
        if (t > now)
            now = t;
    }

private:
    void runNext()
    {
        auto it = events.begin();
        if (it->first > now)
            now = it->first;
        auto f = std::move(it->second);
        events.erase(it);
        f();
    }
};

class ScriptedLink final : public ITransport {
public:
    explicit ScriptedLink(FakeClock& clock) : clock_(clock) {}

    // Called with every telegram written and its number (1-based); schedule answers with Reply().
    std::function<void(const std::vector<uint8_t>&, int)> onWrite;
    std::vector<std::vector<uint8_t>> written;
    bool failWrites = false;
    bool echo = true;
    int discards = 0;

    // Delivers bytes after delay ms, as one receive notification.
    void Reply(uint32_t delay, std::vector<uint8_t> bytes)
    {
        clock_.At(clock_.now + delay, [this, bytes] { Deliver(bytes); });
    }
    void Deliver(const std::vector<uint8_t>& bytes)
    {
        if (rx_)
            rx_(bytes.data(), bytes.size());
    }
    // An answer frame with the given data bytes and header flags.
    static std::vector<uint8_t> Answer(std::vector<uint8_t> data, uint8_t flags = 0)
    {
        std::vector<uint8_t> t{static_cast<uint8_t>(flags | ((data.size() << 4) & 0x70))};
        t.insert(t.end(), data.begin(), data.end());
        zb::AppendChecks(t);
        return t;
    }

    void setRxHandler(RxHandler h) override { rx_ = std::move(h); }
    void setLostHandler(LostHandler h) override { lost_ = std::move(h); }
    void configure(const PortSettings& s) override { settings = s; }
    bool open(QString&) override { open_ = true; return true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    QString setDtrRts() override { return {}; }
    bool write(const uint8_t* data, size_t count) override
    {
        if (failWrites)
            return false;
        written.emplace_back(data, data + count);
        if (echo)
            Deliver(written.back());
        if (onWrite)
            onWrite(written.back(), static_cast<int>(written.size()));
        return true;
    }
    void discardInput() override { ++discards; }
    void Lose(const QString& why) { open_ = false; if (lost_) lost_(why); }

    PortSettings settings;

private:
    FakeClock& clock_;
    RxHandler rx_;
    LostHandler lost_;
    bool open_ = false;
};

} // namespace kadex::test
