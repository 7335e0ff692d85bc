#include "core/OperationPanel.h"

#include "device/model/WindowFields.h"
#include "settings/Trace.h"

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

} // namespace

TOperationPanel::TOperationPanel(WindowModel& model, TComForm& com, TVAVBetrieb& betrieb, FlowRunner& flows,
                                 TEnablingRules& rules, ICoreControl& core, std::atomic<bool>& setpointRefresh,
                                 IClock* clock)
    : m_(model), com_(com), betrieb_(betrieb), rules_(rules), core_(core), setpointRefresh_(setpointRefresh),
      betrOffTimer_(50, true, [this, &flows] { flows.Post("BetrOffTimer", [this] { BetrOffTimerTimer(); }); }, clock)
{
}

void TOperationPanel::OperationStep()
{
    const bool variabel = m_.checked(fld::RadioBetrVariabel);
    m_.setReadOnly(fld::EditBetrSollwPrz, !variabel);
    m_.setColour(fld::EditBetrSollwPrz, variabel ? Colour::Window : Colour::ButtonFace);
    bool r = true;
    if (betrieb_.DruckmessungAktiv.load()) {
        r = betrieb_.GetSensorValues();
    } else {
        int choice = ChoiceNone;
        for (const ChoiceRadio& c : kStepOrder) {
            if (m_.checked(c.field)) {
                choice = c.choice;
                break;
            }
        }
        if (choice == ChoiceVariabel && setpointRefresh_.exchange(false))
            m_.setDeviceValue(fld::EditBetrSollwPrz, betrieb_.SollwPrz, 0);
        if (choice != ChoiceNone)
            r = betrieb_.SetBetriebsart(choice);
    }
    if (!r) {
        core_.LostDisplay();
        if (!com_.LinkLost())
            betrOffTimer_.Start();
    }
}

void TOperationPanel::SpeedButtonBetriebClick(bool fromBetrOffTimer)
{
    TraceMethodScope trace(TraceMain, u"TMainCore", u"SpeedButtonBetriebClick");
    core_.SetBusy(true);
    for (FieldId tab : {fld::TabSheetKonfigOEM, fld::TabSheetExperte, fld::TabSheetService, fld::TabSheetKonfigQV})
        m_.setEnabled(tab, false);
    rules_.EnableDeviceButtons(false);
    if (m_.checked(kBetrieb)) {
        core_.SuspendVerbindenThread();
        betrieb_.StartBetrieb();
        rules_.SetBetriebActive(true);
        core_.ResumeBetriebThread();
    } else {
        core_.SuspendBetriebThread();
        rules_.SetBetriebActive(false);
        rules_.EnableBetriebPanel(false, true);
        betrieb_.StopBetrieb();
        core_.ResumeVerbindenThread();
    }
    if (!fromBetrOffTimer)
        rules_.EnableDeviceButtons(true);
    for (FieldId tab : {fld::TabSheetKonfigOEM, fld::TabSheetExperte, fld::TabSheetService, fld::TabSheetKonfigQV})
        m_.setEnabled(tab, true);
    core_.SetBusy(false);
}

void TOperationPanel::BetrOffTimerTimer()
{
    betrOffTimer_.Stop();
    m_.setChecked(kBetrieb, false);
    SpeedButtonBetriebClick(true);
}

} // namespace kadex
