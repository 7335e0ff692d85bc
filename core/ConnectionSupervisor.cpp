#include "core/ConnectionSupervisor.h"

#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/Texts.h"
#include "settings/Trace.h"

namespace kadex {

namespace {

constexpr FieldId kBetrieb = fld::SpeedButtonBetrieb;

// Mode code reported by the device -> choice shown and operation number for the live values.
struct ModeDisplay {
    bool shown; // false: the choices stay as they are
    FieldId radio;
    int choice;
};
ModeDisplay modeDisplay(int mode)
{
    switch (mode) {
    case 0: return {true, fld::RadioBetrAuto, ChoiceAuto};
    case 1: return {true, fld::RadioBetrAuf, ChoiceAuf};
    case 2: return {true, fld::RadioBetrZu, ChoiceZu};
    case 3: return {true, fld::RadioBetrVMax, ChoiceVmax};
    case 4: return {true, fld::RadioBetrVMin, ChoiceVmin};
    case 5: return {true, fld::RadioBetrVMid, ChoiceVmid};
    case 7: return {true, fld::RadioBetrVNom, ChoiceVnom};
    case 8: return {true, fld::RadioBetrSchnellZu, ChoiceSchnellZu};
    case 9: return {true, fld::RadioBetrSchnellAuf, ChoiceSchnellAuf};
    default: return {false, fld::RadioBetrAuto, ChoiceNone};
    }
}

} // namespace

TConnectionSupervisor::TConnectionSupervisor(WindowModel& model, TComForm& com, TZBCmd& zb, TVAVBetrieb& betrieb,
                                             FlowRunner& flows, TEnablingRules& rules, TRecordFlows& records,
                                             ICoreControl& core, IMainHost* host, TConnectionFlags flags,
                                             IClock* clock)
    : m_(model),
      com_(com),
      zb_(zb),
      betrieb_(betrieb),
      flows_(flows),
      rules_(rules),
      records_(records),
      core_(core),
      host_(host),
      flags_(flags),
      secTimer_(1000, false, [this] { SecTimerTimer(); }, clock),
      comErrorTimer_(50, true, [this] { flows_.Post("ComErrorTimer", [this] { ComErrorTimerTimer(); }); }, clock),
      portWatch_(1000, false, [this] { PortWatchTimerTimer(); }, clock)
{
}

// ------------------------------------------------------------------------ connect

bool TConnectionSupervisor::COMVerbinden()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"COMVerbinden");
    flags_.dataRead = false;
    rules_.EnableMainControls(false);
    rules_.EnableDeviceButtons(false);
    TraceMain.TraceMessage(u"Trying to open ComPort");
    if (!com_.OpenPort()) {
        TraceMain.TraceText(u"ComPort not opened", com_.LastOpenError());
        if (reconnecting_.load()) {
            // The device node is back but not usable yet (permissions still being set):
            // keep watching quietly.
            rules_.ShowCOMData(IniStatusText.PortLost);
            if (!flags_.closing.load())
                portWatch_.Start();
        } else {
            if (host_)
                host_->ShowPortError(com_.LastOpenError());
            rules_.ShowCOMData(IniMessageText.Msg(15));
        }
        rules_.EnableMainControls(true);
        return false;
    }
    TraceMain.TraceMessage(u"ComPort opened");
    if (m_.caption(fld::PanelProgStatus) == IniStatusText.PortLost)
        m_.setCaption(fld::PanelProgStatus, QString());
    core_.SetBusy(true);
    rules_.ShowCOMData(QString());
    rules_.EnableMainControls(false);
    TraceMain.TraceMessage(u"Setting DTR and RTS");
    com_.SetDtrRts(); // pseudo-terminals have no modem lines; that is no failure
    TraceMain.TraceMessage(u"Identifying ZBDevice");
    const bool identified = betrieb_.Identify();
    TraceMain.TraceBool(u"ZBDevice identified", identified);
    // A forced mode whose release did not get through (the port or the controller went away
    // in operation) is released once a controller answers again: the identification resets
    // only the override. Not before it, so that a connect to an absent controller does not
    // wait out the release's timeouts on every attempt.
    if (identified && betrieb_.ReleaseOwed.load() && !betrieb_.BetriebAktiv.load()) {
        TraceMain.TraceMessage(u"Releasing the forced mode left from the operation mode");
        betrieb_.StopBetrieb();
    }
    if (identified) {
        rules_.enableIf(fld::ButtonDruckmessung, true);
        TraceMain.TraceMessage(u"Enabling second timer");
        restartOnlineCounter();
        if (records_.ReadConfig()) {
            rules_.EnableDeviceButtons(true);
            rules_.EnableSignalPanel(true);
            rules_.EnableBetriebPanel(false, true);
        } else {
            betrieb_.SetSerNr(QString());
        }
    } else {
        betrieb_.SetSerNr(QString());
    }
    core_.ResumeVerbindenThread();
    core_.SetBusy(false);
    rules_.EnableMainControls(true);
    return identified;
}

void TConnectionSupervisor::restartOnlineCounter()
{
    flags_.secondsOnline = 0;
    m_.setCaption(fld::PanelSecOnline, TEnablingRules::OnlineText(0));
    secTimer_.Start();
}

// ------------------------------------------------------------------------ polling step

void TConnectionSupervisor::ConnectionStep()
{
    bool r = false;
    uint8_t d1 = 0, d2 = 0;
    if (zb_.GetMode(d1, d2)) {
        const int mode = betrieb_.ModeFromAnswer(d1, d2);
        const ModeDisplay md = modeDisplay(mode);
        if (md.shown)
            m_.setChecked(md.radio, true);
        m_.setCaption(fld::PanelBetrStatus, IniStatusText.ForMode(mode));
        r = betrieb_.ShowBetrWerte(md.choice);
        if (r)
            r = betrieb_.ReadMotRueck();
        if (r)
            r = betrieb_.GetRegelParams();
    }
    if (r) {
        QString id, type;
        uint32_t key = 0;
        uint8_t t = 0;
        if (zb_.GetIdentityText(id, type, key, t) && id != betrieb_.SerNr())
            COMVerbinden(); // a different controller, or any controller after a loss
        return;
    }
    if (flags_.closing.load())
        return;
    LostDisplay();
    // A lost port is handled by PortLost and the port watch; only a write error on a port
    // that is still there stops polling for good.
    if (com_.WriteError() && !com_.LinkLost()) {
        rules_.ShowCOMData(IniMessageText.Msg(18));
        comErrorTimer_.Start();
    }
}

void TConnectionSupervisor::LostDisplay()
{
    rules_.AnzConfPcHwEqual(false);
    flags_.dataRead = false;
    secTimer_.Stop();
    m_.setEnabled(fld::ButtonDruckmessung, false);
    m_.setCaption(fld::PanelSecOnline, QString());
    rules_.EnableDeviceButtons(false);
    rules_.EnableBetriebPanel(false, false);
    rules_.EnableSignalPanel(false);
    rules_.ClearDeviceInfo();
    betrieb_.SetSerNr(QString());
}

// ------------------------------------------------------------------------ lost port

void TConnectionSupervisor::PortLost(const QString& reason)
{
    // Runs on the serial I/O thread: touch only the model and flags here; pausing the threads
    // waits for a running step, which may itself wait for this thread.
    if (flags_.closing.load())
        return;
    TraceMain.TraceText(QStringLiteral("Port lost ") + com_.DevicePath(), reason);
    rules_.ShowCOMData(IniStatusText.PortLost);
    m_.setCaption(fld::PanelProgStatus, IniStatusText.PortLost);
    LostDisplay();
    // The address selector and the bus commands follow the port; the rest stays as the
    // running action (if any) left it.
    for (const FieldId& f : {fld::ComboBoxZBAdress, fld::ExtrasZBAdress, fld::ExtrasZBCommand, fld::ExtrasBusScan})
        m_.setEnabled(f, false);
    flows_.Post("PortLost", [this] {
        // The release is tried (a lost link fails it at once, without waiting); what does
        // not get through stays owed to the reconnect.
        pauseAndEndOperation();
        m_.setCaption(fld::PanelProgStatus, IniStatusText.PortLost);
        if (!flags_.closing.load() && com_.LinkLost())
            portWatch_.Start();
    });
}

void TConnectionSupervisor::PortWatchTimerTimer()
{
    if (flags_.closing.load() || !com_.LinkLost()) {
        portWatch_.Stop();
        return;
    }
    if (!com_.PortPresent())
        return;
    portWatch_.Stop();
    flows_.Post("COMVerbinden", [this] {
        if (flags_.closing.load() || !com_.LinkLost())
            return;
        reconnecting_ = true;
        com_.ClosePort();
        COMVerbinden();
        reconnecting_ = false;
        if (com_.PortOpen())
            ++reconnects_;
    });
}

// ------------------------------------------------------------------------ port change

void TConnectionSupervisor::pauseAndEndOperation()
{
    core_.SuspendVerbindenThread();
    core_.SuspendBetriebThread();
    if (betrieb_.BetriebAktiv.load()) {
        m_.setChecked(kBetrieb, false);
        betrieb_.StopBetrieb();
        rules_.SetBetriebActive(false);
    }
}

void TConnectionSupervisor::ChangePort(const QString& path, int number)
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"ChangePort");
    // Released on the old port: the controller there would keep the forced mode.
    pauseAndEndOperation();
    LostDisplay();
    portWatch_.Stop();
    com_.ClosePort();
    com_.SetPortNumber(number);
    com_.SetPortPath(path);
    COMVerbinden();
}

// ------------------------------------------------------------------------ bus address

void TConnectionSupervisor::ComboBoxZBAdressChange()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"ComboBoxZBAdressChange");
    int index = m_.itemIndex(fld::ComboBoxZBAdress);
    if (index < 0 || index > 8) {
        index = 0;
        m_.setItemIndex(fld::ComboBoxZBAdress, 0);
    }
    if (!com_.PortOpen()) {
        zb_.SetAdrIndex(static_cast<uint8_t>(index));
        return;
    }
    core_.SetBusy(true);
    rules_.EnableMainControls(false);
    rules_.EnableDeviceButtons(false);
    // A polling step keeps the address it started with: pause first, then switch under the
    // bus lock (a step that outlasts the pause still holds the lock per transaction).
    core_.SuspendVerbindenThread();
    core_.SuspendBetriebThread();
    zb_.SetAdrIndex(static_cast<uint8_t>(index));
    QString id, type;
    uint32_t key = 0;
    uint8_t t = 0;
    if (!zb_.GetIdentityText(id, type, key, t)) {
        rules_.ClearDeviceInfo();
        betrieb_.SetSerNr(QString());
    } else if (id == betrieb_.SerNr()) {
        restartOnlineCounter();
        rules_.EnableDeviceButtons(true);
    } else if (betrieb_.RefreshIdent()) {
        restartOnlineCounter();
        if (records_.ReadConfig()) {
            rules_.EnableDeviceButtons(true);
            rules_.EnableSignalPanel(true);
            rules_.EnableBetriebPanel(betrieb_.BetriebAktiv.load(), true);
        } else {
            betrieb_.SetSerNr(QString());
        }
    } else {
        betrieb_.SetSerNr(QString());
    }
    resumeOne();
    m_.setEnabled(fld::ComboBoxZBAdress, true);
    rules_.EnableMainControls(true);
    core_.SetBusy(false);
}

void TConnectionSupervisor::resumeOne()
{
    if (betrieb_.BetriebAktiv.load())
        core_.ResumeBetriebThread();
    else
        core_.ResumeVerbindenThread();
}

// ------------------------------------------------------------------------ timers

void TConnectionSupervisor::SecTimerTimer()
{
    int s = flags_.secondsOnline.load() + 1;
    if (s > 359999)
        s = 0;
    flags_.secondsOnline = s;
    m_.setCaption(fld::PanelSecOnline, TEnablingRules::OnlineText(s));
}

void TConnectionSupervisor::ComErrorTimerTimer()
{
    comErrorTimer_.Stop();
    core_.SuspendBetriebThread();
    core_.SuspendVerbindenThread();
    if (m_.checked(kBetrieb))
        betrieb_.StopBetrieb();
}

void TConnectionSupervisor::StopTimers()
{
    secTimer_.Stop();
    comErrorTimer_.Stop();
    portWatch_.Stop();
}

} // namespace kadex
