#pragma once
// The command line of the desktop program kadex-tool, parsed before any window exists.
#include <QString>
#include <QStringList>

namespace kadex {

struct ToolArguments {
    QString portPath;      // --port
    bool simulate = false; // --simulate
    QString screenshotDir; // --screenshot-dir (taken again by the screenshot helper)
    bool help = false;
    bool version = false;
};

// The help text of kadex-tool.
QString ToolHelpText();

// Parses args (program name first). Qt's own "-platform NAME" and "-style NAME" are passed
// over; they are for the application object. False with the English reason in error.
bool ParseToolArguments(const QStringList& args, ToolArguments& out, QString& error);

} // namespace kadex
