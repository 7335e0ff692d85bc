#pragma once
// The identification sequence of a controller, as plain data (the operating-data record puts
// the same results into the window).
#include "comm/ZBCmd.h"

#include <QString>

namespace kadex {

struct IdentInfo {
    bool serOk = false, tableOk = false, addrOk = false, textAddrOk = false;
    bool oemOk = false, posOk = false, typeTextOk = false, firmwareOk = false;
    QString serNr;        // identity text 00812-04711-003-001
    QString typeText;     // device family text
    uint32_t deviceKey = 0;
    uint8_t deviceType = 0;
    uint16_t configTableId = 0;
    QString busAddress;   // "PP", "ZB1".."ZB8" or empty
    QString oemText, positionText, fenwixText; // trailing blanks removed
    uint16_t firmware = 0;

    // Firmware and table ID as four upper-case hex digits.
    static QString Hex4(uint16_t v);
};

// Runs the identification: [SetOverride(10)], identity, configuration table ID, bus address,
// the three texts, [SetOverride(0)], firmware — each step only after all before succeeded.
// withOverride = false is the refresh variant without the two override commands.
bool IdentifyDevice(TZBCmd& zb, bool withOverride, IdentInfo& info);

// Trailing blanks removed, as texts from device memory are shown.
QString TrimRight(const QString& s);

} // namespace kadex
