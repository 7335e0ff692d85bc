// The list of differing fields behind the comparison indicator, against the in-process
// simulated controller: it names exactly the edited fields, agrees with the indicator and
// tints the fields until they are equal again.
#include "QtPrinters.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace kadex;

namespace {

class Differences : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
        model = std::make_unique<WindowModel>(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        core = std::make_unique<TMainCore>(*model, std::make_unique<sim::SimTransport>(bus));
        core->SetPollPeriodMs(100000);
        core->Start();
        core->FormCreate();
        std::atomic<bool> ok{false};
        core->Flows.Post("connect", [&] { ok = core->COMVerbinden(); });
        ASSERT_TRUE(core->Flows.WaitIdle(60000));
        ASSERT_TRUE(ok.load());
        ASSERT_TRUE(core->IsPcHwEqual());
    }
    // What the indicator's callers do after an edit.
    void indicate() { core->AnzConfPcHwEqual(core->IsPcHwEqual()); }
    // Edits below are the user's: the indicator follows them without being asked.
    static QStringList names(const FieldDifferences& list)
    {
        QStringList out;
        for (const FieldDifference& d : list)
            out << (d.field ? d.field->name() : QStringLiteral("-"));
        return out;
    }

    std::shared_ptr<sim::SimBus> bus;
    std::unique_ptr<WindowModel> model;
    std::unique_ptr<TMainCore> core;
};

struct Edit {
    const char* what;
    FieldId field;
    int record; // 0 operating data, 1 configuration, 2 parameters
};

} // namespace

TEST_F(Differences, OneEditedFieldOfEachRecordIsListedAndTintedUntilItIsBack)
{
    const Edit edits[] = {
        {"VmaxPrz", fld::EditVmaxPrz, 0},     {"position text", fld::EditPositionInput, 0},
        {"W1 max", fld::EditW1Max, 0},        {"V'nom", fld::EditVnomM3, 1},
        {"Pmax", fld::SpinEditVAVPmax, 1},    {"K", fld::EditVAVK, 2},
        {"T1", fld::SpinEditVAVT1, 2},        {"serial suffix", fld::SpinEditSnrSuffix, 2},
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.what);
        const bool spin = e.field.kind == Kind::Spin;
        const QString text = spin ? QString() : model->text(e.field);
        const double value = spin ? model->value(e.field) : 0;
        const Colour colour = model->colour(e.field);
        if (spin)
            model->setValue(e.field, value < model->state(e.field).maximum ? value + 1 : value - 1, Origin::User);
        else if (e.field == fld::EditPositionInput)
            model->setText(e.field, text + QStringLiteral("x"), Origin::User);
        else
            model->setText(e.field, QString::number(text.toDouble() - 1), Origin::User);
        const FieldDifferences own[] = {core->VAVBetrieb.Compare(true), core->OEMData.Compare(true),
                                        core->QVData.Compare(true)};
        const bool equal[] = {core->VAVBetrieb.IsPcHwEqual(), core->OEMData.IsPcHwEqual(),
                              core->QVData.IsPcHwEqual()};
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(names(own[r]), r == e.record ? QStringList{e.field.name()} : QStringList{}) << r;
            EXPECT_EQ(equal[r], r != e.record) << r;
        }
        EXPECT_EQ(names(core->Records().Differences()), QStringList{e.field.name()});
        EXPECT_TRUE(model->visible(fld::ImageNotEqual));
        EXPECT_TRUE(model->hint(fld::ImageNotEqual).startsWith(QString(e.field.name()) + QStringLiteral(": window ")))
            << model->hint(fld::ImageNotEqual).toStdString();
        EXPECT_EQ(model->colour(e.field), Colour::Differs);
        ASSERT_EQ(core->DifferenceRows().size(), 1u);

        if (spin)
            model->setValue(e.field, value, Origin::User);
        else
            model->setText(e.field, text, Origin::User);
        EXPECT_TRUE(core->Records().Differences().empty());
        EXPECT_TRUE(core->IsPcHwEqual());
        EXPECT_TRUE(model->visible(fld::ImageEqual));
        EXPECT_EQ(model->colour(e.field), colour);
        EXPECT_TRUE(core->DifferenceRows().empty());
    }
}

TEST_F(Differences, EditsInAllThreeRecordsAreListedInComparisonOrder)
{
    model->setValue(fld::SpinEditVAVT1, model->value(fld::SpinEditVAVT1) + 3);
    model->setText(fld::EditVnomM3, QString::number(model->text(fld::EditVnomM3).toInt() + 5));
    model->setText(fld::EditPositionInput, QStringLiteral("Keller"));
    model->setText(fld::EditVmaxPrz, QString::number(model->text(fld::EditVmaxPrz).toDouble() - 2));
    indicate();
    EXPECT_EQ(names(core->Records().Differences()),
              (QStringList{"EditVmaxPrz", "EditPositionInput", "EditVnomM3", "SpinEditVAVT1"}));
    // The indicator decides by the first difference only.
    EXPECT_EQ(names(core->VAVBetrieb.Compare(false)), QStringList{"EditVmaxPrz"});
    const auto rows = core->DifferenceRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].window, "Keller");
    EXPECT_NE(rows[1].device, "Keller");
}

// The dialogs ask the core for the comparison; it covers the records behind the operating data.
TEST_F(Differences, DialogRefreshComparesTheCalibrationAndParameterRecordsToo)
{
    for (FieldId f : {fld::SpinEditVAVPmin, fld::SpinEditVAVT1}) {
        SCOPED_TRACE(f.name().toStdString());
        const double was = model->value(f);
        model->setValue(f, was + 1);
        core->Dialogs.Forms.Hooks.RefreshComparison();
        EXPECT_TRUE(model->visible(fld::ImageNotEqual));
        model->setValue(f, was);
        core->Dialogs.RegFkt.Hooks.RefreshComparison();
        EXPECT_TRUE(model->visible(fld::ImageEqual));
    }
}

// Whatever entry the user changes, the indicator shows the comparison of the three records
// afterwards: a compared field whose edits do not refresh it would show a stale "equal".
TEST_F(Differences, AnyUserEditLeavesTheIndicatorShowingTheComparison)
{
    // Toggles, pages, the address and the operation panel start flows of their own.
    const auto skipped = [](const FieldState& f) {
        return f.readOnly || !f.enabled || f.name == QLatin1String("ComboBoxZBAdress") ||
               f.name.startsWith(QLatin1String("RadioBetr")) || f.name.startsWith(QLatin1String("EditBetr"));
    };
    int edited = 0, unequal = 0;
    for (const FieldDecl& d : mainWindowFields()) {
        const FieldState f = model->state(d.s.name);
        if (skipped(f))
            continue;
        SCOPED_TRACE(f.name.toStdString());
        QString wasChecked; // a radio group's choice before
        switch (f.kind) {
        case Kind::Edit: {
            const bool number = f.isNumber() || (!f.text.isEmpty() && f.text.at(0).isDigit());
            model->setText(f.name, number ? QString::number(f.text.toDouble() + 1) : f.text + QStringLiteral("x"),
                           Origin::User);
            break;
        }
        case Kind::Spin: model->setValue(f.name, f.value < f.maximum ? f.value + 1 : f.value - 1, Origin::User); break;
        case Kind::Check: model->setChecked(f.name, !f.checked, Origin::User); break;
        case Kind::Radio:
            if (f.checked)
                continue;
            wasChecked = model->checkedInGroup(f.group);
            model->setChecked(f.name, true, Origin::User);
            break;
        case Kind::Combo:
            if (f.items.size() < 2)
                continue;
            model->setItemIndex(f.name, (f.itemIndex + 1) % static_cast<int>(f.items.size()), Origin::User);
            break;
        default: continue;
        }
        ++edited;
        const bool equal = core->IsPcHwEqual();
        unequal += equal ? 0 : 1;
        EXPECT_EQ(model->visible(fld::ImageEqual), equal);
        if (!equal) {
            // Back to what the device holds (a choice the tool keeps, such as which OEM text
            // is written, is put back by hand).
            if (!wasChecked.isEmpty())
                model->setChecked(wasChecked, true);
            std::atomic<bool> ok{false};
            core->Flows.Post("read", [&] { ok = core->ReadConfig(); });
            ASSERT_TRUE(core->Flows.WaitIdle(60000));
            ASSERT_TRUE(ok.load());
            ASSERT_TRUE(core->IsPcHwEqual());
        }
    }
    EXPECT_GT(edited, 40);
    EXPECT_GT(unequal, 20);
}

TEST(DifferenceHint, CutsAfterFifteenLines)
{
    std::vector<DifferenceRow> rows;
    for (int i = 0; i < 20; ++i)
        rows.push_back({QStringLiteral("F%1").arg(i), QString::number(i), QString(), QString()});
    const QStringList lines = TDifferenceMarks::HintText(rows).split('\n');
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines[0], "F0: window 0, device -");
    EXPECT_EQ(lines[15], "...");
    EXPECT_EQ(TDifferenceMarks::HintText(std::vector<DifferenceRow>(rows.begin(), rows.begin() + 15)).count('\n'), 14);
}

// Random edits of comparable fields, some put back: for every record the list is empty exactly
// when the record compares equal, and its first entry is the one the indicator stopped at.
TEST_F(Differences, RandomEditsKeepListAndIndicatorInStep)
{
    struct Knob {
        FieldId field;
        QString text;
        double value;
        bool checked;
    };
    std::vector<Knob> knobs;
    for (FieldId f : {fld::EditVmaxPrz, fld::EditVmidPrz, fld::EditVminPrz, fld::EditW1Min, fld::EditW1Max,
                      fld::EditU5Min, fld::EditU5Max, fld::EditPositionInput, fld::EditVnomM3, fld::EditVAVDichte,
                      fld::SpinEditVAVPmin, fld::SpinEditVAVPmax, fld::SpinEditVAVYmin, fld::SpinEditLZAntrieb,
                      fld::EditVAVK, fld::SpinEditVAVT1, fld::SpinEditVAVTv, fld::SpinEditVAVTn,
                      fld::SpinEditSnrNum, fld::SpinEditSnrSuffix, fld::CheckBoxVAVAdaptiv,
                      fld::RadioButtonVAVSensorExtern})
        knobs.push_back({f, f.kind == Kind::Edit ? model->text(f) : QString(), f.kind == Kind::Spin ? model->value(f) : 0,
                         f.kind == Kind::Check || f.kind == Kind::Radio ? model->checked(f) : false});
    std::mt19937 rng(20261210);
    int unequalSeen = 0;
    auto restoreAll = [&] {
        for (const Knob& k : knobs) {
            if (k.field.kind == Kind::Spin)
                model->setValue(k.field, k.value, Origin::User);
            else if (k.field.kind == Kind::Check)
                model->setChecked(k.field, k.checked, Origin::User);
            else if (k.field.kind == Kind::Radio)
                model->setChecked(k.checked ? fld::RadioButtonVAVSensorExtern : fld::RadioButtonVAVSensorIntern, true, Origin::User);
            else
                model->setText(k.field, k.text, Origin::User);
        }
    };
    for (int round = 0; round < 300; ++round) {
        const Knob& k = knobs[rng() % knobs.size()];
        // Now and then everything goes back: the list must empty again.
        const bool all = round % 25 == 24;
        if (all)
            restoreAll();
        const bool back = rng() % 3 == 0;
        const int delta = static_cast<int>(rng() % 5) + 1;
        switch (all ? Kind::Label : k.field.kind) {
        case Kind::Label: break;
        case Kind::Spin: model->setValue(k.field, back ? k.value : k.value + delta, Origin::User); break;
        case Kind::Check: model->setChecked(k.field, !model->checked(k.field), Origin::User); break;
        case Kind::Radio:
            model->setChecked(back ? fld::RadioButtonVAVSensorIntern : fld::RadioButtonVAVSensorExtern, true, Origin::User);
            break;
        default:
            model->setText(k.field, back ? k.text
                                         : k.field == fld::EditPositionInput ? QString::number(delta)
                                                                             : QString::number(k.text.toDouble() + delta), Origin::User);
        }
        SCOPED_TRACE(round);
        const std::pair<std::function<FieldDifferences(bool)>, std::function<bool()>> records[] = {
            {[&](bool a) { return core->VAVBetrieb.Compare(a); }, [&] { return core->VAVBetrieb.IsPcHwEqual(); }},
            {[&](bool a) { return core->OEMData.Compare(a); }, [&] { return core->OEMData.IsPcHwEqual(); }},
            {[&](bool a) { return core->QVData.Compare(a); }, [&] { return core->QVData.IsPcHwEqual(); }}};
        for (const auto& [compare, isEqual] : records) {
            const FieldDifferences every = compare(true);
            const FieldDifferences first = compare(false);
            ASSERT_EQ(every.empty(), isEqual());
            ASSERT_EQ(first.size(), every.empty() ? 0u : 1u);
            if (!every.empty()) {
                ASSERT_EQ(names(first), QStringList{names(every).first()});
            }
        }
        const bool equal = core->IsPcHwEqual();
        ASSERT_EQ(core->Records().Differences().empty(), equal);
        ASSERT_EQ(model->visible(fld::ImageEqual), equal);
        ASSERT_EQ(core->DifferenceRows().empty(), equal);
        if (all) {
            ASSERT_TRUE(equal) << names(core->Records().Differences()).join(',').toStdString();
        }
        unequalSeen += equal ? 0 : 1;
    }
    EXPECT_GT(unequalSeen, 0);
    EXPECT_LT(unequalSeen, 300);
}
