// The live plot on the Service tab, in the program against the simulated controller: series
// grow while "Betrieb" is on, pause stops them, the export writes the samples.
#include "tests/gui/Pump.h"
#include "mainwindow/LivePlot.h"
#include "mainwindow/MainWindowController.h"
#include "tests/gui/RecordingDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineSeries>
#include <QToolButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;

namespace {

using kadex::test::pump;

} // namespace

TEST(LivePlotProgram, DrawsPausesAndExports)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    TProgramOptions o;
    o.simulate = true;
    o.pollPeriodMs = 300;
    test::RecordingDialogs dialogs;
    o.dialogs = &dialogs;
    TMainWindowController ctl(o);
    ctl.Show();
    ASSERT_TRUE(pump([&] { return ctl.Core().DataRead.load(); }, 20000));

    QWidget* service = ctl.Form().Control(QStringLiteral("TabSheetService"));
    ASSERT_NE(service, nullptr);
    auto* plot = service->findChild<gui::LivePlot*>();
    ASSERT_NE(plot, nullptr) << "the plot sits on the Service tab";
    ctl.Form().PageControl()->setCurrentIndex(TMainForm::TabService);
    ASSERT_TRUE(pump([&] { return plot->isVisible(); }, 2000));
    const QList<QLineSeries*> series = plot->Series();
    ASSERT_EQ(series.size(), 4);

    auto* betrieb = ctl.Form().ControlAs<QAbstractButton>("SpeedButtonBetrieb");
    ASSERT_TRUE(pump([&] { return betrieb->isEnabled(); }, 5000));
    betrieb->click();
    ASSERT_TRUE(pump([&] { return series[1]->count() >= 3; }, 15000)) << "actual value series grows";
    EXPECT_EQ(series[2]->count(), series[1]->count()) << "damper position drawn with each sample";
    EXPECT_EQ(qsizetype(plot->Samples()->Size()), series[1]->count());

    // Paused: cycles go on, the plot stays as it is and is not redrawn.
    plot->PauseButton()->click();
    EXPECT_EQ(plot->PauseButton()->text(), "Weiter");
    const qsizetype frozen = series[1]->count();
    const int redraws = plot->Redraws();
    const int steps = ctl.Core().BetriebThread().StepsRun();
    pump([] { return false; }, 1500);
    EXPECT_GE(ctl.Core().BetriebThread().StepsRun(), steps + 2) << "the operation mode kept cycling";
    EXPECT_EQ(series[1]->count(), frozen);
    EXPECT_EQ(plot->Redraws(), redraws);
    plot->PauseButton()->click();
    EXPECT_EQ(plot->PauseButton()->text(), "Pause");
    ASSERT_TRUE(pump([&] { return series[1]->count() > frozen; }, 5000)) << "continues after the pause";

    // Export through the button, the file dialog replaced.
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("live.csv"));
    plot->ChooseExportFile = [&] { return path; };
    ASSERT_TRUE(plot->ExportButton()->isEnabled());
    plot->PauseButton()->click(); // the samples stay as exported
    const size_t n = plot->Samples()->Size();
    plot->ExportButton()->click();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(size_t(lines.size()), n + 2) << "header, one line per sample, nothing after the last CR LF";
    EXPECT_TRUE(lines[0].startsWith("time,setpoint_percent,actual_percent,damper_percent,pressure_"));
    EXPECT_TRUE(lines[1].endsWith('\r'));
}
