#pragma once
// A program's command line written down once: its options, commands, exit codes, files,
// environment and examples. The --help text, the per-command help, the man page and the bash
// completion are all rendered from it, and the parser's options are made from it, so none of
// them can drift from the others.
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <utility>

namespace kadex::help {

// What an option's value (or a command's words) is, for the completion.
enum class Value {
    None,        // a switch, or no words
    Text,        // anything; nothing to offer
    File,        // a file name
    Dir,         // a folder
    Port,        // a serial device present on the machine
    ComNumber,   // N of /dev/ttyS(N-1)
    Baud,        // one of the rates the link runs at
    Address,     // PP, ZB1..ZB8
    SlotAddress, // SLOT=PP, SLOT=ZB1..ZB8
    Choice,      // one of Command::choices
    Command,     // a command name
};

struct Option {
    Option(QString shortName_, QString name_, QString value_, QString text_, Value kind_ = Value::None,
           QString sample_ = {}, bool repeatable_ = false)
        : shortName(std::move(shortName_)), name(std::move(name_)), value(std::move(value_)), text(std::move(text_)),
          kind(kind_), sample(std::move(sample_)), repeatable(repeatable_)
    {
    }
    QString shortName; // "h", or empty
    QString name;      // the long name, without dashes
    QString value;     // how the help names the value ("PATH"); empty: a switch
    QString text;
    Value kind = Value::None;
    QString sample;          // a value the parser takes (tests probe the parser with it)
    bool repeatable = false; // may be given more than once
};

struct Command {
    Command(QString name_, QString args_, int minArgs_, int maxArgs_, QStringList options_, QString summary_,
            QString text_, QString example_, Value words_ = Value::None, QStringList choices_ = {})
        : name(std::move(name_)), args(std::move(args_)), minArgs(minArgs_), maxArgs(maxArgs_),
          options(std::move(options_)), summary(std::move(summary_)), text(std::move(text_)),
          example(std::move(example_)), words(words_), choices(std::move(choices_))
    {
    }
    QString name;
    QString args; // as the usage line shows what follows the name: "MODE [PERCENT] [--count N]"
    int minArgs = 0;
    int maxArgs = 0;
    QStringList options;       // long names of the options it takes, besides Program::everywhere
    QString summary;           // for the command list
    QString text;              // more for its own help and the man page; may be empty
    QString example;           // a whole command line
    Value words = Value::None; // what its words are
    QStringList choices;       // Value::Choice: the first word's choices
};

struct Item {
    QString term;
    QString text;
};

struct Program {
    QString name;
    QString summary; // the man page's NAME line
    QString usage;   // after the program name: "[options] COMMAND [ARGS]"
    QString description;
    QList<Option> options;
    QStringList everywhere; // options every command takes (help, version)
    QString optionNotes;    // after the option list
    QList<Command> commands;
    QString commandNotes;
    QList<Item> exitStatus; // "0" "success"
    QString exitNotes;
    QList<Item> files;
    QList<Item> environment;
    QList<Item> examples; // command line, what it does
    QString extraTitle;   // a preformatted block after the options (e.g. line commands)
    QString extraText;
    QStringList seeAlso;
};

// Paragraphs in the texts are separated by an empty line; the help wraps them at 79 columns.
QString RenderHelp(const Program& program);
QString RenderCommandHelp(const Program& program, const Command& command);
// The man page (section 1) in roff.
QString RenderMan(const Program& program, const QString& version);
// A bash completion script: complete -F _NAME PROGRAM.
QString RenderCompletion(const Program& program);

const Command* FindCommand(const Program& program, const QString& name);
const Option* FindOption(const Program& program, const QString& longName);
// The long names of the options a command takes (its own and the ones every command takes),
// in table order.
QStringList CommandOptions(const Program& program, const Command& command);

// The parser's options, made from the table and added to parser; looked up by long name.
class ParserOptions {
public:
    ParserOptions(const Program& program, QCommandLineParser& parser);
    // Aborts when the name is not in the table: the parser would use an undocumented option.
    const QCommandLineOption& operator[](const QString& longName) const;
    // The long names of the options given on the command line.
    QStringList Given(const QCommandLineParser& parser) const;

private:
    QMap<QString, QCommandLineOption> byName_;
};

} // namespace kadex::help
