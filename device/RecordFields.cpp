#include "device/RecordFields.h"

#include "common/TextFile.h"
#include "device/model/WindowModel.h"

#include <cmath>

namespace kadex::recfields {

namespace {

RecordField base(const char* key, FieldId f, Type t)
{
    RecordField r{};
    r.key = key;
    r.field = f;
    r.type = t;
    return r;
}

RecordField number(const char* key, FieldId f, const char* unit, double lo, double hi, double step = 1,
                   double deviceScale = 1, double windowScale = 1, const char* meaning = "")
{
    RecordField r = base(key, f, Type::Number);
    r.unit = unit;
    r.min = lo;
    r.max = hi;
    r.step = step;
    r.deviceScale = deviceScale;
    r.windowScale = windowScale;
    r.meaning = meaning;
    return r;
}

RecordField text(const char* key, FieldId f, int maxChars, const char* meaning)
{
    RecordField r = base(key, f, Type::Text);
    r.maxChars = maxChars;
    r.meaning = meaning;
    return r;
}

RecordField choice(const char* key, std::vector<Choice> choices, const char* meaning)
{
    const FieldId first = choices.front().radios.empty() ? fld::ComboBoxSnrTag : choices.front().radios.front();
    RecordField r = base(key, first, Type::Choice);
    r.choices = std::move(choices);
    r.meaning = meaning;
    return r;
}

RecordField listChoice(const char* key, FieldId list, const std::vector<const char*>& words, const char* meaning)
{
    RecordField r = base(key, list, Type::Choice);
    for (size_t i = 0; i < words.size(); ++i)
        r.choices.push_back({words[i], {}, static_cast<int>(i)});
    r.meaning = meaning;
    return r;
}

RecordField flag(const char* key, FieldId f, const char* meaning)
{
    RecordField r = base(key, f, Type::Flag);
    r.meaning = meaning;
    return r;
}

std::vector<Record> makeRecords()
{
    using namespace fld;
    const char* flowUnit = "m³/h or Pa";
    RecordField password = number("Password", EditPasswordInput, "", 0, 4294967295.0, 1, 1, 1, "OEM password");
    password.secret = true;
    // Below 0204 the conductance has only its 16-bit cell of tenths.
    RecordField leitwert = number("Leitwert", EditVAVLwErmittelt, "m³/h/√(Pa·m³/kg)", 0, 33149, 0.01, 100, 1,
                                  "flow conductance");
    leitwert.firmwareFrom = 0x0204;
    leitwert.olderMax = 6553.5;
    return {
        {"operating",
         {
             number("VminPrz", EditVminPrz, "%", 0, 100, 0.01, 100, 1, "V'min, share of V'nom"),
             number("VmidPrz", EditVmidPrz, "%", 0, 100, 0.01, 100, 1, "V'mid"),
             number("VmaxPrz", EditVmaxPrz, "%", 0, 100, 0.01, 100, 1, "V'max"),
             number("W1MinMV", EditW1Min, "mV", 0, 8000, 100, 1, 1000, "W1 range start"),
             number("W1MaxMV", EditW1Max, "mV", 0, 10000, 100, 1, 1000, "W1 range end"),
             number("U5MinMV", EditU5Min, "mV", 0, 8000, 100, 1, 1000, "U5 range start"),
             number("U5MaxMV", EditU5Max, "mV", 0, 10000, 100, 1, 1000, "U5 range end"),
             text("PosText", EditPositionInput, 16, "position text"),
         }},
        {"calibration",
         {
             // The choices first: choosing a function or a sensor brings its remembered values.
             choice("ReglerFkt", {{"flow", {RadioButtonVolumenstrom}}, {"pressure", {RadioButtonDruckanwendung}}},
                    "controller function"),
             choice("DrucksensorTyp", {{"DPK", {RadioButtonSensTypDruck}}, {"DSK3", {RadioButtonSensTypDSK3Druck}}},
                    "pressure sensor family (pressure sensor only)"),
             choice("SensorTyp",
                    {{"pressure", {RadioButtonSensTypDruck, RadioButtonSensTypDSK3Druck}},
                     {"volume-signal", {RadioButtonSensTypVolumenstr}}},
                    "sensor type"),
             choice("StellwSignLin", {{"linear", {RadioButtonVAVYLinear}}, {"6V+-4V", {RadioButtonVAVY2_10V}}},
                    "actuator signal"),
             number("Vnom", EditVnomM3, flowUnit, 1, 65535, 1, 1, 1, "V'nom (m³/h for flow, Pa for pressure)"),
             leitwert,
             number("Dichte", EditVAVDichte, "kg/m³", 0.5, 2, 0.001, 1024, 1, "air density"),
             number("Pmin", SpinEditVAVPmin, "mV", 0, 8000, 1, 1, 1, "sensor signal at 0 %"),
             number("Pmax", SpinEditVAVPmax, "mV", 2000, 10000, 1, 1, 1, "sensor signal at 100 %"),
             number("Pnom", SpinEditVAVPnom, "Pa or m³/h", 1, 65535, 1, 1, 1,
                    "nominal pressure (m³/h for a volume signal sensor)"),
             number("Ptot", SpinEditVAVPtot, "Pa or m³/h", 1, 65535, 1, 1, 1, "creep flow threshold"),
             number("Pverz", SpinEditVAVPverz, "ms", 10, 30000, 1, 1, 1, "damping"),
             number("Vtot", SpinEditVAVVtot, "%", 1, 100, 1, 1, 1, "dead zone"),
             number("Ymin", SpinEditVAVYmin, "mV", 0, 8000, 1, 1, 1, "actuator signal at 0 %"),
             number("Ymax", SpinEditVAVYmax, "mV", 2000, 10000, 1, 1, 1, "actuator signal at 100 %"),
             number("YRmin", SpinEditVAVYRmin, "mV", 0, 8000, 1, 1, 1, "actuator feedback at 0 %"),
             number("YRmax", SpinEditVAVYRmax, "mV", 2000, 10000, 1, 1, 1, "actuator feedback at 100 %"),
             number("tLZAntrieb", SpinEditLZAntrieb, "s", 0, 65535, 1, 1, 1, "actuator running time"),
             text("OEMText", EditOEMInputOEM, 16, "OEM text"),
             password,
         }},
        {"parameters",
         {
             choice("SensorIntern", {{"internal", {RadioButtonVAVSensorIntern}}, {"external", {RadioButtonVAVSensorExtern}}},
                    "flow sensor"),
             flag("Adaptiv", CheckBoxVAVAdaptiv, "adaptive control"),
             number("K", EditVAVK, "", -1000, 1000, 0.001, 1, 1, "controller gain"),
             number("T1", SpinEditVAVT1, "ms", 0, 32767, 1, 1, 1, "controller time T1"),
             number("Tv", SpinEditVAVTv, "ms", 0, 32767, 1, 1, 1, "controller time Tv"),
             number("Tn", SpinEditVAVTn, "ms", 0, 32767, 1, 1, 1, "controller time Tn"),
             number("SnrYear", SpinEditSnrJahr, "", 0, 99, 1, 1, 1, "serial number: two-digit year"),
             number("SnrWeek", SpinEditSnrWoche, "", 1, 52, 1, 1, 1, "serial number: week"),
             listChoice("SnrDay", ComboBoxSnrTag, {"mon", "tue", "wed", "thu", "fri", "sat", "sun"},
                        "serial number: day"),
             number("SnrNum", SpinEditSnrNum, "", 1, 5535, 1, 1, 1, "serial number: running number"),
             number("SnrSuffix", SpinEditSnrSuffix, "", 0, 255, 1, 1, 1, "serial number: family suffix"),
             number("SnrDevFam", SpinEditSnrDevFam, "", 1, 255, 1, 1, 1, "serial number: device family"),
             number("SnrTestStation", SpinEditSnrTestStation, "", 1, 255, 1, 1, 1, "serial number: test station"),
         }},
    };
}

double rounded(const RecordField& f, double v)
{
    return std::round(v / f.step) * f.step;
}

QString codePoint(char32_t u)
{
    return QStringLiteral("U+") + QString::number(static_cast<uint>(u), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

bool plainText(const QString& t, QString& why)
{
    for (const char32_t u : t.toUcs4()) {
        const bool bmp = u <= 0xFFFF;
        const QChar c = bmp ? QChar(static_cast<char16_t>(u)) : QChar();
        if (bmp && (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)) {
            why = QStringLiteral("holds the control character %1").arg(codePoint(u));
            return false;
        }
        if (!bmp || Cp1252Byte(c) < 0) {
            why = QStringLiteral("holds %1, which the device's code page 1252 does not have").arg(codePoint(u));
            return false;
        }
    }
    return true;
}

QString num(double v)
{
    return QString::number(v, 'g', 12);
}

} // namespace

int RecordField::WindowDecimals() const
{
    const double s = step / windowScale;
    return s >= 1 ? 0 : static_cast<int>(std::lround(-std::log10(s)));
}

const std::vector<Record>& Records()
{
    static const std::vector<Record> table = makeRecords();
    return table;
}

const Record* FindRecord(const QString& key)
{
    for (const Record& r : Records())
        if (key == QLatin1String(r.key))
            return &r;
    return nullptr;
}

const RecordField* FindField(const Record& rec, const QString& key)
{
    for (const RecordField& f : rec.fields)
        if (key == QLatin1String(f.key))
            return &f;
    return nullptr;
}

QJsonValue ReadField(const WindowModel& m, const RecordField& f)
{
    switch (f.type) {
    case Type::Flag:
        return m.checked(f.field);
    case Type::Text:
        return m.text(f.field);
    case Type::Choice:
        for (const Choice& c : f.choices) {
            if (c.item >= 0 && m.itemIndex(f.field) == c.item)
                return QLatin1String(c.word);
            for (FieldId r : c.radios)
                if (m.checked(r))
                    return QLatin1String(c.word);
        }
        return QJsonValue(QJsonValue::Undefined);
    case Type::Number:
        break;
    }
    double v = 0;
    if (f.field.kind == Kind::Spin) {
        v = m.value(f.field);
    } else {
        bool ok = false;
        v = m.text(f.field).trimmed().toDouble(&ok);
        if (!ok)
            return QJsonValue(QJsonValue::Undefined);
    }
    return rounded(f, v * f.windowScale);
}

QString CheckValue(const RecordField& f, const QJsonValue& v)
{
    switch (f.type) {
    case Type::Flag:
        return v.isBool() ? QString() : QStringLiteral("must be true or false, not %1").arg(Shown(v));
    case Type::Choice:
        if (v.isString())
            for (const Choice& c : f.choices)
                if (v.toString() == QLatin1String(c.word))
                    return {};
        return QStringLiteral("must be %1, not %2").arg(Allowed(f), Shown(v));
    case Type::Text: {
        if (!v.isString())
            return QStringLiteral("must be a text, not %1").arg(Shown(v));
        const QString t = v.toString();
        if (t.size() > f.maxChars)
            return QStringLiteral("has %1 characters; the device holds at most %2").arg(t.size()).arg(f.maxChars);
        QString why;
        if (!plainText(t, why))
            return why;
        if (t.endsWith(QLatin1Char(' ')))
            return QStringLiteral("ends with a blank, which the device does not keep");
        return {};
    }
    case Type::Number:
        break;
    }
    if (!v.isDouble())
        return QStringLiteral("must be a number%1, not %2")
            .arg(*f.unit ? QStringLiteral(" in ") + QString::fromUtf8(f.unit) : QString(), Shown(v));
    const double d = v.toDouble();
    if (!std::isfinite(d) || d < f.min || d > f.max)
        return QStringLiteral("is %1, outside %2").arg(Shown(v), Allowed(f));
    if (std::abs(d / f.step - std::round(d / f.step)) > 1e-6)
        return f.step == 1 ? QStringLiteral("must be a whole number, not %1").arg(Shown(v))
                           : QStringLiteral("must be a multiple of %1, not %2").arg(num(f.step), Shown(v));
    return {};
}

QString CheckForFirmware(const RecordField& f, const QJsonValue& v, uint16_t firmware)
{
    if (f.type != Type::Number || firmware >= f.firmwareFrom || v.toDouble() <= f.olderMax)
        return {};
    return QStringLiteral("is %1; firmware %2 holds at most %3")
        .arg(Shown(v), QString::number(firmware, 16).toUpper().rightJustified(4, QLatin1Char('0')), num(f.olderMax));
}

void ApplyField(WindowModel& m, const RecordField& f, const QJsonValue& v)
{
    switch (f.type) {
    case Type::Flag:
        m.setChecked(f.field, v.toBool());
        return;
    case Type::Text:
        m.setText(f.field, v.toString());
        return;
    case Type::Choice:
        for (const Choice& c : f.choices) {
            if (v.toString() != QLatin1String(c.word))
                continue;
            if (c.item >= 0) {
                m.setItemIndex(f.field, c.item);
                return;
            }
            for (FieldId r : c.radios)
                if (m.checked(r))
                    return; // already means this word
            m.setChecked(c.radios.front(), true);
            return;
        }
        return;
    case Type::Number:
        break;
    }
    const double w = v.toDouble() / f.windowScale;
    if (f.field.kind == Kind::Spin)
        m.setValue(f.field, std::round(w));
    else
        m.setText(f.field, QString::number(w, 'f', f.WindowDecimals()));
}

bool SameValue(const RecordField& f, const QJsonValue& a, const QJsonValue& b)
{
    if (f.type == Type::Number && a.isDouble() && b.isDouble())
        return std::abs(a.toDouble() - b.toDouble()) < f.step / 2;
    return a == b;
}

QString Shown(const QJsonValue& v)
{
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.isDouble())
        return num(v.toDouble());
    if (v.isString())
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    if (v.isArray())
        return QStringLiteral("a list");
    if (v.isObject())
        return QStringLiteral("an object");
    return v.isNull() ? QStringLiteral("null") : QStringLiteral("(none)");
}

QString Allowed(const RecordField& f)
{
    switch (f.type) {
    case Type::Flag:
        return QStringLiteral("true or false");
    case Type::Text:
        return QStringLiteral("a text of up to %1 characters").arg(f.maxChars);
    case Type::Choice: {
        QStringList words;
        for (const Choice& c : f.choices)
            words << QLatin1Char('"') + QLatin1String(c.word) + QLatin1Char('"');
        return QStringLiteral("one of ") + words.join(QStringLiteral(", "));
    }
    case Type::Number:
        break;
    }
    QString r = num(f.min) + QStringLiteral(" .. ") + num(f.max);
    if (*f.unit)
        r += QLatin1Char(' ') + QString::fromUtf8(f.unit);
    return r;
}

} // namespace kadex::recfields
