#pragma once
// The operation panel: "Betrieb" pressed or released, the operation step of the polling thread
// (the chosen mode sent every period, or the sensor values during pressure sampling), and
// BetrOffTimer, which ends the operation mode after a failed step.
#include "comm/ComForm.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowModel.h"
#include "core/CoreTimer.h"
#include "core/EnablingRules.h"
#include "core/FlowRunner.h"

#include <atomic>

namespace kadex {

// What the units take from the composition root: the polling threads, the busy cursor, the
// display of a lost controller.
class ICoreControl {
public:
    virtual ~ICoreControl() = default;
    virtual void SuspendVerbindenThread() = 0;
    virtual void SuspendBetriebThread() = 0;
    virtual void ResumeVerbindenThread() = 0;
    virtual void ResumeBetriebThread() = 0;
    virtual void LostDisplay() = 0;
    virtual void SetBusy(bool busy) = 0;
};

class TOperationPanel {
public:
    // setpointRefresh: set when the user chooses "Variabel"; the next step shows the stored
    // setpoint first.
    TOperationPanel(WindowModel& model, TComForm& com, TVAVBetrieb& betrieb, FlowRunner& flows, TEnablingRules& rules,
                    ICoreControl& core, std::atomic<bool>& setpointRefresh, IClock* clock = nullptr);

    // Polling thread.
    void OperationStep();
    // Flow runner; the toggle's state is read from the model.
    void SpeedButtonBetriebClick(bool fromBetrOffTimer = false);
    void BetrOffTimerTimer();
    void StopTimer() { betrOffTimer_.Stop(); }

private:
    WindowModel& m_;
    TComForm& com_;
    TVAVBetrieb& betrieb_;
    TEnablingRules& rules_;
    ICoreControl& core_;
    std::atomic<bool>& setpointRefresh_;
    CoreTimer betrOffTimer_;
};

} // namespace kadex
