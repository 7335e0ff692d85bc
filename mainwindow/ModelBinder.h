#pragma once
// Ties the widgets and menu commands of a window to the window-value model by object name,
// both ways.
//
// Model to widget: every widget or action whose object name is a declared field shows the
// field's state when bound and then follows every change. Changes arrive through the model's
// fieldChanged signal on a queued connection, so a change made on a worker thread reaches the
// widgets only on the GUI thread, once its event loop runs (even a change made on the GUI
// thread shows only then). The binder re-reads the whole state on each notification, so the
// last picture is right whatever order notifications from competing threads come in. While a
// change is applied, the widget's signals are blocked: a model change never comes back as a
// user edit.
//
// Widget to model: what the user does in a widget goes to the model with Origin::User: typing
// in an edit (text), clicking a check box, toggle or radio button (checked; for a radio only
// the one the user checked), choosing a combo item or list row, changing a spin box or slider,
// changing the tab, triggering a checkable menu command. Leaving a field (focus out, not a
// window switch or a popup) runs its leave rules. Clicks on plain push buttons are not content
// and are not reported; the behaviour connects clicked() itself.
//
// Limits: a line edit takes the field's maximum characters, a spin box or slider its range
// (which the behaviour may change at run time); range checks on line edits are the model's.
//
// Special cases: a tab sheet (Tab field) is one page of a QTabWidget, its caption the tab's
// text and its visible/enabled the tab's; a Pages field is the QTabWidget's current index; a
// toolbar widget is shown and hidden through its toolbar action; a toolbar button made for a
// menu command follows that command (its caption and visibility are left alone); a label
// showing a picture keeps it while its caption is empty. An empty hint at bind time keeps the
// tool tip the layout gave the widget.
#include "device/model/WindowModel.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QAction;
class QTabWidget;
class QWidget;

namespace kadex {

class TMainForm;

class ModelBinder : public QObject {
    Q_OBJECT
public:
    // Binds the main window's widgets and its menu commands. Create it on the GUI thread.
    ModelBinder(WindowModel& model, TMainForm& form, QObject* parent = nullptr);
    // Binds the widgets below `root` (and `root` itself) and the given actions.
    ModelBinder(WindowModel& model, QWidget& root, const QList<QAction*>& actions, QObject* parent = nullptr);
    ~ModelBinder() override;

    bool isBound(const QString& field) const;
    // The widget or action a field is bound to (for a tab sheet: the page), or nullptr.
    QObject* boundObject(const QString& field) const;
    QStringList boundFields() const;

    // Registry check. Fields of the model with no widget or action here (dialog fields are
    // expected among them).
    QStringList unboundFields() const;
    // Named widgets of a kind the model deals in (entries, labels, panels, buttons, groups, tab
    // sheets ...) and named actions that have no field.
    QStringList unboundWidgets() const;

Q_SIGNALS:
    // A model change has been shown in its widget (on the GUI thread).
    void applied(const QString& field, kadex::Prop prop);

private Q_SLOTS:
    void onFieldChanged(const QString& field, kadex::Prop prop);

private:
    struct Binding;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void bindAll();
    void bindField(const QString& name);
    void connectUser(Binding& b);
    void applyAll(Binding& b, const FieldState& s);
    void apply(Binding& b, const FieldState& s, Prop p, bool binding);
    void applyContent(Binding& b, const FieldState& s, Prop p);
    void applyEnabled(Binding& b, bool on);
    void applyVisible(Binding& b, bool on);
    void applyHint(Binding& b, const QString& hint);
    void applyColours(Binding& b, const FieldState& s);
    void applyMemo(Binding& b, const QStringList& lines);
    // After a tab is shown, hidden, enabled or disabled: the current tab back to the model's.
    void resyncPages(QTabWidget* tabs);
    QObject* signalSource(const Binding& b) const;

    WindowModel& model_;
    QPointer<QWidget> root_;
    QList<QPointer<QAction>> actions_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    QHash<QString, Binding*> byName_;
    QHash<QObject*, Binding*> byObject_;
    QHash<QTabWidget*, Binding*> pagesByTabs_;
};

} // namespace kadex
