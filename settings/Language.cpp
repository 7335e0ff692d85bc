#include "settings/Language.h"

#include "common/Paths.h"
#include "common/TextFile.h"
#include "settings/Snapshot.h"
#include "settings/Trace.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <functional>

namespace kadex {

namespace {

const QString kLanguageSection = QStringLiteral("SPRACHETEXT");

struct WindowKey {
    const char* section;
    const char* key;
    const char* def;
};

constexpr WindowKey kWindowKeys[] = {
#define KADEX_LANG(Section, Key, Def) {#Section, #Key, Def},
#include "settings/LanguageKeys.def"
#undef KADEX_LANG
};

// A text record's key: its section, key and member. Fields 7 to 11 of the status texts have a
// second key for the pressure application.
struct RecordKey {
    const char* section;
    const char* key;
    const char* pressureKey; // nullptr: the same key for both functions
    std::function<QString&(TTexts&)> member;
};

#define KADEX_REC(Section, Key, Member) {Section, #Key, nullptr, [](TTexts& t) -> QString& { return t.Member; }}
#define KADEX_REC2(Section, Key, PKey, Member) {Section, #Key, #PKey, [](TTexts& t) -> QString& { return t.Member; }}

const std::vector<RecordKey>& recordKeys()
{
    static const std::vector<RecordKey> keys = [] {
        std::vector<RecordKey> k = {
            KADEX_REC("SCHALTFLAECHEN", ButtonSenden, Buttons.ButtonSenden),
            KADEX_REC("SCHALTFLAECHEN", ButtonEnde, Buttons.ButtonEnde),
            KADEX_REC("SCHALTFLAECHEN", ButtonOk, Buttons.ButtonOk),
            KADEX_REC("SCHALTFLAECHEN", ButtonAbort, Buttons.ButtonAbort),
            KADEX_REC("SCHALTFLAECHEN", ButtonUebernehmen, Buttons.ButtonUebernehmen),
            KADEX_REC("SCHALTFLAECHEN", ButtonBerechnen, Buttons.ButtonBerechnen),
            KADEX_REC("SCHALTFLAECHEN", ButtonAnpassen, Buttons.ButtonAnpassen),
            KADEX_REC("SCHALTFLAECHEN", ButtonDruckmessung, Buttons.ButtonDruckmessung),
            KADEX_REC("MAIN_FORM", FormTitle, Text.FormTitle),
            KADEX_REC("MAIN_FORM", DefaultFileName, Text.DefaultFileName),
            KADEX_REC("MAIN_FORM", SettingsFileName, Text.SettingsFileName),
            KADEX_REC("BETRIEBS_STATUS", Betrieb, Status.Betrieb),
            KADEX_REC("BETRIEBS_STATUS", Auto, Status.Auto),
            KADEX_REC("BETRIEBS_STATUS", Zu, Status.Zu),
            KADEX_REC("BETRIEBS_STATUS", Auf, Status.Auf),
            KADEX_REC("BETRIEBS_STATUS", SchnellZu, Status.SchnellZu),
            KADEX_REC("BETRIEBS_STATUS", SchnellAuf, Status.SchnellAuf),
            KADEX_REC2("BETRIEBS_STATUS", Vmin, Pmin, Status.Vmin),
            KADEX_REC2("BETRIEBS_STATUS", Vmid, MotorStop, Status.Vmid),
            KADEX_REC2("BETRIEBS_STATUS", Vmax, Pmax, Status.Vmax),
            KADEX_REC2("BETRIEBS_STATUS", Vnom, Pnom, Status.Vnom),
            KADEX_REC2("BETRIEBS_STATUS", Variabel, PVariabel, Status.Variabel),
            KADEX_REC("BETRIEBS_STATUS", Stopped, Status.Stopped),
            KADEX_REC("BETRIEBS_STATUS", DataRead, Status.DataRead),
            KADEX_REC("BETRIEBS_STATUS", DataWrite, Status.DataWrite),
            KADEX_REC("BETRIEBS_STATUS", PortLost, Status.PortLost),
            KADEX_REC("BETRIEBS_STATUS", PortMissing, Status.PortMissing),
            KADEX_REC("BETRIEBS_STATUS", PortPermission, Status.PortPermission),
            KADEX_REC("BETRIEBS_STATUS", PortInUse, Status.PortInUse),
            KADEX_REC("BETRIEBS_STATUS", PortOther, Status.PortOther),
            KADEX_REC("BETRIEBS_STATUS", ReadFailed, Status.ReadFailed),
            KADEX_REC("BETRIEBS_STATUS", WriteFailed, Status.WriteFailed),
            KADEX_REC("BETRIEBS_STATUS", RecordBetrieb, Status.RecordBetrieb),
            KADEX_REC("BETRIEBS_STATUS", RecordOEM, Status.RecordOEM),
            KADEX_REC("BETRIEBS_STATUS", RecordQV, Status.RecordQV),
            KADEX_REC("BETRIEBS_STATUS", SettingsNotSaved, Status.SettingsNotSaved),
            KADEX_REC("BETRIEBS_STATUS", SettingsReplaced, Status.SettingsReplaced),
            KADEX_REC("BETRIEBS_STATUS", PortChoice, Status.PortChoice),
            KADEX_REC("EINSTELLDATEN_TEXT", Header, EinstDat.Header),
            KADEX_REC("EINSTELLDATEN_TEXT", Title, EinstDat.Title),
            KADEX_REC("EINSTELLDATEN_TEXT", GerateInfo, EinstDat.GerateInfo),
            KADEX_REC("EINSTELLDATEN_TEXT", SerNr, EinstDat.SerNr),
            KADEX_REC("EINSTELLDATEN_TEXT", ZBAddr, EinstDat.ZBAddr),
            KADEX_REC("EINSTELLDATEN_TEXT", Reglereinst, EinstDat.Reglereinst),
            KADEX_REC("EINSTELLDATEN_TEXT", KadexInfo, EinstDat.KadexInfo),
            KADEX_REC("EINSTELLDATEN_TEXT", KadexRelease, EinstDat.KadexRelease),
            KADEX_REC("LOGFILE", Date, LogFile.Date),
            KADEX_REC("LOGFILE", Time, LogFile.Time),
            KADEX_REC("LOGFILE", SerNo, LogFile.SerNo),
            KADEX_REC("LOGFILE", OEM, LogFile.OEM),
            KADEX_REC("LOGFILE", Position, LogFile.Position),
            KADEX_REC("LOGFILE", Action, LogFile.Action),
            KADEX_REC("LOGFILE", Volumentrom, LogFile.Volumentrom),
            KADEX_REC("LOGFILE", Leitwert, LogFile.Leitwert),
            KADEX_REC("LOGFILE", Druck, LogFile.Druck),
            KADEX_REC("LOGFILE", PosKlappe, LogFile.PosKlappe),
            KADEX_REC("LOGFILE", Dichte, LogFile.Dichte),
            KADEX_REC("LOGFILE", Hoehe, LogFile.Hoehe),
            KADEX_REC("LOGFILE", Vnom, LogFile.Vnom),
            KADEX_REC("LOGFILE", Vmax, LogFile.Vmax),
            KADEX_REC("LOGFILE", Vmin, LogFile.Vmin),
            KADEX_REC("LOGFILE", Vmid, LogFile.Vmid),
            KADEX_REC("LOGFILE", ZBAdr, LogFile.ZBAdr),
            KADEX_REC("LOGFILE", Mode, LogFile.Mode),
            KADEX_REC("LOGFILE", W1, LogFile.W1),
            KADEX_REC("LOGFILE", U5, LogFile.U5),
            KADEX_REC("LOGFILE", Alarms, LogFile.Alarms),
            KADEX_REC("LOGFILE", Typ, LogFile.Typ),
            KADEX_REC("LOGFILE", Firmware, LogFile.Firmware),
            KADEX_REC("LOGFILE", ConfTableID, LogFile.ConfTableID),
            KADEX_REC("LOGFILE", Sensor, LogFile.Sensor),
            KADEX_REC("LOGFILE", SensorTyp, LogFile.SensorTyp),
            KADEX_REC("LOGFILE", Antrieb, LogFile.Antrieb),
            KADEX_REC("LOGFILE", UmgebungEinstellen, LogFile.UmgebungEinstellen),
            KADEX_REC("LOGFILE", ZBAdresse, LogFile.ZBAdresse),
        };
        for (int n = 1; n <= 18; ++n) {
            k.push_back({"MESSAGE_TEXT", nullptr, nullptr,
                         [n](TTexts& t) -> QString& { return t.Messages.MsgText[n]; }});
        }
        return k;
    }();
    return keys;
}

#undef KADEX_REC
#undef KADEX_REC2

QString recordKeyName(const RecordKey& r, int index)
{
    // The message keys are numbered; the table holds them in order after the named ones.
    if (r.key)
        return QString::fromLatin1(r.key);
    static const int firstMessage = [] {
        int i = 0;
        for (const RecordKey& k : recordKeys()) {
            if (!k.key)
                return i;
            ++i;
        }
        return i;
    }();
    return QStringLiteral("MsgText%1").arg(index - firstMessage + 1);
}

QString fold(const QString& section, const QString& key)
{
    return section.toLower() + QLatin1Char('\n') + key.toLower();
}

// Defaults of every key by folded name; the set of known sections.
struct Defaults {
    QHash<QString, QString> byKey;
    QHash<QString, QString> sectionName; // folded -> as spelt
    std::vector<std::pair<QString, QStringList>> known;
};

const Defaults& defaults()
{
    static const Defaults d = [] {
        Defaults out;
        const auto add = [&out](const QString& section, const QString& key, const QString& def) {
            out.byKey.insert(fold(section, key), def);
            out.sectionName.insert(section.toLower(), section);
            auto it = std::find_if(out.known.begin(), out.known.end(),
                                   [&section](const auto& p) { return p.first == section; });
            if (it == out.known.end()) {
                out.known.push_back({section, {}});
                it = out.known.end() - 1;
            }
            it->second << key;
        };
        for (const WindowKey& w : kWindowKeys)
            add(QString::fromLatin1(w.section), QString::fromLatin1(w.key), QString::fromUtf8(w.def));
        TTexts t;
        int i = 0;
        for (const RecordKey& r : recordKeys()) {
            const QString section = QString::fromLatin1(r.section);
            const QString def = r.member(t);
            if (QString::fromLatin1(r.section) == QLatin1String("EINSTELLDATEN_TEXT") && r.key &&
                QLatin1String(r.key) == QLatin1String("KadexRelease"))
                add(section, recordKeyName(r, i), def.chopped(1)); // the blank is added on reading
            else
                add(section, recordKeyName(r, i), def);
            if (r.pressureKey)
                add(section, QString::fromLatin1(r.pressureKey), def);
            ++i;
        }
        out.sectionName.insert(kLanguageSection.toLower(), kLanguageSection);
        out.known.push_back({kLanguageSection, {}});
        return out;
    }();
    return d;
}

// Bytes that code page 1252 leaves undefined, and control bytes other than the tab.
bool unreadableByte(uchar b)
{
    return (b < 0x20 && b != '\t') || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

bool looksLikeUtf8(const QByteArray& data)
{
    bool multiByte = false;
    for (char c : data)
        if (static_cast<uchar>(c) >= 0x80) {
            multiByte = true;
            break;
        }
    if (!multiByte)
        return false;
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString s = dec.decode(data);
    return !dec.hasError() && !s.contains(QChar::ReplacementCharacter);
}

QString unquote(QString v)
{
    v = v.trimmed();
    if (v.size() >= 2 && ((v.front() == QLatin1Char('"') && v.back() == QLatin1Char('"')) ||
                          (v.front() == QLatin1Char('\'') && v.back() == QLatin1Char('\''))))
        v = v.mid(1, v.size() - 2);
    return v;
}

SnapshotSlot<TLanguage>& languageSlot()
{
    static SnapshotSlot<TLanguage> slot;
    return slot;
}

} // namespace

const std::vector<std::pair<QString, QStringList>>& KnownLanguageKeys() { return defaults().known; }

QString LanguageDefault(const QString& section, const QString& key)
{
    return defaults().byKey.value(fold(section, key));
}

QString TLanguage::Text(const QString& section, const QString& key) const
{
    const QString k = fold(section, key);
    const auto it = values.constFind(k);
    return it != values.constEnd() ? *it : defaults().byKey.value(k);
}

TTexts TLanguage::Records(int reglerFkt) const
{
    TTexts t;
    int i = 0;
    for (const RecordKey& r : recordKeys()) {
        const QString section = QString::fromLatin1(r.section);
        const QString key = reglerFkt != 1 && r.pressureKey ? QString::fromLatin1(r.pressureKey) : recordKeyName(r, i);
        QString v = Text(section, key);
        if (section == QLatin1String("EINSTELLDATEN_TEXT") && key == QLatin1String("KadexRelease"))
            v += QLatin1Char(' ');
        r.member(t) = v;
        ++i;
    }
    return t;
}

std::vector<TElementText> TLanguage::Elements(int reglerFkt, bool volumeSensor) const
{
    std::vector<TElementText> out;
    const bool volume = reglerFkt == 1;
    const auto put = [&out](const QString& section, const QString& element, bool hint, const QString& text) {
        out.push_back({section, element, hint, text});
    };
    // The pressure variants set the volume-flow elements, in the same order.
    static const QHash<QString, QString> pressureOf = {
        {QStringLiteral("LabelVnomM3Anz"), QStringLiteral("LabelPnomPaAnz")},
        {QStringLiteral("LabelVmax"), QStringLiteral("LabelPmax")},
        {QStringLiteral("LabelVmaxPrzDim"), QStringLiteral("LabelPmaxPrzDim")},
        {QStringLiteral("LabelVmaxPrzBereich"), QStringLiteral("LabelPmaxPrzBereich")},
        {QStringLiteral("LabelVmin"), QStringLiteral("LabelPmin")},
        {QStringLiteral("LabelVminPrzDim"), QStringLiteral("LabelPminPrzDim")},
        {QStringLiteral("LabelVminPrzBereich"), QStringLiteral("LabelPminPrzBereich")},
        {QStringLiteral("RadioBetrVMin"), QStringLiteral("RadioBetrPMin")},
        {QStringLiteral("RadioBetrVMid"), QStringLiteral("RadioBetrPMid")},
        {QStringLiteral("RadioBetrVMax"), QStringLiteral("RadioBetrPMax")},
        {QStringLiteral("RadioBetrVNom"), QStringLiteral("RadioBetrPNom")},
        {QStringLiteral("GroupBoxVAVVolumenStrom"), QStringLiteral("GroupBoxVAVDruck")},
        {QStringLiteral("LabelVnomM3"), QStringLiteral("LabelPnomPa")},
        {QStringLiteral("LabelVmaxM3"), QStringLiteral("LabelPmaxPa")},
        {QStringLiteral("LabelVminM3"), QStringLiteral("LabelPminPa")},
    };
    QSet<QString> pressureKeys;
    for (const QString& p : pressureOf)
        pressureKeys.insert(p);
    static const QHash<QString, QString> tabOf = {
        {QStringLiteral("REGISTER_SERVICE"), QStringLiteral("TabSheetService")},
        {QStringLiteral("REGISTER_EXPERTE"), QStringLiteral("TabSheetExperte")},
        {QStringLiteral("REGISTER_OEM"), QStringLiteral("TabSheetKonfigOEM")},
        {QStringLiteral("REGISTER_QV"), QStringLiteral("TabSheetKonfigQV")},
        {QStringLiteral("REGISTER_TRANSFER"), QStringLiteral("TabSheetTransfer")},
    };
    static const QHash<QString, QString> renamed = {
        {QStringLiteral("DateiMenu"), QStringLiteral("ToolButtonDateiMenu")},
        {QStringLiteral("ButtonBetrieb"), QStringLiteral("SpeedButtonBetrieb")},
        {QStringLiteral("ExtrasMenue"), QStringLiteral("ToolButtonExtrasMenu")},
        {QStringLiteral("HilfeMenu"), QStringLiteral("ToolButtonHilfeMenu")},
        {QStringLiteral("ExtrasTransfAnzeigeItem"), QStringLiteral("ExtrasTransferAnzeige")},
        {QStringLiteral("RadioButtonSensTypDruckDSK3"), QStringLiteral("RadioButtonSensTypDSK3Druck")},
        {QStringLiteral("RegisterAllgText"), QStringLiteral("TabSheetOptionAllg")},
        {QStringLiteral("RegisterOEMText"), QStringLiteral("TabSheetOptionOEM")},
        {QStringLiteral("LabelOEMInput"), QStringLiteral("LabelOEMInputOpt")},
        {QStringLiteral("RadioVolumenstrom"), QStringLiteral("RadioButtonVolumenstrom")},
        {QStringLiteral("RadioDruckanwendung"), QStringLiteral("RadioButtonDruckanwendung")},
    };
    static const QHash<QString, QString> formOf = {
        {QStringLiteral("FORM_DRUCKSENSOR_VARIABEL"), QStringLiteral("SensorForm")},
        {QStringLiteral("FORM_VS_SENSOR_VARIABEL"), QStringLiteral("SensorForm")},
        {QStringLiteral("FORM_ANTRIEB_VARIABEL"), QStringLiteral("AntriebForm")},
        {QStringLiteral("FORM_REGLERFUNKTION"), QStringLiteral("RegFktForm")},
    };
    const QString sensorSection =
        volumeSensor ? QStringLiteral("FORM_VS_SENSOR_VARIABEL") : QStringLiteral("FORM_DRUCKSENSOR_VARIABEL");

    for (const WindowKey& w : kWindowKeys) {
        const QString section = QString::fromLatin1(w.section);
        const QString key = QString::fromLatin1(w.key);
        if ((section == QLatin1String("FORM_DRUCKSENSOR_VARIABEL") || section == QLatin1String("FORM_VS_SENSOR_VARIABEL")) &&
            section != sensorSection)
            continue;
        if (pressureKeys.contains(key))
            continue; // read through its volume-flow element
        QString text = Text(section, key);
        if (!volume && pressureOf.contains(key))
            text = Text(section, pressureOf.value(key));
        // Sections shared by several windows are told apart by the section, not the element.
        const QString outSection = section == sensorSection ? QStringLiteral("FORM_DRUCKSENSOR_VARIABEL") : section;
        QString element = key;
        bool hint = false;
        if (key == QLatin1String("RegisterText") && tabOf.contains(section))
            element = tabOf.value(section);
        else if (key == QLatin1String("FormTitle") && formOf.contains(section))
            element = formOf.value(section);
        else if (renamed.contains(key))
            element = renamed.value(key);
        else if (section.startsWith(QLatin1String("MAINMENU_")) && key.endsWith(QLatin1String("Item")))
            element = key.chopped(4);
        else if (key.endsWith(QLatin1String("Hint"))) {
            element = key.chopped(4);
            hint = true;
        } else if (section == QLatin1String("FORM_LEITWERT") && key.startsWith(QLatin1String("LabelVorbereitung")))
            element = QStringLiteral("LabelPrepare") + key.mid(17);
        else if (section == QLatin1String("FORM_DICHTE") && key == QLatin1String("HoeheTxt"))
            element = QStringLiteral("LabelHoeheTXT");
        put(outSection, element, hint, text);
        // Elements that show the same text elsewhere.
        if (section == QLatin1String("REGISTER_SERVICE") && key == QLatin1String("LabelPositionInput"))
            put(outSection, QStringLiteral("LabelPositionInput_OEM"), false, text);
        if (section == QLatin1String("REGISTER_EXPERTE") && key == QLatin1String("LabelDichte"))
            put(outSection, QStringLiteral("LabelHoehe"), false, Text(QStringLiteral("FORM_DICHTE"), QStringLiteral("HoeheTxt")));
        if (section == QLatin1String("FORM_OPTIONEN") && key == QLatin1String("ButtonCalculateDichte"))
            put(QStringLiteral("REGISTER_EXPERTE"), element, false, text);
    }
    // The shared buttons of the model's dialogs (section SCHALTFLAECHEN, text records).
    for (const char* key : {"ButtonOk", "ButtonAbort", "ButtonDruckmessung"})
        put(QStringLiteral("SCHALTFLAECHEN"), QString::fromLatin1(key), false,
            Text(QStringLiteral("SCHALTFLAECHEN"), QString::fromLatin1(key)));
    return out;
}

TLanguage ParseLanguage(const QByteArray& input)
{
    TLanguage lang;
    const Defaults& d = defaults();
    QByteArray data = input.left(kMaxLanguageFileSize);
    if (input.size() > kMaxLanguageFileSize)
        lang.problems << QStringLiteral("file larger than %1 bytes; the rest was not read").arg(kMaxLanguageFileSize);

    bool utf8 = false;
    if (data.startsWith("\xEF\xBB\xBF")) {
        data.remove(0, 3);
        utf8 = true;
    } else if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        lang.problems << QStringLiteral("file is UTF-16, not code page 1252; nothing read");
        return lang;
    } else if (looksLikeUtf8(data)) {
        utf8 = true;
        lang.problems << QStringLiteral("file is UTF-8, not code page 1252; read as UTF-8");
    }

    QString section;        // as spelt in the table; empty before the first or in an unknown one
    QString sectionFolded;  // folded name of the section in force
    bool languageSection = false;
    QSet<QString> seenSections;
    int lineNo = 0;
    qsizetype pos = 0;
    int reported = 0;
    const auto problem = [&lang, &reported](const QString& text) {
        // A junk file would list every line; a few lines say enough.
        if (++reported <= 20)
            lang.problems << text;
        else if (reported == 21)
            lang.problems << QStringLiteral("further problems not listed");
    };
    while (pos < data.size()) {
        qsizetype end = pos;
        while (end < data.size() && data[end] != '\n' && data[end] != '\r')
            ++end;
        const QByteArray raw = data.mid(pos, end - pos);
        pos = end;
        if (pos < data.size() && data[pos] == '\r')
            ++pos;
        if (pos < data.size() && data[pos] == '\n')
            ++pos;
        ++lineNo;

        bool bad = false;
        for (char c : raw)
            if (unreadableByte(static_cast<uchar>(c)) && !(utf8 && static_cast<uchar>(c) >= 0x80)) {
                bad = true;
                break;
            }
        if (bad) {
            problem(QStringLiteral("line %1: control or undefined bytes; not read").arg(lineNo));
            continue;
        }
        const QString line = (utf8 ? QString::fromUtf8(raw) : FromCp1252(raw)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = (close > 0 ? line.mid(1, close - 1) : line.mid(1)).trimmed();
            sectionFolded = name.toLower();
            languageSection = sectionFolded == kLanguageSection.toLower();
            if (!d.sectionName.contains(sectionFolded)) {
                problem(QStringLiteral("line %1: unknown section [%2]").arg(lineNo).arg(name.left(60)));
                section.clear();
            } else {
                section = d.sectionName.value(sectionFolded);
            }
            // The first occurrence of a section wins, as in the settings file.
            if (seenSections.contains(sectionFolded) && !section.isEmpty()) {
                problem(QStringLiteral("line %1: section [%2] repeated; its keys are ignored").arg(lineNo).arg(name.left(60)));
                section.clear();
                languageSection = false;
            }
            seenSections.insert(sectionFolded);
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            problem(QStringLiteral("line %1: not a key and value").arg(lineNo));
            continue;
        }
        if (section.isEmpty())
            continue; // in an unknown section (said once at its header) or before any
        const QString key = line.left(eq).trimmed();
        // "\n" in a value stands for a line break (a message with two lines).
        const QString value = unquote(line.mid(eq + 1)).replace(QLatin1String("\\n"), QLatin1String("\n"));
        if (value.size() > kMaxLanguageValue) {
            problem(QStringLiteral("line %1: value of %2 longer than %3 characters; not read")
                        .arg(lineNo)
                        .arg(key.left(60))
                        .arg(kMaxLanguageValue));
            continue;
        }
        if (languageSection) {
            if (lang.languageKeys.contains(key, Qt::CaseInsensitive))
                continue;
            lang.languageKeys << key;
            lang.languageLines << key + QLatin1Char('=') + value;
            continue;
        }
        const QString k = fold(section, key);
        if (!d.byKey.contains(k)) {
            problem(QStringLiteral("line %1: unknown key %2 in [%3]").arg(lineNo).arg(key.left(60), section));
            continue;
        }
        if (!lang.values.contains(k))
            lang.values.insert(k, value);
    }
    return lang;
}

std::shared_ptr<const TLanguage> CurrentLanguage() { return languageSlot().get(); }

void SetLanguage(std::shared_ptr<const TLanguage> language) { languageSlot().set(std::move(language)); }

QString FindLanguageFile(const QString& fileName)
{
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\')) ||
        fileName == QLatin1String(".") || fileName == QLatin1String(".."))
        return {};
    return FindDataFile(fileName);
}

TLanguageLoad LoadLanguageFile(const QString& path, int reglerFkt)
{
    TLanguageLoad result;
    result.path = path;
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile()) {
        TraceMain.TraceText(u"Language file missing", path);
        return result;
    }
    result.found = true;
    QFile f(path);
    QByteArray data;
    if (!f.open(QIODevice::ReadOnly)) {
        result.problems << QStringLiteral("cannot be read: ") + f.errorString();
    } else {
        data = f.read(kMaxLanguageFileSize + 1);
    }
    auto lang = std::make_shared<TLanguage>(ParseLanguage(data));
    lang->fileName = path;
    result.problems = result.problems + lang->problems;
    lang->problems = result.problems;
    const TTexts t = lang->Records(reglerFkt);
    IniStatusText = t.Status;
    IniMessageText = t.Messages;
    IniText = t.Text;
    IniEinstDatText = t.EinstDat;
    IniLogFileText = t.LogFile;
    IniButtonText = t.Buttons;
    SetLanguage(std::move(lang));
    PublishTexts();
    TraceMain.TraceText(u"Language file loaded", path);
    for (const QString& p : result.problems)
        TraceMain.TraceText(u"Language file not fully read", p);
    return result;
}

} // namespace kadex
