// The help document: its name for language and controller function, where it is looked for, and
// the PDFs the build makes of the user guide.
#include "core/HelpDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kadex;

namespace {

bool Touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("%PDF-1.4\n") > 0;
}

} // namespace

TEST(HelpDocument, NameRule)
{
    struct Case {
        const char* languageFile;
        int reglerFkt;
        const char* present; // files that exist, ';'-separated
        const char* expected;
    };
    const Case cases[] = {
        {"Kadexgerm.lng", 1, "Kadexgerm.pdf", "Kadexgerm.pdf"},
        // The pressure application inserts KPR after the product name.
        {"Kadexgerm.lng", 2, "KadexKPRgerm.pdf;Kadexgerm.pdf", "KadexKPRgerm.pdf"},
        // Any case matches; the name keeps its own spelling; only the first occurrence changes.
        {"kADEXfr.lng", 2, "kADEXKPRfr.pdf", "kADEXKPRfr.pdf"},
        {"KadexKadex.lng", 2, "KadexKPRKadex.pdf", "KadexKPRKadex.pdf"},
        {"Mein-kadex.lng", 2, "Mein-kadexKPR.pdf", "Mein-kadexKPR.pdf"},
        // No product name: nothing to insert.
        {"english.lng", 2, "english.pdf", "english.pdf"},
        // Only the extension of the file name itself is replaced; none is added as well.
        {"lang.v2/Kadexgerm", 1, "lang.v2/Kadexgerm.pdf", "lang.v2/Kadexgerm.pdf"},
        // A name that is not there gives the German document, also for KPR.
        {"Kadexengl.lng", 1, "Kadexgerm.pdf", "Kadexgerm.pdf"},
        {"Kadexengl.lng", 2, "Kadexengl.pdf", "Kadexgerm.pdf"},
        {"", 1, "", "Kadexgerm.pdf"},
        // Function 0 is no pressure application.
        {"Kadexgerm.lng", 0, "KadexKPRgerm.pdf;Kadexgerm.pdf", "Kadexgerm.pdf"},
    };
    for (const Case& c : cases) {
        const QStringList present = QString::fromUtf8(c.present).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QStringList asked;
        const QString got = HelpFileName(QString::fromUtf8(c.languageFile), c.reglerFkt, [&](const QString& n) {
            asked.append(n);
            return present.contains(n);
        });
        EXPECT_EQ(got.toStdString(), c.expected) << c.languageFile << " / " << c.reglerFkt;
        EXPECT_EQ(asked.size(), 1) << c.languageFile; // one look, at the derived name
    }
}

TEST(HelpDocument, LooksBesideTheProgramThenInTheDataFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bin = dir.filePath("bin") + '/', share = dir.filePath("share") + '/';
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(share));
    const QStringList folders{bin, share};

    // Nothing anywhere: the fallback's path in the first folder, for the message.
    EXPECT_EQ(ResolveHelpFile("Kadexengl.lng", 2, folders), bin + "Kadexgerm.pdf");
    ASSERT_TRUE(Touch(share + "Kadexgerm.pdf") && Touch(share + "KadexKPRengl.pdf"));
    EXPECT_EQ(ResolveHelpFile("Kadexengl.lng", 2, folders), share + "KadexKPRengl.pdf");
    EXPECT_EQ(ResolveHelpFile("Kadexengl.lng", 1, folders), share + "Kadexgerm.pdf");
    // Beside the program wins.
    ASSERT_TRUE(Touch(bin + "KadexKPRengl.pdf"));
    EXPECT_EQ(ResolveHelpFile("Kadexengl.lng", 2, folders), bin + "KadexKPRengl.pdf");
}

// The build writes the guide as the PDFs the help command looks for, in the data folder of the
// build tree (share/kadex-tool, as installed).
TEST(HelpDocument, BuildMakesTheGuidePdfs)
{
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    struct Doc {
        const char* name;
        const char* heading;
    };
    const Doc docs[] = {{"Kadexgerm.pdf", "Kadex Tool – Benutzerhandbuch"},
                        {"KadexKPRgerm.pdf", "Fehlersuche an der Schnittstelle"},
                        {"Kadexengl.pdf", "Kadex Tool – User guide"},
                        {"KadexKPRengl.pdf", "Troubleshooting a port"}};
    for (const Doc& d : docs) {
        const QString path = QStringLiteral(KADEX_DOC_DIR "/kadex-tool/") + d.name;
        SCOPED_TRACE(path.toStdString());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.read(5) == "%PDF-");
        if (pdftotext.isEmpty())
            GTEST_SKIP() << "pdftotext is not installed";
        QProcess p;
        p.start(pdftotext, {path, QStringLiteral("-")});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0);
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_TRUE(text.contains(QString::fromUtf8(d.heading))) << text.left(400).toStdString();
        // More than a title page: the pictures and all sections are in.
        EXPECT_GE(text.count(QLatin1Char('\f')), 3);
    }
}
