// The desktop program on the offscreen platform against the simulated controller: start-up,
// connection supervision as the window shows it, the Transfer view, port errors, the single
// instance and the orderly end.
#include "tests/gui/Pump.h"
#include "device/model/WindowFields.h"
#include "mainwindow/MainWindowController.h"
#include "tests/VirtualClock.h"
#include "tests/gui/RecordingDialogs.h"
#include "sim/PtyServer.h"
#include "settings/Trace.h"
#include "common/TextFile.h"
#include "device/model/WindowFields.h"
#include "sim/SimBus.h"

#include <QKeyEvent>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QThread>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>

#include <atomic>

#include <gtest/gtest.h>

using namespace kadex;

namespace {

// Runs the event loop until cond holds or ms passed.
using kadex::test::pump;

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    }
    void start(TProgramOptions o)
    {
        o.dialogs = &dialogs;
        ctl = std::make_unique<TMainWindowController>(o);
        ctl->Show();
    }
    // Like pump, for a program on the virtual clock: virtual time moves on whenever no polling
    // step and no flow runs, so polling periods and timers pass at once while bus transfers keep
    // their real timing (and the pause bound is never cut short by a jump).
    bool pumpVirtual(const std::function<bool()>& cond, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!cond()) {
            if (t.elapsed() > ms)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 2);
            TMainCore& core = ctl->Core();
            if (!core.VerbindenThread().StepRunning() && !core.BetriebThread().StepRunning() && !core.Flows.Busy())
                vclock.Advance(50);
        }
        return true;
    }
    // About ms of virtual time with the program running.
    void passVirtual(uint64_t ms)
    {
        const uint64_t end = vclock.NowMs() + ms;
        pumpVirtual([&] { return vclock.NowMs() >= end; }, 20000);
    }
    QString field(const char* name)
    {
        auto* e = ctl->Form().ControlAs<QLineEdit>(QString::fromLatin1(name));
        return e ? e->text() : QStringLiteral("<missing>");
    }

    QTemporaryDir home;
    test::RecordingDialogs dialogs;
    test::VirtualClock vclock;
    std::unique_ptr<TMainWindowController> ctl;
};

} // namespace

TEST_F(Program, StartUpConnectsToTheSimulatedController)
{
    TProgramOptions o;
    o.simulate = true;
    start(o);
    ASSERT_TRUE(pump([&] { return field("EditSerNr") == "00812-04711-003-001"; }, 20000));
    ASSERT_TRUE(pump([&] { return field("EditFirmware") == "0308"; }, 20000));
    EXPECT_EQ(field("EditConfTableID"), "0310");
    EXPECT_EQ(field("EditFenwix"), "Kadex");
    EXPECT_EQ(field("EditZBAdr"), "PP");
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    ASSERT_TRUE(pump([&] { return ctl->Form().ControlAs<QAbstractButton>("ButtonLesen")->isEnabled(); }, 5000));
    EXPECT_EQ(field("EditVnomM3"), "250");
    // Features of later work are there but disabled.
    // The bus service commands follow the open port.
    EXPECT_TRUE(pump([&] { return ctl->Form().Action("ExtrasZBCommand")->isEnabled(); }, 5000));
    EXPECT_TRUE(ctl->Form().Action("DateiOeffnen")->isEnabled());
    EXPECT_TRUE(ctl->Form().Action("DateiBeenden")->isEnabled());
}

TEST_F(Program, StartUpWritesTheMainWindowsTracePoints)
{
    qputenv("KADEX_TRACE", "1");
    TTrace::Instance().Setup();
    qunsetenv("KADEX_TRACE");
    ASSERT_TRUE(TTrace::Enabled());
    TProgramOptions o;
    o.simulate = true;
    start(o);
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    ctl->Form().close();
    ctl.reset();
    TTrace::Instance().SetEnabled(false);

    QFile file(home.path() + "/Kadex_Logs/Log.sil");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // "<time> [<thread>] <kind> <text>": the kind and the text, in file order.
    QStringList entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString l = QString::fromUtf8(line);
        const qsizetype thread = l.indexOf(QLatin1String("] "));
        if (thread > 0)
            entries << l.mid(thread + 2);
    }
    // Each operation in order; the connect step runs on the flow runner, beside the start-up.
    const QList<QStringList> sequences = {
        {"Enter TMainCore.FormCreate", "Leave TMainCore.FormCreate", "Enter TMainCore.StartTimerTimer",
         "Message Enabling Tab Sheets", "Enter TVAVBetrieb.SetData", "Leave TMainCore.StartTimerTimer"},
        {"Enter TMainCore.StartTimerTimer", "Enter TMainCore.COMVerbinden", "Message Trying to open ComPort",
         "Message ComPort opened", "Message Setting DTR and RTS", "Message Identifying ZBDevice",
         "Value ZBDevice identified = True", "Message Enabling second timer", "Enter TMainCore.ReadConfig",
         "Enter TVAVBetrieb.ReadData", "Value Konfiguration ist gleich:  = True", "Leave TMainCore.ReadConfig",
         "Leave TMainCore.COMVerbinden", "Enter TMainCore.FormCloseQuery", "Leave TMainCore.FormCloseQuery"},
    };
    for (const QStringList& expected : sequences) {
        qsizetype at = 0;
        for (const QString& e : expected) {
            const qsizetype found = entries.indexOf(e, at);
            ASSERT_GE(found, 0) << "missing or out of order: " << e.toStdString();
            at = found + 1;
        }
    }
}

TEST_F(Program, FocusGoesBackAfterReadingAndNeverIntoAReadOnlyField)
{
    TProgramOptions o;
    o.simulate = true;
    start(o);
    auto* lesen = ctl->Form().ControlAs<QAbstractButton>("ButtonLesen");
    // The start-up read's busy phase must be over: its end puts the focus back where it was.
    ASSERT_TRUE(pump([&] {
        return ctl->Core().DataRead.load() && lesen->isEnabled() && !ctl->Core().Flows.Busy() &&
               !QApplication::overrideCursor();
    }, 20000));
    ctl->Form().activateWindow();
    ASSERT_TRUE(pump([&] { return QApplication::activeWindow() == &ctl->Form(); }, 5000));
    // Every widget the focus visits meanwhile.
    QList<QPointer<QWidget>> visited;
    // Counted on the changing thread, so a read too short to be seen in the window still counts.
    std::atomic<int> readsBegun{0};
    WindowModel& model = ctl->Model();
    const int listener = model.addListener([&](const QString& f, Prop p) {
        if (p == Prop::Enabled && f == fld::ButtonLesen.name() && !model.enabled(fld::ButtonLesen))
            ++readsBegun;
    });
    const QMetaObject::Connection watch = QObject::connect(
        qApp, &QApplication::focusChanged, &ctl->Form(), [&visited](QWidget*, QWidget* now) { visited << now; });
    for (const bool viaKeyboardFocus : {true, false}) {
        SCOPED_TRACE(viaKeyboardFocus ? "Lesen focused" : "focus in V'nom");
        QWidget* before = viaKeyboardFocus ? static_cast<QWidget*>(lesen) : ctl->Form().Control("EditVnomM3");
        before->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(pump([&] { return QApplication::focusWidget() == before; }, 2000));
        visited.clear();
        const int begun = readsBegun.load();
        ASSERT_TRUE(pump([&] { return lesen->isEnabled() && !ctl->Core().Flows.Busy(); }, 20000));
        lesen->click();
        // The read has begun and ended (both may pass within one slice of the event loop).
        ASSERT_TRUE(pump([&] {
            return readsBegun.load() > begun && lesen->isEnabled() && !QApplication::overrideCursor();
        }, 20000));
        EXPECT_TRUE(pump([&] { return QApplication::focusWidget() == before; }, 5000))
            << "focus in " << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
        for (const QPointer<QWidget>& w : visited) {
            if (auto* e = qobject_cast<QLineEdit*>(w.data())) {
                EXPECT_FALSE(e->isReadOnly()) << "focus went to " << e->objectName().toStdString();
            }
        }
    }
    QObject::disconnect(watch);
    model.removeListener(listener);

    // A place the user clicked into while busy is kept; a Tab of his own counts the same.
    for (const Qt::FocusReason reason : {Qt::MouseFocusReason, Qt::TabFocusReason}) {
        lesen->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(pump([&] { return QApplication::focusWidget() == lesen; }, 2000));
        ctl->SetBusyCursor(true);
        ASSERT_TRUE(pump([&] { return QApplication::overrideCursor() != nullptr; }, 2000));
        QWidget* chosen = ctl->Form().Control("EditVnomM3");
        if (reason == Qt::TabFocusReason) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QApplication::sendEvent(lesen, &tab);
        }
        // As a user clicks: into the field once it takes the focus (a polling step may hold
        // the controls for a moment on a loaded machine).
        ASSERT_TRUE(pump([&] {
            chosen->setFocus(reason);
            return QApplication::focusWidget() == chosen;
        }, 5000));
        ctl->SetBusyCursor(false);
        ASSERT_TRUE(pump([&] { return QApplication::overrideCursor() == nullptr; }, 2000));
        pump([] { return false; }, 100);
        EXPECT_EQ(QApplication::focusWidget(), chosen)
            << "reason " << int(reason) << ", focus in "
            << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
    }
    for (QLineEdit* e : ctl->Form().findChildren<QLineEdit*>())
        EXPECT_FALSE(e->isReadOnly() && e->hasSelectedText()) << e->objectName().toStdString();
}

TEST_F(Program, LostAndReplacedControllerAsTheWindowShowsIt)
{
    TProgramOptions o;
    o.simulate = true;
    o.clock = &vclock; // the real 2000 ms period, on virtual time
    start(o);
    ASSERT_TRUE(pumpVirtual([&] { return field("EditSerNr") == "00812-04711-003-001"; }, 20000));
    ASSERT_TRUE(pumpVirtual([&] { return ctl->Core().DataRead.load(); }, 20000));
    ctl->SimulatedBus()->removeController(1);
    ASSERT_TRUE(pumpVirtual([&] { return field("EditSerNr").isEmpty(); }, 15000));
    EXPECT_TRUE(field("EditFirmware").isEmpty());
    EXPECT_FALSE(ctl->Form().ControlAs<QAbstractButton>("ButtonLesen")->isEnabled());
    EXPECT_TRUE(dialogs.Errors().isEmpty());

    sim::Identity other;
    other.w1 = 913;
    other.w2 = 10042;
    other.last = 7;
    ctl->SimulatedBus()->replaceController(1, other);
    ASSERT_TRUE(pumpVirtual([&] { return field("EditSerNr") == "00913-10042-003-007"; }, 15000));
}

TEST_F(Program, PortThatCannotOpenShowsTheErrorAndStaysPaused)
{
    TProgramOptions o;
    o.portPath = QStringLiteral("/dev/kadex-no-such-port");
    start(o);
    ASSERT_TRUE(pump([&] { return dialogs.Errors().size() == 1; }, 10000)); // as an error box
    EXPECT_EQ(dialogs.Errors().front(),
              "Kann COM nicht öffnen! (/dev/kadex-no-such-port)\nDie Schnittstelle ist nicht vorhanden.");
    ASSERT_TRUE(pump([&] { return ctl->Form().StatusField(2)->text() == "Kann COM nicht öffnen!"; }, 5000));
    EXPECT_TRUE(ctl->Core().VerbindenThread().Suspended());
    EXPECT_EQ(ctl->Core().VerbindenThread().StepsRun(), 0);
}

TEST_F(Program, LostPortIsNamedAndReopenedWhenItComesBack)
{
    // The simulator behind a stable path, as an adapter that is pulled and plugged in again.
    auto bus = std::make_shared<sim::SimBus>();
    sim::PtyServer pty;
    pty.setLinkPath(home.filePath("ttyKadex").toStdString());
    std::string why;
    ASSERT_TRUE(pty.start(bus, &why)) << why;
    TProgramOptions o;
    o.portPath = QString::fromStdString(pty.portPath());
    o.clock = &vclock; // the real periods: 2000 ms polling, 1000 ms port watch
    start(o);
    ASSERT_TRUE(pumpVirtual([&] { return ctl->Core().DataRead.load(); }, 20000));
    ASSERT_TRUE(pumpVirtual([&] { return ctl->Core().VerbindenThread().StepsRun() > 0; }, 10000));
    auto* status = ctl->Form().StatusField(2);

    pty.unplug();
    // Generous bounds; bench_lostport measures the real figures.
    ASSERT_TRUE(pump([&] { return status->text() == "Schnittstelle getrennt"; }, 3000)); // without time passing
    EXPECT_EQ(ctl->Model().caption(fld::PanelProgStatus), "Schnittstelle getrennt");
    ASSERT_TRUE(pumpVirtual([&] { return field("EditSerNr").isEmpty(); }, 3000));
    ASSERT_TRUE(pumpVirtual([&] { return ctl->Core().Flows.WaitIdle(0) && ctl->Core().PortWatchActive(); }, 5000));
    EXPECT_TRUE(ctl->Core().VerbindenThread().Suspended());
    EXPECT_TRUE(dialogs.Errors().isEmpty());
    // While gone nothing reaches the bus, for a minute of polling periods and port looks.
    bus->clearRecord();
    passVirtual(60000);
    EXPECT_TRUE(bus->record().empty());
    EXPECT_EQ(ctl->Core().Reconnects(), 0);

    ASSERT_TRUE(pty.plug(&why)) << why;
    ASSERT_TRUE(pumpVirtual([&] { return ctl->Core().Reconnects() == 1; }, 10000));
    ASSERT_TRUE(pumpVirtual([&] { return field("EditSerNr") == "00812-04711-003-001"; }, 10000));
    // The identification is shown before the connect goes on to read the records.
    EXPECT_TRUE(pumpVirtual([&] { return ctl->Core().DataRead.load(); }, 10000));
    EXPECT_TRUE(status->text().isEmpty()) << status->text().toStdString();
    EXPECT_TRUE(dialogs.Errors().isEmpty());
    // Polling resumed: the controller sees the connection step's mode requests again.
    auto modeRequests = [&] {
        int n = 0;
        for (const auto& t : bus->record())
            n += t.command() == 0x4B;
        return n;
    };
    const int afterConnect = modeRequests();
    ASSERT_TRUE(pumpVirtual([&] { return modeRequests() >= afterConnect + 2; }, 10000));
    ctl->Form().close();
    pty.stop();
}

TEST_F(Program, TransferViewTracesOnlyWhileShown)
{
    TProgramOptions o;
    o.simulate = true;
    o.pollPeriodMs = 300;
    start(o);
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    auto* memo = ctl->Form().ControlAs<QPlainTextEdit>("MemoCOMTransf");
    ASSERT_NE(memo, nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    ctl->Form().Action("ExtrasTransferAnzeige")->trigger();
    EXPECT_TRUE(pump([&] { return ctl->Form().PageControl()->isTabVisible(4); }, 5000));
    // The request line, then its answer line.
    EXPECT_TRUE(pump([&] {
        const QString t = memo->toPlainText();
        const qsizetype request = t.indexOf("<- ZB_GetMode : 11 4B 00 5A");
        return request >= 0 && t.indexOf("-> ", request) > request;
    }, 10000)) << memo->toPlainText().toStdString();
    ctl->Form().Action("ExtrasTransferAnzeige")->trigger();
    EXPECT_TRUE(pump([&] { return !ctl->Form().PageControl()->isTabVisible(4); }, 5000));
    // A step that was running when the view was hidden may still deliver its lines: let it end
    // and its lines arrive before clearing.
    const int hiddenAt = ctl->Core().VerbindenThread().StepsRun();
    ASSERT_TRUE(pump([&] { return ctl->Core().VerbindenThread().StepsRun() > hiddenAt + 1; }, 10000));
    QApplication::processEvents();
    ctl->Form().ControlAs<QAbstractButton>("ButtonClear")->click();
    QApplication::processEvents();
    const int steps = ctl->Core().VerbindenThread().StepsRun();
    ASSERT_TRUE(pump([&] { return ctl->Core().VerbindenThread().StepsRun() > steps + 1; }, 10000));
    QApplication::processEvents();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST_F(Program, ClosingDuringOperationReleasesTheForcedMode)
{
    TProgramOptions o;
    o.simulate = true;
    o.pollPeriodMs = 300;
    start(o);
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    auto* betrieb = ctl->Form().ControlAs<QAbstractButton>("SpeedButtonBetrieb");
    ASSERT_TRUE(pump([&] { return betrieb->isEnabled(); }, 5000))
        << "model says " << ctl->Model().enabled(kadex::fld::SpeedButtonBetrieb);
    betrieb->click();
    ASSERT_TRUE(pump([&] { return ctl->Core().VAVBetrieb.BetriebAktiv.load(); }, 10000));
    auto* zu = ctl->Form().ControlAs<QAbstractButton>("RadioBetrZu");
    ASSERT_TRUE(pump([&] { return zu->isEnabled(); }, 5000));
    zu->click();
    auto bus = ctl->SimulatedBus();
    ASSERT_TRUE(pump([&] { return bus->mode(1) == 2; }, 10000));
    ctl->Form().close(); // posts the closing flow; the window closes when it is done
    ASSERT_TRUE(pump([&] { return !ctl->Form().isVisible(); }, 10000));
    const auto r = bus->record();
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(r[r.size() - 2].command(), 0x0E);
    EXPECT_EQ(r[r.size() - 2].bytes[2], 0);
    EXPECT_EQ(r.back().command(), 0x25);
    EXPECT_EQ(r.back().bytes[2], 0xFF);
    EXPECT_EQ(bus->mode(1), 0);
    pump([] { return false; }, 700);
    EXPECT_EQ(bus->record().size(), r.size());
}

// A silent controller and "Betrieb" down: the closing flow's release telegrams go unanswered,
// each with its three attempts, while the window thread goes on serving events.
TEST_F(Program, ClosingWithASilentControllerReleasesAndCloses)
{
    TProgramOptions o;
    o.simulate = true;
    o.pollPeriodMs = 300;
    start(o);
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    auto* betrieb = ctl->Form().ControlAs<QAbstractButton>("SpeedButtonBetrieb");
    ASSERT_TRUE(pump([&] { return betrieb->isEnabled(); }, 5000));
    betrieb->click();
    ASSERT_TRUE(pump([&] { return ctl->Core().VAVBetrieb.BetriebAktiv.load(); }, 10000));
    auto bus = ctl->SimulatedBus();
    bus->removeController(1);
    const size_t before = bus->record().size();
    ctl->Form().close();
    EXPECT_TRUE(ctl->Form().isVisible()); // not before the flow reports done
    ASSERT_TRUE(pump([&] { return !ctl->Form().isVisible(); }, 30000));
    const auto r = bus->record();
    int releases = 0, modeOff = 0;
    for (size_t i = before; i < r.size(); ++i) {
        if (r[i].command() == 0x25 && r[i].bytes[2] == 0xFF)
            ++releases;
        if (r[i].command() == 0x0E && r[i].bytes[2] == 0)
            ++modeOff;
    }
    // The release goes out once (by the closing flow, or by the failed operation step's end of
    // the mode if that came first), with three attempts though nobody answers, and is the last.
    EXPECT_GE(modeOff, 3);
    EXPECT_EQ(releases, 3);
    ASSERT_GT(r.size(), before);
    EXPECT_EQ(r.back().command(), 0x25);
    pump([] { return false; }, 500);
    EXPECT_EQ(bus->record().size(), r.size()); // nothing after the close
}

TEST(ProgramProcess, SecondInstanceExitsWithCodeOne)
{
    const QString exe = QStringLiteral(KADEX_BIN_DIR "/kadex-tool");
    if (!QFile::exists(exe))
        GTEST_SKIP() << "kadex-tool not built";
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", home.path());
    env.insert("XDG_RUNTIME_DIR", home.path());
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(exe, {"--simulate"});
    ASSERT_TRUE(first.waitForStarted(10000));
    // Let the first one take the lock.
    QProcess probe;
    bool locked = false;
    for (int i = 0; i < 100 && !locked; ++i) {
        locked = QFile::exists(home.filePath("Qdr_Running.lock"));
        if (!locked)
            QThread::msleep(50);
    }
    ASSERT_TRUE(locked);
    QThread::msleep(300);
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(exe, {"--simulate"});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    first.terminate();
    first.waitForFinished(10000);
    if (first.state() != QProcess::NotRunning) {
        first.kill();
        first.waitForFinished(5000);
    }
}

TEST_F(Program, StoredChoicesAreRestoredAndWrittenBack)
{
    QDir().mkpath(home.filePath("Fenwix"));
    const QString ini = home.filePath("Fenwix/KadexTool.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("; kept as it is\r\n[CONFIG]\r\nTabsheet=2\r\nZBAdrIndex=0\r\n[Extra]\r\nfoo=bar\r\n");
    }
    TProgramOptions o;
    o.simulate = true;
    start(o);
    ASSERT_TRUE(pump([&] { return ctl->Form().PageControl()->currentIndex() == 2; }, 5000));
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    ctl->Form().PageControl()->setCurrentIndex(3);
    QApplication::processEvents();
    ctl->Form().close(); // the settings are written when the closing flow is done
    ASSERT_TRUE(pump([&] { return !ctl->Form().isVisible(); }, 10000));
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("Tabsheet=3\r\n")) << text.constData();
    EXPECT_TRUE(text.startsWith("; kept as it is\r\n"));
    EXPECT_TRUE(text.contains("[Extra]\r\nfoo=bar\r\n"));
}

TEST_F(Program, SettingsThatCannotBeSavedAreNamedOnceAndTheOldFileStays)
{
    QDir().mkpath(home.filePath("Fenwix"));
    const QString ini = home.filePath("Fenwix/KadexTool.ini");
    const QByteArray old = "[CONFIG]\r\nTabsheet=2\r\n[Extra]\r\nfoo=bar\r\n";
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    TProgramOptions o;
    o.simulate = true;
    start(o);
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load(); }, 20000));
    ctl->Form().PageControl()->setCurrentIndex(3);
    QApplication::processEvents();
    SetWriteFaultHook([](WriteStep s) { return s == WriteStep::Write; }); // a full disk
    ctl->Form().close();
    ASSERT_TRUE(pump([&] { return !ctl->Form().isVisible(); }, 10000));
    SetWriteFaultHook({});
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), old);
    ASSERT_EQ(dialogs.Errors().size(), 1) << dialogs.Errors().join('|').toStdString();
    EXPECT_TRUE(dialogs.Errors().front().startsWith(QStringLiteral("Die Einstellungen wurden nicht gespeichert")));
    EXPECT_EQ(ctl->Model().text(kStatusMessage), dialogs.Errors().front());
}

TEST_F(Program, UnreadableSettingsFileIsReplacedAndTheUserTold)
{
    QDir().mkpath(home.filePath("Fenwix"));
    const QString ini = home.filePath("Fenwix/KadexTool.ini");
    const QByteArray junk("\0\0\x13\x37 not settings", 17);
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(junk);
    }
    TProgramOptions o;
    o.simulate = true;
    start(o);
    ASSERT_TRUE(pump([&] { return !dialogs.Infos().isEmpty(); }, 5000));
    const QString text = dialogs.Infos().front();
    EXPECT_TRUE(text.contains(QStringLiteral("KadexTool.ini.unreadable-"))) << text.toStdString();
    const QStringList kept = QDir(home.filePath("Fenwix")).entryList({QStringLiteral("KadexTool.ini.unreadable-*")});
    ASSERT_EQ(kept.size(), 1);
    QFile k(home.filePath("Fenwix/" + kept.front()));
    ASSERT_TRUE(k.open(QIODevice::ReadOnly));
    EXPECT_EQ(k.readAll(), junk);
    // The new file is the seed, with its preset tables.
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("[DRUCKSENSOR]"));
}

TEST_F(Program, DataFileMenuSavesOpensAndAppliesWithoutTouchingTheDevice)
{
    TProgramOptions o;
    o.simulate = true;
    start(o);
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load() && !ctl->Core().Flows.Busy(); }, 20000));
    WindowModel& m = ctl->Model();
    const QString path = home.filePath("unit7.vav");
    dialogs.SetFile(path, true);
    ctl->Form().Action("DateiSpeichernUnter")->trigger();
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_TRUE(ctl->Form().windowTitle().endsWith("   unit7.vav"));
    // Declining to overwrite leaves the file as it was.
    QFile before(path);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray saved = before.readAll();
    before.close();
    m.setText(fld::EditVnomM3, "777", Origin::User);
    dialogs.SetFile(path, false);
    ctl->Form().Action("DateiSpeichernUnter")->trigger();
    QFile again(path);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), saved);
    EXPECT_TRUE(dialogs.Questions().last().contains("überschreiben?"));

    const auto device = ctl->SimulatedBus()->peek(1, 0x0016, 0x60);
    ctl->Form().Action("DateiOeffnen")->trigger();
    EXPECT_TRUE(m.enabled(fld::ButtonDefaultLaden));
    ASSERT_TRUE(m.click(fld::ButtonDefaultLaden));
    ASSERT_TRUE(pump([&] { return m.text(fld::EditVnomM3) == "250" && !ctl->Core().Flows.Busy(); }, 20000));
    EXPECT_EQ(ctl->SimulatedBus()->peek(1, 0x0016, 0x60), device);
    EXPECT_TRUE(dialogs.Errors().isEmpty());
    // The file held the device's values: the comparison says equal again.
    EXPECT_TRUE(pump([&] { return m.visible(fld::ImageEqual) && !m.visible(fld::ImageNotEqual); }, 5000))
        << [&] {
               std::string why;
               for (const FieldDifference& d : ctl->Core().Records().Differences())
                   why += (d.field ? d.field->name().toStdString() : std::string("-")) + ": " +
                          d.window.toStdString() + " / " + d.device.toStdString() + "; ";
               return why;
           }();
    if (const QByteArray dir = qgetenv("KADEX_SCREENSHOT_DIR"); !dir.isEmpty()) {
        m.setItemIndex(fld::PageControl1, 0);
        pump([] { return false; }, 300);
        ctl->Form().grab().save(QString::fromLocal8Bit(dir) + "/datafile-opened.png");
    }
}
