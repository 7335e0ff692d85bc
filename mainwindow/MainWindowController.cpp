#include "mainwindow/MainWindowController.h"

#include "common/Paths.h"
#include "mainwindow/LivePlot.h"
#include "mainwindow/ModelBinder.h"
#include "comm/ComPortEnumerator.h"
#include "device/model/WindowFields.h"
#include "mainwindow/core/PortChoice.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"
#include "sim/PtyServer.h"
#include "sim/SimBus.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace kadex {

namespace {
// Features that later work adds; their commands stay visible but disabled until then.
constexpr FieldId kNotBuiltYet[] = {
    fld::DateiOeffnen, fld::DateiSpeichern, fld::DateiSpeichernUnter, fld::DateiDrucken, fld::DateiDruckenInDatei,
    fld::ExtrasRegSetting, fld::ToolButtonRegFkt, fld::ExtrasZBAdress, fld::ExtrasOptionen, fld::ExtrasZBCommand,
    fld::HilfeInfo, fld::ButtonTest, fld::ButtonDefaultLaden, fld::ButtonCalculateLW, fld::ButtonCalculateDichte,
    fld::ButtonDruckmessung,
};
} // namespace

TMainWindowController::TMainWindowController(const TProgramOptions& options, QObject* parent)
    : QObject(parent), options_(options), model_(mainWindowFields())
{
    loadSettings();
    std::unique_ptr<ITransport> transport; // the machine's serial port
    QString simPath;
    if (options_.simulate) {
        simBus_ = std::make_shared<sim::SimBus>();
        pty_ = std::make_unique<sim::PtyServer>();
        std::string err;
        if (pty_->start(simBus_, &err))
            simPath = QString::fromStdString(pty_->slavePath());
    }
    core_ = std::make_unique<TMainCore>(model_, std::move(transport), this);
    core_->SetPollPeriodMs(options_.pollPeriodMs);
    for (FieldId f : kNotBuiltYet)
        core_->Unavailable.insert(f);
    if (!simPath.isEmpty())
        StartupSettings.ComPath = simPath;
    else if (!options_.portPath.isEmpty())
        StartupSettings.ComPath = options_.portPath;

    form_ = std::make_unique<TMainForm>();
    form_->setWindowTitle(QStringLiteral("Kadex Tool"));
    form_->installEventFilter(this);
    binder_ = new ModelBinder(model_, *form_, this);
    if (auto* plot = form_->findChild<gui::LivePlot*>()) {
        TPollThread& op = core_->BetriebThread();
        plot->Attach(model_, [&op] { return op.StepsRun(); }, [&op] { return op.StepRunning(); });
    }
    core_->FormCreate();
    wireActions();
    core_->Start();
}

TMainWindowController::~TMainWindowController()
{
    closing();
    delete binder_;
    binder_ = nullptr;
    form_.reset();
    core_.reset();
    if (pty_)
        pty_->stop();
}

void TMainWindowController::Show()
{
    form_->show();
    QTimer::singleShot(10, this, &TMainWindowController::startTimer);
}

void TMainWindowController::startTimer()
{
    TStartupSettings st = StartupSettings;
    if (pty_ && !pty_->slavePath().empty())
        st.ComPath = QString::fromStdString(pty_->slavePath());
    else if (!options_.simulate && options_.portPath.isEmpty())
        choosePort(st);
    core_->StartTimerTimer(st);
}

void TMainWindowController::choosePort(TStartupSettings& st)
{
    const QString stored = st.ComPath.isEmpty() ? TComForm::DevicePathForNumber(st.ComNr) : st.ComPath;
    const TPortChoice c = ChoosePort(stored, TComPortEnumerator::PortNames(), QFileInfo::exists(stored));
    QString chosen;
    if (c.action == TPortChoice::Action::Pick) {
        chosen = c.port;
    } else if (c.action == TPortChoice::Action::Ask && !options_.quietErrors) {
        bool ok = false;
        const QString text = QString(IniStatusText.PortChoice).replace(QStringLiteral("%PORT%"), stored);
        chosen = QInputDialog::getItem(form_.get(), QStringLiteral("Kadex Tool"), text, c.ports, 0, false, &ok);
        if (!ok)
            chosen.clear();
    }
    if (chosen.isEmpty())
        return; // the stored port stays; its open error tells why nothing connects
    st.ComPath = chosen;
    StartupSettings.ComPath = chosen;
    IniCom.COMPort = chosen; // remembered like a port chosen in the options
}

void TMainWindowController::wireActions()
{
    TMainWindowController* self = this;
    TMainCore* core = core_.get();
    auto button = [&](FieldId f) { return form_->ControlAs<QAbstractButton>(f); };

    if (auto* b = button(fld::ButtonLesen))
        connect(b, &QAbstractButton::clicked, self, [core] { core->Flows.Post("Lesen", [core] { core->ButtonLesenClick(); }); });
    if (auto* b = button(fld::ButtonSetzen))
        connect(b, &QAbstractButton::clicked, self, [core] { core->Flows.Post("Setzen", [core] { core->ButtonSetzenClick(); }); });
    if (auto* b = button(fld::SpeedButtonBetrieb))
        connect(b, &QAbstractButton::clicked, self, [core] {
            core->Flows.Post("Betrieb", [core] { core->SpeedButtonBetriebClick(); });
        });
    if (auto* b = button(fld::RadioBetrVariabel))
        connect(b, &QAbstractButton::clicked, self, [core] { core->SetpointRefresh = true; });
    if (auto* b = button(fld::ButtonClear))
        connect(b, &QAbstractButton::clicked, self, [core] { core->Transfer.Clear(); });
    if (auto* b = button(fld::ButtonResetAlarm))
        connect(b, &QAbstractButton::clicked, self, [this] {
            model_.setItems(fld::ListBoxAlarme, {});
            model_.setEnabled(fld::ButtonResetAlarm, false);
        });
    if (auto* combo = form_->ControlAs<QComboBox>(fld::ComboBoxZBAdress))
        connect(combo, QOverload<int>::of(&QComboBox::activated), self, [core](int) {
            core->Flows.Post("ZBAdresse", [core] { core->ComboBoxZBAdressChange(); });
        });
    if (QTabWidget* tabs = form_->PageControl())
        connect(tabs, &QTabWidget::currentChanged, self, [core](int) { core->PageControl1Change(); });
    if (QAction* a = form_->Action(fld::ExtrasTransferAnzeige))
        connect(a, &QAction::triggered, self, [core](bool on) { core->SetTransferDisplay(on); });
    if (QAction* a = form_->Action(fld::DateiBeenden))
        connect(a, &QAction::triggered, form_.get(), &QWidget::close);
    if (QAction* a = form_->Action(fld::HilfeHilfePdf))
        connect(a, &QAction::triggered, self, [this] { openHelp(); });
}

bool TMainWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == form_.get() && event->type() == QEvent::Close)
        closing();
    return QObject::eventFilter(watched, event);
}

void TMainWindowController::loadSettings()
{
    SeedToolIni();
    iniPath_ = GetToolIniPath();
    ReadToolIni(iniPath_);
    StartupSettings = TStartupSettings::FromToolIni();
    if (!options_.portPath.isEmpty())
        StartupSettings.ComPath = options_.portPath;
}

void TMainWindowController::closing()
{
    if (closed_)
        return;
    closed_ = true;
    core_->Close();
    IniConfig.Tabsheet = static_cast<uint8_t>(std::max(0, model_.itemIndex(fld::PageControl1)));
    IniConfig.ZBAdrIndex = static_cast<uint8_t>(std::max(0, model_.itemIndex(fld::ComboBoxZBAdress)));
    if (!iniPath_.isEmpty())
        WriteToolIni(iniPath_);
}

void TMainWindowController::openHelp()
{
    const QString path = ProgramDir() + QStringLiteral("Kadexgerm.pdf");
    const QString msg = IniMessageText.Msg(3);
    if (!QFileInfo::exists(path)) {
        QMessageBox::information(form_.get(), QStringLiteral("Kadex Tool"), msg + QLatin1Char('\n') + path);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::information(form_.get(), QStringLiteral("Kadex Tool"), msg + QLatin1Char('\n') + path);
}

void TMainWindowController::ShowPortError(const QString& text)
{
    QMetaObject::invokeMethod(this, "showPortErrorOnGui", Qt::QueuedConnection, Q_ARG(QString, text));
}

void TMainWindowController::showPortErrorOnGui(const QString& text)
{
    ++portErrors_;
    lastPortError_ = text;
    if (!options_.quietErrors)
        QMessageBox::critical(form_.get(), QStringLiteral("Kadex Tool"), text);
}

void TMainWindowController::SetBusyCursor(bool busy)
{
    QMetaObject::invokeMethod(this, "setBusyOnGui", Qt::QueuedConnection, Q_ARG(bool, busy));
}

void TMainWindowController::setBusyOnGui(bool busy)
{
    if (busy) {
        if (busyDepth_++ == 0) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
            QWidget* focus = QApplication::focusWidget();
            focusBeforeBusy_ = focus && focus->window() == form_.get() ? focus : nullptr;
        }
    } else if (busyDepth_ > 0) {
        if (--busyDepth_ == 0) {
            QApplication::restoreOverrideCursor();
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
