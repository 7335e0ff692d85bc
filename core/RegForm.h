#pragma once
// The controller function dialog without widgets: which function the dialog offers, and
// SetRegForm, which applies the chosen function (volume flow or pressure application) to the
// whole tool through the window-value model: the remembered nominal value of each function,
// the V'/P' captions, the status bar, which sensor types and which conductance, density and
// V'mid fields there are, and the identification text the device must carry.
//
// The dialog's state lives in the model: RadioButtonVolumenstrom / RadioButtonDruckanwendung
// hold the choice, the field RegFktForm is visible while the dialog is shown. Run on the
// thread that owns the window changes (the flow runner or the GUI thread), one call at a time.
#include "device/DeviceContext.h"
#include "device/OEMData.h"
#include "device/model/WindowModel.h"

#include <QString>
#include <functional>

namespace kadex {

// What the rest of the window does when the function changes; an empty hook does nothing.
struct TRegFormHooks {
    std::function<void()> ShowUnits;         // unit texts and unit-dependent limits
    std::function<void()> LoadLanguage;      // texts with the function's V/P variants
    std::function<void()> UpdateVminLimit;   // lowest reachable V'min
    std::function<void()> UpdateSensorViews; // density, altitude, conductance views
    std::function<void()> RefreshComparison; // windows against the device copies
    std::function<void()> CheckDeviceType;   // the identification warning colour
};

// The V'/P' captions of one function, as the window shows them without a language file.
struct TFunctionCaptions {
    QString group;                    // OEM tab group of the nominal and limit values
    QString nom, max, min;            // their captions (OEM and Service tabs)
    QString stageMin, stageMid, stageMax, stageNom; // operation choices
};
TFunctionCaptions FunctionCaptions(int reglerFkt);

// The status bar text of a function: the choice's caption, for the pressure application up
// to its first "[" ("Druck [Kadex KPR]" gives "Druck ").
QString FunctionStatusText(int reglerFkt, const QString& volumeCaption, const QString& pressureCaption);

class TRegForm {
public:
    TRegForm(TDeviceContext& ctx, TOEMData& oem);

    TRegFormHooks Hooks;

    // The function the dialog's choice names: 1 volume flow, 2 pressure.
    int ChosenFunction() const;
    // Showing the dialog: the choice follows the current function; RegFktForm becomes visible.
    void Show();
    // Applies the dialog's choice to the tool (see the header comment).
    void SetRegForm();
    // The same after a record was shown (read from a device or a file): the nominal value
    // shown is the record's and stays; it becomes the remembered value of its function.
    void ApplyShownRecord();
    // OK: applies, compares again, updates the sensor views and closes.
    void Ok();
    // Cancel: the choice goes back to the current function and the dialog closes.
    void Cancel();
    // Escape: closes; the choice is reset the next time the dialog is shown.
    void Close();

private:
    void apply(bool recordShown);
    void applyCaptions(int reglerFkt);
    static void run(const std::function<void()>& hook)
    {
        if (hook)
            hook();
    }

    TDeviceContext& ctx_;
    TOEMData& oem_;
    WindowModel& m_;
};

} // namespace kadex
