#include "comm/ZBCmd.h"

#include "common/Helpers.h"
#include "common/TextFile.h"

#include <algorithm>
#include <cstring>

namespace kadex {

TZBCmd::TZBCmd(TComForm& com, IClock* clock)
    : com_(com), clock_(clock ? clock : &SteadyClock::Instance())
{
}

void TZBCmd::SetAdrIndex(uint8_t index)
{
    std::lock_guard<std::recursive_mutex> lock(busMutex_);
    adrIndex_ = index;
}

void TZBCmd::SetClosing(bool closing)
{
    closing_ = closing;
    if (closing)
        com_.WakeWaiters();
}

bool TZBCmd::LoadCommandNames(const QString& path)
{
    QStringList lines;
    if (path.isEmpty() || !ReadTextFileLines(path, lines)) {
        CommandNames.clear();
        return false;
    }
    CommandNames = lines;
    return true;
}

QString TZBCmd::CommandName(uint8_t code) const
{
    return code < CommandNames.size() ? CommandNames.at(code) : QStringLiteral("ZB_Unknown");
}

uint8_t TZBCmd::BuildHeader(int n) const
{
    uint8_t pattern;
    switch (HeaderMode) {
    case 0: pattern = zb::AddressPattern(adrIndex_.load()); break;
    case 2: pattern = zb::PatternButton; break;
    default: pattern = zb::PatternBroadcast; break;
    }
    return zb::Header(pattern, n);
}

void TZBCmd::BuildRequest(const uint8_t* body, int n)
{
    TxBuf[0] = BuildHeader(n);
    std::memcpy(TxBuf + 1, body, static_cast<size_t>(n));
    TxBuf[n + 1] = CheckA(TxBuf, static_cast<size_t>(n + 1));
    TxBuf[n + 2] = CheckB(TxBuf, static_cast<size_t>(n + 2));
    TxLen = static_cast<uint8_t>(n + 3);
}

void TZBCmd::trace(const QString& line)
{
    if (sink_ && sink_->TransferOn())
        sink_->AddTransferLine(line);
}

void TZBCmd::traceDiscarded(const std::vector<uint8_t>& bytes)
{
    if (!bytes.empty())
        trace(QStringLiteral("-> Discarded: ") + HexBytes(bytes.data(), bytes.size()));
}

bool TZBCmd::SendTelegram(const uint8_t* bytes, size_t length)
{
    if (Closing() || length < 2)
        return false;
    // Bytes that came while nothing was asked for (noise, a very late answer) are dropped here.
    traceDiscarded(com_.TakeStray());
    trace(QStringLiteral("<- ") + CommandName(bytes[1]) + QStringLiteral(" : ") + HexBytes(bytes, length));
    return com_.WriteTelegram(bytes, length);
}

bool TZBCmd::ReceiveAnswer(uint8_t* bytes256, uint8_t& length)
{
    const uint64_t t0 = clock_->NowMs();
    uint8_t got[256];
    uint8_t n = 0;
    const TComForm::WaitResult r = com_.WaitAnswer(*clock_, t0, TimeoutMs, closing_, got, n);
    switch (r) {
    case TComForm::WaitResult::Answer:
        std::memcpy(bytes256, got, sizeof got);
        length = n;
        lastResult_ = TxResult::Ok;
        trace(QStringLiteral("-> ") + HexBytes(got, n));
        trace(QString());
        return true;
    case TComForm::WaitResult::Timeout:
        lastResult_ = TxResult::Timeout;
        trace(QStringLiteral("-> Timeout"));
        break;
    case TComForm::WaitResult::EchoMismatch:
    case TComForm::WaitResult::Surplus:
        lastResult_ = r == TComForm::WaitResult::EchoMismatch ? TxResult::EchoMismatch : TxResult::WrongLength;
        trace(QStringLiteral("-> ") + HexBytes(got, n));
        trace(QStringLiteral("-> Rejected: ") + TxResultText(lastResult_));
        break;
    case TComForm::WaitResult::LinkLost:
        lastResult_ = TxResult::LinkLost;
        trace(QStringLiteral("-> ") + TxResultText(lastResult_));
        break;
    case TComForm::WaitResult::Closing:
        lastResult_ = TxResult::Closing;
        break;
    }
    trace(QString());
    return false;
}

bool TZBCmd::ValidateAnswer() const
{
    const int l = RxLen;
    if (l < 3)
        return false;
    return CheckA(RxBuf, static_cast<size_t>(l - 2)) == RxBuf[l - 2]
        && CheckB(RxBuf, static_cast<size_t>(l - 1)) == RxBuf[l - 1];
}

TxResult TZBCmd::checkAnswer(int expectedData) const
{
    const int m = zb::LengthField(RxBuf[0]);
    if (RxLen != m + 3)
        return TxResult::WrongLength;
    if (!ValidateAnswer())
        return TxResult::BadCheck;
    if (RxBuf[0] & zb::ErrorBit)
        return TxResult::DeviceRefused;
    // The answer carries no sequence number: its length is one of the few things that tell
    // whether it belongs to this request.
    if (expectedData >= 0 && m != expectedData)
        return TxResult::WrongLength;
    return TxResult::Ok;
}

void TZBCmd::resync(uint64_t sentMs)
{
    if (GuardMs == 0) {
        clock_->SleepMs(PauseMs);
        return;
    }
    std::vector<uint8_t> discarded;
    const bool quiet = com_.WaitQuiet(*clock_, sentMs + TimeoutMs, std::max(GuardMs, PauseMs),
                                      std::max(GuardMaxMs, GuardMs), closing_, discarded);
    traceDiscarded(discarded);
    if (!quiet && !Closing() && com_.PortOpen())
        trace(QStringLiteral("-> Line not quiet after %1 ms").arg(std::max(GuardMaxMs, GuardMs)));
}

bool TZBCmd::Transact()
{
    return transact(-1);
}

bool TZBCmd::transact(int expectedData)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    TxResult result = TxResult::Ok;
    int attempt = 0;
    do {
        ++attempt;
        if (!SendTelegram(TxBuf, TxLen)) {
            // A failed write is not retried.
            result = Closing() ? TxResult::Closing : TxResult::LinkLost;
            break;
        }
        if (HeaderMode == 1) {
            clock_->SleepMs(TimeoutMs);
            com_.ResetReceive();
            result = TxResult::Ok;
            break;
        }
        const uint64_t sentMs = clock_->NowMs();
        const bool received = ReceiveAnswer(RxBuf, RxLen);
        result = received ? checkAnswer(expectedData) : lastResult_.load();
        if (result == TxResult::LinkLost || result == TxResult::Closing)
            break;
        if (received && result == TxResult::WrongLength)
            trace(QStringLiteral("-> Rejected: ") + TxResultText(result));
        const bool inStep = result == TxResult::Ok || result == TxResult::DeviceRefused;
        if (inStep) {
            clock_->SleepMs(PauseMs);
            // Bytes right after a complete answer: it was not the answer it looked like.
            if (com_.StrayCount() > 0) {
                traceDiscarded(com_.TakeStray());
                result = TxResult::WrongLength;
            }
        }
        if (result != TxResult::Ok && result != TxResult::DeviceRefused)
            resync(sentMs);
    } while (result != TxResult::Ok && attempt < Attempts && !Closing());
    if (Closing())
        result = TxResult::Closing;
    lastResult_ = result;
    return result == TxResult::Ok;
}

// ---------------------------------------------------------------------------- commands

int AnswerDataLength(ZbCommand cmd)
{
    switch (cmd) {
    case ZbCommand::ReadMem: return -1;
    case ZbCommand::GetBusAddress:
    case ZbCommand::GetAlarms: return 1;
    case ZbCommand::GetMode: return 2;
    case ZbCommand::GetW1Range:
    case ZbCommand::GetU5Range:
    case ZbCommand::GetSetpoint:
    case ZbCommand::GetActualValue: return 4;
    case ZbCommand::GetFirmware:
    case ZbCommand::GetFlowLimits:
    case ZbCommand::GetVLevels:
    case ZbCommand::GetTextAddresses: return 6;
    case ZbCommand::GetConfigInfo:
    case ZbCommand::GetIdentity: return 7;
    case ZbCommand::WriteMem:
    case ZbCommand::SetW1Range:
    case ZbCommand::SetOverride:
    case ZbCommand::SetU5Range:
    case ZbCommand::SetSetpoint:
    case ZbCommand::SetAddressBySerial:
    case ZbCommand::Lock:
    case ZbCommand::SetVLevels:
    case ZbCommand::Unlock: return 0;
    }
    return -1;
}

QString TxResultText(TxResult result)
{
    switch (result) {
    case TxResult::Ok: return QStringLiteral("ok");
    case TxResult::Timeout: return QStringLiteral("no answer");
    case TxResult::BadCheck: return QStringLiteral("answer with bad check bytes");
    case TxResult::DeviceRefused: return QStringLiteral("refused by the controller");
    case TxResult::WrongLength: return QStringLiteral("answer of the wrong length");
    case TxResult::EchoMismatch: return QStringLiteral("echo differs from the telegram sent");
    case TxResult::LinkLost: return QStringLiteral("link lost");
    case TxResult::Closing: return QStringLiteral("program closing");
    case TxResult::InvalidRequest: return QStringLiteral("request not expressible");
    }
    return QStringLiteral("unknown");
}

bool TZBCmd::command(ZbCommand cmd, std::initializer_list<uint8_t> payload)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    uint8_t body[zb::MaxBody];
    body[0] = static_cast<uint8_t>(cmd);
    std::copy(payload.begin(), payload.end(), body + 1);
    BuildRequest(body, static_cast<int>(payload.size()) + 1);
    return transact(AnswerDataLength(cmd));
}

bool TZBCmd::ReadMem(uint16_t addr, uint8_t count, uint8_t* out)
{
    if (count == 0 || count > 7)
        return fail(TxResult::InvalidRequest);
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    const uint8_t body[4] = {static_cast<uint8_t>(ZbCommand::ReadMem), uint8_t(addr >> 8), uint8_t(addr), count};
    BuildRequest(body, 4);
    if (!transact(count))
        return false;
    std::memcpy(out, RxBuf + 1, count);
    return true;
}

bool TZBCmd::WriteMem(uint16_t addr, const uint8_t* data, uint8_t count)
{
    if (count == 0 || count > 4)
        return fail(TxResult::InvalidRequest);
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    uint8_t body[7] = {static_cast<uint8_t>(ZbCommand::WriteMem), uint8_t(addr >> 8), uint8_t(addr)};
    std::memcpy(body + 3, data, count);
    BuildRequest(body, 3 + count);
    return transact(AnswerDataLength(ZbCommand::WriteMem));
}

bool TZBCmd::SetW1Range(uint16_t minMv, uint16_t spanMv)
{
    return command(ZbCommand::SetW1Range, {uint8_t(minMv >> 8), uint8_t(minMv), uint8_t(spanMv >> 8), uint8_t(spanMv)});
}

bool TZBCmd::GetW1Range(uint16_t& minMv, uint16_t& spanMv)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    minMv = spanMv = 0;
    if (!command(ZbCommand::GetW1Range, {}))
        return false;
    minMv = rx16(1);
    spanMv = rx16(3);
    return true;
}

bool TZBCmd::GetBusAddress(uint8_t& pattern)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command(ZbCommand::GetBusAddress, {}))
        return false;
    pattern = RxBuf[1];
    return true;
}

bool TZBCmd::SetOverride(uint8_t code)
{
    return command(ZbCommand::SetOverride, {code});
}

bool TZBCmd::GetConfigInfo(uint8_t& b1, uint16_t& w1, uint16_t& w2, uint16_t& tableId)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command(ZbCommand::GetConfigInfo, {}))
        return false;
    b1 = RxBuf[1];
    w1 = rx16(2);
    w2 = rx16(4);
    tableId = rx16(6);
    return true;
}

bool TZBCmd::SetU5Range(uint16_t minMv, uint16_t spanMv)
{
    return command(ZbCommand::SetU5Range, {uint8_t(minMv >> 8), uint8_t(minMv), uint8_t(spanMv >> 8), uint8_t(spanMv)});
}

bool TZBCmd::GetFirmware(uint16_t& version, uint16_t& w2, uint16_t& w3)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    version = w2 = w3 = 0;
    if (!command(ZbCommand::GetFirmware, {}))
        return false;
    version = rx16(1);
    w2 = rx16(3);
    w3 = rx16(5);
    return true;
}

bool TZBCmd::GetU5Range(uint16_t& minMv, uint16_t& spanMv)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    minMv = spanMv = 0;
    if (!command(ZbCommand::GetU5Range, {}))
        return false;
    minMv = rx16(1);
    spanMv = rx16(3);
    return true;
}

bool TZBCmd::GetAlarms(uint8_t& bits)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    bits = 0;
    if (!command(ZbCommand::GetAlarms, {}))
        return false;
    bits = RxBuf[1];
    return true;
}

bool TZBCmd::GetFlowLimits(uint16_t& vnom, uint16_t& vmax, uint16_t& vmin)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    vnom = vmax = vmin = 0;
    if (!command(ZbCommand::GetFlowLimits, {}))
        return false;
    vnom = rx16(1);
    vmax = rx16(3);
    vmin = rx16(5);
    return true;
}

bool TZBCmd::SetSetpoint(uint16_t value)
{
    return command(ZbCommand::SetSetpoint, {uint8_t(value >> 8), uint8_t(value)});
}

bool TZBCmd::SetAddressBySerial(uint16_t w1, uint16_t w2, uint8_t last, uint8_t pattern)
{
    return command(ZbCommand::SetAddressBySerial,
                   {uint8_t(w1 >> 8), uint8_t(w1), uint8_t(w2 >> 8), uint8_t(w2), last, pattern});
}

bool TZBCmd::GetSetpoint(uint16_t& w1, uint16_t& setpoint)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    w1 = setpoint = 0;
    if (!command(ZbCommand::GetSetpoint, {}))
        return false;
    w1 = rx16(1);
    setpoint = rx16(3);
    return true;
}

bool TZBCmd::GetIdentity(uint16_t& w1, uint16_t& w2, uint8_t& d5, uint8_t& type, uint8_t& last)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command(ZbCommand::GetIdentity, {}))
        return false;
    w1 = rx16(1);
    w2 = rx16(3);
    d5 = RxBuf[5];
    type = RxBuf[6];
    last = RxBuf[7];
    return true;
}

bool TZBCmd::GetActualValue(uint16_t& actual, uint16_t& w2)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    actual = w2 = 0;
    if (!command(ZbCommand::GetActualValue, {}))
        return false;
    actual = rx16(1);
    w2 = rx16(3);
    return true;
}

bool TZBCmd::GetVLevels(uint16_t& vmin, uint16_t& vmid, uint16_t& vmax)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    vmin = vmid = vmax = 0;
    if (!command(ZbCommand::GetVLevels, {}))
        return false;
    vmin = rx16(1);
    vmid = rx16(3);
    vmax = rx16(5);
    return true;
}

void TZBCmd::Lock()
{
    command(ZbCommand::Lock, {});
}

bool TZBCmd::SetVLevels(uint16_t vmin, uint16_t vmid, uint16_t vmax)
{
    return command(ZbCommand::SetVLevels, {uint8_t(vmin >> 8), uint8_t(vmin), uint8_t(vmid >> 8), uint8_t(vmid),
                                           uint8_t(vmax >> 8), uint8_t(vmax)});
}

bool TZBCmd::GetTextAddresses(uint16_t& oemAdr, uint16_t& posAdr, uint16_t& typeAdr)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command(ZbCommand::GetTextAddresses, {}))
        return false;
    oemAdr = rx16(1);
    posAdr = rx16(3);
    typeAdr = rx16(5);
    return true;
}

bool TZBCmd::GetMode(uint8_t& mode, uint8_t& modeOld)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command(ZbCommand::GetMode, {}))
        return false;
    mode = RxBuf[1];
    modeOld = RxBuf[2];
    return true;
}

bool TZBCmd::Unlock(uint32_t key)
{
    return command(ZbCommand::Unlock, {uint8_t(key >> 24), uint8_t(key >> 16), uint8_t(key >> 8), uint8_t(key)});
}

// ---------------------------------------------------------------------------- derived

bool TZBCmd::GetBusAddressText(QString& text)
{
    uint8_t pattern = 0;
    if (!GetBusAddress(pattern)) {
        text.clear();
        return false;
    }
    const char* name = zb::AddressName(pattern);
    text = name ? QString::fromLatin1(name) : QString();
    return true;
}

QString TZBCmd::TypeText(uint8_t type)
{
    switch (type) {
    case 2: return QStringLiteral("ZEL-40A");
    case 3: return QStringLiteral("VAV-Reglersystem QV");
    default: return QStringLiteral("UNKNOWN");
    }
}

bool TZBCmd::GetIdentityText(QString& idText, QString& typeText, uint32_t& deviceKey, uint8_t& type)
{
    uint16_t w1 = 0, w2 = 0;
    uint8_t d5 = 0, t = 0, last = 0;
    if (!GetIdentity(w1, w2, d5, t, last)) {
        idText.clear();
        typeText.clear();
        return false;
    }
    idText = QStringLiteral("%1-%2-%3-%4")
                 .arg(w1, 5, 10, QLatin1Char('0'))
                 .arg(w2, 5, 10, QLatin1Char('0'))
                 .arg(t, 3, 10, QLatin1Char('0'))
                 .arg(last, 3, 10, QLatin1Char('0'));
    typeText = TypeText(t);
    deviceKey = zb::DeviceKey(w1, w2, d5, t, last);
    type = t;
    return true;
}

QString TZBCmd::AlarmText(int bit)
{
    switch (bit) {
    case 0: return QStringLiteral("Stop&Go-Ratio zu gross");
    case 1: return QStringLiteral("Stellweg vergrössert (10%)");
    case 2: return QStringLiteral("Mechanische Überlast");
    default: return QStringLiteral("Bit %1").arg(bit);
    }
}

bool TZBCmd::AddAlarmTexts(QStringList& alarmList)
{
    uint8_t bits = 0;
    const bool ok = GetAlarms(bits);
    for (int bit = 0; bit < 8; ++bit) {
        if (bits & (1u << bit)) {
            const QString t = AlarmText(bit);
            if (!alarmList.contains(t))
                alarmList.append(t);
        }
    }
    return ok;
}

bool TZBCmd::ReadText16(uint16_t addr, QString& text)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    text.clear();
    uint8_t buf[16];
    if (!ReadMem(addr, 6, buf) || !ReadMem(uint16_t(addr + 6), 6, buf + 6) || !ReadMem(uint16_t(addr + 12), 4, buf + 12))
        return false;
    text = FromCp1252(reinterpret_cast<const char*>(buf), 16);
    return true;
}

bool TZBCmd::WriteText16(uint16_t addr, const QString& text)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    QByteArray bytes = ToCp1252(text.left(16));
    bytes = bytes.leftJustified(16, ' ', true);
    bool r = false;
    for (int i = 0; i < 4; ++i) {
        r = WriteMem(uint16_t(addr + 4 * i), reinterpret_cast<const uint8_t*>(bytes.constData() + 4 * i), 4);
        if (!r)
            break;
    }
    return r;
}

} // namespace kadex
