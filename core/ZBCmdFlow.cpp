#include "core/ZBCmdFlow.h"

#include "core/ZBAdrFlow.h"
#include "core/MainCore.h"

namespace kadex {

void ZBCmdFlow::Load(const QString& path)
{
    file_ = LoadRawTemplates(path);
}

void ZBCmdFlow::Show()
{
    running_ = true;
    core_.Flows.Post("ZBKommandoShow", [this] {
        core_.SuspendVerbindenThread();
        core_.SuspendBetriebThread();
    });
}

bool ZBCmdFlow::Send(int index)
{
    if (index < 0 || index >= static_cast<int>(file_.templates.size()))
        return false;
    const RawTemplate t = file_.templates[static_cast<size_t>(index)];
    if (!t.usable()) {
        RawSendResult r;
        r.problem = t.problem;
        if (OnSent)
            OnSent(r);
        return false;
    }
    return core_.Flows.Post("ZBKommandoSenden", [this, t] {
        const RawSendResult r = SendRawTemplate(core_.ZB, t);
        if (OnSent)
            OnSent(r);
    });
}

void ZBCmdFlow::Close()
{
    if (!running_.exchange(false))
        return;
    core_.Flows.Post("ZBKommandoClose", [this] {
        // After a write error polling stays stopped, as the error handling left it.
        if (core_.Com.WriteError() && core_.Com.PortOpen())
            return;
        ResumeOnePollingThread(core_);
    });
}

} // namespace kadex
