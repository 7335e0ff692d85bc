#include "core/OptionsFlow.h"

#include "common/Helpers.h"
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/Texts.h"
#include "settings/ToolIni.h"

#include <QDir>
#include <algorithm>
#include <QFileInfo>

namespace kadex {

OptionsFlow::OptionsFlow(TMainCore& core) : core_(core)
{
    const QString oemText = CurrentToolIni()->Oem.OEMText;
    WindowModel& m = core_.Ctx.model;
    m.setText(fld::EditOEMInputOpt, oemText);
    m.setText(fld::EditOEMInputOptAnzeige, oemText);
    installRules();
}

QString OptionsFlow::PasswordText(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok);
    if (!ok) {
        // Digits beyond what 64 bits hold are still a number above the maximum.
        const bool digits = !t.isEmpty() && std::all_of(t.begin(), t.end(), [](QChar ch) { return ch.isDigit(); });
        return digits ? QStringLiteral("4294967295") : QStringLiteral("0");
    }
    if (v < 1)
        return QStringLiteral("0");
    if (v > 4294967295LL)
        return QStringLiteral("4294967295");
    return text;
}

QString OptionsFlow::DensityText(const QString& text)
{
    const double v = GetFloatWert(text);
    if (v < 0)
        return Fixed(0, 3);
    if (v > 2)
        return Fixed(2, 3);
    return text;
}

void OptionsFlow::installRules()
{
    WindowModel& m = core_.Ctx.model;
    m.onChange(fld::EditPasswordInput, [&m](const Change& c) {
        if (!c.has(Prop::Text))
            return;
        const QString t = m.text(fld::EditPasswordInput);
        const QString fixed = PasswordText(t);
        if (fixed != t) {
            ChangesSuspended quiet(m, {fld::EditPasswordInput});
            m.setText(fld::EditPasswordInput, fixed);
        }
    });
    m.onChange(fld::EditVAVDichte, [&m, &core = core_](const Change& c) {
        if (!c.has(Prop::Text))
            return;
        const QString t = m.text(fld::EditVAVDichte);
        const QString fixed = DensityText(t);
        if (fixed != t) {
            ChangesSuspended quiet(m, {fld::EditVAVDichte});
            m.setText(fld::EditVAVDichte, fixed);
        }
        core.ValueEntry.UpdateVminLimit();
    });
}

void OptionsFlow::SetPorts(const QStringList& ports)
{
    ports_ = ports;
}

QString OptionsFlow::PortInUse() const
{
    const QString path = core_.Com.PortPath();
    return path.isEmpty() ? TComForm::DevicePathForNumber(core_.Com.PortNumber()) : path;
}

void OptionsFlow::Show()
{
    WindowModel& m = core_.Ctx.model;
    // Only the language in force until a language loader exists.
    const QString language = SprachWahl.Sprache;
    m.setItems(fld::ComboBoxSprache, language.isEmpty() ? QStringList() : QStringList{language});
    m.setItemIndex(fld::ComboBoxSprache, language.isEmpty() ? -1 : 0);

    QStringList ports = ports_;
    const QString inUse = PortInUse();
    if (!ports.contains(inUse))
        ports.prepend(inUse);
    m.setItems(fld::ComboBoxCOMNr, ports);
    m.setItemIndex(fld::ComboBoxCOMNr, static_cast<int>(ports.indexOf(inUse)));
    // The set the fields are shown in: a calibration-set file may have changed it.
    const int shownUnit = core_.Ctx.UnitIndex.load();
    m.setItemIndex(fld::ComboBoxEinheit, shownUnit >= 0 && shownUnit <= 2 ? shownUnit : 0);

    shownPassword_ = m.text(fld::EditPasswordInput);
    shownOemText_ = m.text(fld::EditOEMInputOpt);
    shownDensity_ = m.text(fld::EditVAVDichte);
    m.setText(fld::EditLogDateiAbl, IniPath.LogDatei);
    m.setText(fld::EditDefaultDateiAbl, IniPath.DefaultDatei);
}

bool OptionsFlow::FolderUsable(const QString& dir)
{
    if (dir.trimmed().isEmpty())
        return false;
    const QFileInfo fi(dir);
    if (fi.isDir())
        return true;
    return !fi.exists() && QDir().mkpath(dir);
}

bool OptionsFlow::Accept()
{
    WindowModel& m = core_.Ctx.model;

    // Port: the entry chosen differs from the port in use.
    const int portIndex = m.itemIndex(fld::ComboBoxCOMNr);
    const QStringList ports = m.items(fld::ComboBoxCOMNr);
    QString newPort;
    if (portIndex >= 0 && portIndex < ports.size() && ports[portIndex] != PortInUse()) {
        newPort = ports[portIndex];
        IniCom.COMPort = newPort;
        // An on-board port keeps its number too, so the file stays meaningful without a path.
        static const QString ttyS = QStringLiteral("/dev/ttyS");
        bool isNumber = false;
        const int n = newPort.startsWith(ttyS) ? newPort.mid(ttyS.size()).toInt(&isNumber) : 0;
        if (isNumber)
            IniCom.COMNr = n + 1;
    }

    // Unit set.
    int unit = m.itemIndex(fld::ComboBoxEinheit);
    if (unit < 0 || unit > 2)
        unit = 0;
    const bool unitChanged = unit != core_.Ctx.UnitIndex.load();
    IniConfig.EinheitIndex = static_cast<uint8_t>(unit);

    // Password, OEM text, density.
    const QString oemText = m.text(fld::EditOEMInputOpt);
    const bool textsChanged = m.text(fld::EditPasswordInput) != shownPassword_ || oemText != shownOemText_ ||
                              m.text(fld::EditVAVDichte) != shownDensity_;
    if (textsChanged)
        IniOem.OEMText = oemText;

    // Folders: a folder that cannot be used keeps the old one; the rest still applies.
    const auto folder = [this, &m](FieldId edit, QString& target) {
        const QString dir = m.text(edit);
        if (FolderUsable(dir))
            target = dir;
        else if (OnError)
            OnError(IniMessageText.Msg(13) + QLatin1Char('\n') + dir);
    };
    folder(fld::EditLogDateiAbl, IniPath.LogDatei);
    folder(fld::EditDefaultDateiAbl, IniPath.DefaultDatei);
    PublishToolIni();

    core_.Flows.Post("OptionsOk", [&core = core_, newPort, comNr = IniCom.COMNr, unit, unitChanged, textsChanged,
                                   oemText, done = OnApplied] {
        if (!newPort.isEmpty())
            core.ChangePort(newPort, comNr);
        if (unitChanged)
            core.ValueEntry.ConvertUnits(unit);
        if (textsChanged) {
            core.Ctx.model.setText(fld::EditOEMInputOptAnzeige, oemText);
            core.RefreshComparison();
        }
        core.ValueEntry.UpdateVminLimit();
        // Only with a controller to work on: the buttons would otherwise act on nothing.
        if (core.DataRead.load())
            core.EnableDeviceButtons(true);
        if (done)
            done();
    });
    return true;
}

void OptionsFlow::Cancel()
{
    WindowModel& m = core_.Ctx.model;
    {
        ChangesSuspended quiet(m, {fld::EditPasswordInput, fld::EditOEMInputOpt, fld::EditVAVDichte});
        m.setText(fld::EditPasswordInput, shownPassword_);
        m.setText(fld::EditOEMInputOpt, shownOemText_);
        m.setText(fld::EditVAVDichte, shownDensity_);
    }
    // The typed texts were compared as they were typed; the restored ones are compared again.
    core_.Flows.Post("OptionsAbort", [&core = core_] {
        core.ValueEntry.UpdateVminLimit();
        core.RefreshComparison();
    });
}

} // namespace kadex
