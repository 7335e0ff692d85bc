#pragma once
// The serial link: port selection and settings, open/close, telegram writes, and the
// receive state that the answer assembly works on.
#include "comm/Clock.h"
#include "comm/Transport.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace kadex {

class TComForm {
public:
    // Without a transport the link uses the machine's serial port.
    explicit TComForm(std::unique_ptr<ITransport> transport = nullptr);
    ~TComForm();
    TComForm(const TComForm&) = delete;
    TComForm& operator=(const TComForm&) = delete;

    // Replaces the transport (closes the old one); for the simulator and tests.
    void SetTransport(std::unique_ptr<ITransport> transport);
    ITransport* Transport() const { return transport_.get(); }

    // Port selection: "Com" + n; on Linux ComN means /dev/ttyS(N-1) unless a path is set.
    void SetPortNumber(int n);
    // A device path (/dev/ttyUSB0, a pseudo-terminal); overrides the number while not empty.
    void SetPortPath(const QString& path);
    int PortNumber() const { return portNumber_; }
    QString PortPath() const { return portPath_; }
    // What the user knows the port as: the path when set, else "ComN".
    QString PortDisplayName() const;
    // The device the port number stands for.
    static QString DevicePathForNumber(int n);

    static int MapBaudRate(int rate);
    static int MapDataBits(int bits);
    static int MapStopBits(int tenths); // 15, 20 or 10
    void SetBaudRate(int rate);
    void SetDataBits(int bits);
    void SetStopBits(int tenths);
    int BaudRate() const { return settings_.baudRate; }

    // Opens the port if it is not open; an open port stays open. On failure LastOpenError()
    // holds the window's text for the error box, LastOpenErrorKind() the class of the reason
    // and LastOpenSystemText() the system's own words (for the trace).
    bool OpenPort();
    QString LastOpenError() const;
    PortOpenError LastOpenErrorKind() const { return lastOpenKind_; }
    QString LastOpenSystemText() const { return lastOpenSystem_; }
    // The device path an open uses: the path when set, else the one of the number.
    QString DevicePath() const;
    // The owning group of the device when the last open was refused for permission.
    QString LastOpenGroup() const { return lastOpenGroup_; }
    // The reason of a failed open in the window's language (German defaults) and in English.
    static QString OpenErrorReasonText(PortOpenError kind, const QString& group);
    static QString OpenErrorReasonEnglish(PortOpenError kind, const QString& group, const QString& systemText);
    // Whether the device path exists now (a lost adapter that came back).
    bool PortPresent() const;
    // "Kann COM nicht öffnen!" (or the language's text) for the error box.
    void SetOpenErrorText(const QString& text) { openErrorText_ = text; }
    bool ClosePort();
    bool PortOpen() const { return portOpen_.load(); }
    // Set when a write failed or the link was lost. A write error on a port that stays open
    // lasts for the run; one that came with a lost link is cleared when the port opens again.
    bool WriteError() const { return writeError_.load(); }
    // True from the loss of an open link until the port opens again.
    bool LinkLost() const { return linkLost_.load(); }
    // A warning from the last SetDtrRts (lines that cannot be switched), else empty.
    QString SetDtrRts();

    // Discards pending input and the receive state, records the telegram, writes it and waits
    // until it is out. False (and WriteError set) on a port error.
    bool WriteTelegram(const uint8_t* bytes, size_t length);
    void ResetReceive();

    // Receive notification: feeds the bytes that arrived to the answer assembly.
    void ComPort1RxChar(const uint8_t* data, size_t count);

    // Blocks until an answer is complete, closing() turns true, or NowMs() > t0 + timeoutMs
    // (equal is not yet a timeout). On success copies the answer, resets the receive state and
    // returns true. On timeout resets the receive state and returns false.
    bool WaitAnswer(IClock& clock, uint64_t t0, uint32_t timeoutMs, const std::atomic<bool>& closing,
                    uint8_t* bytes256, uint8_t& length);
    // Wakes every waiter (used when closing).
    void WakeWaiters();

    // Called once per loss of an open link (device removed, peer hung up), from any thread.
    void SetLinkLostHandler(std::function<void(const QString&)> handler);

    // Receive state, for tests and the raw command window.
    struct RxState {
        uint8_t buffer[256];
        uint8_t writeIndex;
        uint8_t count;
        uint8_t sentLen;
        bool answerComplete;
    };
    RxState Snapshot() const;
    // The last telegram written.
    const uint8_t* LastSent() const { return lastSent_; }

private:
    void assembleLocked(const uint8_t* data, size_t count);
    void resetReceiveLocked();
    void attachHandlers();
    void onLinkLost(const QString& reason);

    std::unique_ptr<ITransport> transport_;
    PortSettings settings_;
    int portNumber_ = 1;
    QString portPath_;
    QString openErrorText_;
    QString lastOpenError_;
    QString lastOpenSystem_;
    QString lastOpenGroup_;
    PortOpenError lastOpenKind_ = PortOpenError::None;
    std::atomic<bool> linkLost_{false};
    std::atomic<bool> portOpen_{false};
    std::atomic<bool> writeError_{false};

    mutable std::mutex rxMutex_;
    std::condition_variable rxCv_;
    uint8_t rxBuffer_[256] = {};
    uint8_t rxWriteIndex_ = 0;
    uint8_t rxCount_ = 0;
    uint8_t sentLen_ = 0;
    bool answerComplete_ = false;
    uint8_t lastSent_[256] = {};

    std::mutex lostMutex_;
    std::function<void(const QString&)> linkLostHandler_;
};

} // namespace kadex
