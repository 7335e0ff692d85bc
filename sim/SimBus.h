#pragma once
// The simulated bus: a bus interface that echoes every byte the PC sends and up to eight
// controllers behind it. The bus frames the PC's bytes as a controller does (header length
// field, resynchronisation after a silence gap), hands each telegram to the controllers whose
// address it carries, puts their answers on the wire (optionally with realistic byte times and
// turnaround), injects faults on demand and records every telegram with its timing.
//
// PP telegrams are taken by every controller whose address code is PP (0x01), and by a
// controller whose code is none of the nine bus addresses. A real PP line carries one
// controller; when several simulated controllers take the same telegram they all answer at once
// and their answers collide on the wire: the PC receives the bitwise AND of them (a dominant-low
// line), which normally breaks the check bytes.
#include "sim/Controller.h"
#include "sim/SimClock.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kadex::sim {

enum class FaultKind {
    NoAnswer,  // the controller stays silent
    Corrupt,   // one byte of the answer is altered
    BadCheck,  // check byte A is wrong
    ErrorBit,  // bit 7 of the answer header is set (check bytes match)
    Surplus,   // extra bytes follow the answer
    Split,     // the answer comes in pieces with pauses between them
    Delay,     // the answer comes later than it would: the controller is busy meanwhile and
               // answers later telegrams in order after it (one waits, more are missed); with
               // outOfOrder it answers them at once while the late answer is still on its way
    HangUp,    // instead of answering, the port hangs up
    Noise,     // random bytes reach the PC at a random moment after the telegram (or, now and then,
               // ahead of its echo), answering nothing
};
const char* FaultName(FaultKind kind);
bool FaultKindFromName(const std::string& name, FaultKind& kind);

struct Fault {
    FaultKind kind = FaultKind::NoAnswer;
    int count = 1;          // applies to the next `count` answers of the controller ...
    double rate = 0;        // ... or, with count 0, to each answer with this probability
    uint32_t delayMs = 800; // Delay ...
    uint32_t delayMaxMs = 0; // ... or, when above delayMs, a random delay from delayMs to this
    bool outOfOrder = false; // Delay: the late answer does not hold up the answers to later telegrams
    int pieceBytes = 1;     // Split: bytes per piece
    uint32_t pauseMs = 20;  // Split: pause between pieces
    int surplusBytes = 2;   // Surplus
    int noiseBytes = 3;     // Noise: 1 to this many bytes ...
    uint32_t noiseWithinMs = 1000; // ... within this time after the telegram
};

struct TelegramRecord {
    enum class Outcome {
        Answered, // an answer went onto the wire (possibly faulted)
        Silent,   // valid, but nobody answered (broadcast, nobody at the address, fault)
        Ignored,  // not taken at all: bad check bytes, no command, collision, dropped fragment
    };
    uint64_t seq = 0;
    uint64_t startUs = 0;          // reception start of the first byte
    uint64_t endUs = 0;            // reception end of the last byte
    std::vector<uint8_t> bytes;    // as received
    Outcome outcome = Outcome::Ignored;
    std::string note;              // why ignored or silent; faults applied
    std::vector<int> slots;        // controllers that executed the command
    bool refused = false;          // answered with bit 7 set by the controller
    std::vector<uint8_t> answer;   // as put on the wire
    uint64_t answerStartUs = 0;
    uint64_t answerEndUs = 0;

    bool answered() const { return outcome == Outcome::Answered; }
    // Command code, or -1 for a telegram without one.
    int command() const { return bytes.size() >= 2 ? bytes[1] : -1; }
    uint8_t pattern() const { return bytes.empty() ? 0 : static_cast<uint8_t>(bytes[0] & 0x8F); }
    std::string describe() const;
};

struct BusOptions {
    std::vector<ControllerSetup> controllers;  // fitted into slots 1, 2, ... in order
    bool wireTiming = false;
    int baud = 0;                   // 0: the rate the link is configured with (9600 if none)
    uint32_t turnaroundUs = 3000;   // controller's pause before answering (wire timing only)
    uint32_t resyncGapUs = 30000;   // silence after which a partial telegram is dropped
    uint64_t seed = 1;              // for faults at a rate
    std::shared_ptr<SimClock> clock;  // a RealClock when empty
    // Without the delivery thread, bytes due later are delivered only by deliverDue(): a driver
    // that advances a ManualClock itself runs bus and tool on one virtual time, deterministically.
    bool deliveryThread = true;

    // n controllers (1..8) with distinct identities (00812-04711-003-001, -04712-, ...);
    // a single one is addressed PP, several ZB1..ZBn.
    static BusOptions WithControllers(int n);
};

// The PC side of the bus: the in-process transport or the pseudo-terminal.
class IBusLink {
public:
    virtual ~IBusLink() = default;
    virtual void fromBus(const uint8_t* data, size_t count) = 0;
    virtual void linkLost(const std::string& reason) = 0;
};

class SimBus {
public:
    static constexpr int MaxSlots = 8;

    explicit SimBus(BusOptions options = BusOptions::WithControllers(1));
    ~SimBus();
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    // --- link side ---------------------------------------------------------------------
    // One link at a time. Fails while another link is attached or after a hang-up.
    bool attach(std::shared_ptr<IBusLink> link, std::string& error);
    void detach(const IBusLink* link);
    void setLinkBaud(int baud);
    // Bytes from the PC. alreadyArrived: they have been received already (pseudo-terminal);
    // otherwise they start now and, with wire timing, the call returns once they are out
    // (with a ManualClock: once the clock has been advanced past that moment).
    // False when the link is down or not attached.
    bool fromPc(const IBusLink* link, const uint8_t* data, size_t count, bool alreadyArrived);
    // Drops bytes that are due for the PC but not yet delivered.
    void discardDue(const IBusLink* link);
    // Delivers, in order, every queued byte that is due by now; returns how many chunks.
    size_t deliverDue();
    // When the next queued bytes are due; UINT64_MAX when nothing is queued.
    uint64_t nextDueUs() const;
    // The port hangs up: the link is told once, writes fail until restoreLink().
    void hangUp(const std::string& reason = "simulated port hung up");
    bool linkDown() const;
    void restoreLink();

    // --- controllers (slots 1..8) ------------------------------------------------------
    bool fitted(int slot) const;
    bool present(int slot) const;
    // Puts a new controller with factory memory into the slot (present).
    void fitController(int slot, const ControllerSetup& setup);
    // Takes the controller off the bus; it keeps its memory.
    bool removeController(int slot);
    // Puts it back (power-up state); an empty slot gets a default controller. False for a bad slot.
    bool insertController(int slot);
    // A different controller takes the slot: factory memory, the same bus address, this identity.
    bool replaceController(int slot, const Identity& identity);
    // Runs f on the controller (advanced to now) under the bus lock; false for an empty slot.
    bool withController(int slot, const std::function<void(Controller&)>& f);

    std::vector<uint8_t> peek(int slot, uint16_t addr, size_t count);
    void poke(int slot, uint16_t addr, const std::vector<uint8_t>& bytes);
    Identity identity(int slot);
    void setIdentity(int slot, const Identity& id);
    uint8_t mode(int slot);
    void setMode(int slot, uint8_t mode);
    uint16_t setpoint(int slot);
    void setAlarms(int slot, uint8_t bits);
    void setW1Input(int slot, uint16_t mv);
    Unlocked unlocked(int slot);
    // The service button: pressed for holdMs of bus time (or until released).
    void pressButton(int slot, uint32_t holdMs = 10000);
    void releaseButton(int slot);
    bool buttonPressed(int slot);

    // --- faults and timing -------------------------------------------------------------
    void addFault(int slot, const Fault& fault);
    void clearFaults(int slot);
    void setWireTiming(bool on, int baud = 0, uint32_t turnaroundUs = 3000);
    bool wireTiming() const;
    // Microseconds one byte takes on the wire (0 without wire timing).
    uint64_t byteTimeUs() const;
    SimClock& clock() { return *clock_; }

    // --- record ------------------------------------------------------------------------
    std::vector<TelegramRecord> record() const;
    void clearRecord();
    // Waits (real time) until the record holds at least n telegrams.
    bool waitForRecords(size_t n, uint32_t timeoutMs) const;
    struct SequenceCheck {
        bool ok = true;
        std::string detail;
    };
    // No telegram started before the answer to the previous telegram had ended.
    SequenceCheck checkSequential() const;
    // Called after every telegram (outside the bus lock), e.g. for a log.
    void setObserver(std::function<void(const TelegramRecord&)> observer);

private:
    struct Slot {
        std::unique_ptr<Controller> ctl;
        bool present = false;
        uint64_t buttonUntilUs = 0;
        std::vector<Fault> faults;
        // Ends of the answers still owed in order: while one is owed the controller is busy; a
        // telegram then waits for its turn, and one more while another already waits is missed.
        std::vector<uint64_t> owedEnds;
    };
    struct Pending {
        std::vector<uint8_t> bytes;
        const IBusLink* link = nullptr;
    };
    using QueueKey = std::pair<uint64_t, uint64_t>;  // time, sequence
    struct TimedBytes {
        uint64_t timeUs;
        std::vector<uint8_t> bytes;
        bool beforeEcho = false; // noise that hit the line while the telegram was on it
    };
    // What processing a chunk of PC bytes produced.
    struct Work {
        std::vector<TimedBytes> out;
        std::vector<TelegramRecord> records;
        bool hangUp = false;
    };

    Slot* slotLocked(int slot);
    Controller* controllerLocked(int slot);
    uint64_t byteUsLocked() const;
    void feedLocked(const uint8_t* data, size_t count, uint64_t firstStartUs, uint64_t perByteUs, Work& work);
    void telegramLocked(std::vector<uint8_t> bytes, uint64_t startUs, uint64_t endUs, Work& work);
    bool collidesLocked(uint64_t startUs, uint64_t endUs);
    // Applies the slot's faults to an answer frame. Returns false when nothing is to be sent.
    struct Shaped {
        uint64_t delayUs = 0;
        int pieceBytes = 0;
        uint64_t pauseUs = 0;
        uint64_t noiseAfterUs = 0;
        bool noiseBeforeEcho = false;
        bool outOfOrder = false;
        std::vector<uint8_t> noise;
    };
    bool shapeLocked(Slot& slot, std::vector<uint8_t>& frame, Shaped& shape, std::string& note, bool& hangUp);
    void dispatch(const IBusLink* link, std::vector<TimedBytes> items);
    void schedulerLoop();
    bool deliverOne();

    BusOptions opt_;
    std::shared_ptr<SimClock> clock_;

    mutable std::mutex mu_;             // everything below
    std::mutex deliverMu_;              // order of deliveries to the link (taken before mu_)
    std::condition_variable cv_;        // scheduler
    mutable std::condition_variable recordCv_;
    Slot slots_[MaxSlots];
    std::shared_ptr<IBusLink> link_;
    bool linkDown_ = false;
    int linkBaud_ = 0;
    uint64_t pcTxFreeUs_ = 0;
    // Controller-side framing.
    std::vector<uint8_t> rx_;
    uint64_t rxStartUs_ = 0;
    uint64_t rxLastEndUs_ = 0;
    // Answers on the wire, for collisions with telegrams.
    std::vector<std::pair<uint64_t, uint64_t>> answerIntervals_;
    std::map<QueueKey, Pending> queue_;
    uint64_t queueSeq_ = 0;
    std::vector<TelegramRecord> record_;
    uint64_t recordSeq_ = 0;
    std::mt19937_64 rng_;
    std::function<void(const TelegramRecord&)> observer_;
    bool stop_ = false;
    std::thread scheduler_;
};

} // namespace kadex::sim
