// The options that --help, "help COMMAND" and the man pages name are exactly the ones the
// parsers take: the parsers are probed option by option, the texts read as a user sees them.
#include "cli/CliCommon.h"
#include "cli/CliHelp.h"
#include "common/ToolArguments.h"
#include "sim/SimHelp.h"
#include "tests/QtPrinters.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <functional>

using namespace kadex;

namespace {

QString binary(const QString& name)
{
    return QStringLiteral(KADEX_BIN_DIR "/") + name;
}

struct Output {
    int exitCode = -1;
    QString out;
};

Output run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(binary(program), args);
    Output r;
    if (p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

QStringList sortedUnique(QStringList names)
{
    names.removeDuplicates();
    names.sort();
    return names;
}

// Every "--name" in the text.
QStringList mentioned(const QString& text)
{
    static const QRegularExpression re(QStringLiteral(R"((?<![\w-])--([a-z][a-z-]*))"));
    QStringList names;
    for (auto it = re.globalMatch(text); it.hasNext();)
        names << it.next().captured(1);
    return sortedUnique(names);
}

// The options of a help text's "Options:" block (lines "  -x, --name ..." up to an empty line).
QStringList listed(const QString& help)
{
    QStringList names;
    bool in = false;
    for (const QString& l : help.split(QLatin1Char('\n'))) {
        if (l == QLatin1String("Options:"))
            in = true;
        else if (l.isEmpty())
            in = false;
        else if (in && l.startsWith(QLatin1String("  -")))
            names << mentioned(l.section(QStringLiteral("  "), 1, 1)).value(0);
    }
    return sortedUnique(names);
}

// A generated man page, sections by title, with the font changes and escapes taken out.
QMap<QString, QStringList> manSections(const QString& program)
{
    QFile f(QStringLiteral(KADEX_DOC_DIR "/man/man1/") + program + QStringLiteral(".1"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
    QString text = QString::fromUtf8(f.readAll());
    static const QRegularExpression font(QStringLiteral(R"(\\f[BIRP])"));
    text.remove(font).replace(QStringLiteral("\\-"), QStringLiteral("-")).remove(QStringLiteral("\\&"));
    QMap<QString, QStringList> sections;
    QString title;
    for (const QString& l : text.split(QLatin1Char('\n'))) {
        if (l.startsWith(QLatin1String(".SH ")))
            title = l.mid(4);
        else
            sections[title] << l;
    }
    return sections;
}

// The tag lines (after ".TP") of a man section, with the lines each one heads.
QList<QStringList> entries(const QStringList& section)
{
    QList<QStringList> out;
    for (const QString& l : section) {
        if (l == QLatin1String(".TP"))
            out.append(QStringList());
        else if (!out.isEmpty())
            out.last() << l;
    }
    return out;
}

QStringList manOptions(const QString& program)
{
    QStringList names;
    for (const QStringList& e : entries(manSections(program).value(QStringLiteral("OPTIONS"))))
        names << mentioned(e.value(0)).value(0);
    return sortedUnique(names);
}

// Every option name any of the three programs knows, and one none does.
QStringList candidates()
{
    QStringList names{QStringLiteral("bogus")};
    for (const help::Program* p : {&ToolProgram(), &cli::CliProgram(), &sim::SimProgram()})
        for (const help::Option& o : p->options)
            names << o.name;
    return sortedUnique(names);
}

// "--name" and, when the program's table gives it a value, a value it takes.
QStringList optionArgs(const help::Program& p, const QString& name)
{
    const help::Option* o = help::FindOption(p, name);
    QStringList args{QStringLiteral("--") + name};
    if (o && !o->value.isEmpty())
        args << o->sample;
    return args;
}

// The words after the command in its example, up to the first option or redirection.
QStringList exampleWords(const help::Command& c)
{
    const QStringList words = c.example.split(QLatin1Char(' '));
    QStringList out;
    for (qsizetype i = words.indexOf(c.name) + 1; i > 0 && i < words.size(); ++i) {
        if (words[i].startsWith(QLatin1Char('-')) || words[i] == QLatin1String(">"))
            break;
        out << words[i];
    }
    return out;
}

bool cliTakes(const help::Command& c, const QString& name)
{
    const help::Program& p = cli::CliProgram();
    cli::Options o;
    QString error;
    const QStringList args = QStringList{QStringLiteral("kadex-cli"), c.name} + exampleWords(c) + optionArgs(p, name);
    return cli::ParseCommandLine(args, o, error) != cli::Parsed::Usage;
}

} // namespace

TEST(HelpAndManPage, EveryCliCommandNamesTheOptionsItsParserTakes)
{
    if (!QFileInfo::exists(binary(QStringLiteral("kadex-cli"))))
        GTEST_SKIP() << "kadex-cli is not built";
    const help::Program& p = cli::CliProgram();
    QMap<QString, QStringList> manCommands;
    for (const QStringList& e : entries(manSections(QStringLiteral("kadex-cli")).value(QStringLiteral("COMMANDS"))))
        for (const QString& l : e)
            if (l.startsWith(QLatin1String("Options:")))
                manCommands[e.value(0).section(QLatin1Char(' '), 0, 0)] = mentioned(l);
    QStringList takenByAny;
    for (const help::Command& c : p.commands) {
        const std::string what = c.name.toStdString();
        QStringList takes;
        for (const QString& name : candidates())
            if (cliTakes(c, name))
                takes << name;
        takenByAny << takes;
        ASSERT_TRUE(takes.contains(QStringLiteral("help")) && !takes.contains(QStringLiteral("bogus"))) << what;

        const Output byWord = run(QStringLiteral("kadex-cli"), {QStringLiteral("help"), c.name});
        const Output byOption = run(QStringLiteral("kadex-cli"), {c.name, QStringLiteral("--help")});
        EXPECT_EQ(byWord.exitCode, 0) << what;
        EXPECT_EQ(byWord.out, byOption.out) << what;
        EXPECT_TRUE(byWord.out.startsWith(QStringLiteral("Usage: kadex-cli [options] ") + c.name))
            << byWord.out.toStdString();
        EXPECT_TRUE(byWord.out.contains(QStringLiteral("Example:\n  kadex-cli "))) << byWord.out.toStdString();
        EXPECT_EQ(listed(byWord.out), takes) << what << "\n" << byWord.out.toStdString();
        // Nothing in the text points at an option the command refuses.
        for (const QString& name : mentioned(byWord.out))
            EXPECT_TRUE(takes.contains(name)) << what << " --help mentions --" << name.toStdString();
        EXPECT_EQ(manCommands.value(c.name), takes) << what;
    }
    // The whole help and the man page list every option some command takes.
    takenByAny = sortedUnique(takenByAny);
    EXPECT_EQ(listed(run(QStringLiteral("kadex-cli"), {QStringLiteral("--help")}).out), takenByAny);
    EXPECT_EQ(manOptions(QStringLiteral("kadex-cli")), takenByAny);
}

TEST(HelpAndManPage, ToolAndSimulatorNameTheOptionsTheirParsersTake)
{
    const std::pair<const help::Program*, std::function<bool(const QStringList&)>> programs[]{
        {&ToolProgram(),
         [](const QStringList& args) {
             ToolArguments a;
             QString error;
             return ParseToolArguments(QStringList{QStringLiteral("kadex-tool")} + args, a, error);
         }},
        // The simulator's parser is in its main(): an accepted option and --help end with 0.
        {&sim::SimProgram(),
         [](const QStringList& args) {
             return run(QStringLiteral("kadex-sim"), args + QStringList{QStringLiteral("--help")}).exitCode == 0;
         }},
    };
    for (const auto& [p, accepts] : programs) {
        if (!QFileInfo::exists(binary(p->name)))
            GTEST_SKIP() << p->name.toStdString() << " is not built";
        QStringList takes;
        for (const QString& name : candidates()) {
            // A value from whichever table knows the option.
            QStringList args = optionArgs(*p, name);
            for (const help::Program* other : {&ToolProgram(), &cli::CliProgram(), &sim::SimProgram()})
                if (args.size() == 1 && !help::FindOption(*p, name))
                    args = optionArgs(*other, name);
            if (accepts(args))
                takes << name;
        }
        const std::string what = p->name.toStdString();
        ASSERT_TRUE(takes.contains(QStringLiteral("version")) && !takes.contains(QStringLiteral("bogus"))) << what;
        const Output help = run(p->name, {QStringLiteral("--help")});
        EXPECT_EQ(help.exitCode, 0) << what;
        EXPECT_EQ(listed(help.out), takes) << what << "\n" << help.out.toStdString();
        EXPECT_EQ(manOptions(p->name), takes) << what;
    }
}

TEST(HelpAndManPage, ManPagesHaveTheSectionsAUserLooksFor)
{
    for (const char* program : {"kadex-tool", "kadex-cli", "kadex-sim"}) {
        const QMap<QString, QStringList> s = manSections(QLatin1String(program));
        for (const char* title : {"NAME", "SYNOPSIS", "DESCRIPTION"})
            EXPECT_TRUE(s.contains(QLatin1String(title))) << program << " " << title;
        for (const char* title : {"OPTIONS", "EXIT STATUS", "FILES", "ENVIRONMENT", "EXAMPLES"})
            EXPECT_FALSE(entries(s.value(QLatin1String(title))).isEmpty()) << program << " " << title;
        // The exit codes of the man page are the ones --help states.
        const QString help = run(QLatin1String(program), {QStringLiteral("--help")}).out.simplified();
        for (const QStringList& e : entries(s.value(QStringLiteral("EXIT STATUS"))))
            EXPECT_TRUE(help.contains(e.value(0).mid(3) + QLatin1Char(' ') + e.value(1)))
                << program << ": " << e.join(' ').toStdString();
    }
    EXPECT_FALSE(entries(manSections(QStringLiteral("kadex-cli")).value(QStringLiteral("COMMANDS"))).isEmpty());
}
