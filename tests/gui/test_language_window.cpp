// The language switch in the desktop program against the built-in simulated controller, with
// the polling threads running: every window's texts change at once from the options dialog and
// come back as they were; the About box shows the version of --version.
#include "tests/gui/Pump.h"
#include "tests/gui/RecordingDialogs.h"
#include "common/Version.h"
#include "device/model/WindowFields.h"
#include "dialogs/InfoForm.h"
#include "dialogs/OptSetForm.h"
#include "mainwindow/MainWindowController.h"
#include "settings/Language.h"
#include "settings/ToolIni.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;
using kadex::test::pump;

namespace {

// Every text the user can see in a window and its dialogs, by object path.
QMap<QString, QString> visibleTexts(QWidget& root)
{
    QMap<QString, QString> out;
    QList<QObject*> all = root.findChildren<QObject*>();
    all.prepend(&root);
    for (QObject* o : all) {
        const QString name = o->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        const QString id = QString::fromLatin1(o->metaObject()->className()) + '/' + name;
        if (auto* l = qobject_cast<QLabel*>(o); l && l->pixmap().isNull())
            out[id] = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(o))
            out[id] = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(o))
            out[id] = g->title();
        else if (auto* a = qobject_cast<QAction*>(o))
            out[id] = a->text();
        if (auto* t = qobject_cast<QTabWidget*>(o))
            for (int i = 0; i < t->count(); ++i)
                out[id + '#' + QString::number(i)] = t->tabText(i);
        if (auto* w = qobject_cast<QWidget*>(o)) {
            if (w->isWindow())
                out[id + "#title"] = w->windowTitle();
            if (!w->toolTip().isEmpty())
                out[id + "#hint"] = w->toolTip();
        }
    }
    return out;
}

void chooseLanguage(TMainWindowController& ctl, const QString& name)
{
    WindowModel& m = ctl.Model();
    TOptSetForm& d = ctl.OptSetForm();
    ctl.Form().Action(fld::ExtrasOptionen)->trigger();
    ASSERT_TRUE(pump([&] { return d.isVisible(); }, 5000));
    const int index = static_cast<int>(m.items(fld::ComboBoxSprache).indexOf(name));
    ASSERT_GE(index, 0) << m.items(fld::ComboBoxSprache).join('|').toStdString();
    m.setItemIndex(fld::ComboBoxSprache, index, Origin::User);
    d.OkButton()->click();
    ASSERT_TRUE(pump([&] { return !d.isVisible(); }, 5000));
}

} // namespace

TEST(LanguageWindow, SwitchingToEnglishWhilePollingLeavesNoGermanAndBackRestoresEveryText)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    test::RecordingDialogs dialogs;
    TProgramOptions o;
    o.dialogs = &dialogs;
    o.simulate = true;
    TMainWindowController ctl(o);
    ctl.Show();
    WindowModel& m = ctl.Model();
    // Connected and read: the connection thread polls from now on.
    ASSERT_TRUE(pump([&] { return m.visible(fld::ImageEqual) && ctl.Form().Action(fld::ExtrasOptionen)->isEnabled(); },
                     20000));
    ASSERT_TRUE(pump([&] { return ctl.Core().DataRead.load(); }, 5000));
    pump([] { return false; }, 300);
    const QMap<QString, QString> german = visibleTexts(ctl.Form());

    chooseLanguage(ctl, QStringLiteral("Englisch")); // named in the language in force
    ASSERT_TRUE(pump([&] { return ctl.Form().findChild<QAbstractButton*>("ButtonLesen")->text() == "Read"; }, 5000));
    // The operating status comes from the next polling step, in the new language.
    QSet<QString> germanStatus;
    for (const auto& [section, keys] : KnownLanguageKeys())
        if (section == QLatin1String("BETRIEBS_STATUS"))
            for (const QString& key : keys)
                germanStatus.insert(LanguageDefault(section, key));
    germanStatus.remove(QStringLiteral("Stopped"));
    EXPECT_TRUE(pump([&] { return !germanStatus.contains(m.caption(fld::PanelBetrStatus)); }, 10000))
        << m.caption(fld::PanelBetrStatus).toStdString();
    pump([] { return false; }, 300);
    EXPECT_EQ(SprachWahl.Sprache, "Englisch");
    EXPECT_EQ(CurrentTexts()->EinstDat.Title, "Kadex system solution: CONTROLLER SETTINGS");
    EXPECT_EQ(CurrentTexts()->LogFile.Hoehe, "Altitude");
    const QMap<QString, QString> english = visibleTexts(ctl.Form());
    // A German text still shown: umlauts, or a German default the English file translates.
    QSet<QString> germanOnly;
    const auto en = ParseLanguage([] {
        QFile f(QStringLiteral(KADEX_SOURCE_DIR "/data/Kadexengl.lng"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }());
    QSet<QString> englishTexts;
    for (const auto& [section, keys] : KnownLanguageKeys())
        for (const QString& key : keys)
            englishTexts.insert(en.Text(section, key));
    for (const auto& [section, keys] : KnownLanguageKeys())
        for (const QString& key : keys) {
            const QString de = LanguageDefault(section, key);
            if (!de.isEmpty() && !englishTexts.contains(de))
                germanOnly.insert(de);
        }
    int checked = 0;
    for (auto it = english.begin(); it != english.end(); ++it) {
        const QString name = it.key().section('/', 1);
        // Entry fields hold device data (texts from the controller), not window texts.
        if (it.value().isEmpty() || name.startsWith(QLatin1String("Edit")))
            continue;
        ++checked;
        const bool umlaut = it.value().contains(QRegularExpression(QString::fromUtf8("[äöüÄÖÜß]")));
        EXPECT_FALSE(umlaut || germanOnly.contains(it.value()))
            << it.key().toStdString() << ": " << it.value().toStdString();
    }
    EXPECT_GT(checked, 150);

    chooseLanguage(ctl, QStringLiteral("German"));
    ASSERT_TRUE(pump([&] { return ctl.Form().findChild<QAbstractButton*>("ButtonLesen")->text() == "Lesen"; }, 5000));
    pump([] { return false; }, 300);
    const QMap<QString, QString> back = visibleTexts(ctl.Form());
    // Live values and status fields change by themselves; every other text is as it was.
    for (auto it = german.begin(); it != german.end(); ++it) {
        const QString name = it.key().section('/', 1);
        if (!name.startsWith(QLatin1String("Panel")) && !name.startsWith(QLatin1String("Edit")) &&
            !name.startsWith(QLatin1String("StatusBar"))) {
            EXPECT_EQ(back.value(it.key()), it.value()) << it.key().toStdString();
        }
    }
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('|').toStdString();
}

TEST(LanguageWindow, AboutBoxShowsTheVersionOfTheCommandLine)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    test::RecordingDialogs dialogs;
    TProgramOptions o;
    o.dialogs = &dialogs;
    o.simulate = true;
    TMainWindowController ctl(o);
    ctl.Show();
    QAction* info = ctl.Form().Action(fld::HilfeInfo);
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(pump([&] { return info->isEnabled(); }, 20000));
    info->trigger();
    TInfoForm& box = ctl.InfoForm();
    ASSERT_TRUE(pump([&] { return box.isVisible(); }, 5000));
    EXPECT_TRUE(box.isModal());
    EXPECT_EQ(info->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    EXPECT_EQ(box.windowTitle(), "Info zu FENWIX Kadex Tool");
    QProcess p;
    p.start(QStringLiteral(KADEX_BIN_DIR "/kadex-tool"), {QStringLiteral("--version")});
    ASSERT_TRUE(p.waitForFinished(20000));
    const QString printed = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    EXPECT_EQ(box.VersionLabel()->text(), QString::fromLatin1(VersionString()));
    EXPECT_TRUE(printed.endsWith(box.VersionLabel()->text())) << printed.toStdString();
    box.OkButton()->click();
    EXPECT_TRUE(pump([&] { return !box.isVisible(); }, 2000));
}
