#pragma once
// Connection supervision: opening the port and identifying the controller (COMVerbinden), the
// connection step of the polling thread, a lost port and the watch for its return, the bus
// address change, ComErrorTimer and the seconds-online counter. Runs on the flow runner and the
// connection thread; the lost-port notice comes from the serial I/O thread and only writes the
// model before posting the rest.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowModel.h"
#include "core/CoreTimer.h"
#include "core/EnablingRules.h"
#include "core/FlowRunner.h"
#include "core/OperationPanel.h"
#include "core/RecordFlows.h"

#include <QString>
#include <atomic>

namespace kadex {

class IMainHost;

// The core's flags the supervision reads and writes.
struct TConnectionFlags {
    std::atomic<bool>& dataRead;
    std::atomic<bool>& closing;
    std::atomic<int>& secondsOnline;
};

class TConnectionSupervisor {
public:
    TConnectionSupervisor(WindowModel& model, TComForm& com, TZBCmd& zb, TVAVBetrieb& betrieb, FlowRunner& flows,
                          TEnablingRules& rules, TRecordFlows& records, ICoreControl& core, IMainHost* host,
                          TConnectionFlags flags, IClock* clock = nullptr);

    // Flow runner: open the port, identify the controller, read its records.
    bool COMVerbinden();
    // Connection thread: the mode and the live values; a new serial number reconnects.
    void ConnectionStep();
    // Flow runner: another serial port. The old one is left (a forced mode released first)
    // and closed, then COMVerbinden on the new one.
    void ChangePort(const QString& path, int number);
    // Flow runner: the bus address chosen in the model.
    void ComboBoxZBAdressChange();
    // The port went away (serial I/O thread): show it, stop polling, watch for its return.
    void PortLost(const QString& reason);
    // The controller no longer answers: device info and panels emptied.
    void LostDisplay();

    void SecTimerTimer();
    void ComErrorTimerTimer();
    // About every second while the port is lost: reconnects once the device is back.
    void PortWatchTimerTimer();

    // Closing: no timer of the supervision fires any more.
    void StopTimers();

    bool PortWatchActive() const { return portWatch_.Active(); }
    void SetPortWatchMs(int ms) { portWatch_.SetInterval(ms); }
    int Reconnects() const { return reconnects_.load(); }
    bool SecTimerActive() const { return secTimer_.Active(); }

private:
    // Both polling threads paused, then a running operation mode released and ended.
    void pauseAndEndOperation();
    void restartOnlineCounter();
    void resumeOne();

    WindowModel& m_;
    TComForm& com_;
    TZBCmd& zb_;
    TVAVBetrieb& betrieb_;
    FlowRunner& flows_;
    TEnablingRules& rules_;
    TRecordFlows& records_;
    ICoreControl& core_;
    IMainHost* host_;
    TConnectionFlags flags_;
    CoreTimer secTimer_;
    CoreTimer comErrorTimer_;
    CoreTimer portWatch_;
    std::atomic<int> reconnects_{0};
    // Set while COMVerbinden runs for the port watch: a failed open then shows no box.
    std::atomic<bool> reconnecting_{false};
};

} // namespace kadex
