#pragma once
// The machine's serial port as a transport. QSerialPort must be created, used and closed in
// one thread, so the port lives in an I/O thread of its own; every call is carried there.
#include "comm/Transport.h"

#include <QObject>
#include <QSerialPort>
#include <QThread>
#include <atomic>
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

    ITransport::RxHandler rxHandler;
    ITransport::LostHandler lostHandler;
    std::mutex handlerMutex;

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void linkLost(const QString& reason);
    // Whether the line has really ended (hang-up, error, device node gone).
    bool lineGone() const;

    QSerialPort* port_ = nullptr;
    QString path_;
    bool lostReported_ = false;
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
    template <typename F> auto onIoThread(F&& f) -> decltype(f());

    QThread thread_;
    SerialWorker* worker_ = nullptr;
    PortSettings settings_;
    std::atomic<bool> open_{false};
    std::atomic<PortOpenError> openKind_{PortOpenError::None};
};

} // namespace kadex
