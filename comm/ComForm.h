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
#include <vector>

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

    // Opens the port if it is not open; an open port stays open. On failure LastOpenErrorKind()
    // holds the class of the reason and LastOpenSystemText() the system's own words (for the
    // trace); the window puts them in its own words.
    bool OpenPort();
    PortOpenError LastOpenErrorKind() const { return lastOpenKind_; }
    QString LastOpenSystemText() const { return lastOpenSystem_; }
    // The device path an open uses: the path when set, else the one of the number.
    QString DevicePath() const;
    // The owning group of the device when the last open was refused for permission.
    QString LastOpenGroup() const { return lastOpenGroup_; }
    // The reason of a failed open in English, for the command line.
    static QString OpenErrorReasonEnglish(PortOpenError kind, const QString& group, const QString& systemText);
    // Whether the device path exists now (a lost adapter that came back).
    bool PortPresent() const;
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
    // until it is out. False (and WriteError set) on a port error. From here until the answer
    // is collected or given up, received bytes go to the answer assembly.
    bool WriteTelegram(const uint8_t* bytes, size_t length);
    // AnswerComplete = false, RxWriteIndex = 0; no answer is awaited any more.
    void ResetReceive();

    // Receive notification: feeds the bytes that arrived to the answer assembly. A notification
    // always clears AnswerComplete first, also one that carries no bytes.
    void ComPort1RxChar(const uint8_t* data, size_t count);

    // How a wait for an answer ended.
    enum class WaitResult {
        Answer,       // a complete answer is in the caller's buffer
        Timeout,      // nothing complete within the timeout
        EchoMismatch, // the echo differs from the telegram sent: the line is out of step
        Surplus,      // more bytes arrived than the answer's header announces
        LinkLost,     // the link is gone
        Closing,      // the program is closing
    };
    // Blocks until an answer is complete, the line is seen out of step, closing() turns true, or
    // NowMs() > t0 + timeoutMs (equal is not yet a timeout). On Answer copies the answer and its
    // length; on anything else copies what was received for the telegram (echo included), for
    // the trace. Either way the receive state is reset, and bytes arriving from then on are
    // stray until the next telegram is written.
    WaitResult WaitAnswer(IClock& clock, uint64_t t0, uint32_t timeoutMs, const std::atomic<bool>& closing,
                          uint8_t* bytes256, uint8_t& length);
    // Waits until no byte has arrived for quietMs, silence counting from notBeforeMs at the
    // earliest, but at most until maxMs after the later of now and notBeforeMs. Every byte that
    // arrives meanwhile, and every stray byte held before, is discarded and returned in
    // discarded. True when the line went quiet, false when the time ran out, the link was lost
    // or closing() turned true.
    bool WaitQuiet(IClock& clock, uint64_t notBeforeMs, uint32_t quietMs, uint32_t maxMs,
                   const std::atomic<bool>& closing, std::vector<uint8_t>& discarded);
    // Takes the bytes that arrived while no answer was awaited (after an answer was collected or
    // given up, before the next telegram), and drops the transport's pending input. Keeps at
    // most the first 256 bytes; StrayCount() tells how many there were.
    std::vector<uint8_t> TakeStray();
    size_t StrayCount() const;
    // Wakes every waiter (used when closing).
    void WakeWaiters();

    // How many bytes beyond the echo the last WaitAnswer received.
    size_t LastWaitBytes() const { return lastWaitBytes_.load(); }
    // The clock that stamps arriving bytes (LastRxMs); none: not stamped.
    void SetClock(IClock* clock) { clock_.store(clock); }
    // When the last bytes arrived, on that clock; 0 before any.
    uint64_t LastRxMs() const { return lastRxMs_.load(); }

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
    void strayLocked(const uint8_t* data, size_t count);
    // The line cannot deliver anything any more.
    bool lostLocked() const { return writeError_.load() && !portOpen_.load(); }
    void attachHandlers();
    void onLinkLost(const QString& reason);

    // The port's choice and the outcome of its last open belong to the link's owner: opening,
    // closing and the settings are never called from two threads at once.
    std::unique_ptr<ITransport> transport_; // owner's thread; the transport guards itself
    PortSettings settings_;                 // owner's thread
    int portNumber_ = 1;                    // owner's thread
    QString portPath_;                      // owner's thread
    QString lastOpenSystem_;                // owner's thread
    QString lastOpenGroup_;                 // owner's thread
    PortOpenError lastOpenKind_ = PortOpenError::None; // owner's thread
    std::atomic<bool> linkLost_{false};     // atomic: set on the transport's thread
    std::atomic<bool> portOpen_{false};     // atomic: read by the polling threads
    std::atomic<bool> writeError_{false};   // atomic: set by writers and the lost handler
    std::atomic<IClock*> clock_{nullptr};   // atomic: read while waiting for an answer
    std::atomic<uint64_t> lastRxMs_{0};     // atomic: set by the receive notification
    std::atomic<size_t> lastWaitBytes_{0};  // atomic: set by the waiter, read by the trace

    mutable std::mutex rxMutex_;
    std::condition_variable rxCv_;          // waits on rxMutex_
    uint8_t rxBuffer_[256] = {};            // guarded by rxMutex_
    uint8_t rxWriteIndex_ = 0;              // guarded by rxMutex_
    uint8_t rxCount_ = 0;                   // guarded by rxMutex_
    uint8_t sentLen_ = 0;                   // guarded by rxMutex_
    bool answerComplete_ = false;           // guarded by rxMutex_
    uint8_t lastSent_[256] = {};            // guarded by rxMutex_
    // Beyond the classic receive state: whether an answer is awaited, how many bytes came for the
    // telegram (without wrapping), what went wrong on the line, and the stray bytes.
    bool awaiting_ = false;                 // guarded by rxMutex_
    size_t rxSeen_ = 0;                     // guarded by rxMutex_
    bool answerDone_ = false; // guarded by rxMutex_; unlike answerComplete_ not cleared by a notification
    WaitResult lineFault_ = WaitResult::Answer; // guarded by rxMutex_
    uint64_t rxTotal_ = 0;                  // guarded by rxMutex_
    std::vector<uint8_t> stray_;            // guarded by rxMutex_
    size_t strayCount_ = 0;                 // guarded by rxMutex_

    std::mutex lostMutex_;
    std::function<void(const QString&)> linkLostHandler_; // guarded by lostMutex_
};

} // namespace kadex
