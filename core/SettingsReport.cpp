#include "core/SettingsReport.h"

#include "common/AtomicFile.h"
#include "common/DateFormat.h"
#include "common/Helpers.h"
#include "common/TextFile.h"
#include "device/model/WindowFields.h"
#include "core/ValueCoupling.h"

namespace kadex {

namespace {

QString cap(const WindowModel& m, FieldId f) { return m.caption(f).remove(QLatin1Char('&')); }
QString pad(const QString& t, int w) { return PadRight(t, QStringLiteral(" "), w); }

} // namespace

QStringList BuildSettingsReport(const WindowModel& m, const TOEMData& oem, int reglerFkt, int unitIndex,
                                const TIniEinstDatText& t, const QDateTime& now, const TReportLabels& l)
{
    const bool volumeFlow = reglerFkt == 1;
    const TOEM_Data& hw = oem.OEM_Data_HW;
    const bool dpk = m.checked(fld::RadioButtonSensTypDruck);
    const bool dsk3 = m.checked(fld::RadioButtonSensTypDSK3Druck);
    QStringList r{QString(), QString(), QString()};
    r << pad(t.Header, 50) + DateText(now.date()) + QStringLiteral(" / ") + TimeText(now.time());
    r << QString() << t.Title << QString(t.Title.size(), QLatin1Char('-')) << QString() << t.GerateInfo;
    r << pad(QStringLiteral("- FENWIX ") + cap(m, fld::LabelTyp), 30) + m.text(fld::EditFenwix);
    r << pad(QStringLiteral("- ") + cap(m, fld::LabelOEM), 30) + m.text(fld::EditOEM);
    r << pad(QStringLiteral("- ") + cap(m, fld::LabelPosition), 30) + m.text(fld::EditPosition);
    r << pad(QStringLiteral("- ") + t.SerNr, 30) + m.text(fld::EditSerNr);
    r << pad(QStringLiteral("- ") + t.ZBAddr, 30) + m.text(fld::EditZBAdr);
    r << pad(QStringLiteral("- ") + l.Firmware, 30) + m.text(fld::EditFirmware);
    r << pad(QStringLiteral("- ") + l.ConfTableID, 30) + m.text(fld::EditConfTableID);

    QString sensor = pad(l.Sensor + QStringLiteral(" (") + cap(m, fld::LabelSensorTyp) + QLatin1Char(')'), 30) +
                     m.text(fld::EditSensor);
    if (hw.SensorTyp == SENSOR_VS || oem.IsSensorVariabel())
        sensor += QStringLiteral(" (%1/%2/%3/%4/%5/%6)").arg(hw.Pmin).arg(hw.Pmax).arg(hw.Pnom).arg(hw.Ptot).arg(hw.Pverz).arg(hw.Vtot);
    r << sensor;
    QString actuator = pad(l.Antrieb, 30) + m.text(fld::EditAntrieb);
    if (oem.IsAntriebVariabel())
        actuator += QStringLiteral(" (%1/%2/%3/%4/%5/%6)")
                        .arg(hw.Ymin)
                        .arg(hw.Ymax)
                        .arg(hw.YRmin)
                        .arg(hw.YRmax)
                        .arg(hw.StellwSignLin == 1 ? cap(m, fld::RadioButtonVAVYLinear) : cap(m, fld::RadioButtonVAVY2_10V))
                        .arg(hw.tLZAntrieb);
    r << actuator << QString() << t.Reglereinst;
    const QString none = QStringLiteral("--");
    r << pad(l.Funktion, 30) + m.text(fld::EditFunktion);
    r << pad(QStringLiteral("- ") + cap(m, fld::LabelLeitwert), 30) + (volumeFlow ? m.text(fld::EditLeitwert) : none);
    r << pad(QStringLiteral("- ") + cap(m, fld::LabelDichte), 30) +
             (volumeFlow && (dpk || dsk3) ? m.text(fld::EditDichte) : none);
    r << pad(QStringLiteral("- ") + l.Hoehe, 30) + (dsk3 ? m.text(fld::EditHoehe) : none);
    QString mode;
    for (FieldId f : {fld::RadioButtonMode_W1_2_10V, fld::RadioButtonMode_W1_0_10V, fld::RadioButtonMode_W1})
        if (m.checked(f))
            mode = cap(m, f);
    r << pad(QStringLiteral("- ") + l.Mode, 30) + mode;
    r << QStringLiteral("- ") + l.Einstellungen;
    const QString unit = volumeFlow ? coupling::FlowUnit(unitIndex) : coupling::PressureUnit(unitIndex);
    const auto flow = [&](const QString& label, FieldId value) {
        r << pad(QStringLiteral("     - ") + label, 27) + PadLeft(m.text(value), QStringLiteral(" "), 6) +
                 QLatin1Char(' ') + unit;
    };
    flow(cap(m, fld::LabelVnomM3Anz), fld::EditVnomM3Anz);
    flow(cap(m, fld::LabelVmax), fld::EditVmaxM3);
    if (volumeFlow)
        flow(l.Vmid, fld::EditVmidM3);
    flow(cap(m, fld::LabelVmin), fld::EditVminM3);
    r << QString() << t.KadexInfo;
    const QStringList alarms = m.items(fld::ListBoxAlarme);
    if (alarms.isEmpty()) {
        r << pad(QStringLiteral("- ") + cap(m, fld::LabelAlarm), 30) + QLatin1Char('-');
    } else {
        r << pad(QStringLiteral("- ") + cap(m, fld::LabelAlarm), 30);
        for (const QString& a : alarms)
            r << QStringLiteral("     ") + a;
    }
    r << QString() << t.KadexRelease + QStringLiteral("Version 2.11");
    for (QString& line : r)
        line.prepend(QStringLiteral("      "));
    return r;
}

QString SaveSettingsReport(const QString& path, const QStringList& lines)
{
    QByteArray data;
    for (const QString& l : lines) {
        data += ToCp1252(l);
        data += "\r\n";
    }
    QString why;
    return WriteFileAtomic(path, data, -1, &why) ? QString() : why;
}

} // namespace kadex
