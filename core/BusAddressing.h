#pragma once
// Giving one controller a new bus address, found either by its service button (only a
// controller whose button is pressed answers a push-button call) or by its serial number (the
// new address goes out as a broadcast with the serial number, and only the matching controller
// takes it). A different controller that holds the wanted address is moved to "PP" first.
// Every address change is checked by asking the identity at the address afterwards.
//
// Runs on the thread that owns the bus (flow runner, command line); polling threads paused.
// The bus object's attempts, header mode, timeout and address are changed only inside the
// calls and put back before they return.
#include "comm/ZBCmd.h"
#include "core/BusScan.h"

#include <QString>
#include <functional>

namespace kadex {

struct AddressingResult {
    enum class Outcome {
        Ok,
        InvalidSerial,    // the typed serial number is malformed or out of range; nothing sent
        Aborted,          // the button search was given up (by the user or its time limit)
        SerialNotFound,   // no controller answers with this serial number; nothing changed
        OccupantNotMoved, // the controller at the wanted address could not be moved to PP
        NotVerified,      // the target did not answer with its identity at the new address
        LinkLost,         // the port went away
        Closing,          // the program is closing
    };
    Outcome outcome = Outcome::NotVerified;
    ZbIdentity target;
    int newIndex = 0;
    bool occupantFound = false; // a different controller held the wanted address
    bool occupantMoved = false; // ... and was moved to PP
    ZbIdentity occupant;
    bool ok() const { return outcome == Outcome::Ok; }
};

// A short English text for the outcome (command line, trace).
QString AddressingOutcomeText(const AddressingResult& r);

class TBusAddressing {
public:
    explicit TBusAddressing(TZBCmd& zb) : zb_(zb) {}

    // One push-button call: the identity of a controller whose service button is pressed.
    bool ButtonCall(ZbIdentity& id);
    // Repeats the push-button call about every 100 ms until a controller answers, cancelled()
    // says so or timeoutMs (0: no limit) has passed.
    bool SearchButton(ZbIdentity& id, const std::function<bool()>& cancelled, uint64_t timeoutMs = 0);

    // Gives the controller with the target identity the address newIndex (0 PP, 1..8 ZB1..ZB8).
    // checkTargetFirst: before moving a different controller away from the wanted address, make
    // sure the target answers somewhere on the bus (a typed serial number may match nobody).
    AddressingResult Address(const ZbIdentity& target, int newIndex, bool checkTargetFirst);
    // The typed serial number, checked first (nothing is sent when it is invalid).
    AddressingResult AddressBySerial(const QString& serial, int newIndex);

    // The broadcast with the serial number and the new address pattern, then the identity at the
    // bus object's current address; up to three tries. True once the identity matches.
    bool ReAddress(const ZbIdentity& id, uint8_t pattern);

    // Called once for every addressing that was attempted (also a failed one, not for an
    // invalid serial number): where the action log records it.
    std::function<void(const AddressingResult&)> OnAddressed;

    // The push-button call's answer timeout and the pause between calls.
    static constexpr uint32_t ButtonTimeoutMs = 600;
    static constexpr uint32_t ButtonPauseMs = 100;

private:
    bool identityAt(int index, ZbIdentity& id);
    AddressingResult finish(AddressingResult r);
    bool targetAnswersSomewhere(const ZbIdentity& target, int except);

    TZBCmd& zb_;
};

} // namespace kadex
