#pragma once
// Ctrl+S in the window: the focused-value write of the OEM (Kalibrierung) or the QV tab. The
// window says where the focus is; this unit decides whether the key counts, runs the write on
// the flow runner with the polling paused and the tab in use left enabled, then refreshes the
// system information, the comparison indicator and the action log.
#include "device/FocusedWrite.h"

#include <atomic>
#include <functional>

namespace kadex {

class TMainCore;

class TFocusedWriteFlow {
public:
    explicit TFocusedWriteFlow(TMainCore& core);

    // The key (any thread): posts the write when "Setzen" is enabled, the port is open, the OEM
    // or QV tab is active and no focused write is on its way; otherwise does nothing and returns
    // false. done (optional) runs on the flow runner with the write's result.
    bool Request(const FocusedValue& focus, std::function<void(bool ok)> done = {});

private:
    bool run(bool qvTab, const FocusedValue& focus);

    TMainCore& core_;
    TFocusedWrite write_;
    std::atomic<bool> pending_{false};
};

} // namespace kadex
