#include "core/HelpDocument.h"

#include "common/Paths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kadex {

namespace {

const QString kProduct = QStringLiteral("Kadex");

// The extension is what follows the last dot of the file name itself, not of a folder.
QString WithPdfExtension(const QString& name)
{
    const qsizetype slash = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? name.left(dot) : name;
    return stem + QStringLiteral(".pdf");
}

} // namespace

QString HelpFileName(const QString& languageFile, int reglerFkt, const std::function<bool(const QString&)>& exists)
{
    QString name = WithPdfExtension(languageFile);
    if (reglerFkt > 1) {
        const qsizetype at = name.indexOf(kProduct, 0, Qt::CaseInsensitive);
        if (at >= 0)
            name.insert(at + kProduct.size(), QStringLiteral("KPR"));
    }
    if (!exists || !exists(name))
        return QString::fromLatin1(kFallbackHelpFile);
    return name;
}

QStringList HelpFolders()
{
    const QString dir = ProgramDir();
    if (dir.isEmpty())
        return {};
    return {dir, QDir::cleanPath(dir + QStringLiteral("../share/kadex-tool")) + QLatin1Char('/')};
}

QString HelpFilePath(const QString& name, const QStringList& folders)
{
    for (const QString& folder : folders) {
        const QString path = folder + name;
        if (QFileInfo(path).isFile())
            return path;
    }
    return (folders.isEmpty() ? QString() : folders.first()) + name;
}

QString ResolveHelpFile(const QString& languageFile, int reglerFkt, const QStringList& folders)
{
    const auto exists = [&folders](const QString& name) {
        return std::any_of(folders.begin(), folders.end(),
                           [&name](const QString& f) { return QFileInfo(f + name).isFile(); });
    };
    return HelpFilePath(HelpFileName(languageFile, reglerFkt, exists), folders);
}

QString HelpMissingText(const QString& msgText3, const QString& path)
{
    return msgText3 + QLatin1Char('\n') + QDir::toNativeSeparators(path);
}

QString HelpOpenFailedText(const QString& msgText3, int code, const QString& path)
{
    return msgText3 + QStringLiteral(" (") + QString::number(code) + QStringLiteral(")\n")
           + QDir::toNativeSeparators(path);
}

} // namespace kadex
