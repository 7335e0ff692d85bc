#include "comm/ComForm.h"

#include "comm/SerialTransport.h"
#include "comm/ZBFrame.h"
#include "common/BaudRates.h"

#include "settings/Trace.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace kadex {

TComForm::TComForm(std::unique_ptr<ITransport> transport)
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
    return IsBaudRate(rate) ? rate : 1200;
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
        TraceMain.TraceText(QStringLiteral("OpenPort ") + s.portName, reason);
        ResetReceive();
        return false;
    }
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
    // Whatever is still pending belongs to an earlier telegram (a late answer) or to nobody
    // (noise); it must not become part of this telegram's answer.
    transport_->discardInput();
    {
        std::lock_guard<std::mutex> lk(rxMutex_);
        resetReceiveLocked();
        rxCount_ = 0;
        rxSeen_ = 0;
        answerDone_ = false;
        lineFault_ = WaitResult::Answer;
        stray_.clear();
        strayCount_ = 0;
        std::memcpy(lastSent_, bytes, length);
        sentLen_ = static_cast<uint8_t>(length);
        // Set before writing: a transport may deliver the echo from inside write().
        awaiting_ = true;
    }
    if (!transport_->write(bytes, length)) {
        writeError_ = true;
        std::lock_guard<std::mutex> lk(rxMutex_);
        awaiting_ = false;
        return false;
    }
    return true;
}

void TComForm::ResetReceive()
{
    std::lock_guard<std::mutex> lk(rxMutex_);
    resetReceiveLocked();
    awaiting_ = false; // no answer is due any more: what comes now is stray
}

void TComForm::resetReceiveLocked()
{
    answerComplete_ = false;
    rxWriteIndex_ = 0;
}

void TComForm::ComPort1RxChar(const uint8_t* data, size_t count)
{
    if (IClock* c = clock_.load(); c && data && count)
        lastRxMs_ = c->NowMs();
    {
        std::lock_guard<std::mutex> lk(rxMutex_);
        if (data == nullptr || count == 0) {
            answerComplete_ = false; // nothing is stored, but a pending completion is gone
        } else {
            rxTotal_ += count;
            if (awaiting_)
                assembleLocked(data, count);
            else
                strayLocked(data, count);
        }
    }
    rxCv_.notify_all();
}

void TComForm::strayLocked(const uint8_t* data, size_t count)
{
    strayCount_ += count;
    const size_t room = stray_.size() < 256 ? 256 - stray_.size() : 0;
    stray_.insert(stray_.end(), data, data + std::min(room, count));
}

void TComForm::assembleLocked(const uint8_t* data, size_t count)
{
    answerComplete_ = false;
    // An answer was complete already: whatever follows means the line is not where the answer
    // said it would be.
    const bool afterCompletion = answerDone_;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = data[i];
        // The echo must be the telegram itself; anything else is a line out of step.
        if (rxSeen_ < sentLen_ && b != lastSent_[rxSeen_] && lineFault_ == WaitResult::Answer)
            lineFault_ = WaitResult::EchoMismatch;
        rxBuffer_[rxWriteIndex_++] = b; // 8-bit index wraps at 256
        ++rxSeen_;
    }
    rxCount_ = rxWriteIndex_;
    if (lineFault_ != WaitResult::Answer)
        return;
    if (afterCompletion) {
        lineFault_ = WaitResult::Surplus;
        return;
    }
    if (rxSeen_ <= sentLen_)
        return;
    const size_t needed = static_cast<size_t>(sentLen_) + zb::LengthField(rxBuffer_[sentLen_]) + 3;
    if (rxSeen_ < needed)
        return;
    if (rxSeen_ > 256) {
        // The buffer positions have wrapped; what is held is no answer.
        lineFault_ = WaitResult::Surplus;
        return;
    }
    // Bytes beyond the needed count stay in the answer (so its check bytes fail) and mark it.
    if (rxSeen_ > needed)
        lineFault_ = WaitResult::Surplus;
    std::memmove(rxBuffer_, rxBuffer_ + sentLen_, rxCount_ - sentLen_);
    rxCount_ = static_cast<uint8_t>(rxCount_ - sentLen_);
    rxWriteIndex_ = 0;
    answerComplete_ = true;
    answerDone_ = true;
}

TComForm::WaitResult TComForm::WaitAnswer(IClock& clock, uint64_t t0, uint32_t timeoutMs,
                                          const std::atomic<bool>& closing, uint8_t* bytes256, uint8_t& length)
{
    std::unique_lock<std::mutex> lk(rxMutex_);
    auto finish = [&](WaitResult r) {
        if (r == WaitResult::Answer || r == WaitResult::EchoMismatch || r == WaitResult::Surplus) {
            std::memcpy(bytes256, rxBuffer_, 256);
            length = r == WaitResult::Answer ? rxCount_ : static_cast<uint8_t>(std::min<size_t>(rxSeen_, 255));
        }
        lastWaitBytes_ = rxSeen_ > sentLen_ ? rxSeen_ - sentLen_ : 0;
        resetReceiveLocked();
        awaiting_ = false;
        rxSeen_ = 0;
        answerDone_ = false;
        lineFault_ = WaitResult::Answer;
        return r;
    };
    for (;;) {
        const uint64_t now = clock.NowMs();
        if (closing.load())
            return finish(WaitResult::Closing);
        // A lost link cannot deliver anything; do not sit out the timeout.
        if (lostLocked())
            return finish(WaitResult::LinkLost);
        if (now - t0 > timeoutMs)
            return finish(WaitResult::Timeout);
        if (lineFault_ != WaitResult::Answer)
            return finish(lineFault_);
        if (answerComplete_)
            return finish(WaitResult::Answer);
        clock.WaitUntil(lk, rxCv_, t0 + timeoutMs + 1);
    }
}

bool TComForm::WaitQuiet(IClock& clock, uint64_t notBeforeMs, uint32_t quietMs, uint32_t maxMs,
                         const std::atomic<bool>& closing, std::vector<uint8_t>& discarded)
{
    bool quiet = false;
    {
        std::unique_lock<std::mutex> lk(rxMutex_);
        awaiting_ = false;
        uint64_t quietFrom = std::max(clock.NowMs(), notBeforeMs);
        const uint64_t giveUp = quietFrom + maxMs;
        uint64_t seen = rxTotal_;
        for (;;) {
            if (closing.load() || lostLocked())
                break;
            const uint64_t now = clock.NowMs();
            if (rxTotal_ != seen) {
                seen = rxTotal_;
                quietFrom = std::max(now, notBeforeMs);
            }
            if (now >= quietFrom + quietMs) {
                quiet = true;
                break;
            }
            if (now >= giveUp)
                break;
            clock.WaitUntil(lk, rxCv_, std::min(quietFrom + quietMs, giveUp));
        }
        discarded = std::move(stray_);
        stray_.clear();
        strayCount_ = 0;
        resetReceiveLocked();
        rxCount_ = 0;
    }
    if (transport_)
        transport_->discardInput();
    return quiet;
}

std::vector<uint8_t> TComForm::TakeStray()
{
    std::lock_guard<std::mutex> lk(rxMutex_);
    std::vector<uint8_t> s = std::move(stray_);
    stray_.clear();
    strayCount_ = 0;
    return s;
}

size_t TComForm::StrayCount() const
{
    std::lock_guard<std::mutex> lk(rxMutex_);
    return strayCount_;
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
