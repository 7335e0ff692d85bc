#include "common/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kadex {

namespace {

QString sysError() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool writeAll(int fd, const char* p, qsizetype n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, static_cast<size_t>(n));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= w;
    }
    return true;
}

} // namespace

bool WriteFileAtomic(const QString& path, const QByteArray& data, QString* error)
{
    const QFileInfo info(path);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    QByteArray tmpl = QFile::encodeName(info.absoluteFilePath()) + ".XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error)
            *error = sysError();
        return false;
    }
    bool ok = writeAll(fd, data.constData(), data.size()) && ::fsync(fd) == 0;
    QString why = ok ? QString() : sysError();
    // A replaced file keeps the permissions the user gave it.
    struct stat st {};
    if (ok && ::stat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);
    else if (ok)
        ::fchmod(fd, 0644);
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = sysError();
    }
    if (ok && ::rename(tmpl.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        ok = false;
        why = sysError();
    }
    if (!ok) {
        ::unlink(tmpl.constData());
        if (error)
            *error = why;
        return false;
    }
    // The rename itself must reach the disk too.
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

FileLock::FileLock(const QString& path)
{
    const QByteArray name = QFile::encodeName(path + QStringLiteral(".lock"));
    fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
}

FileLock::~FileLock()
{
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

} // namespace kadex
