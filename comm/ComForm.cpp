#include "comm/ComForm.h"

#include "comm/SerialTransport.h"

#include "settings/Texts.h"
#include "settings/Trace.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace kadex {

TComForm::TComForm(std::unique_ptr<ITransport> transport)
    : openErrorText_(QStringLiteral("Kann COM nicht öffnen!"))
{
    settings_.baudRate = MapBaudRate(1200);
    settings_.dataBits = 8;
    settings_.stopBitsTenths = 10;
    SetTransport(transport ? std::move(transport) : std::make_unique<SerialTransport>());
}

TComForm::~TComForm()
{
    if (transport_) {
        transport_->setRxHandler(nullptr);
        transport_->setLostHandler(nullptr);
        transport_->close();
    }
}

void TComForm::SetTransport(std::unique_ptr<ITransport> transport)
{
    if (transport_) {
        transport_->setRxHandler(nullptr);
        transport_->setLostHandler(nullptr);
        transport_->close();
    }
    transport_ = std::move(transport);
    portOpen_ = false;
    attachHandlers();
}

void TComForm::attachHandlers()
{
    if (!transport_)
        return;
    transport_->setRxHandler([this](const uint8_t* data, size_t count) { ComPort1RxChar(data, count); });
    transport_->setLostHandler([this](const QString& reason) { onLinkLost(reason); });
}

void TComForm::SetPortNumber(int n)
{
    portNumber_ = n;
}

void TComForm::SetPortPath(const QString& path)
{
    portPath_ = path.trimmed();
}

QString TComForm::PortDisplayName() const
{
    return portPath_.isEmpty() ? QStringLiteral("Com%1").arg(portNumber_) : portPath_;
}

QString TComForm::DevicePathForNumber(int n)
{
    // Com1 is the first on-board port.
    return QStringLiteral("/dev/ttyS%1").arg(n > 0 ? n - 1 : 0);
}

int TComForm::MapBaudRate(int rate)
{
    static constexpr int rates[] = {300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
    return std::find(std::begin(rates), std::end(rates), rate) != std::end(rates) ? rate : 1200;
}

int TComForm::MapDataBits(int bits)
{
    return (bits == 5 || bits == 6 || bits == 7) ? bits : 8;
}

int TComForm::MapStopBits(int tenths)
{
    return (tenths == 15 || tenths == 20) ? tenths : 10;
}

void TComForm::SetBaudRate(int rate) { settings_.baudRate = MapBaudRate(rate); }
void TComForm::SetDataBits(int bits) { settings_.dataBits = MapDataBits(bits); }
void TComForm::SetStopBits(int tenths) { settings_.stopBitsTenths = MapStopBits(tenths); }

bool TComForm::OpenPort()
{
    ResetReceive();
    if (transport_ && transport_->isOpen()) {
        portOpen_ = true;
        return true;
    }
    lastOpenKind_ = PortOpenError::None;
    lastOpenSystem_.clear();
    lastOpenGroup_.clear();
    if (!transport_) {
        portOpen_ = false;
        return false;
    }
    PortSettings s = settings_;
    s.portName = DevicePath();
    transport_->configure(s);
    QString reason;
    const bool ok = transport_->open(reason);
    portOpen_ = transport_->isOpen();
    if (!ok || !portOpen_) {
        lastOpenKind_ = transport_->lastOpenErrorKind();
        if (lastOpenKind_ == PortOpenError::None)
            lastOpenKind_ = PortOpenError::Other;
        lastOpenSystem_ = reason;
        lastOpenGroup_ = transport_->lastOpenGroup();
        const QString which = portPath_.isEmpty() ? QString::number(portNumber_) : portPath_;
        lastOpenError_ = openErrorText_ + QStringLiteral(" (") + which + QStringLiteral(")") + QLatin1Char('\n')
            + OpenErrorReasonText(lastOpenKind_, lastOpenGroup_);
        TraceMain.TraceText(QStringLiteral("OpenPort ") + s.portName, reason);
        ResetReceive();
        return false;
    }
    lastOpenError_.clear();
    // A write error that came with a lost link ends with the port's return.
    if (linkLost_.exchange(false))
        writeError_ = false;
    return true;
}

QString TComForm::DevicePath() const
{
    return portPath_.isEmpty() ? DevicePathForNumber(portNumber_) : portPath_;
}

bool TComForm::PortPresent() const
{
    return transport_ && transport_->devicePresent(DevicePath());
}

QString TComForm::OpenErrorReasonText(PortOpenError kind, const QString& group)
{
    switch (kind) {
    case PortOpenError::None:
        return {};
    case PortOpenError::NoSuchDevice:
        return IniStatusText.PortMissing;
    case PortOpenError::PermissionDenied:
        return QString(IniStatusText.PortPermission).replace(QStringLiteral("%GROUP%"),
                                                             group.isEmpty() ? QStringLiteral("dialout") : group);
    case PortOpenError::InUse:
        return IniStatusText.PortInUse;
    case PortOpenError::Other:
        break;
    }
    return IniStatusText.PortOther;
}

QString TComForm::OpenErrorReasonEnglish(PortOpenError kind, const QString& group, const QString& systemText)
{
    switch (kind) {
    case PortOpenError::None:
        return {};
    case PortOpenError::NoSuchDevice:
        return QStringLiteral("no such device");
    case PortOpenError::PermissionDenied:
        return QStringLiteral("permission denied; add the user to the %1 group and log in again")
            .arg(group.isEmpty() ? QStringLiteral("dialout") : group);
    case PortOpenError::InUse:
        return QStringLiteral("in use by another program");
    case PortOpenError::Other:
        break;
    }
    return systemText.isEmpty() ? QStringLiteral("the port reports an error") : systemText;
}

QString TComForm::LastOpenError() const
{
    return lastOpenError_;
}

bool TComForm::ClosePort()
{
    ResetReceive();
    if (transport_)
        transport_->close();
    portOpen_ = transport_ ? transport_->isOpen() : false;
    return !portOpen_;
}

QString TComForm::SetDtrRts()
{
    return transport_ ? transport_->setDtrRts() : QString();
}

bool TComForm::WriteTelegram(const uint8_t* bytes, size_t length)
{
    if (!transport_ || !transport_->isOpen() || length == 0 || length > 256) {
        writeError_ = true;
        return false;
    }
    // Whatever is still pending belongs to an earlier telegram (a late answer); it must not
    // become part of this telegram's answer.
    transport_->discardInput();
    {
        std::lock_guard<std::mutex> lk(rxMutex_);
        resetReceiveLocked();
        rxCount_ = 0;
        std::memcpy(lastSent_, bytes, length);
        sentLen_ = static_cast<uint8_t>(length);
    }
    if (!transport_->write(bytes, length)) {
        writeError_ = true;
        return false;
    }
    return true;
}

void TComForm::ResetReceive()
{
    std::lock_guard<std::mutex> lk(rxMutex_);
    resetReceiveLocked();
}

void TComForm::resetReceiveLocked()
{
    answerComplete_ = false;
    rxWriteIndex_ = 0;
}

void TComForm::ComPort1RxChar(const uint8_t* data, size_t count)
{
    if (data == nullptr || count == 0)
        return;
    {
        std::lock_guard<std::mutex> lk(rxMutex_);
        assembleLocked(data, count);
    }
    rxCv_.notify_all();
}

void TComForm::assembleLocked(const uint8_t* data, size_t count)
{
    answerComplete_ = false;
    for (size_t i = 0; i < count; ++i)
        rxBuffer_[rxWriteIndex_++] = data[i]; // 8-bit index wraps at 256
    rxCount_ = rxWriteIndex_;
    if (rxCount_ > sentLen_) {
        const uint8_t header = rxBuffer_[sentLen_];
        const int needed = sentLen_ + ((header & 0x70) >> 4) + 3;
        if (rxCount_ >= needed) {
            std::memmove(rxBuffer_, rxBuffer_ + sentLen_, rxCount_ - sentLen_);
            rxCount_ = static_cast<uint8_t>(rxCount_ - sentLen_);
            rxWriteIndex_ = 0;
            answerComplete_ = true;
        }
    }
}

bool TComForm::WaitAnswer(IClock& clock, uint64_t t0, uint32_t timeoutMs, const std::atomic<bool>& closing,
                          uint8_t* bytes256, uint8_t& length)
{
    std::unique_lock<std::mutex> lk(rxMutex_);
    for (;;) {
        const uint64_t now = clock.NowMs();
        // A lost link cannot deliver anything; do not sit out the timeout.
        const bool lost = writeError_.load() && !portOpen_.load();
        const bool timedOut = (now - t0 > timeoutMs) || closing.load() || lost;
        if (timedOut) {
            resetReceiveLocked();
            return false;
        }
        if (answerComplete_) {
            resetReceiveLocked();
            std::memcpy(bytes256, rxBuffer_, 256);
            length = rxCount_;
            return true;
        }
        clock.WaitUntil(lk, rxCv_, t0 + timeoutMs + 1);
    }
}

void TComForm::WakeWaiters()
{
    { std::lock_guard<std::mutex> lk(rxMutex_); }
    rxCv_.notify_all();
}

void TComForm::SetLinkLostHandler(std::function<void(const QString&)> handler)
{
    std::lock_guard<std::mutex> lk(lostMutex_);
    linkLostHandler_ = std::move(handler);
}

void TComForm::onLinkLost(const QString& reason)
{
    linkLost_ = true;
    writeError_ = true;
    portOpen_ = false;
    WakeWaiters();
    std::function<void(const QString&)> h;
    {
        std::lock_guard<std::mutex> lk(lostMutex_);
        h = linkLostHandler_;
    }
    if (h)
        h(reason);
}

TComForm::RxState TComForm::Snapshot() const
{
    std::lock_guard<std::mutex> lk(rxMutex_);
    RxState s{};
    std::memcpy(s.buffer, rxBuffer_, 256);
    s.writeIndex = rxWriteIndex_;
    s.count = rxCount_;
    s.sentLen = sentLen_;
    s.answerComplete = answerComplete_;
    return s;
}

} // namespace kadex
