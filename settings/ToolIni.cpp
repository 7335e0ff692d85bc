#include "settings/ToolIni.h"

#include "common/Paths.h"
#include "settings/IniFile.h"
#include "settings/Snapshot.h"

#include "common/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <iterator>
#include <cfloat>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>
#include <vector>

namespace kadex {

TIniCom IniCom;
TIniConfig IniConfig;
TSprachWahl SprachWahl;
TPath IniPath;
TIniPresetSensor IniPresetDPK[3];
TIniPresetSensor IniPresetDSK3[3];
TIniPresetSensor IniPresetVS;
TIniPresetAntrieb IniPresetHFX;
TIniPresetAntrieb IniPresetRGT;
TBetrieb IniBetrieb;
TIniOem IniOem;
TIniQV IniQV;

namespace {

SnapshotSlot<TToolIni>& toolIniSlot()
{
    static SnapshotSlot<TToolIni> slot;
    return slot;
}

const QString kSecCom = QStringLiteral("COM");
const QString kSecConfig = QStringLiteral("CONFIG");
const QString kSecSprachwahl = QStringLiteral("SPRACHWAHL");
const QString kSecSprache = QStringLiteral("SPRACHE");
const QString kSecPath = QStringLiteral("PATH");
const QString kSecOem = QStringLiteral("OEM");
const QString kDefaultLanguage = QStringLiteral("Deutsch");
const QString kDefaultLanguageFile = QStringLiteral("Kadexgerm.lng");

using FieldPtr = std::variant<int32_t*, uint16_t*, uint8_t*, float*, QString*>;

struct KeyDef {
    QString section;
    QString key;
    FieldPtr field;
    double defNumber = 0; // numeric fields
    QString defText;      // text fields
    bool saved = false;
};

KeyDef numeric(const QString& section, const QString& key, FieldPtr field, double def, bool saved = false)
{
    return KeyDef{section, key, field, def, QString(), saved};
}

void addSensor(std::vector<KeyDef>& t, const QString& section, const QString& prefix, TIniPresetSensor& p,
               int pnom, int ptot)
{
    const QString s = section, x = prefix + QLatin1Char('_');
    t.push_back(numeric(s, x + QStringLiteral("Pmin"), &p.Pmin, 0));
    t.push_back(numeric(s, x + QStringLiteral("Pmax"), &p.Pmax, 10000));
    t.push_back(numeric(s, x + QStringLiteral("Pnom"), &p.Pnom, double(pnom)));
    t.push_back(numeric(s, x + QStringLiteral("Ptot"), &p.Ptot, double(ptot)));
    t.push_back(numeric(s, x + QStringLiteral("Pverz"), &p.Pverz, 30));
    t.push_back(numeric(s, x + QStringLiteral("Vtot"), &p.Vtot, 5));
}

void addActuator(std::vector<KeyDef>& t, const QString& prefix, TIniPresetAntrieb& p, int runTime, int linear)
{
    const QString s = QStringLiteral("ANTRIEB");
    t.push_back(numeric(s, prefix + QStringLiteral("Ymin"), &p.Ymin, 2000));
    t.push_back(numeric(s, prefix + QStringLiteral("Ymax"), &p.Ymax, 10000));
    t.push_back(numeric(s, prefix + QStringLiteral("YRmin"), &p.YRmin, 2000));
    t.push_back(numeric(s, prefix + QStringLiteral("YRmax"), &p.YRmax, 10000));
    t.push_back(numeric(s, prefix + QStringLiteral("LZAntrieb"), &p.LZAntrieb, double(runTime)));
    t.push_back(numeric(s, prefix + QStringLiteral("StellwSignLin"), &p.StellwSignLin, double(linear)));
}

// Every fixed key with its record field and default, in the order of the seed file.
std::vector<KeyDef> keyTable()
{
    std::vector<KeyDef> t;
    t.reserve(110);
    auto text = [&](const QString& sec, const char* key, QString* f, const QString& def, bool saved = false) {
        t.push_back({sec, QString::fromLatin1(key), f, 0, def, saved});
    };
    auto num = [&](const QString& sec, const char* key, FieldPtr f, double def, bool saved = false) {
        t.push_back(numeric(sec, QString::fromLatin1(key), f, def, saved));
    };

    num(kSecCom, "COMNr", &IniCom.COMNr, 2, true);
    text(kSecCom, "COMPort", &IniCom.COMPort, {}, true);
    num(kSecCom, "Baudrate", &IniCom.Baudrate, 38400);

    num(kSecConfig, "EinheitIndex", &IniConfig.EinheitIndex, 0, true);
    num(kSecConfig, "Tabsheet", &IniConfig.Tabsheet, 0, true);
    num(kSecConfig, "ZBAdrIndex", &IniConfig.ZBAdrIndex, 0, true);
    num(kSecConfig, "ReglerFkt", &IniConfig.ReglerFkt, TIniConfig{}.ReglerFkt, true);

    text(kSecSprachwahl, "Sprache", &SprachWahl.Sprache, kDefaultLanguage, true);

    text(kSecPath, "LogDatei", &IniPath.LogDatei, {}, true);
    text(kSecPath, "DefaultDatei", &IniPath.DefaultDatei, {}, true);
    text(kSecPath, "HistorieServer", &IniPath.HistorieServer, {}, true);

    const QString ds = QStringLiteral("DRUCKSENSOR");
    addSensor(t, ds, QStringLiteral("DPK100"), IniPresetDPK[SensorPreset100], 100, 1);
    addSensor(t, ds, QStringLiteral("DPK300"), IniPresetDPK[SensorPreset300], 300, 3);
    addSensor(t, ds, QStringLiteral("DPK600"), IniPresetDPK[SensorPreset600], 600, 6);
    addSensor(t, ds, QStringLiteral("DSK3-100"), IniPresetDSK3[SensorPreset100], 100, 1);
    addSensor(t, ds, QStringLiteral("DSK3-300"), IniPresetDSK3[SensorPreset300], 300, 3);
    addSensor(t, ds, QStringLiteral("DSK3-600"), IniPresetDSK3[SensorPreset600], 600, 6);
    addSensor(t, QStringLiteral("VOLUMENSTROMSENSOR"), QStringLiteral("VS"), IniPresetVS, 100, 1);

    addActuator(t, QStringLiteral("HFX_ST_"), IniPresetHFX, 5, 1);
    addActuator(t, QStringLiteral("RGT_"), IniPresetRGT, 120, 0);

    const QString b = QStringLiteral("BETRIEB");
    num(b, "VminPrz", &IniBetrieb.VminPrz, 0);
    num(b, "VmidPrz", &IniBetrieb.VmidPrz, 5000);
    num(b, "VmaxPrz", &IniBetrieb.VmaxPrz, 10000);
    num(b, "W1MinMV", &IniBetrieb.W1MinMV, 0);
    num(b, "W1MaxMV", &IniBetrieb.W1MaxMV, 10000);
    num(b, "U5MinMV", &IniBetrieb.U5MinMV, 0);
    num(b, "U5MaxMV", &IniBetrieb.U5MaxMV, 10000);
    text(b, "PositionText", &IniBetrieb.PositionText, QStringLiteral("Positionstext"));

    num(kSecOem, "Vnom", &IniOem.Vnom, 250);
    num(kSecOem, "Leitwert", &IniOem.Leitwert, 2800);
    num(kSecOem, "Dichte", &IniOem.Dichte, 1200);
    // The OEM password a fresh calibration record carries: 0 unless the file names one.
    text(kSecOem, "Password", &IniOem.Password, QStringLiteral("0"));
    text(kSecOem, "OEMText", &IniOem.OEMText, QStringLiteral("OEM-Text"), true);

    const QString q = QStringLiteral("QV");
    num(q, "BetrOn", &IniQV.BetrOn, 0);
    num(q, "BetrRun", &IniQV.BetrRun, 0);
    num(q, "K", &IniQV.K, 1.2);
    num(q, "T1", &IniQV.T1, 0);
    num(q, "Tv", &IniQV.Tv, 0);
    num(q, "Tn", &IniQV.Tn, 400);
    num(q, "Adaptiv", &IniQV.Adaptiv, 1);
    num(q, "KTa", &IniQV.KTa, 1);
    num(q, "SnrSuffix", &IniQV.SnrSuffix, 0);
    num(q, "SnrDevFam", &IniQV.SnrDevFam, 3);
    num(q, "SnrTestStation", &IniQV.SnrTestStation, 1);
    num(q, "ZBAdress", &IniQV.ZBAdress, 1);
    num(q, "SensorIntern", &IniQV.SensorIntern, 0);
    text(q, "FenwixText", &IniQV.FenwixText, TIniQV{}.FenwixText);
    text(q, "FenwixTextKPR", &IniQV.FenwixTextKPR, TIniQV{}.FenwixTextKPR);
    return t;
}

// An integer key for a field of the given range; out of range counts as missing like any
// other value the field cannot hold.
template <typename T>
T readRanged(const TIniFile& ini, const KeyDef& d)
{
    const auto def = static_cast<T>(d.defNumber);
    const QString v = ini.ReadString(d.section, d.key, QString());
    const auto n = ParseIniInteger64(v);
    if (!n || *n < std::numeric_limits<T>::min() || *n > std::numeric_limits<T>::max())
        return def;
    return static_cast<T>(*n);
}

void readKey(const TIniFile& ini, const KeyDef& d)
{
    std::visit(
        [&](auto* field) {
            using T = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<T, QString>) {
                *field = ini.ReadString(d.section, d.key, d.defText);
            } else if constexpr (std::is_same_v<T, float>) {
                const double v = ini.ReadFloat(d.section, d.key, d.defNumber);
                *field = static_cast<float>(std::fabs(v) <= FLT_MAX ? v : d.defNumber);
            } else {
                *field = readRanged<T>(ini, d);
            }
        },
        d.field);
}

QString defaultText(const KeyDef& d)
{
    if (std::holds_alternative<QString*>(d.field))
        return d.defText;
    return QString::number(d.defNumber);
}

} // namespace

std::shared_ptr<const TToolIni> CurrentToolIni()
{
    return toolIniSlot().get();
}

void SetToolIni(std::shared_ptr<const TToolIni> settings)
{
    toolIniSlot().set(std::move(settings));
}

void PublishToolIni()
{
    auto s = std::make_shared<TToolIni>();
    s->Com = IniCom;
    s->Config = IniConfig;
    s->SprachWahl = SprachWahl;
    s->Path = IniPath;
    std::copy(std::begin(IniPresetDPK), std::end(IniPresetDPK), s->PresetDPK);
    std::copy(std::begin(IniPresetDSK3), std::end(IniPresetDSK3), s->PresetDSK3);
    s->PresetVS = IniPresetVS;
    s->PresetHFX = IniPresetHFX;
    s->PresetRGT = IniPresetRGT;
    s->Betrieb = IniBetrieb;
    s->Oem = IniOem;
    s->QV = IniQV;
    SetToolIni(std::move(s));
}

uint32_t OemPasswordValue(const QString& text)
{
    const auto v = ParseIniInteger64(text);
    return v ? static_cast<uint32_t>(static_cast<uint64_t>(*v)) : 0u;
}

void ResetToolIniRecords()
{
    IniCom = TIniCom{};
    IniConfig = TIniConfig{};
    SprachWahl = TSprachWahl{};
    IniPath = TPath{};
    for (auto& p : IniPresetDPK)
        p = TIniPresetSensor{};
    for (auto& p : IniPresetDSK3)
        p = TIniPresetSensor{};
    IniPresetVS = TIniPresetSensor{};
    IniPresetHFX = TIniPresetAntrieb{};
    IniPresetRGT = TIniPresetAntrieb{};
    IniBetrieb = TBetrieb{};
    IniOem = TIniOem{};
    IniQV = TIniQV{};
    PublishToolIni();
}

QList<ToolIniKey> ToolIniKeys()
{
    QList<ToolIniKey> out;
    for (const KeyDef& d : keyTable())
        out.append({d.section, d.key, defaultText(d), d.saved});
    return out;
}

QString GetToolIniPath()
{
    const QString base = GetLocalAppDataDir();
    if (base.isEmpty())
        return {};
    const QString dir = base + QStringLiteral("Fenwix");
    // The file holds the OEM password: the folder is the user's alone.
    if (!QFileInfo::exists(dir) && QDir().mkpath(dir))
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    return dir + QStringLiteral("/KadexTool.ini");
}

bool ToolIniUnreadable(const QString& path)
{
    const QFileInfo fi(path);
    if (!fi.exists() || fi.isDir())
        return false;
    QFile f(path);
    if (!fi.isFile() || fi.size() > TIniFile::MaxFileSize || !f.open(QIODevice::ReadOnly))
        return true;
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError || data.isEmpty())
        return true;
    // No text file holds these: a file overwritten with binary data.
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0x7F)
            return true;
    }
    // Cut short before its first section, or no settings file at all. A file cut short later
    // is read as it is: its missing keys take their defaults, which are the seed's values.
    TIniFile ini;
    ini.LoadFromData(data);
    return ini.Sections().isEmpty();
}

QString ToolIniSeedPath()
{
    const QFileInfo program(ProgramPath());
    if (!program.fileName().isEmpty()) {
        const QString beside = program.absolutePath() + QLatin1Char('/') + program.completeBaseName()
                               + QStringLiteral(".ini");
        if (QFileInfo(beside).isFile())
            return beside;
    }
    return FindDataFile(QStringLiteral("KadexTool.ini"));
}

bool SeedToolIniFrom(const QString& seedPath, ToolIniSeeding* report)
{
    ToolIniSeeding local;
    ToolIniSeeding& r = report ? *report : local;
    r = {};
    const QString target = GetToolIniPath();
    if (target.isEmpty())
        return false;
    const bool hasSeed = !seedPath.isEmpty() && QFileInfo(seedPath).isFile();
    const bool unreadable = ToolIniUnreadable(target);
    if (QFileInfo::exists(target) && !unreadable)
        return false;
    if (!hasSeed)
        return false;
    QFile seed(seedPath);
    if (!seed.open(QIODevice::ReadOnly)) {
        r.error = seed.errorString();
        return false;
    }
    const QByteArray data = seed.readAll();
    QByteArray keptName;
    if (unreadable) {
        // Kept beside the new one under a dated name: a hard link, so that the file stays in
        // place until the new one has replaced it completely.
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        for (int i = 0; i < 100 && keptName.isEmpty(); ++i) {
            const QString name = target + QStringLiteral(".unreadable-") + stamp
                                 + (i ? QStringLiteral("-%1").arg(i) : QString());
            const QByteArray n = QFile::encodeName(name);
            if (::link(QFile::encodeName(target).constData(), n.constData()) == 0)
                keptName = n;
            else if (errno != EEXIST)
                break;
        }
        if (keptName.isEmpty()) {
            r.error = QStringLiteral("%1 cannot be kept: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    // Written whole or not at all: a full disk must not leave an empty file that is never
    // seeded again. 0600 and writable for the user even when the installed seed is read-only.
    if (!WriteFileAtomic(target, data, 0600, &r.error)) {
        if (!keptName.isEmpty())
            ::unlink(keptName.constData());
        return false;
    }
    r.seeded = true;
    r.keptAs = QFile::decodeName(keptName);
    return true;
}

bool SeedToolIni(ToolIniSeeding* report)
{
    return SeedToolIniFrom(ToolIniSeedPath(), report);
}

// The language file of a language key: the user's settings file, else (a language added by a
// later version) the shipped seed's list, else the German file.
static QString languageFileOf(const TIniFile& ini, const QString& language)
{
    if (language.isEmpty())
        return {};
    if (ini.ValueExists(kSecSprache, language))
        return ini.ReadString(kSecSprache, language, kDefaultLanguageFile);
    const QString seed = ToolIniSeedPath();
    if (!seed.isEmpty() && QFileInfo(seed).isFile() && QFileInfo(seed).absoluteFilePath() != QFileInfo(ini.FileName()).absoluteFilePath()) {
        const TIniFile shipped(seed);
        if (shipped.ValueExists(kSecSprache, language))
            return shipped.ReadString(kSecSprache, language, kDefaultLanguageFile);
    }
    return kDefaultLanguageFile;
}

void LoadToolIniRecords(const TIniFile& ini)
{
    for (const KeyDef& d : keyTable())
        readKey(ini, d);
    if (IniConfig.ReglerFkt != 1 && IniConfig.ReglerFkt != 2)
        IniConfig.ReglerFkt = TIniConfig{}.ReglerFkt;
    SprachWahl.SprachDatei = languageFileOf(ini, SprachWahl.Sprache);
    SprachWahl.HilfeDatei.clear();
    PublishToolIni();
}

bool ReadToolIni(const QString& path)
{
    ResetToolIniRecords();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    // A file that exists but cannot be read yields the defaults of every key.
    LoadToolIniRecords(TIniFile(path));
    return true;
}

bool ReadLanguageChoice(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    const TIniFile ini(path);
    SprachWahl.SprachDatei = languageFileOf(ini, SprachWahl.Sprache);
    PublishToolIni();
    return true;
}

void StoreToolIniRecords(TIniFile& ini)
{
    ini.WriteInteger(kSecCom, u"COMNr", IniCom.COMNr);
    // Files of older versions get the key only once a path is chosen.
    if (!IniCom.COMPort.isEmpty() || ini.ValueExists(kSecCom, u"COMPort"))
        ini.WriteString(kSecCom, u"COMPort", IniCom.COMPort);
    ini.WriteInteger(kSecConfig, u"EinheitIndex", IniConfig.EinheitIndex);
    ini.WriteInteger(kSecConfig, u"Tabsheet", IniConfig.Tabsheet);
    ini.WriteInteger(kSecConfig, u"ZBAdrIndex", IniConfig.ZBAdrIndex);
    ini.WriteInteger(kSecConfig, u"ReglerFkt", IniConfig.ReglerFkt);
    ini.WriteString(kSecSprachwahl, u"Sprache", SprachWahl.Sprache.isEmpty() ? kDefaultLanguage : SprachWahl.Sprache);
    ini.WriteString(kSecPath, u"LogDatei", IniPath.LogDatei);
    ini.WriteString(kSecPath, u"DefaultDatei", IniPath.DefaultDatei);
    // Only for those who use a shared history: other files stay as they are.
    if (!IniPath.HistorieServer.isEmpty() || ini.ValueExists(kSecPath, u"HistorieServer"))
        ini.WriteString(kSecPath, u"HistorieServer", IniPath.HistorieServer);
    ini.WriteString(kSecOem, u"OEMText", IniOem.OEMText);
}

bool WriteToolIni(const QString& path, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // Never creates the file, and never replaces one it could not read.
    if (path.isEmpty())
        return fail(QStringLiteral("no settings file"));
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("%1 does not exist").arg(path));
    TIniFile ini;
    if (!ini.Load(path))
        return fail(QStringLiteral("%1 cannot be read").arg(path));
    StoreToolIniRecords(ini);
    // It holds the OEM password: the user's alone, also when it was made before.
    if (!ini.Save({}, 0600))
        return fail(ini.LastError());
    return true;
}

QString DefaultLogDir()
{
    const QString base = GetLocalAppDataDir();
    return base.isEmpty() ? QString() : base + QStringLiteral("Kadex_Logs");
}

QString DefaultDataFileDir()
{
    const QString base = GetLocalAppDataDir();
    return base.isEmpty() ? QString() : base + QStringLiteral("Kadex_Defaults");
}

} // namespace kadex
