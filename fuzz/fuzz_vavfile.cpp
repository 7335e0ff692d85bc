// Arbitrary bytes as a calibration-set file: a refused file changes neither the stored lines
// nor any field; an accepted one is stored as read, applies without harm and saves again as a
// file that is accepted too.
#include "device/model/WindowFields.h"
#include "core/MainCore.h"
#include "settings/VavFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

using namespace kadex;

namespace {

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

QStringList fieldTexts(const WindowModel& m)
{
    QStringList s;
    for (const QString& name : m.names())
        s << m.text(name) << QString::number(m.value(name)) << (m.checked(name) ? "1" : "0");
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static WindowModel model(mainWindowFields());
    static TMainCore core(model);
    static const QString path = QDir::tempPath() + QStringLiteral("/fuzz_vavfile_%1.vav").arg(getpid());
    static const QString again = QDir::tempPath() + QStringLiteral("/fuzz_vavfile_%1_again.vav").arg(getpid());
    model.setMisuse(WindowModel::Misuse::Warn);

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(path);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QString header, values;
    VavError why;
    const bool accepted = ParseVavFile(bytes, header, values, why);
    check(accepted || (why.line >= 1 && why.column >= 0 && !why.reason.isEmpty()));

    const QStringList fieldsBefore = fieldTexts(model);
    const QString oldHeader = core.OEMData.DefaultHeader, oldValues = core.OEMData.DefaultValues;
    const QString msg = core.DefaultFile.Open(path);
    check(msg.isEmpty() == accepted);
    if (!accepted) {
        check(core.OEMData.DefaultHeader == oldHeader && core.OEMData.DefaultValues == oldValues);
        check(fieldTexts(model) == fieldsBefore);
        return 0;
    }
    check(core.OEMData.DefaultHeader == header && core.OEMData.DefaultValues == values);
    core.DefaultFile.DefaultLaden();
    check(core.DefaultFile.Save(again).isEmpty());
    QFile f(again);
    check(f.open(QIODevice::ReadOnly));
    QString h2, v2;
    VavError e2;
    check(ParseVavFile(f.readAll(), h2, v2, e2));
    return 0;
}
