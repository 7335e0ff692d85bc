#pragma once
// The tool's own settings file "KadexTool.ini": the user's last choices (written back at exit)
// and the preset tables (read only). Everything is read once into the global records below;
// the rest of the tool reads the records, never the file.
//
// Threads: the settings in force are an immutable snapshot, CurrentToolIni(), which any thread
// may read. The global records are the GUI thread's working copy: only the GUI thread reads or
// writes them; ReadToolIni, LoadToolIniRecords, ResetToolIniRecords and ReadLanguageChoice
// publish them when done, and code that changes a record by hand calls PublishToolIni().
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

namespace kadex {

class TIniFile;

// Section COM.
struct TIniCom {
    int32_t COMNr = 1;
    int32_t Baudrate = 1200;
    // A device path (/dev/ttyUSB0) chosen instead of the port number; empty when none.
    QString COMPort;
};

// Section CONFIG.
struct TIniConfig {
    uint8_t EinheitIndex = 0; // unit set 0..2
    uint8_t Tabsheet = 0;     // main-window tab active at exit
    uint8_t ZBAdrIndex = 0;   // 0 = PP, 1..8 = ZB1..ZB8
    // 1 = volume flow, 2 = pressure. Also without a settings file and for a value the file
    // cannot mean, the tool works as volume-flow application: 0 would take every value for a
    // pressure.
    uint8_t ReglerFkt = 1;
};

// Sections SPRACHWAHL and SPRACHE.
struct TSprachWahl {
    QString Sprache;     // language key
    QString SprachDatei; // language file name, relative to the program folder
    QString HilfeDatei;  // help document name, derived when the language is loaded
};

// Section PATH.
struct TPath {
    QString LogDatei;     // folder of the action log files
    QString DefaultDatei; // folder of the settings data files
    QString HistorieServer; // the shared history database (libpq words or URI, no password); empty: none
};

// One sensor preset (sections DRUCKSENSOR and VOLUMENSTROMSENSOR).
struct TIniPresetSensor {
    int32_t Pmin = 0;  // mV at 0 %
    int32_t Pmax = 0;  // mV at 100 %
    int32_t Pnom = 0;  // nominal value, device units
    int32_t Ptot = 0;  // creep suppression, device units
    int32_t Pverz = 0; // damping, ms
    int32_t Vtot = 0;  // dead zone, %
    bool operator==(const TIniPresetSensor&) const = default;
};

// One actuator preset (section ANTRIEB).
struct TIniPresetAntrieb {
    uint16_t Ymin = 0;          // control signal at 0 %, mV
    uint16_t Ymax = 0;          // control signal at 100 %, mV
    uint16_t YRmin = 0;         // position feedback at 0 %, mV
    uint16_t YRmax = 0;         // position feedback at 100 %, mV
    uint16_t LZAntrieb = 0;     // running time, s
    uint16_t StellwSignLin = 0; // 1 = linear, 0 = 6 V +/- 4 V
    bool operator==(const TIniPresetAntrieb&) const = default;
};

// Section BETRIEB: defaults of a fresh operating data record.
struct TBetrieb {
    int32_t VminPrz = 0; // 0.01 %
    int32_t VmidPrz = 0;
    int32_t VmaxPrz = 0;
    int32_t W1MinMV = 0;
    int32_t W1MaxMV = 0;
    int32_t U5MinMV = 0;
    int32_t U5MaxMV = 0;
    QString PositionText;
    bool operator==(const TBetrieb&) const = default;
};

// Section OEM: defaults of a fresh calibration record and the OEM identification text.
struct TIniOem {
    uint16_t Vnom = 0;
    uint16_t Dichte = 0; // thousandths of kg/m³
    int32_t Leitwert = 0;
    QString Password; // decimal text of the preset OEM password
    QString OEMText;
    bool operator==(const TIniOem&) const = default;
};

// The preset password as a number: the text read as a 64-bit decimal number, low 32 bits;
// 0 when the text is not a decimal number.
uint32_t OemPasswordValue(const QString& text);

// Section QV: defaults of a fresh controller-parameter record and the product texts.
struct TIniQV {
    float K = 0.0f;
    uint16_t BetrOn = 0;
    uint16_t BetrRun = 0;
    uint16_t T1 = 0; // ms
    uint16_t Tv = 0; // ms
    uint16_t Tn = 0; // ms
    uint16_t Adaptiv = 0;
    uint16_t KTa = 0;
    uint16_t SnrSuffix = 0;
    uint16_t SnrDevFam = 0;
    uint16_t SnrTestStation = 0;
    uint16_t ZBAdress = 0;
    uint16_t SensorIntern = 0;
    // Type texts a volume-flow and a pressure controller must carry; they hold without a
    // settings file too, or every controller would be marked as of the wrong type.
    QString FenwixText = QStringLiteral("Kadex");
    QString FenwixTextKPR = QStringLiteral("Kadex [KPR Mode]");
    bool operator==(const TIniQV&) const = default;
};

// Index into the DPK and DSK3 preset arrays.
enum SensorPresetSize { SensorPreset100 = 0, SensorPreset300 = 1, SensorPreset600 = 2 };

extern TIniCom IniCom;
extern TIniConfig IniConfig;
extern TSprachWahl SprachWahl;
extern TPath IniPath;
extern TIniPresetSensor IniPresetDPK[3];  // DPK100, DPK300, DPK600
extern TIniPresetSensor IniPresetDSK3[3]; // DSK3-100, DSK3-300, DSK3-600
extern TIniPresetSensor IniPresetVS;      // volume-flow sensor
extern TIniPresetAntrieb IniPresetHFX;    // fast-running actuator
extern TIniPresetAntrieb IniPresetRGT;    // standard actuator
extern TBetrieb IniBetrieb;
extern TIniOem IniOem;
extern TIniQV IniQV;

// Every settings record, as one snapshot.
struct TToolIni {
    TIniCom Com;
    TIniConfig Config;
    TSprachWahl SprachWahl;
    TPath Path;
    TIniPresetSensor PresetDPK[3];
    TIniPresetSensor PresetDSK3[3];
    TIniPresetSensor PresetVS;
    TIniPresetAntrieb PresetHFX;
    TIniPresetAntrieb PresetRGT;
    TBetrieb Betrieb;
    TIniOem Oem;
    TIniQV QV;
};

// The settings in force; never null. Any thread.
std::shared_ptr<const TToolIni> CurrentToolIni();
// Replaces the settings in force as a whole (null: the defaults). Any thread.
void SetToolIni(std::shared_ptr<const TToolIni> settings);
// Makes the GUI thread's working copy (the global records) the settings in force. GUI thread.
void PublishToolIni();

// All records as without a settings file: port 1 at 1200 baud, volume-flow function with the
// product type texts, everything else zero or empty.
void ResetToolIniRecords();

// Full path of the settings file below the per-user folder ("Fenwix/KadexTool.ini"); creates
// the folder. Empty when the per-user folder is unknown.
QString GetToolIniPath();
// The seed: the program's name with ".ini" beside the program, else the shipped KadexTool.ini.
// Empty when neither exists.
QString ToolIniSeedPath();
// What seeding found and did.
struct ToolIniSeeding {
    bool seeded = false; // a copy of the seed was made
    QString keptAs;      // an unreadable settings file was kept under this name
    QString error;       // why a copy that was due was not made
};
// A settings file that is not one: it cannot be read, is empty, holds bytes no text file holds
// (NUL and other control bytes besides tab, CR and LF), or has no section. False for a missing
// file.
bool ToolIniUnreadable(const QString& path);
// Copies the seed to GetToolIniPath() (mode 0600, written whole or not at all) when no settings
// file exists there, or when the one there is unreadable: that one is kept beside it under the
// name KadexTool.ini.unreadable-yyyyMMdd-HHmmss first. True when a copy was made.
bool SeedToolIniFrom(const QString& seedPath, ToolIniSeeding* report = nullptr);
bool SeedToolIni(ToolIniSeeding* report = nullptr);

// Fills every record from the file; without the file, ResetToolIniRecords() and false.
bool ReadToolIni(const QString& path);
// Re-reads only the language file name of the current Sprache; false when there is no file.
bool ReadLanguageChoice(const QString& path);
// Writes the user's choices into an existing file, keeping the rest of it, with WriteFileAtomic
// and mode 0600. False when the file is missing or cannot be read or written (the old file is
// then left as it was); error says why.
bool WriteToolIni(const QString& path, QString* error = nullptr);

// The same on an open file (for tests and the fuzz target).
void LoadToolIniRecords(const TIniFile& ini);
void StoreToolIniRecords(TIniFile& ini);

// A fixed key of the settings file with the text of its default.
struct ToolIniKey {
    QString section;
    QString key;
    QString defaultText;
    bool saved = false; // written back at exit
};
// Every fixed key in file order (the SPRACHE entry, whose key is the language, is not listed).
QList<ToolIniKey> ToolIniKeys();

// The default folders below the per-user folder; empty when that is unknown.
QString DefaultLogDir();      // .../Kadex_Logs
QString DefaultDataFileDir(); // .../Kadex_Defaults

} // namespace kadex
