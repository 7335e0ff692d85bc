#include "mainwindow/MainWindowController.h"

#include "dialogs/InfoForm.h"
#include "mainwindow/Retranslate.h"
#include "settings/Language.h"

#include "common/Paths.h"
#include "mainwindow/LivePlot.h"
#include "mainwindow/DifferenceList.h"
#include "mainwindow/ModelBinder.h"
#include "dialogs/LeitwertForm.h"
#include "dialogs/UmgebungForm.h"
#include "comm/ComPortEnumerator.h"
#include "dialogs/AntriebForm.h"
#include "dialogs/OptSetForm.h"
#include "dialogs/RegFktForm.h"
#include "dialogs/SensorForm.h"
#include "dialogs/BusScanForm.h"
#include "dialogs/HistoryForm.h"
#include "dialogs/ZBAdrForm.h"
#include "dialogs/ZBCmdForm.h"
#include "device/model/WindowFields.h"
#include "mainwindow/ReportPaint.h"
#include "core/PortChoice.h"
#include "core/SettingsReport.h"
#include "core/HelpDocument.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "sim/SimLink.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QPrintDialog>
#include <QPrinter>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace kadex {

namespace {
class BoxDialogs final : public IProgramDialogs {
public:
    void Message(QWidget* parent, Kind kind, const QString& text) override
    {
        if (kind == Kind::Error)
            QMessageBox::critical(parent, QStringLiteral("Kadex Tool"), text);
        else
            QMessageBox::information(parent, QStringLiteral("Kadex Tool"), text);
    }
    QString ChooseItem(QWidget* parent, const QString& text, const QStringList& items) override
    {
        bool ok = false;
        const QString chosen = QInputDialog::getItem(parent, QStringLiteral("Kadex Tool"), text, items, 0, false, &ok);
        return ok ? chosen : QString();
    }
    QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& start) override
    {
        return QFileDialog::getExistingDirectory(parent, prompt, start, QFileDialog::ShowDirsOnly);
    }
};
} // namespace

QString IProgramDialogs::ChooseOpenFile(QWidget* parent, const QString& filter, const QString& folder)
{
    return QFileDialog::getOpenFileName(parent, QString(), folder, filter, nullptr, QFileDialog::DontUseCustomDirectoryIcons);
}

QString IProgramDialogs::ChooseSaveFile(QWidget* parent, const QString& filter, const QString& proposed)
{
    QFileDialog dlg(parent, QString(), proposed, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QStringLiteral("vav"));
    dlg.setOption(QFileDialog::DontConfirmOverwrite); // asked with the tool's own text
    dlg.selectFile(proposed);
    return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first() : QString();
}

bool IProgramDialogs::Confirm(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, QStringLiteral("Kadex Tool"), text, QMessageBox::Yes | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Yes;
}

bool IProgramDialogs::OpenDocument(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

IProgramDialogs& TMainWindowController::dialogs()
{
    static BoxDialogs boxes;
    return options_.dialogs ? *options_.dialogs : boxes;
}

TMainWindowController::TMainWindowController(const TProgramOptions& options, QObject* parent)
    : QObject(parent), options_(options), model_(mainWindowFields())
{
    loadSettings();
    std::unique_ptr<ITransport> transport; // the machine's serial port
    if (options_.simulate) {
        sim::SimulatedLink link = sim::MakeSimulatedLink();
        simBus_ = link.bus;
        transport = std::move(link.transport);
        StartupSettings.ComPath = QString::fromLatin1(link.portName);
    }
    core_ = std::make_unique<TMainCore>(model_, std::move(transport), this, options_.clock);
    core_->SetPollPeriodMs(options_.pollPeriodMs);

    form_ = std::make_unique<TMainForm>();
    form_->setWindowTitle(IniText.FormTitle);
    form_->installEventFilter(this);
    binder_ = new ModelBinder(model_, *form_, this);
    if (auto* notEqual = form_->findChild<QLabel*>(QStringLiteral("ImageNotEqual")))
        new DifferenceList(*notEqual, [this] { return core_->DifferenceRows(); }, *binder_, this);
    createDialogs();
    if (auto* plot = form_->findChild<gui::LivePlot*>()) {
        TPollThread& op = core_->BetriebThread();
        plot->Attach(model_, [&op] { return op.StepsRun(); }, [&op] { return op.StepRunning(); });
    }
    core_->FormCreate();
    // The language file before the window shows: every window, the log heading and the
    // messages start in the chosen language; a later load (options dialog) retranslates.
    core_->Language.OnLoaded = [this] { Q_EMIT LanguageChanged(); };
    connect(this, &TMainWindowController::LanguageChanged, this, &TMainWindowController::retranslate);
    core_->Language.Load();
    retranslate();
    wireActions();
    core_->Start();
}

TMainWindowController::~TMainWindowController()
{
    // Destroyed without a close (tests, a failed start): end the flows here.
    core_->Close();
    writeSettings();
    delete binder_;
    binder_ = nullptr;
    form_.reset();
    core_.reset();
    // The "not busy" of a flow cut short by the end is a queued call this object no longer
    // receives: the application's cursor must not stay busy.
    for (; busyDepth_ > 0; --busyDepth_)
        QApplication::restoreOverrideCursor();
}

void TMainWindowController::Show()
{
    form_->show();
    QTimer::singleShot(10, this, &TMainWindowController::startTimer);
}

void TMainWindowController::startTimer()
{
    TStartupSettings st = StartupSettings;
    if (!options_.simulate && options_.portPath.isEmpty())
        choosePort(st);
    core_->StartTimerTimer(st);
    if (!settingsNotice_.isEmpty()) {
        const QString text = QString(IniStatusText.SettingsReplaced).arg(settingsNotice_);
        settingsNotice_.clear();
        model_.setText(kStatusMessage, text);
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Information, text);
    }
}

void TMainWindowController::choosePort(TStartupSettings& st)
{
    const QString stored = st.ComPath.isEmpty() ? TComForm::DevicePathForNumber(st.ComNr) : st.ComPath;
    const TPortChoice c = ChoosePort(stored, TComPortEnumerator::PortNames(), QFileInfo::exists(stored));
    QString chosen;
    if (c.action == TPortChoice::Action::Pick) {
        chosen = c.port;
    } else if (c.action == TPortChoice::Action::Ask) {
        const QString text = QString(IniStatusText.PortChoice).replace(QStringLiteral("%PORT%"), stored);
        chosen = dialogs().ChooseItem(form_.get(), text, c.ports);
    }
    if (chosen.isEmpty())
        return; // the stored port stays; its open error tells why nothing connects
    st.ComPath = chosen;
    StartupSettings.ComPath = chosen;
    IniCom.COMPort = chosen; // remembered like a port chosen in the options
    PublishToolIni();
}

void TMainWindowController::wireActions()
{
    // Buttons and commands reach the core through the model (the binder reports presses); only
    // the tab change stays here, because the window's own index changes run it too.
    TMainCore* core = core_.get();
    // The conductance and ambient conditions dialogs are windows of the program; the bus work
    // they start runs on the flow runner.
    auto button = [&](FieldId f) { return form_->ControlAs<QAbstractButton>(f); };
    if (auto* b = button(fld::ButtonCalculateLW))
        connect(b, &QAbstractButton::clicked, this, [this, core] {
            // In operation mode the device buttons stay off while the dialog is open.
            if (core->VAVBetrieb.BetriebAktiv.load())
                core->EnableDeviceButtons(false);
            auto* dlg = new TLeitwertForm(*core, form_.get());
            dlg->setAttribute(Qt::WA_DeleteOnClose);
            connect(this, &TMainWindowController::LanguageChanged, dlg, &TLeitwertForm::Retranslate);
            connect(dlg, &QDialog::finished, this, [core] {
                if (core->VAVBetrieb.BetriebAktiv.load())
                    core->EnableDeviceButtons(true);
            });
            dlg->open();
        });
    if (auto* b = button(fld::ButtonCalculateDichte))
        connect(b, &QAbstractButton::clicked, this, [this, core] {
            auto* dlg = new TDichteForm(*core, UmgebungFlow::Confirm::Anpassen, form_.get());
            dlg->setAttribute(Qt::WA_DeleteOnClose);
            connect(this, &TMainWindowController::LanguageChanged, dlg, &TDichteForm::Retranslate);
            dlg->open();
        });
    if (QTabWidget* tabs = form_->PageControl())
        connect(tabs, &QTabWidget::currentChanged, this, [core](int) { core->PageControl1Change(); });
    // A modal dialog of the window itself, not a device action.
    if (QAction* a = form_->Action(fld::ExtrasRegSetting))
        connect(a, &QAction::triggered, this, [this] { openRegFkt(); });
    if (QAction* a = form_->Action(fld::ExtrasOptionen))
        connect(a, &QAction::triggered, this, [this] { optSetForm_->open(); });
    if (QAction* a = form_->Action(fld::HilfeInfo))
        connect(a, &QAction::triggered, this, [this] { infoForm_->open(); });
    // The bus service windows; the addressing dialog takes the polling threads over from the
    // raw command window.
    const auto openAddressing = [this](const QString& serial) {
        zbCmdForm_->Flow().ClearRunning();
        zbCmdForm_->close();
        zbAdrForm_->PresetSerial(serial);
        zbAdrForm_->open();
    };
    if (QAction* a = form_->Action(fld::ExtrasZBAdress))
        connect(a, &QAction::triggered, this, [openAddressing] { openAddressing(QString()); });
    busScanForm_->OnAddress = openAddressing;
    if (QAction* a = form_->Action(fld::ExtrasZBCommand))
        connect(a, &QAction::triggered, this, [this] {
            zbCmdForm_->show();
            zbCmdForm_->raise();
            zbCmdForm_->activateWindow();
        });
    if (QAction* a = form_->Action(fld::ExtrasVerlauf))
        connect(a, &QAction::triggered, this, [this] {
            historyForm_->show();
            historyForm_->raise();
            historyForm_->activateWindow();
        });
    if (QAction* a = form_->Action(fld::ExtrasBusScan))
        connect(a, &QAction::triggered, this, [this] {
            zbCmdForm_->close();
            busScanForm_->open();
        });
    if (QAction* a = form_->Action(fld::DateiOeffnen))
        connect(a, &QAction::triggered, this, [this] { openDataFile(); });
    if (QAction* a = form_->Action(fld::DateiSpeichern))
        connect(a, &QAction::triggered, this, [this] { saveDataFile(); });
    if (QAction* a = form_->Action(fld::DateiSpeichernUnter))
        connect(a, &QAction::triggered, this, [this] { saveDataFileAs(); });
    if (QAction* a = form_->Action(fld::DateiDrucken))
        connect(a, &QAction::triggered, this, [this] { printReport(); });
    if (QAction* a = form_->Action(fld::DateiDruckenInDatei))
        connect(a, &QAction::triggered, this, [this] { printReportToFile(); });
}

QStringList TMainWindowController::reportLines()
{
    QStringList lines = BuildSettingsReport(model_, core_->OEMData, core_->Ctx.ReglerFkt.load(),
                                            core_->Ctx.UnitIndex.load(), IniEinstDatText, QDateTime::currentDateTime());
    if (const QStringList historyLines = core_->History.ReportLines(); !historyLines.isEmpty())
        lines << QString() << historyLines;
    return lines;
}

void TMainWindowController::printReport()
{
    QPrinter printer;
    printer.setDocName(QString::fromLatin1(kReportTitle));
    QPrintDialog dlg(&printer, form_.get());
    if (dlg.exec() != QDialog::Accepted)
        return;
    QString why;
    if (!PaintReport(printer, reportLines(), &why))
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Information, IniMessageText.Msg(17) + QLatin1Char('\n') + why);
}

void TMainWindowController::printReportToFile()
{
    const QString proposed = QDir(QFileInfo(iniPath_).absolutePath()).filePath(IniText.SettingsFileName);
    QFileDialog dlg(form_.get(), QString(), proposed, QStringLiteral("Kadex (*.txt)"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QStringLiteral("txt"));
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.selectFile(proposed);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    const QString path = dlg.selectedFiles().first();
    if (QFileInfo::exists(path) &&
        !dialogs().Confirm(form_.get(), IniMessageText.Msg(5) + QLatin1Char(' ') + path + QLatin1Char(' ') +
                                            IniMessageText.Msg(6)))
        return;
    if (!SaveSettingsReport(path, reportLines()).isEmpty())
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Information, IniMessageText.Msg(17) + QLatin1Char('\n') + path);
}

QString TMainWindowController::dataFolder() const
{
    return IniPath.DefaultDatei.isEmpty() ? DefaultDataFileDir() : IniPath.DefaultDatei;
}

void TMainWindowController::retranslate()
{
    // Model-bound controls follow the model; the layout's own texts are set here.
    static const QStringList sections = [] {
        QStringList out;
        for (const auto& [section, keys] : KnownLanguageKeys())
            if (!IsWidgetLanguageSection(section))
                out << section;
        return out;
    }();
    gui::ApplyWidgetTexts(*form_, sections, [this](const QString& element) { return binder_->isBound(element); },
                          core_->Ctx.ReglerFkt.load());
    // The dialogs made once; those opened on demand take the texts when they are made.
    const auto isField = [](const QString& element) { return fieldByName(element).has_value(); };
    const int fkt = core_->Ctx.ReglerFkt.load();
    gui::ApplyWidgetTexts(*optSetForm_, {QStringLiteral("FORM_OPTIONEN")}, isField, fkt);
    gui::ApplyWidgetTexts(*regFktForm_, {QStringLiteral("FORM_REGLERFUNKTION")}, isField, fkt);
    gui::ApplyWidgetTexts(*zbCmdForm_, {QStringLiteral("FORM_ZB_COMMAND")});
    gui::ApplyWidgetTexts(*busScanForm_, {QStringLiteral("FORM_BUS_SCAN")});
    zbAdrForm_->Retranslate();
    busScanForm_->Retranslate();
    zbCmdForm_->Retranslate();
    if (auto* plot = form_->findChild<gui::LivePlot*>())
        plot->Retranslate();
    if (currentFileName_.isEmpty())
        form_->setWindowTitle(IniText.FormTitle);
    else
        showFileTitle();
}

void TMainWindowController::showFileTitle()
{
    form_->setWindowTitle(IniText.FormTitle + QStringLiteral("   ") + QFileInfo(currentFileName_).fileName());
}

void TMainWindowController::openDataFile()
{
    const QString path = dialogs().ChooseOpenFile(form_.get(), QStringLiteral("VAV (*.vav)"), dataFolder());
    if (path.isEmpty())
        return;
    VavError refusal;
    const QString msg = core_->DefaultFile.Open(path, &refusal);
    if (msg.isEmpty()) {
        currentFileName_ = path;
        showFileTitle();
        return;
    }
    const bool typeError = msg == IniMessageText.Msg(4);
    dialogs().Message(form_.get(), typeError ? IProgramDialogs::Kind::Error : IProgramDialogs::Kind::Information, msg);
}

void TMainWindowController::saveDataFile()
{
    if (currentFileName_.isEmpty() || QFileInfo(currentFileName_).fileName() == IniText.DefaultFileName) {
        saveDataFileAs();
        return;
    }
    showFileTitle();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const QString msg = core_->DefaultFile.Save(currentFileName_);
    QApplication::restoreOverrideCursor();
    if (!msg.isEmpty())
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Information, msg);
}

void TMainWindowController::saveDataFileAs()
{
    const QString proposed = currentFileName_.isEmpty() ? QDir(dataFolder()).filePath(IniText.DefaultFileName)
                                                        : currentFileName_;
    QString path = dialogs().ChooseSaveFile(form_.get(), QStringLiteral("Kadex (*.vav)"), proposed);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".vav");
    if (QFileInfo::exists(path) &&
        !dialogs().Confirm(form_.get(), IniMessageText.Msg(5) + QLatin1Char(' ') + path + QLatin1Char(' ') +
                                            IniMessageText.Msg(6)))
        return;
    currentFileName_ = path;
    showFileTitle();
    // A chosen name that is the default name is saved all the same.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const QString msg = core_->DefaultFile.Save(currentFileName_);
    QApplication::restoreOverrideCursor();
    if (!msg.isEmpty())
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Information, msg);
}

void TMainWindowController::createDialogs()
{
    // Made after the main window's binder: their controls are bound by their own binders.
    sensorForm_ = new TSensorForm(model_, form_.get());
    antriebForm_ = new TAntriebForm(model_, form_.get());
    regFktForm_ = new TRegFktForm(model_, form_.get());
    TMainCore* core = core_.get();
    optSetForm_ = new TOptSetForm(
        *core, [this](QWidget* parent, const QString& prompt, const QString& start) {
            return dialogs().ChooseFolder(parent, prompt, start);
        },
        form_.get());
    zbAdrForm_ = new TZBAdrForm(*core, form_.get());
    zbCmdForm_ = new TZBCmdForm(*core, FindDataFile(QStringLiteral("ZBCommands.txt")), form_.get());
    busScanForm_ = new TBusScanForm(*core, form_.get());
    infoForm_ = new TInfoForm(form_.get());
    connect(this, &TMainWindowController::LanguageChanged, infoForm_, &TInfoForm::Retranslate);
    historyForm_ = new THistoryForm(*core, form_.get());
    // History problems go to the status bar, once each; the recorder runs on the flow runner.
    core->History.OnMessage = [this](const QString& text, bool) {
        QMetaObject::invokeMethod(this, [this, text] { model_.setText(kStatusMessage, text); }, Qt::QueuedConnection);
    };
    core->History.OnRecorded = [this](const history::Record&) {
        QMetaObject::invokeMethod(this, [this] {
            if (historyForm_->isVisible())
                historyForm_->Reload();
        }, Qt::QueuedConnection);
    };
    core->Options.SetPorts(TComPortEnumerator::PortNames());
    // The log is written on the flow runner; its boxes belong to the window thread.
    core->ActionLog.OnMessage = [this](const QString& text, bool error) {
        QMetaObject::invokeMethod(this, [this, text, error] {
            dialogs().Message(form_.get(), error ? IProgramDialogs::Kind::Error : IProgramDialogs::Kind::Information,
                              text);
        }, Qt::QueuedConnection);
    };
    core->Options.OnError = [this](const QString& text) {
        dialogs().Message(optSetForm_, IProgramDialogs::Kind::Error, text);
    };
    TDialogLogic& dialogs = core->Dialogs;
    dialogs.Forms.Hooks.Defer = [this](int ms, std::function<void()> fn) {
        QMetaObject::invokeMethod(this, [this, ms, fn] { QTimer::singleShot(ms, this, fn); }, Qt::QueuedConnection);
    };
    connect(sensorForm_, &TSensorForm::FocusedWriteRequested, this, &TMainWindowController::focusedWrite);
    // Exactly Ctrl+S: with Shift or Alt, or S alone, the key sequence does not match. Only
    // with the focus in the main window itself: a tool window's own Ctrl+S (the sensor dialog
    // passes it on) would otherwise meet this one and neither would fire.
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), form_.get());
    save->setContext(Qt::WidgetWithChildrenShortcut);
    connect(save, &QShortcut::activated, this, &TMainWindowController::focusedWrite);

    // The function dialog runs where the other window changes run, with the polling paused.
    const auto resume = [core] {
        if (core->VAVBetrieb.BetriebAktiv.load())
            core->ResumeBetriebThread();
        else
            core->ResumeVerbindenThread();
    };
    regFktForm_->OnOk = [core, resume] {
        core->Flows.Post("RegFktOk", [core, resume] {
            core->Dialogs.RegFkt.Ok();
            resume();
        });
    };
    regFktForm_->OnCancel = [core, resume] {
        core->Flows.Post("RegFktAbort", [core, resume] {
            core->Dialogs.RegFkt.Cancel();
            resume();
        });
    };
    regFktForm_->OnEscape = [core, resume] {
        core->Flows.Post("RegFktClose", [core, resume] {
            core->Dialogs.RegFkt.Close();
            resume();
        });
    };
    // Double-clicking a chosen "variabel" opens its dialog again after it was closed.
    for (FieldId f : {fld::RadioButtonDPKVariabel, fld::RadioButtonAntr_Variabel})
        if (QWidget* w = form_->Control(f.name()))
            w->installEventFilter(this);
}

void TMainWindowController::openRegFkt()
{
    TMainCore* core = core_.get();
    if (!model_.visible(fld::ExtrasRegSetting))
        return;
    core->Flows.Post("ExtrasRegSetting", [core] {
        core->SuspendVerbindenThread();
        core->SuspendBetriebThread();
        core->Dialogs.RegFkt.Show();
    });
}

void TMainWindowController::focusedWrite()
{
    // The field with the keyboard focus is the focused control, or the one it is part of (a
    // spin box's line edit).
    FocusedValue focus;
    focus.sensorDialog = sensorForm_ && QApplication::activeWindow() == sensorForm_;
    for (QWidget* w = QApplication::focusWidget(); w && !focus.field; w = w->parentWidget()) {
        const auto f = fieldByName(w->objectName());
        if (f && model_.has(*f))
            focus.field = f;
        if (w->isWindow())
            break;
    }
    core_->FocusedWrite.Request(focus);
}

bool TMainWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == form_->Control(fld::RadioButtonDPKVariabel.name()) && model_.checked(fld::RadioButtonDPKVariabel))
            core_->Dialogs.Forms.ShowSensorDialog(true);
        else if (watched == form_->Control(fld::RadioButtonAntr_Variabel.name()) &&
                 model_.checked(fld::RadioButtonAntr_Variabel))
            core_->Dialogs.Forms.ShowActuatorDialog(true);
    }
    // The event type first: while the window is being destroyed, its pointer must not be
    // converted for the comparison.
    if (event->type() == QEvent::Close && !closed_ && watched == form_.get()) {
        // The closing flow runs behind the running flow on the flow runner; the window closes
        // when it reports done, so this thread never waits for the bus.
        event->ignore();
        if (!closePosted_) {
            closePosted_ = true;
            QPointer<TMainWindowController> self(this);
            core_->PostClose([self] {
                QMetaObject::invokeMethod(
                    self.data(),
                    [self] {
                        if (self)
                            self->closingDone();
                    },
                    Qt::QueuedConnection);
            });
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TMainWindowController::closingDone()
{
    QString why;
    if (!writeSettings(&why)) {
        // Said once, in the status bar and in a box, before the window goes.
        const QString text = QString(IniStatusText.SettingsNotSaved).arg(why);
        model_.setText(kStatusMessage, text);
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Error, text);
    }
    form_->close();
}

void TMainWindowController::RequestClose()
{
    QMetaObject::invokeMethod(form_.get(), &QWidget::close, Qt::QueuedConnection);
}

void TMainWindowController::ShowHelp()
{
    QMetaObject::invokeMethod(this, [this] { openHelp(); }, Qt::QueuedConnection);
}

void TMainWindowController::loadSettings()
{
    ToolIniSeeding seeding;
    SeedToolIni(&seeding);
    if (!seeding.keptAs.isEmpty())
        settingsNotice_ = seeding.keptAs; // told once the window shows
    iniPath_ = GetToolIniPath();
    ReadToolIni(iniPath_);
    StartupSettings = TStartupSettings::FromToolIni();
    if (!options_.simulate && !options_.portPath.isEmpty())
        StartupSettings.ComPath = options_.portPath;
}

bool TMainWindowController::writeSettings(QString* error)
{
    if (closed_)
        return true;
    closed_ = true;
    IniConfig.Tabsheet = static_cast<uint8_t>(std::max(0, model_.itemIndex(fld::PageControl1)));
    IniConfig.ZBAdrIndex = static_cast<uint8_t>(std::max(0, model_.itemIndex(fld::ComboBoxZBAdress)));
    IniConfig.ReglerFkt = static_cast<uint8_t>(core_->Ctx.ReglerFkt.load() == 2 ? 2 : 1);
    // "Default laden" may have switched the unit set.
    IniConfig.EinheitIndex = static_cast<uint8_t>(std::clamp(core_->Ctx.UnitIndex.load(), 0, 2));
    // Without a settings file the choices are not kept (and never were): nothing to tell.
    if (iniPath_.isEmpty() || !QFileInfo(iniPath_).isFile())
        return true;
    QString why;
    if (WriteToolIni(iniPath_, &why))
        return true;
    qWarning("Settings not saved: %s", qPrintable(why));
    if (error)
        *error = why;
    return false;
}

void TMainWindowController::openHelp()
{
    const QStringList folders = options_.helpFolders.isEmpty() ? HelpFolders() : options_.helpFolders;
    const QString path = ResolveHelpFile(SprachWahl.SprachDatei, core_->Ctx.ReglerFkt.load(), folders);
    SprachWahl.HilfeDatei = QFileInfo(path).fileName();
    const QString msg = IniMessageText.Msg(3);
    if (!QFileInfo(path).isFile()) {
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Information, HelpMissingText(msg, path));
        return;
    }
    int failure = 0;
    if (!QFileInfo(path).isReadable())
        failure = kHelpAccessDenied;
    else if (!dialogs().OpenDocument(path))
        failure = kHelpNoViewer;
    if (failure)
        dialogs().Message(form_.get(), IProgramDialogs::Kind::Information, HelpOpenFailedText(msg, failure, path));
}

void TMainWindowController::ShowPortError(const QString& text)
{
    QMetaObject::invokeMethod(this, "showPortErrorOnGui", Qt::QueuedConnection, Q_ARG(QString, text));
}

void TMainWindowController::showPortErrorOnGui(const QString& text)
{
    dialogs().Message(form_.get(), IProgramDialogs::Kind::Error, text);
}

void TMainWindowController::SetBusyCursor(bool busy)
{
    QMetaObject::invokeMethod(this, "setBusyOnGui", Qt::QueuedConnection, Q_ARG(bool, busy));
}

namespace {

// Tells a focus the user moved (click, shortcut, his own Tab) from one the disabling moved on
// (also a Tab reason, but without a Tab key before it).
class UserFocusWatch : public QObject {
public:
    using QObject::QObject;
    bool moved = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int k = static_cast<QKeyEvent*>(event)->key();
            tabKey_ = k == Qt::Key_Tab || k == Qt::Key_Backtab;
        } else if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason r = static_cast<QFocusEvent*>(event)->reason();
            if (r == Qt::MouseFocusReason || r == Qt::ShortcutFocusReason ||
                (tabKey_ && (r == Qt::TabFocusReason || r == Qt::BacktabFocusReason)))
                moved = true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool tabKey_ = false;
};

} // namespace

void TMainWindowController::setBusyOnGui(bool busy)
{
    if (busy) {
        if (busyDepth_++ == 0) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
            QWidget* focus = QApplication::focusWidget();
            focusBeforeBusy_ = focus && focus->window() == form_.get() ? focus : nullptr;
            delete userFocusWatch_;
            userFocusWatch_ = new UserFocusWatch(this);
            qApp->installEventFilter(userFocusWatch_);
        }
    } else if (busyDepth_ > 0) {
        if (--busyDepth_ == 0) {
            QApplication::restoreOverrideCursor();
            const bool userMoved = userFocusWatch_ && static_cast<UserFocusWatch*>(userFocusWatch_)->moved;
            delete userFocusWatch_; // removes its filter
            userFocusWatch_ = nullptr;
            if (userMoved)
                focusBeforeBusy_ = nullptr;
            restoreFocus();
        }
    }
}

void TMainWindowController::restoreFocus()
{
    // The enabling that ends the busy phase was posted before its end, so it is shown by now.
    QWidget* before = focusBeforeBusy_;
    focusBeforeBusy_ = nullptr;
    if (!before || QApplication::focusWidget() == before)
        return;
    const auto canTake = [](const QWidget* w) {
        return w && w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus);
    };
    if (canTake(before)) {
        before->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (QWidget* lesen = form_->Control(QStringLiteral("ButtonLesen")); canTake(lesen))
        lesen->setFocus(Qt::OtherFocusReason);
}

} // namespace kadex
