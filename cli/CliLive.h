#pragma once
// What the commands that poll through the main core share: the live values as one sample of
// the window's fields, and the stop signals.
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace kadex::cli {

using Clock = std::chrono::steady_clock;

inline const QString kFlowUnit = QStringLiteral("m³/h");

inline QString L(const char* s) { return QString::fromLatin1(s); }

// A number where the field holds one; null for "---" and other text.
inline QJsonValue number(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

struct LiveSample {
    QString status, setPct, setFlow, actPct, actFlow, y, damper, w1, u5, sensorV, sensorPa;
    bool alarmsRead = false;
    QStringList alarms;

    static LiveSample From(const WindowModel& m)
    {
        LiveSample s;
        s.status = m.caption(fld::PanelBetrStatus);
        s.setPct = m.text(fld::EditBetrSollwPrz);
        s.setFlow = m.text(fld::EditBetrSollwM3);
        s.actPct = m.text(fld::EditBetrIstwPrz);
        s.actFlow = m.text(fld::EditBetrIstwM3);
        s.y = m.text(fld::EditBetrRYSignPrz);
        s.damper = m.text(fld::EditBetrMotRueckPrz);
        s.w1 = m.text(fld::EditSignW1);
        s.u5 = m.text(fld::EditSignU5);
        s.sensorV = m.text(fld::EditSensorSign);
        s.sensorPa = m.text(fld::EditSensorValue);
        return s;
    }

    QString Text() const
    {
        const bool noSetpoint = number(setPct).isNull();
        const QString setpoint = noSetpoint ? QStringLiteral("---")
                                            : QStringLiteral("%1 % %2 %3").arg(setPct, setFlow, kFlowUnit);
        const QString alarmText = !alarmsRead ? QStringLiteral("?")
            : alarms.isEmpty()                ? QStringLiteral("none")
                                              : alarms.join(QStringLiteral(", "));
        return QStringLiteral("%1 | setpoint %2 | actual %3 % %4 %5 | Y %6 % | damper %7 % | W1 %8 V | U5 %9 V | ")
                   .arg(status.isEmpty() ? QStringLiteral("-") : status, setpoint, actPct, actFlow, kFlowUnit, y,
                        damper, w1, u5)
            + QStringLiteral("sensor %1 V %2 Pa | alarms: %3").arg(sensorV, sensorPa, alarmText);
    }

    void AddTo(QJsonObject& o) const
    {
        o[L("status")] = status;
        o[L("setpointPercent")] = number(setPct);
        o[L("setpointM3h")] = number(setFlow);
        o[L("actualPercent")] = number(actPct);
        o[L("actualM3h")] = number(actFlow);
        o[L("ySignalPercent")] = number(y);
        o[L("damperPercent")] = number(damper);
        o[L("w1V")] = number(w1);
        o[L("u5V")] = number(u5);
        o[L("sensorSignalV")] = number(sensorV);
        o[L("sensorPa")] = number(sensorPa);
        o[L("alarms")] = alarmsRead ? QJsonValue(QJsonArray::fromStringList(alarms)) : QJsonValue(QJsonValue::Null);
    }
};

// The signals that end a command: SIGINT, SIGTERM, SIGHUP (the terminal or the ssh session
// closed), SIGQUIT and SIGPIPE (the reader of the output went away), taken by a thread of their
// own so that a stop request can also cut a running bus transaction short. Must be created
// before any other thread, since threads inherit the blocked set; the set stays blocked until the
// process ends, so a second signal during shutdown cannot kill it half-way. A write to a closed
// pipe then fails with EPIPE instead of killing the process; the commands that print while the
// controller is held check their output (OutputBroken) and stop as for SIGPIPE.
class StopSignals {
public:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

    StopSignals()
    {
        sigemptyset(&set_);
        for (int s : kSignals)
            sigaddset(&set_, s);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
        thread_ = std::thread([this] { run(); });
    }
    ~StopSignals()
    {
        done_ = true;
        thread_.join();
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Runs on the signal thread when a stop arrives (and at once if one already has).
    void SetOnStop(std::function<void()> f)
    {
        std::lock_guard<std::mutex> lk(m_);
        onStop_ = std::move(f);
        if (stopped_ && onStop_)
            onStop_();
    }
    bool Stopped() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return stopped_;
    }
    // The signal that stopped the command; 0 while none came.
    int Signal() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return signal_;
    }
    // A stop for the given signal from this process (a broken output seen as EPIPE).
    void Raise(int signal) { stop(signal); }
    // Waits until t, a stop or a Poke; true when stopped.
    bool WaitUntil(Clock::time_point t)
    {
        std::unique_lock<std::mutex> lk(m_);
        cv_.wait_until(lk, t, [&] { return stopped_ || poked_; });
        poked_ = false;
        return stopped_;
    }
    // How many stops came so far.
    unsigned Count() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return count_;
    }
    // Waits until t or until more than `seen` stops came; true for the latter.
    bool WaitForMore(Clock::time_point t, unsigned seen)
    {
        std::unique_lock<std::mutex> lk(m_);
        return cv_.wait_until(lk, t, [&] { return count_ > seen; });
    }
    // Ends the current WaitUntil early (any thread).
    void Poke()
    {
        std::lock_guard<std::mutex> lk(m_);
        poked_ = true;
        cv_.notify_all();
    }

    static const char* Name(int signal)
    {
        switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGQUIT: return "SIGQUIT";
        case SIGPIPE: return "SIGPIPE";
        }
        return "a signal";
    }

private:
    void stop(int signal)
    {
        std::lock_guard<std::mutex> lk(m_);
        if (!stopped_)
            signal_ = signal;
        stopped_ = true;
        ++count_;
        if (onStop_)
            onStop_();
        cv_.notify_all();
    }
    void run()
    {
        const timespec slice{0, 100 * 1000 * 1000};
        while (!done_.load()) {
            const int s = sigtimedwait(&set_, nullptr, &slice);
            if (s > 0)
                stop(s);
        }
    }

    sigset_t set_{};
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool stopped_ = false;
    int signal_ = 0;
    unsigned count_ = 0;
    bool poked_ = false;
    std::function<void()> onStop_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

} // namespace kadex::cli
