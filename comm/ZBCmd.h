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

namespace kadex {

// Receives the transfer trace lines; the Transfer view implements it.
class ITransferSink {
public:
    virtual ~ITransferSink() = default;
    virtual bool TransferOn() const = 0;
    virtual void AddTransferLine(const QString& line) = 0;
};

class TZBCmd {
public:
    explicit TZBCmd(TComForm& com, IClock* clock = nullptr);

    // --- transaction -----------------------------------------------------------------
    uint8_t TxBuf[256] = {};
    uint8_t RxBuf[256] = {};
    uint8_t TxLen = 0;
    uint8_t RxLen = 0;
    QStringList CommandNames;
    uint8_t Attempts = 3;
    uint8_t AdrIndex = 0;
    uint8_t HeaderMode = 0;
    uint32_t TimeoutMs = 700;

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
    bool Transact();
    bool SendTelegram(const uint8_t* bytes, size_t length);
    bool ReceiveAnswer(uint8_t* bytes256, uint8_t& length);
    bool ValidateAnswer() const;

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
    bool command(std::initializer_list<uint8_t> body);
    uint16_t rx16(int i) const { return static_cast<uint16_t>((RxBuf[i] << 8) | RxBuf[i + 1]); }
    void trace(const QString& line);

    TComForm& com_;
    IClock* clock_;
    ITransferSink* sink_ = nullptr;
    std::atomic<bool> closing_{false};
    std::recursive_mutex busMutex_;
};

} // namespace kadex
