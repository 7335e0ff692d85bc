#include "mainwindow/ModelBinder.h"

#include <QLayout>

#include "mainwindow/MainWindow.h"
#include "mainwindow/WidgetFactory.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <QWidgetAction>

#include <algorithm>
#include <cmath>
#include <optional>

namespace kadex {

struct ModelBinder::Binding {
    QString name;
    Kind kind = Kind::Edit;
    QPointer<QWidget> widget;  // for a tab sheet: the page
    QPointer<QAction> action;
    QPointer<QTabWidget> tabs; // tab sheet: the tab widget holding the page
    QString baseToolTip;       // the layout's tool tip, shown while the hint is empty
    // The palette before the first colour was applied; colours go back to it.
    QPalette basePalette;
    bool baseAutoFill = false;
    bool paletteTouched = false;
    // What a memo shows, so that a log that grows gets only its new lines appended.
    QStringList memoLines;
};

namespace {

// Entry widgets show their colour in the Base role; everything else in Window/Button.
bool isEntry(const QWidget* w)
{
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QComboBox*>(w);
}

QColor colourOf(Colour c, const QPalette& app)
{
    switch (c) {
    case Colour::Window: return app.color(QPalette::Base);
    case Colour::ButtonFace: return app.color(QPalette::Button);
    case Colour::WindowText: return app.color(QPalette::WindowText);
    case Colour::Black: return QColor(0, 0, 0);
    case Colour::Red: return QColor(255, 0, 0);
    case Colour::Green: return QColor(0, 128, 0);
    case Colour::Yellow: return QColor(255, 255, 0);
    case Colour::Grey: return QColor(128, 128, 128);
    case Colour::Differs: return QColor(255, 236, 179);
    }
    return {};
}

QTabWidget* enclosingTabs(QWidget* page)
{
    // A page sits in the tab widget's inner stack, so the tab widget is its grandparent.
    for (QWidget* p = page->parentWidget(); p; p = p->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(p))
            return tabs->indexOf(page) >= 0 ? tabs : nullptr;
    }
    return nullptr;
}

// A toolbar button made for a menu command shows that command's caption and visibility.
bool followsAction(const QWidget* w)
{
    const auto* tb = qobject_cast<const QToolButton*>(w);
    return tb && tb->defaultAction();
}

bool hasPicture(const QLabel* label)
{
    return !label->pixmap().isNull();
}

// Exclusive: checking one unchecks the others, and the checked one cannot simply let go.
QButtonGroup* exclusiveGroup(QAbstractButton* b)
{
    QButtonGroup* g = b->group();
    return g && g->exclusive() ? g : nullptr;
}

std::optional<int> roundedValue(double v)
{
    if (std::isnan(v))
        return std::nullopt;
    const double clamped = std::clamp(v, -2147483647.0, 2147483647.0);
    return static_cast<int>(std::lround(clamped));
}

QStringList itemsOf(const QComboBox* c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

QStringList itemsOf(const QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

QStringList memoLinesOf(const QPlainTextEdit* e)
{
    const QString text = e->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace

ModelBinder::ModelBinder(WindowModel& model, TMainForm& form, QObject* parent)
    : QObject(parent)
    , model_(model)
    , root_(&form)
{
    for (const QString& name : form.ActionNames()) {
        if (QAction* a = form.Action(name))
            actions_ << a;
    }
    bindAll();
}

ModelBinder::ModelBinder(WindowModel& model, QWidget& root, const QList<QAction*>& actions, QObject* parent)
    : QObject(parent)
    , model_(model)
    , root_(&root)
{
    for (QAction* a : actions)
        actions_ << a;
    bindAll();
}

ModelBinder::~ModelBinder() = default;

void ModelBinder::bindAll()
{
    // Connected before any state is read: a change that slips in while binding still arrives.
    connect(&model_, &WindowModel::fieldChanged, this, &ModelBinder::onFieldChanged, Qt::QueuedConnection);
    for (const QString& name : model_.names())
        bindField(name);
    // Captions and limits arrived after the layouts measured the widgets; a layout inside a
    // panel that was hidden then keeps the old sizes until it is told.
    if (root_) {
        for (QLayout* l : root_->findChildren<QLayout*>())
            l->invalidate();
        for (QWidget* w : root_->findChildren<QWidget*>())
            w->updateGeometry();
    }
}

void ModelBinder::bindField(const QString& name)
{
    const FieldState s = model_.state(name);
    auto b = std::make_unique<Binding>();
    b->name = name;
    b->kind = s.kind;
    if (s.kind == Kind::Action) {
        for (const QPointer<QAction>& a : std::as_const(actions_)) {
            if (a && a->objectName() == name) {
                b->action = a;
                break;
            }
        }
        if (!b->action)
            return;
        b->baseToolTip = b->action->toolTip();
        byObject_.insert(b->action, b.get());
    } else {
        if (!root_)
            return;
        QWidget* w = root_->objectName() == name ? root_.data() : root_->findChild<QWidget*>(name);
        if (!w)
            return;
        b->widget = w;
        if (s.kind == Kind::Tab) {
            b->tabs = enclosingTabs(w);
            if (b->tabs)
                b->baseToolTip = b->tabs->tabToolTip(b->tabs->indexOf(w));
        } else {
            b->baseToolTip = w->toolTip();
        }
        if (s.kind == Kind::Pages) {
            if (auto* tabs = qobject_cast<QTabWidget*>(w))
                pagesByTabs_.insert(tabs, b.get());
        }
        if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
            b->memoLines = memoLinesOf(memo);
        byObject_.insert(w, b.get());
    }
    Binding& ref = *b;
    byName_.insert(name, b.get());
    bindings_.push_back(std::move(b));
    connectUser(ref);
    applyAll(ref, s);
}

void ModelBinder::connectUser(Binding& b)
{
    const QString name = b.name;
    const Kind kind = b.kind;

    if (QAction* a = b.action) {
        // triggered() comes only from the user (or trigger()); toggled() also from setChecked.
        connect(a, &QAction::triggered, this, [this, name, a](bool on) {
            if (a->isCheckable())
                model_.setChecked(name, on, Origin::User);
            else
                model_.click(name);
        });
        return;
    }
    QWidget* w = b.widget;
    if (w->focusPolicy() != Qt::NoFocus)
        w->installEventFilter(this);

    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        // textEdited is the user's typing only; programmatic setText does not emit it.
        if (kindHas(kind, Prop::Text)) {
            connect(e, &QLineEdit::textEdited, this,
                    [this, name](const QString& t) { model_.setText(name, t, Origin::User); });
            // Enter commits the entry as leaving the field does.
            connect(e, &QLineEdit::returnPressed, this, [this, name] { model_.leave(name); });
        }
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        if (kindHas(kind, Prop::Items)) {
            Binding* bp = &b;
            connect(memo, &QPlainTextEdit::textChanged, this, [this, bp, memo] {
                if (memo->isReadOnly())
                    return;
                bp->memoLines = memoLinesOf(memo);
                model_.setItems(bp->name, bp->memoLines);
            });
        }
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        if (kindHas(kind, Prop::Value))
            connect(spin, &QSpinBox::valueChanged, this,
                    [this, name](int v) { model_.setValue(name, v, Origin::User); });
    } else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(w)) {
        if (kindHas(kind, Prop::Value))
            connect(dspin, &QDoubleSpinBox::valueChanged, this,
                    [this, name](double v) { model_.setValue(name, v, Origin::User); });
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
        // Keyboard, wheel, clicks and dragging all end in valueChanged; the model's own
        // changes are applied with the signals blocked.
        if (kindHas(kind, Prop::Value))
            connect(slider, &QSlider::valueChanged, this,
                    [this, name](int v) { model_.setValue(name, v, Origin::User); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (kindHas(kind, Prop::ItemIndex))
            connect(combo, &QComboBox::activated, this,
                    [this, name](int i) { model_.setItemIndex(name, i, Origin::User); });
        if (kindHas(kind, Prop::Text) && combo->isEditable() && combo->lineEdit())
            connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                    [this, name](const QString& t) { model_.setText(name, t, Origin::User); });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (kindHas(kind, Prop::ItemIndex))
            connect(list, &QListWidget::currentRowChanged, this,
                    [this, name](int row) { model_.setItemIndex(name, row, Origin::User); });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        if (kindHas(kind, Prop::ItemIndex))
            connect(tabs, &QTabWidget::currentChanged, this,
                    [this, name](int i) { model_.setItemIndex(name, i, Origin::User); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        // clicked() is the user's act (mouse, keyboard, click()); setChecked does not emit it.
        if (kind == Kind::Button)
            connect(button, &QAbstractButton::clicked, this, [this, name] { model_.click(name); });
        if (kindHas(kind, Prop::Checked)) {
            const bool radio = kind == Kind::Radio;
            connect(button, &QAbstractButton::clicked, this, [this, name, button, radio] {
                if (!button->isCheckable())
                    return;
                if (radio) {
                    // The model unchecks the rest of the group itself.
                    if (button->isChecked())
                        model_.setChecked(name, true, Origin::User);
                } else {
                    model_.setChecked(name, button->isChecked(), Origin::User);
                }
            });
        }
    }
}

bool ModelBinder::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching windows or opening a menu or popup does not leave the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (Binding* b = byObject_.value(watched))
                model_.leave(b->name);
        }
    }
    return QObject::eventFilter(watched, event);
}

void ModelBinder::onFieldChanged(const QString& field, kadex::Prop prop)
{
    Binding* b = byName_.value(field);
    if (!b || (!b->widget && !b->action))
        return;
    const FieldState s = model_.state(field);
    apply(*b, s, prop, false);
    Q_EMIT applied(field, prop);
}

void ModelBinder::applyAll(Binding& b, const FieldState& s)
{
    // Items before the index that selects among them; limits before the value they bound.
    static constexpr Prop order[] = {Prop::Items,   Prop::ItemIndex, Prop::Range,    Prop::Text,
                                     Prop::Value,   Prop::Checked,   Prop::Caption,  Prop::ReadOnly,
                                     Prop::Enabled, Prop::Visible,   Prop::Hint,     Prop::Colour};
    for (Prop p : order) {
        if (kindHas(s.kind, p))
            apply(b, s, p, true);
    }
}

QObject* ModelBinder::signalSource(const Binding& b) const
{
    if (b.action)
        return b.action;
    if (b.kind == Kind::Tab && b.tabs)
        return b.tabs; // the tab widget reports tab switches that hiding a tab causes
    return b.widget;
}

void ModelBinder::apply(Binding& b, const FieldState& s, Prop p, bool binding)
{
    // Blocked, so that showing the model's state never comes back as a user edit.
    const QSignalBlocker blocker(signalSource(b));
    switch (p) {
    case Prop::Enabled:
        applyEnabled(b, s.enabled);
        break;
    case Prop::Visible:
        applyVisible(b, s.visible);
        break;
    case Prop::Hint:
        // The layout's tool tips stay until the behaviour gives a hint of its own.
        if (!binding || !s.hint.isEmpty())
            applyHint(b, s.hint);
        break;
    case Prop::Colour:
    case Prop::TextColour:
        applyColours(b, s);
        break;
    default:
        applyContent(b, s, p);
        break;
    }
}

void ModelBinder::applyContent(Binding& b, const FieldState& s, Prop p)
{
    if (QAction* a = b.action) {
        if (p == Prop::Caption && a->text() != s.caption)
            a->setText(s.caption);
        else if (p == Prop::Checked && a->isCheckable() && a->isChecked() != s.checked)
            a->setChecked(s.checked);
        return;
    }
    QWidget* w = b.widget;
    if (!w)
        return;

    if (b.kind == Kind::Tab) {
        QTabWidget* tabs = b.tabs;
        if (p == Prop::Caption && tabs) {
            const int i = tabs->indexOf(w);
            if (i >= 0 && tabs->tabText(i) != s.caption)
                tabs->setTabText(i, s.caption);
        }
        return;
    }

    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (p == Prop::Range) {
            if (s.maxChars > 0 && e->maxLength() != s.maxChars)
                e->setMaxLength(s.maxChars);
            return;
        }
        if (p == Prop::Text && e->text() != s.text)
            e->setText(s.text);
        else if (p == Prop::Value) {
            const QString t = QString::number(s.value);
            if (e->text() != t)
                e->setText(t);
        } else if (p == Prop::ReadOnly && e->isReadOnly() != s.readOnly)
            gui::SetFieldReadOnly(e, s.readOnly);
        return;
    }
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        if (p == Prop::Items)
            applyMemo(b, s.items);
        else if (p == Prop::ReadOnly && memo->isReadOnly() != s.readOnly)
            memo->setReadOnly(s.readOnly);
        return;
    }
    if (auto* spinBox = qobject_cast<QAbstractSpinBox*>(w)) {
        if (p == Prop::Range) {
            if (!s.ranged)
                return;
            if (auto* spin = qobject_cast<QSpinBox*>(w)) {
                const std::optional<int> lo = roundedValue(s.minimum), hi = roundedValue(s.maximum);
                if (lo && hi && (spin->minimum() != *lo || spin->maximum() != *hi))
                    spin->setRange(*lo, *hi);
            } else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(w)) {
                if (dspin->minimum() != s.minimum || dspin->maximum() != s.maximum)
                    dspin->setRange(s.minimum, s.maximum);
            }
            return;
        }
        if (p == Prop::ReadOnly && spinBox->isReadOnly() != s.readOnly) {
            gui::SetFieldReadOnly(spinBox, s.readOnly);
        } else if (p == Prop::Value) {
            if (auto* spin = qobject_cast<QSpinBox*>(w)) {
                const std::optional<int> v = roundedValue(s.value);
                if (v && spin->value() != *v)
                    spin->setValue(*v);
            } else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(w)) {
                if (!std::isnan(s.value) && dspin->value() != s.value)
                    dspin->setValue(s.value);
            }
        }
        return;
    }
    if (auto* slider = qobject_cast<QSlider*>(w)) {
        if (p == Prop::Range && s.ranged) {
            const std::optional<int> lo = roundedValue(s.minimum), hi = roundedValue(s.maximum);
            if (lo && hi && (slider->minimum() != *lo || slider->maximum() != *hi))
                slider->setRange(*lo, *hi);
        }
        if (p == Prop::Value) {
            const std::optional<int> v = roundedValue(s.value);
            if (v && slider->value() != *v)
                slider->setValue(*v);
        }
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (p == Prop::Items && itemsOf(combo) != s.items) {
            combo->clear();
            combo->addItems(s.items);
        }
        if ((p == Prop::Items || p == Prop::ItemIndex) && combo->currentIndex() != s.itemIndex)
            combo->setCurrentIndex(s.itemIndex);
        if ((p == Prop::Items || p == Prop::Text) && combo->isEditable() && combo->currentText() != s.text)
            combo->setEditText(s.text);
        return;
    }
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (p == Prop::Items && itemsOf(list) != s.items) {
            list->clear();
            list->addItems(s.items);
        }
        if ((p == Prop::Items || p == Prop::ItemIndex) && list->currentRow() != s.itemIndex)
            list->setCurrentRow(s.itemIndex);
        return;
    }
    if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        if (p == Prop::ItemIndex) {
            const int i = s.itemIndex;
            // A hidden tab cannot be current; showing it later brings the model's index back.
            if (i >= 0 && i < tabs->count() && tabs->isTabVisible(i) && tabs->currentIndex() != i)
                tabs->setCurrentIndex(i);
        }
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        QString t;
        if (p == Prop::Text)
            t = s.text;
        else if (p == Prop::Caption)
            t = s.caption;
        else if (p == Prop::Value)
            t = QString::number(s.value);
        else
            return;
        // setText would drop a picture; an empty caption means "no text" for a picture label.
        if (t.isEmpty() && hasPicture(label))
            return;
        if (label->text() != t)
            label->setText(t);
        return;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (p == Prop::Caption) {
            if (!followsAction(w) && button->text() != s.caption)
                button->setText(s.caption);
        } else if (p == Prop::Checked && button->isCheckable() && button->isChecked() != s.checked) {
            QButtonGroup* group = exclusiveGroup(button);
            const QSignalBlocker groupBlocker(group);
            if (!s.checked && (group || (!button->group() && button->autoExclusive()))) {
                // An exclusive button cannot be unchecked on its own; the model can have
                // a group with nothing checked.
                if (group) {
                    group->setExclusive(false);
                    button->setChecked(false);
                    group->setExclusive(true);
                } else {
                    button->setAutoExclusive(false);
                    button->setChecked(false);
                    button->setAutoExclusive(true);
                }
            } else {
                button->setChecked(s.checked);
            }
        }
        return;
    }
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        if (p == Prop::Caption && group->title() != s.caption)
            group->setTitle(s.caption);
        return;
    }
    // Plain frames and containers have no content to show.
}

void ModelBinder::applyMemo(Binding& b, const QStringList& lines)
{
    auto* memo = qobject_cast<QPlainTextEdit*>(b.widget);
    if (!memo || lines == b.memoLines)
        return;
    const QStringList& shown = b.memoLines;
    const bool appended = !shown.isEmpty() && lines.size() > shown.size() &&
                          std::equal(shown.cbegin(), shown.cend(), lines.cbegin());
    if (appended) {
        // A growing log: only the new lines, so that long logs stay cheap.
        memo->appendPlainText(lines.mid(shown.size()).join(QLatin1Char('\n')));
    } else {
        memo->setPlainText(lines.join(QLatin1Char('\n')));
    }
    b.memoLines = lines;
    if (appended || !lines.isEmpty()) {
        QScrollBar* bar = memo->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}

void ModelBinder::applyEnabled(Binding& b, bool on)
{
    if (QAction* a = b.action) {
        if (a->isEnabled() != on)
            a->setEnabled(on);
        return;
    }
    QWidget* w = b.widget;
    if (!w)
        return;
    if (b.kind == Kind::Tab) {
        if (QTabWidget* tabs = b.tabs) {
            const int i = tabs->indexOf(w);
            if (i >= 0 && tabs->isTabEnabled(i) != on) {
                tabs->setTabEnabled(i, on);
                resyncPages(tabs);
            }
            return;
        }
    }
    // The own flag, not isEnabled(): a child of a disabled parent keeps its own state.
    if (w->testAttribute(Qt::WA_Disabled) == on)
        w->setEnabled(on);
}

void ModelBinder::applyVisible(Binding& b, bool on)
{
    if (QAction* a = b.action) {
        if (a->isVisible() != on)
            a->setVisible(on);
        return;
    }
    QWidget* w = b.widget;
    if (!w || w->isWindow())
        return; // never pop up a window of its own
    if (b.kind == Kind::Tab) {
        if (QTabWidget* tabs = b.tabs) {
            const int i = tabs->indexOf(w);
            if (i >= 0 && tabs->isTabVisible(i) != on) {
                tabs->setTabVisible(i, on);
                resyncPages(tabs);
            }
            return;
        }
    }
    if (auto* bar = qobject_cast<QToolBar*>(w->parentWidget())) {
        // The toolbar's layout overrides its widgets' own visibility; only the action counts.
        const QList<QAction*> barActions = bar->actions();
        for (QAction* a : barActions) {
            if (bar->widgetForAction(a) != w)
                continue;
            // A button made for a menu command shows and hides with that command.
            if (qobject_cast<QWidgetAction*>(a) && a->isVisible() != on)
                a->setVisible(on);
            return;
        }
    }
    // Hidden by choice, not merely not shown yet: a child of a window that was never shown
    // counts as visible, and hiding it before the window shows keeps it hidden.
    const bool hiddenNow = w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide);
    if (hiddenNow == on)
        w->setVisible(on);
}

void ModelBinder::applyHint(Binding& b, const QString& hint)
{
    const QString tip = hint.isEmpty() ? b.baseToolTip : hint;
    if (QAction* a = b.action) {
        if (a->toolTip() != tip)
            a->setToolTip(tip);
        return;
    }
    QWidget* w = b.widget;
    if (!w)
        return;
    if (b.kind == Kind::Tab && b.tabs) {
        const int i = b.tabs->indexOf(w);
        if (i >= 0 && b.tabs->tabToolTip(i) != tip)
            b.tabs->setTabToolTip(i, tip);
        return;
    }
    if (w->toolTip() != tip)
        w->setToolTip(tip);
}

void ModelBinder::applyColours(Binding& b, const FieldState& s)
{
    QWidget* w = b.widget;
    if (!w)
        return; // menu commands have no colours
    const bool entry = isEntry(w);
    // The colour a widget has without being told: entries the window colour, the rest the face.
    const bool plainBack = s.colour == (entry ? Colour::Window : Colour::ButtonFace);
    const bool plainText = s.textColour == Colour::WindowText;
    if (plainBack && plainText && !b.paletteTouched)
        return;
    if (!b.paletteTouched) {
        b.basePalette = w->palette();
        b.baseAutoFill = w->autoFillBackground();
        b.paletteTouched = true;
    }
    QPalette pal = b.basePalette;
    const QPalette app = QApplication::palette(w);
    if (!plainBack) {
        const QColor c = colourOf(s.colour, app);
        if (entry) {
            pal.setColor(QPalette::Base, c);
        } else {
            pal.setColor(QPalette::Window, c);
            pal.setColor(QPalette::Button, c);
        }
    }
    if (!plainText) {
        const QColor c = colourOf(s.textColour, app);
        pal.setColor(QPalette::WindowText, c);
        pal.setColor(QPalette::Text, c);
        pal.setColor(QPalette::ButtonText, c);
    }
    w->setPalette(pal);
    // Labels and panels paint no background of their own unless told to.
    if (!entry)
        w->setAutoFillBackground(plainBack ? b.baseAutoFill : true);
}

void ModelBinder::resyncPages(QTabWidget* tabs)
{
    Binding* pages = pagesByTabs_.value(tabs);
    if (!pages || !pages->widget)
        return;
    const FieldState s = model_.state(pages->name);
    apply(*pages, s, Prop::ItemIndex, false);
}

bool ModelBinder::isBound(const QString& field) const
{
    const Binding* b = byName_.value(field);
    return b && (b->widget || b->action);
}

QObject* ModelBinder::boundObject(const QString& field) const
{
    const Binding* b = byName_.value(field);
    if (!b)
        return nullptr;
    if (b->action)
        return b->action.data();
    return b->widget.data();
}

QStringList ModelBinder::boundFields() const
{
    QStringList out;
    for (const auto& b : bindings_) {
        if (b->widget || b->action)
            out << b->name;
    }
    return out;
}

QStringList ModelBinder::unboundFields() const
{
    QStringList out;
    for (const QString& name : model_.names()) {
        if (!isBound(name))
            out << name;
    }
    return out;
}

QStringList ModelBinder::unboundWidgets() const
{
    QStringList out;
    const auto note = [&](const QObject* o) {
        const QString name = o->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || byObject_.contains(const_cast<QObject*>(o)))
            return;
        // A second object under a field's name is never bound: name it as such.
        out << (byName_.contains(name) ? name + QStringLiteral(" (second of that name)") : name);
    };
    if (root_) {
        QList<QWidget*> widgets = root_->findChildren<QWidget*>();
        widgets.prepend(root_.data());
        for (QWidget* w : std::as_const(widgets)) {
            if (w == root_.data() && w->isWindow())
                continue;
            const QString name = w->objectName();
            bool content = isEntry(w) || qobject_cast<QSlider*>(w) || qobject_cast<QLabel*>(w) ||
                           qobject_cast<QAbstractButton*>(w) || qobject_cast<QGroupBox*>(w) ||
                           qobject_cast<QTabWidget*>(w) || enclosingTabs(w) != nullptr;
            // Frames count when named as panels or pictures; splitters and the like do not.
            if (!content && qobject_cast<QFrame*>(w))
                content = name.startsWith(QLatin1String("Panel")) || name.startsWith(QLatin1String("Image"));
            // Buttons made for menu commands are covered by their command; the parts of Qt's
            // own compound widgets (a tab bar's scroll buttons) are no controls of the window.
            const QWidget* parent = w->parentWidget();
            if (followsAction(w) || qobject_cast<const QTabBar*>(parent) ||
                qobject_cast<const QComboBox*>(parent) || qobject_cast<const QAbstractSpinBox*>(parent))
                content = false;
            if (content)
                note(w);
        }
    }
    for (const QPointer<QAction>& a : actions_) {
        if (a)
            note(a);
    }
    out.sort();
    return out;
}

} // namespace kadex
