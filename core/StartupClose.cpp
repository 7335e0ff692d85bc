#include "core/StartupClose.h"

#include "device/model/WindowFields.h"
#include "settings/Trace.h"

#include <QDir>
#include <memory>

namespace kadex {

namespace {
constexpr FieldId kBetrieb = fld::SpeedButtonBetrieb;
}

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

TStartupClose::TStartupClose(WindowModel& model, TDeviceContext& ctx, TComForm& com, TZBCmd& zb, TVAVBetrieb& betrieb,
                             FlowRunner& flows, TEnablingRules& rules, TDialogLogic& dialogs,
                             const std::set<FieldId>& unavailable, ICoreControl& core, IStartupCloseHost& host,
                             std::atomic<bool>& closing)
    : m_(model),
      ctx_(ctx),
      com_(com),
      zb_(zb),
      betrieb_(betrieb),
      flows_(flows),
      rules_(rules),
      dialogs_(dialogs),
      unavailable_(unavailable),
      core_(core),
      host_(host),
      closing_(closing)
{
}

// ------------------------------------------------------------------------ start-up

void TStartupClose::FormCreate()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"FormCreate");
    ctx_.FirmwareVersion = 0x0220;
    rules_.AnzConfPcHwEqual(false);
    m_.setItemIndex(fld::ComboBoxZBAdress, 0);
    rules_.EnableMainControls(false);
    rules_.EnableDeviceButtons(false);
    m_.setEnabled(fld::ButtonDefaultLaden, false);
    rules_.EnableBetriebPanel(false, false);
    rules_.EnableSignalPanel(false);
    closing_ = false;
    for (FieldId f : unavailable_)
        m_.setEnabled(f, false);
}

void TStartupClose::StartTimerTimer(const TStartupSettings& st)
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"StartTimerTimer");
    ctx_.ReglerFkt = st.ReglerFkt;
    ctx_.UnitIndex = (st.EinheitIndex >= 0 && st.EinheitIndex <= 2) ? st.EinheitIndex : 0;
    ctx_.SetTypeTexts(st.FenwixText, st.FenwixTextKPR);
    com_.SetPortNumber(st.ComNr);
    com_.SetPortPath(st.ComPath);
    com_.SetBaudRate(st.Baudrate);

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
    PublishToolIni(); // the log writer reads the folder from the snapshot

    dialogs_.StartUp();
    rules_.UpdateSensorViews();
    // The conductance entry starts from the active one, before the device info is emptied.
    m_.setText(fld::EditVAVLwErmittelt, m_.text(fld::EditVAVLwAktiv));
    rules_.ClearDeviceInfo();
    betrieb_.SetData();

    const int adr = (st.ZBAdrIndex < 0 || st.ZBAdrIndex > 8) ? 0 : st.ZBAdrIndex;
    m_.setItemIndex(fld::ComboBoxZBAdress, adr);
    zb_.SetAdrIndex(static_cast<uint8_t>(adr));
    flows_.Post("COMVerbinden", [this] { host_.Connect(); });
}

void TStartupClose::PageControl1Change()
{
    const int index = m_.itemIndex(fld::PageControl1);
    m_.setVisible(fld::PanelBetrieb, index == 2);
    m_.setVisible(fld::PanelTest, index == 0);
    if (betrieb_.BetriebAktiv.load() && index != 2 && index != 4 && m_.checked(kBetrieb)) {
        m_.setChecked(kBetrieb, false);
        flows_.Post("Betrieb", [this] { host_.FollowBetriebToggle(); });
    }
}

// ------------------------------------------------------------------------ closing

void TStartupClose::closeDevice()
{
    if (closing_.load())
        return;
    TraceMethodScope trace(TraceMain, u"TMainCore", u"FormCloseQuery");
    core_.SuspendBetriebThread();
    core_.SuspendVerbindenThread();
    if (m_.checked(kBetrieb))
        betrieb_.StopBetrieb();
    // An identification that could not release its motor stop: once more before nothing is sent.
    betrieb_.IdentStop.ReleaseIfOwed(zb_);
    closing_ = true;
    zb_.SetClosing(true);
    host_.StopCoreTimers();
}

void TStartupClose::PostClose(std::function<void()> done)
{
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    const bool posted = flows_.Post("Closing", [this, finish] {
        closeDevice();
        if (*finish)
            (*finish)();
    });
    if (!posted && *finish)
        (*finish)();
}

void TStartupClose::Close()
{
    if (!closing_.load()) {
        flows_.Stop();
        closeDevice();
    } else {
        flows_.Stop();
    }
    host_.StopPollingThreads();
}

} // namespace kadex
