#pragma once
// Puts the language in force into the window-value model: the captions and hints of the main
// window and of the dialogs whose fields live in the model (sensor, actuator, function, options
// dialogs), with the variants of the controller function and the sensor type. Windows that are
// widgets only (About box, addressing, raw commands, conductance, ambient conditions, bus scan)
// take their texts on the GUI side from the same snapshot.
//
// Threads: Load runs on the GUI thread (it writes the text records' working copy); Apply only
// sets captions and hints, which any thread may do.
#include "settings/Language.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace kadex {

struct TDeviceContext;
class WindowModel;

// Sections whose elements are widgets of their own window, not model fields.
bool IsWidgetLanguageSection(const QString& section);

// Sets the model's captions and hints from `lang`. After it, the V'min share label follows the
// firmware (percent of V'nom from 0x0220 on).
void ApplyLanguageToModel(WindowModel& m, const TLanguage& lang, int reglerFkt, bool volumeSensor, uint16_t firmware);

class TLanguageLoader {
public:
    explicit TLanguageLoader(TDeviceContext& ctx);

    // Loads the language file named by the tool settings (program folder, then the installed
    // data folder) and applies it. A missing file changes nothing. What was not read is said
    // once: in the trace and in the status bar. GUI thread.
    TLanguageLoad Load();
    // The language in force again, for the current function and sensor type (after the
    // function dialog or a sensor type change). Any thread.
    void Apply();

    // After every load that found its file, on the loading thread (the windows retranslate).
    std::function<void()> OnLoaded;

private:
    TDeviceContext& ctx_;
};

} // namespace kadex
