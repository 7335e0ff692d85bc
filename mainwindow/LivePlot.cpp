#include "mainwindow/LivePlot.h"

#include "common/TextFile.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QMessageBox>
#include <QResizeEvent>
#include <QToolButton>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include "mainwindow/Retranslate.h"

#include <algorithm>
#include <cmath>

namespace kadex::gui {

namespace {
constexpr int kPollMs = 250;

QString pauseText(bool paused)
{
    return paused ? LangText("HAUPTFENSTER", "PlotResume") : LangText("HAUPTFENSTER", "PlotPause");
}
} // namespace

LivePlot::LivePlot(QWidget* parent) : QWidget(parent)
{
    chart_ = new QChart;
    // Small type: the plot shares the operation group with the values.
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    chart_->legend()->setAlignment(Qt::AlignTop);
    chart_->legend()->setFont(small);
    // A little room above and to the right: the top value label and the last time label reach
    // half their size beyond the plot area.
    chart_->setMargins(QMargins(0, 6, 6, 0));
    chart_->setBackgroundRoundness(0);
    chart_->setAnimationOptions(QChart::NoAnimation);

    time_ = new QDateTimeAxis;
    time_->setFormat(QStringLiteral("HH:mm:ss"));
    percent_ = new QValueAxis;
    percent_->setRange(0, 100);
    percent_->setLabelFormat(QStringLiteral("%.0f %%"));
    pressureAxis_ = new QValueAxis;
    pressureAxis_->setLabelFormat(QStringLiteral("%.0f"));
    pressureAxis_->setVisible(false);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(time_), static_cast<QAbstractAxis*>(percent_),
                                static_cast<QAbstractAxis*>(pressureAxis_)})
        axis->setLabelsFont(small);
    time_->setTickCount(4);
    percent_->setTickCount(5);
    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(percent_, Qt::AlignLeft);
    chart_->addAxis(pressureAxis_, Qt::AlignRight);

    const auto add = [this](const QString& name, QValueAxis* y) {
        auto* s = new QLineSeries;
        s->setName(name);
        chart_->addSeries(s);
        s->attachAxis(time_);
        s->attachAxis(y);
        return s;
    };
    setpoint_ = add(LangText("HAUPTFENSTER", "PlotSetpoint"), percent_);
    actual_ = add(LangText("HAUPTFENSTER", "PlotActual"), percent_);
    damper_ = add(LangText("HAUPTFENSTER", "PlotDamper"), percent_);
    pressure_ = add(LangText("HAUPTFENSTER", "PlotSensor"), pressureAxis_);
    pressure_->setVisible(false);
    const QDateTime now = QDateTime::currentDateTime();
    time_->setRange(now.addSecs(-windowSeconds_), now);

    view_ = new QChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumSize(100, 100);

    // Tool buttons: the plot has little room beside the values at the window's designed size.
    pause_ = new QToolButton(this);
    pause_->setText(pauseText(false));
    pause_->setCheckable(true);
    pause_->setEnabled(false);
    export_ = new QToolButton(this);
    export_->setEnabled(false);
    Retranslate();
    connect(pause_, &QToolButton::clicked, this, &LivePlot::togglePause);
    connect(export_, &QToolButton::clicked, this, &LivePlot::exportClicked);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(pause_);
    buttons->addWidget(export_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);

    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &LivePlot::PollNow);

    ChooseExportFile = [this] {
        const QString name = QStringLiteral("Kadex_Live_%1.csv")
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")));
        return QFileDialog::getSaveFileName(this, LangText("HAUPTFENSTER", "PlotSaveTitle"),
                                            QDir::home().filePath(name), QStringLiteral("CSV (*.csv)"));
    };
}

LivePlot::~LivePlot() = default;

void LivePlot::Retranslate()
{
    pause_->setText(pauseText(pause_->isChecked()));
    pause_->setToolTip(LangText("HAUPTFENSTER", "PlotPauseHint"));
    export_->setText(LangText("HAUPTFENSTER", "PlotExport"));
    export_->setToolTip(LangText("HAUPTFENSTER", "PlotExportHint"));
    if (model_)
        updateNames();
}

void LivePlot::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A narrow plot shortens its labels; the legend stays, or nothing would say which line is
    // which.
    const bool wide = event->size().width() >= 300;
    time_->setFormat(wide ? QStringLiteral("HH:mm:ss") : QStringLiteral("mm:ss"));
    time_->setTickCount(wide ? 4 : 2);
    percent_->setLabelFormat(wide ? QStringLiteral("%.0f %%") : QStringLiteral("%.0f"));
}

void LivePlot::Attach(WindowModel& model, LiveSamples::StepCount stepsRun, LiveSamples::StepRunning stepRunning,
                      LiveSamplesOptions options)
{
    model_ = &model;
    windowSeconds_ = options.windowSeconds;
    samples_ = std::make_unique<LiveSamples>(model, std::move(stepsRun), std::move(stepRunning), options);
    // The toggle may change on a worker thread (a lost port releases it): handle it here.
    samples_->OnOperationChanged = [this](bool on) {
        QMetaObject::invokeMethod(this, [this, on] { operationChanged(on); }, Qt::QueuedConnection);
    };
    operationChanged(samples_->OperationOn());
}

QList<QLineSeries*> LivePlot::Series() const
{
    return {setpoint_, actual_, damper_, pressure_};
}

void LivePlot::operationChanged(bool on)
{
    if (on) {
        updateNames();
        // A new run starts drawing; a pause left from the last run would hide it.
        if (samples_->Paused())
            togglePause();
    }
    pause_->setEnabled(on);
    updateTimer();
}

void LivePlot::updateNames()
{
    // The captions of the fields beside, as the language file has them.
    const auto caption = [this](FieldId f, QLineSeries* s) {
        const QString c = model_->caption(f);
        if (!c.isEmpty())
            s->setName(c);
    };
    caption(fld::LabelBetrSollw, setpoint_);
    caption(fld::LabelBetrIstw, actual_);
    caption(fld::LabelBetrMotRueck, damper_);
    caption(fld::LabelSensorValue, pressure_);
    if (samples_) {
        const QString unit = samples_->PressureUnit();
        pressure_->setName(QStringLiteral("%1 [%2]").arg(pressure_->name().section(QLatin1String(" ["), 0, 0), unit));
    }
}

void LivePlot::updateTimer()
{
    const bool run = samples_ && samples_->OperationOn() && !samples_->Paused();
    if (run && !timer_->isActive())
        timer_->start();
    else if (!run)
        timer_->stop();
}

void LivePlot::PollNow()
{
    if (!samples_)
        return;
    if (samples_->Poll() || samples_->Generation() != drawn_)
        redraw();
    if (!samples_->OperationOn())
        timer_->stop();
}

void LivePlot::togglePause()
{
    if (!samples_)
        return;
    const bool paused = !samples_->Paused();
    samples_->SetPaused(paused);
    pause_->setChecked(paused);
    pause_->setText(pauseText(paused));
    updateTimer();
}

void LivePlot::redraw()
{
    const std::vector<LiveSample> all = samples_->Samples();
    drawn_ = samples_->Generation();
    ++redraws_;
    QList<QPointF> s, a, d, p;
    double pmax = 0;
    for (const LiveSample& x : all) {
        const double t = double(x.msSinceEpoch);
        if (!std::isnan(x.setpointPrz))
            s << QPointF(t, x.setpointPrz);
        if (!std::isnan(x.actualPrz))
            a << QPointF(t, x.actualPrz);
        if (!std::isnan(x.damperPrz))
            d << QPointF(t, x.damperPrz);
        if (!std::isnan(x.pressure)) {
            p << QPointF(t, x.pressure);
            pmax = std::max(pmax, x.pressure);
        }
    }
    setpoint_->replace(s);
    actual_->replace(a);
    damper_->replace(d);
    pressure_->replace(p);
    const bool withPressure = !p.isEmpty();
    pressure_->setVisible(withPressure);
    pressureAxis_->setVisible(withPressure);
    if (withPressure)
        pressureAxis_->setRange(0, pmax > 0 ? pmax * 1.1 : 1);
    if (!all.empty()) {
        // A run shorter than the window fills the plot; a longer one scrolls.
        const int64_t newest = all.back().msSinceEpoch;
        int64_t oldest = std::max(all.front().msSinceEpoch, newest - int64_t(windowSeconds_) * 1000);
        oldest = std::min(oldest, newest - 20000);
        time_->setRange(QDateTime::fromMSecsSinceEpoch(oldest), QDateTime::fromMSecsSinceEpoch(newest));
    }
    export_->setEnabled(!all.empty());
}

bool LivePlot::ExportCsv(const QString& path, QString* error) const
{
    if (!samples_)
        return false;
    return WriteTextFileLines(path, LiveSamplesCsv(samples_->Samples(), samples_->PressureUnit()), error);
}

void LivePlot::exportClicked()
{
    const QString path = ChooseExportFile ? ChooseExportFile() : QString();
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportCsv(path, &error))
        QMessageBox::warning(this, QStringLiteral("Kadex Tool"), error.isEmpty() ? path : error);
}

} // namespace kadex::gui
