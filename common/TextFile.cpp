#include "common/TextFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace kadex {

namespace {
// Code points of bytes 0x80..0x9F; undefined bytes keep their own value.
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
} // namespace

QString FromCp1252(const char* data, qsizetype size)
{
    QString out;
    out.resize(size);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        dst[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return out;
}

QString FromCp1252(const QByteArray& bytes)
{
    return FromCp1252(bytes.constData(), bytes.size());
}

int Cp1252Byte(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u)
            return 0x80 + i;
    return -1;
}

QByteArray ToCp1252(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        const int b = Cp1252Byte(c);
        out.append(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

bool ReadTextFileLines(const QString& path, QStringList& lines, QString* error)
{
    lines.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return false;
    }
    lines = SplitLines(FromCp1252(data));
    return true;
}

static QByteArray joinCrLf(const QStringList& lines)
{
    QByteArray data;
    for (const QString& l : lines) {
        data += ToCp1252(l);
        data += "\r\n";
    }
    return data;
}

namespace {
std::mutex hookMutex;
std::function<bool(WriteStep)> faultHook;

// True when the step is to fail; errno is then set as a full disk would set it.
bool injected(WriteStep step)
{
    std::function<bool(WriteStep)> hook;
    {
        std::lock_guard<std::mutex> lk(hookMutex);
        hook = faultHook;
    }
    if (!hook || !hook(step))
        return false;
    errno = ENOSPC;
    return true;
}
} // namespace

const char* WriteStepName(WriteStep step)
{
    switch (step) {
    case WriteStep::Open: return "open";
    case WriteStep::Write: return "write";
    case WriteStep::Flush: return "flush";
    case WriteStep::Sync: return "sync";
    case WriteStep::Close: return "close";
    case WriteStep::Rename: return "rename";
    }
    return "?";
}

void SetWriteFaultHook(std::function<bool(WriteStep)> hook)
{
    std::lock_guard<std::mutex> lk(hookMutex);
    faultHook = std::move(hook);
}

bool WriteFileAtomic(const QString& path, const QByteArray& data, int mode, QString* error)
{
    QString target = path;
    const QFileInfo fi(path);
    if (fi.isSymLink() && !fi.canonicalFilePath().isEmpty())
        target = fi.canonicalFilePath();
    const QFileInfo ti(target);
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray dirName = QFile::encodeName(ti.absolutePath());

    auto fail = [&](WriteStep step, const QByteArray& tmp) {
        const int e = errno;
        if (!tmp.isEmpty())
            ::unlink(tmp.constData());
        if (error)
            *error = QStringLiteral("%1: %2 failed: %3")
                         .arg(target, QLatin1String(WriteStepName(step)), QString::fromLocal8Bit(std::strerror(e)));
        return false;
    };

    struct stat st {};
    const bool existed = ::stat(targetName.constData(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return fail(WriteStep::Open, {});
    }
    // A file made read-only stays as it is, although the folder would let it be replaced.
    if (existed && ::access(targetName.constData(), W_OK) != 0)
        return fail(WriteStep::Open, {});
    // Beside the target, so that the rename stays within one file system.
    QByteArray tmp;
    int fd = -1;
    if (!injected(WriteStep::Open)) {
        for (int i = 0; i < 100 && fd < 0; ++i) {
            tmp = dirName + "/." + QFile::encodeName(ti.fileName()) + ".tmp"
                + QByteArray::number(static_cast<qint64>(::getpid())) + "-" + QByteArray::number(i);
            fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode >= 0 ? 0600 : 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (fd < 0)
        return fail(WriteStep::Open, {});
    const mode_t bits = mode >= 0 ? static_cast<mode_t>(mode) : (existed ? (st.st_mode & 07777) : 0);
    if ((mode >= 0 || existed) && ::fchmod(fd, bits) != 0) {
        ::close(fd);
        return fail(WriteStep::Open, tmp);
    }
    FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        return fail(WriteStep::Open, tmp);
    }
    auto failOpen = [&](WriteStep step) {
        const int e = errno;
        std::fclose(f);
        errno = e;
        return fail(step, tmp);
    };
    if (injected(WriteStep::Write)
        || (!data.isEmpty() && std::fwrite(data.constData(), 1, static_cast<size_t>(data.size()), f) != static_cast<size_t>(data.size())))
        return failOpen(WriteStep::Write);
    if (injected(WriteStep::Flush) || std::fflush(f) != 0)
        return failOpen(WriteStep::Flush);
    if (injected(WriteStep::Sync) || ::fsync(::fileno(f)) != 0)
        return failOpen(WriteStep::Sync);
    if (injected(WriteStep::Close)) {
        const int e = errno;
        std::fclose(f);
        errno = e;
        return fail(WriteStep::Close, tmp);
    }
    if (std::fclose(f) != 0)
        return fail(WriteStep::Close, tmp);
    if (injected(WriteStep::Rename) || ::rename(tmp.constData(), targetName.constData()) != 0)
        return fail(WriteStep::Rename, tmp);
    // The rename itself reaches the disk with the folder.
    const int dfd = ::open(dirName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool WriteTextFileLines(const QString& path, const QStringList& lines, QString* error)
{
    return WriteFileAtomic(path, joinCrLf(lines), -1, error);
}

bool AppendTextFileLines(const QString& path, const QStringList& lines, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray data = joinCrLf(lines);
    if (f.write(data) != data.size()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

} // namespace kadex
