#include "core/HistoryRecorder.h"

#include "device/SnapshotFile.h"
#include "device/model/WindowFields.h"
#include "core/ActionLogger.h"
#include "settings/Texts.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace kadex {

using namespace history;

namespace {

QString jsonText(const QJsonValue& v)
{
    if (v.isUndefined() || v.isNull())
        return {};
    const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

bool same(const snapshot::FieldRef& ref, const QJsonValue& a, const QJsonValue& b)
{
    if (a.isUndefined() || b.isUndefined())
        return a.isUndefined() == b.isUndefined();
    return recfields::SameValue(*ref.field, a, b);
}

FieldChange change(const snapshot::FieldRef& ref, const QJsonValue& found, const QJsonValue& left)
{
    return {ref.Key(), QString::fromUtf8(ref.field->unit), jsonText(found), jsonText(left)};
}

} // namespace

THistoryRecorder::THistoryRecorder(WindowModel& model, TDeviceContext& ctx, TActionLogger& log)
    : m_(model), ctx_(ctx), log_(log), path_(DefaultDatabasePath())
{
}

THistoryRecorder::~THistoryRecorder()
{
    sender_.reset();
    db_.reset();
}

void THistoryRecorder::SetDatabase(const QString& path)
{
    std::lock_guard<std::mutex> lk(mutex_);
    path_ = path;
    db_.reset();
}

QString THistoryRecorder::DatabasePath() const
{
    std::lock_guard<std::mutex> lk(mutex_);
    return path_;
}

bool THistoryRecorder::SetServer(const QString& dsn)
{
    std::unique_ptr<Sender> old;
    {
        std::lock_guard<std::mutex> lk(mutex_);
        old = std::move(sender_);
    }
    old.reset();
    if (dsn.trimmed().isEmpty())
        return true;
    QString error;
    const auto server = ParseServer(dsn, &error);
    if (!server) {
        if (OnMessage)
            OnMessage((German ? QStringLiteral("Verlaufsserver: ") : QStringLiteral("history server: ")) + error, true);
        return false;
    }
    auto sender = std::make_unique<Sender>(DatabasePath(), *server);
    sender->OnMessage = [this](Fault f, const QString& text) {
        if (!OnMessage)
            return;
        if (German && f != Fault::None)
            OnMessage(QStringLiteral("Verlauf: ") + FaultTextGerman(f == Fault::NewerSchema ? f : Fault::Unreachable,
                                                                    QString(), QString()).trimmed() +
                          QStringLiteral(" (") + text + QLatin1Char(')'),
                      true);
        else
            OnMessage(QStringLiteral("history: ") + text, f != Fault::None);
    };
    std::lock_guard<std::mutex> lk(mutex_);
    sender_ = std::move(sender);
    return true;
}

bool THistoryRecorder::FlushServer(int timeoutMs)
{
    std::lock_guard<std::mutex> lk(mutex_);
    return !sender_ || sender_->Flush(timeoutMs);
}

QStringList THistoryRecorder::ReportLines()
{
    Database db;
    if (!db.OpenLocal(DatabasePath()))
        return {};
    ListQuery q;
    q.serial = m_.text(fld::EditSerNr);
    q.limit = 200;
    const auto records = db.List(q);
    return records ? history::ReportLines(*records) : QStringList();
}

std::optional<history::Record> THistoryRecorder::LastRecord() const
{
    std::lock_guard<std::mutex> lk(mutex_);
    return last_;
}

history::Record THistoryRecorder::Build(const QString& action, const QDateTime& when)
{
    history::Record r;
    r.id = NewRecordId();
    r.serial = m_.text(fld::EditSerNr);
    r.firmware = m_.text(fld::EditFirmware);
    r.typeText = m_.text(fld::EditFenwix);
    r.busAddress = m_.text(fld::EditZBAdr);
    r.at = when.toUTC();
    r.frontEnd = FrontEnd;
    r.user = CurrentUser();
    r.host = CurrentHost();
    r.action = action;

    const auto texts = CurrentTexts();
    const QString write = log_.WriteAction();
    if (action == log_.ReadAction())
        r.kind = history::Kind::Read;
    else if (action == write)
        r.kind = history::Kind::Write;
    else if (action.startsWith(write + QLatin1Char(' ')))
        r.kind = history::Kind::FocusedWrite;
    else if (action == texts->LogFile.UmgebungEinstellen)
        r.kind = history::Kind::Ambient;
    else if (action.startsWith(texts->LogFile.ZBAdresse))
        r.kind = history::Kind::Address;

    const QString failure = LastFailure && (r.kind == history::Kind::Read || r.kind == history::Kind::Write) ? LastFailure() : QString();
    const auto& refs = snapshot::AllFields();
    const std::vector<QJsonValue> now = snapshot::ValuesOf(m_);
    const bool knownHere = knownSerial_ == r.serial && known_.size() == refs.size();
    auto changes = [&](const std::vector<QJsonValue>& before, bool leftKnown) {
        for (size_t i = 0; i < refs.size(); ++i) {
            if (refs[i].field->secret)
                continue;
            if (!same(refs[i], before[i], now[i]))
                r.fields.push_back(change(refs[i], before[i], leftKnown ? now[i] : QJsonValue()));
        }
    };

    switch (r.kind) {
    case history::Kind::Read: {
        if (!failure.isEmpty()) {
            r.result = Result::Failed;
            r.reason = failure;
            lastWrite_.reset();
            break;
        }
        if (lastWrite_ && lastWrite_->serial == r.serial) {
            // The read right after a write: does the controller hold what was left in it?
            r.kind = history::Kind::ReadBack;
            r.result = Result::Verified;
            for (const FieldChange& w : lastWrite_->fields) {
                for (size_t i = 0; i < refs.size(); ++i) {
                    if (refs[i].Key() != w.key)
                        continue;
                    const QString held = jsonText(now[i]);
                    const QJsonValue written = QJsonDocument::fromJson(("[" + w.left + "]").toUtf8()).array().at(0);
                    const bool equal = same(refs[i], written, now[i]);
                    if (!equal)
                        r.result = Result::NotHeld;
                    r.fields.push_back({w.key, w.unit, w.left, held});
                }
            }
            lastWrite_.reset();
        } else {
            // The day's first read of this controller keeps everything it showed (found = left);
            // later ones only what changed since it was last seen.
            const QDateTime dayStart = QDateTime(when.toLocalTime().date(), QTime(0, 0)).toUTC();
            std::optional<bool> had;
            if (db_)
                had = db_->HasFullSetSince(r.serial, dayStart);
            if (!had.value_or(false) && !r.serial.isEmpty()) {
                r.fullSet = true;
                for (size_t i = 0; i < refs.size(); ++i)
                    if (!refs[i].field->secret && !now[i].isUndefined())
                        r.fields.push_back(change(refs[i], now[i], now[i]));
            } else if (knownHere) {
                changes(known_, true);
            }
        }
        knownSerial_ = r.serial;
        known_ = now;
        break;
    }
    case history::Kind::Write:
    case history::Kind::FocusedWrite:
    case history::Kind::Ambient: {
        if (knownHere)
            changes(known_, failure.isEmpty());
        else
            for (size_t i = 0; i < refs.size(); ++i)
                if (!refs[i].field->secret && !now[i].isUndefined())
                    r.fields.push_back(change(refs[i], QJsonValue(), failure.isEmpty() ? now[i] : QJsonValue()));
        if (!failure.isEmpty()) {
            r.result = Result::Failed;
            r.reason = failure;
            // What the controller took is not known any more.
            known_.clear();
            lastWrite_.reset();
        } else {
            r.result = r.kind == history::Kind::Ambient ? Result::Ok : Result::Written;
            knownSerial_ = r.serial;
            known_ = now;
            if (r.kind != history::Kind::Ambient)
                lastWrite_ = r;
        }
        break;
    }
    default:
        r.result = Result::Ok;
        break;
    }
    return r;
}

void THistoryRecorder::message(Fault f, const QString& where, const QString& detail)
{
    if (f == reported_)
        return;
    reported_ = f;
    if (!OnMessage || f == Fault::None)
        return;
    if (German)
        OnMessage(QStringLiteral("Verlauf nicht gespeichert: ") + FaultTextGerman(f, where, detail), true);
    else
        OnMessage(QStringLiteral("history not kept: ") + FaultText(f, where, detail), true);
}

bool THistoryRecorder::Record(const QString& action, const QDateTime& when)
{
    std::unique_lock<std::mutex> lk(mutex_);
    if (path_.isEmpty())
        return false;
    // A connection belongs to the thread that opened it.
    if (db_ && dbThread_ != std::this_thread::get_id())
        db_.reset();
    if (!db_) {
        db_ = std::make_unique<Database>();
        dbThread_ = std::this_thread::get_id();
        if (!db_->OpenLocal(path_)) {
            const Fault f = db_->LastFault();
            const QString e = db_->LastError();
            db_.reset();
            (void)Build(action, when); // what the controller holds is still worth knowing
            message(f, path_, e);
            return false;
        }
    }
    const history::Record r = Build(action, when);
    if (!db_->Add(r)) {
        message(db_->LastFault(), path_, db_->LastError());
        db_.reset();
        return false;
    }
    if (reported_ != Fault::None) {
        reported_ = Fault::None;
        if (OnMessage)
            OnMessage(German ? QStringLiteral("Verlauf wird wieder gespeichert: %1").arg(path_)
                             : QStringLiteral("history: %1 is kept again").arg(path_),
                      false);
    }
    last_ = r;
    if (sender_)
        sender_->Wake();
    lk.unlock();
    if (OnRecorded)
        OnRecorded(r);
    return true;
}

} // namespace kadex
