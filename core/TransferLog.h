#pragma once
// The Transfer view's log of telegrams, kept in the window model ("MemoCOMTransf"): lines are
// taken only while the Transfer tab is shown, and a log of more than 500 lines drops its
// older half before the next line.
#include "comm/ZBCmd.h"
#include "device/model/WindowModel.h"

#include <mutex>

namespace kadex {

class TTransferLog final : public ITransferSink {
public:
    explicit TTransferLog(WindowModel& model) : m_(model) {}
    bool TransferOn() const override;
    void AddTransferLine(const QString& line) override;
    void Clear();

    static constexpr int kMaxLines = 500;

private:
    WindowModel& m_;
    std::mutex mutex_;
};

} // namespace kadex
