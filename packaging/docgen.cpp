// Writes the man pages and the bash completions from the programs' option tables:
// DIR/man/man1/PROGRAM.1 and DIR/bash-completion/completions/PROGRAM.
#include "cli/CliHelp.h"
#include "common/ToolArguments.h"
#include "common/Version.h"
#include "sim/SimHelp.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace {

bool write(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0) {
        std::fprintf(stderr, "kadex-docgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: kadex-docgen DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString version = QString::fromUtf8(kadex::VersionString());
    bool ok = true;
    for (const kadex::help::Program* p :
         {&kadex::ToolProgram(), &kadex::cli::CliProgram(), &kadex::sim::SimProgram()}) {
        ok = write(dir + QStringLiteral("/man/man1/") + p->name + QStringLiteral(".1"),
                   kadex::help::RenderMan(*p, version))
             && ok;
        // The desktop program takes nothing worth completing.
        if (p->name != QLatin1String("kadex-tool"))
            ok = write(dir + QStringLiteral("/bash-completion/completions/") + p->name,
                       kadex::help::RenderCompletion(*p))
                 && ok;
    }
    return ok ? 0 : 1;
}
