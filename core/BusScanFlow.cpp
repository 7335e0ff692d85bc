#include "core/BusScanFlow.h"

#include "device/Identify.h"
#include "device/model/WindowFields.h"
#include "core/ZBAdrFlow.h"
#include "core/MainCore.h"

namespace kadex {

bool BusScanFlow::Start()
{
    if (running_.exchange(true))
        return false;
    cancel_ = false;
    const bool posted = core_.Flows.Post("BusDurchsuchen", [this] {
        core_.SuspendVerbindenThread();
        core_.SuspendBetriebThread();
        const ScanResult r = ScanBus(
            core_.ZB, [this](int index) { if (OnAsking) OnAsking(index); },
            [this](const ScanEntry& e) { if (OnEntry) OnEntry(e); }, [this] { return cancel_.load(); });
        {
            std::lock_guard<std::mutex> lk(m_);
            result_ = r;
        }
        ResumeOnePollingThread(core_);
        running_ = false;
        if (OnDone)
            OnDone(r);
    });
    if (!posted)
        running_ = false;
    return posted;
}

ScanResult BusScanFlow::Result() const
{
    std::lock_guard<std::mutex> lk(m_);
    return result_;
}

void BusScanFlow::Connect(int index)
{
    // Choosing the address already shown changes nothing in the model: identify there anyway.
    if (!core_.Ctx.model.setItemIndex(fld::ComboBoxZBAdress, index < 0 || index > 8 ? 0 : index, Origin::User))
        core_.Flows.Post("ZBAdresse", [&core = core_] { core.ComboBoxZBAdressChange(); });
}

QString BusScanFlow::EntryText(const ScanEntry& e)
{
    switch (e.state) {
    case ScanEntry::State::Absent: return QStringLiteral("keine Antwort");
    case ScanEntry::State::Duplicate:
        return QStringLiteral("gestörte Antworten: vermutlich mehrere Regler auf dieser Adresse. "
                              "Einen davon über die Serien-Nummer umadressieren.");
    case ScanEntry::State::Present: break;
    }
    return QStringLiteral("%1  %2  Firmware %3")
        .arg(e.serial, e.typeText, e.firmwareOk ? IdentInfo::Hex4(e.firmware) : QStringLiteral("?"));
}

} // namespace kadex
