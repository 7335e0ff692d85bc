#include "device/model/WindowModel.h"

#include "common/Helpers.h"

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <utility>

namespace kadex {

namespace {

// A rule that changes a field whose rule changes it back would recurse without end; past this
// depth the model stops and reports instead of overflowing the stack.
constexpr int kMaxRuleDepth = 32;
thread_local int ruleDepth = 0;

// A change waiting this long for another thread's cascade points at a rule or listener that
// waits for something; it is logged once and the wait goes on.
constexpr auto kLongCascadeWait = std::chrono::seconds(2);

// Stored values are assigned from a temporary (f.s.text = QString(text)) on purpose: that is a
// move, inline in the headers, whereas QString's copy assignment lives in the Qt library, where
// ThreadSanitizer cannot see the reference counting and reports the release of a text that
// another thread let go of as a race.

struct DepthGuard {
    DepthGuard() { ++ruleDepth; }
    ~DepthGuard() { --ruleDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

bool hasItemsIndex(Kind k) { return k == Kind::Combo || k == Kind::List; }

bool editLike(Kind k)
{
    return k == Kind::Edit || k == Kind::Memo || k == Kind::Spin || k == Kind::Combo || k == Kind::List;
}

const char* kindName(Kind k)
{
    switch (k) {
    case Kind::Edit: return "edit";
    case Kind::Memo: return "memo";
    case Kind::Spin: return "spin edit";
    case Kind::Slider: return "slider";
    case Kind::Combo: return "combo box";
    case Kind::List: return "list box";
    case Kind::Label: return "label";
    case Kind::Panel: return "panel";
    case Kind::Button: return "button";
    case Kind::Toggle: return "toggle button";
    case Kind::Radio: return "radio button";
    case Kind::Check: return "check box";
    case Kind::Group: return "group box";
    case Kind::Tab: return "tab sheet";
    case Kind::Pages: return "tab control";
    case Kind::Action: return "menu command";
    case Kind::StatusField: return "status field";
    }
    return "control";
}

} // namespace

const char* propName(Prop p)
{
    switch (p) {
    case Prop::Text: return "Text";
    case Prop::Value: return "Value";
    case Prop::Checked: return "Checked";
    case Prop::ItemIndex: return "ItemIndex";
    case Prop::Items: return "Items";
    case Prop::Caption: return "Caption";
    case Prop::Enabled: return "Enabled";
    case Prop::Visible: return "Visible";
    case Prop::ReadOnly: return "ReadOnly";
    case Prop::Colour: return "Colour";
    case Prop::TextColour: return "TextColour";
    case Prop::Hint: return "Hint";
    case Prop::Range: return "Range";
    case Prop::Unit: return "Unit";
    }
    return "?";
}

bool kindHas(Kind k, Prop p)
{
    switch (p) {
    case Prop::Enabled:
    case Prop::Visible:
    case Prop::Colour:
    case Prop::TextColour:
    case Prop::Hint:
        return true;
    case Prop::Text:
        return k == Kind::Edit || k == Kind::Combo || k == Kind::StatusField;
    case Prop::ReadOnly:
        return k == Kind::Edit || k == Kind::Memo || k == Kind::Spin;
    case Prop::Value:
        return k == Kind::Spin || k == Kind::Slider;
    case Prop::Checked:
        return k == Kind::Toggle || k == Kind::Radio || k == Kind::Check || k == Kind::Action;
    case Prop::ItemIndex:
        return k == Kind::Combo || k == Kind::List || k == Kind::Pages;
    case Prop::Items:
        return k == Kind::Memo || k == Kind::Combo || k == Kind::List;
    case Prop::Range:
        return k == Kind::Edit || k == Kind::Spin || k == Kind::Slider;
    case Prop::Unit:
        return k == Kind::Edit || k == Kind::Spin;
    case Prop::Caption:
        return k == Kind::Label || k == Kind::Panel || k == Kind::Button || k == Kind::Toggle ||
               k == Kind::Radio || k == Kind::Check || k == Kind::Group || k == Kind::Tab ||
               k == Kind::Action;
    }
    return false;
}

FieldDecl& FieldDecl::items(const QStringList& list, int idx)
{
    s.items = list;
    s.itemIndex = idx;
    return *this;
}

FieldDecl F(const char* name, Kind kind, const char* initial)
{
    FieldDecl d;
    d.s.name = QString::fromUtf8(name);
    d.s.kind = kind;
    const QString init = QString::fromUtf8(initial);
    if (kindHas(kind, Prop::Text))
        d.s.text = init;
    else if (kindHas(kind, Prop::Caption))
        d.s.caption = init;
    else if (kindHas(kind, Prop::Value) && !init.isEmpty())
        d.s.value = init.toDouble();
    return d;
}

namespace {

// The figure a number field shows now: its value (spin box) or its text as a number.
double shownFigure(const FieldState& s)
{
    const double v = s.kind == Kind::Spin ? s.value : GetFloatWert(s.text);
    return s.cutShown ? std::trunc(v) : v;
}

} // namespace

struct WindowModel::Field {
    FieldState s;
    // Open ChangesSuspended scopes per thread; rarely more than one entry.
    std::vector<std::pair<std::thread::id, int>> suspendedBy;
    int suspendedFor(std::thread::id t) const
    {
        for (const auto& [owner, count] : suspendedBy) {
            if (owner == t)
                return count;
        }
        return 0;
    }
    std::shared_ptr<const RuleList> rules;
    std::shared_ptr<const LeaveList> leaveRules;
    // Numbers: the device value last shown, the figure it was shown as and the factor then.
    bool held = false;
    double heldDevice = 0;
    double heldShown = 0;
    double heldPer = 0;
    bool holds() const { return held && heldPer == s.perDevice && shownFigure(s) == heldShown; }
};

// What one step changed, gathered under the lock and announced after it is released.
struct WindowModel::Pending {
    struct Note {
        QString field;
        Prop prop;
    };
    struct Call {
        std::shared_ptr<const RuleList> rules;
        Change change;
    };
    std::vector<Note> notes;
    std::vector<Call> calls;
    std::shared_ptr<const ListenerList> listeners;
};

WindowModel::WindowModel(QObject* parent)
    : QObject(parent)
    , listeners_(std::make_shared<ListenerList>())
    , misuse_(defaultMisuse())
{
}

namespace {
#ifdef NDEBUG
std::atomic<WindowModel::Misuse> processMisuse{WindowModel::Misuse::Warn};
#else
std::atomic<WindowModel::Misuse> processMisuse{WindowModel::Misuse::Throw};
#endif
} // namespace

void WindowModel::setDefaultMisuse(Misuse m)
{
    processMisuse.store(m);
}

WindowModel::Misuse WindowModel::defaultMisuse()
{
    return processMisuse.load();
}

WindowModel::WindowModel(const std::vector<FieldDecl>& fields, QObject* parent)
    : WindowModel(parent)
{
    declare(fields);
}

WindowModel::~WindowModel() = default;

QStringList WindowModel::problems() const
{
    std::lock_guard<std::mutex> lk(problemsM_);
    return problems_;
}

void WindowModel::clearProblems()
{
    std::lock_guard<std::mutex> lk(problemsM_);
    problems_.clear();
}

void WindowModel::misused(const QString& what) const
{
    {
        std::lock_guard<std::mutex> lk(problemsM_);
        // Each kind of mistake is logged once; a polling step repeats it every cycle.
        if (!problems_.contains(what) && problems_.size() < 1000) {
            problems_.append(what);
            qWarning().noquote() << "window model:" << what;
        }
    }
    if (misuse_.load() == Misuse::Throw)
        throw WindowFieldError(what.toStdString());
}

WindowModel::Field* WindowModel::find(const QString& name) const
{
    const auto it = index_.constFind(name);
    return it == index_.cend() ? nullptr : fields_[*it].get();
}

WindowModel::Field* WindowModel::checkedField(const QString& name, Prop p, QString& what) const
{
    Field* f = find(name);
    if (!f) {
        what = QStringLiteral("unknown field %1").arg(name);
        return nullptr;
    }
    if (!kindHas(f->s.kind, p)) {
        what = QStringLiteral("%1 (%2) has no %3").arg(name, QString::fromUtf8(kindName(f->s.kind)),
                                                         QString::fromUtf8(propName(p)));
        return nullptr;
    }
    return f;
}

bool WindowModel::declare(const FieldDecl& decl)
{
    QStringList issues;
    bool added = false;
    {
        std::lock_guard<std::mutex> lk(m_);
        FieldState s = decl.s;
        if (s.name.isEmpty()) {
            issues << QStringLiteral("field without a name");
        } else if (index_.contains(s.name)) {
            issues << QStringLiteral("field %1 declared twice").arg(s.name);
        } else {
            if (!s.group.isEmpty() && s.kind != Kind::Radio) {
                issues << QStringLiteral("%1 is not a radio button but has group %2").arg(s.name, s.group);
                s.group.clear();
            }
            if ((s.isNumber() || s.ranged || s.maxChars > 0) && !kindHas(s.kind, Prop::Range)) {
                issues << QStringLiteral("%1 (%2) cannot be a number").arg(s.name, QString::fromUtf8(kindName(s.kind)));
                s.decimals = -1;
                s.ranged = false;
                s.maxChars = 0;
            }
            if (s.ranged && !(s.minimum <= s.maximum)) {
                issues << QStringLiteral("%1: minimum above maximum").arg(s.name);
                s.ranged = false;
            }
            if (s.isNumber() && !(s.scale > 0)) {
                issues << QStringLiteral("%1: scale must be above 0").arg(s.name);
                s.scale = 1;
            }
            if (!decl.colourSet)
                s.colour = editLike(s.kind) && !s.readOnly ? Colour::Window : Colour::ButtonFace;
            if (hasItemsIndex(s.kind) && (s.itemIndex < -1 || s.itemIndex >= s.items.size())) {
                issues << QStringLiteral("%1: item index %2 outside its items").arg(s.name).arg(s.itemIndex);
                s.itemIndex = -1;
            }
            if (s.kind == Kind::Combo && s.itemIndex >= 0)
                s.text = s.items[s.itemIndex];
            if (!s.group.isEmpty() && s.checked) {
                for (size_t peer : groups_.value(s.group)) {
                    if (fields_[peer]->s.checked) {
                        issues << QStringLiteral("%1 and %2 both checked in group %3")
                                      .arg(fields_[peer]->s.name, s.name, s.group);
                        s.checked = false;
                    }
                }
            }
            auto f = std::make_unique<Field>();
            f->s = std::move(s);
            const size_t i = fields_.size();
            index_.insert(f->s.name, i);
            if (!f->s.group.isEmpty())
                groups_[f->s.group].push_back(i);
            fields_.push_back(std::move(f));
            added = true;
        }
    }
    for (const QString& issue : issues)
        misused(issue);
    return added;
}

void WindowModel::declare(const std::vector<FieldDecl>& decls)
{
    for (const FieldDecl& d : decls)
        declare(d);
}

bool WindowModel::has(const QString& name) const
{
    std::lock_guard<std::mutex> lk(m_);
    return find(name) != nullptr;
}

QStringList WindowModel::names() const
{
    std::lock_guard<std::mutex> lk(m_);
    QStringList out;
    out.reserve(static_cast<qsizetype>(fields_.size()));
    for (const auto& f : fields_)
        out << f->s.name;
    return out;
}

FieldState WindowModel::state(const QString& name) const
{
    {
        std::lock_guard<std::mutex> lk(m_);
        if (Field* f = find(name))
            return f->s;
    }
    misused(QStringLiteral("unknown field %1").arg(name));
    return {};
}

template <class T>
T WindowModel::get(const QString& name, Prop p, T FieldState::*member, T fallback) const
{
    QString what;
    {
        std::lock_guard<std::mutex> lk(m_);
        if (Field* f = checkedField(name, p, what))
            return f->s.*member;
    }
    misused(what);
    return fallback;
}

void WindowModel::noteChange(Pending& pending, Field& f, PropSet props, Origin origin)
{
    for (PropSet b = 1; b != 0 && b <= props; b <<= 1) {
        if (props & b)
            pending.notes.push_back({f.s.name, static_cast<Prop>(b)});
    }
    const PropSet content = props & kContentProps;
    if (content && f.rules && !f.rules->empty() && f.suspendedFor(std::this_thread::get_id()) == 0)
        pending.calls.push_back({f.rules, Change{f.s.name, content, origin}});
}

template <class Mutate>
bool WindowModel::apply(const QString& name, Prop p, Origin origin, Mutate&& mutate)
{
    // A change that can run rules is a cascade of its own, or a step of the caller's.
    std::optional<ChangeCascade> cascade;
    if ((bit(p) & (kContentProps | bit(Prop::Items))) != 0)
        cascade.emplace(*this);
    Pending pending;
    QString what;
    {
        std::lock_guard<std::mutex> lk(m_);
        Field* f = checkedField(name, p, what);
        if (f) {
            const PropSet props = mutate(*f, pending);
            if (props)
                noteChange(pending, *f, props, origin);
            pending.listeners = listeners_;
        }
    }
    if (!what.isEmpty()) {
        misused(what);
        return false;
    }
    const bool changed = !pending.notes.empty();
    if (changed)
        deliver(pending);
    return changed;
}

void WindowModel::deliver(Pending& pending)
{
    for (const auto& note : pending.notes) {
        for (const auto& [id, listener] : *pending.listeners)
            listener(note.field, note.prop);
        Q_EMIT fieldChanged(note.field, note.prop);
    }
    if (pending.calls.empty())
        return;
    DepthGuard depth;
    if (ruleDepth > kMaxRuleDepth) {
        misused(QStringLiteral("change rules nested deeper than %1 at %2")
                    .arg(kMaxRuleDepth)
                    .arg(pending.calls.front().change.field));
        return;
    }
    for (const auto& call : pending.calls) {
        for (const ChangeRule& rule : *call.rules)
            rule(call.change);
    }
}

QString WindowModel::text(const QString& name) const
{
    return get(name, Prop::Text, &FieldState::text, QString());
}

bool WindowModel::setText(const QString& name, const QString& text, Origin origin)
{
    return apply(name, Prop::Text, origin, [&](Field& f, Pending&) -> PropSet {
        if (f.s.text == text)
            return 0;
        f.s.text = QString(text);
        PropSet props = bit(Prop::Text);
        if (f.s.kind == Kind::Combo) {
            // A combo's selection follows its text, as typing an item's text selects it.
            const int i = static_cast<int>(f.s.items.indexOf(text));
            if (i != f.s.itemIndex) {
                f.s.itemIndex = i;
                props |= bit(Prop::ItemIndex);
            }
        }
        return props;
    });
}

double WindowModel::value(const QString& name) const
{
    return get(name, Prop::Value, &FieldState::value, 0.0);
}

bool WindowModel::setValue(const QString& name, double v, Origin origin)
{
    return apply(name, Prop::Value, origin, [&](Field& f, Pending&) -> PropSet {
        if (f.s.value == v || (std::isnan(f.s.value) && std::isnan(v)))
            return 0;
        f.s.value = v;
        return bit(Prop::Value);
    });
}

bool WindowModel::checked(const QString& name) const
{
    return get(name, Prop::Checked, &FieldState::checked, false);
}

bool WindowModel::setChecked(const QString& name, bool on, Origin origin)
{
    return apply(name, Prop::Checked, origin, [&](Field& f, Pending& pending) -> PropSet {
        if (f.s.checked == on)
            return 0;
        f.s.checked = on;
        if (on && !f.s.group.isEmpty()) {
            // The peers change in the same locked step, so nobody ever sees two checked.
            for (size_t peer : groups_.value(f.s.group)) {
                Field& other = *fields_[peer];
                if (&other != &f && other.s.checked) {
                    other.s.checked = false;
                    noteChange(pending, other, bit(Prop::Checked), origin);
                }
            }
        }
        return bit(Prop::Checked);
    });
}

int WindowModel::itemIndex(const QString& name) const
{
    return get(name, Prop::ItemIndex, &FieldState::itemIndex, -1);
}

bool WindowModel::setItemIndex(const QString& name, int index, Origin origin)
{
    return apply(name, Prop::ItemIndex, origin, [&](Field& f, Pending&) -> PropSet {
        int i = index;
        if (i < -1 || (hasItemsIndex(f.s.kind) && i >= f.s.items.size()))
            i = -1;
        if (f.s.itemIndex == i)
            return 0;
        f.s.itemIndex = i;
        PropSet props = bit(Prop::ItemIndex);
        if (f.s.kind == Kind::Combo) {
            const QString t = i >= 0 ? f.s.items[i] : QString();
            if (t != f.s.text) {
                f.s.text = QString(t);
                props |= bit(Prop::Text);
            }
        }
        return props;
    });
}

QStringList WindowModel::items(const QString& name) const
{
    return get(name, Prop::Items, &FieldState::items, QStringList());
}

bool WindowModel::setItems(const QString& name, const QStringList& list)
{
    return apply(name, Prop::Items, Origin::Program, [&](Field& f, Pending&) -> PropSet {
        if (f.s.items == list)
            return 0;
        f.s.items = QStringList(list);
        PropSet props = bit(Prop::Items);
        if (hasItemsIndex(f.s.kind) && f.s.itemIndex >= f.s.items.size()) {
            f.s.itemIndex = -1;
            props |= bit(Prop::ItemIndex);
        }
        if (f.s.kind == Kind::Combo && f.s.itemIndex >= 0 && f.s.text != f.s.items[f.s.itemIndex]) {
            f.s.text = QString(f.s.items[f.s.itemIndex]);
            props |= bit(Prop::Text);
        }
        return props;
    });
}

namespace {
template <class T>
auto plainSetter(T FieldState::*member, Prop p, const T& v)
{
    return [member, p, &v](auto& f, auto&) -> PropSet {
        if (f.s.*member == v)
            return 0;
        f.s.*member = T(v);
        return bit(p);
    };
}
} // namespace

QString WindowModel::caption(const QString& name) const
{
    return get(name, Prop::Caption, &FieldState::caption, QString());
}

bool WindowModel::setCaption(const QString& name, const QString& c)
{
    return apply(name, Prop::Caption, Origin::Program, plainSetter(&FieldState::caption, Prop::Caption, c));
}

bool WindowModel::enabled(const QString& name) const
{
    return get(name, Prop::Enabled, &FieldState::enabled, false);
}

bool WindowModel::setEnabled(const QString& name, bool on)
{
    return apply(name, Prop::Enabled, Origin::Program, plainSetter(&FieldState::enabled, Prop::Enabled, on));
}

bool WindowModel::visible(const QString& name) const
{
    return get(name, Prop::Visible, &FieldState::visible, false);
}

bool WindowModel::setVisible(const QString& name, bool on)
{
    return apply(name, Prop::Visible, Origin::Program, plainSetter(&FieldState::visible, Prop::Visible, on));
}

bool WindowModel::readOnly(const QString& name) const
{
    return get(name, Prop::ReadOnly, &FieldState::readOnly, true);
}

bool WindowModel::setReadOnly(const QString& name, bool on)
{
    return apply(name, Prop::ReadOnly, Origin::Program, plainSetter(&FieldState::readOnly, Prop::ReadOnly, on));
}

Colour WindowModel::colour(const QString& name) const
{
    return get(name, Prop::Colour, &FieldState::colour, Colour::ButtonFace);
}

bool WindowModel::setColour(const QString& name, Colour c)
{
    return apply(name, Prop::Colour, Origin::Program, plainSetter(&FieldState::colour, Prop::Colour, c));
}

Colour WindowModel::textColour(const QString& name) const
{
    return get(name, Prop::TextColour, &FieldState::textColour, Colour::WindowText);
}

bool WindowModel::setTextColour(const QString& name, Colour c)
{
    return apply(name, Prop::TextColour, Origin::Program,
                 plainSetter(&FieldState::textColour, Prop::TextColour, c));
}

QString WindowModel::hint(const QString& name) const
{
    return get(name, Prop::Hint, &FieldState::hint, QString());
}

bool WindowModel::setHint(const QString& name, const QString& h)
{
    return apply(name, Prop::Hint, Origin::Program, plainSetter(&FieldState::hint, Prop::Hint, h));
}

QStringList WindowModel::groupMembers(const QString& group) const
{
    {
        std::lock_guard<std::mutex> lk(m_);
        const auto it = groups_.constFind(group);
        if (it != groups_.cend()) {
            QStringList out;
            for (size_t i : *it)
                out << fields_[i]->s.name;
            return out;
        }
    }
    misused(QStringLiteral("unknown radio group %1").arg(group));
    return {};
}

QString WindowModel::checkedInGroup(const QString& group) const
{
    {
        std::lock_guard<std::mutex> lk(m_);
        const auto it = groups_.constFind(group);
        if (it != groups_.cend()) {
            for (size_t i : *it) {
                if (fields_[i]->s.checked)
                    return fields_[i]->s.name;
            }
            return {};
        }
    }
    misused(QStringLiteral("unknown radio group %1").arg(group));
    return {};
}

void WindowModel::onChange(const QString& name, ChangeRule rule)
{
    {
        std::lock_guard<std::mutex> lk(m_);
        if (Field* f = find(name)) {
            // Copy on write: a change in flight keeps running the list it took.
            auto list = f->rules ? std::make_shared<RuleList>(*f->rules) : std::make_shared<RuleList>();
            list->push_back(std::move(rule));
            f->rules = std::move(list);
            return;
        }
    }
    misused(QStringLiteral("unknown field %1").arg(name));
}

void WindowModel::onChange(const QStringList& names, const ChangeRule& rule)
{
    for (const QString& n : names)
        onChange(n, rule);
}

bool WindowModel::click(const QString& name)
{
    std::shared_ptr<const RuleList> rules;
    QString what;
    {
        std::lock_guard<std::mutex> lk(m_);
        Field* f = find(name);
        if (!f)
            what = QStringLiteral("unknown field %1").arg(name);
        else if (f->s.kind != Kind::Button && f->s.kind != Kind::Action)
            what = QStringLiteral("%1 is no button or command").arg(name);
        else if (!f->s.enabled)
            return false;
        else
            rules = f->rules;
    }
    if (!what.isEmpty()) {
        misused(what);
        return false;
    }
    if (rules) {
        Change c{name, 0, Origin::User};
        c.clicked = true;
        for (const ChangeRule& rule : *rules)
            rule(c);
    }
    return true;
}

void WindowModel::onLeave(const QString& name, LeaveRule rule)
{
    {
        std::lock_guard<std::mutex> lk(m_);
        if (Field* f = find(name)) {
            auto list = f->leaveRules ? std::make_shared<LeaveList>(*f->leaveRules) : std::make_shared<LeaveList>();
            list->push_back(std::move(rule));
            f->leaveRules = std::move(list);
            return;
        }
    }
    misused(QStringLiteral("unknown field %1").arg(name));
}

void WindowModel::leave(const QString& name)
{
    ChangeCascade cascade(*this);
    std::shared_ptr<const LeaveList> rules;
    bool known = false;
    {
        std::lock_guard<std::mutex> lk(m_);
        if (Field* f = find(name)) {
            known = true;
            rules = f->leaveRules;
        }
    }
    if (!known) {
        misused(QStringLiteral("unknown field %1").arg(name));
        return;
    }
    if (rules) {
        for (const LeaveRule& rule : *rules)
            rule(name);
    }
}

bool WindowModel::changesSuspended(const QString& name) const
{
    {
        std::lock_guard<std::mutex> lk(m_);
        if (Field* f = find(name))
            return f->suspendedFor(std::this_thread::get_id()) > 0;
    }
    misused(QStringLiteral("unknown field %1").arg(name));
    return false;
}

bool WindowModel::inCascade() const
{
    std::lock_guard<std::mutex> lk(cascadeM_);
    return cascadeDepth_ > 0 && cascadeOwner_ == std::this_thread::get_id();
}

void WindowModel::enterCascade()
{
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lk(cascadeM_);
    if (cascadeDepth_ > 0 && cascadeOwner_ == me) {
        ++cascadeDepth_;
        return;
    }
    // First come, first served: a waiting thread waits for at most the cascades that queued
    // before it, one per other thread.
    const uint64_t ticket = cascadeNextTicket_++;
    auto myTurn = [&] { return cascadeServing_ == ticket; };
    if (!cascadeFree_.wait_for(lk, kLongCascadeWait, myTurn)) {
        if (!longWaitReported_.exchange(true))
            qWarning().noquote() << "window model: a change waited over" << kLongCascadeWait.count()
                                 << "s for another thread's change rules";
        cascadeFree_.wait(lk, myTurn);
    }
    cascadeOwner_ = me;
    cascadeDepth_ = 1;
}

void WindowModel::leaveCascade()
{
    std::vector<std::function<void()>> after;
    {
        std::lock_guard<std::mutex> lk(cascadeM_);
        if (--cascadeDepth_ > 0)
            return;
        cascadeOwner_ = std::thread::id();
        ++cascadeServing_;
        after.swap(afterCascade_);
    }
    cascadeFree_.notify_all();
    for (const auto& fn : after)
        fn();
}

void WindowModel::afterCascade(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lk(cascadeM_);
        if (cascadeDepth_ > 0 && cascadeOwner_ == std::this_thread::get_id()) {
            afterCascade_.push_back(std::move(fn));
            return;
        }
    }
    fn();
}

QStringList WindowModel::suspend(const QStringList& names)
{
    QStringList known, unknown;
    {
        std::lock_guard<std::mutex> lk(m_);
        for (const QString& n : names)
            (find(n) ? known : unknown) << n;
        // In strict mode nothing is counted, so the throw leaves no field switched off.
        if (unknown.isEmpty() || misuse_.load() == Misuse::Warn) {
            const std::thread::id me = std::this_thread::get_id();
            for (const QString& n : known) {
                auto& by = find(n)->suspendedBy;
                auto it = std::find_if(by.begin(), by.end(), [&](const auto& e) { return e.first == me; });
                if (it == by.end())
                    by.emplace_back(me, 1);
                else
                    ++it->second;
            }
        }
    }
    for (const QString& n : unknown)
        misused(QStringLiteral("unknown field %1").arg(n));
    return known;
}

void WindowModel::resume(const QStringList& names, std::thread::id owner)
{
    std::lock_guard<std::mutex> lk(m_);
    for (const QString& n : names) {
        Field* f = find(n);
        if (!f)
            continue;
        auto& by = f->suspendedBy;
        auto it = std::find_if(by.begin(), by.end(), [&](const auto& e) { return e.first == owner; });
        if (it != by.end() && --it->second == 0)
            by.erase(it);
    }
}

int WindowModel::addListener(Listener listener)
{
    std::lock_guard<std::mutex> lk(m_);
    auto list = std::make_shared<ListenerList>(*listeners_);
    const int id = nextListenerId_++;
    list->emplace_back(id, std::move(listener));
    listeners_ = std::move(list);
    return id;
}

void WindowModel::removeListener(int id)
{
    std::lock_guard<std::mutex> lk(m_);
    auto list = std::make_shared<ListenerList>();
    for (const auto& entry : *listeners_) {
        if (entry.first != id)
            list->push_back(entry);
    }
    listeners_ = std::move(list);
}

void WindowModel::onChange(std::initializer_list<FieldId> fields, const ChangeRule& rule)
{
    for (FieldId f : fields)
        onChange(f.name(), rule);
}

// ------------------------------------------------------------------------ numbers

namespace {

QString fixedText(double shown, int decimals)
{
    return Fixed(shown, decimals);
}

} // namespace

namespace {

double toShown(const FieldState& s, double device) { return s.perDevice != 0 ? device * s.perDevice : device / s.scale; }
// A figure with the given decimals: the unit-set fields and spin boxes round a half to even,
// as their conversions always did; the rest as Fixed writes it.
double roundedFigure(const FieldState& s, double shown, int decimals)
{
    return decimals == 0 && (s.perDevice != 0 || s.kind == Kind::Spin) ? RoundHalfEven(shown) : shown;
}
double toDevice(const FieldState& s, double shown) { return s.perDevice != 0 ? shown / s.perDevice : shown * s.scale; }

} // namespace

bool WindowModel::numberOf(FieldId f, FieldState& out, std::optional<double>* held) const
{
    QString what;
    {
        std::lock_guard<std::mutex> lk(m_);
        const Prop p = f.kind == Kind::Spin ? Prop::Value : Prop::Text;
        if (Field* field = checkedField(f.name(), p, what)) {
            if (field->s.isNumber()) {
                out = field->s;
                // The held value applies while the figure is the one it was shown as.
                if (held && field->holds())
                    *held = field->heldDevice;
                return true;
            }
            what = QStringLiteral("%1 is no number").arg(f.name());
        }
    }
    misused(what);
    return false;
}

bool WindowModel::setShown(FieldId f, std::optional<double> device, double shown, int decimals)
{
    const Prop p = f.kind == Kind::Spin ? Prop::Value : Prop::Text;
    return apply(f.name(), p, Origin::Program, [&](Field& field, Pending&) -> PropSet {
        if (!field.s.isNumber())
            return 0;
        const int d = decimals >= 0 ? decimals : field.s.decimals;
        PropSet props = 0;
        double figure = shown;
        if (p == Prop::Value) {
            figure = roundedFigure(field.s, shown, d);
            if (field.s.value != figure) {
                field.s.value = figure;
                props = bit(Prop::Value);
            }
        } else {
            const QString t = Fixed(roundedFigure(field.s, shown, d), d);
            figure = GetFloatWert(t);
            if (field.s.text != t) {
                field.s.text = t;
                props = bit(Prop::Text);
            }
        }
        field.held = device.has_value();
        field.heldDevice = device.value_or(0);
        field.heldPer = field.s.perDevice;
        field.heldShown = field.s.cutShown ? std::trunc(figure) : figure;
        return props;
    });
}

bool WindowModel::setDeviceValue(FieldId f, double device, int decimals)
{
    FieldState n;
    if (!numberOf(f, n))
        return false;
    return setShown(f, device, toShown(n, device), decimals);
}

bool WindowModel::showDeviceValue(FieldId f, double device, double shown)
{
    FieldState n;
    if (!numberOf(f, n))
        return false;
    if (n.ranged)
        shown = std::min(shown, n.maximum);
    return setShown(f, device, shown, -1);
}

bool WindowModel::setFigure(FieldId f, double shown)
{
    FieldState n;
    if (!numberOf(f, n))
        return false;
    return setShown(f, std::nullopt, shown, -1);
}

QString WindowModel::deviceText(FieldId f, double device) const
{
    FieldState n;
    if (!numberOf(f, n))
        return QString();
    const double shown = toShown(n, device);
    return fixedText(roundedFigure(n, shown, n.decimals), n.decimals);
}

bool WindowModel::showDeviceValue(FieldId f, double device)
{
    FieldState n;
    if (!numberOf(f, n))
        return false;
    const double shown = toShown(n, device);
    return showDeviceValue(f, device, roundedFigure(n, shown, n.decimals));
}

double WindowModel::exactDeviceValue(FieldId f) const
{
    FieldState n;
    std::optional<double> held;
    if (!numberOf(f, n, &held))
        return 0;
    if (held)
        return *held;
    return toDevice(n, shownFigure(n));
}

bool WindowModel::setDisplayFactor(FieldId f, double perDevice)
{
    FieldState n;
    if (!numberOf(f, n))
        return false;
    return apply(f.name(), Prop::Range, Origin::Program, [&](Field& field, Pending&) -> PropSet {
        if (field.s.perDevice == perDevice)
            return 0;
        field.s.perDevice = perDevice;
        return bit(Prop::Range);
    });
}

int32_t WindowModel::deviceValue(FieldId f, Rounding rounding) const
{
    FieldState n;
    std::optional<double> held;
    if (!numberOf(f, n, &held))
        return 0;
    if (held)
        return RoundHalfEven(*held);
    if (n.perDevice != 0 || n.kind == Kind::Spin || n.cutShown)
        return RoundHalfEven(toDevice(n, shownFigure(n)));
    if (rounding == Rounding::HalfEven)
        return GetIntFromString(n.text, n.scale);
    // Snapped to the nearest integer first when within rounding noise of it, so that "2.3" V
    // gives 2300 mV and not 2299.
    const double p = GetFloatWert(n.text) * n.scale;
    const double r = std::nearbyint(p);
    return Trunc(std::fabs(p - r) < 1e-6 ? r : p);
}

bool WindowModel::setDisplayValue(FieldId f, double shown, int decimals)
{
    FieldState n;
    if (!numberOf(f, n))
        return false;
    return setText(f, fixedText(shown, decimals >= 0 ? decimals : n.decimals));
}

double WindowModel::displayValue(FieldId f) const
{
    FieldState n;
    return numberOf(f, n) ? GetFloatWert(n.text) : 0.0;
}

QString WindowModel::formatted(FieldId f, double shown) const
{
    FieldState n;
    return numberOf(f, n) ? fixedText(shown, n.decimals) : QString();
}

bool WindowModel::setRange(FieldId f, double minimum, double maximum)
{
    if (!(minimum <= maximum)) {
        misused(QStringLiteral("%1: minimum above maximum").arg(f.name()));
        return false;
    }
    return apply(f.name(), Prop::Range, Origin::Program, [&](Field& field, Pending&) -> PropSet {
        if (field.s.ranged && field.s.minimum == minimum && field.s.maximum == maximum)
            return 0;
        field.s.ranged = true;
        field.s.minimum = minimum;
        field.s.maximum = maximum;
        return bit(Prop::Range);
    });
}

bool WindowModel::setUnit(FieldId f, const QString& u)
{
    return apply(f.name(), Prop::Unit, Origin::Program, plainSetter(&FieldState::unit, Prop::Unit, u));
}

bool WindowModel::clampToRange(FieldId f)
{
    ChangeCascade cascade(*this); // the check and the rewrite as one step
    FieldState n;
    if (!numberOf(f, n) || !n.ranged)
        return false;
    const double v = GetFloatWert(n.text);
    double bound = v;
    if (v < n.minimum)
        bound = n.minimum;
    else if (v > n.maximum)
        bound = n.maximum;
    else
        return false;
    ChangesSuspended quiet(*this, {f});
    return setText(f, fixedText(bound, n.decimals));
}

bool WindowModel::formatValue(FieldId f)
{
    ChangeCascade cascade(*this);
    FieldState n;
    if (!numberOf(f, n))
        return false;
    ChangesSuspended quiet(*this, {f});
    return setText(f, fixedText(GetFloatWert(n.text), n.decimals));
}

void WindowModel::usePlainEntry(FieldId f)
{
    onChange(f, [this, f](const Change&) { clampToRange(f); });
    onLeave(f, [this, f](const QString&) { formatValue(f); });
}

ChangesSuspended::ChangesSuspended(WindowModel& model, QStringList names)
    : model_(model)
    , names_(model.suspend(names))
    , owner_(std::this_thread::get_id())
{
}

ChangesSuspended::ChangesSuspended(WindowModel& model, std::initializer_list<FieldId> fields)
    : model_(model)
    , owner_(std::this_thread::get_id())
{
    QStringList names;
    for (FieldId f : fields)
        names << f.name();
    names_ = model.suspend(names);
}

ChangesSuspended::~ChangesSuspended()
{
    model_.resume(names_, owner_);
}

ChangeCascade::ChangeCascade(WindowModel& model)
    : model_(model)
{
    model_.enterCascade();
}

ChangeCascade::~ChangeCascade()
{
    model_.leaveCascade();
}

} // namespace kadex
