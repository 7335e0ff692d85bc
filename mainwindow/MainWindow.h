#pragma once
// The main window's widgets: identification pane, the five tabs, the button strip under the
// tabs, toolbar with its menus and the status bar. This file builds the layout only; the
// behaviour binds to the controls by their object names (Control, Action).
//
// Finding things:
//   Control("EditVmaxPrz")          any named widget (edit, label, panel, group, tab sheet ...)
//   ControlAs<QLineEdit>("EditVmaxPrz")
//   Action("DateiOeffnen")           the menu commands, also reachable from the toolbar
//   ButtonGroup("ButtonGroupBetrieb") the exclusive radio groups (not widgets)
//   StatusField(0..2)                the three status bar fields
#include "device/model/Fields.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QAction;
class QButtonGroup;
class QLabel;
class QTabWidget;

namespace kadex {

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Tab indices of PageControl1.
    enum TabIndex {
        TabKonfigOEM = 0,
        TabExperte = 1,
        TabService = 2,
        TabKonfigQV = 3,
        TabTransfer = 4,
    };
    // The three status bar fields, left to right.
    enum StatusFieldIndex {
        StatusCom = 0,      // "COM" + port number ("StatusBarCom")
        StatusFunktion = 1, // controller function text ("StatusBarFunktion")
        StatusMessage = 2,  // connection message ("StatusBarMessage")
    };

    // Picture in the current working directory that replaces the built-in logo.
    static constexpr const char* kUserLogoFile = "UserLogo.bmp";
    // Designed client size.
    static constexpr int kClientWidth = 937;
    static constexpr int kClientHeight = 613;
    static constexpr int kIdentPaneWidth = 225;

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The widget with this object name, or nullptr.
    QWidget* Control(const QString& name) const;
    template <class T>
    T* ControlAs(const QString& name) const
    {
        return qobject_cast<T*>(Control(name));
    }
    // By the field's handle.
    QWidget* Control(FieldId f) const { return Control(f.name()); }
    template <class T>
    T* ControlAs(FieldId f) const
    {
        return qobject_cast<T*>(Control(f.name()));
    }
    // The menu command with this object name, or nullptr.
    QAction* Action(const QString& name) const;
    QAction* Action(FieldId f) const { return Action(f.name()); }
    // The exclusive radio group with this object name, or nullptr.
    QButtonGroup* ButtonGroup(const QString& name) const;
    QLabel* StatusField(int index) const;
    QTabWidget* PageControl() const { return PageControl1_; }

    // Object names of all named widgets and actions of the window (Qt's own inner widgets,
    // whose names begin with "qt_", left out).
    QStringList ControlNames() const;
    QStringList ActionNames() const;

private:
    void BuildActions();
    void BuildToolBar();
    void BuildStatusBar();
    QWidget* BuildIdentPane(QWidget* parent);
    QWidget* BuildButtonStrip(QWidget* parent);
    void BuildTabs(QWidget* parent);
    void LoadUserLogo();
    // PanelBetrieb belongs to the Service tab, PanelTest to the OEM (Kalibrierung) tab.
    void ShowTabPanels(int index);

    QTabWidget* PageControl1_ = nullptr;
    QWidget* PanelBetrieb_ = nullptr;
    QWidget* PanelTest_ = nullptr;
    QLabel* ImageLogo_ = nullptr;
    QLabel* StatusFields_[3] = {nullptr, nullptr, nullptr};
};

} // namespace kadex
