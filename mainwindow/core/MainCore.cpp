#include "mainwindow/core/MainCore.h"

#include "common/Helpers.h"
#include "common/Paths.h"
#include "device/model/WindowFields.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

#include <QDir>

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

TStartupSettings TStartupSettings::FromToolIni()
{
    TStartupSettings st;
    st.Tabsheet = IniConfig.Tabsheet;
    st.ZBAdrIndex = IniConfig.ZBAdrIndex;
    st.EinheitIndex = IniConfig.EinheitIndex;
    st.ReglerFkt = IniConfig.ReglerFkt;
    st.FenwixText = IniQV.FenwixText;
    st.FenwixTextKPR = IniQV.FenwixTextKPR;
    st.ComNr = IniCom.COMNr;
    st.ComPath = IniCom.COMPort;
    st.Baudrate = IniCom.Baudrate;
    return st;
}

TMainCore::TMainCore(WindowModel& model, std::unique_ptr<ITransport> transport, IMainHost* host, IClock* clock)
    : Com(std::move(transport)),
      ZB(Com),
      Ctx(ZB, model),
      VAVBetrieb(Ctx),
      OEMData(Ctx, VAVBetrieb),
      QVData(Ctx, VAVBetrieb),
      Transfer(model),
      m_(model),
      host_(host),
      rules_(model, Ctx, Com, VAVBetrieb, Unavailable, Closing),
      records_(model, VAVBetrieb, OEMData, QVData, *this, DataRead),
      marks_(model),
      operation_(model, Com, VAVBetrieb, Flows, rules_, *this, SetpointRefresh, clock),
      verbinden_("verbinden", [this] { ConnectionStep(); }, {}, clock),
      betrieb_("betrieb", [this] { operation_.OperationStep(); }, [this] { return VAVBetrieb.DruckmessungAktiv.load(); }, clock),
      secTimer_(1000, false, [this] { SecTimerTimer(); }, clock),
      comErrorTimer_(50, true, [this] { Flows.Post("ComErrorTimer", [this] { ComErrorTimerTimer(); }); }, clock),
      portWatch_(1000, false, [this] { PortWatchTimerTimer(); }, clock)
{
    Com.SetLinkLostHandler([this](const QString& reason) { portLost(reason); });
    VAVBetrieb.OnFirmwareRead = [this] { FirmwareRead(); };
    ValueEntry.Attach(OEMData);
    Flows.SetBusyHandler([this](bool busy, const std::string&) { setBusy(busy); });
    m_.onChange({fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDSK3Druck},
                [this](const Change&) { UpdateSensorViews(); });
    ZB.SetTransferSink(&Transfer);
    ZB.LoadCommandNames(FindDataFile(QStringLiteral("ZBCommand.txt")));
    subscribeEvents();
}

void TMainCore::subscribeEvents()
{
    // Buttons and commands reach the core as model events, whoever pressed them (the window's
    // widgets through the binder, a test through the model). Units that couple values attach
    // their own rules here as well.
    const auto onClick = [this](FieldId f, std::function<void()> handler) {
        m_.onChange(f, [handler = std::move(handler)](const Change& c) {
            if (c.clicked)
                handler();
        });
    };
    const auto onUserCheck = [this](FieldId f, std::function<void(bool)> handler) {
        m_.onChange(f, [this, f, handler = std::move(handler)](const Change& c) {
            if (c.origin == Origin::User && c.has(Prop::Checked))
                handler(m_.checked(f));
        });
    };
    onClick(fld::ButtonLesen, [this] { Flows.Post("Lesen", [this] { ButtonLesenClick(); }); });
    onClick(fld::ButtonSetzen, [this] { Flows.Post("Setzen", [this] { ButtonSetzenClick(); }); });
    onUserCheck(kBetrieb, [this](bool) {
        records_.ClearFailure();
        Flows.Post("Betrieb", [this] { SpeedButtonBetriebClick(); });
    });
    onUserCheck(fld::RadioBetrVariabel, [this](bool on) {
        if (on)
            SetpointRefresh = true;
    });
    onClick(fld::ButtonClear, [this] { Transfer.Clear(); });
    onClick(fld::ButtonResetAlarm, [this] {
        m_.setItems(fld::ListBoxAlarme, {});
        m_.setEnabled(fld::ButtonResetAlarm, false);
    });
    m_.onChange(fld::ComboBoxZBAdress, [this](const Change& c) {
        if (c.origin == Origin::User && c.has(Prop::ItemIndex)) {
            records_.ClearFailure();
            Flows.Post("ZBAdresse", [this] { ComboBoxZBAdressChange(); });
        }
    });
    onUserCheck(fld::ExtrasTransferAnzeige, [this](bool on) { SetTransferDisplay(on); });
    onClick(fld::DateiBeenden, [this] {
        if (host_)
            host_->RequestClose();
    });
    onClick(fld::HilfeHilfePdf, [this] {
        if (host_)
            host_->ShowHelp();
    });
}

TMainCore::~TMainCore()
{
    Close();
}

void TMainCore::SetPollPeriodMs(int ms)
{
    verbinden_.SetPeriodMs(ms);
    betrieb_.SetPeriodMs(ms);
}

void TMainCore::Start()
{
    verbinden_.Start();
    betrieb_.Start();
}

void TMainCore::setBusy(bool busy)
{
    if (host_)
        host_->SetBusyCursor(busy);
}

// ------------------------------------------------------------------------ threads

void TMainCore::SuspendVerbindenThread() { verbinden_.Suspend(4000); }
void TMainCore::SuspendBetriebThread() { betrieb_.Suspend(4000); }

void TMainCore::ResumeVerbindenThread()
{
    if (!Closing.load())
        verbinden_.Resume();
}

void TMainCore::ResumeBetriebThread()
{
    if (!Closing.load())
        betrieb_.Resume();
}

void TMainCore::resumeOne()
{
    if (VAVBetrieb.BetriebAktiv.load())
        ResumeBetriebThread();
    else
        ResumeVerbindenThread();
}

// ------------------------------------------------------------------------ connect

bool TMainCore::COMVerbinden()
{
    TraceMethodScope trace(TraceMain, this, u"COMVerbinden");
    DataRead = false;
    EnableMainControls(false);
    EnableDeviceButtons(false);
    TraceMain.TraceMessage(u"Trying to open ComPort");
    if (!Com.OpenPort()) {
        TraceMain.TraceText(u"ComPort not opened", Com.LastOpenError());
        if (reconnecting_.load()) {
            // The device node is back but not usable yet (permissions still being set):
            // keep watching quietly.
            ShowCOMData(IniStatusText.PortLost);
            if (!Closing.load())
                portWatch_.Start();
        } else {
            if (host_)
                host_->ShowPortError(Com.LastOpenError());
            ShowCOMData(IniMessageText.Msg(15));
        }
        EnableMainControls(true);
        return false;
    }
    TraceMain.TraceMessage(u"ComPort opened");
    if (m_.caption(fld::PanelProgStatus) == IniStatusText.PortLost)
        m_.setCaption(fld::PanelProgStatus, QString());
    setBusy(true);
    ShowCOMData(QString());
    EnableMainControls(false);
    TraceMain.TraceMessage(u"Setting DTR and RTS");
    Com.SetDtrRts(); // pseudo-terminals have no modem lines; that is no failure
    TraceMain.TraceMessage(u"Identifying ZBDevice");
    const bool identified = VAVBetrieb.Identify();
    TraceMain.TraceBool(u"ZBDevice identified", identified);
    if (identified) {
        enableIf(fld::ButtonDruckmessung, true);
        TraceMain.TraceMessage(u"Enabling second timer");
        SecondsOnline = 0;
        m_.setCaption(fld::PanelSecOnline, OnlineText(0));
        secTimer_.Start();
        if (ReadConfig()) {
            EnableDeviceButtons(true);
            EnableSignalPanel(true);
            EnableBetriebPanel(false, true);
        } else {
            VAVBetrieb.SetSerNr(QString());
        }
    } else {
        VAVBetrieb.SetSerNr(QString());
    }
    ResumeVerbindenThread();
    setBusy(false);
    EnableMainControls(true);
    return identified;
}

bool TMainCore::ReadConfig()
{
    return records_.ReadConfig();
}

QString TMainCore::BeginUserFlow(const QString& statusText)
{
    const QString status = m_.caption(fld::PanelProgStatus);
    m_.setCaption(fld::PanelProgStatus, statusText);
    setBusy(true);
    EnableMainControls(false);
    EnableDeviceButtons(false);
    SuspendVerbindenThread();
    SuspendBetriebThread();
    return status;
}

void TMainCore::EndUserFlow(const QString& status)
{
    EnableDeviceButtons(true);
    EnableMainControls(true);
    if (VAVBetrieb.BetriebAktiv.load()) {
        ResumeBetriebThread();
        m_.setCaption(fld::PanelProgStatus, IniStatusText.Betrieb);
    } else {
        ResumeVerbindenThread();
    }
    setBusy(false);
    m_.setCaption(fld::PanelProgStatus, status);
}

bool TMainCore::ButtonLesenClick()
{
    return records_.Lesen();
}

bool TMainCore::ButtonSetzenClick()
{
    return records_.Setzen();
}

// ------------------------------------------------------------------------ start-up

void TMainCore::FormCreate()
{
    TraceMethodScope trace(TraceMain, this, u"FormCreate");
    Ctx.FirmwareVersion = 0x0220;
    AnzConfPcHwEqual(false);
    m_.setItemIndex(fld::ComboBoxZBAdress, 0);
    EnableMainControls(false);
    EnableDeviceButtons(false);
    m_.setEnabled(fld::ButtonDefaultLaden, false);
    EnableBetriebPanel(false, false);
    EnableSignalPanel(false);
    Closing = false;
    for (FieldId f : Unavailable)
        m_.setEnabled(f, false);
}

void TMainCore::StartTimerTimer(const TStartupSettings& st)
{
    TraceMethodScope trace(TraceMain, this, u"StartTimerTimer");
    Ctx.ReglerFkt = st.ReglerFkt;
    Ctx.UnitIndex = (st.EinheitIndex >= 0 && st.EinheitIndex <= 2) ? st.EinheitIndex : 0;
    Ctx.SetTypeTexts(st.FenwixText, st.FenwixTextKPR);
    Com.SetPortNumber(st.ComNr);
    Com.SetPortPath(st.ComPath);
    Com.SetBaudRate(st.Baudrate);

    // Tabs 0..3 shown, Transfer hidden; the stored tab, or Experte when that one is hidden.
    TraceMain.TraceMessage(u"Enabling Tab Sheets");
    for (FieldId tab : {fld::TabSheetKonfigOEM, fld::TabSheetExperte, fld::TabSheetService, fld::TabSheetKonfigQV})
        m_.setVisible(tab, true);
    m_.setVisible(fld::TabSheetTransfer, false);
    static constexpr FieldId tabs[] = {fld::TabSheetKonfigOEM, fld::TabSheetExperte, fld::TabSheetService, fld::TabSheetKonfigQV};
    int tab = st.Tabsheet > 3 ? 3 : (st.Tabsheet < 0 ? 1 : st.Tabsheet);
    if (!m_.visible(tabs[tab]))
        tab = 1;
    m_.setItemIndex(fld::PageControl1, tab);
    PageControl1Change();

    // Log and default folders below the per-user folder unless the user chose others; a
    // folder that cannot be made is not reported here.
    if (IniPath.LogDatei.isEmpty())
        IniPath.LogDatei = DefaultLogDir();
    if (IniPath.DefaultDatei.isEmpty())
        IniPath.DefaultDatei = DefaultDataFileDir();
    for (const QString& dir : {IniPath.LogDatei, IniPath.DefaultDatei})
        if (!dir.isEmpty())
            QDir().mkpath(dir);

    Dialogs.StartUp();
    UpdateSensorViews();
    // The conductance entry starts from the active one, before the device info is emptied.
    m_.setText(fld::EditVAVLwErmittelt, m_.text(fld::EditVAVLwAktiv));
    ClearDeviceInfo();
    VAVBetrieb.SetData();

    const int adr = (st.ZBAdrIndex < 0 || st.ZBAdrIndex > 8) ? 0 : st.ZBAdrIndex;
    m_.setItemIndex(fld::ComboBoxZBAdress, adr);
    ZB.SetAdrIndex(static_cast<uint8_t>(adr));
    Flows.Post("COMVerbinden", [this] { COMVerbinden(); });
}

void TMainCore::PageControl1Change()
{
    const int index = m_.itemIndex(fld::PageControl1);
    m_.setVisible(fld::PanelBetrieb, index == 2);
    m_.setVisible(fld::PanelTest, index == 0);
    if (VAVBetrieb.BetriebAktiv.load() && index != 2 && index != 4 && m_.checked(kBetrieb)) {
        m_.setChecked(kBetrieb, false);
        Flows.Post("Betrieb", [this] { SpeedButtonBetriebClick(); });
    }
}

void TMainCore::SetTransferDisplay(bool on)
{
    m_.setChecked(fld::ExtrasTransferAnzeige, on);
    if (on) {
        const int previous = m_.itemIndex(fld::PageControl1);
        m_.setVisible(fld::TabSheetTransfer, true);
        m_.setItemIndex(fld::PageControl1, 4);
        Transfer.AddTransferLine(QString());
        m_.setItemIndex(fld::PageControl1, previous);
    } else {
        if (m_.itemIndex(fld::PageControl1) == 4)
            m_.setItemIndex(fld::PageControl1, 1);
        m_.setVisible(fld::TabSheetTransfer, false);
    }
}

// ------------------------------------------------------------------------ polling steps

void TMainCore::ConnectionStep()
{
    bool r = false;
    uint8_t d1 = 0, d2 = 0;
    if (ZB.GetMode(d1, d2)) {
        const int mode = VAVBetrieb.ModeFromAnswer(d1, d2);
        const ModeDisplay md = modeDisplay(mode);
        if (md.shown)
            m_.setChecked(md.radio, true);
        m_.setCaption(fld::PanelBetrStatus, IniStatusText.ForMode(mode));
        r = VAVBetrieb.ShowBetrWerte(md.choice);
        if (r)
            r = VAVBetrieb.ReadMotRueck();
        if (r)
            r = VAVBetrieb.GetRegelParams();
    }
    if (r) {
        QString id, type;
        uint32_t key = 0;
        uint8_t t = 0;
        if (ZB.GetIdentityText(id, type, key, t) && id != VAVBetrieb.SerNr())
            COMVerbinden(); // a different controller, or any controller after a loss
        return;
    }
    if (Closing.load())
        return;
    lostDisplay();
    // A lost port is handled by portLost and the port watch; only a write error on a port
    // that is still there stops polling for good.
    if (Com.WriteError() && !Com.LinkLost()) {
        ShowCOMData(IniMessageText.Msg(18));
        comErrorTimer_.Start();
    }
}

void TMainCore::lostDisplay()
{
    AnzConfPcHwEqual(false);
    DataRead = false;
    secTimer_.Stop();
    m_.setEnabled(fld::ButtonDruckmessung, false);
    m_.setCaption(fld::PanelSecOnline, QString());
    EnableDeviceButtons(false);
    EnableBetriebPanel(false, false);
    EnableSignalPanel(false);
    ClearDeviceInfo();
    VAVBetrieb.SetSerNr(QString());
}

// ------------------------------------------------------------------------ lost port

void TMainCore::portLost(const QString& reason)
{
    // Runs on the serial I/O thread: touch only the model and flags here; pausing the threads
    // waits for a running step, which may itself wait for this thread.
    if (Closing.load())
        return;
    TraceMain.TraceText(QStringLiteral("Port lost ") + Com.DevicePath(), reason);
    ShowCOMData(IniStatusText.PortLost);
    m_.setCaption(fld::PanelProgStatus, IniStatusText.PortLost);
    lostDisplay();
    // The address selector and the bus commands follow the port; the rest stays as the
    // running action (if any) left it.
    for (const FieldId& f : {fld::ComboBoxZBAdress, fld::ExtrasZBAdress, fld::ExtrasZBCommand})
        m_.setEnabled(f, false);
    Flows.Post("PortLost", [this] {
        SuspendVerbindenThread();
        SuspendBetriebThread();
        if (VAVBetrieb.BetriebAktiv.load()) {
            // Nothing can be sent; the reconnect's identification releases a forced mode.
            m_.setChecked(kBetrieb, false);
            VAVBetrieb.BetriebAktiv = false;
            SetBetriebActive(false);
        }
        m_.setCaption(fld::PanelProgStatus, IniStatusText.PortLost);
        if (!Closing.load() && Com.LinkLost())
            portWatch_.Start();
    });
}

void TMainCore::PortWatchTimerTimer()
{
    if (Closing.load() || !Com.LinkLost()) {
        portWatch_.Stop();
        return;
    }
    if (!Com.PortPresent())
        return;
    portWatch_.Stop();
    Flows.Post("COMVerbinden", [this] {
        if (Closing.load() || !Com.LinkLost())
            return;
        reconnecting_ = true;
        Com.ClosePort();
        COMVerbinden();
        reconnecting_ = false;
        if (Com.PortOpen())
            ++reconnects_;
    });
}

// ------------------------------------------------------------------------ bus address

void TMainCore::ComboBoxZBAdressChange()
{
    TraceMethodScope trace(TraceMain, this, u"ComboBoxZBAdressChange");
    int index = m_.itemIndex(fld::ComboBoxZBAdress);
    if (index < 0 || index > 8) {
        index = 0;
        m_.setItemIndex(fld::ComboBoxZBAdress, 0);
    }
    if (!Com.PortOpen()) {
        ZB.SetAdrIndex(static_cast<uint8_t>(index));
        return;
    }
    setBusy(true);
    EnableMainControls(false);
    EnableDeviceButtons(false);
    // A polling step keeps the address it started with: pause first, then switch under the
    // bus lock (a step that outlasts the pause still holds the lock per transaction).
    SuspendVerbindenThread();
    SuspendBetriebThread();
    ZB.SetAdrIndex(static_cast<uint8_t>(index));
    QString id, type;
    uint32_t key = 0;
    uint8_t t = 0;
    if (!ZB.GetIdentityText(id, type, key, t)) {
        ClearDeviceInfo();
        VAVBetrieb.SetSerNr(QString());
    } else if (id == VAVBetrieb.SerNr()) {
        SecondsOnline = 0;
        m_.setCaption(fld::PanelSecOnline, OnlineText(0));
        secTimer_.Start();
        EnableDeviceButtons(true);
    } else if (VAVBetrieb.RefreshIdent()) {
        SecondsOnline = 0;
        m_.setCaption(fld::PanelSecOnline, OnlineText(0));
        secTimer_.Start();
        if (ReadConfig()) {
            EnableDeviceButtons(true);
            EnableSignalPanel(true);
            EnableBetriebPanel(VAVBetrieb.BetriebAktiv.load(), true);
        } else {
            VAVBetrieb.SetSerNr(QString());
        }
    } else {
        VAVBetrieb.SetSerNr(QString());
    }
    resumeOne();
    m_.setEnabled(fld::ComboBoxZBAdress, true);
    EnableMainControls(true);
    setBusy(false);
}

// ------------------------------------------------------------------------ timers

void TMainCore::SecTimerTimer()
{
    int s = SecondsOnline.load() + 1;
    if (s > 359999)
        s = 0;
    SecondsOnline = s;
    m_.setCaption(fld::PanelSecOnline, OnlineText(s));
}

void TMainCore::ComErrorTimerTimer()
{
    comErrorTimer_.Stop();
    SuspendBetriebThread();
    SuspendVerbindenThread();
    if (m_.checked(kBetrieb))
        VAVBetrieb.StopBetrieb();
}

// ------------------------------------------------------------------------ operation mode

void TMainCore::OperationStep() { operation_.OperationStep(); }
void TMainCore::SpeedButtonBetriebClick(bool fromBetrOffTimer) { operation_.SpeedButtonBetriebClick(fromBetrOffTimer); }
void TMainCore::BetrOffTimerTimer() { operation_.BetrOffTimerTimer(); }
void TMainCore::LostDisplay() { lostDisplay(); }
void TMainCore::SetBusy(bool busy) { setBusy(busy); }

// ------------------------------------------------------------------------ window rules

QString TMainCore::OnlineText(int seconds) { return TEnablingRules::OnlineText(seconds); }
void TMainCore::ShowCOMData(const QString& message) { rules_.ShowCOMData(message); }
void TMainCore::enableIf(FieldId field, bool on) { rules_.enableIf(field, on); }
void TMainCore::EnableMainControls(bool on) { rules_.EnableMainControls(on); }
void TMainCore::EnableDeviceButtons(bool on) { rules_.EnableDeviceButtons(on); }
bool TMainCore::CheckDeviceType() { return rules_.CheckDeviceType(); }
void TMainCore::ClearDeviceInfo() { rules_.ClearDeviceInfo(); }
void TMainCore::FirmwareRead() { rules_.FirmwareRead(); }
void TMainCore::UpdateSensorViews() { rules_.UpdateSensorViews(); }
void TMainCore::AnzConfPcHwEqual(bool equal)
{
    rules_.AnzConfPcHwEqual(equal);
    FieldDifferences rows = equal ? FieldDifferences{} : records_.Differences();
    // Not equal for a reason no field shows (a write that did not go through).
    if (!equal && rows.empty())
        rows.push_back({std::nullopt, QString(), QStringLiteral("unknown")});
    marks_.Show(rows);
}
void TMainCore::SetBetriebActive(bool on) { rules_.SetBetriebActive(on); }
void TMainCore::EnableBetriebPanel(bool modes, bool values) { rules_.EnableBetriebPanel(modes, values); }
void TMainCore::EnableSignalPanel(bool on) { rules_.EnableSignalPanel(on); }

// ------------------------------------------------------------------------ closing

void TMainCore::closeDevice()
{
    if (Closing.load())
        return;
    TraceMethodScope trace(TraceMain, this, u"FormCloseQuery");
    SuspendBetriebThread();
    SuspendVerbindenThread();
    if (m_.checked(kBetrieb))
        VAVBetrieb.StopBetrieb();
    Closing = true;
    ZB.SetClosing(true);
    secTimer_.Stop();
    comErrorTimer_.Stop();
    operation_.StopTimer();
    portWatch_.Stop();
}

void TMainCore::PostClose(std::function<void()> done)
{
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    const bool posted = Flows.Post("Closing", [this, finish] {
        closeDevice();
        if (*finish)
            (*finish)();
    });
    if (!posted && *finish)
        (*finish)();
}

void TMainCore::Close()
{
    if (!Closing.load()) {
        Flows.Stop();
        closeDevice();
    } else {
        Flows.Stop();
    }
    verbinden_.Stop();
    betrieb_.Stop();
}

} // namespace kadex
