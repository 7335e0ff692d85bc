#pragma once
// The identification sequence of a controller, as plain data (the operating-data record puts
// the same results into the window).
#include "comm/ZBCmd.h"

#include <QString>

#include <atomic>
#include <functional>
#include <vector>

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

// The motor stop (override 10) the identification sends first. Once the controller took it, the
// identification ends with the release (override 0) whatever happened between; a release that
// did not get through stays owed until ReleaseIfOwed (or the next identification) delivers it.
// A damper left stopped leaves a room without controlled air.
class TIdentStop {
public:
    // Ends a running identification after its current step (with the release); any thread.
    // Stays set: later identifications end at once until ClearCancel.
    void RequestCancel() { cancel_ = true; }
    void ClearCancel() { cancel_ = false; }
    bool CancelRequested() const { return cancel_.load(); }
    // The stop may be in force: from just before it is sent until a release was answered.
    bool Held() const { return held_.load(); }
    // The controller answered the stop that is held (false: it went out unanswered).
    bool Confirmed() const { return confirmed_.load(); }
    // Sends the release when one is owed; true when none is owed afterwards.
    bool ReleaseIfOwed(TZBCmd& zb);

    // The identification chain: the stop (withOverride), the steps while each succeeds and no
    // cancel came, the release, then the last step. A stop that went out counts as taken even
    // when its answer failed.
    bool Run(TZBCmd& zb, bool withOverride, const std::vector<std::function<bool()>>& steps,
             const std::function<bool()>& last);

private:
    std::atomic<bool> cancel_{false};
    std::atomic<bool> held_{false};
    std::atomic<bool> confirmed_{false};
};

// Runs the identification: [SetOverride(10)], identity, configuration table ID, bus address,
// the three texts, [SetOverride(0)], firmware — each step only after all before succeeded; the
// release is sent also after a failed step (see TIdentStop). withOverride = false is the refresh
// variant without the two override commands. stop: the caller's guard (cancel, owed release).
bool IdentifyDevice(TZBCmd& zb, bool withOverride, IdentInfo& info, TIdentStop* stop = nullptr);

// Trailing blanks removed, as texts from device memory are shown.
QString TrimRight(const QString& s);

} // namespace kadex
