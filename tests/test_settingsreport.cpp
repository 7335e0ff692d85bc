// The settings printout of a simulated controller against the layout written out by hand.
#include "QtPrinters.h"
#include "common/DateFormat.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "core/SettingsReport.h"
#include "settings/IniFile.h"
#include "settings/ToolIni.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace kadex;

namespace {

QString pad(const QString& s, int w) { return s.leftJustified(w, QLatin1Char(' ')); }

} // namespace

TEST(SettingsReport, LayoutOfASimulatedController)
{
    LoadToolIniRecords(TIniFile());
    PublishToolIni();
    QTemporaryDir dir;
    auto bus = std::make_shared<sim::SimBus>(sim::BusOptions::WithControllers(1));
    WindowModel m(mainWindowFields());
    TMainCore core(m, std::make_unique<sim::SimTransport>(bus));
    core.SetPollPeriodMs(100000);
    core.ActionLog.SetFolder(dir.path());
    core.Start();
    core.FormCreate();
    std::atomic<bool> ok{false};
    core.Flows.Post("t", [&] { ok = core.COMVerbinden() && core.ButtonLesenClick(); });
    ASSERT_TRUE(core.Flows.WaitIdle(60000));
    ASSERT_TRUE(ok.load());
    m.setItems(fld::ListBoxAlarme, {"Alarm A", "Alarm B"});
    const QDateTime when(QDate(2025, 3, 4), QTime(8, 5, 6));

    struct Case {
        const char* name;
        bool variableSensor;
    } cases[] = {{"preset sensor", false}, {"damping 40", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.variableSensor) {
            // Written, so the device copy differs from every preset.
            m.setValue(fld::SpinEditVAVPverz, 40, Origin::User);
            core.Flows.Post("t", [&] { ok = core.ButtonSetzenClick(); });
            ASSERT_TRUE(core.Flows.WaitIdle(60000));
            ASSERT_TRUE(ok.load());
        }
        const TOEM_Data& hw = core.OEMData.OEM_Data_HW;
        const QString unit = QStringLiteral("m³/h");
        QStringList e{"", "", ""};
        e << pad("Fenwix VAV", 50) + "04.03.2025 / " + TimeText(when.time()) << ""
          << "Kadex Systemlösung: REGLEREINSTELLUNG" << QString(37, '-') << "" << "Gräte-Information"
          << pad("- FENWIX Typ", 30) + m.text(fld::EditFenwix) << pad("- OEM", 30) + m.text(fld::EditOEM)
          << pad("- Position", 30) + m.text(fld::EditPosition) << pad("- Serien Nummer", 30) + m.text(fld::EditSerNr)
          << pad("- ZB Adresse", 30) + m.text(fld::EditZBAdr) << pad("- Firmware", 30) + m.text(fld::EditFirmware)
          << pad("- Conf.Table-ID", 30) + m.text(fld::EditConfTableID);
        QString sensor = pad("- Druckfühler (" + m.caption(fld::LabelSensorTyp) + ")", 30) + m.text(fld::EditSensor);
        if (c.variableSensor)
            sensor += QStringLiteral(" (%1/%2/%3/%4/40/%5)").arg(hw.Pmin).arg(hw.Pmax).arg(hw.Pnom).arg(hw.Ptot).arg(hw.Vtot);
        e << sensor << pad("- Antrieb", 30) + m.text(fld::EditAntrieb) << "" << "Reglereinstellung"
          << pad("- Funktion", 30) + m.text(fld::EditFunktion) << pad("- Leitwert", 30) + m.text(fld::EditLeitwert)
          << pad("- Dichte", 30) + m.text(fld::EditDichte) << pad("- Höhe", 30) + "--"
          << pad("- Mode", 30) + "0 .. 10 V" << "- Einstellungen"
          << pad("     - V'nom", 27) + m.text(fld::EditVnomM3Anz).rightJustified(6) + " " + unit
          << pad("     - V'max", 27) + m.text(fld::EditVmaxM3).rightJustified(6) + " " + unit
          << pad("     - V'mid", 27) + m.text(fld::EditVmidM3).rightJustified(6) + " " + unit
          << pad("     - V'min", 27) + m.text(fld::EditVminM3).rightJustified(6) + " " + unit << ""
          << "Kadex Informationen" << pad("- Alarme", 30) << "     Alarm A" << "     Alarm B" << ""
          << "Kadex Tool Release Version 2.11";
        for (QString& l : e)
            l.prepend("      ");
        const QStringList got = BuildSettingsReport(m, core.OEMData, 1, 0, TIniEinstDatText{}, when);
        ASSERT_EQ(got.size(), e.size());
        for (qsizetype i = 0; i < e.size(); ++i)
            EXPECT_EQ(got[i], e[i]) << "line " << i + 1;
        EXPECT_FALSE(m.text(fld::EditSerNr).isEmpty());
    }
    core.Close();
}
