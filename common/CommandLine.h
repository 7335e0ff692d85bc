#pragma once
// What the command lines of kadex-cli, kadex-tool and kadex-sim have in common: options may
// come before or after the words, "--" ends the options, unknown options and stray words are
// refused with an English message and the hint to --help, and a usage error ends with status 2.
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

namespace kadex::cmdline {

constexpr int ExitUsage = 2;

// "PROGRAM: MESSAGE", a line break and "Try 'PROGRAM --help'." with a final line break.
QString UsageText(const QString& program, const QString& message);

// Parses args (the program name first). False with the reason (unknown option, missing or
// unexpected value) in error.
bool Parse(QCommandLineParser& parser, const QStringList& args, QString& error);

// A program that takes no words: false with a message naming the first one.
bool NoWords(const QStringList& words, QString& error);

// A command word and how many words may follow it; usage is how the help shows its arguments.
struct Command {
    QString name;
    int minArgs = 0;
    int maxArgs = 0;
    QString usage;
};

// The first word is the command, the rest its arguments; refuses a missing or unknown command
// and a wrong number of arguments.
bool TakeCommand(const QStringList& words, const QList<Command>& commands, QString& command,
                 QStringList& args, QString& error);

// The rates the serial link runs at.
const QList<int>& BaudRates();
// "300, 600, ..., 115200".
QString BaudRateList();
// A --baud value: one of BaudRates(), else false with the accepted rates in error.
bool ParseBaud(const QString& text, int& baud, QString& error);

// A decimal whole number within [min, max].
bool ParseInt(const QString& text, int min, int max, int& value);

} // namespace kadex::cmdline
