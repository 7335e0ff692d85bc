// Feeds arbitrary byte streams, split into arbitrary receive notifications, to the answer
// assembly and validation of a transaction.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

namespace {

class InstantClock final : public kadex::IClock {
public:
    uint64_t now = 0;
    uint64_t NowMs() override { return now; }
    void SleepMs(uint32_t ms) override { now += ms; }
    void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, uint64_t deadline) override
    {
        if (deadline > now)
            now = deadline;
    }
};

class FuzzLink final : public kadex::ITransport {
public:
    FuzzedDataProvider* fdp = nullptr;
    RxHandler rx;
    void setRxHandler(RxHandler h) override { rx = std::move(h); }
    void setLostHandler(LostHandler) override {}
    void configure(const kadex::PortSettings&) override {}
    bool open(QString&) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    QString setDtrRts() override { return {}; }
    void discardInput() override {}
    bool write(const uint8_t*, size_t) override
    {
        // Up to eight notifications of fuzzer-chosen sizes, each up to 300 bytes.
        const int chunks = fdp->ConsumeIntegralInRange<int>(0, 8);
        for (int i = 0; i < chunks && fdp->remaining_bytes() > 0; ++i) {
            const size_t n = fdp->ConsumeIntegralInRange<size_t>(0, 300);
            const std::vector<uint8_t> bytes = fdp->ConsumeBytes<uint8_t>(n);
            if (rx && !bytes.empty())
                rx(bytes.data(), bytes.size());
        }
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    auto link = std::make_unique<FuzzLink>();
    link->fdp = &fdp;
    kadex::TComForm com(std::move(link));
    com.OpenPort();
    InstantClock clock;
    kadex::TZBCmd zb(com, &clock);
    zb.SetAdrIndex(fdp.ConsumeIntegralInRange<uint8_t>(0, 9));
    const size_t n = fdp.ConsumeIntegralInRange<size_t>(1, 7);
    std::vector<uint8_t> body = fdp.ConsumeBytes<uint8_t>(n);
    if (body.empty())
        body.push_back(0x4B);
    zb.BuildRequest(body.data(), static_cast<int>(body.size()));
    zb.Transact();
    uint8_t out[8];
    zb.ReadMem(0x0454, 7, out);
    QString text;
    zb.ReadText16(0x0070, text);
    return 0;
}
