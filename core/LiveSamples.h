#pragma once
// The samples behind the live plot of the Service tab: one timestamped set of the live values
// per operation cycle, kept for the last few minutes. Nothing here talks to the bus; the
// values are the ones the operation step has already written into the window-value model.
//
// Why a step count and not only change notifications: the model announces only changes, so a
// cycle whose values all stay as they were announces nothing, and the plot would stop moving
// exactly when the controller holds still. The cycle boundary therefore comes from the
// operation thread's step count (TPollThread::StepsRun); the model's notifications of the
// "Betrieb" toggle tell when the operation mode starts and ends.
//
// Contract:
// - Poll() is called by the owner (the plot's timer on the GUI thread, a test by hand); it
//   takes at most one sample, and only when the step count has moved on since the last sample
//   (or since the operation mode started), no step is running, the operation mode is on and
//   the buffer is not paused. Several steps between two polls still give one sample.
// - The buffer keeps samples not older than the window (measured from the newest one) and at
//   most maxSamples of them; the oldest go first.
// - Starting the operation mode begins a new run: the samples of the last run stay until the
//   first sample of the new one, so an export after "Betrieb" is released still has them.
// - Thread use: the toggle listener may run on any thread; Poll, the accessors and SetPaused
//   may be called from any thread as well (one mutex).
#include "device/model/WindowModel.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

namespace kadex {

struct LiveSample {
    int64_t msSinceEpoch = 0; // UTC
    // Percent; NaN where the field shows no number (the setpoint shows "---" in most modes).
    double setpointPrz = std::numeric_limits<double>::quiet_NaN();
    double actualPrz = std::numeric_limits<double>::quiet_NaN();
    double damperPrz = std::numeric_limits<double>::quiet_NaN();
    // In the pressure unit of the window; NaN when no pressure sensor is fitted.
    double pressure = std::numeric_limits<double>::quiet_NaN();
};

struct LiveSamplesOptions {
    int windowSeconds = 300;
    int maxSamples = 4000; // the pressure sampling of the conductance run polls without a pause
};

class LiveSamples {
public:
    using StepCount = std::function<int()>;
    using StepRunning = std::function<bool()>;
    using Clock = std::function<int64_t()>; // ms since the epoch, UTC

    // stepsRun/stepRunning: the operation thread's TPollThread::StepsRun and StepRunning.
    LiveSamples(WindowModel& model, StepCount stepsRun, StepRunning stepRunning = {},
                LiveSamplesOptions options = {}, Clock clock = {});
    ~LiveSamples();
    LiveSamples(const LiveSamples&) = delete;
    LiveSamples& operator=(const LiveSamples&) = delete;

    // Takes a sample when a cycle has ended since the last one; true when it took one.
    bool Poll();

    bool OperationOn() const;
    // A paused buffer takes no samples; continuing starts counting cycles afresh, so the cycles
    // that ran meanwhile leave a gap instead of one sample standing for all of them.
    void SetPaused(bool paused);
    bool Paused() const;

    std::vector<LiveSample> Samples() const;
    size_t Size() const;
    // Counts every sample taken; the plot redraws only when it moved.
    uint64_t Generation() const;
    // The pressure unit ("Pa", "uPSI") as the window shows it now.
    QString PressureUnit() const;

    // Called when the operation mode starts or ends (also by the model listener).
    std::function<void(bool on)> OnOperationChanged;

private:
    void toggleChanged();
    LiveSample read() const;

    WindowModel& m_;
    StepCount stepsRun_;
    StepRunning stepRunning_;
    LiveSamplesOptions options_;
    Clock clock_;
    int listener_ = 0;

    mutable std::mutex mu_;
    std::deque<LiveSample> samples_;
    bool on_ = false;
    bool paused_ = false;
    bool newRun_ = false; // the next sample begins a new run and drops the old one
    int lastSteps_ = 0;
    uint64_t generation_ = 0;
};

// The samples as CSV: a header line, then one line per sample; ISO 8601 UTC time stamps with
// milliseconds, point decimals, an empty cell where a value is missing. No line endings.
QStringList LiveSamplesCsv(const std::vector<LiveSample>& samples, const QString& pressureUnit);

} // namespace kadex
