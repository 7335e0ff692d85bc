#pragma once
// The sensor and actuator choices of the OEM tab as plain functions: the presets from the
// tool settings, their values in display units, which preset a set of dialog values equals,
// and the remembered sensor set of each sensor kind when the sensor type changes.
//
// Device-unit sets use the preset records of the tool settings (TIniPresetSensor,
// TIniPresetAntrieb); SensorSet and ActuatorSet are the six values of the variable sensor and
// actuator dialogs as shown (Pnom and Ptot in the sensor unit).
#include "settings/ToolIni.h"

#include <QStringList>

#include <cstdint>

namespace kadex::sensor {

// The "Fühlertyp" choice.
enum class SensorKind { DPK, VolumeSignal, DSK3 };
// Sensor type code of the calibration record: 1 volume signal, 2 pressure sensor.
int SensorTypCode(SensorKind k);
inline bool IsPressure(SensorKind k) { return k != SensorKind::VolumeSignal; }
// Sensor factor of a kind in a unit set: flow factor for the volume signal, else pressure.
double SensorFactor(SensorKind k, int unitIndex);

struct SensorSet {
    int32_t Pmin = 0, Pmax = 0; // mV
    int32_t Pnom = 0, Ptot = 0; // sensor unit
    int32_t Pverz = 0;          // ms
    int32_t Vtot = 0;           // %
    bool operator==(const SensorSet&) const = default;
};

struct ActuatorSet {
    int32_t Ymin = 0, Ymax = 0, YRmin = 0, YRmax = 0; // mV
    int32_t LZAntrieb = 0;                            // s
    bool linear = true;                               // "Linear", else "6V ± 4 V"
    bool operator==(const ActuatorSet&) const = default;
};

struct PresetTable {
    TIniPresetSensor dpk[3];  // DPK-100, DPK-300, DPK-600
    TIniPresetSensor dsk3[3]; // DSK3-100, DSK3-300, DSK3-600
    TIniPresetSensor vs;      // volume-signal sensor
    TIniPresetAntrieb hfx;    // "Schnellläufer (..-HFX)"
    TIniPresetAntrieb rgt;    // "Standard (..-RGT)"
    // The presets the tool settings were read into.
    static PresetTable FromToolSettings();
    // The defaults of a fresh settings file.
    static PresetTable Defaults();
    const TIniPresetSensor& pressure(SensorKind k, SensorPresetSize size) const;
};

enum class SensorChoice { None, Size100, Size300, Size600, Variabel };
enum class ActuatorChoice { HFX, RGT, Variabel };

// Captions of the three size choices ("DPK-100" ... or "DSK3-100" ...); empty for the volume
// signal, whose size choices are hidden.
QStringList SensorPresetCaptions(SensorKind k);

// A device-unit set as the dialog shows it: Pnom and Ptot times the sensor factor, rounded.
SensorSet ShowSensorSet(const TIniPresetSensor& device, double sensorFactor);
// The dialog values in device units. Pnom and Ptot keep the anchor's device value while the
// shown value is still the anchor's own, so storing and restoring does not move them; a value
// the user changed is divided by the factor and rounded.
TIniPresetSensor StoreSensorSet(const SensorSet& shown, const TIniPresetSensor& anchor,
                                double sensorFactor);

// A size choice of a pressure kind (SensorChoice::Size100..Size600).
SensorSet ApplySensorPreset(SensorKind k, SensorPresetSize size, const PresetTable& t,
                            double sensorFactor);
// The size whose preset equals the dialog (Pmin, Pmax, Pverz, Vtot exactly; Pnom and Ptot after
// dividing by the sensor factor and rounding), else Variabel; None for the volume signal.
SensorChoice DetectSensorPreset(SensorKind k, const SensorSet& shown, const PresetTable& t,
                                double sensorFactor);

ActuatorSet ShowActuatorSet(const TIniPresetAntrieb& p);
ActuatorSet ApplyActuatorPreset(ActuatorChoice c, const PresetTable& t);
ActuatorChoice DetectActuatorPreset(const ActuatorSet& a, const PresetTable& t);

// The variable dialog is shown when "variabel" is the choice and the OEM tab is active.
inline bool ShowVariableDialog(bool variabel, bool oemTabActive) { return variabel && oemTabActive; }

// Which sensor types the window offers.
struct SensorTypeAvailability {
    bool dsk3Visible = false;        // FirmwareNr above 307
    bool volumeSignalEnabled = false; // firmware 0x0220 and above with the volume-flow function
};
SensorTypeAvailability AvailableSensorTypes(int firmwareNr, uint16_t firmwareVersion, int reglerFkt);

// The remembered sensor sets (device units), one per sensor class.
struct SensorMemory {
    TIniPresetSensor druck; // pressure sensors (DPK and DSK3)
    TIniPresetSensor vs;    // volume signal
    static SensorMemory Initial(const PresetTable& t); // DPK-300 and the volume-signal preset
};

struct SensorTypeInput {
    SensorKind from = SensorKind::DPK;
    SensorKind to = SensorKind::DPK;
    SensorSet dialog;         // the sensor dialog as shown, in `from`'s sensor unit
    TIniPresetSensor oemSet;  // the record's PC copy of the six values (device units)
    SensorMemory memory;
    int unitIndex = 0;
    bool oemTabActive = false;
};
struct SensorTypeResult {
    SensorMemory memory;
    TIniPresetSensor oemSet; // new PC copy of the six values
    SensorSet dialog;        // the dialog in the new sensor unit
    int sensorTyp = 2;
    bool presetsVisible = false;
    QStringList captions;
    bool conductanceVisible = false; // "Leitwert" group, "Dichte", the density panel
    SensorChoice choice = SensorChoice::Variabel;
    bool showDialog = false;
};
// A sensor type choice: the set of the kind being left is remembered, the set of the chosen
// kind restored. Between the two pressure kinds the values stay as they are.
SensorTypeResult ChooseSensorType(const SensorTypeInput& in, const PresetTable& t);

} // namespace kadex::sensor
