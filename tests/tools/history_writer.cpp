// Test helper: writes service-history records into a local history file as fast as it can,
// optionally sending them to a server, so that tests can run several writers at once or kill
// one in the middle of a write.
//   history-writer DB COUNT PREFIX [DSN]   (COUNT 0: until killed)
#include "history/HistorySender.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QTextStream>

#include <memory>

using namespace kadex::history;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 4)
        return 2;
    const QString path = a[1];
    const int count = a[2].toInt();
    const QString prefix = a[3];
    Database db;
    if (!db.OpenLocal(path)) {
        QTextStream(stderr) << db.LastError() << '\n';
        return 1;
    }
    std::unique_ptr<Sender> sender;
    if (a.size() > 4) {
        QString error;
        const auto server = ParseServer(a[4], &error);
        if (!server)
            return 2;
        sender = std::make_unique<Sender>(path, *server);
        sender->retryMs = 100;
    }
    for (int i = 0; count == 0 || i < count; ++i) {
        Record r;
        r.id = NewRecordId();
        r.serial = QStringLiteral("%1-%2").arg(prefix).arg(i % 7);
        r.firmware = QStringLiteral("0308");
        r.at = QDateTime::currentDateTimeUtc();
        r.frontEnd = QStringLiteral("writer");
        r.kind = Kind::Write;
        r.action = QStringLiteral("Setzen");
        r.result = Result::Written;
        for (int f = 0; f < 5; ++f)
            r.fields.push_back({QStringLiteral("operating.F%1").arg(f), QStringLiteral("%"), QString::number(i),
                                QString::number(i + f)});
        if (!db.Add(r)) {
            QTextStream(stderr) << "record " << i << ": " << db.LastError() << '\n';
            return 1;
        }
        if (sender)
            sender->Wake();
    }
    if (sender && !sender->Flush(60000))
        return 3;
    QTextStream(stdout) << "done " << count << '\n';
    return 0;
}
