#pragma once
// The action log entry of a device action: what the window shows at that moment (identity,
// live values, flows in base units, sensor and actuator) as one line of the monthly log.
#include "device/DeviceContext.h"
#include "device/OEMData.h"
#include "device/model/WindowModel.h"

#include <QDate>
#include <QString>
#include <QTime>
#include <atomic>
#include <functional>
#include <mutex>

namespace kadex {

class TActionLogger {
public:
    TActionLogger(WindowModel& model, TDeviceContext& ctx, TOEMData& oem, std::atomic<bool>& closing);

    // The heading line from the log texts in force; built once per run (a later language
    // change does not change it). Built on the first entry if not before.
    void PrepareHeader();
    QString Header();
    // One entry from the current window state.
    QString BuildLogLine(const QString& action, const QDate& date, const QTime& time) const;
    // Inserts an entry for today into the log folder (the settings' LogDatei, or the folder
    // given by SetFolder). Nothing while the window is closing. A failure is reported through
    // OnMessage (text, error icon) and returns false; the action itself carries on.
    bool WriteLogEntry(const QString& action);
    void SetFolder(const QString& folder);
    QString Folder() const;
    // The date and time of entries; tests move it.
    std::function<QDateTime()> Now;
    std::function<void(const QString& text, bool error)> OnMessage;

    // The action names.
    QString ReadAction() const;
    QString WriteAction() const;
    QString FocusedWriteAction() const;

private:
    WindowModel& m_;
    TDeviceContext& ctx_;
    TOEMData& oem_;
    std::atomic<bool>& closing_;
    mutable std::mutex mutex_;
    QString header_;
    QString folder_;
};

} // namespace kadex
