// "save FILE.vav", "write FILE.vav" and "report": calibration-set files and the settings
// printout on a headless main-window core, connected and read as the window does.
#include "cli/CliCommon.h"

#include "device/model/WindowFields.h"
#include "mainwindow/ReportPaint.h"
#include "core/MainCore.h"
#include "core/SettingsReport.h"
#include "settings/Texts.h"
#include "settings/VavFile.h"
#include "sim/SimLink.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace kadex::cli {

namespace {

class FileSession {
public:
    explicit FileSession(const Options& o)
        : o_(o), core_(model_, o.simulate ? sim::MakeSimulatedLink().transport : nullptr)
    {
        model_.setMisuse(WindowModel::Misuse::Warn);
        ConfigureCore(core_, o, sink_);
        core_.ActionLog.OnMessage = [](const QString& text, bool) {
            err() << "kadex-cli: action log: " << QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << Qt::endl;
        };
    }
    ~FileSession()
    {
        SetErrorPort(nullptr);
        SetErrorBus(nullptr);
        core_.ZB.SetClosing(true);
        core_.Close();
    }
    FileSession(const FileSession&) = delete;
    FileSession& operator=(const FileSession&) = delete;

    // Port, identification and the read of all three records.
    int Connect()
    {
        if (!core_.Com.OpenPort())
            return portError(o_, core_.Com);
        SetErrorPort(&core_.Com);
        SetErrorBus(&core_.ZB);
        if (!core_.COMVerbinden())
            return deviceError(o_);
        return ExitOk;
    }
    int Read() { return core_.ButtonLesenClick() ? ExitOk : failure(); }
    int Write() { return core_.ButtonSetzenClick() ? ExitOk : failure(); }
    WindowModel& Model() { return model_; }
    TMainCore& Core() { return core_; }

private:
    int failure() { return core_.Com.LinkLost() ? portLostError(core_.Com) : deviceError(o_); }

    const Options& o_;
    WindowModel model_{mainWindowFields()};
    StderrSink sink_;
    TMainCore core_;
};

int fileError(const QString& msg)
{
    err() << "kadex-cli: " << msg << Qt::endl;
    return ExitUsage;
}

bool isVav(const QString& path) { return QFileInfo(path).suffix().compare(QLatin1String("vav"), Qt::CaseInsensitive) == 0; }

} // namespace

bool IsVavFile(const QString& path) { return isVav(path); }

int runSaveVav(const Options& o)
{
    const QString path = o.args.value(0);
    if (!isVav(path))
        return usageError(QStringLiteral("save writes a .vav file, not '%1'").arg(path));
    FileSession s(o);
    if (const int rc = s.Connect(); rc != ExitOk)
        return rc;
    const QString msg = s.Core().DefaultFile.Save(path);
    if (!msg.isEmpty())
        return fileError(QStringLiteral("cannot write %1 (%2)").arg(path, msg.section(QLatin1Char('\n'), -1)));
    out() << "Saved the calibration set of " << s.Model().text(fld::EditSerNr) << " to " << path << '\n';
    out().flush();
    return ExitOk;
}

int runWriteVav(const Options& o)
{
    const QString path = o.args.value(0);
    // The whole file is checked before the port is opened: a bad file writes nothing.
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fileError(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()));
    QString header, values;
    VavError why;
    if (!ParseVavFile(f.read(1 << 20), header, values, why))
        return fileError(QStringLiteral("%1: %2; nothing written").arg(path, why.Text()));
    FileSession s(o);
    if (const int rc = s.Connect(); rc != ExitOk)
        return rc;
    TMainCore& core = s.Core();
    if (const QString msg = core.DefaultFile.Open(path); !msg.isEmpty())
        return fileError(QStringLiteral("%1 changed while it was written; nothing written").arg(path));
    core.DefaultFile.DefaultLaden();
    if (const int rc = s.Write(); rc != ExitOk)
        return rc;
    if (const int rc = s.Read(); rc != ExitOk)
        return rc;
    // What the device holds, as the file would say it.
    core.DefaultFile.BuildDefaultLines();
    const QStringList want = values.split(QLatin1Char('\t'));
    const QStringList have = core.OEMData.DefaultValues.split(QLatin1Char('\t'));
    const QStringList names = header.split(QLatin1Char('\t'));
    int differ = 0;
    for (int c = 1; c < want.size(); ++c) // column 1 holds nothing
        if (want[c] != have.value(c)) {
            ++differ;
            err() << "kadex-cli: column " << c + 1 << " (" << names.value(c) << ") was written as '" << want[c]
                  << "' but the device holds '" << have.value(c) << "'" << Qt::endl;
        }
    if (differ == 0) {
        out() << "Wrote " << path << " to " << s.Model().text(fld::EditSerNr) << "; the device holds it as written.\n";
        out().flush();
    }
    return differ == 0 ? ExitOk : ExitDevice;
}

int runReport(const Options& o)
{
    FileSession s(o);
    if (const int rc = s.Connect(); rc != ExitOk)
        return rc;
    TMainCore& core = s.Core();
    const QStringList lines = BuildSettingsReport(s.Model(), core.OEMData, core.Ctx.ReglerFkt.load(),
                                                  core.Ctx.UnitIndex.load(), CurrentTexts()->EinstDat,
                                                  QDateTime::currentDateTime());
    if (!o.output.isEmpty()) {
        if (const QString why = SaveSettingsReport(o.output, lines); !why.isEmpty())
            return fileError(QStringLiteral("cannot write %1: %2").arg(o.output, why));
    } else if (o.pdf.isEmpty()) {
        for (const QString& l : lines)
            out() << l << '\n';
        out().flush();
    }
    if (!o.pdf.isEmpty()) {
        QString why;
        if (!WriteReportPdf(o.pdf, lines, QString::fromLatin1(kReportTitle), &why))
            return fileError(QStringLiteral("cannot write %1: %2").arg(o.pdf, why));
    }
    return ExitOk;
}

} // namespace kadex::cli
