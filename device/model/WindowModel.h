#pragma once
// The window-value model: every named control of the windows as a plain field, so that the
// device records, the polling steps and the entry rules read and write fld::EditVmaxPrz or
// fld::RadioBetrAuto without a widget in sight, from any thread.
//
// Product code names fields by handle (Fields.h); the by-name calls are for names that come
// from outside (the widget layer binding by object name) and for models of their own in tests.
//
// - A field holds what the behaviour uses of its control (text, value, checked, item index,
//   items, caption, enabled, visible, read-only, colours, hint); which of these a control has
//   depends on its kind (an edit has a text, a label a caption).
// - Change rules run after every change of a field's content (text, value, checked, item
//   index), whether the user or the program made it, on the thread that made it, with the
//   model unlocked, so a rule may read and change other fields. A ChangesSuspended scope
//   switches a field's rules off for its lifetime, for the changes its own thread makes.
// - Leave rules run only when the widget layer reports that the user left the field.
// - Cascades run one at a time. A cascade is a content change (or a leave event) with the
//   rules it triggers, recursively; it holds the model's cascade lock from the change until its
//   last rule returned. A content change on another thread meanwhile waits for that; the same
//   thread nests freely. A ChangeCascade scope makes a read-modify-write of several fields one
//   cascade. Appearance changes (caption, enabled, colours, range, ...) run no rules and take
//   no cascade lock.
// - Lock order: bus lock, then cascade lock, then the data lock. The data lock is never held
//   while anything outside the model runs. Whatever runs inside a cascade (rules, plain
//   listeners, direct connections to fieldChanged) must not wait for another thread: no bus
//   lock, no BlockingQueuedConnection, no pausing or joining a worker, no waiting for a flow;
//   post such work to the flow runner instead. Then a waiting change waits at most for one
//   cascade of model work (microseconds), which bounds how long the GUI thread can block on a
//   worker's write; a worker must never hold a ChangeCascade across bus I/O.
// - Every property change is announced twice: to plain listeners, called at once on the
//   changing thread (tests, benchmarks), and through the fieldChanged signal, which the widget
//   layer connects with Qt::QueuedConnection so that widgets are updated on the GUI thread.
//   Notifications carry no value: the receiver reads the current state, so out-of-order
//   delivery from competing threads still ends in the right picture.
// - Setting a property to the value it has changes nothing and announces nothing.
//
// Binding a widget: connect to fieldChanged first, then read state(name) and show it; a change
// that slips in between arrives as a notification afterwards.
#include "device/model/Fields.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kadex {

// One property of a field. Values are bits so that a change can name several at once.
enum class Prop : uint32_t {
    Text = 1u << 0,
    Value = 1u << 1,
    Checked = 1u << 2,
    ItemIndex = 1u << 3,
    Items = 1u << 4,
    Caption = 1u << 5,
    Enabled = 1u << 6,
    Visible = 1u << 7,
    ReadOnly = 1u << 8,
    Colour = 1u << 9,      // background
    TextColour = 1u << 10, // font colour
    Hint = 1u << 11,
    Range = 1u << 12, // limits of a number: minimum, maximum, maximum characters
    Unit = 1u << 13,  // unit text of a number
};
using PropSet = uint32_t;
constexpr PropSet bit(Prop p) { return static_cast<PropSet>(p); }
// The content properties: their changes run the change rules.
constexpr PropSet kContentProps = bit(Prop::Text) | bit(Prop::Value) | bit(Prop::Checked) | bit(Prop::ItemIndex);
const char* propName(Prop p);

// Colours the behaviour names. Window and ButtonFace are the system's entry and face colours
// (an editable field has the window colour, a read-only one the face colour); WindowText is
// the normal font colour; the rest are plain colours for warnings and status fields. Differs
// is the light tint of a field whose value differs from the device copy.
enum class Colour { Window, ButtonFace, WindowText, Black, Red, Green, Yellow, Grey, Differs };

// Who made a change. The widget layer passes User for edits made in a widget.
enum class Origin { Program, User };

// The state of one field, as a widget needs it when it binds.
struct FieldState {
    QString name;
    Kind kind = Kind::Edit;
    QString text;
    double value = 0;
    bool checked = false;
    int itemIndex = -1;
    QStringList items;
    QString caption;
    bool enabled = true;
    bool visible = true;
    bool readOnly = false;
    Colour colour = Colour::Window;
    Colour textColour = Colour::WindowText;
    QString hint;
    QString group; // radio group, empty for none
    QString window; // the dialog that shows the field; empty for the main window
    // Numbers (decimals >= 0): the text (a spin box: the value) shows device value / scale
    // with these decimals. A field whose factor follows the unit set holds perDevice instead
    // (shown = device x perDevice, set at run time); cutShown: a typed figure counts as its
    // whole part (V'nom).
    double scale = 1;
    int decimals = -1;
    double perDevice = 0;
    bool cutShown = false;
    bool ranged = false; // minimum and maximum hold
    double minimum = 0;
    double maximum = 0;
    QString unit;
    int maxChars = 0; // 0: no limit
    bool isNumber() const { return decimals >= 0; }
};

// Declaration of one field; Fields.def makes one from each of its lines:
//   F("EditSerNr", Kind::Edit).readOnly()
//   F("RadioBetrAuto", Kind::Radio, "Auto").inGroup("Betrieb").checked()
//   F("EditVmaxPrz", Kind::Edit, "100.00").number(100, 2).range(0, 100).maxChars(6)
// The third argument is the initial text for kinds with a text, else the initial caption.
struct FieldDecl {
    FieldState s;
    bool colourSet = false;

    FieldDecl& readOnly(bool on = true) { s.readOnly = on; return *this; }
    FieldDecl& disabled() { s.enabled = false; return *this; }
    FieldDecl& hidden() { s.visible = false; return *this; }
    FieldDecl& checked(bool on = true) { s.checked = on; return *this; }
    FieldDecl& inGroup(const char* group) { s.group = QString::fromUtf8(group); return *this; }
    // A dialog's field, held here so that the records can use it while the dialog is closed.
    FieldDecl& window(const char* form) { s.window = QString::fromUtf8(form); return *this; }
    FieldDecl& items(const QStringList& items, int index = -1);
    FieldDecl& index(int i) { s.itemIndex = i; return *this; }
    FieldDecl& value(double v) { s.value = v; return *this; }
    FieldDecl& colour(Colour c) { s.colour = c; colourSet = true; return *this; }
    FieldDecl& hint(const char* h) { s.hint = QString::fromUtf8(h); return *this; }
    // A number: the device value is the shown value times scale (100: device hundredths of a
    // percent shown as percent), shown with these decimals.
    FieldDecl& number(double scale, int decimals) { s.scale = scale; s.decimals = decimals; return *this; }
    FieldDecl& cutToWhole() { s.cutShown = true; return *this; }
    FieldDecl& range(double lo, double hi) { s.ranged = true; s.minimum = lo; s.maximum = hi; return *this; }
    FieldDecl& maxChars(int n) { s.maxChars = n; return *this; }
    FieldDecl& unit(const char* u) { s.unit = QString::fromUtf8(u); return *this; }
};
FieldDecl F(const char* name, Kind kind, const char* initial = "");

// True when a field of this kind has the property.
bool kindHas(Kind kind, Prop p);

// Thrown in strict mode for a name that is not declared or a property the field's kind lacks.
class WindowFieldError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// How a text becomes a device value: rounded half to even, or cut towards zero.
enum class Rounding { HalfEven, Trunc };

// What a change rule learns: which field, which content properties changed, and who did it.
struct Change {
    QString field;
    PropSet props = 0;
    Origin origin = Origin::Program;
    // A press of a button or command (click()): no property changed.
    bool clicked = false;
    bool has(Prop p) const { return (props & bit(p)) != 0; }
    bool is(FieldId f) const { return field == f.name(); }
};

class WindowModel : public QObject {
    Q_OBJECT
public:
    using ChangeRule = std::function<void(const Change&)>;
    using LeaveRule = std::function<void(const QString& field)>;
    using Listener = std::function<void(const QString& field, Prop prop)>;

    // Strict: misuse (unknown name, property the kind lacks, duplicate declaration, runaway
    // rules) throws WindowFieldError. Lenient: it is logged once and recorded in problems(),
    // reads give neutral defaults and writes are ignored. A model starts with the process-wide
    // default: strict in debug builds; a test program makes it strict with setDefaultMisuse.
    enum class Misuse { Throw, Warn };
    static void setDefaultMisuse(Misuse m);
    static Misuse defaultMisuse();

    // An empty model; declare fields with declare().
    explicit WindowModel(QObject* parent = nullptr);
    // A model with the given fields.
    explicit WindowModel(const std::vector<FieldDecl>& fields, QObject* parent = nullptr);
    ~WindowModel() override;

    void setMisuse(Misuse m) { misuse_.store(m); }
    Misuse misuse() const { return misuse_.load(); }
    // Every misuse seen so far, one line each ("unknown field EditFoo"); a registry check.
    QStringList problems() const;
    void clearProblems();

    // Adds a field; a name that exists is a misuse and keeps the first declaration.
    bool declare(const FieldDecl& decl);
    void declare(const std::vector<FieldDecl>& decls);
    bool has(const QString& name) const;
    QStringList names() const;
    // A copy of everything the field holds (default state for an unknown name).
    FieldState state(const QString& name) const;

    // Content; every setter returns true when it changed something.
    QString text(const QString& name) const;
    bool setText(const QString& name, const QString& text, Origin origin = Origin::Program);
    double value(const QString& name) const;
    bool setValue(const QString& name, double value, Origin origin = Origin::Program);
    bool checked(const QString& name) const;
    // Checking a radio unchecks the other members of its group in the same step; the member
    // that lets go is announced (and its rules run) before the newly checked one.
    bool setChecked(const QString& name, bool on, Origin origin = Origin::Program);
    int itemIndex(const QString& name) const;
    // For combos and lists an index outside the items selects nothing (-1).
    bool setItemIndex(const QString& name, int index, Origin origin = Origin::Program);

    // Appearance and the rest.
    QStringList items(const QString& name) const;
    bool setItems(const QString& name, const QStringList& items);
    QString caption(const QString& name) const;
    bool setCaption(const QString& name, const QString& caption);
    bool enabled(const QString& name) const;
    bool setEnabled(const QString& name, bool on);
    bool visible(const QString& name) const;
    bool setVisible(const QString& name, bool on);
    bool readOnly(const QString& name) const;
    bool setReadOnly(const QString& name, bool on);
    Colour colour(const QString& name) const;
    bool setColour(const QString& name, Colour c);
    Colour textColour(const QString& name) const;
    bool setTextColour(const QString& name, Colour c);
    QString hint(const QString& name) const;
    bool setHint(const QString& name, const QString& hint);

    // A quoted name is a typo waiting to happen: code names a field by its handle, and only a
    // name that comes from outside (a widget's object name) goes through the by-name calls.
#define KADEX_NO_QUOTED_NAME(fn) \
    template <class... Args> void fn(const char*, Args&&...) const = delete;
    KADEX_NO_QUOTED_NAME(has) KADEX_NO_QUOTED_NAME(state) KADEX_NO_QUOTED_NAME(text)
    KADEX_NO_QUOTED_NAME(setText) KADEX_NO_QUOTED_NAME(value) KADEX_NO_QUOTED_NAME(setValue)
    KADEX_NO_QUOTED_NAME(checked) KADEX_NO_QUOTED_NAME(setChecked) KADEX_NO_QUOTED_NAME(itemIndex)
    KADEX_NO_QUOTED_NAME(setItemIndex) KADEX_NO_QUOTED_NAME(items) KADEX_NO_QUOTED_NAME(setItems)
    KADEX_NO_QUOTED_NAME(caption) KADEX_NO_QUOTED_NAME(setCaption) KADEX_NO_QUOTED_NAME(enabled)
    KADEX_NO_QUOTED_NAME(setEnabled) KADEX_NO_QUOTED_NAME(visible) KADEX_NO_QUOTED_NAME(setVisible)
    KADEX_NO_QUOTED_NAME(readOnly) KADEX_NO_QUOTED_NAME(setReadOnly) KADEX_NO_QUOTED_NAME(colour)
    KADEX_NO_QUOTED_NAME(setColour) KADEX_NO_QUOTED_NAME(textColour) KADEX_NO_QUOTED_NAME(setTextColour)
    KADEX_NO_QUOTED_NAME(hint) KADEX_NO_QUOTED_NAME(setHint) KADEX_NO_QUOTED_NAME(onChange)
    KADEX_NO_QUOTED_NAME(onLeave) KADEX_NO_QUOTED_NAME(leave) KADEX_NO_QUOTED_NAME(changesSuspended)
    KADEX_NO_QUOTED_NAME(click)
#undef KADEX_NO_QUOTED_NAME

    // The same by handle: what product code uses.
    bool has(FieldId f) const { return has(f.name()); }
    FieldState state(FieldId f) const { return state(f.name()); }
    QString text(FieldId f) const { return text(f.name()); }
    bool setText(FieldId f, const QString& t, Origin o = Origin::Program) { return setText(f.name(), t, o); }
    double value(FieldId f) const { return value(f.name()); }
    bool setValue(FieldId f, double v, Origin o = Origin::Program) { return setValue(f.name(), v, o); }
    bool checked(FieldId f) const { return checked(f.name()); }
    bool setChecked(FieldId f, bool on, Origin o = Origin::Program) { return setChecked(f.name(), on, o); }
    int itemIndex(FieldId f) const { return itemIndex(f.name()); }
    bool setItemIndex(FieldId f, int i, Origin o = Origin::Program) { return setItemIndex(f.name(), i, o); }
    QStringList items(FieldId f) const { return items(f.name()); }
    bool setItems(FieldId f, const QStringList& l) { return setItems(f.name(), l); }
    QString caption(FieldId f) const { return caption(f.name()); }
    bool setCaption(FieldId f, const QString& c) { return setCaption(f.name(), c); }
    bool enabled(FieldId f) const { return enabled(f.name()); }
    bool setEnabled(FieldId f, bool on) { return setEnabled(f.name(), on); }
    bool visible(FieldId f) const { return visible(f.name()); }
    bool setVisible(FieldId f, bool on) { return setVisible(f.name(), on); }
    bool readOnly(FieldId f) const { return readOnly(f.name()); }
    bool setReadOnly(FieldId f, bool on) { return setReadOnly(f.name(), on); }
    Colour colour(FieldId f) const { return colour(f.name()); }
    bool setColour(FieldId f, Colour c) { return setColour(f.name(), c); }
    Colour textColour(FieldId f) const { return textColour(f.name()); }
    bool setTextColour(FieldId f, Colour c) { return setTextColour(f.name(), c); }
    QString hint(FieldId f) const { return hint(f.name()); }
    bool setHint(FieldId f, const QString& h) { return setHint(f.name(), h); }

    // Numbers, through the field's metadata. A field without a number format is a misuse.
    //
    // A number field holds its device value beside its text. setDeviceValue formats it once,
    // here (10000 in EditVmaxPrz shows "100.00"), and keeps it; while the shown figure is still
    // the one it was formatted to, deviceValue returns the held value, so a value that the
    // text cannot show exactly (250 m³/h shows as 69 l/s) is written back as it was read.
    // Once the figure was edited, deviceValue is the figure times scale: GetIntFromString
    // rounding, or cut towards zero. Typing the held figure again gives the held value back.
    // The given decimals (if any) apply to this text only.
    bool setDeviceValue(FieldId f, double device, int decimals = -1);
    // The same, with the shown figure given (a preset's rounded figure), at most the field's
    // maximum (a device value the unit set shows above it keeps the maximum as its figure).
    bool showDeviceValue(FieldId f, double device, double shown);
    // Shows a figure that stands for no device value of its own (held no longer).
    bool setFigure(FieldId f, double shown);
    // A device value as the field would show it now ("69" for 250 m³/h in l/s).
    QString deviceText(FieldId f, double device) const;
    int32_t deviceValue(FieldId f, Rounding rounding = Rounding::HalfEven) const;
    // The device value not rounded: the held one, or the edited figure converted exactly.
    double exactDeviceValue(FieldId f) const;
    // The unit set or the controller function moved the factor between device and shown
    // value (shown = device x perDevice). The text stays and now counts in the new units; a
    // value held under another factor no longer applies, so a unit change takes
    // exactDeviceValue before and shows it with showDeviceValue after. Announced as a range
    // change.
    bool setDisplayFactor(FieldId f, double perDevice);
    // A device value shown under the current factor, at most the field's maximum.
    bool showDeviceValue(FieldId f, double device);
    // Shows a display value with the field's decimals (or the given ones).
    bool setDisplayValue(FieldId f, double shown, int decimals = -1);
    // The text as a number (0 when it is none).
    double displayValue(FieldId f) const;
    // A display value as the field shows it.
    QString formatted(FieldId f, double shown) const;
    // The range is a property: unit and function changes move it at run time.
    bool setRange(FieldId f, double minimum, double maximum);
    bool setUnit(FieldId f, const QString& unit);
    QString unit(FieldId f) const { return state(f).unit; }

    // The plain range check: a value outside the range is replaced by the violated bound,
    // written with the field's decimals; a value inside leaves the text exactly as typed.
    // The rewrite runs with the field's change rules suspended. True when it rewrote.
    bool clampToRange(FieldId f);
    // The leave formatting: the parsed value written with the field's decimals.
    bool formatValue(FieldId f);
    // Both as the field's rules: the range check on every change, the formatting on leave.
    void usePlainEntry(FieldId f);

    void onChange(FieldId f, ChangeRule rule) { onChange(f.name(), std::move(rule)); }
    void onChange(std::initializer_list<FieldId> fields, const ChangeRule& rule);
    void onLeave(FieldId f, LeaveRule rule) { onLeave(f.name(), std::move(rule)); }
    void leave(FieldId f) { leave(f.name()); }
    bool click(FieldId f) { return click(f.name()); }
    bool changesSuspended(FieldId f) const { return changesSuspended(f.name()); }

    // Radio groups.
    QStringList groupMembers(const QString& group) const;
    // The checked member of the group, empty when none is.
    QString checkedInGroup(const QString& group) const;

    // Rules. A rule stays for the model's lifetime. The list form attaches one rule to several
    // fields (a coupling that runs whichever of them changed).
    void onChange(const QString& name, ChangeRule rule);
    void onChange(const QStringList& names, const ChangeRule& rule);
    void onLeave(const QString& name, LeaveRule rule);
    // The widget layer calls this when the user leaves a field (focus out).
    void leave(const QString& name);
    // The user pressed a button or triggered a command (kinds Button and Action): runs the
    // field's change rules with Change::clicked and Origin::User, on the calling thread, after
    // the lock is released. Nothing changes and nothing is announced. A disabled field takes
    // no press (false); so does a field of another kind (misuse).
    bool click(const QString& name);
    // True while at least one ChangesSuspended scope of the calling thread covers the field.
    bool changesSuspended(const QString& name) const;
    // True while the calling thread runs a cascade (a change, its rules or a ChangeCascade).
    bool inCascade() const;
    // Runs fn on the calling thread once the cascade that thread runs has ended and the
    // cascade lock is free (at once when it runs none): work that must see every rule of a
    // change done, such as comparing the window with the device. fn may change fields.
    void afterCascade(std::function<void()> fn);

    // Plain listeners, called on the changing thread with the model unlocked. A listener
    // removed while another thread is announcing a change may still see that one change.
    int addListener(Listener listener);
    void removeListener(int id);

Q_SIGNALS:
    // Emitted on the changing thread; connect with Qt::QueuedConnection to act on the GUI thread.
    void fieldChanged(const QString& field, kadex::Prop prop);

private:
    friend class ChangesSuspended;
    friend class ChangeCascade;
    struct Field;
    struct Pending;
    using RuleList = std::vector<ChangeRule>;
    using LeaveList = std::vector<LeaveRule>;
    using ListenerList = std::vector<std::pair<int, Listener>>;

    Field* find(const QString& name) const; // caller holds m_
    // Records a misuse; throws in strict mode. Call without m_ held.
    void misused(const QString& what) const;
    // Looks the field up and checks the property; on misuse returns nullptr with 'what' set.
    Field* checkedField(const QString& name, Prop p, QString& what) const;
    template <class T>
    T get(const QString& name, Prop p, T FieldState::*member, T fallback) const;
    template <class Mutate>
    bool apply(const QString& name, Prop p, Origin origin, Mutate&& mutate);
    // The number format, range and text of a number field; false (misuse reported) otherwise.
    bool numberOf(FieldId f, FieldState& out, std::optional<double>* held = nullptr) const;
    bool setShown(FieldId f, std::optional<double> device, double shown, int decimals);
    void noteChange(Pending& pending, Field& f, PropSet props, Origin origin);
    void deliver(Pending& pending);
    // Counts a suspension of each known name; returns the names counted.
    QStringList suspend(const QStringList& names);
    void resume(const QStringList& names, std::thread::id owner);
    // The cascade lock: recursive, owned by one thread at a time.
    void enterCascade();
    void leaveCascade();

    mutable std::mutex m_;
    std::vector<std::unique_ptr<Field>> fields_;
    QHash<QString, size_t> index_;
    QHash<QString, std::vector<size_t>> groups_;
    std::shared_ptr<const ListenerList> listeners_;
    int nextListenerId_ = 1;

    mutable std::mutex cascadeM_;
    std::condition_variable cascadeFree_;
    std::thread::id cascadeOwner_;
    int cascadeDepth_ = 0;
    std::vector<std::function<void()>> afterCascade_; // of the owning thread's cascade
    uint64_t cascadeNextTicket_ = 0;
    uint64_t cascadeServing_ = 0;
    std::atomic<bool> longWaitReported_{false};

    mutable std::mutex problemsM_;
    mutable QStringList problems_;
    std::atomic<Misuse> misuse_;
};

// Switches the change rules of the named fields off until the scope ends ("with the change
// notifications suspended"). Scopes nest per field; widgets are still notified meanwhile. The
// switch belongs to the thread that made the scope (and so to its cascade): the same field
// changed by another thread meanwhile runs its rules as usual. Make and end it on one thread.
class ChangesSuspended {
public:
    ChangesSuspended(WindowModel& model, QStringList names);
    ChangesSuspended(WindowModel& model, std::initializer_list<FieldId> fields);
    ~ChangesSuspended();
    ChangesSuspended(const ChangesSuspended&) = delete;
    ChangesSuspended& operator=(const ChangesSuspended&) = delete;

private:
    WindowModel& model_;
    QStringList names_;
    std::thread::id owner_;
};

// Holds the model's cascade lock for its lifetime, so that reading some fields and writing
// others from them is one cascade that no other thread's change interleaves with. Nests with
// the cascades of the changes made inside it. Keep it short and free of waits (see above).
class ChangeCascade {
public:
    explicit ChangeCascade(WindowModel& model);
    ~ChangeCascade();
    ChangeCascade(const ChangeCascade&) = delete;
    ChangeCascade& operator=(const ChangeCascade&) = delete;

private:
    WindowModel& model_;
};

} // namespace kadex
