#pragma once
// The main window without widgets and the composition root of its concerns: it owns the bus,
// the three records, the two polling threads, the flow runner and the timers, and wires the
// units (record flows, operation panel, enabling rules, connection supervision, start-up and
// closing) to them and to the model's button events. The desktop program puts widgets on top;
// tests and the command line use it as it is.
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "comm/ZBThreads.h"
#include "device/DeviceContext.h"
#include "device/OEMData.h"
#include "core/DialogLogic.h"
#include "core/OptionsFlow.h"
#include "device/QVData.h"
#include "device/VAVBetrieb.h"
#include "core/ActionLogger.h"
#include "core/ConnectionSupervisor.h"
#include "core/DefaultFile.h"
#include "core/EnablingRules.h"
#include "core/OperationPanel.h"
#include "core/DifferenceMarks.h"
#include "core/RecordFlows.h"
#include "core/StartupClose.h"
#include "core/CoreTimer.h"
#include "core/FlowRunner.h"
#include "core/MainHost.h"
#include "core/TransferLog.h"
#include "core/LanguageLoader.h"
#include "core/HistoryRecorder.h"
#include "core/FocusedWriteFlow.h"
#include "device/model/WindowModel.h"
#include "core/ValueEntry.h"
#include "settings/ToolIni.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <set>
#include <functional>
#include <memory>

namespace kadex {

class TMainCore : private IUserFlowFrame, private ICoreControl, private IStartupCloseHost {
public:
    // Without a transport the machine's serial port is used. The polling periods, the pause bound
    // and the timers count on clock (the steady clock when null); the bus keeps its own.
    explicit TMainCore(WindowModel& model, std::unique_ptr<ITransport> transport = nullptr, IMainHost* host = nullptr,
                       IClock* clock = nullptr);
    ~TMainCore();
    TMainCore(const TMainCore&) = delete;
    TMainCore& operator=(const TMainCore&) = delete;

    TComForm Com;
    TZBCmd ZB;
    TDeviceContext Ctx;
    TVAVBetrieb VAVBetrieb;
    TOEMData OEMData;
    TQVData QVData;
    TValueEntry ValueEntry{Ctx};
    // The language file in force: the model's captions and the text records.
    TLanguageLoader Language{Ctx};
    // The sensor, actuator and controller function dialogs.
    TDialogLogic Dialogs{*this, OEMData};
    // Calibration-set files and "Default laden".
    TDefaultFile DefaultFile{Ctx, OEMData, Dialogs.RegFkt, ValueEntry};
    TTransferLog Transfer;
    FlowRunner Flows;
    // The options dialog's rules and its OK and Cancel.
    OptionsFlow Options{*this};

    // Menu commands and buttons whose feature this build does not have: they stay disabled
    // whatever the enabling rules say.
    std::set<FieldId> Unavailable;

    std::atomic<bool> DataRead{false};
    std::atomic<bool> Closing{false};
    // The monthly action log of this core's device actions.
    TActionLogger ActionLog{Ctx.model, Ctx, OEMData, Closing};
    // The service history of every action the log gets.
    THistoryRecorder History{Ctx.model, Ctx, ActionLog};
    std::atomic<int> SecondsOnline{0};
    // Set when the user clicks "Variabel": the next cycle shows the stored setpoint first.
    std::atomic<bool> SetpointRefresh{false};
    // Ctrl+S: the focused-value write of the OEM or QV tab.
    TFocusedWriteFlow FocusedWrite{*this};

    // Polling period (2000 ms); tests make it shorter.
    void SetPollPeriodMs(int ms);
    // Starts the worker threads (paused).
    void Start();

    // --- start-up (window thread; touches only the model; TStartupClose) -------------------
    void FormCreate();
    // Restores tab and bus address, prepares the log and default folders, fills the fields,
    // then posts the connect step.
    void StartTimerTimer(const TStartupSettings& settings);
    void PageControl1Change();
    // "&Transfer-Anzeige": shows or hides the Transfer tab; telegrams are traced while shown.
    void SetTransferDisplay(bool on);

    // --- steps and flows ----------------------------------------------------------------
    // "Lesen" and "Setzen": the read and write flows of the records this build has.
    bool ButtonLesenClick();
    bool ButtonSetzenClick();
    // "Test": the Service tab, "Betrieb" pressed as by the user, then V'max.
    void ButtonTestClick();
    // The connect, the connection step and the bus address change (TConnectionSupervisor).
    bool COMVerbinden();
    bool ReadConfig();
    void ConnectionStep();
    void OperationStep();
    void ComboBoxZBAdressChange();
    // Flow runner: another serial port (the options dialog): disconnect, then COMVerbinden.
    void ChangePort(const QString& path, int number);
    // "Betrieb" pressed or released (the toggle's state is read from the model).
    void SpeedButtonBetriebClick(bool fromBetrOffTimer = false);
    // Orderly end (TStartupClose): pause threads, release a forced mode, then no more bus traffic. Blocks
    // until a running flow has ended; the window uses PostClose instead.
    void Close();
    // The closing flow, posted behind the running flow: pause threads, release a forced mode,
    // set Closing. done runs on the flow runner when it has ended (also when the runner was
    // already stopping). The caller's thread never waits.
    void PostClose(std::function<void()> done);
    // The read, write and compare flows.
    TRecordFlows& Records() { return records_; }
    bool IsPcHwEqual() { return records_.IsPcHwEqual(); }
    // The indicator from the comparison of all three records, after the rules of the running
    // change are done (several requests in one change compare once); nothing while nothing
    // was read. Every accepted change of a compared field asks for it.
    void RefreshComparison();
    void SetSystemInfo() { records_.SetSystemInfo(); }

    // --- timer handlers -----------------------------------------------------------------
    void SecTimerTimer();
    void ComErrorTimerTimer();
    void BetrOffTimerTimer();
    // About every second while the port is lost: reconnects once the device is back.
    void PortWatchTimerTimer();
    bool PortWatchActive() const { return connection_.PortWatchActive(); }
    // Interval of the port watch (1000 ms); tests make it shorter.
    void SetPortWatchMs(int ms) { connection_.SetPortWatchMs(ms); }
    // Connects done by the port watch after a loss.
    int Reconnects() const { return connection_.Reconnects(); }
    bool SecTimerActive() const { return connection_.SecTimerActive(); }

    // --- threads ------------------------------------------------------------------------
    void SuspendVerbindenThread() override;
    void SuspendBetriebThread() override;
    void ResumeVerbindenThread() override;
    void ResumeBetriebThread() override;
    TPollThread& VerbindenThread() { return verbinden_; }
    TPollThread& BetriebThread() { return betrieb_; }

    // --- window rules -------------------------------------------------------------------
    void ShowCOMData(const QString& message);
    void EnableMainControls(bool on);
    void EnableDeviceButtons(bool on);
    bool CheckDeviceType();
    void ClearDeviceInfo();
    // Also lists and tints the differing fields (none while equal).
    void AnzConfPcHwEqual(bool equal) override;
    // The rows of the last not-equal indicator, for the window's list.
    std::vector<DifferenceRow> DifferenceRows() const { return marks_.Rows(); }
    // Density, altitude and conductance only mean something for a pressure-type sensor under
    // the volume-flow function; their fields follow the function and the sensor type.
    void UpdateSensorViews();
    void EnableBetriebPanel(bool modes, bool values);
    void EnableSignalPanel(bool on);
    void SetBetriebActive(bool on);
    static QString OnlineText(int seconds);

    // The operating-data record's firmware event: the DSK3 sensor type exists from firmware
    // 0308 on; hiding it while chosen chooses the DPK sensor.
    void FirmwareRead();

private:
    void subscribeComparison();
    std::atomic<bool> comparisonDue_{false};
    void LostDisplay() override;
    void SetBusy(bool busy) override;
    void Connect() override;
    void FollowBetriebToggle() override;
    void StopCoreTimers() override;
    void StopPollingThreads() override;
    // The frame of a user action: status text, busy cursor, controls off, threads paused; and back.
    QString BeginUserFlow(const QString& statusText) override;
    void EndUserFlow(const QString& status) override;
    // Model events of the window's buttons and commands, handled here.
    void subscribeEvents();

    WindowModel& m_;
    IMainHost* host_;
    TEnablingRules rules_;
    TRecordFlows records_;
    TDifferenceMarks marks_;
    TOperationPanel operation_;
    TPollThread verbinden_;
    TPollThread betrieb_;
    TConnectionSupervisor connection_;
    TStartupClose startup_;
};

} // namespace kadex
