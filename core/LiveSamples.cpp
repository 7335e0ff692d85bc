#include "core/LiveSamples.h"

#include <QDateTime>

#include <cmath>

namespace kadex {

namespace {

double numberIn(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok); // C locale: point decimals only
    return ok ? v : std::numeric_limits<double>::quiet_NaN();
}

QString cell(double v)
{
    return std::isnan(v) ? QString() : QString::number(v, 'g', 12);
}

} // namespace

LiveSamples::LiveSamples(WindowModel& model, StepCount stepsRun, StepRunning stepRunning,
                         LiveSamplesOptions options, Clock clock)
    : m_(model), stepsRun_(std::move(stepsRun)), stepRunning_(std::move(stepRunning)), options_(options),
      clock_(clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); }))
{
    const QString toggle = fld::SpeedButtonBetrieb.name();
    listener_ = m_.addListener([this, toggle](const QString& field, Prop prop) {
        if (prop == Prop::Checked && field == toggle)
            toggleChanged();
    });
    toggleChanged();
}

LiveSamples::~LiveSamples()
{
    m_.removeListener(listener_);
}

void LiveSamples::toggleChanged()
{
    const bool on = m_.checked(fld::SpeedButtonBetrieb);
    {
        std::lock_guard<std::mutex> lk(mu_);
        if (on == on_)
            return;
        on_ = on;
        if (on) {
            // Counted from here: the step that brings the first operation values ends the cycle.
            lastSteps_ = stepsRun_();
            newRun_ = true;
        }
    }
    if (OnOperationChanged)
        OnOperationChanged(on);
}

bool LiveSamples::OperationOn() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return on_;
}

void LiveSamples::SetPaused(bool paused)
{
    std::lock_guard<std::mutex> lk(mu_);
    if (paused_ && !paused)
        lastSteps_ = stepsRun_();
    paused_ = paused;
}

bool LiveSamples::Paused() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return paused_;
}

LiveSample LiveSamples::read() const
{
    LiveSample s;
    s.setpointPrz = numberIn(m_.text(fld::EditBetrSollwPrz));
    s.actualPrz = numberIn(m_.text(fld::EditBetrIstwPrz));
    s.damperPrz = numberIn(m_.text(fld::EditBetrMotRueckPrz));
    // The sensor value is shown only when a pressure sensor is fitted.
    if (m_.visible(fld::EditSensorValue))
        s.pressure = numberIn(m_.text(fld::EditSensorValue));
    return s;
}

bool LiveSamples::Poll()
{
    std::lock_guard<std::mutex> lk(mu_);
    if (!on_ || paused_)
        return false;
    const int steps = stepsRun_();
    if (steps == lastSteps_ || (stepRunning_ && stepRunning_()))
        return false;
    lastSteps_ = steps;
    LiveSample s = read();
    s.msSinceEpoch = clock_();
    if (newRun_) {
        samples_.clear();
        newRun_ = false;
    }
    samples_.push_back(s);
    const int64_t oldest = s.msSinceEpoch - int64_t(options_.windowSeconds) * 1000;
    while (!samples_.empty() && (samples_.front().msSinceEpoch < oldest ||
                                 samples_.size() > size_t(std::max(1, options_.maxSamples))))
        samples_.pop_front();
    ++generation_;
    return true;
}

std::vector<LiveSample> LiveSamples::Samples() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return {samples_.begin(), samples_.end()};
}

size_t LiveSamples::Size() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return samples_.size();
}

uint64_t LiveSamples::Generation() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return generation_;
}

QString LiveSamples::PressureUnit() const
{
    return m_.caption(fld::LabelSensorValueDim);
}

QStringList LiveSamplesCsv(const std::vector<LiveSample>& samples, const QString& pressureUnit)
{
    QStringList lines;
    lines.reserve(qsizetype(samples.size()) + 1);
    lines << QStringLiteral("time,setpoint_percent,actual_percent,damper_percent,pressure_%1")
                 .arg(pressureUnit.isEmpty() ? QStringLiteral("Pa") : pressureUnit);
    for (const LiveSample& s : samples) {
        const QString time =
            QDateTime::fromMSecsSinceEpoch(s.msSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs);
        lines << QStringList{time, cell(s.setpointPrz), cell(s.actualPrz), cell(s.damperPrz), cell(s.pressure)}
                     .join(QLatin1Char(','));
    }
    return lines;
}

} // namespace kadex
