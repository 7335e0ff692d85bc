#pragma once
// The one bus command object: telegram transaction (header, check bytes, echo, timeout,
// retries, transfer trace) and the controller command set.
#include "comm/Clock.h"
#include "comm/ComForm.h"
#include "comm/ZBFrame.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kadex {

// Command codes of the controller.
enum class ZbCommand : uint8_t {
    ReadMem = 0x01,
    WriteMem = 0x02,
    SetW1Range = 0x03,
    GetW1Range = 0x06,
    GetBusAddress = 0x0D,
    SetOverride = 0x0E,
    GetConfigInfo = 0x12,
    SetU5Range = 0x13,
    GetFirmware = 0x14,
    GetU5Range = 0x15,
    GetAlarms = 0x1A,
    GetFlowLimits = 0x1E,
    SetSetpoint = 0x25,
    SetAddressBySerial = 0x26,
    GetSetpoint = 0x29,
    GetIdentity = 0x32,
    GetActualValue = 0x39,
    GetVLevels = 0x3B,
    Lock = 0x3C,
    SetVLevels = 0x3D,
    GetTextAddresses = 0x47,
    GetMode = 0x4B,
    Unlock = 0x4E,
};

// The data bytes a good answer to the command carries; -1 for ReadMem, whose answer carries as
// many bytes as were asked for.
int AnswerDataLength(ZbCommand cmd);

// Why the last transaction ended as it did.
enum class TxResult {
    Ok,
    Timeout,        // no complete answer in time, on every attempt
    BadCheck,       // check bytes wrong
    DeviceRefused,  // bit 7 of the answer header set
    WrongLength,    // the answer's length is not the command's, or bytes followed it
    EchoMismatch,   // the echo was not the telegram sent: the line was out of step
    LinkLost,       // nothing could be written, or the link went away while waiting
    Closing,        // the program is closing; nothing was sent
    InvalidRequest, // the request cannot be expressed on the wire; nothing was sent
    OutOfStep,      // after a failure the line could not be shown in step; nothing else was sent
    Implausible,    // the answer decodes to values the controller cannot hold
};
// A short English text for messages and the transfer trace ("no answer", ...).
QString TxResultText(TxResult result);

// Receives the transfer trace lines; the Transfer view implements it.
class ITransferSink {
public:
    virtual ~ITransferSink() = default;
    virtual bool TransferOn() const = 0;
    virtual void AddTransferLine(const QString& line) = 0;
};

// The rules that keep an answer later than any guard from being taken for another telegram's
// answer. Each can be switched off, so that a bench can show what it is for.
struct ZbRules {
    // After a transaction in which an attempt failed out of step, the next different telegram
    // goes out only once a probe (a memory read whose answer length no owed answer has) came
    // back clean, repeated up to maxProbes times.
    bool probeAfterFailure = true;
    int maxProbes = 8;
    uint16_t probeAddr = 0x0000;
    // The quiet wait after a failed attempt lasts at least as long as the latest answer seen on
    // this link (up to maxLatenessMs).
    bool learnLateness = true;
    uint32_t maxLatenessMs = 5000;
    // Decoded values the controller cannot hold are refused; doubtful ones are read twice.
    bool plausibility = true;
};

class TZBCmd {
public:
    explicit TZBCmd(TComForm& com, IClock* clock = nullptr);

    // --- transaction -----------------------------------------------------------------
    // The last telegram sent and the last answer taken (valid until the next transaction; read
    // them under BusMutex() when other threads use the bus).
    const uint8_t* TxData() const { return TxBuf; }
    uint8_t TxLength() const { return TxLen; }
    const uint8_t* RxData() const { return RxBuf; }
    uint8_t RxLength() const { return RxLen; }
    // The bus address (0 ZB1 .. 8). Setting it takes the bus lock, so a running compound
    // operation (several telegrams under one lock) keeps the address it started with.
    uint8_t AdrIndex() const { return adrIndex_.load(); }
    void SetAdrIndex(uint8_t index);
    QStringList CommandNames;
    uint8_t Attempts = 3;
    uint8_t HeaderMode = 0;
    uint32_t TimeoutMs = 700;
    // After an attempt that left the line out of step (no answer, bad or misframed answer), the
    // next telegram waits until nothing has arrived for GuardMs, counted from the end of the
    // attempt's answer window (TimeoutMs after it was sent) at the earliest, and for at most
    // GuardMaxMs beyond that: the controller's own answer may still be on its way even when the
    // attempt failed early on noise, and a controller that answers late is heard out instead of
    // answering the next telegram. GuardMs 0: no guard, only the plain pause.
    uint32_t GuardMs = 150;
    uint32_t GuardMaxMs = 1000;
    ZbRules Rules;
    // The latest answer seen on this link, in ms after the telegram it may have belonged to.
    uint32_t LearnedLatenessMs() const { return learnedMs_.load(); }
    // Whether a probe is owed before the next different telegram.
    bool ProbeOwed() const { return owed_; }
    // Memory whose contents never appear in the trace (the OEM password cell).
    std::vector<std::pair<uint16_t, uint8_t>> SecretMemory{{0x0018, 4}};
    static constexpr uint32_t PauseMs = 20;

    void SetClosing(bool closing);
    bool Closing() const { return closing_.load(); }
    void SetTransferSink(ITransferSink* sink) { sink_ = sink; }
    // Loads the command names (one per line, line i = code i); a missing file leaves the list empty.
    bool LoadCommandNames(const QString& path);
    QString CommandName(uint8_t code) const;

    uint8_t BuildHeader(int n) const;
    static uint8_t AddressPattern(int index) { return zb::AddressPattern(index); }
    static uint8_t CheckA(const uint8_t* bytes, size_t count) { return zb::CheckA(bytes, count); }
    static uint8_t CheckB(const uint8_t* bytes, size_t count) { return zb::CheckB(bytes, count); }

    // Fills TxBuf/TxLen with header, the body (command code and payload, 1..7 bytes) and check bytes.
    void BuildRequest(const uint8_t* body, int n);
    // Sends TxBuf and accepts any well-formed answer (the raw telegram path). The command
    // methods below accept only their own answer length.
    bool Transact();
    bool SendTelegram(const uint8_t* bytes, size_t length);
    bool ReceiveAnswer(uint8_t* bytes256, uint8_t& length);
    bool ValidateAnswer() const;
    // Why the last transaction (of any command) ended as it did; Ok after success.
    TxResult LastResult() const { return lastResult_.load(); }

    // The bus lock: held for every transaction; flows may hold it across several.
    std::recursive_mutex& BusMutex() { return busMutex_; }
    TComForm& Com() { return com_; }
    IClock& Clock() { return *clock_; }

    // --- command set (true on a good answer) -------------------------------------------
    bool ReadMem(uint16_t addr, uint8_t count, uint8_t* out);
    bool WriteMem(uint16_t addr, const uint8_t* data, uint8_t count);
    bool SetW1Range(uint16_t minMv, uint16_t spanMv);
    bool GetW1Range(uint16_t& minMv, uint16_t& spanMv);
    bool GetBusAddress(uint8_t& pattern);
    bool SetOverride(uint8_t code);
    bool GetConfigInfo(uint8_t& b1, uint16_t& w1, uint16_t& w2, uint16_t& tableId);
    bool SetU5Range(uint16_t minMv, uint16_t spanMv);
    bool GetFirmware(uint16_t& version, uint16_t& w2, uint16_t& w3);
    bool GetU5Range(uint16_t& minMv, uint16_t& spanMv);
    bool GetAlarms(uint8_t& bits);
    bool GetFlowLimits(uint16_t& vnom, uint16_t& vmax, uint16_t& vmin);
    bool SetSetpoint(uint16_t value);
    bool SetAddressBySerial(uint16_t w1, uint16_t w2, uint8_t last, uint8_t pattern);
    bool GetSetpoint(uint16_t& w1, uint16_t& setpoint);
    bool GetIdentity(uint16_t& w1, uint16_t& w2, uint8_t& d5, uint8_t& type, uint8_t& last);
    bool GetActualValue(uint16_t& actual, uint16_t& w2);
    bool GetVLevels(uint16_t& vmin, uint16_t& vmid, uint16_t& vmax);
    void Lock();
    bool SetVLevels(uint16_t vmin, uint16_t vmid, uint16_t vmax);
    bool GetTextAddresses(uint16_t& oemAdr, uint16_t& posAdr, uint16_t& typeAdr);
    bool GetMode(uint8_t& mode, uint8_t& modeOld);
    bool Unlock(uint32_t key);

    // --- derived operations --------------------------------------------------------------
    bool GetBusAddressText(QString& text);
    bool GetIdentityText(QString& idText, QString& typeText, uint32_t& deviceKey, uint8_t& type);
    // Adds the text of every set alarm bit unless the list holds it already.
    bool AddAlarmTexts(QStringList& alarmList);
    bool ReadText16(uint16_t addr, QString& text);
    bool WriteText16(uint16_t addr, const QString& text);

    static QString AlarmText(int bit);
    static QString TypeText(uint8_t type);

private:
    // expectedData: the answer's data bytes, or -1 for any.
    bool transact(int expectedData);
    // Sends TxBuf up to `attempts` times; failedOutOfStep tells whether an attempt failed out of step.
    TxResult attempts(int expectedData, int attempts, bool& failedOutOfStep);
    // Probes until the line is shown in step; false when it could not be.
    bool proveInStep();
    // An attempt sent at sentMs failed out of step: an answer of expectedData bytes may still come.
    void noteOwed(uint64_t sentMs, int expectedData);
    // Bytes that belong to no accepted answer arrived: learn how late answers come on this link.
    void noteLateBytes();
    // A decoded answer was implausible: the line is suspect; returns false.
    bool implausible();
    // Runs read (a command) and, when doubtful(), once more; both answers must agree.
    template <typename Read, typename Doubtful> bool confirmed(Read read, Doubtful doubtful);
    QString traceHex(const uint8_t* bytes, size_t length, size_t telegramOffset, bool isAnswer) const;
    TxResult checkAnswer(int expectedData) const;
    // Waits for a quiet line after a failed attempt sent at sentMs and traces what was discarded.
    void resync(uint64_t sentMs);
    void traceDiscarded(const std::vector<uint8_t>& bytes);
    bool command(ZbCommand cmd, std::initializer_list<uint8_t> payload);
    bool fail(TxResult r) { lastResult_ = r; return false; }
    uint8_t TxBuf[256] = {};
    uint8_t RxBuf[256] = {};
    uint8_t TxLen = 0;
    uint8_t RxLen = 0;
    std::atomic<uint8_t> adrIndex_{0};
    uint16_t rx16(int i) const { return static_cast<uint16_t>((RxBuf[i] << 8) | RxBuf[i + 1]); }
    void trace(const QString& line);

    TComForm& com_;
    IClock* clock_;
    ITransferSink* sink_ = nullptr;
    std::atomic<bool> closing_{false};
    std::atomic<TxResult> lastResult_{TxResult::Ok};
    std::recursive_mutex busMutex_;
    // Answers that may still be on their way after failed attempts.
    bool owed_ = false;
    bool probing_ = false;
    std::vector<uint64_t> owedSent_;   // when the attempts that failed out of step were sent
    std::vector<uint8_t> owedTx_;      // the telegram of the failed transaction
    uint8_t owedLengths_ = 0;          // bit n: an answer with n data bytes may still come
    std::atomic<uint32_t> learnedMs_{0};
    uint64_t discarded_ = 0;           // bytes discarded while waiting for a quiet line
};

} // namespace kadex
