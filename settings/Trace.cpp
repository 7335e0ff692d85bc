#include "settings/Trace.h"

#include "common/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <cerrno>
#include <cstdio>
#include <cxxabi.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace kadex {

constinit TTraceChannel TraceMain("Main");

namespace {

// Drops namespace qualifiers outside template arguments: "kadex::TOEMData" -> "TOEMData".
QString withoutNamespace(const QString& name)
{
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i + 1 < name.size(); ++i) {
        const QChar c = name[i];
        if (c == QLatin1Char('<'))
            ++depth;
        else if (c == QLatin1Char('>'))
            --depth;
        else if (depth == 0 && c == QLatin1Char(':') && name[i + 1] == QLatin1Char(':'))
            start = i + 2;
    }
    return name.mid(start);
}

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

TTrace& TTrace::Instance()
{
    // Never destroyed: a worker thread may still trace while the program exits.
    static TTrace* const trace = new TTrace;
    return *trace;
}

void TTrace::Setup()
{
    const QString base = GetLocalAppDataDir();
    {
        std::lock_guard<std::mutex> lk(m_);
        closeLocked();
        appName_ = QFileInfo(ProgramPath()).fileName();
        fileName_ = base.isEmpty() ? QString() : base + QStringLiteral("Kadex_Logs/Log.sil");
        maxPartSize_ = DefaultMaxPartSize;
        started_ = false;
    }
    ::tzset();
    on_.store(qEnvironmentVariable("KADEX_TRACE") == QLatin1String("1") && !base.isEmpty(),
              std::memory_order_relaxed);
}

void SetupTrace()
{
    TTrace::Instance().Setup();
}

void TTrace::SetEnabled(bool on)
{
    on_.store(on, std::memory_order_relaxed);
}

QString TTrace::ApplicationName() const
{
    std::lock_guard<std::mutex> lk(m_);
    return appName_;
}

QString TTrace::FileName() const
{
    std::lock_guard<std::mutex> lk(m_);
    return fileName_;
}

QString TTrace::OutputSetting() const
{
    std::lock_guard<std::mutex> lk(m_);
    return outputSettingLocked();
}

QString TTrace::outputSettingLocked() const
{
    const qint64 mb = 1024 * 1024;
    const QString size = maxPartSize_ % mb == 0 ? QString::number(maxPartSize_ / mb) + QStringLiteral("MB")
                                                : QString::number(maxPartSize_);
    return QStringLiteral("file(filename=\"%1\", maxsize=\"%2\", maxparts=%3, append=true)")
        .arg(fileName_, size, QString::number(MaxParts));
}

QString TTrace::PartFileName(int part) const
{
    std::lock_guard<std::mutex> lk(m_);
    return partNameLocked(part);
}

QString TTrace::partNameLocked(int part) const
{
    const QFileInfo fi(fileName_);
    const QString suffix = fi.suffix();
    if (suffix.isEmpty())
        return fileName_ + QLatin1Char('.') + QString::number(part);
    return fi.path() + QLatin1Char('/') + fi.completeBaseName() + QLatin1Char('.') + QString::number(part)
           + QLatin1Char('.') + suffix;
}

void TTrace::SetOutput(const QString& fileName, qint64 maxPartSize)
{
    std::lock_guard<std::mutex> lk(m_);
    closeLocked();
    fileName_ = fileName;
    maxPartSize_ = maxPartSize > 0 ? maxPartSize : DefaultMaxPartSize;
    started_ = false;
}

void TTrace::closeLocked()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

bool TTrace::openLocked()
{
    if (fileName_.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(fileName_).path());
    const QByteArray path = QFile::encodeName(fileName_);
    fd_ = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return false;
    struct stat st {};
    size_ = ::fstat(fd_, &st) == 0 ? st.st_size : 0;
    return true;
}

void TTrace::rotateLocked()
{
    closeLocked();
    const auto enc = [](const QString& s) { return QFile::encodeName(s); };
    ::unlink(enc(partNameLocked(MaxParts - 1)).constData());
    for (int i = MaxParts - 2; i >= 1; --i)
        ::rename(enc(partNameLocked(i)).constData(), enc(partNameLocked(i + 1)).constData());
    ::rename(enc(fileName_).constData(), enc(partNameLocked(1)).constData());
}

QByteArray TTrace::formatEntry(QAnyStringView kind, QAnyStringView text)
{
    QString line = QStringLiteral(" [") + QString::number(static_cast<qint64>(::gettid())) + QStringLiteral("] ");
    line += kind.toString();
    line += QLatin1Char(' ');
    QString body = text.toString();
    // One entry, one line.
    body.replace(QLatin1Char('\r'), QLatin1Char(' '));
    body.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line += body;
    QByteArray bytes = line.toUtf8();
    bytes += '\n';
    return bytes;
}

QByteArray TTrace::timestamp()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm t {};
    ::localtime_r(&ts.tv_sec, &t);
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", t.tm_year + 1900,
                                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, ts.tv_nsec / 1000000);
    return QByteArray(buf, n > 0 ? std::min<int>(n, sizeof buf - 1) : 0);
}

void TTrace::Write(QAnyStringView kind, QAnyStringView text)
{
    const QByteArray entry = formatEntry(kind, text);
    std::lock_guard<std::mutex> lk(m_);
    if (fd_ < 0 && !openLocked())
        return;
    if (!started_) {
        // Marks where each run begins in a file appended to across runs.
        started_ = true;
        writeLocked(formatEntry(u"Start", QStringLiteral("%1 (pid %2) %3")
                                              .arg(appName_, QString::number(::getpid()), outputSettingLocked())));
    }
    writeLocked(entry);
}

void TTrace::writeLocked(const QByteArray& tail)
{
    // Stamped under the lock, so the file is in time order.
    const QByteArray entry = timestamp() + tail;
    if (size_ > 0 && size_ + entry.size() > maxPartSize_) {
        rotateLocked();
        if (!openLocked())
            return;
    }
    if (fd_ < 0)
        return;
    if (writeAll(fd_, entry.constData(), entry.size()))
        size_ += entry.size();
}

QString TTraceChannel::DemangledName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                std::free);
    return withoutNamespace(QString::fromUtf8(status == 0 && name ? name.get() : type.name()));
}

QString TTraceChannel::QObjectClassName(const QObject* object)
{
    return withoutNamespace(QString::fromLatin1(object->metaObject()->className()));
}

void TTraceChannel::writeMethod(QAnyStringView kind, QAnyStringView className, QAnyStringView method) const
{
    if (className.isEmpty()) {
        TTrace::Instance().Write(kind, method);
        return;
    }
    TTrace::Instance().Write(kind, className.toString() + QLatin1Char('.') + method.toString());
}

void TTraceChannel::writeValue(QAnyStringView title, const QString& value) const
{
    TTrace::Instance().Write(u"Value", title.toString() + QStringLiteral(" = ") + value);
}

} // namespace kadex
