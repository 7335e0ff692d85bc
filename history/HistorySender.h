#pragma once
// Sends the local history's outbox to the shared server on a thread of its own, so that a
// slow or absent server never holds up a device action. A server that cannot be reached is
// reported once and tried again later; records leave the outbox only after the server has
// committed them, and the server ignores a record it has already (same id), so none is lost
// and none is stored twice.
#include "history/HistoryStore.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kadex::history {

class Sender {
public:
    Sender(QString localPath, ServerConfig server);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // Something new is in the outbox.
    void Wake();
    // Waits until the outbox is empty (true), or the server is away or refused, or timeoutMs
    // has passed (false).
    bool Flush(int timeoutMs);
    // Stops the thread after its current step.
    void Stop();

    enum class State { Starting, Sending, Idle, Away, Refused };
    State CurrentState() const;
    int SentCount() const;

    // Called on the sender's thread: text, and whether it is a problem. Each problem is
    // reported once, until the server is back.
    std::function<void(Fault fault, const QString& text)> OnMessage;
    // How long to wait before trying an absent server again.
    int retryMs = 5000;

private:
    void run();
    void setState(State s);
    void report(Fault f, const QString& text);

    QString localPath_;
    ServerConfig server_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable stateCv_;
    bool wake_ = true;
    bool stop_ = false;
    State state_ = State::Starting;
    int sent_ = 0;
    Fault reported_ = Fault::None;
    std::thread thread_;
};

} // namespace kadex::history
