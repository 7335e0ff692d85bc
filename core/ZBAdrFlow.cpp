#include "core/ZBAdrFlow.h"

#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/Texts.h"
#include "settings/Trace.h"

namespace kadex {

void ResumeOnePollingThread(TMainCore& core)
{
    if (core.VAVBetrieb.BetriebAktiv.load())
        core.ResumeBetriebThread();
    else
        core.ResumeVerbindenThread();
}

ZBAdrFlow::ZBAdrFlow(TMainCore& core) : core_(core), addressing_(core.ZB)
{
    // A successful addressing is logged once the window has identified the controller again,
    // so that the line names it; a failed one changed nothing and is not logged.
    addressing_.OnAddressed = [this](const AddressingResult& r) {
        if (!r.ok())
            return;
        std::lock_guard<std::mutex> lk(m_);
        unlogged_.push_back(r.newIndex);
    };
}

void ZBAdrFlow::Show()
{
    Serial = core_.Ctx.model.text(fld::EditSerNr);
    core_.Flows.Post("ZBAdresseShow", [this] {
        core_.SuspendVerbindenThread();
        core_.SuspendBetriebThread();
    });
}

AddressingResult ZBAdrFlow::LastResult() const
{
    std::lock_guard<std::mutex> lk(m_);
    return last_;
}

bool ZBAdrFlow::Ok()
{
    if (working_.exchange(true))
        return false;
    abort_ = false;
    const int index = AddressIndex < 0 || AddressIndex > 8 ? 0 : AddressIndex;
    AddressIndex = index;
    const bool bySerial = BySerial;
    const QString serial = Serial.trimmed();
    if (!core_.Flows.Post("ZBAdresseOk", [this, index, bySerial, serial] { run(index, bySerial, serial); })) {
        working_ = false;
        return false;
    }
    return true;
}

QString ZBAdrFlow::FailureText(const AddressingResult& r)
{
    using O = AddressingResult::Outcome;
    const QString failed = CurrentTexts()->Messages.Msg(10);
    const QString where = BusAddressName(r.newIndex);
    QString why;
    switch (r.outcome) {
    case O::Ok: return QString();
    case O::InvalidSerial: break;
    case O::Aborted: why = QStringLiteral("Es wurde kein Taster betätigt."); break;
    case O::SerialNotFound:
        why = QStringLiteral("Kein Regler antwortet mit der Serien-Nummer %1; es wurde nichts geändert.")
                  .arg(r.target.Text());
        break;
    case O::OccupantNotMoved:
        why = QStringLiteral("Der Regler %1 auf %2 konnte nicht auf PP umadressiert werden.")
                  .arg(r.occupant.Text(), where);
        break;
    case O::NotVerified:
        why = QStringLiteral("Der Regler %1 antwortet nicht auf %2.").arg(r.target.Text(), where);
        if (r.occupantMoved)
            why += QStringLiteral(" Der Regler %1 wurde zuvor auf PP umadressiert.").arg(r.occupant.Text());
        break;
    case O::LinkLost: why = CurrentTexts()->Status.PortLost; break;
    case O::Closing: break;
    }
    return why.isEmpty() ? failed : failed + QLatin1Char('\n') + why;
}

void ZBAdrFlow::run(int index, bool bySerial, const QString& serial)
{
    TraceMethodScope trace(TraceMain, u"TZBAdrForm", u"ButtonOkClick");
    const auto message = [this](MessageKind k, const QString& t) {
        if (OnMessage)
            OnMessage(k, t);
    };
    AddressingResult r;
    if (bySerial) {
        r = addressing_.AddressBySerial(serial, index);
        if (r.outcome == AddressingResult::Outcome::InvalidSerial)
            message(MessageKind::Error, CurrentTexts()->Messages.Msg(8));
    } else {
        ZbIdentity id;
        if (OnButtonWait)
            OnButtonWait(true);
        const bool found = addressing_.SearchButton(id, [this] { return abort_.load(); }, ButtonTimeoutMs);
        if (OnButtonWait)
            OnButtonWait(false);
        if (found) {
            r = addressing_.Address(id, index, false);
        } else {
            r.newIndex = index;
            r.outcome = core_.ZB.LastResult() == TxResult::LinkLost ? AddressingResult::Outcome::LinkLost
                                                                    : AddressingResult::Outcome::Aborted;
        }
    }
    {
        std::lock_guard<std::mutex> lk(m_);
        last_ = r;
    }
    if (r.ok()) {
        core_.ClearDeviceInfo();
        message(MessageKind::Info, CurrentTexts()->Messages.Msg(9));
    } else {
        message(MessageKind::Error, FailureText(r));
    }
    working_ = false;
    if (OnFinished)
        OnFinished(r.ok());
}

void ZBAdrFlow::Close()
{
    abort_ = true;
    core_.Flows.Post("IdentifyTimer", [this] { reidentify(); });
}

void ZBAdrFlow::reidentify()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"IdentifyTimerTimer");
    core_.EnableMainControls(false);
    core_.EnableDeviceButtons(false);
    core_.ClearDeviceInfo();
    bool ok = core_.VAVBetrieb.Identify();
    if (ok)
        ok = core_.ReadConfig();
    if (ok) {
        core_.EnableDeviceButtons(true);
        core_.EnableSignalPanel(true);
        core_.EnableBetriebPanel(core_.VAVBetrieb.BetriebAktiv.load(), true);
    } else {
        // The next controller that answers is connected anew by the connection step.
        core_.VAVBetrieb.SetSerNr(QString());
    }
    core_.Ctx.model.setEnabled(fld::ComboBoxZBAdress, core_.Com.PortOpen());
    std::vector<int> addressed;
    {
        std::lock_guard<std::mutex> lk(m_);
        addressed.swap(unlogged_);
    }
    for (int index : addressed)
        core_.ActionLog.WriteLogEntry(CurrentTexts()->LogFile.ZBAdresse + QLatin1Char(' ') + BusAddressName(index));
    core_.EnableMainControls(true);
    ResumeOnePollingThread(core_);
    if (OnIdentified)
        OnIdentified();
}

} // namespace kadex
