#pragma once
// The machine's serial port as a transport. QSerialPort must be created, used and closed in
// one thread, so the port lives in an I/O thread of its own; every call is carried there.
// The hand-offs use only what a thread checker can follow: a call is queued under a mutex and
// its result comes back through a promise, never through Qt's own (uninstrumented) waits.
#include "comm/Transport.h"

#include <QObject>
#include <QSerialPort>
#include <QThread>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kadex {

class SerialWorker : public QObject {
    Q_OBJECT
public:
    SerialWorker() = default;
    ~SerialWorker() override;

    bool open(const PortSettings& s, QString& error, PortOpenError& kind);
    void close();
    bool isOpen() const;
    QString setDtrRts();
    bool write(const QByteArray& data);
    void discardInput();

    // Calls from other threads; queued, then announced by name so that nothing of ours rides
    // in Qt's (uninstrumented) event hand-off.
    void queueCall(std::function<void()> call);
    Q_INVOKABLE void runCalls();

    std::mutex handlerMutex;
    ITransport::RxHandler rxHandler;     // guarded by handlerMutex; called on the I/O thread
    ITransport::LostHandler lostHandler; // guarded by handlerMutex; called on the I/O thread

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void linkLost(const QString& reason);
    // Whether the line has really ended (hang-up, error, device node gone).
    bool lineGone() const;

    std::mutex callMutex_;
    std::deque<std::function<void()>> calls_; // guarded by callMutex_
    QSerialPort* port_ = nullptr; // I/O thread only
    QString path_;                // I/O thread only
    bool lostReported_ = false;   // I/O thread only
};

class SerialTransport final : public ITransport {
public:
    SerialTransport();
    ~SerialTransport() override;

    void setRxHandler(RxHandler h) override;
    void setLostHandler(LostHandler h) override;
    void configure(const PortSettings& settings) override;
    bool open(QString& error) override;
    void close() override;
    bool isOpen() const override;
    QString setDtrRts() override;
    bool write(const uint8_t* data, size_t count) override;
    void discardInput() override;
    PortOpenError lastOpenErrorKind() const override { return openKind_.load(); }
    QString lastOpenGroup() const override;

    // The class of a failed open from the port's error and the system's text.
    static PortOpenError ClassifyOpenError(QSerialPort::SerialPortError error, const QString& systemText);
    // The group that owns the device node ("dialout" when it cannot be told).
    static QString OwningGroup(const QString& portName);

private:
    // Runs f on the I/O thread and returns its result; the caller waits.
    template <typename F> auto onIoThread(F&& f) -> decltype(f());

    QThread thread_;
    SerialWorker* worker_ = nullptr; // set before the I/O thread starts, constant after
    mutable std::mutex settingsMutex_;
    PortSettings settings_;                    // guarded by settingsMutex_
    std::atomic<bool> open_{false};            // atomic: written by callers and the lost handler
    std::atomic<PortOpenError> openKind_{PortOpenError::None}; // atomic: read by any thread
};

} // namespace kadex
