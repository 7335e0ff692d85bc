#include "mainwindow/core/MainCore.h"

#include "common/Helpers.h"
#include "common/Paths.h"
#include "mainwindow/core/WindowFields.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

#include <QDir>

namespace kadex {

namespace {

const QString kBetrieb = QStringLiteral("SpeedButtonBetrieb");

// Operation choices in the order the operation step looks for the selected one, with the
// number the record takes.
struct ChoiceRadio {
    const char* name;
    int choice;
};
constexpr ChoiceRadio kStepOrder[] = {
    {"RadioBetrAuto", ChoiceAuto},       {"RadioBetrZu", ChoiceZu},
    {"RadioBetrAuf", ChoiceAuf},         {"RadioBetrSchnellZu", ChoiceSchnellZu},
    {"RadioBetrSchnellAuf", ChoiceSchnellAuf}, {"RadioBetrVMin", ChoiceVmin},
    {"RadioBetrVMid", ChoiceVmid},       {"RadioBetrVMax", ChoiceVmax},
    {"RadioBetrVNom", ChoiceVnom},       {"RadioBetrVariabel", ChoiceVariabel},
};

// Mode code reported by the device -> choice shown and operation number for the live values.
struct ModeDisplay {
    const char* radio; // nullptr: the choices stay as they are
    int choice;
};
ModeDisplay modeDisplay(int mode)
{
    switch (mode) {
    case 0: return {"RadioBetrAuto", ChoiceAuto};
    case 1: return {"RadioBetrAuf", ChoiceAuf};
    case 2: return {"RadioBetrZu", ChoiceZu};
    case 3: return {"RadioBetrVMax", ChoiceVmax};
    case 4: return {"RadioBetrVMin", ChoiceVmin};
    case 5: return {"RadioBetrVMid", ChoiceVmid};
    case 7: return {"RadioBetrVNom", ChoiceVnom};
    case 8: return {"RadioBetrSchnellZu", ChoiceSchnellZu};
    case 9: return {"RadioBetrSchnellAuf", ChoiceSchnellAuf};
    default: return {nullptr, ChoiceNone};
    }
}

QString L(const char* s) { return QString::fromLatin1(s); }

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
      Transfer(model),
      m_(model),
      host_(host),
      verbinden_("verbinden", [this] { ConnectionStep(); }),
      betrieb_("betrieb", [this] { OperationStep(); }, [this] { return VAVBetrieb.DruckmessungAktiv.load(); }),
      secTimer_(1000, false, [this] { SecTimerTimer(); }),
      comErrorTimer_(50, true, [this] { Flows.Post("ComErrorTimer", [this] { ComErrorTimerTimer(); }); }),
      betrOffTimer_(50, true, [this] { Flows.Post("BetrOffTimer", [this] { BetrOffTimerTimer(); }); })
{
    VAVBetrieb.OnFirmwareRead = [this] { FirmwareRead(); };
    Flows.SetBusyHandler([this](bool busy, const std::string&) { setBusy(busy); });
    m_.onChange(QStringList{L("RadioButtonSensTypDruck"), L("RadioButtonSensTypVolumenstr"),
                            L("RadioButtonSensTypDSK3Druck")},
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
        if (host_)
            host_->ShowPortError(Com.LastOpenError());
        ShowCOMData(IniMessageText.Msg(15));
        EnableMainControls(true);
        return false;
    }
    TraceMain.TraceMessage(u"ComPort opened");
    setBusy(true);
    ShowCOMData(QString());
    EnableMainControls(false);
    TraceMain.TraceMessage(u"Setting DTR and RTS");
    Com.SetDtrRts(); // pseudo-terminals have no modem lines; that is no failure
    TraceMain.TraceMessage(u"Identifying ZBDevice");
    const bool identified = VAVBetrieb.Identify();
    TraceMain.TraceBool(u"ZBDevice identified", identified);
    if (identified) {
        enableIf(L("ButtonDruckmessung"), true);
        TraceMain.TraceMessage(u"Enabling second timer");
        SecondsOnline = 0;
        m_.setCaption(L("PanelSecOnline"), OnlineText(0));
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
    const QString status = m_.caption(L("PanelProgStatus"));
    m_.setCaption(L("PanelProgStatus"), IniStatusText.DataRead);
    const bool r = VAVBetrieb.ReadData();
    m_.setCaption(L("PanelProgStatus"), status);
    if (r) {
        DataRead = true;
        AnzConfPcHwEqual(VAVBetrieb.IsPcHwEqual());
    }
    return r;
}

QString TMainCore::beginUserFlow(const QString& statusText)
{
    const QString status = m_.caption(L("PanelProgStatus"));
    m_.setCaption(L("PanelProgStatus"), statusText);
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
        m_.setCaption(L("PanelProgStatus"), IniStatusText.Betrieb);
    } else {
        ResumeVerbindenThread();
    }
    setBusy(false);
    m_.setCaption(L("PanelProgStatus"), status);
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
    m_.setItemIndex(L("ComboBoxZBAdress"), 0);
    EnableMainControls(false);
    EnableDeviceButtons(false);
    m_.setEnabled(L("ButtonDefaultLaden"), false);
    EnableBetriebPanel(false, false);
    EnableSignalPanel(false);
    Closing = false;
    for (const QString& name : Unavailable)
        m_.setEnabled(name, false);
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
    for (const char* tab : {"TabSheetKonfigOEM", "TabSheetExperte", "TabSheetService", "TabSheetKonfigQV"})
        m_.setVisible(L(tab), true);
    m_.setVisible(L("TabSheetTransfer"), false);
    static const char* const tabs[] = {"TabSheetKonfigOEM", "TabSheetExperte", "TabSheetService", "TabSheetKonfigQV"};
    int tab = st.Tabsheet > 3 ? 3 : (st.Tabsheet < 0 ? 1 : st.Tabsheet);
    if (!m_.visible(L(tabs[tab])))
        tab = 1;
    m_.setItemIndex(L("PageControl1"), tab);
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
    m_.setText(L("EditVAVLwErmittelt"), m_.text(L("EditVAVLwAktiv")));
    ClearDeviceInfo();
    VAVBetrieb.SetData();

    const int adr = (st.ZBAdrIndex < 0 || st.ZBAdrIndex > 8) ? 0 : st.ZBAdrIndex;
    m_.setItemIndex(L("ComboBoxZBAdress"), adr);
    ZB.AdrIndex = static_cast<uint8_t>(adr);
    Flows.Post("COMVerbinden", [this] { COMVerbinden(); });
}

void TMainCore::PageControl1Change()
{
    const int index = m_.itemIndex(L("PageControl1"));
    m_.setVisible(L("PanelBetrieb"), index == 2);
    m_.setVisible(L("PanelTest"), index == 0);
    if (VAVBetrieb.BetriebAktiv.load() && index != 2 && index != 4 && m_.checked(kBetrieb)) {
        m_.setChecked(kBetrieb, false);
        Flows.Post("Betrieb", [this] { SpeedButtonBetriebClick(); });
    }
}

void TMainCore::SetTransferDisplay(bool on)
{
    m_.setChecked(L("ExtrasTransferAnzeige"), on);
    if (on) {
        const int previous = m_.itemIndex(L("PageControl1"));
        m_.setVisible(L("TabSheetTransfer"), true);
        m_.setItemIndex(L("PageControl1"), 4);
        Transfer.AddTransferLine(QString());
        m_.setItemIndex(L("PageControl1"), previous);
    } else {
        if (m_.itemIndex(L("PageControl1")) == 4)
            m_.setItemIndex(L("PageControl1"), 1);
        m_.setVisible(L("TabSheetTransfer"), false);
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
        if (md.radio)
            m_.setChecked(L(md.radio), true);
        m_.setCaption(L("PanelBetrStatus"), IniStatusText.ForMode(mode));
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
    if (Com.WriteError()) {
        ShowCOMData(IniMessageText.Msg(18));
        comErrorTimer_.Start();
    }
}

void TMainCore::lostDisplay()
{
    AnzConfPcHwEqual(false);
    DataRead = false;
    secTimer_.Stop();
    m_.setEnabled(L("ButtonDruckmessung"), false);
    m_.setCaption(L("PanelSecOnline"), QString());
    EnableDeviceButtons(false);
    EnableBetriebPanel(false, false);
    EnableSignalPanel(false);
    ClearDeviceInfo();
    VAVBetrieb.SetSerNr(QString());
}

void TMainCore::OperationStep()
{
    const bool variabel = m_.checked(L("RadioBetrVariabel"));
    m_.setReadOnly(L("EditBetrSollwPrz"), !variabel);
    m_.setColour(L("EditBetrSollwPrz"), variabel ? Colour::Window : Colour::ButtonFace);
    bool r = true;
    if (VAVBetrieb.DruckmessungAktiv.load()) {
        r = VAVBetrieb.GetSensorValues();
    } else {
        int choice = ChoiceNone;
        for (const ChoiceRadio& c : kStepOrder) {
            if (m_.checked(L(c.name))) {
                choice = c.choice;
                break;
            }
        }
        if (choice == ChoiceVariabel && SetpointRefresh.exchange(false))
            m_.setText(L("EditBetrSollwPrz"), Fixed(VAVBetrieb.SollwPrz / 100.0, 0));
        if (choice != ChoiceNone)
            r = VAVBetrieb.SetBetriebsart(choice);
    }
    if (!r) {
        lostDisplay();
        betrOffTimer_.Start();
    }
}

// ------------------------------------------------------------------------ bus address

void TMainCore::ComboBoxZBAdressChange()
{
    TraceMethodScope trace(TraceMain, this, u"ComboBoxZBAdressChange");
    int index = m_.itemIndex(L("ComboBoxZBAdress"));
    if (index < 0 || index > 8) {
        index = 0;
        m_.setItemIndex(L("ComboBoxZBAdress"), 0);
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
        m_.setCaption(L("PanelSecOnline"), OnlineText(0));
        secTimer_.Start();
        EnableDeviceButtons(true);
    } else if (VAVBetrieb.RefreshIdent()) {
        SecondsOnline = 0;
        m_.setCaption(L("PanelSecOnline"), OnlineText(0));
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
    m_.setEnabled(L("ComboBoxZBAdress"), true);
    EnableMainControls(true);
    setBusy(false);
}

// ------------------------------------------------------------------------ operation mode

void TMainCore::SpeedButtonBetriebClick(bool fromBetrOffTimer)
{
    TraceMethodScope trace(TraceMain, this, u"SpeedButtonBetriebClick");
    setBusy(true);
    for (const char* tab : {"TabSheetKonfigOEM", "TabSheetExperte", "TabSheetService", "TabSheetKonfigQV"})
        m_.setEnabled(L(tab), false);
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
    for (const char* tab : {"TabSheetKonfigOEM", "TabSheetExperte", "TabSheetService", "TabSheetKonfigQV"})
        m_.setEnabled(L(tab), true);
    setBusy(false);
}

void TMainCore::SetBetriebActive(bool on)
{
    EnableBetriebPanel(on, on);
    if (on) {
        m_.setCaption(L("PanelProgStatus"), IniStatusText.Betrieb);
        return;
    }
    m_.setCaption(L("PanelProgStatus"), QString());
    for (const char* f : {"EditBetrSollwPrz", "EditBetrSollwM3", "EditBetrIstwPrz", "EditBetrIstwM3"})
        m_.setText(L(f), QStringLiteral("0"));
    m_.setText(L("EditBetrRYSignPrz"), QStringLiteral("0.0"));
    m_.setText(L("EditBetrMotRueckPrz"), QStringLiteral("0.0"));
}

void TMainCore::EnableBetriebPanel(bool modes, bool values)
{
    m_.setCaption(L("PanelBetrStatus"), QString());
    for (const ChoiceRadio& c : kStepOrder)
        m_.setEnabled(L(c.name), modes);
    for (const char* f : {"LabelBetrSollw", "LabelBetrSollwPrzDim", "LabelBetrIstw", "LabelBetrIstwPrzDim",
                          "LabelBetrRSign", "LabelBetrRSignPrzDim", "LabelBetrMotRueck", "LabelBetrMotRueckPrzDim",
                          "EditBetrSollwPrz", "EditBetrSollwM3", "EditBetrIstwPrz", "EditBetrIstwM3",
                          "EditBetrRYSignPrz", "EditBetrMotRueckPrz"})
        m_.setEnabled(L(f), values);
    const bool editable = modes && m_.checked(L("RadioBetrVariabel"));
    m_.setReadOnly(L("EditBetrSollwPrz"), !editable);
    m_.setColour(L("EditBetrSollwPrz"), editable ? Colour::Window : Colour::ButtonFace);
}

void TMainCore::EnableSignalPanel(bool on)
{
    for (const char* f : {"LabelSignW1", "LabelSignW1Dim", "LabelSignU5", "LabelSignU5Dim", "LabelSensorSign",
                          "LabelSensorSignDim", "LabelSensorValue", "EditSignW1", "EditSignU5", "EditSensorSign",
                          "EditSensorValue", "LabelAlarm", "ListBoxAlarme"})
        m_.setEnabled(L(f), on);
    if (!on) {
        m_.setText(L("EditSignW1"), QStringLiteral("0.0"));
        m_.setText(L("EditSignU5"), QStringLiteral("0.0"));
        m_.setText(L("EditSensorSign"), QStringLiteral("0.00"));
        m_.setText(L("EditSensorValue"), QStringLiteral("0"));
        m_.setItems(L("ListBoxAlarme"), {});
    }
    m_.setEnabled(L("ButtonResetAlarm"), on && !m_.items(L("ListBoxAlarme")).isEmpty());
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
    m_.setCaption(L("PanelSecOnline"), OnlineText(s));
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
    m_.setText(L(kStatusPort), port);
    m_.setText(L(kStatusMessage), message);
}

void TMainCore::enableIf(const QString& name, bool on)
{
    m_.setEnabled(name, on && Unavailable.count(name) == 0);
}

void TMainCore::EnableMainControls(bool on)
{
    for (const char* f : {"ButtonCalculateLW", "DateiOeffnen", "DateiSpeichern", "DateiDrucken",
                          "ExtrasRegSetting", "ToolButtonDateiMenu", "ToolButtonExtrasMenu",
                          "ToolButtonHilfeMenu", "ToolButtonRegFkt", "TabSheetService",
                          "TabSheetExperte", "TabSheetKonfigOEM", "TabSheetKonfigQV"})
        enableIf(L(f), on);
    const bool bus = on && Com.PortOpen();
    for (const char* f : {"ComboBoxZBAdress", "ExtrasZBAdress", "ExtrasZBCommand"})
        enableIf(L(f), bus);
}

void TMainCore::EnableDeviceButtons(bool on)
{
    enableIf(L("ButtonLesen"), on);
    enableIf(kBetrieb, on);
    enableIf(L("ButtonCalculateDichte"), on);
    const bool write = on && CheckDeviceType();
    enableIf(L("ButtonSetzen"), write);
    enableIf(L("ButtonTest"), write);
    m_.setVisible(L("LabelOEMHinweisVS"), write);
    m_.setVisible(L("LabelQVHinweis"), on);
}

bool TMainCore::CheckDeviceType()
{
    const QString expected = Ctx.ExpectedTypeText();
    const bool ok = !expected.isEmpty() && m_.text(L("EditFenwix")).startsWith(expected);
    m_.setColour(L("EditFenwix"), ok ? Colour::ButtonFace : Colour::Red);
    return true; // writing is allowed to any device; the colour is the warning
}

void TMainCore::ClearDeviceInfo()
{
    if (Closing.load())
        return;
    for (const char* f : {"LabelOEM", "LabelPosition", "LabelTyp", "LabelSerNr", "LabelZBAdr"})
        m_.setEnabled(L(f), false);
    for (const char* f : {"EditFenwix", "EditOEM", "EditPosition", "EditSerNr", "EditZBAdr", "EditFirmware",
                          "EditConfTableID", "EditLeitwert", "EditDichte", "EditFunktion", "EditSensor",
                          "EditAntrieb", "EditVAVLwAktiv"})
        m_.setText(L(f), QString());
    m_.setCaption(L("LabelSensorTyp"), QString());
    m_.setColour(L("EditFenwix"), Colour::ButtonFace);
    m_.setChecked(L("RadioBetrAuto"), true);
}

void TMainCore::FirmwareRead()
{
    const bool dsk3 = VAVBetrieb.GetFirmwareNr() > 307;
    m_.setVisible(L("RadioButtonSensTypDSK3Druck"), dsk3);
    if (!dsk3 && m_.checked(L("RadioButtonSensTypDSK3Druck")))
        m_.setChecked(L("RadioButtonSensTypDruck"), true);
}

void TMainCore::UpdateSensorViews()
{
    const bool dsk3 = m_.checked(L("RadioButtonSensTypDSK3Druck"));
    const bool pressureSensor = m_.checked(L("RadioButtonSensTypDruck")) || dsk3;
    const bool density = Ctx.ReglerFkt.load() == 1 && pressureSensor;
    for (const char* f : {"LabelDichte", "EditDichte", "LabelDichteDim", "LabelSensorValue", "EditSensorValue",
                          "LabelSensorValueDim", "LabelLeitwert", "EditLeitwert", "GroupBoxVAVLeitwert"})
        m_.setVisible(L(f), density);
    for (const char* f : {"LabelHoehe", "EditHoeheAnz", "LabelHoeheAnzDim"})
        m_.setVisible(L(f), dsk3);
    m_.setVisible(L("ButtonCalculateDichte"), density || dsk3);
}

void TMainCore::AnzConfPcHwEqual(bool equal)
{
    TraceMain.TraceBool(u"Konfiguration ist gleich: ", equal);
    m_.setVisible(L("ImageNotEqual"), !equal);
    m_.setVisible(L("ImageEqual"), equal);
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
    verbinden_.Stop();
    betrieb_.Stop();
}

} // namespace kadex
