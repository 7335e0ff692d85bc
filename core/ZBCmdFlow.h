#pragma once
// The raw command window without widgets: its templates, the running flag (the window owns the
// paused polling threads while it is shown) and "Senden", which runs on the core's flow runner.
#include "core/RawCommands.h"

#include <atomic>
#include <functional>

namespace kadex {

class TMainCore;

class ZBCmdFlow {
public:
    explicit ZBCmdFlow(TMainCore& core) : core_(core) {}

    // Reads the template file (once, at start-up); a missing or damaged file gives an empty
    // list and a message.
    void Load(const QString& path);
    const RawTemplateFile& Templates() const { return file_; }

    // Showing: running, both polling threads paused.
    void Show();
    // "Senden" of template i: an unusable one is refused at once (OnSent with NotSent, nothing
    // posted); a usable one is posted. False when nothing was posted.
    bool Send(int index);
    // Closing in any way: when still running, the polling resumes.
    void Close();
    // Another action takes the polling threads over: closing then resumes nothing.
    void ClearRunning() { running_ = false; }
    bool Running() const { return running_.load(); }

    // From the flow runner's thread (or the caller's, for a refused template).
    std::function<void(const RawSendResult&)> OnSent;

private:
    TMainCore& core_;
    RawTemplateFile file_;
    std::atomic<bool> running_{false};
};

} // namespace kadex
