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

// Operation choices in the order the operation step looks for the selected one, with the
// number the record takes.
struct ChoiceRadio {
    FieldId field;
    int choice;
};
constexpr ChoiceRadio kStepOrder[] = {
    {fld::RadioBetrAuto, ChoiceAuto},       {fld::RadioBetrZu, ChoiceZu},
    {fld::RadioBetrAuf, ChoiceAuf},         {fld::RadioBetrSchnellZu, ChoiceSchnellZu},
    {fld::RadioBetrSchnellAuf, ChoiceSchnellAuf}, {fld::RadioBetrVMin, ChoiceVmin},
    {fld::RadioBetrVMid, ChoiceVmid},       {fld::RadioBetrVMax, ChoiceVmax},
    {fld::RadioBetrVNom, ChoiceVnom},       {fld::RadioBetrVariabel, ChoiceVariabel},
};

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

TMainCore::TMainCore(WindowModel& model, std::unique_ptr<ITransport> transport, IMainHost* host)
    : Com(std::move(transport)),
      ZB(Com),
      Ctx(ZB, model),
      VAVBetrieb(Ctx),
      OEMData(Ctx, VAVBetrieb),
      Transfer(model),
      m_(model),
      host_(host),
      verbinden_("verbinden", [this] { ConnectionStep(); }),
      betrieb_("betrieb", [this] { OperationStep(); }, [this] { return VAVBetrieb.DruckmessungAktiv.load(); }),
      secTimer_(1000, false, [this] { SecTimerTimer(); }),
      comErrorTimer_(50, true, [this] { Flows.Post("ComErrorTimer", [this] { ComErrorTimerTimer(); }); }),
      betrOffTimer_(50, true, [this] { Flows.Post("BetrOffTimer", [this] { BetrOffTimerTimer(); }); }),
      portWatch_(1000, false, [this] { PortWatchTimerTimer(); })
{
    Com.SetLinkLostHandler([this](const QString& reason) { portLost(reason); });
    VAVBetrieb.OnFirmwareRead = [this] { FirmwareRead(); };
    Flows.SetBusyHandler([this](bool busy, const std::string&) { setBusy(busy); });
    m_.onChange({fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDSK3Druck},
                [this](const Change&) { UpdateSensorViews(); });
    ZB.SetTransferSink(&Transfer);
    ZB.LoadCommandNames(FindDataFile(QStringLiteral("ZBCommand.txt")));
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
    TraceMethodScope trace(TraceMain, this, u"ReadConfig");
    DataRead = false;
    const QString status = m_.caption(fld::PanelProgStatus);
    m_.setCaption(fld::PanelProgStatus, IniStatusText.DataRead);
    const bool r = VAVBetrieb.ReadData();
    m_.setCaption(fld::PanelProgStatus, status);
    if (r) {
        DataRead = true;
        AnzConfPcHwEqual(VAVBetrieb.IsPcHwEqual());
    }
    return r;
}

QString TMainCore::beginUserFlow(const QString& statusText)
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

void TMainCore::endUserFlow(const QString& status)
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
    TraceMethodScope trace(TraceMain, this, u"ButtonLesenClick");
    DataRead = false;
    const QString status = beginUserFlow(IniStatusText.DataRead);
    const bool ok = VAVBetrieb.ReadData();
    endUserFlow(status);
    DataRead = true;
    if (ok)
        AnzConfPcHwEqual(VAVBetrieb.IsPcHwEqual());
    return ok;
}

bool TMainCore::ButtonSetzenClick()
{
    TraceMethodScope trace(TraceMain, this, u"ButtonSetzenClick");
    const QString status = beginUserFlow(IniStatusText.DataWrite);
    const bool ok = VAVBetrieb.WriteData();
    VAVBetrieb.RefreshIdent();
    endUserFlow(status);
    if (ok)
        AnzConfPcHwEqual(true);
    return ok;
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

    UpdateSensorViews();
    // The conductance entry starts from the active one, before the device info is emptied.
    m_.setText(fld::EditVAVLwErmittelt, m_.text(fld::EditVAVLwAktiv));
    ClearDeviceInfo();
    VAVBetrieb.SetData();

    const int adr = (st.ZBAdrIndex < 0 || st.ZBAdrIndex > 8) ? 0 : st.ZBAdrIndex;
    m_.setItemIndex(fld::ComboBoxZBAdress, adr);
    ZB.AdrIndex = static_cast<uint8_t>(adr);
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

void TMainCore::OperationStep()
{
    const bool variabel = m_.checked(fld::RadioBetrVariabel);
    m_.setReadOnly(fld::EditBetrSollwPrz, !variabel);
    m_.setColour(fld::EditBetrSollwPrz, variabel ? Colour::Window : Colour::ButtonFace);
    bool r = true;
    if (VAVBetrieb.DruckmessungAktiv.load()) {
        r = VAVBetrieb.GetSensorValues();
    } else {
        int choice = ChoiceNone;
        for (const ChoiceRadio& c : kStepOrder) {
            if (m_.checked(c.field)) {
                choice = c.choice;
                break;
            }
        }
        if (choice == ChoiceVariabel && SetpointRefresh.exchange(false))
            m_.setDeviceValue(fld::EditBetrSollwPrz, VAVBetrieb.SollwPrz, 0);
        if (choice != ChoiceNone)
            r = VAVBetrieb.SetBetriebsart(choice);
    }
    if (!r) {
        lostDisplay();
        if (!Com.LinkLost())
            betrOffTimer_.Start();
    }
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
    ZB.AdrIndex = static_cast<uint8_t>(index);
    if (!Com.PortOpen())
        return;
    setBusy(true);
    EnableMainControls(false);
    EnableDeviceButtons(false);
    SuspendVerbindenThread();
    SuspendBetriebThread();
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

// ------------------------------------------------------------------------ operation mode

void TMainCore::SpeedButtonBetriebClick(bool fromBetrOffTimer)
{
    TraceMethodScope trace(TraceMain, this, u"SpeedButtonBetriebClick");
    setBusy(true);
    for (FieldId tab : {fld::TabSheetKonfigOEM, fld::TabSheetExperte, fld::TabSheetService, fld::TabSheetKonfigQV})
        m_.setEnabled(tab, false);
    EnableDeviceButtons(false);
    if (m_.checked(kBetrieb)) {
        SuspendVerbindenThread();
        VAVBetrieb.StartBetrieb();
        SetBetriebActive(true);
        ResumeBetriebThread();
    } else {
        SuspendBetriebThread();
        SetBetriebActive(false);
        EnableBetriebPanel(false, true);
        VAVBetrieb.StopBetrieb();
        ResumeVerbindenThread();
    }
    if (!fromBetrOffTimer)
        EnableDeviceButtons(true);
    for (FieldId tab : {fld::TabSheetKonfigOEM, fld::TabSheetExperte, fld::TabSheetService, fld::TabSheetKonfigQV})
        m_.setEnabled(tab, true);
    setBusy(false);
}

void TMainCore::SetBetriebActive(bool on)
{
    EnableBetriebPanel(on, on);
    if (on) {
        m_.setCaption(fld::PanelProgStatus, IniStatusText.Betrieb);
        return;
    }
    m_.setCaption(fld::PanelProgStatus, QString());
    for (FieldId f : {fld::EditBetrSollwPrz, fld::EditBetrSollwM3, fld::EditBetrIstwPrz, fld::EditBetrIstwM3})
        m_.setText(f, QStringLiteral("0"));
    m_.setText(fld::EditBetrRYSignPrz, QStringLiteral("0.0"));
    m_.setText(fld::EditBetrMotRueckPrz, QStringLiteral("0.0"));
}

void TMainCore::EnableBetriebPanel(bool modes, bool values)
{
    m_.setCaption(fld::PanelBetrStatus, QString());
    for (const ChoiceRadio& c : kStepOrder)
        m_.setEnabled(c.field, modes);
    for (FieldId f : {fld::LabelBetrSollw, fld::LabelBetrSollwPrzDim, fld::LabelBetrIstw, fld::LabelBetrIstwPrzDim,
                          fld::LabelBetrRSign, fld::LabelBetrRSignPrzDim, fld::LabelBetrMotRueck, fld::LabelBetrMotRueckPrzDim,
                          fld::EditBetrSollwPrz, fld::EditBetrSollwM3, fld::EditBetrIstwPrz, fld::EditBetrIstwM3,
                          fld::EditBetrRYSignPrz, fld::EditBetrMotRueckPrz})
        m_.setEnabled(f, values);
    const bool editable = modes && m_.checked(fld::RadioBetrVariabel);
    m_.setReadOnly(fld::EditBetrSollwPrz, !editable);
    m_.setColour(fld::EditBetrSollwPrz, editable ? Colour::Window : Colour::ButtonFace);
}

void TMainCore::EnableSignalPanel(bool on)
{
    for (FieldId f : {fld::LabelSignW1, fld::LabelSignW1Dim, fld::LabelSignU5, fld::LabelSignU5Dim, fld::LabelSensorSign,
                          fld::LabelSensorSignDim, fld::LabelSensorValue, fld::EditSignW1, fld::EditSignU5, fld::EditSensorSign,
                          fld::EditSensorValue, fld::LabelAlarm, fld::ListBoxAlarme})
        m_.setEnabled(f, on);
    if (!on) {
        for (FieldId f : {fld::EditSignW1, fld::EditSignU5, fld::EditSensorSign, fld::EditSensorValue})
            m_.setDisplayValue(f, 0);
        m_.setItems(fld::ListBoxAlarme, {});
    }
    m_.setEnabled(fld::ButtonResetAlarm, on && !m_.items(fld::ListBoxAlarme).isEmpty());
}

// ------------------------------------------------------------------------ timers

QString TMainCore::OnlineText(int seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

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

void TMainCore::BetrOffTimerTimer()
{
    betrOffTimer_.Stop();
    m_.setChecked(kBetrieb, false);
    SpeedButtonBetriebClick(true);
}

// ------------------------------------------------------------------------ window rules

void TMainCore::ShowCOMData(const QString& message)
{
    const QString port = Com.PortPath().isEmpty() ? QStringLiteral("COM%1").arg(Com.PortNumber()) : Com.PortPath();
    m_.setText(kStatusPort, port);
    m_.setText(kStatusMessage, message);
}

void TMainCore::enableIf(FieldId field, bool on)
{
    m_.setEnabled(field, on && Unavailable.count(field) == 0);
}

void TMainCore::EnableMainControls(bool on)
{
    for (FieldId f : {fld::ButtonCalculateLW, fld::DateiOeffnen, fld::DateiSpeichern, fld::DateiDrucken,
                          fld::ExtrasRegSetting, fld::ToolButtonDateiMenu, fld::ToolButtonExtrasMenu,
                          fld::ToolButtonHilfeMenu, fld::ToolButtonRegFkt, fld::TabSheetService,
                          fld::TabSheetExperte, fld::TabSheetKonfigOEM, fld::TabSheetKonfigQV})
        enableIf(f, on);
    const bool bus = on && Com.PortOpen();
    for (FieldId f : {fld::ComboBoxZBAdress, fld::ExtrasZBAdress, fld::ExtrasZBCommand})
        enableIf(f, bus);
}

void TMainCore::EnableDeviceButtons(bool on)
{
    enableIf(fld::ButtonLesen, on);
    enableIf(kBetrieb, on);
    enableIf(fld::ButtonCalculateDichte, on);
    const bool write = on && CheckDeviceType();
    enableIf(fld::ButtonSetzen, write);
    enableIf(fld::ButtonTest, write);
    m_.setVisible(fld::LabelOEMHinweisVS, write);
    m_.setVisible(fld::LabelQVHinweis, on);
}

bool TMainCore::CheckDeviceType()
{
    const QString expected = Ctx.ExpectedTypeText();
    const bool ok = !expected.isEmpty() && m_.text(fld::EditFenwix).startsWith(expected);
    m_.setColour(fld::EditFenwix, ok ? Colour::ButtonFace : Colour::Red);
    return true; // writing is allowed to any device; the colour is the warning
}

void TMainCore::ClearDeviceInfo()
{
    if (Closing.load())
        return;
    for (FieldId f : {fld::LabelOEM, fld::LabelPosition, fld::LabelTyp, fld::LabelSerNr, fld::LabelZBAdr})
        m_.setEnabled(f, false);
    for (FieldId f : {fld::EditFenwix, fld::EditOEM, fld::EditPosition, fld::EditSerNr, fld::EditZBAdr, fld::EditFirmware,
                          fld::EditConfTableID, fld::EditLeitwert, fld::EditDichte, fld::EditFunktion, fld::EditSensor,
                          fld::EditAntrieb, fld::EditVAVLwAktiv})
        m_.setText(f, QString());
    m_.setCaption(fld::LabelSensorTyp, QString());
    m_.setColour(fld::EditFenwix, Colour::ButtonFace);
    m_.setChecked(fld::RadioBetrAuto, true);
}

void TMainCore::FirmwareRead()
{
    const bool dsk3 = VAVBetrieb.GetFirmwareNr() > 307;
    m_.setVisible(fld::RadioButtonSensTypDSK3Druck, dsk3);
    if (!dsk3 && m_.checked(fld::RadioButtonSensTypDSK3Druck))
        m_.setChecked(fld::RadioButtonSensTypDruck, true);
}

void TMainCore::UpdateSensorViews()
{
    const bool dsk3 = m_.checked(fld::RadioButtonSensTypDSK3Druck);
    const bool pressureSensor = m_.checked(fld::RadioButtonSensTypDruck) || dsk3;
    const bool density = Ctx.ReglerFkt.load() == 1 && pressureSensor;
    for (FieldId f : {fld::LabelDichte, fld::EditDichte, fld::LabelDichteDim, fld::LabelSensorValue, fld::EditSensorValue,
                          fld::LabelSensorValueDim, fld::LabelLeitwert, fld::EditLeitwert, fld::GroupBoxVAVLeitwert})
        m_.setVisible(f, density);
    for (FieldId f : {fld::LabelHoehe, fld::EditHoeheAnz, fld::LabelHoeheAnzDim})
        m_.setVisible(f, dsk3);
    m_.setVisible(fld::ButtonCalculateDichte, density || dsk3);
}

void TMainCore::AnzConfPcHwEqual(bool equal)
{
    TraceMain.TraceBool(u"Konfiguration ist gleich: ", equal);
    m_.setVisible(fld::ImageNotEqual, !equal);
    m_.setVisible(fld::ImageEqual, equal);
}

// ------------------------------------------------------------------------ closing

void TMainCore::Close()
{
    if (Closing.load())
        return;
    TraceMethodScope trace(TraceMain, this, u"FormCloseQuery");
    Flows.Stop();
    SuspendBetriebThread();
    SuspendVerbindenThread();
    if (m_.checked(kBetrieb))
        VAVBetrieb.StopBetrieb();
    Closing = true;
    ZB.SetClosing(true);
    secTimer_.Stop();
    comErrorTimer_.Stop();
    betrOffTimer_.Stop();
    portWatch_.Stop();
    verbinden_.Stop();
    betrieb_.Stop();
}

} // namespace kadex
