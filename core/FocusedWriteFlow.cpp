#include "core/FocusedWriteFlow.h"

#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/Texts.h"
#include "settings/Trace.h"

namespace kadex {

namespace {
constexpr int kTabOEM = 0;
constexpr int kTabQV = 3;
} // namespace

TFocusedWriteFlow::TFocusedWriteFlow(TMainCore& core)
    : core_(core), write_(core.Ctx, core.VAVBetrieb, core.OEMData, core.QVData)
{
}

bool TFocusedWriteFlow::Request(const FocusedValue& focus, std::function<void(bool ok)> done)
{
    WindowModel& m = core_.Ctx.model;
    if (!m.enabled(fld::ButtonSetzen) || !core_.Com.PortOpen())
        return false;
    const int tab = m.itemIndex(fld::PageControl1);
    if (tab != kTabOEM && tab != kTabQV)
        return false;
    // One at a time: a second Ctrl+S while one is on its way is ignored.
    if (pending_.exchange(true))
        return false;
    const bool qv = tab == kTabQV;
    // A figure typed and not yet left counts as the user sees it.
    core_.ValueEntry.CommitTyping();
    return core_.Flows.Post("FocusedWrite", [this, qv, focus, done = std::move(done)] {
        const bool ok = run(qv, focus);
        pending_ = false;
        if (done)
            done(ok);
    });
}

bool TFocusedWriteFlow::run(bool qvTab, const FocusedValue& focus)
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"FocusedWrite");
    WindowModel& m = core_.Ctx.model;
    const FieldId page = qvTab ? fld::TabSheetKonfigQV : fld::TabSheetKonfigOEM;
    // Only the value of a device that is still answering can be written; checked again here
    // since the key may have waited behind another flow.
    if (!core_.Com.PortOpen())
        return false;
    const QString action = core_.ActionLog.FocusedWriteAction();
    core_.Records().ClearFailure();
    core_.EnableMainControls(false);
    m.setEnabled(page, true);
    core_.EnableDeviceButtons(false);
    core_.SuspendVerbindenThread();
    core_.SuspendBetriebThread();

    core_.Transfer.AddTransferLine(QString());
    bool ok = false;
    if (qvTab) {
        ok = write_.WriteConfigPartQV(focus.field);
    } else {
        ok = write_.WriteConfigPartOEM(focus);
        core_.SetSystemInfo();
    }
    core_.Transfer.AddTransferLine(QString());
    core_.ActionLog.WriteLogEntry(action);

    core_.EnableDeviceButtons(true);
    core_.EnableMainControls(true);
    if (core_.VAVBetrieb.BetriebAktiv.load())
        core_.ResumeBetriebThread();
    else
        core_.ResumeVerbindenThread();
    if (!ok) {
        const auto texts = CurrentTexts();
        m.setText(kStatusMessage,
                  texts->Status.WriteFailed.arg(qvTab ? texts->Status.RecordQV : texts->Status.RecordOEM));
    }
    // All three records: the indicator must not show equal while another record differs.
    core_.AnzConfPcHwEqual(core_.IsPcHwEqual());
    return ok;
}

} // namespace kadex
