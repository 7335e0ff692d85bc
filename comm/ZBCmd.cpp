#include "comm/ZBCmd.h"

#include "common/Helpers.h"
#include "common/TextFile.h"

#include <cstring>

namespace kadex {

TZBCmd::TZBCmd(TComForm& com, IClock* clock)
    : com_(com), clock_(clock ? clock : &SteadyClock::Instance())
{
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
    case 0: pattern = zb::AddressPattern(AdrIndex); break;
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

bool TZBCmd::SendTelegram(const uint8_t* bytes, size_t length)
{
    if (Closing() || length < 2)
        return false;
    trace(QStringLiteral("<- ") + CommandName(bytes[1]) + QStringLiteral(" : ") + HexBytes(bytes, length));
    return com_.WriteTelegram(bytes, length);
}

bool TZBCmd::ReceiveAnswer(uint8_t* bytes256, uint8_t& length)
{
    const uint64_t t0 = clock_->NowMs();
    if (!com_.WaitAnswer(*clock_, t0, TimeoutMs, closing_, bytes256, length)) {
        if (sink_ && sink_->TransferOn()) {
            sink_->AddTransferLine(QStringLiteral("-> Timeout"));
            sink_->AddTransferLine(QString());
        }
        return false;
    }
    if (sink_ && sink_->TransferOn()) {
        sink_->AddTransferLine(QStringLiteral("-> ") + HexBytes(bytes256, length));
        sink_->AddTransferLine(QString());
    }
    return true;
}

bool TZBCmd::ValidateAnswer() const
{
    const int l = RxLen;
    if (l < 3)
        return false;
    return CheckA(RxBuf, static_cast<size_t>(l - 2)) == RxBuf[l - 2]
        && CheckB(RxBuf, static_cast<size_t>(l - 1)) == RxBuf[l - 1];
}

bool TZBCmd::Transact()
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    bool ok = true;
    bool sent = false;
    int attempt = 0;
    do {
        ++attempt;
        sent = SendTelegram(TxBuf, TxLen);
        if (sent && HeaderMode == 1) {
            clock_->SleepMs(TimeoutMs);
            com_.ResetReceive();
        } else if (sent) {
            ok = ReceiveAnswer(RxBuf, RxLen);
            if (ok)
                ok = ValidateAnswer();
            if (ok)
                ok = (RxBuf[0] & zb::ErrorBit) == 0;
            clock_->SleepMs(20);
        }
    } while (!ok && attempt < Attempts && HeaderMode != 1 && !Closing() && sent);
    if (Closing() || !sent)
        return false;
    return ok;
}

// ---------------------------------------------------------------------------- commands

bool TZBCmd::command(std::initializer_list<uint8_t> body)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    BuildRequest(body.begin(), static_cast<int>(body.size()));
    return Transact();
}

// An answer must carry at least the data bytes its layout names; a shorter one would leave
// stale bytes of an earlier answer in the outputs.
#define KADEX_NEED(k) (RxLen >= (k) + 3 && zb::LengthField(RxBuf[0]) >= (k))

bool TZBCmd::ReadMem(uint16_t addr, uint8_t count, uint8_t* out)
{
    if (count == 0 || count > 7)
        return false;
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command({0x01, uint8_t(addr >> 8), uint8_t(addr), count}) || !KADEX_NEED(count))
        return false;
    std::memcpy(out, RxBuf + 1, count);
    return true;
}

bool TZBCmd::WriteMem(uint16_t addr, const uint8_t* data, uint8_t count)
{
    if (count == 0 || count > 4)
        return false;
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    uint8_t body[7] = {0x02, uint8_t(addr >> 8), uint8_t(addr)};
    std::memcpy(body + 3, data, count);
    BuildRequest(body, 3 + count);
    return Transact();
}

bool TZBCmd::SetW1Range(uint16_t minMv, uint16_t spanMv)
{
    return command({0x03, uint8_t(minMv >> 8), uint8_t(minMv), uint8_t(spanMv >> 8), uint8_t(spanMv)});
}

bool TZBCmd::GetW1Range(uint16_t& minMv, uint16_t& spanMv)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    minMv = spanMv = 0;
    if (!command({0x06}) || !KADEX_NEED(4))
        return false;
    minMv = rx16(1);
    spanMv = rx16(3);
    return true;
}

bool TZBCmd::GetBusAddress(uint8_t& pattern)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command({0x0D}) || !KADEX_NEED(1))
        return false;
    pattern = RxBuf[1];
    return true;
}

bool TZBCmd::SetOverride(uint8_t code)
{
    return command({0x0E, code});
}

bool TZBCmd::GetConfigInfo(uint8_t& b1, uint16_t& w1, uint16_t& w2, uint16_t& tableId)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command({0x12}) || !KADEX_NEED(7))
        return false;
    b1 = RxBuf[1];
    w1 = rx16(2);
    w2 = rx16(4);
    tableId = rx16(6);
    return true;
}

bool TZBCmd::SetU5Range(uint16_t minMv, uint16_t spanMv)
{
    return command({0x13, uint8_t(minMv >> 8), uint8_t(minMv), uint8_t(spanMv >> 8), uint8_t(spanMv)});
}

bool TZBCmd::GetFirmware(uint16_t& version, uint16_t& w2, uint16_t& w3)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    version = w2 = w3 = 0;
    if (!command({0x14}) || !KADEX_NEED(6))
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
    if (!command({0x15}) || !KADEX_NEED(4))
        return false;
    minMv = rx16(1);
    spanMv = rx16(3);
    return true;
}

bool TZBCmd::GetAlarms(uint8_t& bits)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    bits = 0;
    if (!command({0x1A}) || !KADEX_NEED(1))
        return false;
    bits = RxBuf[1];
    return true;
}

bool TZBCmd::GetFlowLimits(uint16_t& vnom, uint16_t& vmax, uint16_t& vmin)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    vnom = vmax = vmin = 0;
    if (!command({0x1E}) || !KADEX_NEED(6))
        return false;
    vnom = rx16(1);
    vmax = rx16(3);
    vmin = rx16(5);
    return true;
}

bool TZBCmd::SetSetpoint(uint16_t value)
{
    return command({0x25, uint8_t(value >> 8), uint8_t(value)});
}

bool TZBCmd::SetAddressBySerial(uint16_t w1, uint16_t w2, uint8_t last, uint8_t pattern)
{
    return command({0x26, uint8_t(w1 >> 8), uint8_t(w1), uint8_t(w2 >> 8), uint8_t(w2), last, pattern});
}

bool TZBCmd::GetSetpoint(uint16_t& w1, uint16_t& setpoint)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    w1 = setpoint = 0;
    if (!command({0x29}) || !KADEX_NEED(4))
        return false;
    w1 = rx16(1);
    setpoint = rx16(3);
    return true;
}

bool TZBCmd::GetIdentity(uint16_t& w1, uint16_t& w2, uint8_t& d5, uint8_t& type, uint8_t& last)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command({0x32}) || !KADEX_NEED(7))
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
    if (!command({0x39}) || !KADEX_NEED(4))
        return false;
    actual = rx16(1);
    w2 = rx16(3);
    return true;
}

bool TZBCmd::GetVLevels(uint16_t& vmin, uint16_t& vmid, uint16_t& vmax)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    vmin = vmid = vmax = 0;
    if (!command({0x3B}) || !KADEX_NEED(6))
        return false;
    vmin = rx16(1);
    vmid = rx16(3);
    vmax = rx16(5);
    return true;
}

void TZBCmd::Lock()
{
    command({0x3C});
}

bool TZBCmd::SetVLevels(uint16_t vmin, uint16_t vmid, uint16_t vmax)
{
    return command({0x3D, uint8_t(vmin >> 8), uint8_t(vmin), uint8_t(vmid >> 8), uint8_t(vmid),
                    uint8_t(vmax >> 8), uint8_t(vmax)});
}

bool TZBCmd::GetTextAddresses(uint16_t& oemAdr, uint16_t& posAdr, uint16_t& typeAdr)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command({0x47}) || !KADEX_NEED(6))
        return false;
    oemAdr = rx16(1);
    posAdr = rx16(3);
    typeAdr = rx16(5);
    return true;
}

bool TZBCmd::GetMode(uint8_t& mode, uint8_t& modeOld)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    if (!command({0x4B}) || !KADEX_NEED(2))
        return false;
    mode = RxBuf[1];
    modeOld = RxBuf[2];
    return true;
}

bool TZBCmd::Unlock(uint32_t key)
{
    return command({0x4E, uint8_t(key >> 24), uint8_t(key >> 16), uint8_t(key >> 8), uint8_t(key)});
}

#undef KADEX_NEED

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
