#include "common/CommandLine.h"

#include "common/BaudRates.h"

namespace kadex::cmdline {

QString UsageText(const QString& program, const QString& message)
{
    return QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(program, message);
}

bool Parse(QCommandLineParser& parser, const QStringList& args, QString& error)
{
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    if (parser.parse(args)) {
        error.clear();
        return true;
    }
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        // The parser keeps the names without their dashes.
        const QString& name = unknown.first();
        error = QStringLiteral("unknown option '%1%2'").arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
        return false;
    }
    // "Missing value after '--port'." and the like: lower-case, without the full stop.
    error = parser.errorText();
    if (error.endsWith(QLatin1Char('.')))
        error.chop(1);
    if (!error.isEmpty())
        error[0] = error[0].toLower();
    return false;
}

bool NoWords(const QStringList& words, QString& error)
{
    if (words.isEmpty())
        return true;
    error = QStringLiteral("unexpected argument '%1' (this program takes options only)").arg(words.first());
    return false;
}

bool TakeCommand(const QStringList& words, const QList<Command>& commands, QString& command,
                 QStringList& args, QString& error)
{
    if (words.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    for (const Command& c : commands) {
        if (c.name != words.first())
            continue;
        const QStringList rest = words.mid(1);
        if (rest.size() < c.minArgs || rest.size() > c.maxArgs) {
            if (c.maxArgs == 0)
                error = QStringLiteral("%1 takes no arguments (got '%2')").arg(c.name, rest.first());
            else if (rest.size() < c.minArgs)
                error = QStringLiteral("%1 needs arguments: %1 %2").arg(c.name, c.usage);
            else
                error = QStringLiteral("too many arguments for %1 (got %2): %1 %3")
                            .arg(c.name)
                            .arg(rest.size())
                            .arg(c.usage);
            return false;
        }
        command = c.name;
        args = rest;
        return true;
    }
    QStringList names;
    for (const Command& c : commands)
        names << c.name;
    error = QStringLiteral("unknown command '%1' (commands: %2)").arg(words.first(), names.join(QStringLiteral(", ")));
    return false;
}

const QList<int>& BaudRates()
{
    static const QList<int> rates(std::begin(kBaudRates), std::end(kBaudRates));
    return rates;
}

QString BaudRateList()
{
    QStringList texts;
    for (int r : BaudRates())
        texts << QString::number(r);
    return texts.join(QStringLiteral(", "));
}

bool ParseBaud(const QString& text, int& baud, QString& error)
{
    int v = 0;
    // The link would run at 1200 for anything else, which nobody asks for on purpose.
    if (!ParseInt(text, 1, 10'000'000, v) || !IsBaudRate(v)) {
        error = QStringLiteral("--baud: '%1' is not an accepted rate; use one of %2").arg(text, BaudRateList());
        return false;
    }
    baud = v;
    return true;
}

bool ParseInt(const QString& text, int min, int max, int& value)
{
    bool ok = false;
    const QString t = text.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char('+')))
        return false;
    const long long v = t.toLongLong(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace kadex::cmdline
