// Language files: the English file is complete, and a file is outside input (unknown names,
// overlong values, junk, other encodings keep the German defaults and are reported).
#include "settings/Language.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace kadex;

namespace {

QByteArray englishFile()
{
    QFile f(QStringLiteral(KADEX_SOURCE_DIR "/data/Kadexengl.lng"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

} // namespace

TEST(Language, EnglishFileHasEveryKeyTheLoaderKnowsAndNoOther)
{
    const TLanguage en = ParseLanguage(englishFile());
    EXPECT_TRUE(en.problems.isEmpty()) << en.problems.join('\n').toStdString();
    int keys = 0;
    for (const auto& [section, list] : KnownLanguageKeys())
        for (const QString& key : list) {
            ++keys;
            EXPECT_TRUE(en.values.contains(section.toLower() + '\n' + key.toLower()))
                << section.toStdString() << " " << key.toStdString();
        }
    EXPECT_EQ(en.values.size(), keys);
    EXPECT_EQ(en.languageKeys, (QStringList{"Deutsch", "Englisch"}));
    // Code page 1252 text comes through.
    EXPECT_EQ(en.Text("FORM_DICHTE", "LabelTempDim"), QString::fromUtf8("°C"));
    EXPECT_EQ(en.Records(1).Buttons.ButtonAbort, "Cancel");
    EXPECT_EQ(en.Records(2).Status.Vmid, "Motor stop active");
    EXPECT_EQ(en.Records(1).EinstDat.KadexRelease, "Kadex Tool release ");
}

TEST(Language, UnreadablePartsKeepTheGermanDefaultsAndAreReported)
{
    const QString german15 = LanguageDefault("MESSAGE_TEXT", "MsgText15");
    const QString long401(401, QLatin1Char('x'));
    struct Case {
        const char* name;
        QByteArray file;
        QString msg15;      // MsgText15 afterwards
        QString status1;    // BETRIEBS_STATUS Betrieb afterwards
        bool problem;
    } cases[] = {
        {"only one key", "[MESSAGE_TEXT]\r\nMsgText15=No port!\r\n", "No port!", "Betrieb aktiv", false},
        {"empty value", "[MESSAGE_TEXT]\nMsgText15=\n", "", "Betrieb aktiv", false},
        {"names ignore case", "[message_text]\nmsgtext15=x\n[Betriebs_Status]\nBETRIEB=y\n", "x", "y", false},
        {"unknown section and key", "[NOPE]\nMsgText15=a\n[MESSAGE_TEXT]\nMsgText99=b\nMsgText15=c\n", "c", "Betrieb aktiv", true},
        {"overlong value", "[MESSAGE_TEXT]\nMsgText15=" + long401.toLatin1() + "\n", german15, "Betrieb aktiv", true},
        {"junk line", "[MESSAGE_TEXT]\nMsgText15=a\x01\x02\n[BETRIEBS_STATUS]\nBetrieb=ok\n", german15, "ok", true},
        {"undefined byte", "[MESSAGE_TEXT]\nMsgText15=a\x81\n", german15, "Betrieb aktiv", true},
        {"code page 1252", "[MESSAGE_TEXT]\nMsgText15=\xC4nderung\n", QString::fromUtf8("Änderung"), "Betrieb aktiv", false},
        {"UTF-8", "[MESSAGE_TEXT]\nMsgText15=\xC3\x84nderung\n", QString::fromUtf8("Änderung"), "Betrieb aktiv", true},
        {"UTF-16", QByteArray("\xFF\xFE[\0M\0", 6), german15, "Betrieb aktiv", true},
        {"not a line", "[MESSAGE_TEXT]\nMsgText15\nMsgText15=z\n", "z", "Betrieb aktiv", true},
    };
    for (const Case& c : cases) {
        const TLanguage l = ParseLanguage(c.file);
        const TTexts t = l.Records(1);
        EXPECT_EQ(t.Messages.Msg(15), c.msg15) << c.name;
        EXPECT_EQ(t.Status.Betrieb, c.status1) << c.name;
        EXPECT_EQ(!l.problems.isEmpty(), c.problem) << c.name << ": " << l.problems.join('|').toStdString();
        // Everything else keeps its default.
        EXPECT_EQ(t.Messages.Msg(3), LanguageDefault("MESSAGE_TEXT", "MsgText3")) << c.name;
    }
}

// Junk lines (each holding a control byte) and lost lines anywhere in the English file: every
// text is the file's or the German default, and junk is always reported.
TEST(Language, SeededJunkNeverYieldsATextFromNowhere)
{
    const TLanguage en = ParseLanguage(englishFile());
    QList<QByteArray> lines = englishFile().split('\n');
    std::mt19937 rng(20261211);
    for (int run = 0; run < 200; ++run) {
        QList<QByteArray> mutated = lines;
        bool junk = false;
        for (int i = 0; i < 5; ++i) {
            const int at = static_cast<int>(rng() % static_cast<unsigned>(mutated.size()));
            if (rng() % 2) {
                QByteArray j;
                for (int n = 0, len = 1 + static_cast<int>(rng() % 40); n < len; ++n)
                    j += static_cast<char>(rng() % 256);
                j[static_cast<int>(rng() % static_cast<unsigned>(j.size()))] = '\x02';
                mutated.insert(at, j.replace('\n', ' ').replace('\r', ' '));
                junk = true;
            } else {
                mutated.removeAt(at);
            }
        }
        const TLanguage l = ParseLanguage(mutated.join('\n'));
        if (junk) {
            EXPECT_FALSE(l.problems.isEmpty()) << run;
        }
        for (const auto& [section, keys] : KnownLanguageKeys())
            for (const QString& key : keys) {
                const QString t = l.Text(section, key);
                EXPECT_TRUE(t == en.Text(section, key) || t == LanguageDefault(section, key))
                    << run << " " << key.toStdString() << " = " << t.toStdString();
            }
    }
}

TEST(Language, MissingFileChangesNothingAndAFileReplacesTheRecords)
{
    QTemporaryDir dir;
    const TTexts before = *CurrentTexts();
    const TLanguageLoad missing = LoadLanguageFile(dir.filePath("none.lng"), 1);
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(CurrentTexts()->Messages.Msg(15), before.Messages.Msg(15));

    QFile f(dir.filePath("en.lng"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(englishFile());
    f.close();
    const TLanguageLoad r = LoadLanguageFile(f.fileName(), 2);
    EXPECT_TRUE(r.found);
    EXPECT_TRUE(r.problems.isEmpty());
    EXPECT_EQ(CurrentTexts()->Messages.Msg(15), "Cannot open COM!");
    EXPECT_EQ(IniStatusText.Vmax, "Stage P'max active");
    EXPECT_EQ(CurrentTexts()->LogFile.Hoehe, "Altitude");
    // Back to the compiled-in texts for the other tests.
    SetLanguage(nullptr);
    IniStatusText = {};
    IniMessageText = {};
    IniText = {};
    IniEinstDatText = {};
    IniLogFileText = {};
    IniButtonText = {};
    PublishTexts();
}
