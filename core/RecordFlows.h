#pragma once
// The read, write and compare flows over the three device records: the operating data, the
// calibration configuration and the controller parameters. Runs on the flow runner; the frame
// (pausing the polling threads, disabling controls, the busy cursor) comes from the core.
#include "device/OEMData.h"
#include "device/QVData.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowModel.h"

#include <QString>
#include <atomic>
#include <functional>

namespace kadex {

// What a user flow needs around its transfers; the composition root implements it.
class IUserFlowFrame {
public:
    virtual ~IUserFlowFrame() = default;
    // Shows the status text, busy cursor, controls off, polling paused; returns the status
    // text shown before.
    virtual QString BeginUserFlow(const QString& statusText) = 0;
    // Controls on, exactly one polling thread resumed, the remembered status back.
    virtual void EndUserFlow(const QString& status) = 0;
    virtual void AnzConfPcHwEqual(bool equal) = 0;
};

class TRecordFlows {
public:
    // dataRead is the core's flag: true after a complete read (set by "Lesen" even after a
    // failed one, so later edits compare against what was read).
    TRecordFlows(WindowModel& model, TVAVBetrieb& betrieb, TOEMData& oem, TQVData& qv, IUserFlowFrame& frame,
                 std::atomic<bool>& dataRead);

    // All three records without pausing or locking (after a connect or an address change).
    bool ReadConfig();
    // "Lesen" and "Setzen": the chains of all three records, stopping at the first failure.
    bool Lesen();
    bool Setzen();
    // False while nothing was read; otherwise the three records' comparisons in turn.
    bool IsPcHwEqual();
    // The differing fields of all three records in comparison order (each record's full
    // walk); empty exactly when IsPcHwEqual is true. While nothing was read: one row without
    // a field.
    FieldDifferences Differences();
    // The Experte tab's system information.
    void SetSystemInfo();
    // The failure of the last read or write as shown in the status bar; empty after success.
    QString LastFailure() const;
    // The next action clears a shown failure.
    void ClearFailure();

    // The action log: an automatic read after a connect logs only when it succeeded, "Lesen"
    // and "Setzen" whatever their result (the logger itself skips while closing). Action names
    // are the buttons' captions.
    std::function<void(const QString& action)> OnLog;

private:
    enum class Step { None, Betrieb, OEM, QV };
    Step readChain();
    void showFailure(const QString& pattern, Step step);
    void log(FieldId button);

    WindowModel& m_;
    TVAVBetrieb& betrieb_;
    TOEMData& oem_;
    TQVData& qv_;
    IUserFlowFrame& frame_;
    std::atomic<bool>& dataRead_;
};

} // namespace kadex
