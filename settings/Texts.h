#pragma once
// Text records that other parts read to build status lines and messages. They hold the German
// defaults until a language file replaces them.
//
// Threads: the texts in force are an immutable snapshot, CurrentTexts(), which any thread may
// read; the language loader builds new texts and swaps them in as a whole with SetTexts().
// The globals IniStatusText and IniMessageText are the GUI thread's working copy: only the
// GUI thread reads or writes them, and PublishTexts() makes them the snapshot in force.
#include <QString>

#include <memory>

namespace kadex {

struct TIniStatusText {
    QString Betrieb = QStringLiteral("Betrieb aktiv");
    QString Auto = QStringLiteral("Auto [Führungseingang W1]");
    QString Zu = QStringLiteral("Klappe schliesst");
    QString Auf = QStringLiteral("Klappe öffnet");
    QString SchnellZu = QStringLiteral("Klappe schliesst schnell");
    QString SchnellAuf = QStringLiteral("Klappe öffnet schnell");
    QString Vmin = QStringLiteral("Betriebsstufe V'min aktiv");
    QString Vmid = QStringLiteral("Betriebsstufe V'mid aktiv");
    QString Vmax = QStringLiteral("Betriebsstufe V'max aktiv");
    QString Vnom = QStringLiteral("regeln auf V´nom");
    QString Variabel = QStringLiteral("Variabler Betrieb V'min .. V'max");
    QString Stopped = QStringLiteral("Stopped");
    QString DataRead = QStringLiteral("Daten lesen");
    QString DataWrite = QStringLiteral("Daten schreiben");
    // The serial port went away while open (key PortLost).
    QString PortLost = QStringLiteral("Schnittstelle getrennt");
    // Why a port did not open (keys PortMissing, PortPermission, PortInUse, PortOther);
    // %GROUP% stands for the group that owns the device.
    QString PortMissing = QStringLiteral("Die Schnittstelle ist nicht vorhanden.");
    QString PortPermission = QStringLiteral("Keine Berechtigung: Der Benutzer muss Mitglied der Gruppe \"%GROUP%\" "
                                            "sein (danach neu anmelden).");
    QString PortInUse = QStringLiteral("Die Schnittstelle wird von einem anderen Programm benutzt.");
    QString PortOther = QStringLiteral("Die Schnittstelle meldet einen Fehler.");
    // A read or write chain that stopped (keys ReadFailed, WriteFailed; %1 = the record, keys
    // RecordBetrieb, RecordOEM, RecordQV). Shown in the status bar until the next action.
    QString ReadFailed = QStringLiteral("Lesen fehlgeschlagen: %1");
    QString WriteFailed = QStringLiteral("Setzen fehlgeschlagen: %1");
    QString RecordBetrieb = QStringLiteral("Betriebsdaten");
    QString RecordOEM = QStringLiteral("Kalibrierung");
    QString RecordQV = QStringLiteral("Reglerparameter");
    // The tool's settings file (keys SettingsNotSaved, SettingsReplaced): written at the end but
    // not saved (%1 = why), and an unreadable one replaced by the seed (%1 = where it was kept).
    QString SettingsNotSaved = QStringLiteral("Die Einstellungen wurden nicht gespeichert: %1");
    QString SettingsReplaced = QStringLiteral("Die Einstellungsdatei war unlesbar und wurde neu angelegt; "
                                              "die alte Datei liegt unter %1");
    // The port choice when the stored port is missing (key PortChoice; %PORT% = stored port).
    QString PortChoice = QStringLiteral("Die Schnittstelle %PORT% ist nicht vorhanden.\nSchnittstelle wählen:");

    // The status text of a device mode code; empty for codes without one.
    QString ForMode(int mode) const;
};

struct TIniMessageText {
    QString MsgText[19] = {
        QString(),
        QStringLiteral("Falsche Dateiversion:"),
        QStringLiteral("statt"),
        QStringLiteral("Datei kann nicht geöffnet werden"),
        QStringLiteral("Unbekannter Dateityp!"),
        QStringLiteral("Datei"),
        QStringLiteral("überschreiben?"),
        QStringLiteral("Änderungen speichern nach"),
        QStringLiteral("Serien-Nummer ungültig!"),
        QStringLiteral("Adressierung erfolgreich durchgeführt"),
        QStringLiteral("Adressierung fehlgeschlagen. Bitte Vorgang wiederholen!"),
        QStringLiteral("Fehler: Druck <= 0"),
        QStringLiteral("Fehler: Druck nicht stabil"),
        QStringLiteral("Verzeichnis kann nicht erstellt werden"),
        QStringLiteral("speichern?"),
        QStringLiteral("Kann COM nicht öffnen!"),
        QStringLiteral("Druckmessung startet in"),
        QStringLiteral("Datei kann nicht erstellt werden"),
        QStringLiteral("Error"),
    };
    const QString& Msg(int n) const { return MsgText[(n >= 1 && n <= 18) ? n : 0]; }
};

// Main window texts (section MAIN_FORM).
struct TIniText {
    QString FormTitle = QStringLiteral("Kadex Tool");
    QString DefaultFileName = QStringLiteral("Kadex.vav");
    QString SettingsFileName = QStringLiteral("Kadex Daten.txt");
};

// Headings of the settings printout (section EINSTELLDATEN_TEXT). KadexRelease ends in a blank.
struct TIniEinstDatText {
    QString Header = QStringLiteral("Fenwix VAV");
    QString Title = QStringLiteral("Kadex Systemlösung: REGLEREINSTELLUNG");
    QString GerateInfo = QStringLiteral("Gräte-Information");
    QString SerNr = QStringLiteral("Serien Nummer");
    QString ZBAddr = QStringLiteral("ZB Adresse");
    QString Reglereinst = QStringLiteral("Reglereinstellung");
    QString KadexInfo = QStringLiteral("Kadex Informationen");
    QString KadexRelease = QStringLiteral("Kadex Tool Release ");
};

// Column headings of the action log and the action names not taken from a button (section
// LOGFILE).
struct TIniLogFileText {
    QString Date = QStringLiteral("Date");
    QString Time = QStringLiteral("Time");
    QString SerNo = QStringLiteral("Serial number");
    QString OEM = QStringLiteral("OEM String");
    QString Position = QStringLiteral("Position");
    QString Action = QStringLiteral("Action");
    QString Volumentrom = QStringLiteral("Volumetric flow [m³/h]");
    QString Leitwert = QStringLiteral("Leitwert");
    QString Druck = QStringLiteral("Pressure value [Pa]");
    QString PosKlappe = QStringLiteral("Damper position [%]");
    QString Dichte = QStringLiteral("Density");
    QString Hoehe = QStringLiteral("Höhe");
    QString Vnom = QStringLiteral("V'nom [m³/h]");
    QString Vmax = QStringLiteral("V'max [m³/h]");
    QString Vmin = QStringLiteral("V'min [m³/h]");
    QString Vmid = QStringLiteral("V'mid [m³/h]");
    QString ZBAdr = QStringLiteral("ZB-Adress");
    QString Mode = QStringLiteral("Mode [V]");
    QString W1 = QStringLiteral("Setpoint w [V]");
    QString U5 = QStringLiteral("Volumetric flow signal U5 [V]");
    QString Alarms = QStringLiteral("Active alarms");
    QString Typ = QStringLiteral("Controller Type");
    QString Firmware = QStringLiteral("Firmware");
    QString ConfTableID = QStringLiteral("Config. Table ID");
    QString Sensor = QStringLiteral("Fühler");
    QString SensorTyp = QStringLiteral("Fühlertyp");
    QString Antrieb = QStringLiteral("Actuator");
    QString UmgebungEinstellen = QStringLiteral("Umgebung einstellen");
    QString ZBAdresse = QStringLiteral("ZB-Adresse");
};

// Captions of buttons that several dialogs share, and the main window's buttons (section
// SCHALTFLAECHEN).
struct TIniButtonText {
    QString ButtonSenden = QStringLiteral("Senden");
    QString ButtonEnde = QStringLiteral("Ende");
    QString ButtonOk = QStringLiteral("Ok");
    QString ButtonAbort = QStringLiteral("Abbruch");
    QString ButtonUebernehmen = QStringLiteral("Übernehmen");
    QString ButtonBerechnen = QStringLiteral("Berechnen");
    QString ButtonAnpassen = QStringLiteral("Anpassen");
    QString ButtonDruckmessung = QStringLiteral("mit Luft");
};

// Every text record, as one snapshot.
struct TTexts {
    TIniStatusText Status;
    TIniMessageText Messages;
    TIniText Text;
    TIniEinstDatText EinstDat;
    TIniLogFileText LogFile;
    TIniButtonText Buttons;
};

// The texts in force; never null. Any thread.
std::shared_ptr<const TTexts> CurrentTexts();
// Replaces the texts in force as a whole (null: the defaults). Any thread; readers that hold
// the old snapshot keep it until they let go.
void SetTexts(std::shared_ptr<const TTexts> texts);
// Makes the GUI thread's working copy below the texts in force. GUI thread.
void PublishTexts();

// The GUI thread's working copy (see above); worker threads read CurrentTexts().
extern TIniStatusText IniStatusText;
extern TIniMessageText IniMessageText;
extern TIniText IniText;
extern TIniEinstDatText IniEinstDatText;
extern TIniLogFileText IniLogFileText;
extern TIniButtonText IniButtonText;

} // namespace kadex
