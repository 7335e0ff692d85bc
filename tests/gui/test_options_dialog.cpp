// The options dialog in the desktop program on the offscreen platform: opened from the
// Extras menu, Cancel and OK, against the built-in simulated controller.
#include "tests/gui/Pump.h"
#include "tests/gui/RecordingDialogs.h"
#include "device/model/WindowFields.h"
#include "dialogs/OptSetForm.h"
#include "mainwindow/MainWindowController.h"
#include "settings/ToolIni.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;
using kadex::test::pump;

TEST(OptionsDialog, OpensFromTheMenuCancelRestoresAndOkApplies)
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
    QAction* menu = ctl.Form().Action(fld::ExtrasOptionen);
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(pump([&] { return m.visible(fld::ImageEqual) && menu->isEnabled(); }, 20000));

    TOptSetForm& d = ctl.OptSetForm();
    auto* tabs = d.findChild<QTabWidget*>();
    auto* oemText = d.findChild<QLineEdit*>(QStringLiteral("EditOEMInputOpt"));
    ASSERT_TRUE(tabs && oemText);

    // Cancel: the typed OEM text is dropped.
    menu->trigger();
    ASSERT_TRUE(pump([&] { return d.isVisible(); }, 5000));
    EXPECT_TRUE(d.isModal());
    EXPECT_EQ(tabs->tabText(0), "Allgemein");
    EXPECT_EQ(tabs->tabText(1), "OEM");
    EXPECT_EQ(d.OkButton()->text(), "Ok");
    const QString before = m.text(fld::EditOEMInputOpt);
    oemText->setText(QStringLiteral("GEAENDERT"));
    Q_EMIT oemText->textEdited(oemText->text());
    ASSERT_TRUE(pump([&] { return m.text(fld::EditOEMInputOpt) == "GEAENDERT"; }, 2000));
    d.AbortButton()->click();
    ASSERT_TRUE(pump([&] { return !d.isVisible(); }, 2000));
    EXPECT_EQ(m.text(fld::EditOEMInputOpt), before);

    // OK with another unit set: the main window shows the new units.
    menu->trigger();
    ASSERT_TRUE(pump([&] { return d.isVisible(); }, 5000));
    m.setItemIndex(fld::ComboBoxEinheit, 2, Origin::User);
    d.OkButton()->click();
    ASSERT_TRUE(pump([&] { return !d.isVisible() && m.unit(fld::EditVmaxM3) == "cfm"; }, 5000));
    EXPECT_EQ(IniConfig.EinheitIndex, 2);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('|').toStdString();
}
