#pragma once
// Start-up and closing of the main window: FormCreate, StartTimerTimer (settings applied, tabs,
// folders, fields filled, the connect posted), the tab change, and the orderly end as a flow
// posted behind the running one (PostClose) or blocking (Close).
#include "comm/ComForm.h"
#include "comm/ZBCmd.h"
#include "device/DeviceContext.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowModel.h"
#include "core/DialogLogic.h"
#include "core/EnablingRules.h"
#include "core/FlowRunner.h"
#include "core/OperationPanel.h"
#include "settings/ToolIni.h"

#include <QString>
#include <atomic>
#include <functional>
#include <set>

namespace kadex {

// What the start-up takes from the tool settings. A default-made one holds what the settings
// hold without a file.
struct TStartupSettings {
    int Tabsheet = TIniConfig{}.Tabsheet;
    int ZBAdrIndex = TIniConfig{}.ZBAdrIndex;
    int EinheitIndex = TIniConfig{}.EinheitIndex;
    int ReglerFkt = TIniConfig{}.ReglerFkt;
    QString FenwixText = TIniQV{}.FenwixText;
    QString FenwixTextKPR = TIniQV{}.FenwixTextKPR;
    int ComNr = TIniCom{}.COMNr;
    QString ComPath = TIniCom{}.COMPort;
    int Baudrate = TIniCom{}.Baudrate;

    // From the settings records as read now.
    static TStartupSettings FromToolIni();
};

// What start-up and closing take from the composition root besides pausing the threads.
class IStartupCloseHost {
public:
    virtual ~IStartupCloseHost() = default;
    // Flow runner: the connect (COMVerbinden).
    virtual void Connect() = 0;
    // Flow runner: "Betrieb" follows the toggle in the model.
    virtual void FollowBetriebToggle() = 0;
    // No core timer fires any more.
    virtual void StopCoreTimers() = 0;
    // Joins both polling threads.
    virtual void StopPollingThreads() = 0;
};

class TStartupClose {
public:
    // closing is the core's flag: once set, the bus sends nothing and no thread resumes.
    TStartupClose(WindowModel& model, TDeviceContext& ctx, TComForm& com, TZBCmd& zb, TVAVBetrieb& betrieb,
                  FlowRunner& flows, TEnablingRules& rules, TDialogLogic& dialogs,
                  const std::set<FieldId>& unavailable, ICoreControl& core, IStartupCloseHost& host,
                  std::atomic<bool>& closing);

    // Window thread; touches only the model.
    void FormCreate();
    void StartTimerTimer(const TStartupSettings& settings);
    void PageControl1Change();

    // The closing flow behind the running flow; done runs on the flow runner when it has ended
    // (also when the runner was already stopping).
    void PostClose(std::function<void()> done);
    // Blocking: ends the flow runner, closes the device, joins the polling threads.
    void Close();

private:
    // Pause threads, release a forced mode, set Closing (flow runner or the closing thread).
    void closeDevice();

    WindowModel& m_;
    TDeviceContext& ctx_;
    TComForm& com_;
    TZBCmd& zb_;
    TVAVBetrieb& betrieb_;
    FlowRunner& flows_;
    TEnablingRules& rules_;
    TDialogLogic& dialogs_;
    const std::set<FieldId>& unavailable_;
    ICoreControl& core_;
    IStartupCloseHost& host_;
    std::atomic<bool>& closing_;
};

} // namespace kadex
