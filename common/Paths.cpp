#include "common/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace kadex {

static QString withSlash(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString GetLocalAppDataDir()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return withSlash(QDir::cleanPath(xdg));
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        return {};
    return withSlash(QDir::cleanPath(home + QStringLiteral("/.local/share")));
}

QString ProgramPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return QString::fromLocal8Bit(buf, n);
}

QString ProgramDir()
{
    const QString p = ProgramPath();
    if (p.isEmpty())
        return {};
    return withSlash(QFileInfo(p).absolutePath());
}

QString FindDataFile(const QString& name)
{
    const QString beside = ProgramDir() + name;
    if (QFileInfo::exists(beside))
        return beside;
    // <prefix>/bin/program -> <prefix>/share/kadex-tool/name
    const QString installed = QDir::cleanPath(ProgramDir() + QStringLiteral("../share/kadex-tool/") + name);
    if (QFileInfo::exists(installed))
        return installed;
    return {};
}

} // namespace kadex
