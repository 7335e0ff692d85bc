#pragma once
// The bus scan of the window: runs on the core's flow runner with both polling threads paused,
// reports each address before and after it is asked, and resumes polling at the end. Acting on
// the result goes through the model, as the user's own choices would.
#include "core/BusScan.h"

#include <atomic>
#include <functional>
#include <mutex>

namespace kadex {

class TMainCore;

class BusScanFlow {
public:
    explicit BusScanFlow(TMainCore& core) : core_(core) {}

    // Posts the scan; false while one runs.
    bool Start();
    // Stops before the next address.
    void Cancel() { cancel_ = true; }
    bool Running() const { return running_.load(); }
    ScanResult Result() const;

    // "Verbinden": the main window's bus address as if the user had chosen it (the address
    // change flow identifies the controller there).
    void Connect(int index);

    // From the flow runner's thread.
    std::function<void(int index)> OnAsking;
    std::function<void(const ScanEntry&)> OnEntry;
    std::function<void(const ScanResult&)> OnDone;

    // German text of one result row.
    static QString EntryText(const ScanEntry& e);

private:
    TMainCore& core_;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
    mutable std::mutex m_;
    ScanResult result_;
};

} // namespace kadex
