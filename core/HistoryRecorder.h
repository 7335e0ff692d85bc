#pragma once
// The service history of the device actions: turns each action the action log gets into a
// history record (as-found and as-left value of each field it touched, from the snapshot
// fields), stores it in the local database and hands it to the sender for the shared server.
// A database that cannot be written is reported once; the device action goes on regardless.
#include "device/DeviceContext.h"
#include "device/model/WindowModel.h"
#include "history/HistoryRecord.h"
#include "history/HistorySender.h"
#include "history/HistoryStore.h"

#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kadex {

class TActionLogger;

class THistoryRecorder {
public:
    THistoryRecorder(WindowModel& model, TDeviceContext& ctx, TActionLogger& log);
    ~THistoryRecorder();
    THistoryRecorder(const THistoryRecorder&) = delete;
    THistoryRecorder& operator=(const THistoryRecorder&) = delete;

    // "kadex-tool" or "kadex-cli".
    QString FrontEnd = QStringLiteral("kadex-tool");
    // Messages in German (the window) or English (the command line).
    bool German = true;
    // The local file (default: history::DefaultDatabasePath()).
    void SetDatabase(const QString& path);
    QString DatabasePath() const;
    // The shared server (libpq words or a URI); empty: none. A server address that cannot be
    // used is reported through OnMessage and false is returned.
    bool SetServer(const QString& dsn);
    // Waits for the records so far to reach the server (see history::Sender::Flush); true at
    // once without a server.
    bool FlushServer(int timeoutMs);
    history::Sender* ServerSender() { return sender_.get(); }

    // The action log's hook: one record for the action the log just got.
    bool Record(const QString& action, const QDateTime& when);
    // The printout's lines about the controller the window shows (history::ReportLines from
    // the local file); empty when the file cannot be read.
    QStringList ReportLines();
    // The record last stored (tests and the window's view).
    std::optional<history::Record> LastRecord() const;

    // Why the last read or write failed; empty when it went through.
    std::function<QString()> LastFailure;
    // A problem (or its end) for the status bar or stderr; any thread.
    std::function<void(const QString& text, bool problem)> OnMessage;
    // A record was stored; any thread.
    std::function<void(const history::Record& r)> OnRecorded;

    // The record the action would make, without storing it (pure apart from the model).
    history::Record Build(const QString& action, const QDateTime& when);

private:
    void message(history::Fault f, const QString& where, const QString& detail);

    WindowModel& m_;
    TDeviceContext& ctx_;
    TActionLogger& log_;
    mutable std::mutex mutex_;
    QString path_;
    std::unique_ptr<history::Database> db_;
    std::thread::id dbThread_;
    std::unique_ptr<history::Sender> sender_;
    history::Fault reported_ = history::Fault::None;
    // What the controller held when last seen (snapshot field order), and the last write.
    QString knownSerial_;
    std::vector<QJsonValue> known_;
    std::optional<history::Record> lastWrite_;
    std::optional<history::Record> last_;
};

} // namespace kadex
