#pragma once
// Where the tool finds its own files and keeps the user's.
#include <QString>

namespace kadex {

// The per-user data folder ($XDG_DATA_HOME, else ~/.local/share) with a trailing '/';
// empty when neither is known.
QString GetLocalAppDataDir();

// Folder of the running program, with a trailing '/'.
QString ProgramDir();
// Full path of the running program.
QString ProgramPath();

// A data file shipped with the program: beside the executable first, then the installed
// data folder (share/kadex-tool). Returns the first path that exists, else empty.
QString FindDataFile(const QString& name);

} // namespace kadex
