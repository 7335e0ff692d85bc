#pragma once
// The calibration set of the window as the header and data line of a ".vav" file, and the
// data line put back into the fields ("Default laden"). Model work only: nothing here talks
// to the device.
#include "device/DeviceContext.h"
#include "device/OEMData.h"
#include "device/model/WindowModel.h"
#include "settings/VavFile.h"

#include <QDate>
#include <QString>

namespace kadex {

class TRegForm;
class TValueEntry;

class TDefaultFile {
public:
    TDefaultFile(TDeviceContext& ctx, TOEMData& oem, TRegForm& regFkt, TValueEntry& entry);

    // Lines 2 and 3 from the current fields into the calibration record's stored lines; sets
    // DefaultLoaded.
    void BuildDefaultLines(const QDate& today = QDate::currentDate());
    // Stores two lines read from a file; sets DefaultLoaded.
    void SetDefaultLines(const QString& header, const QString& values);
    // One pass of applying the stored lines to the fields; nothing while none are stored.
    void ApplyDefaultLines();
    // "Default laden": two passes (the first may change the sensor type, which refills the
    // sensor values; the second puts the file's values over them).
    void DefaultLaden();

    // "Speichern": the stored lines built from the fields, "Default laden" enabled, the file
    // replaced through a temporary file. Empty on success, else the message to show.
    QString Save(const QString& path);
    // "Öffnen": the file is read and checked as a whole; only a file that passes is stored
    // (and "Default laden" enabled), a refused one changes nothing. Empty on success, else the
    // message to show; refusal (when given) receives where and why in English.
    QString Open(const QString& path, VavError* refusal = nullptr);

private:
    TDeviceContext& ctx_;
    TOEMData& oem_;
    TRegForm& regFkt_;
    TValueEntry& entry_;
    WindowModel& m_;
};

} // namespace kadex
