#pragma once
// The bus scan: asks PP and ZB1..ZB8 in turn who answers, with which serial number, type and
// firmware. An address nobody answers costs one short attempt (a timeout fitted to the line
// speed) instead of three full ones; the bus keeps its quiet guard after every failed attempt,
// so a late answer is heard out and never taken for the next address's. A garbled answer is
// asked once more with the full timeout; garbled again, two controllers probably share the
// address (their answers collide on the wire).
//
// Runs on the thread that owns the bus (flow runner, command line); polling threads paused.
#include "comm/ZBCmd.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kadex {

// A controller's identity as its serial number carries it.
struct ZbIdentity {
    uint16_t w1 = 0;   // year * 100 + week
    uint16_t w2 = 0;   // day * 10000 + number
    uint8_t type = 0;  // device family
    uint8_t last = 0;  // last group
    // "00812-04711-003-001"
    QString Text() const;
    bool operator==(const ZbIdentity&) const = default;
};

// A typed serial number: 19 characters in groups of 5, 5, 3 and 3 digits joined by "-", with
// year 0..99, week 1..52, day 0..6, number 1..5535, type 1..255 and last 1..255.
std::optional<ZbIdentity> ParseSerialNumber(const QString& text);

// "PP", "ZB1".."ZB8".
QString BusAddressName(int index);

// Saves the bus object's attempts, header mode, timeout and address (under the bus lock, held
// for the scope's life) and puts them back when it ends.
class TBusSettingsScope {
public:
    explicit TBusSettingsScope(TZBCmd& zb);
    ~TBusSettingsScope();
    TBusSettingsScope(const TBusSettingsScope&) = delete;
    TBusSettingsScope& operator=(const TBusSettingsScope&) = delete;
    uint8_t Attempts() const { return attempts_; }
    uint32_t TimeoutMs() const { return timeoutMs_; }
    uint8_t AdrIndex() const { return adrIndex_; }

private:
    TZBCmd& zb_;
    std::lock_guard<std::recursive_mutex> lock_;
    uint8_t attempts_;
    uint8_t headerMode_;
    uint32_t timeoutMs_;
    uint8_t adrIndex_;
};

struct ScanEntry {
    enum class State {
        Absent,    // no answer
        Present,   // one controller answered with a good identity
        Duplicate, // garbled answers: probably two controllers on this address
    };
    int index = 0; // 0 PP, 1..8 ZB1..ZB8
    State state = State::Absent;
    ZbIdentity id;
    QString serial, typeText;
    uint16_t firmware = 0;
    bool firmwareOk = false;
    TxResult why = TxResult::Ok; // what the last failed telegram ran into
};

// The answer timeout of one scan attempt at the given line speed: the identity telegram's
// echo and answer on the wire twice over, plus 150 ms for the controller.
uint32_t ScanTimeoutMs(int baud);

// Asks one address. Leaves the bus settings as it found them.
ScanEntry ProbeAddress(TZBCmd& zb, int index);

struct ScanResult {
    std::vector<ScanEntry> entries; // in the order asked; fewer than nine when stopped early
    bool complete = false;          // all nine asked
    bool linkLost = false;
};

// PP, ZB1..ZB8 in turn. before(index) is called before an address is asked, after(entry) when
// it was; cancelled() is asked between addresses.
ScanResult ScanBus(TZBCmd& zb, const std::function<void(int index)>& before = {},
                   const std::function<void(const ScanEntry&)>& after = {},
                   const std::function<bool()>& cancelled = {});

// One line for a person: "ZB3: 00812-04711-003-001 VAV-Reglersystem QV, firmware 0308",
// "ZB4: no answer", "ZB5: garbled answers, probably two controllers ...".
QString ScanEntryText(const ScanEntry& e);

} // namespace kadex
