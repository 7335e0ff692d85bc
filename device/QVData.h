#pragma once
// The controller-parameter and serial number record: K, T1, Tv, Tn, adaptive control, the
// serial number in its parts and the flow sensor choice, mirrored from the QV area
// 0x0001..0x0113 of the controller and shown on the QV tab of the window-value model.
#include "device/FieldDifference.h"
#include "device/DeviceContext.h"

#include <QDate>
#include <QString>
#include <cstdint>
#include <vector>

namespace kadex {

class TVAVBetrieb;

struct TQV_Data {
    float K = 0.0f;
    uint16_t T1 = 0, Tv = 0, Tn = 0; // ms
    int16_t Adaptiv = 0;
    int16_t KTa = 1;
    uint16_t SnrYearWeek = 0;    // two-digit year x 100 + week
    uint16_t SnrDaySnr = 0;      // day index x 10000 + running number
    uint16_t SnrSuffix = 0;
    uint16_t SnrDevFam = 0;
    uint16_t SnrTestStation = 0;
    int16_t SensorIntern = 0;    // 1 internal, 0 external sensor
    bool operator==(const TQV_Data&) const = default;
};

// Splits a typed serial number text ("00852-20017-003-001") into the serial fields of the
// QV tab. Made for one split.
class TSerialToControl {
public:
    struct Target {
        int MinLen;   // the text must have at least this many characters
        int StartPos; // 1-based
        int Count;
        FieldId target; // a spin field or the day list
    };
    explicit TSerialToControl(const QString& text);

    QString Text;
    int TextLen = 0;

    static const std::vector<Target>& Targets();
    // The number in the Count characters from StartPos, -1 when they are not one.
    int Part(const Target& t) const;
    // Puts every part that is a number into its field.
    void Apply(WindowModel& model) const;
};

class TQVData {
public:
    // Sets the serial fields' limits, then InitQVData with today's date.
    TQVData(TDeviceContext& ctx, TVAVBetrieb& betrieb);

    TQV_Data QV_Data;
    TQV_Data QV_Data_HW;

    void InitQVData(const QDate& today);
    // QV_Data into the tab with the change rules of the parameter fields suspended.
    void SetData();
    TQV_Data MaskToQVDataRecord() const;
    void QVDataRecordToMask(const TQV_Data& rec);

    // Both stop at the first failed transfer and return false. A failed read leaves the tab
    // and the device copy as they were; a write updates the device copy transfer by transfer,
    // and after a failed write the device copy counts as unknown until the next complete
    // read or write.
    bool ReadConfig();
    bool WriteConfig();
    bool IsPcHwEqual();
    // The same walk as IsPcHwEqual, listing the differing fields: all of them, or (all false)
    // only the first, which is what IsPcHwEqual decides by. An unknown device copy ends both.
    FieldDifferences Compare(bool all);
    bool DeviceCopyKnown() const { return hwKnown_; }

    void BuildSerNrText();
    void SerNrInputToControls();

    // The nine bus address codes (0 ZB1, 1 PP, 4 ZB2 ... 140 ZB8).
    static bool IsAddressCode(uint8_t code);
    // The shortest decimal text of a single-precision value ("1.2" for 1.2f).
    static QString FloatText(float v);

private:
    // The focused-value write updates the device copy and its memos group by group.
    friend class TFocusedWrite;
    TDeviceContext& ctx_;
    TVAVBetrieb& betrieb_;
    TZBCmd& zb_;
    WindowModel& m_;
    bool hwKnown_ = true;
};

} // namespace kadex
