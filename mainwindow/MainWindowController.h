#pragma once
// The desktop program around the core: the window, its bindings to the window-value model,
// the start-up sequence, the buttons and menus, message boxes and the orderly end.
#include "mainwindow/MainWindow.h"
#include "core/MainCore.h"
#include "device/model/WindowModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

namespace kadex {

namespace sim {
class SimBus;
}
class ModelBinder;
class TAntriebForm;
class TOptSetForm;
class TRegFktForm;
class TSensorForm;
class TZBAdrForm;
class TZBCmdForm;
class TBusScanForm;

// Where the program's message boxes and questions go (GUI thread). The program's own shows
// dialogs; a program embedding the window (or a test) can put its own in.
class IProgramDialogs {
public:
    enum class Kind { Information, Error };
    virtual ~IProgramDialogs() = default;
    virtual void Message(QWidget* parent, Kind kind, const QString& text) = 0;
    // One of items, or empty when the user declines.
    virtual QString ChooseItem(QWidget* parent, const QString& text, const QStringList& items) = 0;
    // A folder (starting at `start`), or empty when the user declines.
    virtual QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& start) = 0;
    // File dialogs and the Yes/Cancel question; the defaults show the system's dialogs.
    // Empty or false when the user declines.
    virtual QString ChooseOpenFile(QWidget* parent, const QString& filter, const QString& folder);
    virtual QString ChooseSaveFile(QWidget* parent, const QString& filter, const QString& proposed);
    virtual bool Confirm(QWidget* parent, const QString& text);
};

struct TProgramOptions {
    QString portPath;   // --port: overrides the stored port for this run
    bool simulate = false;
    int pollPeriodMs = 2000;
    IProgramDialogs* dialogs = nullptr; // nullptr: message boxes and list dialogs
    IClock* clock = nullptr;            // polling periods and core timers; nullptr: the steady clock
};

class TMainWindowController : public QObject, public IMainHost {
    Q_OBJECT
public:
    explicit TMainWindowController(const TProgramOptions& options, QObject* parent = nullptr);
    ~TMainWindowController() override;

    TMainForm& Form() { return *form_; }
    WindowModel& Model() { return model_; }
    TMainCore& Core() { return *core_; }
    // The simulated bus behind --simulate (nullptr otherwise).
    std::shared_ptr<sim::SimBus> SimulatedBus() const { return simBus_; }
    TSensorForm& SensorForm() { return *sensorForm_; }
    TAntriebForm& AntriebForm() { return *antriebForm_; }
    TRegFktForm& RegFktForm() { return *regFktForm_; }
    TOptSetForm& OptSetForm() { return *optSetForm_; }
    TZBAdrForm& ZBAdrForm() { return *zbAdrForm_; }
    TZBCmdForm& ZBCmdForm() { return *zbCmdForm_; }
    TBusScanForm& BusScanForm() { return *busScanForm_; }

    // Shows the window and, once the event loop runs, the start-up sequence.
    void Show();
    // Port error boxes shown so far (tests without message boxes).

    // IMainHost
    void ShowPortError(const QString& text) override;
    void SetBusyCursor(bool busy) override;
    void RequestClose() override;
    void ShowHelp() override;

    // Settings the start-up restores (read from the tool settings at creation).
    TStartupSettings StartupSettings;

private Q_SLOTS:
    void startTimer();
    void showPortErrorOnGui(const QString& text);
    void setBusyOnGui(bool busy);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wireActions();
    void createDialogs();
    // "Regler Funktion einstellen..." (menu and toolbar).
    void openRegFkt();
    void focusedWrite();
    // The closing flow has ended: settings written, the window closes.
    void closingDone();
    // Writes the settings once; false (error says why) when they were not saved.
    bool writeSettings(QString* error = nullptr);
    void loadSettings();
    // A stored port that is missing: the only USB adapter, or the user's choice.
    void choosePort(TStartupSettings& st);
    void openHelp();
    void restoreFocus();
    // The Datei menu: calibration-set files.
    void openDataFile();
    void saveDataFile();
    void saveDataFileAs();
    void showFileTitle();
    QString dataFolder() const;
    QString currentFileName_;
    // The Datei menu: the settings printout.
    QStringList reportLines();
    void printReport();
    void printReportToFile();
    IProgramDialogs& dialogs();

    TProgramOptions options_;
    WindowModel model_;
    std::shared_ptr<sim::SimBus> simBus_;
    std::unique_ptr<TMainCore> core_;
    std::unique_ptr<TMainForm> form_;
    ModelBinder* binder_ = nullptr;
    TSensorForm* sensorForm_ = nullptr;   // children of the main window
    TAntriebForm* antriebForm_ = nullptr;
    TRegFktForm* regFktForm_ = nullptr;
    TOptSetForm* optSetForm_ = nullptr;
    TZBAdrForm* zbAdrForm_ = nullptr;
    TZBCmdForm* zbCmdForm_ = nullptr;
    TBusScanForm* busScanForm_ = nullptr;
    QString iniPath_;
    QString settingsNotice_; // where an unreadable settings file was kept, until told
    int busyDepth_ = 0;
    // Where the keyboard focus was when the busy phase began: disabling the focused button
    // moves the focus on, and it is brought back when the controls are enabled again.
    QPointer<QWidget> focusBeforeBusy_;
    bool closePosted_ = false;
    bool closed_ = false; // settings written, the window may close
};

} // namespace kadex
