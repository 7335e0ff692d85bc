// The "Verlauf" view in the program on the offscreen platform, against the simulated controller:
// opened from the Extras menu, following a "Setzen", as-found and as-left of the selected action,
// and the CSV export.
#include "tests/gui/Pump.h"
#include "dialogs/HistoryForm.h"
#include "mainwindow/MainWindowController.h"
#include "tests/gui/RecordingDialogs.h"
#include "sim/SimBus.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;
using kadex::test::pump;

TEST(HistoryView, ShowsTheWriteWithFoundAndLeftAndExportsIt)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    test::RecordingDialogs dialogs;
    TProgramOptions o;
    o.simulate = true;
    o.pollPeriodMs = 300;
    o.dialogs = &dialogs;
    TMainWindowController ctl(o);
    ctl.Show();
    ASSERT_TRUE(pump([&] { return ctl.Core().DataRead.load(); }, 20000));
    auto be16 = [&](uint16_t a) {
        const auto b = ctl.SimulatedBus()->peek(1, a, 2);
        return (b[0] << 8) | b[1];
    };
    const int before = be16(0x0100);

    ctl.Form().Action(fld::ExtrasVerlauf)->trigger();
    THistoryForm& view = ctl.HistoryForm();
    ASSERT_TRUE(pump([&] { return view.isVisible() && view.List()->rowCount() == 1; }, 5000));

    // "Lesen", then "Setzen" of a changed value; the open view follows each new record.
    auto* lesen = ctl.Form().ControlAs<QAbstractButton>(QStringLiteral("ButtonLesen"));
    auto* setzen = ctl.Form().ControlAs<QAbstractButton>(QStringLiteral("ButtonSetzen"));
    ASSERT_TRUE(lesen && setzen);
    ASSERT_TRUE(pump([&] { return lesen->isEnabled(); }, 5000));
    lesen->click();
    ASSERT_TRUE(pump([&] { return view.List()->rowCount() == 2 && setzen->isEnabled(); }, 20000));
    ctl.Model().setValue(fld::SpinEditVAVT1, before + 5, Origin::User);
    setzen->click();
    ASSERT_TRUE(pump([&] { return view.List()->rowCount() == 3; }, 20000));
    EXPECT_EQ(be16(0x0100), before + 5);
    view.List()->setCurrentCell(0, 0);
    QTableWidget* fields = view.Fields();
    int t1 = -1;
    for (int r = 0; r < fields->rowCount(); ++r)
        if (fields->item(r, 0)->text() == QLatin1String("parameters.T1"))
            t1 = r;
    ASSERT_GE(t1, 0);
    const QString found = fields->item(t1, 1)->text();
    EXPECT_EQ(found, QString::number(before));
    EXPECT_EQ(fields->item(t1, 2)->text(), QString::number(be16(0x0100)));

    const QString csv = home.filePath(QStringLiteral("v.csv"));
    ASSERT_TRUE(view.ExportCsv(csv));
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    // Heading, the write's changed field(s), the reads.
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("time,serial")));
    EXPECT_TRUE(lines.filter(QStringLiteral(",parameters.T1,ms,%1,%2,").arg(found).arg(before + 5)).size() == 1)
        << lines.join('\n').toStdString();
    view.close();
}
