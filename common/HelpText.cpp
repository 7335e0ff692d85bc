#include "common/HelpText.h"

#include "common/CommandLine.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kadex::help {

namespace {

constexpr int kWidth = 79;
constexpr int kMaxLabel = 26; // longer labels put their text on the next line

QStringList paragraphsOf(const QString& text)
{
    QStringList out;
    for (const QString& p : text.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts))
        out << p.simplified();
    return out;
}

// Words filled into lines of at most kWidth columns, the first line starting at column first
// (text already there), the others indented by indent.
QString fill(const QString& text, int indent, int first = -1)
{
    const QStringList words = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString out;
    int col = first < 0 ? indent : first;
    if (first < 0)
        out += QString(indent, QLatin1Char(' '));
    bool lineEmpty = true;
    for (const QString& w : words) {
        if (!lineEmpty && col + 1 + w.size() > kWidth) {
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            col = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += QLatin1Char(' ');
            ++col;
        }
        out += w;
        col += static_cast<int>(w.size());
        lineEmpty = false;
    }
    return out + QLatin1Char('\n');
}

QString paragraphs(const QString& text, int indent = 0)
{
    QStringList parts;
    for (const QString& p : paragraphsOf(text))
        parts << fill(p, indent);
    return parts.join(QLatin1Char('\n'));
}

QString optionLabel(const Option& o)
{
    QString l = o.shortName.isEmpty() ? QString() : QStringLiteral("-%1, ").arg(o.shortName);
    l += QStringLiteral("--") + o.name;
    if (!o.value.isEmpty())
        l += QLatin1Char(' ') + o.value;
    if (o.repeatable)
        l += QStringLiteral(" *");
    return l;
}

QString commandLabel(const Command& c)
{
    return c.args.isEmpty() ? c.name : c.name + QLatin1Char(' ') + c.args;
}

// "  LABEL   text" rows with the text in one column.
QString rows(const QList<std::pair<QString, QString>>& items)
{
    int col = 0;
    for (const auto& [label, text] : items)
        if (label.size() <= kMaxLabel)
            col = std::max(col, static_cast<int>(label.size()));
    col += 2 + 2;
    QString out;
    for (const auto& [label, text] : items) {
        const QString head = QStringLiteral("  ") + label;
        if (head.size() + 1 > col) {
            out += head + QLatin1Char('\n') + fill(text, col);
        } else {
            out += head + QString(col - static_cast<int>(head.size()), QLatin1Char(' '));
            out += fill(text, col, col);
        }
    }
    return out;
}

QString optionRows(const Program& p, const QStringList& names)
{
    QList<std::pair<QString, QString>> items;
    for (const QString& n : names)
        if (const Option* o = FindOption(p, n))
            items.append({optionLabel(*o), o->text});
    return rows(items);
}

QStringList allOptionNames(const Program& p)
{
    QStringList names;
    for (const Option& o : p.options)
        names << o.name;
    return names;
}

QString exitLine(const Program& p)
{
    QStringList parts;
    for (const Item& i : p.exitStatus)
        parts << i.term + QLatin1Char(' ') + i.text;
    QString text = QStringLiteral("Exit status: ") + parts.join(QStringLiteral(", ")) + QLatin1Char('.');
    if (!p.exitNotes.isEmpty())
        text += QLatin1Char(' ') + p.exitNotes;
    return fill(text, 0);
}

// Roff: backslashes and dashes escaped, no line that starts with a control character.
QString roff(const QString& text)
{
    QString out;
    out.reserve(text.size() + 16);
    for (QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\e");
        else if (c == QLatin1Char('-'))
            out += QStringLiteral("\\-");
        else
            out += c;
    }
    QStringList lines = out.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.startsWith(QLatin1Char('.')) || l.startsWith(QLatin1Char('\'')))
            l.prepend(QStringLiteral("\\&"));
    return lines.join(QLatin1Char('\n'));
}

QString roffParagraphs(const QString& text)
{
    QStringList parts;
    for (const QString& p : paragraphsOf(text))
        parts << roff(p);
    return parts.join(QStringLiteral("\n.PP\n"));
}

// Bold words, italic upper-case placeholders: "drive MODE [PERCENT]".
QString roffSynopsis(const QString& text)
{
    QStringList out;
    for (const QString& w : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString core = w;
        QString pre, post;
        while (!core.isEmpty() && (core.front() == QLatin1Char('[') || core.front() == QLatin1Char('"'))) {
            pre += core.front();
            core.remove(0, 1);
        }
        while (!core.isEmpty()
               && (core.back() == QLatin1Char(']') || core.back() == QLatin1Char('"')
                   || core.back() == QLatin1Char('*'))) {
            post.prepend(core.back());
            core.chop(1);
        }
        const bool placeholder = core == core.toUpper() && core.contains(QRegularExpression(QStringLiteral("[A-Z]")));
        out << roff(pre) + (placeholder ? QStringLiteral("\\fI") : QStringLiteral("\\fB")) + roff(core)
                   + QStringLiteral("\\fR") + roff(post);
    }
    return out.join(QLatin1Char(' '));
}

QString manOptionTag(const Option& o)
{
    QString tag;
    if (!o.shortName.isEmpty())
        tag += QStringLiteral("\\fB\\-%1\\fR, ").arg(o.shortName);
    tag += QStringLiteral("\\fB\\-\\-%1\\fR").arg(o.name);
    if (!o.value.isEmpty())
        tag += QLatin1Char(' ') + roffSynopsis(o.value);
    return tag;
}

QString shellWords(const QStringList& words)
{
    return words.join(QLatin1Char(' '));
}

QString functionName(const QString& program)
{
    QString f = QStringLiteral("_") + program;
    f.replace(QLatin1Char('-'), QLatin1Char('_'));
    return f;
}

QStringList addresses()
{
    QStringList a{QStringLiteral("PP")};
    for (int i = 1; i <= 8; ++i)
        a << QStringLiteral("ZB%1").arg(i);
    return a;
}

// The completion of a value of this kind into COMPREPLY; empty for nothing to offer.
QString completeValue(Value kind, const QStringList& choices, const Program& p)
{
    switch (kind) {
    case Value::File:
        return QStringLiteral("compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\"))");
    case Value::Dir:
        return QStringLiteral("compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- \"$cur\"))");
    case Value::Port:
        return QStringLiteral("COMPREPLY=($(compgen -W \"$(_kadex_ports)\" -- \"$cur\"))");
    case Value::ComNumber:
        return QStringLiteral("COMPREPLY=($(compgen -W \"$(_kadex_com_numbers)\" -- \"$cur\"))");
    case Value::Baud: {
        QStringList rates;
        for (int r : cmdline::BaudRates())
            rates << QString::number(r);
        return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))").arg(shellWords(rates));
    }
    case Value::Address:
        return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))").arg(shellWords(addresses()));
    case Value::SlotAddress: {
        QStringList all;
        for (int s = 1; s <= 8; ++s)
            for (const QString& a : addresses())
                all << QStringLiteral("%1=%2").arg(s).arg(a);
        return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))").arg(shellWords(all));
    }
    case Value::Choice:
        return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))").arg(shellWords(choices));
    case Value::Command: {
        QStringList names;
        for (const Command& c : p.commands)
            names << c.name;
        return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))").arg(shellWords(names));
    }
    case Value::None:
    case Value::Text:
        break;
    }
    return {};
}

QStringList dashed(const QStringList& names, const Program& p)
{
    QStringList out;
    for (const QString& n : names) {
        out << QStringLiteral("--") + n;
        if (const Option* o = FindOption(p, n); o && !o->shortName.isEmpty())
            out << QStringLiteral("-") + o->shortName;
    }
    return out;
}

} // namespace

const Command* FindCommand(const Program& program, const QString& name)
{
    for (const Command& c : program.commands)
        if (c.name == name)
            return &c;
    return nullptr;
}

const Option* FindOption(const Program& program, const QString& longName)
{
    for (const Option& o : program.options)
        if (o.name == longName)
            return &o;
    return nullptr;
}

QStringList CommandOptions(const Program& program, const Command& command)
{
    QStringList names;
    for (const Option& o : program.options)
        if (command.options.contains(o.name) || program.everywhere.contains(o.name))
            names << o.name;
    return names;
}

QString RenderHelp(const Program& p)
{
    QString out = QStringLiteral("Usage: %1 %2\n\n").arg(p.name, p.usage);
    out += paragraphs(p.description) + QLatin1Char('\n');
    out += QStringLiteral("Options:\n") + optionRows(p, allOptionNames(p));
    if (!p.optionNotes.isEmpty())
        out += paragraphs(p.optionNotes);
    if (!p.commands.isEmpty()) {
        QList<std::pair<QString, QString>> items;
        for (const Command& c : p.commands)
            items.append({commandLabel(c), c.summary});
        out += QStringLiteral("\nCommands:\n") + rows(items);
        if (!p.commandNotes.isEmpty())
            out += paragraphs(p.commandNotes);
        out += fill(QStringLiteral("'%1 help COMMAND' or '%1 COMMAND --help' shows a command's options and an example.")
                        .arg(p.name),
                    0);
    }
    out += QLatin1Char('\n') + exitLine(p);
    if (!p.environment.isEmpty()) {
        QList<std::pair<QString, QString>> items;
        for (const Item& i : p.environment)
            items.append({i.term, i.text});
        out += QStringLiteral("\nEnvironment:\n") + rows(items);
    }
    if (!p.extraText.isEmpty())
        out += QLatin1Char('\n') + p.extraText + QLatin1Char('\n');
    return out;
}

QString RenderCommandHelp(const Program& p, const Command& c)
{
    QString out = QStringLiteral("Usage: %1 [options] %2\n\n").arg(p.name, commandLabel(c));
    out += paragraphs(c.summary);
    if (!c.text.isEmpty())
        out += QLatin1Char('\n') + paragraphs(c.text);
    out += QStringLiteral("\nOptions:\n") + optionRows(p, CommandOptions(p, c));
    if (!c.example.isEmpty())
        out += QStringLiteral("\nExample:\n  ") + c.example + QLatin1Char('\n');
    return out;
}

QString RenderMan(const Program& p, const QString& version)
{
    QString out;
    out += QStringLiteral(".TH %1 1 \"\" \"kadex-tool %2\" \"User Commands\"\n")
               .arg(roff(p.name.toUpper()), roff(version));
    out += QStringLiteral(".SH NAME\n%1 \\- %2\n").arg(roff(p.name), roff(p.summary));
    out += QStringLiteral(".SH SYNOPSIS\n.B %1\n%2\n").arg(roff(p.name), roffSynopsis(p.usage));
    out += QStringLiteral(".SH DESCRIPTION\n") + roffParagraphs(p.description) + QLatin1Char('\n');
    if (!p.commands.isEmpty()) {
        out += QStringLiteral(".SH COMMANDS\n");
        for (const Command& c : p.commands) {
            out += QStringLiteral(".TP\n") + roffSynopsis(commandLabel(c)) + QLatin1Char('\n');
            out += roffParagraphs(c.summary) + QLatin1Char('\n');
            if (!c.text.isEmpty())
                out += QStringLiteral(".IP\n")
                       + roffParagraphs(c.text).replace(QStringLiteral(".PP"), QStringLiteral(".IP"))
                       + QLatin1Char('\n');
            QStringList opts;
            for (const QString& n : CommandOptions(p, c))
                opts << QStringLiteral("\\fB\\-\\-%1\\fR").arg(roff(n));
            out += QStringLiteral(".IP\nOptions: ") + opts.join(QStringLiteral(", ")) + QStringLiteral(".\n");
            if (!c.example.isEmpty())
                out += QStringLiteral(".IP\nExample: \\fB") + roff(c.example) + QStringLiteral("\\fR\n");
        }
        if (!p.commandNotes.isEmpty())
            out += QStringLiteral(".PP\n") + roffParagraphs(p.commandNotes) + QLatin1Char('\n');
    }
    out += QStringLiteral(".SH OPTIONS\n");
    for (const Option& o : p.options) {
        QString text = o.text;
        if (o.repeatable)
            text += QStringLiteral(" May be given more than once.");
        out += QStringLiteral(".TP\n") + manOptionTag(o) + QLatin1Char('\n') + roffParagraphs(text) + QLatin1Char('\n');
    }
    if (!p.optionNotes.isEmpty())
        out += QStringLiteral(".PP\n") + roffParagraphs(p.optionNotes) + QLatin1Char('\n');
    if (!p.extraText.isEmpty())
        out += QStringLiteral(".SH %1\n.nf\n%2\n.fi\n").arg(roff(p.extraTitle.toUpper()), roff(p.extraText));
    auto items = [&out](const QString& title, const QList<Item>& list, const QString& notes) {
        out += QStringLiteral(".SH ") + title + QLatin1Char('\n');
        for (const Item& i : list)
            out += QStringLiteral(".TP\n.B %1\n%2\n").arg(roff(i.term), roffParagraphs(i.text));
        if (!notes.isEmpty())
            out += QStringLiteral(".PP\n") + roffParagraphs(notes) + QLatin1Char('\n');
    };
    items(QStringLiteral("EXIT STATUS"), p.exitStatus, p.exitNotes);
    items(QStringLiteral("FILES"), p.files, QString());
    items(QStringLiteral("ENVIRONMENT"), p.environment, QString());
    out += QStringLiteral(".SH EXAMPLES\n");
    for (const Item& e : p.examples)
        out += QStringLiteral(".TP\n.B %1\n%2\n").arg(roff(e.term), roffParagraphs(e.text));
    if (!p.seeAlso.isEmpty()) {
        QStringList refs;
        for (const QString& s : p.seeAlso)
            refs << QStringLiteral(".BR %1 (1)").arg(roff(s));
        out += QStringLiteral(".SH SEE ALSO\n") + refs.join(QStringLiteral(" ,\n")) + QLatin1Char('\n');
    }
    return out;
}

QString RenderCompletion(const Program& p)
{
    const QString fn = functionName(p.name);
    QString out = QStringLiteral("# bash completion for %1, made from its option table at build time\n\n").arg(p.name);
    out += QStringLiteral("_kadex_ports()\n"
                          "{\n"
                          "    local d\n"
                          "    for d in /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/serial/by-id/*; do\n"
                          "        [[ -e $d ]] && printf '%s\\n' \"$d\"\n"
                          "    done\n"
                          "}\n\n"
                          "_kadex_com_numbers()\n"
                          "{\n"
                          "    local d\n"
                          "    for d in /dev/ttyS*; do\n"
                          "        [[ -e $d && ${d#/dev/ttyS} =~ ^[0-9]+$ ]] && echo $((${d#/dev/ttyS} + 1))\n"
                          "    done\n"
                          "}\n\n");
    out += fn + QStringLiteral("()\n{\n");
    out += QStringLiteral("    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                          "    # --opt=value: bash splits at the '='.\n"
                          "    if [[ $cur == = ]]; then\n"
                          "        cur=\n"
                          "    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then\n"
                          "        prev=${COMP_WORDS[COMP_CWORD-2]}\n"
                          "    fi\n");
    // Options that take a value, so that their values are not taken for the command.
    QStringList withValue;
    for (const Option& o : p.options)
        if (!o.value.isEmpty())
            withValue << dashed({o.name}, p);
    out += QStringLiteral("    local cmd= nwords=0 skip= i w\n"
                          "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                          "        w=${COMP_WORDS[i]}\n"
                          "        if [[ -n $skip ]]; then\n"
                          "            [[ $w == = ]] || skip=\n"
                          "            continue\n"
                          "        fi\n"
                          "        case $w in\n");
    if (!withValue.isEmpty())
        out += QStringLiteral("            %1) skip=1 ;;\n").arg(withValue.join(QLatin1Char('|')));
    out += QStringLiteral("            -*) ;;\n"
                          "            *) if [[ -z $cmd ]]; then cmd=$w; else nwords=$((nwords + 1)); fi ;;\n"
                          "        esac\n"
                          "    done\n");
    // The value of an option.
    out += QStringLiteral("    case $prev in\n");
    for (const Option& o : p.options) {
        if (o.value.isEmpty())
            continue;
        const QString c = completeValue(o.kind, {}, p);
        out += QStringLiteral("        %1) %2; return ;;\n")
                   .arg(dashed({o.name}, p).join(QLatin1Char('|')), c.isEmpty() ? QStringLiteral(":") : c);
    }
    out += QStringLiteral("    esac\n");
    // The options that go with the command given (all of them before one is given).
    out += QStringLiteral("    local opts\n    case $cmd in\n");
    for (const Command& c : p.commands)
        out += QStringLiteral("        %1) opts=\"%2\" ;;\n")
                   .arg(c.name, dashed(CommandOptions(p, c), p).join(QLatin1Char(' ')));
    out += QStringLiteral("        *) opts=\"%1\" ;;\n    esac\n")
               .arg(dashed(allOptionNames(p), p).join(QLatin1Char(' ')));
    // A program without commands takes options only.
    if (p.commands.isEmpty()) {
        out += QStringLiteral("    COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n}\ncomplete -F %1 %2\n")
                   .arg(fn, p.name);
        return out;
    }
    out += QStringLiteral("    if [[ $cur == -* ]]; then\n"
                          "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
                          "        return\n"
                          "    fi\n");
    out += QStringLiteral("    if [[ -z $cmd ]]; then\n        %1\n        return\n    fi\n")
               .arg(completeValue(Value::Command, {}, p));
    out += QStringLiteral("    case $cmd in\n");
    for (const Command& c : p.commands) {
        const QString w = completeValue(c.words, c.choices, p);
        if (w.isEmpty())
            continue;
        // Choices and command names are for the first word only; files for every word.
        const QString guard = c.words == Value::File ? QStringLiteral("true") : QStringLiteral("[[ $nwords -eq 0 ]]");
        out += QStringLiteral("        %1) %2 && { %3; } ;;\n").arg(c.name, guard, w);
    }
    out += QStringLiteral("    esac\n}\ncomplete -F %1 %2\n").arg(fn, p.name);
    return out;
}

ParserOptions::ParserOptions(const Program& program, QCommandLineParser& parser)
{
    for (const Option& o : program.options) {
        QStringList names;
        if (!o.shortName.isEmpty())
            names << o.shortName;
        names << o.name;
        const QCommandLineOption opt =
            o.value.isEmpty() ? QCommandLineOption(names) : QCommandLineOption(names, QString(), o.value);
        byName_.insert(o.name, opt);
        parser.addOption(opt);
    }
}

const QCommandLineOption& ParserOptions::operator[](const QString& longName) const
{
    const auto it = byName_.constFind(longName);
    if (it == byName_.constEnd()) {
        std::fprintf(stderr, "option --%s is not in the option table\n", qPrintable(longName));
        std::abort();
    }
    return *it;
}

QStringList ParserOptions::Given(const QCommandLineParser& parser) const
{
    QStringList given;
    for (auto it = byName_.constBegin(); it != byName_.constEnd(); ++it)
        if (parser.isSet(it.value()))
            given << it.key();
    return given;
}

} // namespace kadex::help
