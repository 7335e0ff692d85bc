// The controller function dialog's apply step and the variable sensor and actuator dialogs'
// rules on the window-value model, without widgets.
#include "common/Helpers.h"
#include "common/Units.h"
#include "device/OEMData.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowFields.h"
#include "core/RegForm.h"
#include "core/VariableForms.h"
#include "settings/IniFile.h"
#include "settings/ToolIni.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <random>

using namespace kadex;

namespace {

class DialogLogic : public ::testing::Test {
protected:
    void SetUp() override
    {
        TearDown();
        LoadToolIniRecords(TIniFile());
        bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
        com = std::make_unique<TComForm>(std::make_unique<sim::SimTransport>(bus));
        zb = std::make_unique<TZBCmd>(*com);
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        ctx = std::make_unique<TDeviceContext>(*zb, *model);
        betrieb = std::make_unique<TVAVBetrieb>(*ctx);
        oem = std::make_unique<TOEMData>(*ctx, *betrieb);
        reg = std::make_unique<TRegForm>(*ctx, *oem);
        forms = std::make_unique<TVariableForms>(*ctx);
        model->setText(fld::EditVnomM3, QStringLiteral("250"));
    }
    // In the reverse order of making: the rules hold on to the model.
    void TearDown() override
    {
        forms.reset();
        reg.reset();
        oem.reset();
        betrieb.reset();
        ctx.reset();
        model.reset();
        zb.reset();
        com.reset();
        bus.reset();
    }
    void choose(int function)
    {
        model->setChecked(function == 1 ? fld::RadioButtonVolumenstrom : fld::RadioButtonDruckanwendung, true);
    }
    QString vnom() const { return model->text(fld::EditVnomM3); }

    std::shared_ptr<sim::SimBus> bus;
    std::unique_ptr<TComForm> com;
    std::unique_ptr<TZBCmd> zb;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TDeviceContext> ctx;
    std::unique_ptr<TVAVBetrieb> betrieb;
    std::unique_ptr<TOEMData> oem;
    std::unique_ptr<TRegForm> reg;
    std::unique_ptr<TVariableForms> forms;
};

// What a typed whole value shows after it was remembered in device units and shown again.
int32_t roundTrip(int32_t typed, double factor)
{
    return RoundHalfEven(RoundHalfEven(typed / factor) * factor);
}

} // namespace

// Random switching in every unit set: each function gets back the value last typed for it.
TEST_F(DialogLogic, EachFunctionGetsBackItsOwnNominalValue)
{
    std::mt19937 rng(20261210);
    for (int unit = 0; unit < UnitSetCount; ++unit) {
        SCOPED_TRACE(unit);
        SetUp();
        ctx->UnitIndex = unit;
        ctx->ReglerFkt = 1;
        choose(1);
        reg->SetRegForm();
        int32_t last[3] = {0, RoundHalfEven(250 * FlowFactor(unit)), RoundHalfEven(250 * PressureFactor(unit))};
        ASSERT_EQ(vnom(), QString::number(last[1]));
        int function = 1;
        for (int step = 0; step < 200; ++step) {
            if (rng() % 2) {
                const int32_t typed = 1 + static_cast<int32_t>(rng() % 3000);
                model->setText(fld::EditVnomM3, QString::number(typed));
                const double f = function == 1 ? FlowFactor(unit) : PressureFactor(unit);
                last[function] = roundTrip(typed, f);
            }
            function = 3 - function;
            choose(function);
            reg->SetRegForm();
            ASSERT_EQ(ctx->ReglerFkt.load(), function);
            ASSERT_EQ(vnom(), QString::number(last[function])) << "step " << step;
        }
    }
}

TEST_F(DialogLogic, FunctionDecidesCaptionsStatusSensorTypesAndViews)
{
    struct Row {
        int function;
        uint16_t firmware;
        FieldId sensorBefore;
        uint8_t family;
        const char* nom;
        const char* status;
        bool vmid, conductance, volumeSignalEnabled;
        FieldId sensorAfter;
    };
    const Row rows[] = {
        {1, 0x0220, fld::RadioButtonSensTypDruck, 0, "V'nom", "Volumenstrom", true, true, true, fld::RadioButtonSensTypDruck},
        {1, 0x021F, fld::RadioButtonSensTypDSK3Druck, 0, "V'nom", "Volumenstrom", true, true, false, fld::RadioButtonSensTypDSK3Druck},
        {1, 0x0308, fld::RadioButtonSensTypVolumenstr, 0, "V'nom", "Volumenstrom", true, false, true, fld::RadioButtonSensTypVolumenstr},
        {2, 0x0308, fld::RadioButtonSensTypDruck, 2, "P'nom", "Druck ", false, false, false, fld::RadioButtonSensTypDSK3Druck},
        {2, 0x0308, fld::RadioButtonSensTypDSK3Druck, 1, "P'nom", "Druck ", false, false, false, fld::RadioButtonSensTypDruck},
        {2, 0x0308, fld::RadioButtonSensTypDSK3Druck, 0, "P'nom", "Druck ", false, false, false, fld::RadioButtonSensTypDSK3Druck},
        // A pressure controller cannot keep the volume signal.
        {2, 0x0308, fld::RadioButtonSensTypVolumenstr, 0, "P'nom", "Druck ", false, false, false, fld::RadioButtonSensTypDruck},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.function << " " << r.sensorBefore.latin1() << " family " << int(r.family));
        SetUp();
        ctx->FirmwareVersion = r.firmware;
        oem->DrucksensorTypDevice = r.family;
        model->setChecked(r.sensorBefore, true);
        choose(r.function);
        reg->SetRegForm();
        EXPECT_EQ(model->caption(fld::LabelVnomM3), r.nom);
        EXPECT_EQ(model->caption(fld::LabelVnomM3Anz), r.nom);
        EXPECT_EQ(model->caption(fld::GroupBoxVAVVolumenStrom), r.function == 1 ? "Volumenstrom" : "Druck");
        EXPECT_EQ(model->caption(fld::RadioBetrVMid), r.function == 1 ? "V'mid" : "Motor stop");
        EXPECT_EQ(model->text(kStatusFunction), r.status);
        EXPECT_EQ(model->visible(fld::PanelVmid), r.vmid);
        for (FieldId f : {fld::GroupBoxVAVLeitwert, fld::EditLeitwert, fld::EditDichte})
            EXPECT_EQ(model->visible(f), r.conductance) << f.latin1();
        EXPECT_EQ(model->enabled(fld::RadioButtonSensTypVolumenstr), r.volumeSignalEnabled);
        EXPECT_TRUE(model->checked(r.sensorAfter));
        EXPECT_EQ(ctx->ExpectedTypeText(), r.function == 1 ? "Kadex" : "Kadex [KPR Mode]");
    }
}

TEST_F(DialogLogic, UnchangedChoiceRestoresButAShownRecordKeepsItsValue)
{
    ctx->ReglerFkt = 1;
    oem->VnomVS = 300;
    model->setText(fld::EditVnomM3, QStringLiteral("999"));
    choose(1);
    reg->SetRegForm();
    EXPECT_EQ(vnom(), "300"); // the remembered value, nothing stored

    // A record read from the device shows its own value: it stays and is remembered.
    model->setText(fld::EditVnomM3, QStringLiteral("640"));
    reg->ApplyShownRecord();
    EXPECT_EQ(vnom(), "640");
    EXPECT_EQ(oem->VnomVS, 640);
    choose(2);
    model->setText(fld::EditVnomM3, QStringLiteral("75"));
    reg->ApplyShownRecord();
    EXPECT_EQ(vnom(), "75");
    EXPECT_EQ(oem->VnomDruck, 75);
    EXPECT_EQ(oem->VnomVS, 640);
}

// Units and limits are written before the texts are loaded, and the V'min limit is computed
// from the nominal value already shown in the new function's unit.
TEST_F(DialogLogic, ApplyingRunsTheWindowStepsInOrder)
{
    std::vector<std::string> steps;
    reg->Hooks.ShowUnits = [&] { steps.push_back("units " + vnom().toStdString()); };
    reg->Hooks.LoadLanguage = [&] { steps.push_back("texts"); };
    reg->Hooks.UpdateVminLimit = [&] { steps.push_back("vmin " + vnom().toStdString()); };
    reg->Hooks.CheckDeviceType = [&] { steps.push_back("type"); };
    ctx->ReglerFkt = 1;
    ctx->UnitIndex = 2;
    oem->VnomDruck = 100;
    choose(2);
    reg->SetRegForm();
    EXPECT_EQ(steps, (std::vector<std::string>{"units 250", "texts", "vmin 14504", "type"}));
}

TEST_F(DialogLogic, StatusTextStopsAtTheBracketOrKeepsACaptionWithout)
{
    EXPECT_EQ(FunctionStatusText(2, "Volumenstrom", "Druck [Kadex KPR]"), "Druck ");
    EXPECT_EQ(FunctionStatusText(2, "Volumenstrom", "Pressure"), "Pressure");
    EXPECT_EQ(FunctionStatusText(1, "Volume flow", "Druck [Kadex KPR]"), "Volume flow");
}

TEST_F(DialogLogic, ShowOkCancelAndEscape)
{
    int compared = 0, views = 0;
    reg->Hooks.RefreshComparison = [&] { ++compared; };
    reg->Hooks.UpdateSensorViews = [&] { ++views; };
    ctx->ReglerFkt = 2;
    reg->Show();
    EXPECT_TRUE(model->visible(fld::RegFktForm));
    EXPECT_TRUE(model->checked(fld::RadioButtonDruckanwendung));
    choose(1);
    reg->Cancel();
    EXPECT_FALSE(model->visible(fld::RegFktForm));
    EXPECT_TRUE(model->checked(fld::RadioButtonDruckanwendung));
    EXPECT_EQ(ctx->ReglerFkt.load(), 2);

    reg->Show();
    choose(1);
    reg->Close(); // Escape keeps the choice; the next showing resets it
    EXPECT_TRUE(model->checked(fld::RadioButtonVolumenstrom));
    EXPECT_EQ(ctx->ReglerFkt.load(), 2);
    reg->Show();
    EXPECT_TRUE(model->checked(fld::RadioButtonDruckanwendung));

    choose(1);
    reg->Ok();
    EXPECT_EQ(ctx->ReglerFkt.load(), 1);
    EXPECT_FALSE(model->visible(fld::RegFktForm));
    EXPECT_EQ(compared, 1);
    EXPECT_EQ(views, 1);
}

TEST_F(DialogLogic, SpinLimitsWhileTypingAndOnLeaving)
{
    struct Row {
        FieldId field;
        double typed;
        FieldId other;
        double otherValue;
        double whileTyping, afterLeaving;
    };
    const Row rows[] = {
        {fld::SpinEditVAVPmax, 500, fld::SpinEditVAVPmin, 0, 500, 2000},
        {fld::SpinEditVAVPmin, 9000, fld::SpinEditVAVPmax, 10000, 8000, 8000},
        {fld::SpinEditVAVPmin, 6000, fld::SpinEditVAVPmax, 5000, 6000, 0},
        {fld::SpinEditVAVPmax, 3000, fld::SpinEditVAVPmin, 4000, 3000, 4000},
        {fld::SpinEditVAVPverz, 40000, fld::SpinEditVAVVtot, 1, 30000, 30000},
        {fld::SpinEditVAVPverz, 5, fld::SpinEditVAVVtot, 1, 5, 10},
        {fld::SpinEditVAVPnom, -3, fld::SpinEditVAVPtot, 1, 0, 1},
        {fld::SpinEditVAVYmin, 6000, fld::SpinEditVAVYmax, 5000, 6000, 0},
        {fld::SpinEditVAVYmax, 3000, fld::SpinEditVAVYmin, 4000, 3000, 4000},
        // The feedback pair is not cross-checked.
        {fld::SpinEditVAVYRmin, 8000, fld::SpinEditVAVYRmax, 2000, 8000, 8000},
        {fld::SpinEditVAVYRmax, 2000, fld::SpinEditVAVYRmin, 8000, 2000, 2000},
        {fld::SpinEditLZAntrieb, 70000, fld::SpinEditVAVYRmin, 0, 65535, 65535},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.field.latin1() << " " << r.typed);
        model->setValue(r.other, r.otherValue);
        model->setValue(r.field, r.typed, Origin::User);
        EXPECT_EQ(model->value(r.field), r.whileTyping);
        model->leave(r.field);
        EXPECT_EQ(model->value(r.field), r.afterLeaving);
        EXPECT_EQ(model->value(r.other), r.otherValue);
    }
}

TEST_F(DialogLogic, RangeChoicesFollowTheValuesAndSetThemWhenClicked)
{
    struct Row {
        int lo, hi;
        FieldId checked;
        const char* otherCaption; // nullptr: the free choice is hidden
    };
    const Row rows[] = {
        {0, 10000, fld::RadioButtonVAVYS0_10V, nullptr},
        {2000, 10000, fld::RadioButtonVAVYS2_10V, nullptr},
        {1500, 9000, fld::RadioButtonVAVYSAndere, "1.5 .. 9 V"},
        {0, 2000, fld::RadioButtonVAVYSAndere, "0 .. 2 V"},
    };
    int compared = 0;
    forms->Hooks.RefreshComparison = [&] { ++compared; };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.lo << " .. " << r.hi);
        model->setValue(fld::SpinEditVAVYmax, r.hi);
        model->setValue(fld::SpinEditVAVYmin, r.lo);
        EXPECT_TRUE(model->checked(r.checked));
        EXPECT_EQ(model->visible(fld::RadioButtonVAVYSAndere), r.otherCaption != nullptr);
        if (r.otherCaption) {
            EXPECT_EQ(model->caption(fld::RadioButtonVAVYSAndere), r.otherCaption);
        }
    }
    // The feedback pair has its own choices.
    model->setValue(fld::SpinEditVAVYRmin, 0);
    model->setValue(fld::SpinEditVAVYRmax, 10000);
    EXPECT_TRUE(model->checked(fld::RadioButtonVAVYR0_10V));
    EXPECT_TRUE(model->checked(fld::RadioButtonVAVYSAndere));

    compared = 0;
    model->setChecked(fld::RadioButtonVAVYS2_10V, true, Origin::User);
    EXPECT_EQ(model->value(fld::SpinEditVAVYmin), 2000);
    EXPECT_EQ(model->value(fld::SpinEditVAVYmax), 10000);
    EXPECT_FALSE(model->visible(fld::RadioButtonVAVYSAndere));
    EXPECT_EQ(compared, 1); // once for the click, not per field
}

TEST_F(DialogLogic, DialogsFollowTheChoicesAndAskForAPresetWhenClosedOnVariabel)
{
    std::vector<int> deferred;
    std::vector<std::function<void()>> pending;
    int sensorDetect = 0, actuatorDetect = 0;
    forms->Hooks.Defer = [&](int ms, std::function<void()> fn) {
        deferred.push_back(ms);
        pending.push_back(std::move(fn));
    };
    forms->Hooks.DetectSensorPreset = [&] { ++sensorDetect; };
    forms->Hooks.DetectActuatorPreset = [&] { ++actuatorDetect; };

    model->setItemIndex(fld::PageControl1, 0);
    model->setChecked(fld::RadioButtonDPKVariabel, true, Origin::User);
    EXPECT_TRUE(model->visible(fld::SensorForm));
    model->setVisible(fld::SensorForm, false); // Escape
    ASSERT_EQ(deferred, std::vector<int>{50});
    EXPECT_EQ(sensorDetect, 0);
    pending.back()();
    EXPECT_EQ(sensorDetect, 1);

    forms->ShowSensorDialog(true);
    model->setChecked(fld::RadioButtonDPK300, true, Origin::User); // a preset closes it
    EXPECT_FALSE(model->visible(fld::SensorForm));
    EXPECT_EQ(deferred.size(), 1u); // not on "variabel": no preset check

    model->setChecked(fld::RadioButtonAntr_Variabel, true, Origin::User);
    EXPECT_TRUE(model->visible(fld::AntriebForm));
    model->setItemIndex(fld::PageControl1, 2, Origin::User); // another tab closes it
    EXPECT_FALSE(model->visible(fld::AntriebForm));
    ASSERT_EQ(deferred.size(), 2u);
    pending.back()();
    EXPECT_EQ(actuatorDetect, 1);

    // Away from the OEM tab "variabel" does not open the dialog.
    model->setChecked(fld::RadioButtonDPKVariabel, true, Origin::User);
    EXPECT_FALSE(model->visible(fld::SensorForm));
}

TEST_F(DialogLogic, SensorDialogTextsFollowTheSensorTypeAndUnits)
{
    ctx->UnitIndex = 2;
    model->setChecked(fld::RadioButtonSensTypVolumenstr, true);
    EXPECT_EQ(model->caption(fld::SensorForm), "Volumenstrom, variable Einstellung");
    EXPECT_EQ(model->caption(fld::GroupBoxVAVSensorDruck), "Volumenstrom");
    EXPECT_EQ(model->caption(fld::LabelVAVPmin), "V      0%");
    EXPECT_EQ(model->caption(fld::LabelVAVPnom), "V'nom");
    EXPECT_EQ(model->caption(fld::LabelVAVPnomDim), "cfm");
    model->setChecked(fld::RadioButtonSensTypDSK3Druck, true);
    EXPECT_EQ(model->caption(fld::SensorForm), "Drucksensor, variable Einstellung");
    EXPECT_EQ(model->caption(fld::LabelVAVPmax), "P 100%");
    EXPECT_EQ(model->caption(fld::LabelVAVPtotDim), "uPSI");
    // Hints name the current limits, also after the unit moved a maximum.
    EXPECT_EQ(model->hint(fld::SpinEditVAVPmax), "2000 .. 10000");
    model->setRange(fld::SpinEditVAVPnom, 1, 9505124);
    EXPECT_EQ(model->hint(fld::SpinEditVAVPnom), "1 .. 9505124");
}
