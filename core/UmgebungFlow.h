#pragma once
// The ambient conditions dialog without widgets: altitude, temperature and humidity (model
// fields EditHoehe, EditTemp, EditFeuchte, so the calibration record reads them while the
// dialog is closed), the density computed after every change, and the confirm: "Anpassen"
// from the main window (density and ambient conditions written to the controller on the
// core's flow runner) or "Übernehmen" from the options dialog (the options' density only).
//
// Threads: the member functions run on one thread (the window's or the test's); the write runs
// on the flow runner and reports through OnWritten there.
#include <QString>
#include <functional>

namespace kadex {

class TMainCore;

class UmgebungFlow {
public:
    enum class Confirm { Anpassen, Uebernehmen };

    struct View {
        QString hoehe, temp, feuchte;   // the entry fields as they stand
        QString dichte;                 // EditDichte: kg/m³, three decimals
        QString hoeheHint, tempHint, feuchteHint;
        bool volumeFlowRows = true;     // temperature, humidity and density shown
    };

    UmgebungFlow(TMainCore& core, Confirm confirm);

    const View& view() const { return v_; }
    Confirm confirm() const { return confirm_; }
    bool applied() const { return applied_; }
    // Called on the flow runner when the write to the controller has ended (true: written).
    std::function<void(bool)> OnWritten;

    void Show();
    // User entry in one of the three fields: every field is checked, then the density follows.
    void SetHoehe(const QString& text);
    void SetTemp(const QString& text);
    void SetFeuchte(const QString& text);
    // The confirm button. Returns true when a write to the controller was posted.
    bool Accept();
    // Closing: without a confirm the entries get their texts from the show back.
    void Close();

private:
    void checkAndCompute();

    TMainCore& core_;
    const Confirm confirm_;
    View v_;
    QString shownHoehe_, shownTemp_, shownFeuchte_;
    QString firstHoehe_;
    bool applied_ = false;
};

} // namespace kadex
