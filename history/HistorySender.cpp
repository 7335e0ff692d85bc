#include "history/HistorySender.h"

#include <chrono>

namespace kadex::history {

Sender::Sender(QString localPath, ServerConfig server) : localPath_(std::move(localPath)), server_(std::move(server))
{
    thread_ = std::thread([this] { run(); });
}

Sender::~Sender() { Stop(); }

void Sender::Stop()
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Sender::Wake()
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        wake_ = true;
    }
    cv_.notify_all();
}

Sender::State Sender::CurrentState() const
{
    std::lock_guard<std::mutex> lk(mutex_);
    return state_;
}

int Sender::SentCount() const
{
    std::lock_guard<std::mutex> lk(mutex_);
    return sent_;
}

void Sender::setState(State s)
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        state_ = s;
    }
    stateCv_.notify_all();
}

bool Sender::Flush(int timeoutMs)
{
    Wake();
    std::unique_lock<std::mutex> lk(mutex_);
    // Idle only counts once the wake above was taken: the thread clears wake_ before it looks.
    const bool done = stateCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [this] {
        return (state_ == State::Idle && !wake_) || state_ == State::Away || state_ == State::Refused;
    });
    return done && state_ == State::Idle;
}

void Sender::report(Fault f, const QString& text)
{
    if (f != Fault::None && f == reported_)
        return;
    reported_ = f;
    if (OnMessage)
        OnMessage(f, text);
}

void Sender::run()
{
    Database local;
    Database server;
    const QString where = server_.Display();
    for (;;) {
        {
            std::unique_lock<std::mutex> lk(mutex_);
            if (state_ == State::Away || state_ == State::Refused)
                cv_.wait_for(lk, std::chrono::milliseconds(retryMs), [this] { return stop_; });
            else
                cv_.wait(lk, [this] { return stop_ || wake_; });
            if (stop_)
                return;
            wake_ = false;
            if (state_ != State::Away && state_ != State::Refused)
                state_ = State::Sending;
        }
        if (!local.IsOpen() && !local.OpenLocal(localPath_)) {
            report(local.LastFault(), FaultText(local.LastFault(), localPath_, local.LastError()));
            setState(State::Away);
            continue;
        }
        if (!server.IsOpen() && !server.OpenServer(server_)) {
            const bool refused = server.LastFault() == Fault::NewerSchema;
            report(server.LastFault(), FaultText(refused ? Fault::NewerSchema : Fault::Unreachable, where,
                                                  refused ? server.LastError() : server.LastError()) +
                                           (refused ? QStringLiteral("; records stay in the local history")
                                                    : QStringLiteral("; records are kept and sent later")));
            server.Close();
            setState(refused ? State::Refused : State::Away);
            continue;
        }
        bool failed = false;
        int sentNow = 0;
        for (;;) {
            const auto batch = local.Pending(200);
            if (!batch) {
                report(local.LastFault(), FaultText(local.LastFault(), localPath_, local.LastError()));
                failed = true;
                break;
            }
            if (batch->empty())
                break;
            if (!server.AddToServer(*batch)) {
                report(Fault::Unreachable, FaultText(Fault::Unreachable, where, server.LastError()) +
                                               QStringLiteral("; records are kept and sent later"));
                server.Close();
                failed = true;
                break;
            }
            QStringList ids;
            for (const Record& r : *batch)
                ids << r.id;
            // Should this fail, the records go again; the server keeps the first copy.
            if (!local.MarkSent(ids)) {
                report(local.LastFault(), FaultText(local.LastFault(), localPath_, local.LastError()));
                failed = true;
                break;
            }
            sentNow += static_cast<int>(ids.size());
            {
                std::lock_guard<std::mutex> lk(mutex_);
                sent_ += static_cast<int>(ids.size());
                if (stop_)
                    return;
            }
        }
        if (failed) {
            setState(State::Away);
            continue;
        }
        if (reported_ != Fault::None) {
            report(Fault::None, QStringLiteral("the history server %1 is reachable again; %2 kept records sent")
                                    .arg(where)
                                    .arg(sentNow));
        }
        setState(State::Idle);
    }
}

} // namespace kadex::history
