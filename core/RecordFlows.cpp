#include "core/RecordFlows.h"

#include "device/model/WindowFields.h"
#include "settings/Texts.h"
#include "settings/Trace.h"

namespace kadex {

namespace {
// The tabs whose "Setzen" re-reads the serial number before the controller parameters.
constexpr int kTabQV = 3;
constexpr int kTabTransfer = 4;

QString recordName(int step)
{
    switch (step) {
    case 1: return IniStatusText.RecordBetrieb;
    case 2: return IniStatusText.RecordOEM;
    default: return IniStatusText.RecordQV;
    }
}
} // namespace

TRecordFlows::TRecordFlows(WindowModel& model, TVAVBetrieb& betrieb, TOEMData& oem, TQVData& qv,
                           IUserFlowFrame& frame, std::atomic<bool>& dataRead)
    : m_(model), betrieb_(betrieb), oem_(oem), qv_(qv), frame_(frame), dataRead_(dataRead)
{
}

TRecordFlows::Step TRecordFlows::readChain()
{
    if (!betrieb_.ReadData())
        return Step::Betrieb;
    if (!oem_.ReadConfig())
        return Step::OEM;
    SetSystemInfo();
    if (!qv_.ReadConfig())
        return Step::QV;
    return Step::None;
}

void TRecordFlows::showFailure(const QString& pattern, Step step)
{
    if (step == Step::None)
        return;
    m_.setText(kStatusMessage, pattern.arg(recordName(static_cast<int>(step))));
}

QString TRecordFlows::LastFailure() const
{
    const QString shown = m_.text(kStatusMessage);
    for (const QString* p : {&IniStatusText.ReadFailed, &IniStatusText.WriteFailed}) {
        const QString head = p->left(p->indexOf(QStringLiteral("%1")));
        if (!head.isEmpty() && shown.startsWith(head))
            return shown;
    }
    return {};
}

void TRecordFlows::log(FieldId button)
{
    if (OnLog)
        OnLog(m_.caption(button).remove(QLatin1Char('&')));
}

void TRecordFlows::ClearFailure()
{
    if (!LastFailure().isEmpty())
        m_.setText(kStatusMessage, QString());
}

bool TRecordFlows::ReadConfig()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"ReadConfig");
    dataRead_ = false;
    const QString status = m_.caption(fld::PanelProgStatus);
    m_.setCaption(fld::PanelProgStatus, IniStatusText.DataRead);
    const Step failed = readChain();
    m_.setCaption(fld::PanelProgStatus, status);
    showFailure(IniStatusText.ReadFailed, failed);
    if (failed != Step::None)
        return false;
    // Before DataRead: whoever waits for it finds the connect's read done and logged.
    log(fld::ButtonLesen);
    dataRead_ = true;
    frame_.AnzConfPcHwEqual(IsPcHwEqual());
    return true;
}

bool TRecordFlows::Lesen()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"ButtonLesenClick");
    dataRead_ = false;
    ClearFailure();
    const QString status = frame_.BeginUserFlow(IniStatusText.DataRead);
    const Step failed = readChain();
    log(fld::ButtonLesen);
    frame_.EndUserFlow(status);
    // Later edits compare against what was read, even part-way.
    dataRead_ = true;
    showFailure(IniStatusText.ReadFailed, failed);
    if (failed != Step::None)
        return false;
    frame_.AnzConfPcHwEqual(IsPcHwEqual());
    return true;
}

bool TRecordFlows::Setzen()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"ButtonSetzenClick");
    ClearFailure();
    const QString status = frame_.BeginUserFlow(IniStatusText.DataWrite);
    Step failed = Step::None;
    if (!betrieb_.WriteData())
        failed = Step::Betrieb;
    if (failed == Step::None) {
        if (oem_.WriteConfig())
            SetSystemInfo();
        else
            failed = Step::OEM;
    }
    const int tab = m_.itemIndex(fld::PageControl1);
    if (tab == kTabQV || tab == kTabTransfer)
        betrieb_.ReadSerNr();
    if (failed == Step::None && !qv_.WriteConfig())
        failed = Step::QV;
    betrieb_.RefreshIdent();
    log(fld::ButtonSetzen);
    frame_.EndUserFlow(status);
    showFailure(IniStatusText.WriteFailed, failed);
    if (failed != Step::None) {
        // What the controller took is not known any more: the indicator must not stay equal.
        frame_.AnzConfPcHwEqual(false);
        return false;
    }
    frame_.AnzConfPcHwEqual(true);
    return true;
}

bool TRecordFlows::IsPcHwEqual()
{
    if (!dataRead_.load())
        return false;
    bool equal = betrieb_.IsPcHwEqual();
    TraceMain.TraceBool(u"TVAVBetrieb.IsPcHwEqual: ", equal);
    if (equal) {
        equal = oem_.IsPcHwEqual();
        TraceMain.TraceBool(u"TOEMData.IsPcHwEqual: ", equal);
    }
    if (equal) {
        equal = qv_.IsPcHwEqual();
        TraceMain.TraceBool(u"TQVData.IsPcHwEqual: ", equal);
    }
    TraceMain.TraceBool(u"IsPcHwEqual: ", equal);
    return equal;
}

FieldDifferences TRecordFlows::Differences()
{
    if (!dataRead_.load())
        return {FieldDifference{std::nullopt, QString(), QStringLiteral("not read")}};
    FieldDifferences all = betrieb_.Compare(true);
    for (FieldDifferences more : {oem_.Compare(true), qv_.Compare(true)})
        all.insert(all.end(), more.begin(), more.end());
    return all;
}

void TRecordFlows::SetSystemInfo()
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"SetSystemInfo");
    m_.setText(fld::EditLeitwert, m_.text(fld::EditVAVLwAktiv));
    m_.setText(fld::EditDichte, m_.text(fld::EditVAVDichte));
    m_.setText(fld::EditHoeheAnz, m_.text(fld::EditHoehe));
    m_.setText(fld::EditFunktion, m_.checked(fld::RadioButtonDruckanwendung) ? m_.caption(fld::RadioButtonDruckanwendung)
                                                                              : m_.caption(fld::RadioButtonVolumenstrom));
    const bool dsk3 = m_.checked(fld::RadioButtonSensTypDSK3Druck);
    QString sensor;
    for (FieldId f : {fld::RadioButtonDPK100, fld::RadioButtonDPK300, fld::RadioButtonDPK600, fld::RadioButtonDPKVariabel})
        if (m_.checked(f))
            sensor = m_.caption(f);
    if (dsk3 && sensor.startsWith(QStringLiteral("DPK-")))
        sensor.replace(0, 3, QStringLiteral("DSK3"));
    m_.setText(fld::EditSensor, sensor);
    for (FieldId f : {fld::RadioButtonSensTypVolumenstr, fld::RadioButtonSensTypDruck, fld::RadioButtonSensTypDSK3Druck})
        if (m_.checked(f))
            m_.setCaption(fld::LabelSensorTyp, m_.caption(f));
    for (FieldId f : {fld::RadioButtonAntr_HFX_ST, fld::RadioButtonAntr_RGT, fld::RadioButtonAntr_Variabel})
        if (m_.checked(f))
            m_.setText(fld::EditAntrieb, m_.caption(f));
}

} // namespace kadex
