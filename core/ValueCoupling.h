#pragma once
// The value-entry rules of the main window as plain functions: the coupling of V'nom, V'max,
// V'min and V'mid in units and percent, the sliders, the lowest reachable V'min, the unit sets,
// the 2 V rule of the w/U5 ranges, the range hints and the QV spin limits.
//
// Nothing here touches the window model, a widget or the bus. The caller parses the field
// texts, passes them in, and writes back the texts of the result in the order given. Each
// result names every decision taken (which bound clamped a value, whether V'min was cut to
// V'max) so the window can tell the user why a value changed.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace kadex::coupling {

// Firmware from which the V'min percentage is a share of V'nom instead of V'max.
inline constexpr uint16_t FirmwareVminOfVnom = 0x0220;
inline bool VminIsShareOfVnom(uint16_t firmware) { return firmware >= FirmwareVminOfVnom; }

// The Strg+S hints are shown while the focused value could be written.
inline bool StrgSHintVisible(bool writeEnabled) { return writeEnabled; }

// V'max percent may not stay below this on leaving; "Setzen" needs at least this much.
inline constexpr double VmaxPrzLeaveMin = 30.0;

enum class Bound { None, Min, Max };

struct Clamped {
    double value = 0;
    Bound hit = Bound::None;
};
// The plain range check: the violated bound replaces the value.
Clamped ClampToRange(double value, double min, double max);

// The unit context of the entry fields.
struct UnitContext {
    int unitIndex = 0; // 0 "m³/h / Pa", 1 "l/s / Pa", 2 "cfm / uPSI"
    int reglerFkt = 1; // 1 volume flow, 2 pressure
    int sensorTyp = 2; // 1 volume signal, 2 pressure sensor
};
double FunctionFactor(const UnitContext& u);
double SensorFactor(const UnitContext& u);
QString FlowUnit(int unitIndex);
QString PressureUnit(int unitIndex);
QString FunctionUnit(const UnitContext& u);
QString SensorUnit(const UnitContext& u);
// Largest display value of a 16-bit device value: trunc(factor x 65535).
int32_t MaxDisplay(double factor);
int32_t VnomMax(const UnitContext& u);
// What the V'max and V'min percentages are a share of, as their labels say: "% von V'nom"
// ("P'nom" in the pressure function); V'min on firmware before 0x0220 "% von V'max".
struct ShareLabels {
    QString vmax, vmin;
};
ShareLabels PercentShareLabels(int reglerFkt, uint16_t firmware);

// ---------------------------------------------------------------------------------------------
// The Service figures

enum class FlowField { Vnom, VmaxM3, VmaxPrz, VminM3, VminPrz, VmidM3, VmidPrz, Setpoint };
// Object name of the field ("EditVnomM3Anz", "EditVmaxPrz", ...).
const char* FlowFieldName(FlowField f);
bool IsPercentField(FlowField f);
// Decimals a field is written with: 0 for units fields, 2 for percent fields.
int FlowFieldDecimals(FlowField f);

// Parsed values of the Service fields (display units and percent).
struct FlowValues {
    double vnom = 0;    // N: EditVnomM3Anz
    double vmaxM3 = 0;  // X
    double vmaxPrz = 0; // X%
    double vminM3 = 0;  // I
    double vminPrz = 0; // I%
    double vmidM3 = 0;  // D
    double vmidPrz = 0; // D%
    double setpoint = 0;
    double get(FlowField f) const;
    void set(FlowField f, double v);
};

// What the lowest reachable V'min depends on besides V'nom and V'max.
struct VminLimitInput {
    UnitContext units;
    double ptot = 0;        // "P'Schleichm." as shown (sensor unit)
    double conductance = 0; // "ermittelt" as shown
    double density = 0;     // density of the options dialog, kg/m³
};

struct VminLimit {
    int32_t vminPrzMin = 0; // VminPrzMin
    int32_t shownLower = 0; // min(VminPrzMin, 100)
    QString upperText;      // "80%" (V'max percent) or "100%" for old firmware
    QString rangeLabel;     // "Bereich 12 .. 100%"
    bool pressureBranch = false; // computed from the conductance (pressure sensor, volume flow)
};
// rangeLabel: the current V'min range label ("Bereich 0..100%" by default); the new label keeps
// its text up to the first blank.
VminLimit UpdateVminLimit(double vnom, double vmaxPrz, uint16_t firmware,
                          const VminLimitInput& in, const QString& rangeLabel);
inline bool VminWarning(int32_t vminPrzMin, double vminPrz) { return vminPrzMin > vminPrz; }

struct CouplingInput {
    FlowField changed = FlowField::Vnom;
    FlowValues values;     // the changed field holds the value as typed
    double vnomOem = 0;    // parsed EditVnomM3 (used by a V'min percent change, new firmware)
    uint16_t firmware = FirmwareVminOfVnom;
    bool readEnabled = false;       // "Lesen"
    bool setpointVariabel = false;  // operation mode "Variabel" selected
    VminLimitInput limit;
    QString vminRangeLabel = QStringLiteral("Bereich 0..100%");
    int32_t vminPrzMin = 0;         // current VminPrzMin (kept when not recomputed)
    // The changed field is being typed into: nothing derived from a half-typed value may cut
    // another field (V'min to V'max); the limits apply once the entry is committed.
    bool typing = false;
};

struct FieldText {
    FlowField field;
    QString text;
    bool operator==(const FieldText&) const = default;
};

struct CouplingResult {
    FlowValues values;               // after the step (full precision)
    std::vector<FieldText> rewrites; // texts to set, without running the coupling again
    Bound changedClamp = Bound::None; // the typed value hit this bound
    bool vminCutToVmax = false;      // new firmware: V'min percent was cut to V'max percent
    std::optional<VminLimit> limit;  // recomputed lowest V'min, when this change calls for it
    int32_t vminPrzMin = 0;          // the one in force after the step
    bool vminWarning = false;        // V'min percent text red
    int sliderVmax = 0;              // TrackBarVMax position
    int sliderVmin = 0;              // TrackBarVMin position
    bool setzenEnabled = false;
    bool strgSHintVisible = false;
    // Operating record's variable setpoint (0.01 %), when "Variabel" is the mode.
    std::optional<int32_t> variableSetpoint;
};

// The coupling for one changed field. The caller sets the rewrites with the change handling
// of the Service fields, the OEM mirrors and the sliders off, then moves the sliders, colours
// V'min percent, copies EditVmaxM3/EditVminM3 into the OEM mirrors and refreshes the
// comparison indicator.
CouplingResult Couple(const CouplingInput& in);

// "Setzen" and the Strg+S hint: enabled with "Lesen" and V'max at least 30 %.
bool SetzenEnabled(bool readEnabled, double vmaxPrz);

// Slider position of a percentage: 100 - nearest integer, kept inside the slider's range.
int SliderVmaxPosition(double vmaxPrz);
int SliderVminPosition(double vminPrz);

// The percent text a slider move sets (with the change handling on, so the coupling derives
// V'max, V'min and V'mid units from it). Setting the units texts as well would let the
// rounded units pull the percentage off the slider's value (80 % of 333 is 266, which reads
// back as 79.88 %).
FieldText SliderVmaxMoved(int position);
FieldText SliderVminMoved(int position);

// Leaving a Service figure (or a slider or OEM mirror: `left` empty then). Texts to set, in
// order, each with the change handling on: first V'max percent to 30.00 when it is below 30,
// then the left field's text rewritten with its decimals (empty reads as 0). The variable
// setpoint is not rewritten.
std::vector<FieldText> LeaveFigure(std::optional<FlowField> left, const QString& leftText,
                                   double vmaxPrz);

// ---------------------------------------------------------------------------------------------
// Unit sets

// A value shown in display units together with the device value it came from. Converting from
// the device value instead of the rounded text keeps a value from drifting when the unit set
// is switched back and forth; a value the user changed is taken over at full precision.
struct AnchoredValue {
    double device = 0;  // m³/h or Pa, not rounded
    int32_t shown = 0;  // the nearest integer shown for it
};
// The anchor of a shown value: kept while `shown` still rounds to the anchor's text, else the
// shown value divided by the factor it is expressed in. The caller sets a new anchor whenever
// the value is filled from the device.
AnchoredValue Reanchor(const AnchoredValue& anchor, double shown, double factor);
// The shown value after a factor change.
AnchoredValue ConvertAnchored(const AnchoredValue& anchor, double shown, double oldFactor,
                              double newFactor);

struct UnitView {
    QString functionUnit; // V'nom, V'max, V'min, V'mid, setpoint, actual value, OEM, conductance flow
    QString pressureUnit; // operation panel sensor value, conductance pressure
    QString sensorUnit;   // "P'nom", "P'Schleichm."
    int32_t sensorMax = 0; // maximum of "P'nom" and "P'Schleichm."
    QString sensorHint;    // "0 .. 65535"
    int32_t vnomMax = 0;
    QString vnomHint;      // "1 .. 65535"
};
UnitView ShowUnits(const UnitContext& u);

struct ConvertInput {
    int oldUnitIndex = 0;
    int newUnitIndex = 0;
    int reglerFkt = 1;
    int sensorTyp = 2;
    bool dataRead = false;
    // Window values with their anchors.
    AnchoredValue vnom; double vnomShown = 0;   // EditVnomM3
    AnchoredValue pnom; double pnomShown = 0;   // "P'nom"
    AnchoredValue ptot; double ptotShown = 0;   // "P'Schleichm."
    // The compared device-copy values of the calibration record (display units).
    AnchoredValue hwVnom, hwPnom, hwPtot;
};
struct ConvertResult {
    UnitView view;
    AnchoredValue vnom, pnom, ptot; // new anchors; `shown` is the new text
    QString vnomText;               // written to EditVnomM3, then copied into EditVnomM3Anz
    // Device-copy values in the new units (only when dataRead).
    std::optional<AnchoredValue> hwVnom, hwPnom, hwPtot;
};
ConvertResult ConvertUnits(const ConvertInput& in);

// ---------------------------------------------------------------------------------------------
// w / U5 voltage ranges

enum class VoltageField { W1Start, W1Stop, U5Start, U5Stop };
const char* VoltageFieldName(VoltageField f);
inline constexpr double VoltageStartMax = 8.0;
inline constexpr double VoltageStopMax = 10.0;
inline constexpr double VoltageMinSpan = 2.0;

struct VoltageTexts {
    QString w1Start = QStringLiteral("0.0"), w1Stop = QStringLiteral("10.0");
    QString u5Start = QStringLiteral("0.0"), u5Stop = QStringLiteral("10.0");
    QString& at(VoltageField f);
    const QString& at(VoltageField f) const;
};

enum class VoltageMode { Range0To10, Range2To10, Free };

struct VoltageResult {
    VoltageTexts texts;            // all four after the step
    std::vector<VoltageField> rewritten; // fields whose text the step set
    Bound changedClamp = Bound::None;
    bool stopRaised = false;       // the 2 V rule moved Stop up
    bool startLowered = false;     // the 2 V rule moved Start down (leave)
    bool stopRaisedOnLeave = false; // Stop below 2 V on leave was raised to keep Start at 0
    std::optional<VoltageMode> mode; // set by the change handling only
    QString freeCaption;           // "w: 2.0 .. 10.0 V, U5: 0.0 .. 10.0 V" for Free
};
// Change of one of the four fields: plain range check, the 2 V rule on a Start change, mode.
VoltageResult VoltageChanged(VoltageField changed, const VoltageTexts& texts);
// Leaving one of the four: rewrite with 1 decimal, the 2 V rule on a Stop leave.
VoltageResult VoltageLeft(VoltageField left, const VoltageTexts& texts);
VoltageMode RecogniseVoltageMode(const VoltageTexts& texts);
// "w: 2.0 .. 10.0 V, U5: 0.0 .. 10.0 V": the texts as the fields show them.
QString FreeRangeCaption(const VoltageTexts& texts);
// Texts a mode choice sets ("2 .. 10 V" or "0 .. 10 V").
VoltageTexts VoltageModeTexts(VoltageMode mode);

// ---------------------------------------------------------------------------------------------
// Hints and QV limits

// Minimum, " .. ", maximum.
QString RangeHint(double min, double max);

struct RangeHints {
    QString vnom, density, leitwertErmittelt, k;
    QString jahr, woche, nummer, teststation, tn, tv, t1;
    QString devFam, famSuff;
};
// firmwareCaption: the Experte label's caption ("Firmware" by default).
RangeHints SetRangeHints(const UnitContext& u, uint16_t snrDevFam, uint16_t snrSuffix,
                         const QString& firmwareCaption = QStringLiteral("Firmware"));

enum class QvSpin { Jahr, Woche, Nummer, Teststation, FamSuff, DevFam, Tn, Tv, T1 };
struct QvSpinLimit {
    int min = 0, max = 0;
    int maxChars = 0; // 0: unlimited
    bool enabled = true;
};
QvSpinLimit QvSpinLimits(QvSpin spin);
// The spin value from its text: unreadable gives the minimum; outside the range the bound.
struct QvSpinValue {
    int value = 0;
    Bound hit = Bound::None;
    bool unreadable = false;
};
QvSpinValue ClampQvSpin(QvSpin spin, const QString& text);

// ---------------------------------------------------------------------------------------------
// Snapshot check of the operating record (device values)

struct BetriebSnapshot {
    uint16_t firmware = FirmwareVminOfVnom;
    int32_t vnom = 0;    // device units
    int32_t vmaxPrz = 0; // 0.01 %
    int32_t vminPrz = 0; // 0.01 % (of V'nom from 0x0220, of V'max before)
    int32_t vmidPrz = 0;
    int32_t w1MinMV = 0, w1MaxMV = 0, u5MinMV = 0, u5MaxMV = 0;
};
struct Violation {
    QString field;   // record field ("VmaxPrz", "W1MaxMV", ...)
    QString message; // English
    bool operator==(const Violation&) const = default;
};
std::vector<Violation> ValidateBetrieb(const BetriebSnapshot& s);

} // namespace kadex::coupling
