// The window-value model: fields by name, change and leave rules, suspension scopes, radio
// groups, notifications to listeners and across threads, and the main window's field registry.
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include "common/Helpers.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <atomic>
#include <map>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace kadex;

namespace {

// Records every announcement a plain listener gets, as "Field.Prop".
struct Recorder {
    std::mutex m;
    QStringList seen;
    int id = 0;

    explicit Recorder(WindowModel& model)
    {
        id = model.addListener([this](const QString& field, Prop p) {
            std::lock_guard<std::mutex> lk(m);
            seen << field + "." + propName(p);
        });
    }
    QStringList take()
    {
        std::lock_guard<std::mutex> lk(m);
        QStringList out = seen;
        seen.clear();
        return out;
    }
};

// A small window of its own for the rule tests, strict so that any slip throws.
std::unique_ptr<WindowModel> smallModel()
{
    auto m = std::make_unique<WindowModel>(std::vector<FieldDecl>{
        F("EditA", Kind::Edit, "a"),
        F("EditB", Kind::Edit, "b"),
        F("EditC", Kind::Edit, "c"),
        F("SpinD", Kind::Spin, "5"),
        F("LabelA", Kind::Label, "A"),
        F("CheckE", Kind::Check, "E"),
        F("ComboF", Kind::Combo).items({"x", "y", "z"}, 0),
        F("ListG", Kind::List).items({"one", "two"}),
    });
    m->setMisuse(WindowModel::Misuse::Throw);
    return m;
}

WindowModel& mainModel()
{
    static WindowModel* m = [] {
        auto* model = new WindowModel(mainWindowFields());
        model->setMisuse(WindowModel::Misuse::Throw);
        return model;
    }();
    return *m;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Registry

// A quoted name does not compile; a handle and a name from outside (a QString) do.
template <class M>
concept TakesQuotedName = requires(M& m) { m.setText("EditVmaxPrz", QString()); };
template <class M>
concept TakesHandle = requires(M& m) { m.setText(fld::EditVmaxPrz, QString()); };
template <class M>
concept TakesOutsideName = requires(M& m, const QString& objectName) { m.text(objectName); };
static_assert(!TakesQuotedName<WindowModel>);
static_assert(TakesHandle<WindowModel>);
static_assert(TakesOutsideName<WindowModel>);

TEST(WindowModelRegistry, EveryHandleIsADeclaredFieldOfItsKind)
{
    WindowModel m(mainWindowFields());
    m.setMisuse(WindowModel::Misuse::Throw);
    EXPECT_TRUE(m.problems().isEmpty()) << m.problems().join("\n").toStdString();

    // The handles, the model's declaration and the names all come from the one list.
    ASSERT_EQ(m.names().size(), kFieldCount);
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldId f = allFields()[i];
        EXPECT_EQ(m.names()[i], f.name());
        EXPECT_EQ(f.name(), QLatin1String(f.latin1()));
        EXPECT_EQ(m.state(f).kind, f.kind) << f.latin1();
    }
    EXPECT_EQ(fld::EditVmaxPrz.name(), "EditVmaxPrz");
    EXPECT_EQ(fieldByName("EditVmaxPrz"), fld::EditVmaxPrz);
    EXPECT_EQ(fieldByName("editvmaxprz"), std::nullopt) << "object names are exact";
    EXPECT_EQ(fieldByName("EditVmaxPrzz"), std::nullopt);
    EXPECT_EQ(kStatusMessage.name(), "StatusBarMessage");

    // Identification pane: read-only on the face colour, labels greyed until a device answers.
    for (FieldId n : {fld::EditFenwix, fld::EditOEM, fld::EditPosition, fld::EditSerNr, fld::EditZBAdr}) {
        EXPECT_TRUE(m.readOnly(n)) << n.latin1();
        EXPECT_EQ(m.colour(n), Colour::ButtonFace) << n.latin1();
        EXPECT_EQ(m.text(n), "") << n.latin1();
    }
    EXPECT_FALSE(m.enabled(fld::LabelSerNr));
    EXPECT_EQ(m.caption(fld::LabelZBAdr), "ZB Adr.");
    EXPECT_FALSE(m.readOnly(fld::EditVmaxPrz));
    EXPECT_EQ(m.colour(fld::EditVmaxPrz), Colour::Window);
    EXPECT_TRUE(m.readOnly(fld::EditBetrSollwPrz));
    EXPECT_EQ(m.colour(fld::EditBetrSollwPrz), Colour::ButtonFace);

    // Operation choices: one group, "Auto" selected, captions as shown.
    QStringList choices;
    for (FieldId c : kOperationChoices)
        choices << c.name();
    EXPECT_EQ(sorted(m.groupMembers(kGroupBetrieb)), sorted(choices));
    EXPECT_EQ(m.checkedInGroup(kGroupBetrieb), fld::RadioBetrAuto.name());
    EXPECT_EQ(m.caption(kOperationChoices[7]), "Variabel");
    EXPECT_EQ(m.caption(kOperationChoices[9]), "Schnell auf");
    EXPECT_EQ(m.checkedInGroup(kGroupSensTyp), fld::RadioButtonSensTypDruck.name());

    // Bus address selector.
    EXPECT_EQ(m.items(fld::ComboBoxZBAdress),
              QStringList({"PP", "ZB1", "ZB2", "ZB3", "ZB4", "ZB5", "ZB6", "ZB7", "ZB8"}));
    EXPECT_EQ(m.itemIndex(fld::ComboBoxZBAdress), 0);
    EXPECT_EQ(m.text(fld::ComboBoxZBAdress), "PP");
}

TEST(WindowModelRegistry, StrictModeThrowsOnUnknownNamesAndMissingProperties)
{
    auto m = smallModel();
    Recorder rec(*m);
    EXPECT_THROW(m->text(QStringLiteral("EditNoSuch")), WindowFieldError);
    EXPECT_THROW(m->setText(QStringLiteral("EditNoSuch"), "x"), WindowFieldError);
    EXPECT_THROW(m->setChecked(QStringLiteral("RadioNoSuch"), true), WindowFieldError);
    EXPECT_THROW(m->onChange(QStringLiteral("EditNoSuch"), [](const Change&) {}), WindowFieldError);
    EXPECT_THROW(m->leave(QStringLiteral("EditNoSuch")), WindowFieldError);
    auto suspendWithTypo = [&] { ChangesSuspended s(*m, {"EditA", "EditNoSuch"}); };
    EXPECT_THROW(suspendWithTypo(), WindowFieldError);
    EXPECT_FALSE(m->changesSuspended(QStringLiteral("EditA"))) << "a failed scope must not leave a field switched off";
    EXPECT_FALSE(m->has(QStringLiteral("EditNoSuch"))) << "an access must never create a field";

    // A label has a caption, an edit a text: mixing them up is caught, not stored aside.
    EXPECT_THROW(m->setText(QStringLiteral("LabelA"), "x"), WindowFieldError);
    EXPECT_THROW(m->caption(QStringLiteral("EditA")), WindowFieldError);
    EXPECT_THROW(m->setChecked(QStringLiteral("EditA"), true), WindowFieldError);
    EXPECT_THROW(m->value(QStringLiteral("EditA")), WindowFieldError);
    EXPECT_TRUE(rec.take().isEmpty());
    EXPECT_TRUE(m->problems().contains("unknown field EditNoSuch"));
    EXPECT_TRUE(m->problems().contains("LabelA (label) has no Text"));
}

TEST(WindowModelRegistry, LenientModeRecordsMisuseAndCarriesOn)
{
    auto m = smallModel();
    m->setMisuse(WindowModel::Misuse::Warn);
    Recorder rec(*m);
    EXPECT_EQ(m->text(QStringLiteral("EditNoSuch")), "");
    EXPECT_FALSE(m->setText(QStringLiteral("EditNoSuch"), "x"));
    EXPECT_FALSE(m->setText(QStringLiteral("EditNoSuch"), "y"));
    EXPECT_FALSE(m->setText(QStringLiteral("LabelA"), "x"));
    EXPECT_EQ(m->caption(QStringLiteral("LabelA")), "A");
    EXPECT_FALSE(m->has(QStringLiteral("EditNoSuch")));
    {
        ChangesSuspended s(*m, {"EditA", "EditNoSuch"});
        EXPECT_TRUE(m->changesSuspended(QStringLiteral("EditA")));
    }
    EXPECT_FALSE(m->changesSuspended(QStringLiteral("EditA")));
    EXPECT_TRUE(rec.take().isEmpty());
    // Each mistake once, however often it repeats.
    EXPECT_EQ(m->problems(), QStringList({"unknown field EditNoSuch", "LabelA (label) has no Text"}));
    m->clearProblems();
    EXPECT_TRUE(m->problems().isEmpty());

    // A test program can make every model it creates strict.
    const auto before = WindowModel::defaultMisuse();
    WindowModel::setDefaultMisuse(WindowModel::Misuse::Throw);
    WindowModel strict(mainWindowFields());
    WindowModel::setDefaultMisuse(before);
    EXPECT_THROW(strict.text(QStringLiteral("EditNoSuch")), WindowFieldError);
}

TEST(WindowModelRegistry, DeclarationMistakesAreReported)
{
    WindowModel m;
    m.setMisuse(WindowModel::Misuse::Warn);
    m.declare({
        F("EditA", Kind::Edit, "first"),
        F("EditA", Kind::Edit, "second"),
        F("EditGrouped", Kind::Edit).inGroup("G"),
        F("Radio1", Kind::Radio).inGroup("G").checked(),
        F("Radio2", Kind::Radio).inGroup("G").checked(),
        F("ComboBad", Kind::Combo).items({"a"}, 3),
    });
    EXPECT_EQ(m.problems().size(), 4) << m.problems().join("\n").toStdString();
    EXPECT_EQ(m.text(QStringLiteral("EditA")), "first");
    EXPECT_EQ(m.groupMembers("G"), QStringList({"Radio1", "Radio2"}));
    EXPECT_EQ(m.checkedInGroup("G"), "Radio1");
    EXPECT_FALSE(m.checked(QStringLiteral("Radio2")));
    EXPECT_EQ(m.itemIndex(QStringLiteral("ComboBad")), -1);

    m.setMisuse(WindowModel::Misuse::Throw);
    EXPECT_THROW(m.declare(F("EditA", Kind::Edit)), WindowFieldError);
    EXPECT_TRUE(m.declare(F("EditLater", Kind::Edit, "x")));
    EXPECT_EQ(m.text(QStringLiteral("EditLater")), "x");
}

// ---------------------------------------------------------------------------------------------
// Rules and notifications

TEST(WindowModelRules, ChangeRulesRunForProgramAndUserChanges)
{
    auto m = smallModel();
    std::vector<Change> seen;
    for (const char* n : {"EditA", "SpinD", "CheckE", "ComboF", "ListG"})
        m->onChange(QString::fromLatin1(n), [&](const Change& c) { seen.push_back(c); });

    EXPECT_TRUE(m->setText(QStringLiteral("EditA"), "by program"));
    EXPECT_TRUE(m->setText(QStringLiteral("EditA"), "typed", Origin::User));
    EXPECT_TRUE(m->setValue(QStringLiteral("SpinD"), 7, Origin::User));
    EXPECT_TRUE(m->setChecked(QStringLiteral("CheckE"), true));
    EXPECT_TRUE(m->setItemIndex(QStringLiteral("ListG"), 1, Origin::User));
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].field, "EditA");
    EXPECT_EQ(seen[0].origin, Origin::Program);
    EXPECT_EQ(seen[0].props, bit(Prop::Text));
    EXPECT_EQ(seen[1].origin, Origin::User);
    EXPECT_EQ(m->text(QStringLiteral("EditA")), "typed");
    EXPECT_TRUE(seen[2].has(Prop::Value));
    EXPECT_EQ(m->value(QStringLiteral("SpinD")), 7);
    EXPECT_TRUE(seen[3].has(Prop::Checked));
    EXPECT_EQ(seen[4].field, "ListG");
    EXPECT_EQ(seen[4].origin, Origin::User);

    // One change of a combo's selection is one rule call naming both text and index.
    seen.clear();
    EXPECT_TRUE(m->setItemIndex(QStringLiteral("ComboF"), 2));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].props, bit(Prop::Text) | bit(Prop::ItemIndex));

    // Appearance changes are announced to widgets but are not content changes.
    seen.clear();
    Recorder rec(*m);
    EXPECT_TRUE(m->setEnabled(QStringLiteral("EditA"), false));
    EXPECT_TRUE(m->setColour(QStringLiteral("EditA"), Colour::Red));
    EXPECT_TRUE(m->setReadOnly(QStringLiteral("EditA"), true));
    EXPECT_TRUE(m->setHint(QStringLiteral("EditA"), "0 .. 100"));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(rec.take(), QStringList({"EditA.Enabled", "EditA.Colour", "EditA.ReadOnly", "EditA.Hint"}));
}

TEST(WindowModelRules, SettingTheCurrentValueAnnouncesNothing)
{
    auto m = smallModel();
    int rules = 0;
    for (const char* n : {"EditA", "SpinD", "CheckE", "ComboF", "LabelA"})
        m->onChange(QString::fromLatin1(n), [&](const Change&) { ++rules; });
    Recorder rec(*m);

    EXPECT_FALSE(m->setText(QStringLiteral("EditA"), "a"));
    EXPECT_FALSE(m->setValue(QStringLiteral("SpinD"), 5));
    EXPECT_FALSE(m->setChecked(QStringLiteral("CheckE"), false));
    EXPECT_FALSE(m->setItemIndex(QStringLiteral("ComboF"), 0));
    EXPECT_FALSE(m->setText(QStringLiteral("ComboF"), "x"));
    EXPECT_FALSE(m->setItems(QStringLiteral("ComboF"), {"x", "y", "z"}));
    EXPECT_FALSE(m->setCaption(QStringLiteral("LabelA"), "A"));
    EXPECT_FALSE(m->setEnabled(QStringLiteral("EditA"), true));
    EXPECT_FALSE(m->setVisible(QStringLiteral("EditA"), true));
    EXPECT_FALSE(m->setColour(QStringLiteral("EditA"), Colour::Window));
    EXPECT_FALSE(m->setTextColour(QStringLiteral("EditA"), Colour::WindowText));
    EXPECT_FALSE(m->setHint(QStringLiteral("EditA"), ""));
    EXPECT_EQ(rules, 0);
    EXPECT_TRUE(rec.take().isEmpty());

    // The second of two equal writes is the no-op.
    EXPECT_TRUE(m->setText(QStringLiteral("EditA"), "new"));
    EXPECT_FALSE(m->setText(QStringLiteral("EditA"), "new"));
    EXPECT_EQ(rules, 1);
    EXPECT_EQ(rec.take(), QStringList({"EditA.Text"}));
}

TEST(WindowModelRules, SuspensionScopesNestPerFieldAndStillUpdateWidgets)
{
    auto m = smallModel();
    std::map<QString, int> runs;
    m->onChange(QStringList{"EditA", "EditB"}, [&](const Change& c) { ++runs[c.field]; });
    Recorder rec(*m);
    {
        ChangesSuspended outer(*m, {"EditA"});
        m->setText(QStringLiteral("EditA"), "1");
        m->setText(QStringLiteral("EditB"), "1");
        EXPECT_EQ(runs["EditA"], 0);
        EXPECT_EQ(runs["EditB"], 1) << "a scope covers only the fields it names";
        {
            ChangesSuspended inner(*m, {"EditA", "EditB"});
            m->setText(QStringLiteral("EditA"), "2");
            m->setText(QStringLiteral("EditB"), "2");
            EXPECT_EQ(runs["EditA"], 0);
            EXPECT_EQ(runs["EditB"], 1);
        }
        // The inner scope ended: B is back, A is still held by the outer one.
        EXPECT_FALSE(m->changesSuspended(QStringLiteral("EditB")));
        EXPECT_TRUE(m->changesSuspended(QStringLiteral("EditA")));
        m->setText(QStringLiteral("EditA"), "3");
        m->setText(QStringLiteral("EditB"), "3");
        EXPECT_EQ(runs["EditA"], 0);
        EXPECT_EQ(runs["EditB"], 2);
    }
    EXPECT_FALSE(m->changesSuspended(QStringLiteral("EditA")));
    m->setText(QStringLiteral("EditA"), "4");
    EXPECT_EQ(runs["EditA"], 1);
    // Widgets saw every change, suspended or not.
    EXPECT_EQ(rec.take().count("EditA.Text"), 4);
}

TEST(WindowModelRules, LeaveRulesRunOnlyOnLeave)
{
    auto m = smallModel();
    int changes = 0;
    QStringList left;
    m->onChange(QStringLiteral("EditA"), [&](const Change&) { ++changes; });
    m->onLeave(QStringLiteral("EditA"), [&](const QString& f) { left << f + "=" + m->text(f); });

    m->setText(QStringLiteral("EditA"), "12", Origin::User);
    m->setText(QStringLiteral("EditA"), "123", Origin::User);
    EXPECT_TRUE(left.isEmpty());
    m->leave(QStringLiteral("EditA"));
    EXPECT_EQ(left, QStringList({"EditA=123"}));
    EXPECT_EQ(changes, 2);
    {
        // Suspension is about change handling; leaving still counts.
        ChangesSuspended s(*m, {"EditA"});
        m->leave(QStringLiteral("EditA"));
    }
    EXPECT_EQ(left.size(), 2);
    m->leave(QStringLiteral("EditB")); // a field without leave rules
    EXPECT_EQ(left.size(), 2);
}

TEST(WindowModelRules, RulesMayChangeOtherFieldsAndRewriteTheirOwn)
{
    auto m = smallModel();
    int aRuns = 0;
    // Clamp in place, as entry rules do: the rewrite itself must not run the rule again.
    m->onChange(QStringLiteral("EditA"), [&](const Change&) {
        ++aRuns;
        const double v = m->text(QStringLiteral("EditA")).toDouble();
        if (v > 100) {
            ChangesSuspended s(*m, {"EditA"});
            m->setText(QStringLiteral("EditA"), "100");
        }
        m->setText(QStringLiteral("EditB"), "B:" + m->text(QStringLiteral("EditA")));
    });
    m->onChange(QStringLiteral("EditB"), [&](const Change&) { m->setText(QStringLiteral("EditC"), "C:" + m->text(QStringLiteral("EditB"))); });

    m->setText(QStringLiteral("EditA"), "250", Origin::User);
    EXPECT_EQ(aRuns, 1);
    EXPECT_EQ(m->text(QStringLiteral("EditA")), "100");
    EXPECT_EQ(m->text(QStringLiteral("EditB")), "B:100");
    EXPECT_EQ(m->text(QStringLiteral("EditC")), "C:B:100");
    EXPECT_FALSE(m->changesSuspended(QStringLiteral("EditA")));
}

TEST(WindowModelRules, RulesThatFeedEachOtherForeverAreStopped)
{
    for (auto mode : {WindowModel::Misuse::Warn, WindowModel::Misuse::Throw}) {
        auto m = smallModel();
        m->setMisuse(mode);
        int runs = 0;
        m->onChange(QStringLiteral("EditA"), [&](const Change&) { ++runs; m->setText(QStringLiteral("EditB"), m->text(QStringLiteral("EditA")) + "+"); });
        m->onChange(QStringLiteral("EditB"), [&](const Change&) { ++runs; m->setText(QStringLiteral("EditA"), m->text(QStringLiteral("EditB")) + "+"); });
        if (mode == WindowModel::Misuse::Throw) {
            EXPECT_THROW(m->setText(QStringLiteral("EditA"), "x"), WindowFieldError);
        } else {
            EXPECT_NO_THROW(m->setText(QStringLiteral("EditA"), "x"));
            EXPECT_EQ(m->problems().size(), 1);
        }
        EXPECT_GT(runs, 10);
        EXPECT_LT(runs, 100);
        // The model is usable afterwards: the depth count was unwound.
        runs = 0;
        m->setText(QStringLiteral("EditC"), "still fine");
        EXPECT_EQ(m->text(QStringLiteral("EditC")), "still fine");
    }
}

TEST(WindowModelRules, CheckingARadioUnchecksTheRestOfItsGroup)
{
    WindowModel m(mainWindowFields());
    m.setMisuse(WindowModel::Misuse::Throw);
    std::vector<Change> seen;
    for (FieldId n : kOperationChoices)
        m.onChange(n, [&](const Change& c) { seen.push_back(c); });
    Recorder rec(m);

    EXPECT_TRUE(m.setChecked(fld::RadioBetrVMax, true, Origin::User));
    EXPECT_TRUE(m.checked(fld::RadioBetrVMax));
    EXPECT_FALSE(m.checked(fld::RadioBetrAuto));
    EXPECT_EQ(m.checkedInGroup(kGroupBetrieb), fld::RadioBetrVMax.name());
    EXPECT_EQ(sorted(rec.take()), QStringList({"RadioBetrAuto.Checked", "RadioBetrVMax.Checked"}));
    // The old choice lets go first, then the new one is announced.
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].field, fld::RadioBetrAuto.name());
    EXPECT_EQ(seen[0].origin, Origin::User);
    EXPECT_EQ(seen[1].field, fld::RadioBetrVMax.name());
    // Other groups keep their choice.
    EXPECT_EQ(m.checkedInGroup(kGroupSensTyp), fld::RadioButtonSensTypDruck.name());

    // Checking the checked one is a no-op; unchecking leaves the group without a choice.
    seen.clear();
    EXPECT_FALSE(m.setChecked(fld::RadioBetrVMax, true));
    EXPECT_TRUE(m.setChecked(fld::RadioBetrVMax, false));
    EXPECT_EQ(m.checkedInGroup(kGroupBetrieb), "");
    EXPECT_TRUE(m.setChecked(fld::RadioBetrVariabel, true));
    EXPECT_EQ(m.checkedInGroup(kGroupBetrieb), fld::RadioBetrVariabel.name());
    EXPECT_EQ(seen.size(), 2u);
    int checkedCount = 0;
    for (FieldId n : kOperationChoices)
        checkedCount += m.checked(n) ? 1 : 0;
    EXPECT_EQ(checkedCount, 1);
}

TEST(WindowModelRules, ComboTextFollowsSelectionAndSelectionFollowsText)
{
    WindowModel& m = mainModel();
    const FieldId zb = fld::ComboBoxZBAdress;
    EXPECT_TRUE(m.setItemIndex(zb, 3));
    EXPECT_EQ(m.text(zb), "ZB3");
    EXPECT_TRUE(m.setItemIndex(zb, 12)) << "an index past the items selects nothing";
    EXPECT_EQ(m.itemIndex(zb), -1);
    EXPECT_EQ(m.text(zb), "");
    EXPECT_TRUE(m.setText(zb, "ZB5"));
    EXPECT_EQ(m.itemIndex(zb), 5);
    EXPECT_TRUE(m.setText(zb, "ZB9"));
    EXPECT_EQ(m.itemIndex(zb), -1);
    EXPECT_EQ(m.text(zb), "ZB9");
    EXPECT_TRUE(m.setItemIndex(zb, 0));

    auto small = smallModel();
    small->setItemIndex(QStringLiteral("ComboF"), 2);
    EXPECT_TRUE(small->setItems(QStringLiteral("ComboF"), {"x", "y"}));
    EXPECT_EQ(small->itemIndex(QStringLiteral("ComboF")), -1);
    small->setItemIndex(QStringLiteral("ComboF"), 1);
    EXPECT_TRUE(small->setItems(QStringLiteral("ComboF"), {"p", "q"}));
    EXPECT_EQ(small->itemIndex(QStringLiteral("ComboF")), 1);
    EXPECT_EQ(small->text(QStringLiteral("ComboF")), "q");
}

TEST(WindowModelRules, StateGivesABindingWidgetEverything)
{
    auto m = smallModel();
    m->setText(QStringLiteral("EditA"), "value");
    m->setEnabled(QStringLiteral("EditA"), false);
    m->setVisible(QStringLiteral("EditA"), false);
    m->setReadOnly(QStringLiteral("EditA"), true);
    m->setColour(QStringLiteral("EditA"), Colour::Red);
    m->setTextColour(QStringLiteral("EditA"), Colour::Green);
    m->setHint(QStringLiteral("EditA"), "hint");
    const FieldState s = m->state(QStringLiteral("EditA"));
    EXPECT_EQ(s.name, "EditA");
    EXPECT_EQ(s.kind, Kind::Edit);
    EXPECT_EQ(s.text, "value");
    EXPECT_FALSE(s.enabled);
    EXPECT_FALSE(s.visible);
    EXPECT_TRUE(s.readOnly);
    EXPECT_EQ(s.colour, Colour::Red);
    EXPECT_EQ(s.textColour, Colour::Green);
    EXPECT_EQ(s.hint, "hint");
    EXPECT_EQ(m->state(QStringLiteral("ComboF")).items, QStringList({"x", "y", "z"}));
    EXPECT_EQ(m->names().size(), 8);
    EXPECT_EQ(m->names().front(), "EditA");
}

TEST(WindowModelRules, RemovedListenersHearNothingMore)
{
    auto m = smallModel();
    int a = 0, b = 0;
    const int ida = m->addListener([&](const QString&, Prop) { ++a; });
    m->addListener([&](const QString&, Prop) { ++b; });
    m->setText(QStringLiteral("EditA"), "1");
    m->removeListener(ida);
    m->setText(QStringLiteral("EditA"), "2");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
}

// ---------------------------------------------------------------------------------------------
// Numbers

TEST(WindowModelNumbers, DeviceValuesAreShownAndReadThroughTheFieldsFormat)
{
    WindowModel m(mainWindowFields());
    m.setMisuse(WindowModel::Misuse::Throw);
    struct Case {
        FieldId field;
        double device;
        const char* shown;
    } cases[] = {
        {fld::EditVmaxPrz, 10000, "100.00"}, {fld::EditVminPrz, 1234, "12.34"}, {fld::EditVmidPrz, 0, "0.00"},
        {fld::EditW1Min, 2300, "2.3"},       {fld::EditU5Max, 9940, "9.9"},
        {fld::EditSensorSign, 1005, "1.00"}, {fld::EditBetrIstwPrz, 4260, "43"}, {fld::EditSignW1, 0, "0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.latin1());
        m.setDeviceValue(c.field, c.device);
        EXPECT_EQ(m.text(c.field), c.shown);
    }
    // Reading parses with GetIntFromString rounding, or cuts towards zero without float noise.
    struct Read {
        FieldId field;
        const char* text;
        int32_t rounded, cut;
    } reads[] = {
        {fld::EditW1Min, "2.3", 2300, 2300},      {fld::EditW1Max, "2.3456", 2346, 2345},
        {fld::EditVmaxPrz, "55.555", 5556, 5555}, {fld::EditVmaxPrz, "abc", 0, 0},
        {fld::EditVminPrz, "0.125", 12, 12},      {fld::EditU5Min, "-0.5", -500, -500},
    };
    for (const Read& r : reads) {
        SCOPED_TRACE(std::string(r.field.latin1()) + " " + r.text);
        m.setText(r.field, r.text);
        EXPECT_EQ(m.deviceValue(r.field), r.rounded);
        EXPECT_EQ(m.deviceValue(r.field, Rounding::Trunc), r.cut);
    }
    // An explicit number of decimals overrides the field's.
    m.setDisplayValue(fld::EditVmaxM3, 1234.5678, 2);
    EXPECT_EQ(m.text(fld::EditVmaxM3), "1234.57");
    m.setDeviceValue(fld::EditBetrSollwPrz, 4999, 0);
    EXPECT_EQ(m.text(fld::EditBetrSollwPrz), "50");
    // A field without a number format is a misuse, not a silent text.
    EXPECT_THROW(m.setDeviceValue(fld::EditSerNr, 1), WindowFieldError);
    EXPECT_THROW(m.deviceValue(fld::EditPositionInput), WindowFieldError);
}

TEST(WindowModelNumbers, ShownValuesReadBackExactlyForEveryNumberField)
{
    // Seeded: any device value in range reads back unchanged both ways, also where the text
    // shows fewer decimals than the scale has digits (the field holds the value it showed);
    // the text is the value formatted.
    WindowModel m(mainWindowFields());
    m.setMisuse(WindowModel::Misuse::Throw);
    std::mt19937 rng(20240611);
    int checked = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldId f = allFields()[i];
        const FieldState s = m.state(f);
        if (!s.isNumber())
            continue;
        const double hi = s.ranged ? s.maximum * s.scale : 65535;
        const double lo = s.ranged ? s.minimum * s.scale : 0;
        std::uniform_int_distribution<int> pick(static_cast<int>(lo), static_cast<int>(hi));
        const bool exact = std::pow(10.0, s.decimals) >= s.scale;
        for (int k = 0; k < 500; ++k) {
            const int v = pick(rng);
            m.setDeviceValue(f, v);
            ASSERT_EQ(m.deviceValue(f), v) << f.latin1() << " " << v;
            ASSERT_EQ(m.deviceValue(f, Rounding::Trunc), v) << f.latin1() << " " << v;
            if (f.kind != Kind::Spin && !exact) {
                ASSERT_EQ(m.text(f), Fixed(v / s.scale, s.decimals)) << f.latin1() << " " << v;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 5000);
}

TEST(WindowModelNumbers, PlainRangeCheckAndLeaveFormatting)
{
    WindowModel m(mainWindowFields());
    m.setMisuse(WindowModel::Misuse::Throw);
    int rules = 0;
    m.onChange(fld::EditW1Max, [&](const Change&) { ++rules; });
    m.usePlainEntry(fld::EditW1Max);
    Recorder rec(m);
    struct Case {
        const char* typed;
        const char* afterChange;
        const char* afterLeave;
    } cases[] = {
        {"12", "10.0", "10.0"}, {"-3", "0.0", "0.0"}, {"7", "7", "7.0"},
        {"7.24", "7.24", "7.2"}, {"x", "x", "0.0"}, {"", "", "0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        m.setText(fld::EditW1Max, c.typed, Origin::User);
        EXPECT_EQ(m.text(fld::EditW1Max), c.afterChange);
        m.leave(fld::EditW1Max);
        EXPECT_EQ(m.text(fld::EditW1Max), c.afterLeave);
    }
    // The rewrites do not run the field's rules again.
    EXPECT_EQ(rules, 6);

    // A range that changes at run time is announced and used from then on.
    rec.take();
    EXPECT_TRUE(m.setRange(fld::EditW1Max, 2, 5));
    EXPECT_FALSE(m.setRange(fld::EditW1Max, 2, 5));
    EXPECT_EQ(rec.take(), QStringList({"EditW1Max.Range"}));
    m.setText(fld::EditW1Max, "9", Origin::User);
    EXPECT_EQ(m.text(fld::EditW1Max), "5.0");
    EXPECT_THROW(m.setRange(fld::EditW1Max, 5, 2), WindowFieldError);
    EXPECT_EQ(m.state(fld::EditW1Max).maximum, 5);
}

TEST(WindowModelNumbers, NumberMetadataOnAControlWithoutTextIsADeclarationMistake)
{
    WindowModel m;
    m.setMisuse(WindowModel::Misuse::Warn);
    m.declare({F("LabelN", Kind::Label, "x").number(100, 2), F("EditN", Kind::Edit).range(3, 1),
               F("EditS", Kind::Edit).number(0, 1)});
    EXPECT_EQ(m.problems().size(), 3) << m.problems().join("\n").toStdString();
    EXPECT_FALSE(m.state(QStringLiteral("LabelN")).isNumber());
    EXPECT_FALSE(m.state(QStringLiteral("EditN")).ranged);
    EXPECT_EQ(m.state(QStringLiteral("EditS")).scale, 1);
}

// ---------------------------------------------------------------------------------------------
// Threads

TEST(WindowModelThreads, QueuedNotificationsArriveOnTheGuiThread)
{
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    WindowModel m(mainWindowFields());
    m.setMisuse(WindowModel::Misuse::Throw);
    QObject widgetSide; // lives on this (the GUI) thread
    QStringList got;
    bool allOnGuiThread = true;
    QString istShown;
    QEventLoop loop;
    QObject::connect(
        &m, &WindowModel::fieldChanged, &widgetSide,
        [&](const QString& field, Prop p) {
            allOnGuiThread = allOnGuiThread && QThread::currentThread() == widgetSide.thread();
            got << field + "." + propName(p);
            if (field == fld::EditBetrIstwPrz.name())
                istShown = m.text(field); // a widget reads the current state
            if (got.size() == 3)
                loop.quit();
        },
        Qt::QueuedConnection);

    std::thread worker([&] {
        m.setText(fld::EditBetrIstwPrz, "42");
        m.setChecked(fld::RadioBetrZu, true);
    });
    worker.join();
    EXPECT_TRUE(got.isEmpty()) << "queued: nothing arrives before the GUI thread runs its events";

    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(allOnGuiThread);
    EXPECT_EQ(sorted(got), QStringList({"EditBetrIstwPrz.Text", "RadioBetrAuto.Checked", "RadioBetrZu.Checked"}));
    EXPECT_EQ(istShown, "42");
}

TEST(WindowModelThreads, RulesRunOnTheThreadThatMadeTheChange)
{
    auto m = smallModel();
    std::thread::id ruleThread;
    m->onChange(QStringLiteral("EditA"), [&](const Change&) { ruleThread = std::this_thread::get_id(); });
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        m->setText(QStringLiteral("EditA"), "from worker");
    });
    worker.join();
    EXPECT_EQ(ruleThread, workerId);
}

TEST(WindowModelThreads, ConcurrentWritersReadersAndRulesStayConsistent)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    WindowModel m(mainWindowFields());
    m.setMisuse(WindowModel::Misuse::Throw);
    const FieldId own[] = {fld::EditBetrIstwPrz, fld::EditBetrIstwM3, fld::EditSignW1, fld::EditSignU5};
    const FieldId mirror[] = {fld::EditBetrSollwPrz, fld::EditBetrSollwM3, fld::EditSensorSign, fld::EditSensorValue};

    std::atomic<int> ruleRuns[kThreads] = {};
    for (int t = 0; t < kThreads; ++t) {
        // Each writer's rule copies its field into a mirror (a rule changing another field).
        m.onChange(own[t], [&, t](const Change&) {
            ++ruleRuns[t];
            m.setText(mirror[t], m.text(own[t]));
        });
    }
    std::mutex countM;
    std::map<QString, int> notes;
    m.addListener([&](const QString& f, Prop p) {
        if (p == Prop::Text) {
            std::lock_guard<std::mutex> lk(countM);
            ++notes[f];
        }
    });

    std::atomic<bool> stop{false};
    std::atomic<int> badGroup{0};
    std::thread reader([&] {
        while (!stop) {
            if (m.checkedInGroup(kGroupBetrieb).isEmpty())
                ++badGroup; // choices are only ever checked here, so one is always selected
            (void)m.state(fld::EditBetrSollwPrz);
            (void)m.enabled(fld::LabelBetrSollw);
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                m.setText(own[t], QString::number(t) + "-" + QString::number(i));
                m.setChecked(kOperationChoices[(t * 3 + i) % 10], true);
                m.setEnabled(fld::LabelBetrSollw, (i & 1) != 0);
                if (i % 50 == 0) {
                    ChangesSuspended s(m, {fld::PanelBetrStatus});
                    m.setCaption(fld::PanelBetrStatus, QString::number(i));
                }
            }
        });
    }
    for (auto& w : writers)
        w.join();
    stop = true;
    reader.join();

    EXPECT_EQ(badGroup.load(), 0);
    int checkedCount = 0;
    for (FieldId n : kOperationChoices)
        checkedCount += m.checked(n) ? 1 : 0;
    EXPECT_EQ(checkedCount, 1);
    for (int t = 0; t < kThreads; ++t) {
        const QString last = QString::number(t) + "-" + QString::number(kRounds - 1);
        EXPECT_EQ(m.text(own[t]), last);
        EXPECT_EQ(m.text(mirror[t]), last);
        EXPECT_EQ(ruleRuns[t].load(), kRounds);
        EXPECT_EQ(notes[own[t].name()], kRounds);
        EXPECT_EQ(notes[mirror[t].name()], kRounds);
    }
    EXPECT_FALSE(m.changesSuspended(fld::PanelBetrStatus));
}

// ---------------------------------------------------------------------------------------------
// Cascades across threads

namespace {

// What the rules of one cascade leave behind, to check afterwards that no other thread's
// rules ran in the middle of it.
struct CascadeLog {
    std::mutex m;
    std::vector<std::pair<int, std::thread::id>> entries; // (top-level change number, thread)
    std::atomic<int> threadsInside{0};
    std::atomic<int> overlaps{0};

    void note(int op)
    {
        std::lock_guard<std::mutex> lk(m);
        entries.emplace_back(op, std::this_thread::get_id());
    }
};

thread_local int currentOp = -1; // the top-level change this thread is making
thread_local int ruleNesting = 0;

// Marks a rule's run: the first rule of a cascade on this thread counts the thread as inside;
// a second thread inside at the same time is an overlap.
struct InsideRule {
    CascadeLog& log;
    explicit InsideRule(CascadeLog& l) : log(l)
    {
        if (ruleNesting++ == 0 && log.threadsInside.fetch_add(1) != 0)
            ++log.overlaps;
        log.note(currentOp);
    }
    ~InsideRule()
    {
        log.note(currentOp);
        if (--ruleNesting == 0)
            --log.threadsInside;
    }
};

} // namespace

// A worker writes fields while the GUI thread edits and leaves fields whose rules change
// further fields: every cascade runs to its end before the next one starts, whichever thread.
TEST(WindowModelThreads, CascadesFromSeveralThreadsNeverInterleave)
{
    auto m = smallModel();
    CascadeLog log;
    const QString A = "EditA", B = "EditB", C = "EditC", D = "SpinD";
    // A -> B -> C, D -> C, leave(A) -> B: chains that span several nested rules, with pauses
    // that give another thread every chance to step in.
    m->onChange(A, [&](const Change&) {
        InsideRule in(log);
        std::this_thread::yield();
        m->setText(B, m->text(A) + "b");
        std::this_thread::yield();
    });
    m->onChange(B, [&](const Change&) {
        InsideRule in(log);
        m->setText(C, m->text(B) + "c");
    });
    m->onChange(C, [&](const Change&) { InsideRule in(log); std::this_thread::yield(); });
    m->onChange(D, [&](const Change&) {
        InsideRule in(log);
        m->setText(C, QString::number(m->value(D)));
    });
    m->onLeave(A, [&](const QString&) {
        InsideRule in(log);
        m->setText(B, m->text(A) + "left");
    });

    const uint32_t seed = 20261210;
    constexpr int kRounds = 3000;
    std::atomic<int> nextOp{0};
    auto run = [&](uint32_t s, bool gui) {
        std::mt19937 rng(s);
        for (int i = 0; i < kRounds; ++i) {
            currentOp = nextOp++; // one number per top-level change (or ChangeCascade)
            const int what = static_cast<int>(rng() % 5);
            const QString v = QString::number(rng() % 1000);
            if (gui) {
                switch (what) {
                case 0: m->setText(A, v, Origin::User); break;
                case 1: m->setText(C, v, Origin::User); break;
                case 2: m->leave(A); break;
                default: m->setValue(D, rng() % 1000, Origin::User); break;
                }
            } else if (what == 4) {
                // A record's read-modify-write, as one cascade.
                ChangeCascade step(*m);
                m->setText(A, m->text(C) + "w");
                m->setValue(D, m->value(D) + 1);
            } else {
                m->setText(what % 2 ? A : B, v);
                currentOp = nextOp++;
                m->setValue(D, rng() % 1000);
            }
            currentOp = -1;
        }
    };
    std::thread worker(run, seed + 1, false);
    std::thread secondWorker(run, seed + 2, false);
    run(seed, true);
    worker.join();
    secondWorker.join();

    EXPECT_EQ(log.overlaps.load(), 0) << "seed " << seed;
    // Every top-level change's rule runs form one unbroken block of the log.
    std::map<int, size_t> lastSeen;
    int broken = 0;
    for (size_t i = 0; i < log.entries.size(); ++i) {
        const int op = log.entries[i].first;
        auto it = lastSeen.find(op);
        if (it != lastSeen.end() && it->second != i - 1)
            ++broken;
        lastSeen[op] = i;
    }
    EXPECT_EQ(broken, 0) << "seed " << seed;
    EXPECT_GT(lastSeen.size(), size_t(kRounds)) << "rules ran for most changes";
    EXPECT_FALSE(m->inCascade());
}

// A change from another thread waits while a cascade runs, and goes ahead once it ended.
TEST(WindowModelThreads, AChangeWaitsForTheRunningCascadeOfAnotherThread)
{
    auto m = smallModel();
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    QStringList order;
    std::mutex orderM;
    auto mark = [&](const QString& s) {
        std::lock_guard<std::mutex> lk(orderM);
        order << s;
    };
    m->onChange(QStringLiteral("EditA"), [&](const Change&) {
        mark("A begins");
        entered.set_value();
        released.wait(); // a test may hold a cascade open; product rules never wait
        m->setText(QStringLiteral("EditB"), "from A"); // same thread: nests, no wait
        mark("A ends");
    });
    m->onChange(QStringLiteral("EditC"), [&](const Change&) { mark("C rule"); });

    std::thread first([&] { m->setText(QStringLiteral("EditA"), "go"); });
    entered.get_future().wait();
    std::atomic<bool> secondDone{false};
    std::thread second([&] {
        m->setText(QStringLiteral("EditC"), "late");
        secondDone = true;
    });
    // Appearance changes run no rules and do not wait.
    EXPECT_TRUE(m->setEnabled(QStringLiteral("EditC"), false));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(secondDone.load()) << "the second change must wait for the cascade";
    EXPECT_EQ(m->text(QStringLiteral("EditC")), "c") << "not even the change itself may slip in";
    release.set_value();
    first.join();
    second.join();
    EXPECT_EQ(order, QStringList({"A begins", "A ends", "C rule"}));
    EXPECT_EQ(m->text(QStringLiteral("EditB")), "from A");
    EXPECT_EQ(m->text(QStringLiteral("EditC")), "late");
}

// A scope switches off the rules for its own thread's changes only.
TEST(WindowModelThreads, SuspensionBelongsToTheThreadThatTookIt)
{
    auto m = smallModel();
    std::atomic<int> runs{0};
    m->onChange(QStringLiteral("EditA"), [&](const Change&) { ++runs; });
    std::promise<void> suspended, othersDone;
    std::thread holder([&] {
        ChangesSuspended quiet(*m, {"EditA"});
        suspended.set_value();
        othersDone.get_future().wait();
        EXPECT_TRUE(m->changesSuspended(QStringLiteral("EditA")));
        m->setText(QStringLiteral("EditA"), "mine");
        EXPECT_EQ(runs.load(), 1) << "the holder's own change skips the rules";
    });
    suspended.get_future().wait();
    EXPECT_FALSE(m->changesSuspended(QStringLiteral("EditA")));
    m->setText(QStringLiteral("EditA"), "theirs");
    EXPECT_EQ(runs.load(), 1) << "another thread's change runs the rules";
    othersDone.set_value();
    holder.join();
    m->setText(QStringLiteral("EditA"), "after");
    EXPECT_EQ(runs.load(), 2);
}
