#pragma once
// The live plot of the Service tab: setpoint, actual value and damper position (and the
// pressure when a pressure sensor is fitted) over the last minutes of the operation mode,
// with a pause button and a CSV export. It only draws the samples of LiveSamples (core); it
// sends nothing on the bus.
//
// Cost: a 250 ms timer runs only while the operation mode is on and the plot is not paused;
// each tick asks the buffer whether a cycle ended (two atomic reads) and the chart is redrawn
// only when a new sample arrived.
#include "core/LiveSamples.h"

#include <QWidget>

#include <functional>
#include <memory>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QToolButton;
class QTimer;
class QValueAxis;

namespace kadex::gui {

class LivePlot : public QWidget {
    Q_OBJECT
public:
    explicit LivePlot(QWidget* parent = nullptr);
    ~LivePlot() override;

    // Starts following the model; stepsRun/stepRunning are the operation thread's.
    void Attach(WindowModel& model, LiveSamples::StepCount stepsRun, LiveSamples::StepRunning stepRunning,
                LiveSamplesOptions options = {});
    LiveSamples* Samples() const { return samples_.get(); }

    // Writes the samples as CSV (code page 1252 text with CR LF, which is plain ASCII here).
    bool ExportCsv(const QString& path, QString* error = nullptr) const;
    // Asks for the export file; a test replaces it. Empty: cancelled.
    std::function<QString()> ChooseExportFile;

    QToolButton* PauseButton() const { return pause_; }
    QToolButton* ExportButton() const { return export_; }
    QChart* Chart() const { return chart_; }
    // Points of the series as drawn: setpoint, actual value, damper position, pressure.
    QList<QLineSeries*> Series() const;
    int Redraws() const { return redraws_; }

public Q_SLOTS:
    // One timer tick: a new sample is drawn.
    void PollNow();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void operationChanged(bool on);
    void togglePause();
    void exportClicked();
    void redraw();
    void updateTimer();
    void updateNames();

    std::unique_ptr<LiveSamples> samples_;
    WindowModel* model_ = nullptr;
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QLineSeries* setpoint_ = nullptr;
    QLineSeries* actual_ = nullptr;
    QLineSeries* damper_ = nullptr;
    QLineSeries* pressure_ = nullptr;
    QDateTimeAxis* time_ = nullptr;
    QValueAxis* percent_ = nullptr;
    QValueAxis* pressureAxis_ = nullptr;
    QToolButton* pause_ = nullptr;
    QToolButton* export_ = nullptr;
    QTimer* timer_ = nullptr;
    uint64_t drawn_ = 0;
    int redraws_ = 0;
    int windowSeconds_ = 300;
};

} // namespace kadex::gui
