#include "core/DefaultFile.h"

#include "common/Helpers.h"
#include "common/Units.h"
#include "core/RegForm.h"
#include "device/model/WindowFields.h"
#include "core/ValueCoupling.h"
#include "core/ValueEntry.h"
#include "common/AtomicFile.h"
#include "settings/Texts.h"
#include "settings/Trace.h"

#include <QFile>
#include <QFileInfo>

namespace kadex {

namespace {

QString caption(const WindowModel& m, FieldId f) { return m.caption(f).remove(QLatin1Char('&')); }

QString checkedCaption(const WindowModel& m, std::initializer_list<FieldId> group)
{
    for (FieldId f : group)
        if (m.checked(f))
            return m.caption(f);
    return {};
}

QString spin(const WindowModel& m, FieldId f) { return QString::number(static_cast<qint64>(m.value(f))); }

// Everything up to and including the first TAB is dropped; the dropped column is returned.
QString take(QString& line)
{
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    if (tab < 0) {
        QString all = line;
        line.clear();
        return all;
    }
    QString first = line.left(tab);
    line.remove(0, tab + 1);
    return first;
}

QString bracketed(const QString& line)
{
    const QString first = line.section(QLatin1Char('\t'), 0, 0);
    const qsizetype open = first.indexOf(QLatin1Char('['));
    const qsizetype close = first.indexOf(QLatin1Char(']'), open + 1);
    return open < 0 || close < 0 ? QString() : first.mid(open + 1, close - open - 1);
}

constexpr FieldId kSensorChoices[] = {fld::RadioButtonDPK100, fld::RadioButtonDPK300, fld::RadioButtonDPK600,
                                      fld::RadioButtonDPKVariabel};

} // namespace

TDefaultFile::TDefaultFile(TDeviceContext& ctx, TOEMData& oem, TRegForm& regFkt, TValueEntry& entry)
    : ctx_(ctx), oem_(oem), regFkt_(regFkt), entry_(entry), m_(ctx.model)
{
}

void TDefaultFile::BuildDefaultLines(const QDate& today)
{
    TraceMethodScope scope(TraceMain, u"TOEMData", u"BuildDefaultLines");
    const int unit = ctx_.UnitIndex.load();
    const bool volumeFlow = m_.checked(fld::RadioButtonVolumenstrom);
    const QString fnUnit = volumeFlow ? coupling::FlowUnit(unit) : coupling::PressureUnit(unit);
    const QString sensUnit = m_.checked(fld::RadioButtonSensTypVolumenstr) ? coupling::FlowUnit(unit)
                                                                            : coupling::PressureUnit(unit);
    const auto withUnit = [](const QString& label, const QString& u) { return label + QStringLiteral(" [") + u + QLatin1Char(']'); };
    const QString mV = QStringLiteral("mV");
    const QStringList header{
        QStringLiteral("Status ") + today.toString(QStringLiteral("dd-MM-yyyy")),
        QStringLiteral("Fühler"),
        QStringLiteral("Antrieb"),
        QStringLiteral("Mode [") + caption(m_, fld::RadioButtonMode_W1_2_10V_OEM) + QStringLiteral(", ") +
            caption(m_, fld::RadioButtonMode_W1_0_10V_OEM) + QStringLiteral(", ") +
            caption(m_, fld::RadioButtonDPKVariabel) + QLatin1Char(']'),
        withUnit(QStringLiteral("Nom"), fnUnit),
        withUnit(QStringLiteral("Max"), fnUnit),
        withUnit(QStringLiteral("Min"), fnUnit),
        withUnit(QStringLiteral("Mid"), volumeFlow ? QStringLiteral("%") : QStringLiteral("--")),
        QStringLiteral("Leitwert"),
        QStringLiteral("Dichte"),
        QStringLiteral("OEM"),
        QStringLiteral("Position"),
        QStringLiteral("W1 Start[mV]"),
        QStringLiteral("W1 Stop[mV]"),
        QStringLiteral("U5 Start[mV]"),
        QStringLiteral("U5 Stop[mV]"),
        withUnit(caption(m_, fld::LabelVAVPmin), mV),
        withUnit(caption(m_, fld::LabelVAVPmax), mV),
        withUnit(caption(m_, fld::LabelVAVPnom), sensUnit),
        withUnit(caption(m_, fld::LabelVAVPtot), sensUnit),
        withUnit(caption(m_, fld::LabelVAVPverz), QStringLiteral("ms")),
        withUnit(caption(m_, fld::LabelVAVVtot), QStringLiteral("%")),
        withUnit(caption(m_, fld::LabelVAVYmin), mV),
        withUnit(caption(m_, fld::LabelVAVYmax), mV),
        withUnit(caption(m_, fld::LabelVAVYRmin), mV),
        withUnit(caption(m_, fld::LabelVAVYRmax), mV),
        QStringLiteral("Antrieb Typ [1: ") + caption(m_, fld::RadioButtonVAVYLinear) + QStringLiteral(", 0: ") +
            caption(m_, fld::RadioButtonVAVY2_10V) + QLatin1Char(']'),
        QStringLiteral("Antrieb Laufzeit [Sek.]"),
        QStringLiteral("Passwort"),
        QStringLiteral("Höhe über Meeresspiegel"),
        QStringLiteral("Mittlere Medium Temperatur"),
        QStringLiteral("Feuchte des Mediums"),
        QStringLiteral("Funktion"),
        QStringLiteral("Fühlertyp"),
    };
    QString sensor = checkedCaption(m_, {kSensorChoices[0], kSensorChoices[1], kSensorChoices[2], kSensorChoices[3]});
    if (m_.checked(fld::RadioButtonSensTypDSK3Druck) && sensor.startsWith(QStringLiteral("DPK-")))
        sensor.replace(0, 3, QStringLiteral("DSK3"));
    const QStringList values{
        QString(),
        sensor,
        checkedCaption(m_, {fld::RadioButtonAntr_HFX_ST, fld::RadioButtonAntr_RGT, fld::RadioButtonAntr_Variabel}),
        checkedCaption(m_, {fld::RadioButtonMode_W1_2_10V_OEM, fld::RadioButtonMode_W1_0_10V_OEM, fld::RadioButtonMode_W1_OEM}),
        m_.text(fld::EditVnomM3),
        m_.text(fld::EditVmaxM3_OEM),
        m_.text(fld::EditVminM3_OEM),
        m_.text(fld::EditVmidPrz),
        m_.text(fld::EditVAVLwErmittelt),
        m_.text(fld::EditVAVDichte),
        m_.text(fld::EditOEMInputOEM),
        m_.text(fld::EditPositionInput), // the position text the operating record writes
        m_.text(fld::EditW1Min),
        m_.text(fld::EditW1Max),
        m_.text(fld::EditU5Min),
        m_.text(fld::EditU5Max),
        spin(m_, fld::SpinEditVAVPmin),
        spin(m_, fld::SpinEditVAVPmax),
        spin(m_, fld::SpinEditVAVPnom),
        spin(m_, fld::SpinEditVAVPtot),
        spin(m_, fld::SpinEditVAVPverz),
        spin(m_, fld::SpinEditVAVVtot),
        spin(m_, fld::SpinEditVAVYmin),
        spin(m_, fld::SpinEditVAVYmax),
        spin(m_, fld::SpinEditVAVYRmin),
        spin(m_, fld::SpinEditVAVYRmax),
        m_.checked(fld::RadioButtonVAVYLinear) ? QStringLiteral("1") : QStringLiteral("0"),
        spin(m_, fld::SpinEditLZAntrieb),
        m_.text(fld::EditPasswordInput),
        m_.text(fld::EditHoehe),
        m_.text(fld::EditTemp),
        m_.text(fld::EditFeuchte),
        checkedCaption(m_, {fld::RadioButtonVolumenstrom, fld::RadioButtonDruckanwendung}),
        m_.checked(fld::RadioButtonSensTypVolumenstr) ? QStringLiteral("1") : QStringLiteral("2"),
    };
    SetDefaultLines(header.join(QLatin1Char('\t')), values.join(QLatin1Char('\t')));
}

void TDefaultFile::SetDefaultLines(const QString& header, const QString& values)
{
    oem_.DefaultHeader = header;
    oem_.DefaultValues = values;
    oem_.DefaultLoaded = true;
}

void TDefaultFile::ApplyDefaultLines()
{
    if (!oem_.DefaultLoaded)
        return;
    TraceMethodScope scope(TraceMain, u"TOEMData", u"ApplyDefaultLines");
    QString h = oem_.DefaultHeader;
    QString d = oem_.DefaultValues;
    take(h);
    take(d);
    const QString s = d;
    for (int i = 0; i < 3; ++i) {
        take(h);
        take(d);
    }
    const QString unitText = bracketed(h);
    for (int i = 0; i < 3; ++i)
        take(h);
    const bool volumeFlow = bracketed(h) == QLatin1String("%");
    m_.setChecked(volumeFlow ? fld::RadioButtonVolumenstrom : fld::RadioButtonDruckanwendung, true);
    regFkt_.SetRegForm();

    int unit = 0;
    for (int i = 0; i < UnitSetCount; ++i)
        if (unitText == (volumeFlow ? coupling::FlowUnit(i) : coupling::PressureUnit(i))) {
            unit = i;
            break;
        }
    m_.setItemIndex(fld::ComboBoxEinheit, unit);
    ctx_.UnitIndex = unit;
    entry_.ShowUnits();

    const auto put = [&](FieldId f) {
        m_.setText(f, take(d), Origin::User);
        m_.leave(f);
    };
    for (FieldId f : {fld::EditVnomM3, fld::EditVmaxM3_OEM, fld::EditVminM3_OEM, fld::EditVmidPrz, fld::EditVAVLwErmittelt,
                      fld::EditVAVDichte, fld::EditOEMInputOEM, fld::EditPositionInput, fld::EditW1Min, fld::EditW1Max,
                      fld::EditU5Min, fld::EditU5Max})
        put(f);
    for (FieldId f : {fld::SpinEditVAVPmin, fld::SpinEditVAVPmax, fld::SpinEditVAVPnom, fld::SpinEditVAVPtot,
                      fld::SpinEditVAVPverz, fld::SpinEditVAVVtot, fld::SpinEditVAVYmin, fld::SpinEditVAVYmax,
                      fld::SpinEditVAVYRmin, fld::SpinEditVAVYRmax})
        m_.setValue(f, take(d).toInt(), Origin::User);
    m_.setText(fld::EditPositionInput_OEM, m_.text(fld::EditPositionInput));
    const bool linear = take(d).trimmed() == QLatin1String("1");
    m_.setChecked(linear ? fld::RadioButtonVAVYLinear : fld::RadioButtonVAVY2_10V, true, Origin::User);
    m_.setValue(fld::SpinEditLZAntrieb, take(d).toInt(), Origin::User);

    int sensorTyp = 2;
    if (!d.contains(QLatin1Char('\t'))) {
        m_.setText(fld::EditPasswordInput, d, Origin::User);
    } else {
        m_.setText(fld::EditPasswordInput, take(d), Origin::User);
        m_.setText(fld::EditHoehe, take(d), Origin::User);
        const QString temp = take(d);
        m_.setText(fld::EditTemp, temp, Origin::User);
        if (d.contains(QLatin1Char('\t'))) {
            m_.setText(fld::EditFeuchte, take(d), Origin::User);
            take(d); // the function's caption: the header already chose the function
            if (!d.isEmpty() && d == QLatin1String("1") && m_.checked(fld::RadioButtonVolumenstrom))
                sensorTyp = 1;
        } else {
            m_.setText(fld::EditFeuchte, d, Origin::User);
        }
    }
    if (sensorTyp == 1)
        m_.setChecked(fld::RadioButtonSensTypVolumenstr, true, Origin::User);
    else if (s.startsWith(QStringLiteral("DPK")))
        m_.setChecked(fld::RadioButtonSensTypDruck, true, Origin::User);
    else if (s.startsWith(QStringLiteral("DSK")))
        m_.setChecked(fld::RadioButtonSensTypDSK3Druck, true, Origin::User);
    entry_.DetectSensorPreset();
    entry_.DetectActuatorPreset();
}

void TDefaultFile::DefaultLaden()
{
    ApplyDefaultLines();
    ApplyDefaultLines();
}

QString TDefaultFile::Save(const QString& path)
{
    BuildDefaultLines();
    m_.setEnabled(fld::ButtonDefaultLaden, oem_.DefaultLoaded);
    const auto texts = CurrentTexts();
    QByteArray bytes;
    QString why;
    if (!EncodeVavFile(oem_.DefaultHeader, oem_.DefaultValues, bytes, &why) || !WriteFileAtomic(path, bytes, -1, &why))
        return texts->Messages.Msg(17) + QStringLiteral("\r\n") + path + QLatin1Char('\n') + why;
    return {};
}

QString TDefaultFile::Open(const QString& path, VavError* refusal)
{
    const auto texts = CurrentTexts();
    if (QFileInfo(path).suffix().toUpper() != QLatin1String("VAV"))
        return texts->Messages.Msg(4);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return texts->Messages.Msg(3) + QStringLiteral("\r\n") + path;
    // A calibration set is a few hundred bytes; anything far bigger is not one.
    const QByteArray bytes = f.read(1 << 20);
    if (f.error() != QFileDevice::NoError)
        return texts->Messages.Msg(3) + QStringLiteral("\r\n") + path;
    QString header, values;
    VavError e;
    if (bytes.size() >= (1 << 20))
        e = {1, 0, QStringLiteral("the file is too big to be a calibration set")};
    if (bytes.size() >= (1 << 20) || !ParseVavFile(bytes, header, values, e)) {
        if (refusal)
            *refusal = e;
        TraceMain.TraceText(u"Refused data file", e.Text());
        return texts->Messages.Msg(3) + QStringLiteral("\r\n") + path + QLatin1Char('\n') +
               QStringLiteral("Zeile %1, Spalte %2: %3").arg(e.line).arg(e.column).arg(e.reason);
    }
    SetDefaultLines(header, values);
    m_.setEnabled(fld::ButtonDefaultLaden, oem_.DefaultLoaded);
    return {};
}

} // namespace kadex
