#pragma once
// The command line of the desktop program kadex-tool, parsed before any window exists.
#include "common/HelpText.h"

#include <QString>
#include <QStringList>

namespace kadex {

struct ToolArguments {
    QString portPath;      // --port
    bool simulate = false; // --simulate
    bool help = false;
    bool version = false;
};

// kadex-tool's options, written once for the parser, --help and the man page.
const help::Program& ToolProgram();

// The help text of kadex-tool.
QString ToolHelpText();

// Parses args (program name first). Qt's own "-platform NAME" and "-style NAME" are passed
// over; they are for the application object. False with the English reason in error.
bool ParseToolArguments(const QStringList& args, ToolArguments& out, QString& error);

} // namespace kadex
