#pragma once
// The widget side of a language change: every window that holds widgets not bound to the
// window-value model sets their texts from the language in force, the same way, through
// ApplyWidgetTexts; the model-bound ones change through the model.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace kadex::gui {

// Sets the texts of the widgets and actions below `root` (and root's window title for the key
// FormTitle) that the language's elements of `sections` name: the caption of a label, button,
// group box, action or tab, and for a hint element its tool tip. Elements for which `skip`
// says true (bound to the model) are left alone.
// reglerFkt chooses the V' or P' variants.
void ApplyWidgetTexts(QWidget& root, const QStringList& sections,
                      const std::function<bool(const QString& element)>& skip = {}, int reglerFkt = 1);

// A text of the language in force (its default when the file has none).
QString LangText(const char* section, const char* key);

} // namespace kadex::gui
