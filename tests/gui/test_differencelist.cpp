// The list behind the comparison indicator in the window: tool tip, tinted field, and the list
// window a click opens.
#include "tests/gui/Pump.h"
#include "mainwindow/DifferenceList.h"
#include "mainwindow/MainWindowController.h"
#include "device/model/WindowFields.h"
#include "tests/gui/RecordingDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace kadex;

namespace {

using kadex::test::pump;

} // namespace

TEST(DifferenceListWindow, EditShowsInTooltipTintAndTheListAClickOpens)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    test::RecordingDialogs dialogs;
    TProgramOptions o;
    o.simulate = true;
    o.dialogs = &dialogs;
    auto ctl = std::make_unique<TMainWindowController>(o);
    ctl->Show();
    auto* lesen = ctl->Form().ControlAs<QWidget>("ButtonLesen");
    ASSERT_TRUE(pump([&] { return ctl->Core().DataRead.load() && lesen->isEnabled(); }, 20000));

    auto* vnom = ctl->Form().ControlAs<QLineEdit>("EditVnomM3");
    auto* notEqual = ctl->Form().ControlAs<QLabel>("ImageNotEqual");
    ASSERT_TRUE(vnom && notEqual);
    // The active group: a flow that runs meanwhile disables the field, which shows another base.
    const QColor plain = vnom->palette().color(QPalette::Active, QPalette::Base);
    const QString shown = vnom->text();
    ctl->Model().setText(fld::EditVnomM3, QString::number(shown.toInt() + 10), Origin::User);
    TMainCore& core = ctl->Core();
    core.Flows.Post("compare", [&core] { core.AnzConfPcHwEqual(core.IsPcHwEqual()); });
    // The indicator, its hint and the tint arrive as separate changes.
    ASSERT_TRUE(pump([&] {
        return !notEqual->isHidden() && !notEqual->toolTip().isEmpty() && vnom->palette().color(QPalette::Active, QPalette::Base) != plain;
    }, 5000));
    EXPECT_EQ(notEqual->toolTip(), QStringLiteral("EditVnomM3: window %1, device %2").arg(shown.toInt() + 10).arg(shown));

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), notEqual->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), notEqual->mapToGlobal(QPointF(2, 2)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(notEqual, &press);
    QApplication::sendEvent(notEqual, &release);
    auto* list = ctl->Form().findChild<QDialog*>("DifferenceListDialog");
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(list->isModal());
    auto* tree = list->findChild<QTreeWidget*>("DifferenceListTree");
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Volumenstrom \u203A V'nom"));
    EXPECT_EQ(tree->topLevelItem(0)->toolTip(0), "EditVnomM3");
    EXPECT_EQ(tree->topLevelItem(0)->text(2), shown);

    // Back to the device's value: tint gone, the open list follows.
    ctl->Model().setText(fld::EditVnomM3, shown, Origin::User);
    core.Flows.Post("compare", [&core] { core.AnzConfPcHwEqual(core.IsPcHwEqual()); });
    EXPECT_TRUE(pump([&] {
        return notEqual->isHidden() && tree->topLevelItemCount() == 0 && vnom->palette().color(QPalette::Active, QPalette::Base) == plain;
    }, 5000)) << "tint " << vnom->palette().color(QPalette::Active, QPalette::Base).name().toStdString() << " hidden "
      << notEqual->isHidden() << " rows " << tree->topLevelItemCount();
    ctl->Form().close();
}
