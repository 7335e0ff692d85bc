#pragma once
// Pictures of the main window, one per tab, and of its dialogs for the documentation, taken by
// the program kadex-screenshots: "--screenshot-dir DIR" (or "--screenshot-dir=DIR").
#include <QString>
#include <QStringList>

class QWidget;

namespace kadex {

class TMainForm;
class TMainCore;

// File name of the picture of a tab: "tab-<index>-<short name>.png".
QString ScreenshotFileName(int tabIndex);

// Activates each tab in turn (the hidden Transfer tab is shown for its picture), grabs the
// window and writes it into dir, which is created when missing; then the variable sensor,
// variable actuator and controller function dialogs ("dialog-<name>.png"). Returns the files written;
// a failed write ends the run and leaves the missing file out.
QStringList TakeScreenshots(TMainForm& form, const QString& dir, QString* error = nullptr);

// Pictures of the conductance and ambient conditions dialogs ("dialog-leitwert.png",
// "dialog-umgebung.png") as they open on the core's values; appended to written.
bool TakeDialogScreenshots(TMainCore& core, QWidget* parent, const QString& dir, QStringList& written,
                           QString* error = nullptr);

// The OEM tab once per sensor type the controller offers ("tab-0-oem-sensor-<n>-<type>.png",
// n the choice's place), each chosen as by a click so the core's rules run; the choice the
// window had is clicked again afterwards.
bool TakeSensorTypeScreenshots(TMainForm& form, const QString& dir, QStringList& written, QString* error = nullptr);

// With a controller read: V'nom and the OEM text of the OEM tab typed as the user types,
// then the window with the differing fields tinted ("what-differs-window.png") and the list a
// click on the not-equal picture opens ("what-differs.png"); the typed values are put back.
bool TakeDifferenceScreenshots(TMainForm& form, TMainCore& core, const QString& dir, QStringList& written,
                               QString* error = nullptr);

// When the arguments ask for screenshots: once the event loop runs, takes them (with a core,
// the dialogs too) and ends the event loop with exit code 0 (all written) or 1. With --simulate
// the sensor-type and difference pictures follow, and last "service-betrieb.png": the Service
// tab in operation with the live plot. Returns whether the option was given.
bool ScheduleScreenshots(const QStringList& arguments, TMainForm& form, TMainCore* core = nullptr);

} // namespace kadex
