#include "comm/SerialTransport.h"

#include <QFileInfo>
#include <QMetaObject>

#include <QSocketNotifier>

#include <cerrno>
#include <future>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>

namespace kadex {

// ---------------------------------------------------------------------------- worker

SerialWorker::~SerialWorker()
{
    close();
}

bool SerialWorker::open(const PortSettings& s, QString& error, PortOpenError& kind)
{
    kind = PortOpenError::None;
    if (port_ && port_->isOpen() && !lostReported_)
        return true;
    close();
    port_ = new QSerialPort(this);
    lostReported_ = false;
    path_ = s.portName;
    port_->setPortName(s.portName);
    port_->setBaudRate(s.baudRate);
    port_->setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(s.stopBitsTenths == 15 ? QSerialPort::OneAndHalfStop
                       : s.stopBitsTenths == 20 ? QSerialPort::TwoStop
                                                : QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        error = port_->errorString();
        kind = SerialTransport::ClassifyOpenError(port_->error(), error);
        delete port_;
        port_ = nullptr;
        return false;
    }
    // Lines stay off until the connect step switches them on. Pseudo-terminals have no such
    // lines; that is not a failure.
    port_->setDataTerminalReady(false);
    port_->setRequestToSend(false);
    port_->clearError();
    connect(port_, &QSerialPort::readyRead, this, &SerialWorker::onReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this, &SerialWorker::onError);
    return true;
}

void SerialWorker::close()
{
    if (!port_)
        return;
    port_->disconnect(this);
    if (port_->isOpen())
        port_->close();
    delete port_;
    port_ = nullptr;
}

bool SerialWorker::isOpen() const
{
    return port_ && port_->isOpen();
}

QString SerialWorker::setDtrRts()
{
    if (!isOpen())
        return QStringLiteral("port not open");
    QStringList failed;
    if (!port_->setDataTerminalReady(true))
        failed << QStringLiteral("DTR");
    if (!port_->setRequestToSend(true))
        failed << QStringLiteral("RTS");
    if (failed.isEmpty())
        return {};
    const QString why = port_->errorString();
    port_->clearError();
    return failed.join(QStringLiteral("/")) + QStringLiteral(": ") + why;
}

bool SerialWorker::write(const QByteArray& data)
{
    if (!isOpen() || lostReported_)
        return false;
    qint64 done = port_->write(data);
    if (done != data.size())
        return false;
    // Wait until the driver has taken every byte.
    while (port_->bytesToWrite() > 0) {
        if (!port_->waitForBytesWritten(1000))
            return port_->bytesToWrite() == 0;
    }
    return true;
}

void SerialWorker::discardInput()
{
    if (!isOpen() || lostReported_)
        return;
    port_->clear(QSerialPort::Input);
    port_->readAll();
}

void SerialWorker::onReadyRead()
{
    if (!port_ || lostReported_)
        return;
    const QByteArray data = port_->readAll();
    if (data.isEmpty())
        return;
    ITransport::RxHandler h;
    {
        std::lock_guard<std::mutex> lk(handlerMutex);
        h = rxHandler;
    }
    if (h)
        h(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()));
}

bool SerialWorker::lineGone() const
{
    if (!port_ || port_->handle() < 0)
        return true;
    pollfd p{port_->handle(), POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 && errno != EINTR)
        return true;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 || !QFileInfo::exists(path_);
}

void SerialWorker::onError(QSerialPort::SerialPortError error)
{
    // A vanished device shows as a flood of resource/read errors whose waits return at once:
    // take it as the end of the link, close once and report once.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    // A read notification whose bytes were flushed away by discardInput() before it ran reads
    // nothing, and the port reports that as a read or resource error with whatever errno was
    // left over. Late answers make that race common. The link is lost only when the line
    // itself says so (hang-up, error, device node gone).
    if (!lineGone()) {
        port_->clearError();
        // On a "resource" error the port stops watching for input; watch again.
        for (QSocketNotifier* n : port_->findChildren<QSocketNotifier*>())
            if (n->type() == QSocketNotifier::Read)
                n->setEnabled(true);
        return;
    }
    const QString reason = port_ ? port_->errorString() : QString();
    linkLost(reason);
}

void SerialWorker::linkLost(const QString& reason)
{
    if (lostReported_)
        return;
    lostReported_ = true;
    // The error may be raised inside a port call further up this stack (a write waiting for
    // its bytes), so the port is closed once that call has returned; until then every call
    // sees lostReported_ and does nothing.
    if (port_)
        port_->disconnect(this);
    QMetaObject::invokeMethod(this, [this] {
        if (lostReported_)
            close();
    }, Qt::QueuedConnection);
    ITransport::LostHandler h;
    {
        std::lock_guard<std::mutex> lk(handlerMutex);
        h = lostHandler;
    }
    if (h)
        h(reason);
}

void SerialWorker::queueCall(std::function<void()> call)
{
    {
        std::lock_guard<std::mutex> lk(callMutex_);
        calls_.push_back(std::move(call));
    }
    QMetaObject::invokeMethod(this, "runCalls", Qt::QueuedConnection);
}

void SerialWorker::runCalls()
{
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lk(callMutex_);
            if (calls_.empty())
                return;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}

// ---------------------------------------------------------------------------- transport

SerialTransport::SerialTransport()
{
    thread_.setObjectName(QStringLiteral("kadex-serial-io"));
    worker_ = new SerialWorker;
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

SerialTransport::~SerialTransport()
{
    close();
    thread_.quit();
    thread_.wait();
}

template <typename F> auto SerialTransport::onIoThread(F&& f) -> decltype(f())
{
    using R = decltype(f());
    if (QThread::currentThread() == &thread_)
        return f();
    // The call refers to the caller's stack: the caller stays here until the promise is kept.
    // The promise belongs to the call, so keeping it is over before it goes away.
    auto done = std::make_shared<std::promise<R>>();
    std::future<R> result = done->get_future();
    worker_->queueCall([&f, done] {
        if constexpr (std::is_void_v<R>) {
            f();
            done->set_value();
        } else {
            done->set_value(f());
        }
    });
    return result.get();
}

void SerialTransport::setRxHandler(RxHandler h)
{
    std::lock_guard<std::mutex> lk(worker_->handlerMutex);
    worker_->rxHandler = std::move(h);
}

void SerialTransport::setLostHandler(LostHandler h)
{
    std::lock_guard<std::mutex> lk(worker_->handlerMutex);
    worker_->lostHandler = [this, h = std::move(h)](const QString& reason) {
        open_ = false;
        if (h)
            h(reason);
    };
}

void SerialTransport::configure(const PortSettings& settings)
{
    std::lock_guard<std::mutex> lk(settingsMutex_);
    settings_ = settings;
}

bool SerialTransport::open(QString& error)
{
    PortSettings s;
    {
        std::lock_guard<std::mutex> lk(settingsMutex_);
        s = settings_;
    }
    QString err;
    PortOpenError kind = PortOpenError::None;
    const bool ok = onIoThread([&] { return worker_->open(s, err, kind); });
    error = err;
    openKind_ = ok ? PortOpenError::None : kind;
    open_ = ok;
    return ok;
}

void SerialTransport::close()
{
    if (thread_.isRunning())
        onIoThread([&] { worker_->close(); });
    open_ = false;
}

bool SerialTransport::isOpen() const
{
    return open_.load();
}

QString SerialTransport::setDtrRts()
{
    return onIoThread([&] { return worker_->setDtrRts(); });
}

bool SerialTransport::write(const uint8_t* data, size_t count)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    return onIoThread([&] { return worker_->write(bytes); });
}

void SerialTransport::discardInput()
{
    onIoThread([&] { worker_->discardInput(); });
}

PortOpenError SerialTransport::ClassifyOpenError(QSerialPort::SerialPortError error, const QString& systemText)
{
    switch (error) {
    case QSerialPort::NoError:
        return PortOpenError::None;
    case QSerialPort::DeviceNotFoundError:
        return PortOpenError::NoSuchDevice;
    case QSerialPort::PermissionError:
        // The port's lock file, an exclusive open (EBUSY) and a refused open all come as a
        // permission error; only the text tells them apart.
        if (systemText.contains(QLatin1String("lock"), Qt::CaseInsensitive)
            || systemText.contains(QLatin1String("busy"), Qt::CaseInsensitive))
            return PortOpenError::InUse;
        return PortOpenError::PermissionDenied;
    default:
        if (systemText.contains(QLatin1String("No such file"), Qt::CaseInsensitive)
            || systemText.contains(QLatin1String("No such device"), Qt::CaseInsensitive))
            return PortOpenError::NoSuchDevice;
        return PortOpenError::Other;
    }
}

QString SerialTransport::OwningGroup(const QString& portName)
{
    struct stat st {};
    if (::stat(QFileInfo(portName).absoluteFilePath().toLocal8Bit().constData(), &st) == 0) {
        if (const struct group* g = ::getgrgid(st.st_gid))
            return QString::fromLocal8Bit(g->gr_name);
    }
    return QStringLiteral("dialout");
}

QString SerialTransport::lastOpenGroup() const
{
    if (openKind_.load() != PortOpenError::PermissionDenied)
        return {};
    QString port;
    {
        std::lock_guard<std::mutex> lk(settingsMutex_);
        port = settings_.portName;
    }
    return OwningGroup(port);
}

} // namespace kadex
