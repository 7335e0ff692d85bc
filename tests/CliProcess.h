#pragma once
// Runs a program of the build to its end and keeps what it printed (command-line tests).
#include <QProcess>
#include <QString>
#include <QStringList>

namespace kadex::test {

struct CliRun {
    int exitCode = -1; // -1: crashed or hung
    QString out, err;
};

inline CliRun RunToEnd(const QString& program, const QStringList& args,
                       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    CliRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace kadex::test
