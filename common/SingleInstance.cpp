#include "common/SingleInstance.h"

#include <QDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kadex {

QString SingleInstanceLock::RuntimeDir()
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(xdg).exists())
        return xdg;
    const QString dir = QDir::tempPath() + QStringLiteral("/kadex-%1").arg(::getuid());
    QDir().mkpath(dir);
    return dir;
}

SingleInstanceLock::SingleInstanceLock(QString name)
    : path_(RuntimeDir() + QLatin1Char('/') + name + QStringLiteral(".lock"))
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

bool SingleInstanceLock::TryAcquire()
{
    if (fd_ >= 0)
        return true;
    const QByteArray p = QFile::encodeName(path_);
    const int fd = ::open(p.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no usable runtime folder: better to run than to refuse
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // Leave the holder's process id for someone looking at the file.
    if (::ftruncate(fd, 0) == 0) {
        const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
        [[maybe_unused]] ssize_t w = ::write(fd, pid.constData(), static_cast<size_t>(pid.size()));
    }
    fd_ = fd;
    return true;
}

} // namespace kadex
