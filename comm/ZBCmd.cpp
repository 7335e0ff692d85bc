#include "comm/ZBCmd.h"

#include "common/Helpers.h"
#include "common/TextFile.h"

#include <algorithm>
#include <cstring>

namespace kadex {

namespace {

// Whether the bytes hold a whole answer frame: only that tells how late answers come on a link;
// noise tells nothing.
bool holdsFrame(const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i + 3 <= count; ++i) {
        const size_t len = static_cast<size_t>(zb::LengthField(bytes[i])) + 3;
        if (i + len <= count && zb::ChecksValid(bytes + i, len))
            return true;
    }
    return false;
}

} // namespace

TZBCmd::TZBCmd(TComForm& com, IClock* clock)
    : com_(com), clock_(clock ? clock : &SteadyClock::Instance())
{
    com_.SetClock(clock_);
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

QString TZBCmd::traceHex(const uint8_t* bytes, size_t length, size_t telegramOffset, bool isAnswer) const
{
    // The key of an unlock telegram (and its check bytes, which tell much of it) and the answer
    // to a read of secret memory are shown as "**".
    const uint8_t* tel = isAnswer ? com_.LastSent() : bytes;
    const size_t telLen = isAnswer ? static_cast<size_t>(zb::LengthField(tel[0])) + 3 : length;
    const bool unlock = telLen >= 3 && tel[1] == static_cast<uint8_t>(ZbCommand::Unlock);
    bool secretRead = false;
    if (telLen >= 7 && tel[1] == static_cast<uint8_t>(ZbCommand::ReadMem)) {
        const int from = (tel[2] << 8) | tel[3];
        const int to = from + tel[4];
        for (const auto& [addr, count] : SecretMemory)
            secretRead = secretRead || (from < addr + count && addr < to);
    }
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(static_cast<int>(length * 3));
    for (size_t i = 0; i < length; ++i) {
        const bool echo = !isAnswer || i < telegramOffset;
        const bool hide = echo ? (unlock && i >= 2 && i < telLen) : (secretRead && i > telegramOffset);
        if (hide) {
            out += QStringLiteral("** ");
        } else {
            out += QLatin1Char(digits[bytes[i] >> 4]);
            out += QLatin1Char(digits[bytes[i] & 0x0F]);
            out += QLatin1Char(' ');
        }
    }
    return out;
}

bool TZBCmd::SendTelegram(const uint8_t* bytes, size_t length)
{
    if (Closing() || length < 2)
        return false;
    // Bytes that came while nothing was asked for (noise, a very late answer) are dropped here.
    const std::vector<uint8_t> stray = com_.TakeStray();
    if (holdsFrame(stray.data(), stray.size()))
        noteLateBytes();
    traceDiscarded(stray);
    if (sink_ && sink_->TransferOn())
        trace(QStringLiteral("<- ") + CommandName(bytes[1]) + QStringLiteral(" : ") + traceHex(bytes, length, 0, false));
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
        trace(QStringLiteral("-> ") + traceHex(got, n, 0, true));
        trace(QString());
        return true;
    case TComForm::WaitResult::Timeout:
        lastResult_ = TxResult::Timeout;
        trace(QStringLiteral("-> Timeout"));
        break;
    case TComForm::WaitResult::EchoMismatch:
    case TComForm::WaitResult::Surplus:
        lastResult_ = r == TComForm::WaitResult::EchoMismatch ? TxResult::EchoMismatch : TxResult::WrongLength;
        trace(QStringLiteral("-> ") + traceHex(got, n, static_cast<size_t>(zb::LengthField(com_.LastSent()[0])) + 3, true));
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
    // Silence counts from the end of the answer window at the earliest, or from as late as an
    // answer has come on this link.
    const uint32_t window = std::max(TimeoutMs, Rules.learnLateness ? learnedMs_.load() : 0u);
    std::vector<uint8_t> discarded;
    const bool quiet = com_.WaitQuiet(*clock_, sentMs + window, std::max(GuardMs, PauseMs),
                                      std::max(GuardMaxMs, GuardMs), closing_, discarded);
    if (holdsFrame(discarded.data(), discarded.size()))
        noteLateBytes();
    discarded_ += discarded.size();
    traceDiscarded(discarded);
    if (!quiet && !Closing() && com_.PortOpen())
        trace(QStringLiteral("-> Line not quiet after %1 ms").arg(std::max(GuardMaxMs, GuardMs)));
}

void TZBCmd::noteOwed(uint64_t sentMs, int expectedData)
{
    owed_ = true;
    owedSent_.push_back(sentMs);
    if (owedSent_.size() > 8)
        owedSent_.erase(owedSent_.begin());
    if (expectedData >= 0 && expectedData < 8)
        owedLengths_ = static_cast<uint8_t>(owedLengths_ | (1u << expectedData));
}

void TZBCmd::noteLateBytes()
{
    if (!owed_ || !Rules.learnLateness)
        return;
    // The bytes belong to the latest telegram whose answer window had ended when they came (or
    // are noise, which a limit keeps from counting when it comes long after).
    const uint64_t at = com_.LastRxMs();
    uint64_t from = 0;
    bool found = false;
    for (uint64_t sent : owedSent_)
        if (sent + TimeoutMs < at && (!found || sent > from)) {
            from = sent;
            found = true;
        }
    if (!found)
        return;
    const uint64_t late = at - from;
    if (late > Rules.maxLatenessMs)
        return;
    if (late > learnedMs_.load())
        learnedMs_ = static_cast<uint32_t>(late);
}

bool TZBCmd::Transact()
{
    return transact(-1);
}

TxResult TZBCmd::attempts(int expectedData, int maxAttempts, bool& failedOutOfStep)
{
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
        if (result != TxResult::Ok && result != TxResult::DeviceRefused) {
            // This telegram's own answer may still be on its way.
            failedOutOfStep = true;
            noteOwed(sentMs, expectedData);
            if (received && holdsFrame(RxBuf, RxLen))
                noteLateBytes();
            resync(sentMs);
        }
    } while (result != TxResult::Ok && attempt < maxAttempts && !Closing());
    return result;
}

bool TZBCmd::proveInStep()
{
    probing_ = true;
    uint8_t tx[256];
    const uint8_t txLen = TxLen;
    std::memcpy(tx, TxBuf, txLen);
    trace(QStringLiteral("-> Checking the line after a failure"));
    TxResult r = TxResult::OutOfStep;
    // The probe's answer length is one no owed answer has, so that an owed answer can never
    // pass for it; a probe that failed may itself owe an answer of its length.
    uint8_t used = owedLengths_;
    int last = 0;
    for (int i = 0; i < Rules.maxProbes && !Closing(); ++i) {
        int n = 0;
        for (int pass = 0; pass < 2 && n == 0; ++pass) {
            for (int c : {3, 5, 1, 2, 4, 6, 7})
                if (!(used & (1u << c))) {
                    n = c;
                    break;
                }
            if (n == 0)
                used = static_cast<uint8_t>(1u << last);
        }
        const uint8_t body[4] = {static_cast<uint8_t>(ZbCommand::ReadMem), uint8_t(Rules.probeAddr >> 8),
                                 uint8_t(Rules.probeAddr), static_cast<uint8_t>(n)};
        BuildRequest(body, 4);
        bool failed = false;
        const uint64_t discarded = discarded_;
        const TxResult pr = attempts(n, 1, failed);
        if (pr == TxResult::Ok && !failed) {
            r = TxResult::Ok;
            break;
        }
        if (pr == TxResult::LinkLost || pr == TxResult::Closing) {
            r = pr;
            break;
        }
        // Not a byte beyond the echo, neither in the answer window nor in the quiet time after
        // it: nothing is on its way, the line is in step (and the command is sent, to be
        // answered or not: a release must go out even when nobody seems to be there).
        if (pr == TxResult::Timeout && com_.LastWaitBytes() == 0 && discarded_ == discarded) {
            r = TxResult::Ok;
            break;
        }
        used = static_cast<uint8_t>(used | (1u << n));
        last = n;
    }
    std::memcpy(TxBuf, tx, txLen);
    TxLen = txLen;
    probing_ = false;
    if (r == TxResult::Ok) {
        owed_ = false;
        owedLengths_ = 0;
        owedTx_.clear();
        owedSent_.clear();
    } else if (r == TxResult::OutOfStep) {
        trace(QStringLiteral("-> ") + TxResultText(r));
    }
    lastResult_ = Closing() ? TxResult::Closing : r;
    return r == TxResult::Ok;
}

bool TZBCmd::transact(int expectedData)
{
    std::lock_guard<std::recursive_mutex> bus(busMutex_);
    // An answer owed by an earlier failed attempt could pass for the answer to a different
    // telegram; the same telegram's answer carries the same meaning.
    // On a link that has never shown a late answer, a release (override 0, no setpoint) goes out
    // at once: a controller that is gone must not delay it; the line stays owed a check for what
    // follows. Where late answers were seen, the release waits for the check like any telegram.
    const bool release = learnedMs_.load() == 0 && TxLen >= 4
        && ((TxBuf[1] == static_cast<uint8_t>(ZbCommand::SetOverride) && TxBuf[2] == 0)
            || (TxBuf[1] == static_cast<uint8_t>(ZbCommand::SetSetpoint) && TxBuf[2] == 0xFF && TxBuf[3] == 0xFF));
    if (owed_ && Rules.probeAfterFailure && !probing_ && HeaderMode == 0 && !Closing() && !release
        && !(owedTx_.size() == TxLen && std::equal(owedTx_.begin(), owedTx_.end(), TxBuf))) {
        if (!proveInStep())
            return false;
    }
    bool failed = false;
    TxResult result = attempts(expectedData, Attempts, failed);
    if (failed && !probing_)
        owedTx_.assign(TxBuf, TxBuf + TxLen);
    if (Closing())
        result = TxResult::Closing;
    lastResult_ = result;
    return result == TxResult::Ok;
}

bool TZBCmd::implausible()
{
    trace(QStringLiteral("-> Rejected: ") + TxResultText(TxResult::Implausible));
    lastResult_ = TxResult::Implausible;
    return false;
}

// check() tells 0 for a plausible answer, 1 for a doubtful one, 2 for one the controller cannot
// give. A doubtful or impossible answer makes the line suspect: it is proven in step and the
// command runs once more; a doubtful value is taken when both answers agree.
template <typename Read, typename Check> bool TZBCmd::confirmed(Read read, Check check)
{
    if (!read())
        return false;
    if (!Rules.plausibility)
        return true;
    const int first = check();
    if (first == 0)
        return true;
    const std::vector<uint8_t> firstAnswer(RxBuf, RxBuf + RxLen);
    trace(QStringLiteral("-> Doubtful answer, reading again"));
    owed_ = true;
    owedTx_.clear();
    if (!read())
        return false;
    const int second = check();
    if (second == 0)
        return true;
    if (second == 1 && first == 1 && firstAnswer == std::vector<uint8_t>(RxBuf, RxBuf + RxLen))
        return true;
    return implausible();
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
    case TxResult::OutOfStep: return QStringLiteral("line not in step after a failure");
    case TxResult::Implausible: return QStringLiteral("answer with values the controller cannot hold");
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
    // A version is 0x0100..0x0FFF ("0308"); anything else is some other answer.
    if (!confirmed([&] { return command(ZbCommand::GetFirmware, {}); },
                   [&] { return rx16(1) < 0x0100 || rx16(1) > 0x0FFF ? 2 : 0; }))
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
    if (!confirmed([&] { return command(ZbCommand::GetFlowLimits, {}); },
                   [&] { return rx16(3) > 10000 || rx16(5) > 10000 ? 2 : rx16(5) > rx16(3) ? 1 : 0; }))
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
    // w1 = year x 100 + week (1..52), w2 = day (0..6) x 10000 + number (1..5535).
    auto doubtful = [&] {
        const uint16_t a = rx16(1), b = rx16(3);
        return a % 100 < 1 || a % 100 > 52 || a / 100 > 99 || b / 10000 > 6 || b % 10000 == 0 ? 1 : 0;
    };
    if (!confirmed([&] { return command(ZbCommand::GetIdentity, {}); }, doubtful))
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
    // Levels are hundredths of a percent up to 100 %; V'mid above V'max is doubtful.
    if (!confirmed([&] { return command(ZbCommand::GetVLevels, {}); },
                   [&] {
                       return rx16(1) > 10000 || rx16(3) > 10000 || rx16(5) > 10000 ? 2 : rx16(3) > rx16(5) ? 1 : 0;
                   }))
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
    auto read = [&](uint8_t* b) {
        return ReadMem(addr, 6, b) && ReadMem(uint16_t(addr + 6), 6, b + 6) && ReadMem(uint16_t(addr + 12), 4, b + 12);
    };
    auto control = [](const uint8_t* b) { return std::any_of(b, b + 16, [](uint8_t c) { return c < 0x20 || c == 0x7F; }); };
    if (!read(buf))
        return false;
    if (Rules.plausibility && control(buf)) {
        // Control bytes in a text: taken only when a second read after a line check agrees.
        trace(QStringLiteral("-> Doubtful answer, reading again"));
        owed_ = true;
        owedTx_.clear();
        uint8_t again[16];
        if (!read(again))
            return false;
        if (control(again) && std::memcmp(buf, again, 16) != 0)
            return implausible();
        std::memcpy(buf, again, 16);
    }
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
