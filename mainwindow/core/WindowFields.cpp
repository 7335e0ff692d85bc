#include "mainwindow/core/WindowFields.h"

namespace kadex {

std::vector<FieldDecl> mainWindowFields()
{
    using K = Kind;
    return {
        // Identification pane: filled by the identification, greyed while nothing answers.
        F("LabelTyp", K::Label, "Typ").disabled(),
        F("EditFenwix", K::Edit).readOnly(),
        F("LabelOEM", K::Label, "OEM").disabled(),
        F("EditOEM", K::Edit).readOnly(),
        F("LabelPosition", K::Label, "Position").disabled(),
        F("EditPosition", K::Edit).readOnly(),
        F("LabelSerNr", K::Label, "Ser.Nr.").disabled(),
        F("EditSerNr", K::Edit).readOnly(),
        F("LabelZBAdr", K::Label, "ZB Adr.").disabled(),
        F("EditZBAdr", K::Edit).readOnly(),

        // Operating settings (Service and OEM tabs).
        F("EditVnomM3", K::Edit, "0"),
        F("EditVnomM3Anz", K::Edit, "0").readOnly(),
        F("EditVmaxM3", K::Edit, "0"),
        F("EditVmaxPrz", K::Edit, "100.00"),
        F("EditVmidPrz", K::Edit, "50.00"),
        F("EditVminPrz", K::Edit, "0.00"),
        F("EditPositionInput", K::Edit),

        // Experte tab: input and output ranges, system information.
        F("EditW1Min", K::Edit, "0.0"),
        F("EditW1Max", K::Edit, "10.0"),
        F("EditU5Min", K::Edit, "0.0"),
        F("EditU5Max", K::Edit, "10.0"),
        F("EditConfTableID", K::Edit).readOnly(),
        F("EditFirmware", K::Edit).readOnly(),

        // Operation panel: the "Betrieb" button and the ten choices.
        F("PanelBetrieb", K::Panel),
        F("SpeedButtonBetrieb", K::Toggle, "Betrieb"),
        F("GroupBoxBetrieb", K::Group, "Betrieb"),
        F("RadioBetrAuto", K::Radio, "Auto").inGroup(kGroupBetrieb).checked(),
        F("RadioBetrZu", K::Radio, "Zu").inGroup(kGroupBetrieb),
        F("RadioBetrAuf", K::Radio, "Auf").inGroup(kGroupBetrieb),
        F("RadioBetrSchnellZu", K::Radio, "Schnell zu").inGroup(kGroupBetrieb),
        F("RadioBetrSchnellAuf", K::Radio, "Schnell auf").inGroup(kGroupBetrieb),
        F("RadioBetrVMin", K::Radio, "V'min").inGroup(kGroupBetrieb),
        F("RadioBetrVMid", K::Radio, "V'mid").inGroup(kGroupBetrieb),
        F("RadioBetrVMax", K::Radio, "V'max").inGroup(kGroupBetrieb),
        F("RadioBetrVNom", K::Radio, "V'nom").inGroup(kGroupBetrieb),
        F("RadioBetrVariabel", K::Radio, "Variabel").inGroup(kGroupBetrieb),

        // Live values of the operation panel; the setpoint % is editable only in "Variabel".
        F("LabelBetrSollw", K::Label, "Sollwert"),
        F("EditBetrSollwPrz", K::Edit, "0").readOnly(),
        F("LabelBetrSollwPrzDim", K::Label, "%"),
        F("EditBetrSollwM3", K::Edit, "0").readOnly(),
        F("LabelBetrIstw", K::Label, "Istwert"),
        F("EditBetrIstwPrz", K::Edit, "0").readOnly(),
        F("LabelBetrIstwPrzDim", K::Label, "%"),
        F("EditBetrIstwM3", K::Edit, "0").readOnly(),
        F("LabelBetrRSign", K::Label, "Regelsignal"),
        F("EditBetrRYSignPrz", K::Edit, "0.0").readOnly(),
        F("LabelBetrRSignPrzDim", K::Label, "%"),
        F("LabelBetrMotRueck", K::Label, "Klappenstellung"),
        F("EditBetrMotRueckPrz", K::Edit, "0.0").readOnly(),
        F("LabelBetrMotRueckPrzDim", K::Label, "%"),

        // Signals, sensor and alarms.
        F("GroupBoxParameter", K::Group),
        F("LabelSignW1", K::Label, "Führungssignal w"),
        F("EditSignW1", K::Edit, "0.0").readOnly(),
        F("LabelSignW1Dim", K::Label, "V"),
        F("LabelSignU5", K::Label, "Istwertsignal U5"),
        F("EditSignU5", K::Edit, "0.0").readOnly(),
        F("LabelSignU5Dim", K::Label, "V"),
        F("LabelSensorSign", K::Label, "Fühlersignal"),
        F("EditSensorSign", K::Edit, "0.00").readOnly(),
        F("LabelSensorSignDim", K::Label, "V"),
        F("LabelSensorValue", K::Label, "Fühlerwert"),
        F("EditSensorValue", K::Edit, "0").readOnly(),
        F("LabelAlarm", K::Label, "Alarme"),
        F("ListBoxAlarme", K::List),
        F("ButtonResetAlarm", K::Button, "Löschen").disabled(),

        // Status fields beside the tabs and in the status bar.
        F("PanelProgStatus", K::Panel),
        F("PanelBetrStatus", K::Panel),
        F("PanelSecOnline", K::Panel),
        F(kStatusPort, K::StatusField),
        F(kStatusFunction, K::StatusField),
        F(kStatusMessage, K::StatusField),

        // Toolbar: bus address selector; the menu command the firmware read shows or hides.
        F("ComboBoxZBAdress", K::Combo)
            .items({"PP", "ZB1", "ZB2", "ZB3", "ZB4", "ZB5", "ZB6", "ZB7", "ZB8"}, 0),
        F("ExtrasRegSetting", K::Action, "&Regler Funktion einstellen..."),
        F("ToolButtonDateiMenu", K::Button, "&Datei"),
        F("ToolButtonExtrasMenu", K::Button, "&Extras"),
        F("ToolButtonHilfeMenu", K::Button, "&?"),
        F("ToolButtonRegFkt", K::Button),

        // Menu commands.
        F("DateiOeffnen", K::Action, "&öffnen    (Defaultdatei)"),
        F("DateiSpeichern", K::Action, "&speichern (Defaultdatei)"),
        F("DateiSpeichernUnter", K::Action, "Speichern &unter..."),
        F("DateiDrucken", K::Action, "&Drucken..."),
        F("DateiDruckenInDatei", K::Action, "D&rucken in Datei..."),
        F("DateiBeenden", K::Action, "&Beenden"),
        F("ExtrasZBAdress", K::Action, "ZB-&Adresse..."),
        F("ExtrasOptionen", K::Action, "&Optionen..."),
        F("ExtrasTransferAnzeige", K::Action, "&Transfer-Anzeige"),
        F("ExtrasZBCommand", K::Action, "ZB-&Kommando..."),
        F("HilfeHilfePdf", K::Action, "&Hilfe"),
        F("HilfeInfo", K::Action, "Inf&o..."),

        // Tabs and the buttons beside them.
        F("PageControl1", K::Pages).index(1),
        F("TabSheetKonfigOEM", K::Tab, "OEM (Kalibrierung)"),
        F("TabSheetExperte", K::Tab, "Experte"),
        F("TabSheetService", K::Tab, "Service"),
        F("TabSheetKonfigQV", K::Tab, "QV"),
        F("TabSheetTransfer", K::Tab, "Transfer").hidden(),
        F("ImageEqual", K::Label),
        F("ImageNotEqual", K::Label),
        F("ButtonLesen", K::Button, "Lesen").disabled(),
        F("ButtonSetzen", K::Button, "Setzen").disabled(),
        F("PanelTest", K::Panel).hidden(),
        F("ButtonTest", K::Button, "Test").disabled(),
        F("ButtonDefaultLaden", K::Button, "Default laden").disabled(),
        F("LabelOEMHinweisVS", K::Label, "Strg+S sendet fokussierten Wert").hidden(),
        F("LabelQVHinweis", K::Label, "Strg+S sendet fokusierten Wert").hidden(),

        // Experte system information and the conductance on the OEM tab.
        F("EditSensor", K::Edit).readOnly(),
        F("EditAntrieb", K::Edit).readOnly(),
        F("EditFunktion", K::Edit).readOnly(),
        F("LabelSensorTyp", K::Label),
        F("LabelHoehe", K::Label, "Höhe"),
        F("EditHoeheAnz", K::Edit).readOnly(),
        F("LabelHoeheAnzDim", K::Label, "m"),
        F("LabelDichte", K::Label, "Dichte"),
        F("EditDichte", K::Edit).readOnly(),
        F("LabelDichteDim", K::Label, "kg/m³"),
        F("LabelLeitwert", K::Label, "Leitwert"),
        F("EditLeitwert", K::Edit).readOnly(),
        F("GroupBoxVAVLeitwert", K::Group, "Leitwert"),
        F("LabelSensorValueDim", K::Label, "Pa"),
        F("ButtonCalculateDichte", K::Button, "&Einstellen").disabled(),
        F("EditVAVLwAktiv", K::Edit).readOnly(),
        F("EditVAVLwErmittelt", K::Edit),
        F("ButtonCalculateLW", K::Button, "&Berechnen").disabled(),

        // Transfer tab.
        F("MemoCOMTransf", K::Memo).readOnly(),
        F("ButtonClear", K::Button, "Löschen"),

        // Conductance measurement: the start button follows the connection.
        F("ButtonDruckmessung", K::Button, "mit Luft").disabled(),

        // Sensor type on the OEM tab (the firmware read restricts it).
        F("RadioButtonSensTypDruck", K::Radio, "DPK-Drucksensor").inGroup(kGroupSensTyp).checked(),
        F("RadioButtonSensTypVolumenstr", K::Radio, "Volumensignal (US)").inGroup(kGroupSensTyp),
        F("RadioButtonSensTypDSK3Druck", K::Radio, "DSK3-Drucksensor").inGroup(kGroupSensTyp),
    };
}

} // namespace kadex
