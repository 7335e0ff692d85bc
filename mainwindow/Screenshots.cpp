#include "mainwindow/Screenshots.h"

#include "common/Paths.h"

#include "dialogs/BusScanForm.h"
#include "dialogs/LeitwertForm.h"
#include "dialogs/ZBAdrForm.h"
#include "dialogs/ZBCmdForm.h"
#include "dialogs/UmgebungForm.h"
#include "mainwindow/MainWindow.h"
#include "core/MainCore.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QComboBox>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <iterator>

namespace kadex {

namespace {

const char* const kOption = "--screenshot-dir";
const char* const kTabFileNames[] = {"oem", "experte", "service", "qv", "transfer"};
constexpr int kTabCount = 5;
// The dialogs pictured after the tabs: object name and file name.
struct DialogPicture {
    const char* object;
    const char* file;
};
constexpr DialogPicture kDialogs[] = {
    {"SensorForm", "dialog-sensor.png"},
    {"AntriebForm", "dialog-antrieb.png"},
    {"RegFktForm", "dialog-regfkt.png"},
    {"TOptSetForm", "dialog-optionen.png"},
};

// The directory given with the option; empty when missing, null when the option is absent.
QString OptionValue(const QStringList& arguments, bool* present)
{
    const QString option = QLatin1String(kOption);
    const QString prefix = option + QLatin1Char('=');
    *present = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == option) {
            *present = true;
            return i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
        }
        if (arg.startsWith(prefix)) {
            *present = true;
            return arg.mid(prefix.size());
        }
    }
    return QString();
}

// Lets the event loop run until done() holds, at most ms milliseconds; whether it held.
bool Settle(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Lets queued model changes and layouts run for a while.
void SettleFor(int ms)
{
    Settle([] { return false; }, ms);
}

bool SaveGrab(QWidget& w, const QString& dir, const QString& file, QStringList& written, QString* error)
{
    const QString path = QDir(dir).filePath(file);
    if (!w.grab().save(path, "PNG")) {
        if (error)
            *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    written << path;
    return true;
}

// The "Fühlertyp" choices of the OEM tab with the short name of their picture.
struct SensorTypePicture {
    FieldId field;
    const char* file;
};
const SensorTypePicture kSensorTypes[] = {
    {fld::RadioButtonSensTypDruck, "dpk"},
    {fld::RadioButtonSensTypVolumenstr, "us"},
    {fld::RadioButtonSensTypDSK3Druck, "dsk3"},
};

// Typed as the user types: the edit rules see a user edit, then the field is left.
void TypeInto(QLineEdit& e, const QString& text)
{
    e.setText(text);
    Q_EMIT e.textEdited(text);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&e, &out);
    Q_EMIT e.editingFinished();
}

// Typed edits alone leave the indicator as it is; compared on the flow runner, as the read and
// write flows compare.
void Compare(TMainCore& core)
{
    core.Flows.Post("compare", [&core] { core.AnzConfPcHwEqual(core.IsPcHwEqual()); });
}

// The Service tab in operation with the live plot, the window enlarged: "Betrieb" on,
// "Variabel" at 70 %, pictured once the plot holds half a minute of cycles; then the event
// loop ends.
void ScheduleOperationScreenshot(TMainForm& form, const QString& dir)
{
    // Enlarged, as a user following the plot would: at the designed size it has little room.
    form.resize(1200, 760);
    form.PageControl()->setCurrentIndex(TMainForm::TabService);
    if (auto* betrieb = form.ControlAs<QAbstractButton>(fld::SpeedButtonBetrieb))
        betrieb->click();
    QTimer::singleShot(3000, &form, [&form] {
        if (auto* variabel = form.ControlAs<QAbstractButton>(fld::RadioBetrVariabel))
            variabel->click();
    });
    QTimer::singleShot(6000, &form, [&form] {
        // Typed as the user would, so the setpoint rule sees a user edit.
        if (auto* e = form.ControlAs<QLineEdit>(fld::EditBetrSollwPrz)) {
            e->setText(QStringLiteral("70"));
            Q_EMIT e->textEdited(e->text());
        }
    });
    QTimer::singleShot(36000, &form, [&form, dir] {
        const QString path = QDir(dir).filePath(QStringLiteral("service-betrieb.png"));
        const bool ok = form.grab().save(path, "PNG");
        if (ok)
            QTextStream(stdout) << path << '\n';
        else
            QTextStream(stderr) << "cannot write " << path << '\n';
        QCoreApplication::exit(ok ? 0 : 1);
    });
}

} // namespace

QString ScreenshotFileName(int tabIndex)
{
    if (tabIndex < 0 || tabIndex >= kTabCount)
        return QString();
    return QStringLiteral("tab-%1-%2.png").arg(tabIndex).arg(QLatin1String(kTabFileNames[tabIndex]));
}

QStringList TakeScreenshots(TMainForm& form, const QString& dir, QString* error)
{
    QStringList written;
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(dir);
        return written;
    }
    QTabWidget* tabs = form.PageControl();
    const bool transferShown = tabs->isTabVisible(TMainForm::TabTransfer);
    const int previous = tabs->currentIndex();
    for (int i = 0; i < kTabCount; ++i) {
        if (i == TMainForm::TabTransfer)
            tabs->setTabVisible(i, true);
        tabs->setCurrentIndex(i);
        // Let the layouts of the newly shown sheet settle before the picture is taken.
        QCoreApplication::processEvents();
        const QString path = QDir(dir).filePath(ScreenshotFileName(i));
        if (!form.grab().save(path, "PNG")) {
            if (error)
                *error = QStringLiteral("cannot write %1").arg(path);
            break;
        }
        written << path;
    }
    tabs->setTabVisible(TMainForm::TabTransfer, transferShown);
    tabs->setCurrentIndex(previous);
    for (const DialogPicture& d : kDialogs) {
        auto* dialog = form.findChild<QDialog*>(QLatin1String(d.object));
        if (!dialog)
            continue;
        // Shown for the picture only (modeless even where the dialog is modal).
        const Qt::WindowModality modality = dialog->windowModality();
        dialog->setWindowModality(Qt::NonModal);
        dialog->adjustSize();
        dialog->show();
        QCoreApplication::processEvents();
        const QString path = QDir(dir).filePath(QLatin1String(d.file));
        const bool saved = dialog->grab().save(path, "PNG");
        dialog->hide();
        dialog->setWindowModality(modality);
        if (!saved) {
            if (error)
                *error = QStringLiteral("cannot write %1").arg(path);
            break;
        }
        written << path;
    }
    return written;
}

bool TakeDialogScreenshots(TMainCore& core, QWidget* parent, const QString& dir, QStringList& written, QString* error)
{
    TLeitwertForm leitwert(core, parent);
    TDichteForm umgebung(core, UmgebungFlow::Confirm::Anpassen, parent);
    const std::pair<QDialog*, const char*> dialogs[] = {{&leitwert, "dialog-leitwert.png"}, {&umgebung, "dialog-umgebung.png"}};
    for (const auto& [dlg, name] : dialogs) {
        dlg->show();
        QCoreApplication::processEvents();
        const QString path = QDir(dir).filePath(QLatin1String(name));
        const bool ok = dlg->grab().save(path, "PNG");
        dlg->reject(); // closing without a confirm changes nothing
        if (!ok) {
            if (error)
                *error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
        written << path;
    }
    return true;
}

// The bus service windows against the connected controller: the addressing dialog as it opens,
// the raw command window after one answered template, the scan result.
bool TakeBusServiceScreenshots(TMainCore& core, QWidget* parent, const QString& dir, QStringList& written,
                               QString* error)
{
    TZBAdrForm adr(core, parent);
    adr.show();
    SettleFor(300);
    bool ok = SaveGrab(adr, dir, QStringLiteral("dialog-zbadresse.png"), written, error);
    adr.reject();
    Settle([&core] { return !core.Flows.Busy(); }, 20000);

    TZBCmdForm cmd(core, FindDataFile(QStringLiteral("ZBCommands.txt")), parent);
    cmd.show();
    const QStringList entries = [&cmd] {
        QStringList l;
        for (const RawTemplate& t : cmd.Flow().Templates().templates)
            l << t.EntryText();
        return l;
    }();
    const int serial = static_cast<int>(entries.indexOf(QStringLiteral("50: Seriennummer")));
    if (serial >= 0)
        cmd.Templates()->setCurrentIndex(serial);
    cmd.SendButton()->click();
    Settle([&cmd] { return cmd.SendButton()->isEnabled(); }, 10000);
    SettleFor(200);
    ok = ok && SaveGrab(cmd, dir, QStringLiteral("dialog-zbkommando.png"), written, error);
    cmd.close();
    Settle([&core] { return !core.Flows.Busy(); }, 20000);

    TBusScanForm scan(core, parent);
    scan.show();
    SettleFor(200);
    Settle([&scan] { return !scan.Flow().Running(); }, 30000);
    SettleFor(300);
    ok = ok && SaveGrab(scan, dir, QStringLiteral("dialog-busscan.png"), written, error);
    scan.reject();
    Settle([&core] { return !core.Flows.Busy(); }, 20000);
    return ok;
}

bool TakeSensorTypeScreenshots(TMainForm& form, const QString& dir, QStringList& written, QString* error)
{
    QTabWidget* tabs = form.PageControl();
    const int previousTab = tabs->currentIndex();
    tabs->setCurrentIndex(TMainForm::TabKonfigOEM);
    QAbstractButton* original = nullptr;
    for (const SensorTypePicture& t : kSensorTypes)
        if (auto* b = form.ControlAs<QAbstractButton>(t.field); b && b->isChecked())
            original = b;
    bool ok = true;
    for (int i = 0; ok && i < int(std::size(kSensorTypes)); ++i) {
        auto* choice = form.ControlAs<QAbstractButton>(kSensorTypes[i].field);
        // A type the controller does not offer (firmware, function) has no picture.
        if (!choice || !choice->isVisible() || !choice->isEnabled())
            continue;
        choice->click();
        SettleFor(500);
        const QString file =
            QStringLiteral("tab-0-oem-sensor-%1-%2.png").arg(i).arg(QLatin1String(kSensorTypes[i].file));
        ok = SaveGrab(form, dir, file, written, error);
    }
    if (original) {
        original->click();
        SettleFor(500);
    }
    tabs->setCurrentIndex(previousTab);
    QCoreApplication::processEvents();
    return ok;
}

bool TakeDifferenceScreenshots(TMainForm& form, TMainCore& core, const QString& dir, QStringList& written,
                               QString* error)
{
    auto* notEqual = form.ControlAs<QLabel>(fld::ImageNotEqual);
    auto* vnom = form.ControlAs<QLineEdit>(fld::EditVnomM3);
    auto* oemText = form.ControlAs<QLineEdit>(fld::EditOEMInputOEM);
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!notEqual || !vnom || !oemText)
        return fail(QStringLiteral("what-differs: fields missing"));
    if (!core.DataRead.load() || !vnom->isEnabled())
        return fail(QStringLiteral("what-differs: nothing read from the controller"));
    QTabWidget* tabs = form.PageControl();
    const int previousTab = tabs->currentIndex();
    tabs->setCurrentIndex(TMainForm::TabKonfigOEM);
    const QString vnomBefore = vnom->text();
    const QString oemTextBefore = oemText->text();
    TypeInto(*vnom, QString::number(vnomBefore.toInt() + 10));
    TypeInto(*oemText, QStringLiteral("Kunde A"));
    Compare(core);
    bool ok = Settle([notEqual] { return !notEqual->isHidden(); }, 5000);
    if (!ok)
        fail(QStringLiteral("what-differs: the indicator stayed equal"));
    SettleFor(300);
    ok = ok && SaveGrab(form, dir, QStringLiteral("what-differs-window.png"), written, error);
    if (ok) {
        // Opened the way the user does: a click on the not-equal picture.
        const QPointF at(2, 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, notEqual->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, notEqual->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(notEqual, &press);
        QApplication::sendEvent(notEqual, &release);
        auto* list = form.findChild<QDialog*>(QStringLiteral("DifferenceListDialog"));
        ok = list && Settle([list] { return list->isVisible(); }, 2000);
        if (!ok) {
            fail(QStringLiteral("what-differs: the list did not open"));
        } else {
            SettleFor(300);
            ok = SaveGrab(*list, dir, QStringLiteral("what-differs.png"), written, error);
            list->close();
        }
    }

    TypeInto(*vnom, vnomBefore);
    TypeInto(*oemText, oemTextBefore);
    Compare(core);
    if (!Settle([notEqual] { return notEqual->isHidden(); }, 5000))
        QTextStream(stderr) << "what-differs: the window still differs from the controller after the restore\n";
    tabs->setCurrentIndex(previousTab);
    QCoreApplication::processEvents();
    return ok;
}

bool ScheduleScreenshots(const QStringList& arguments, TMainForm& form, TMainCore* core)
{
    bool present = false;
    const QString dir = OptionValue(arguments, &present);
    if (!present)
        return false;
    // With the simulated controller the pictures show a connected window: wait until it is
    // identified and has polled a few times (at most 20 s).
    const bool waitForDevice = arguments.contains(QStringLiteral("--simulate"));
    auto shoot = [&form, dir, core, waitForDevice]() {
        QTextStream err(stderr);
        if (dir.isEmpty()) {
            err << kOption << " needs a directory\n";
            QCoreApplication::exit(2);
            return;
        }
        QString error;
        QStringList files = TakeScreenshots(form, dir, &error);
        const bool tabsDone = files.size() >= kTabCount;
        const bool dialogsDone = !core || (tabsDone && TakeDialogScreenshots(*core, &form, dir, files, &error));
        // The sensor types and the difference list need the core's rules and a read controller.
        const bool extrasDone = !core || !waitForDevice
                                || (dialogsDone && TakeBusServiceScreenshots(*core, &form, dir, files, &error)
                                    && TakeSensorTypeScreenshots(form, dir, files, &error)
                                    && TakeDifferenceScreenshots(form, *core, dir, files, &error));
        for (const QString& f : files)
            QTextStream(stdout) << f << '\n';
        if (!error.isEmpty())
            err << error << '\n';
        const bool ok = error.isEmpty() && tabsDone && dialogsDone && extrasDone;
        if (!ok || !waitForDevice) {
            QCoreApplication::exit(ok ? 0 : 1);
            return;
        }
        ScheduleOperationScreenshot(form, dir);
    };
    if (!waitForDevice) {
        QTimer::singleShot(0, &form, shoot);
        return true;
    }
    auto* poll = new QTimer(&form);
    auto* waited = new QElapsedTimer;
    waited->start();
    QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, waited, shoot]() {
        auto* ser = form.ControlAs<QLineEdit>(fld::EditSerNr);
        if ((ser && !ser->text().isEmpty()) || waited->elapsed() > 20000) {
            poll->stop();
            delete waited;
            // Telegrams in the Transfer picture: the display is switched on while it waits.
            if (QAction* transfer = form.Action(fld::ExtrasTransferAnzeige); transfer && !transfer->isChecked())
                transfer->trigger();
            QTimer::singleShot(ser && !ser->text().isEmpty() ? 4500 : 0, &form, shoot);
        }
    });
    poll->start(100);
    return true;
}

} // namespace kadex
