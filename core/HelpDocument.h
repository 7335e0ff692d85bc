#pragma once
// The help document: which file belongs to the language and the controller function, where it
// lies, and what the user is told when it is missing or will not open.
#include <QString>
#include <QStringList>

#include <functional>

namespace kadex {

// Name of the German document, taken when the language's own is not there.
inline constexpr const char* kFallbackHelpFile = "Kadexgerm.pdf";

// The document's file name for a language file name ("Kadexgerm.lng" -> "Kadexgerm.pdf"). For
// the pressure application (reglerFkt above 1) "KPR" follows the first "Kadex" in the name (any
// case). A name for which exists() is false gives kFallbackHelpFile.
QString HelpFileName(const QString& languageFile, int reglerFkt, const std::function<bool(const QString&)>& exists);

// The folders searched, in order: beside the program, then the installed data folder.
QStringList HelpFolders();

// Full path of name in the first of folders that holds it; with none, the path in the first
// folder (the one a message names). Folders end in '/'.
QString HelpFilePath(const QString& name, const QStringList& folders);

// The name for the current language file and function, looked up in folders, as a full path.
QString ResolveHelpFile(const QString& languageFile, int reglerFkt, const QStringList& folders);

// Shell-style codes for a document that will not open.
inline constexpr int kHelpAccessDenied = 5; // the file cannot be read
inline constexpr int kHelpNoViewer = 31;    // the desktop has no viewer for it, or it refused

// The information texts: missing file, and a file that would not open (code as above).
QString HelpMissingText(const QString& msgText3, const QString& path);
QString HelpOpenFailedText(const QString& msgText3, int code, const QString& path);

} // namespace kadex
