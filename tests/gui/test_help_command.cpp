// F1 and "? -> Hilfe" on the offscreen platform: the document found by its name rule is handed to
// the desktop's viewer, and a missing or refused document gives the information message.
#include "tests/gui/Pump.h"
#include "tests/gui/RecordingDialogs.h"
#include "dialogs/RegFktForm.h"
#include "mainwindow/MainWindowController.h"
#include "settings/Texts.h"

#include <QPushButton>
#include <QAction>
#include <QRadioButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kadex;
using kadex::test::pump;

namespace {

class HelpCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid() && docs.isValid());
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
        // No controller is needed: a port that is not there.
        TProgramOptions o;
        o.portPath = home.filePath(QStringLiteral("no-such-port"));
        o.dialogs = &dialogs;
        o.helpFolders = {docs.path() + '/'};
        ctl = std::make_unique<TMainWindowController>(o);
        ctl->Show();
        // The start-up has run once the failed connect showed its error and the menus are enabled.
        ASSERT_TRUE(pump([&] {
            return !dialogs.Errors().isEmpty() && ctl->Form().Action(QStringLiteral("ExtrasRegSetting"))->isEnabled();
        }, 10000));
    }
    void put(const char* name)
    {
        QFile f(docs.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("%PDF-1.4\n") > 0);
    }
    // F1 as the keyboard gives it, or the menu entry; then wait for what it leads to.
    void ask(bool viaKey, qsizetype eventsBefore)
    {
        if (viaKey) {
            // A shortcut reaches only the active window (a dialog may just have closed).
            ctl->Form().activateWindow();
            ASSERT_TRUE(pump([&] { return QApplication::activeWindow() == &ctl->Form(); }, 5000));
            QTest::keyClick(&ctl->Form(), Qt::Key_F1);
        }
        else
            ctl->Form().Action(QStringLiteral("HilfeHilfePdf"))->trigger();
        ASSERT_TRUE(pump([&] { return dialogs.Infos().size() + dialogs.Opened().size() > eventsBefore; }, 10000));
    }

    QTemporaryDir home, docs;
    test::RecordingDialogs dialogs;
    std::unique_ptr<TMainWindowController> ctl;
};

} // namespace

TEST_F(HelpCommand, OpensTheDocumentOrSaysWhyNot)
{
    const QString msg = IniMessageText.Msg(3);
    ASSERT_EQ(msg, QStringLiteral("Datei kann nicht geöffnet werden"));
    const QString german = QDir::toNativeSeparators(docs.filePath("Kadexgerm.pdf"));
    for (const bool viaKey : {true, false}) {
        SCOPED_TRACE(viaKey ? "F1" : "menu");
        const qsizetype infos = dialogs.Infos().size(), opened = dialogs.Opened().size();
        QFile::remove(docs.filePath("Kadexgerm.pdf"));

        // Missing: the message names the full path; nothing is opened.
        ask(viaKey, infos + opened);
        ASSERT_EQ(dialogs.Infos().size(), infos + 1);
        EXPECT_EQ(dialogs.Infos().last(), msg + '\n' + german);
        EXPECT_EQ(dialogs.Opened().size(), opened);

        // Present: handed to the viewer, no message.
        put("Kadexgerm.pdf");
        dialogs.SetOpenResult(true);
        ask(viaKey, infos + 1 + opened);
        ASSERT_EQ(dialogs.Opened().size(), opened + 1);
        EXPECT_EQ(dialogs.Opened().last(), docs.filePath("Kadexgerm.pdf"));
        EXPECT_EQ(dialogs.Infos().size(), infos + 1);

        // The viewer refuses: the message with the code.
        dialogs.SetOpenResult(false);
        ask(viaKey, infos + 1 + opened + 1);
        ASSERT_EQ(dialogs.Infos().size(), infos + 2);
        EXPECT_EQ(dialogs.Infos().last(), msg + " (31)\n" + german);
        dialogs.SetOpenResult(true);
    }
}

// The pressure application's document follows the function chosen in the window.
TEST_F(HelpCommand, PressureApplicationOpensTheKprDocument)
{
    put("Kadexgerm.pdf");
    put("KadexKPRgerm.pdf");
    TRegFktForm& function = ctl->RegFktForm();
    for (const bool pressure : {true, false}) {
        SCOPED_TRACE(pressure ? "pressure" : "volume flow");
        ctl->Form().Action(QStringLiteral("ExtrasRegSetting"))->trigger();
        ASSERT_TRUE(pump([&] { return function.isVisible(); }, 5000));
        function.findChild<QRadioButton*>(pressure ? "RadioButtonDruckanwendung" : "RadioButtonVolumenstrom")->click();
        function.OkButton()->click();
        ASSERT_TRUE(pump([&] { return !function.isVisible() && ctl->Core().Ctx.ReglerFkt.load() == (pressure ? 2 : 1); },
                         5000));
        const qsizetype opened = dialogs.Opened().size();
        ask(true, dialogs.Infos().size() + opened);
        ASSERT_EQ(dialogs.Opened().size(), opened + 1);
        EXPECT_EQ(dialogs.Opened().last(), docs.filePath(pressure ? "KadexKPRgerm.pdf" : "Kadexgerm.pdf"));
        EXPECT_TRUE(dialogs.Infos().isEmpty());
    }
}
