// "history [SERIAL]": the service history of the controllers, and the history set-up every
// command that acts on a controller shares (front end, messages, the shared server).
#include "cli/CliCommon.h"

#include "history/HistoryStore.h"
#include "core/HistoryRecorder.h"
#include "settings/IniFile.h"
#include "settings/ToolIni.h"

#include <QFileInfo>
#include <QJsonArray>

namespace kadex::cli {

namespace {

// How long a command waits at its end for its records to reach the server.
constexpr int kFlushMs = 15000;

QString serverFromSettings()
{
    const QString path = GetToolIniPath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return {};
    TIniFile ini(path);
    return ini.ReadString(u"PATH", u"HistorieServer", QString()).trimmed();
}

} // namespace

QString HistoryServer(const Options& o)
{
    return o.history ? *o.history : serverFromSettings();
}

void ConfigureHistory(THistoryRecorder& h, const Options& o)
{
    h.FrontEnd = QStringLiteral("kadex-cli");
    h.German = false;
    h.OnMessage = [](const QString& text, bool) { err() << "kadex-cli: " << text << Qt::endl; };
    h.SetServer(HistoryServer(o));
}

void FinishHistory(THistoryRecorder& h)
{
    // A server that is away was reported already; its records wait in the local file.
    h.FlushServer(kFlushMs);
}

int runHistory(const Options& o)
{
    QDateTime since;
    if (o.since) {
        const QString s = o.since->trimmed();
        const QDate d = QDate::fromString(s, Qt::ISODate);
        if (d.isValid())
            since = QDateTime(d, QTime(0, 0));
        else
            since = QDateTime::fromString(s, Qt::ISODate);
        if (!since.isValid())
            return usageError(QStringLiteral("--since needs a date YYYY-MM-DD or a time YYYY-MM-DDTHH:MM[:SS], not '%1'")
                                  .arg(s));
    }
    const QString path = history::DefaultDatabasePath();
    const QString dsn = HistoryServer(o);
    if (dsn.isEmpty() && (path.isEmpty() || !QFileInfo::exists(path))) {
        if (o.json)
            printJson(QJsonObject{{QStringLiteral("records"), QJsonArray()}});
        else
            out() << "No history yet." << Qt::endl;
        return ExitOk;
    }
    // The shared server when one is set: it has every technician's records.
    history::Database db;
    bool open = false;
    QString where = path;
    if (!dsn.isEmpty()) {
        QString error;
        const auto server = history::ParseServer(dsn, &error);
        if (!server)
            return usageError(QStringLiteral("--history: ") + error);
        open = db.OpenServer(*server);
        if (!open)
            err() << "kadex-cli: " << history::FaultText(db.LastFault(), server->Display(), db.LastError())
                  << "; showing the local history" << Qt::endl;
        else
            where = server->Display();
    }
    if (!open && !db.OpenLocal(path)) {
        err() << "kadex-cli: " << history::FaultText(db.LastFault(), path, db.LastError()) << Qt::endl;
        return ExitFailure;
    }
    history::ListQuery q;
    q.serial = o.args.value(0).trimmed();
    q.since = since;
    const auto records = db.List(q);
    if (!records) {
        err() << "kadex-cli: " << history::FaultText(db.LastFault(), where, db.LastError()) << Qt::endl;
        return ExitFailure;
    }
    if (o.json) {
        QJsonArray a;
        for (const history::Record& r : *records)
            a.append(history::ToJson(r));
        printJson(QJsonObject{{QStringLiteral("records"), a}});
        return ExitOk;
    }
    if (records->empty())
        out() << "No records." << Qt::endl;
    for (const history::Record& r : *records) {
        out() << r.at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << "  " << Printable(r.serial)
              << "  " << Printable(r.action) << " (" << history::KindWord(r.kind) << "): " << history::ResultWord(r.result);
        if (!r.reason.isEmpty())
            out() << " - " << Printable(r.reason);
        out() << "  [" << r.frontEnd << ", " << Printable(r.user) << '@' << Printable(r.host) << ", "
              << Printable(r.busAddress) << ", firmware " << Printable(r.firmware) << "]\n";
        for (const history::FieldChange& f : r.fields) {
            out() << "    " << f.key << ": " << Printable(history::ShownValue(f.found)) << " -> "
                  << Printable(history::ShownValue(f.left));
            if (!f.unit.isEmpty())
                out() << ' ' << f.unit;
            out() << '\n';
        }
    }
    out().flush();
    return ExitOk;
}

} // namespace kadex::cli
