#include "core/MainCore.h"

#include "common/Helpers.h"
#include "common/Paths.h"
#include "device/model/WindowFields.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "settings/Trace.h"

namespace kadex {

namespace {
constexpr FieldId kBetrieb = fld::SpeedButtonBetrieb;
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
      connection_(model, Com, ZB, VAVBetrieb, Flows, rules_, records_, *this, host, {DataRead, Closing, SecondsOnline},
                  clock),
      startup_(model, Ctx, Com, ZB, VAVBetrieb, Flows, rules_, Dialogs, Unavailable, *this, *this, Closing)
{
    Com.SetLinkLostHandler([this](const QString& reason) { connection_.PortLost(reason); });
    VAVBetrieb.OnFirmwareRead = [this] { FirmwareRead(); };
    ValueEntry.Attach(OEMData);
    ValueEntry.OnValuesCommitted = [this] { RefreshComparison(); };
    Flows.SetBusyHandler([this](bool busy, const std::string&) { SetBusy(busy); });
    m_.onChange({fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDSK3Druck},
                [this](const Change&) { UpdateSensorViews(); });
    ZB.SetTransferSink(&Transfer);
    ZB.LoadCommandNames(FindDataFile(QStringLiteral("ZBCommand.txt")));
    records_.OnLog = [this](const QString& action) { ActionLog.WriteLogEntry(action); };
    subscribeEvents();
    subscribeComparison();
}

void TMainCore::subscribeComparison()
{
    // The compared fields and the entries that feed them through couplings; their program
    // changes (showing a record, a coupling) compare where the flow says so.
    m_.onChange({fld::EditVnomM3, fld::EditVnomM3Anz, fld::EditVmaxM3, fld::EditVminM3, fld::EditVmidM3,
                 fld::EditVmaxM3_OEM, fld::EditVminM3_OEM, fld::EditVmaxPrz, fld::EditVminPrz, fld::EditVmidPrz,
                 fld::TrackBarVMax, fld::TrackBarVMin, fld::EditW1Min, fld::EditW1Max, fld::EditU5Min, fld::EditU5Max,
                 fld::RadioButtonMode_W1_2_10V, fld::RadioButtonMode_W1_0_10V, fld::RadioButtonMode_W1,
                 fld::RadioButtonMode_W1_2_10V_OEM, fld::RadioButtonMode_W1_0_10V_OEM, fld::RadioButtonMode_W1_OEM,
                 fld::EditPositionInput, fld::EditPositionInput_OEM, fld::EditOEMInputOEM, fld::RadioButtonOEMInputOEM,
                 fld::RadioButtonOEMInputAnzeige, fld::EditOEMInputOptAnzeige, fld::EditVAVLwErmittelt, fld::EditVAVDichte,
                 fld::EditPasswordInput,
                 fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDSK3Druck,
                 fld::RadioButtonDPK100, fld::RadioButtonDPK300, fld::RadioButtonDPK600, fld::RadioButtonDPKVariabel,
                 fld::RadioButtonAntr_HFX_ST, fld::RadioButtonAntr_RGT, fld::RadioButtonAntr_Variabel,
                 fld::RadioButtonVAVY2_10V, fld::RadioButtonVAVYLinear, fld::RadioButtonVolumenstrom,
                 fld::RadioButtonDruckanwendung, fld::SpinEditLZAntrieb, fld::SpinEditVAVPmin, fld::SpinEditVAVPmax,
                 fld::SpinEditVAVPnom, fld::SpinEditVAVPtot, fld::SpinEditVAVPverz, fld::SpinEditVAVVtot,
                 fld::SpinEditVAVYmin, fld::SpinEditVAVYmax, fld::SpinEditVAVYRmin, fld::SpinEditVAVYRmax,
                 fld::EditVAVK, fld::SpinEditVAVTn, fld::SpinEditVAVTv, fld::SpinEditVAVT1, fld::CheckBoxVAVAdaptiv,
                 fld::RadioButtonVAVSensorIntern, fld::RadioButtonVAVSensorExtern, fld::SpinEditSnrDevFam,
                 fld::SpinEditSnrJahr, fld::SpinEditSnrWoche, fld::ComboBoxSnrTag, fld::SpinEditSnrTestStation,
                 fld::SpinEditSnrNum, fld::SpinEditSnrSuffix},
                [this](const Change& c) {
                    if (c.origin == Origin::User && !c.clicked)
                        RefreshComparison();
                });
}

void TMainCore::RefreshComparison()
{
    if (comparisonDue_.exchange(true))
        return;
    m_.afterCascade([this] {
        comparisonDue_ = false;
        if (DataRead.load())
            AnzConfPcHwEqual(records_.IsPcHwEqual());
    });
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
    // A figure typed into with the focus still in it is taken with its limits applied.
    onClick(fld::ButtonSetzen, [this] {
        ValueEntry.CommitTyping();
        Flows.Post("Setzen", [this] { ButtonSetzenClick(); });
    });
    onClick(fld::ButtonDefaultLaden, [this] {
        Flows.Post("DefaultLaden", [this] {
            // Fields only: nothing goes to the device until "Setzen".
            SuspendVerbindenThread();
            SuspendBetriebThread();
            DefaultFile.DefaultLaden();
            // The preset detection at its end changes choices quietly: compare the final state.
            RefreshComparison();
            if (VAVBetrieb.BetriebAktiv.load())
                ResumeBetriebThread();
            else
                ResumeVerbindenThread();
        });
    });
    onClick(fld::ButtonTest, [this] { Flows.Post("Test", [this] { ButtonTestClick(); }); });
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

void TMainCore::SetBusy(bool busy)
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

// ------------------------------------------------------------------------ connect

bool TMainCore::COMVerbinden() { return connection_.COMVerbinden(); }
void TMainCore::ConnectionStep() { connection_.ConnectionStep(); }
void TMainCore::ComboBoxZBAdressChange() { connection_.ComboBoxZBAdressChange(); }
void TMainCore::ChangePort(const QString& path, int number) { connection_.ChangePort(path, number); }
void TMainCore::SecTimerTimer() { connection_.SecTimerTimer(); }
void TMainCore::ComErrorTimerTimer() { connection_.ComErrorTimerTimer(); }
void TMainCore::PortWatchTimerTimer() { connection_.PortWatchTimerTimer(); }
void TMainCore::LostDisplay() { connection_.LostDisplay(); }
void TMainCore::Connect() { connection_.COMVerbinden(); }

bool TMainCore::ReadConfig()
{
    return records_.ReadConfig();
}

QString TMainCore::BeginUserFlow(const QString& statusText)
{
    const QString status = m_.caption(fld::PanelProgStatus);
    m_.setCaption(fld::PanelProgStatus, statusText);
    SetBusy(true);
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
    SetBusy(false);
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

void TMainCore::FormCreate() { startup_.FormCreate(); }
void TMainCore::StartTimerTimer(const TStartupSettings& st)
{
    ActionLog.PrepareHeader();
    startup_.StartTimerTimer(st);
}
void TMainCore::PageControl1Change() { startup_.PageControl1Change(); }
void TMainCore::PostClose(std::function<void()> done) { startup_.PostClose(std::move(done)); }
void TMainCore::Close() { startup_.Close(); }
void TMainCore::FollowBetriebToggle() { SpeedButtonBetriebClick(); }

void TMainCore::StopCoreTimers()
{
    connection_.StopTimers();
    operation_.StopTimer();
}

void TMainCore::StopPollingThreads()
{
    verbinden_.Stop();
    betrieb_.Stop();
}

void TMainCore::ButtonTestClick()
{
    m_.setItemIndex(fld::PageControl1, 2);
    PageControl1Change();
    if (!m_.checked(kBetrieb)) {
        records_.ClearFailure();
        m_.setChecked(kBetrieb, true);
        SpeedButtonBetriebClick();
    }
    // The next operation step sends it.
    m_.setChecked(fld::RadioBetrVMax, true);
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

// ------------------------------------------------------------------------ operation mode

void TMainCore::OperationStep() { operation_.OperationStep(); }
void TMainCore::SpeedButtonBetriebClick(bool fromBetrOffTimer) { operation_.SpeedButtonBetriebClick(fromBetrOffTimer); }
void TMainCore::BetrOffTimerTimer() { operation_.BetrOffTimerTimer(); }

// ------------------------------------------------------------------------ window rules

QString TMainCore::OnlineText(int seconds) { return TEnablingRules::OnlineText(seconds); }
void TMainCore::ShowCOMData(const QString& message) { rules_.ShowCOMData(message); }
void TMainCore::EnableMainControls(bool on) { rules_.EnableMainControls(on); }
void TMainCore::EnableDeviceButtons(bool on) { rules_.EnableDeviceButtons(on); }
bool TMainCore::CheckDeviceType() { return rules_.CheckDeviceType(); }
void TMainCore::ClearDeviceInfo() { rules_.ClearDeviceInfo(); }
void TMainCore::FirmwareRead()
{
    rules_.FirmwareRead();
    // The V'min percentage's label names what it is a share of, which the firmware decides.
    ValueEntry.ShowUnits();
}
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

} // namespace kadex
