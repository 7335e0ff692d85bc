#pragma once
// The bus addressing dialog without widgets: the choices it holds, "Ok" (button search or
// serial number, then the addressing) and the re-identification after it closes. The bus work
// runs on the core's flow runner with both polling threads paused from showing to closing;
// the callbacks come from the flow runner's thread.
#include "core/BusAddressing.h"

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace kadex {

class TMainCore;

class ZBAdrFlow {
public:
    enum class MessageKind { Info, Error };

    explicit ZBAdrFlow(TMainCore& core);

    // Showing: pauses the polling threads; the main window's serial number is the default.
    void Show();
    // The dialog's values, set by the window before Ok().
    int AddressIndex = 0; // 0 PP, 1..8 ZB1..ZB8
    bool BySerial = false;
    QString Serial;
    // "Ok": posts the addressing; false while one runs.
    bool Ok();
    // "Abbruch" of the button window: the button search ends after the running call.
    void AbortButtonSearch() { abort_ = true; }
    // Closing the dialog in any way: posts the re-identification, which resumes polling and
    // then logs the successful addressings.
    void Close();
    bool Working() const { return working_.load(); }
    // The last addressing's result.
    AddressingResult LastResult() const;

    TBusAddressing& Addressing() { return addressing_; }
    // How long the button search waits (0: until aborted).
    uint64_t ButtonTimeoutMs = 0;

    // From the flow runner's thread.
    std::function<void(bool waiting)> OnButtonWait;
    std::function<void(MessageKind, const QString&)> OnMessage;
    std::function<void(bool ok)> OnFinished;
    std::function<void()> OnIdentified;

    // The German text for a failed addressing: the failure message and what went wrong.
    static QString FailureText(const AddressingResult& r);

private:
    void run(int index, bool bySerial, const QString& serial);
    void reidentify();

    TMainCore& core_;
    TBusAddressing addressing_;
    std::atomic<bool> working_{false};
    std::atomic<bool> abort_{false};
    mutable std::mutex m_;
    AddressingResult last_;
    std::vector<int> unlogged_; // new addresses of successful addressings not yet in the log
};

// Resumes the operation thread while the operation mode is on, else the connection thread.
void ResumeOnePollingThread(TMainCore& core);

} // namespace kadex
