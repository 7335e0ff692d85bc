#pragma once
// A PostgreSQL server of its own for a test: initdb into a temporary folder, started on a
// private Unix socket folder and port, stopped (and removed) at the end. Run as the
// "postgres" user (or "nobody") when the test runs as root, since the server refuses root.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace kadex::test {

class PgServer {
public:
    PgServer()
    {
        const QStringList bins = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                                                      QDir::Name | QDir::Reversed);
        for (const QString& v : bins)
            if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(v))) {
                bin_ = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(v);
                break;
            }
        if (bin_.isEmpty()) {
            const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
            if (!initdb.isEmpty())
                bin_ = QFileInfo(initdb).absolutePath() + QLatin1Char('/');
        }
    }
    ~PgServer() { Stop(); }

    // Empty when the server binaries are there.
    QString Missing() const
    {
        return bin_.isEmpty() ? QStringLiteral("PostgreSQL server binaries (initdb) not installed") : QString();
    }

    bool Init(QString* error)
    {
        if (!dir_.isValid())
            return fail(error, QStringLiteral("no temporary folder"));
        QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                               QFileDevice::ExeGroup | QFileDevice::ExeOther);
        data_ = dir_.path() + QStringLiteral("/data");
        socket_ = dir_.path() + QStringLiteral("/sock");
        QDir().mkpath(data_);
        QDir().mkpath(socket_);
        if (geteuid() == 0) {
            const passwd* pw = getpwnam("postgres");
            if (!pw)
                pw = getpwnam("nobody");
            if (!pw)
                return fail(error, QStringLiteral("no unprivileged user to run the server as"));
            runAs_ = QString::fromLocal8Bit(pw->pw_name);
            for (const QString& p : {data_, socket_})
                if (chown(QFile::encodeName(p).constData(), pw->pw_uid, pw->pw_gid) != 0)
                    return fail(error, QStringLiteral("cannot hand %1 to %2").arg(p, runAs_));
            QFile::setPermissions(socket_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                               QFileDevice::ReadOther | QFileDevice::WriteOther |
                                               QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                               QFileDevice::WriteGroup | QFileDevice::ExeGroup);
        }
        port_ = 20000 + static_cast<int>(QCoreApplication::applicationPid() % 20000);
        return run(QStringLiteral("initdb"), {QStringLiteral("-D"), data_, QStringLiteral("-U"), QStringLiteral("kadex"),
                                              QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                                              QStringLiteral("--no-sync")},
                   error);
    }

    bool Start(QString* error)
    {
        const QString opts = QStringLiteral("-k %1 -p %2 -c listen_addresses='' -c fsync=off").arg(socket_).arg(port_);
        return run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data_, QStringLiteral("-o"), opts, QStringLiteral("-w"),
                                              QStringLiteral("-l"), socket_ + QStringLiteral("/log.txt"),
                                              QStringLiteral("start")},
                   error) &&
               (started_ = true);
    }

    bool Stop(QString* error = nullptr)
    {
        if (!started_)
            return true;
        started_ = false;
        return run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data_, QStringLiteral("-m"), QStringLiteral("fast"),
                                              QStringLiteral("-w"), QStringLiteral("stop")},
                   error);
    }

    // The server's address in the forms the tool takes.
    QString Dsn(const QString& db = QStringLiteral("postgres")) const
    {
        return QStringLiteral("host=%1 port=%2 dbname=%3 user=kadex").arg(socket_).arg(port_).arg(db);
    }

private:
    static bool fail(QString* error, const QString& text)
    {
        if (error)
            *error = text;
        return false;
    }
    bool run(const QString& tool, const QStringList& args, QString* error)
    {
        QProcess p;
        if (runAs_.isEmpty())
            p.start(bin_ + tool, args);
        else
            p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), runAs_, QStringLiteral("--"), bin_ + tool} + args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return fail(error, tool + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAllStandardError()) +
                                   QString::fromLocal8Bit(p.readAllStandardOutput()));
        return true;
    }

    QString bin_, runAs_, data_, socket_;
    QTemporaryDir dir_;
    int port_ = 0;
    bool started_ = false;
};

} // namespace kadex::test
