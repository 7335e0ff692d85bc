#pragma once
// The conductance dialog without widgets: its fields, the computation from typed values, and
// the measurement with air: the countdown while the damper opens fast, the ten pressure samples
// the operation thread takes, the stability test and the result. Bus work (switching the
// operation mode on and off) goes to the core's flow runner; the sampling itself is the
// operation step's. Time comes from an IClock and advances only in Tick(), which the dialog
// calls every 10 ms and tests call after moving a hand-driven clock.
//
// Threads: every member function runs on one thread (the window's, or the test's). The view
// changes only inside these calls; OnChanged is called after each call that changed it.
#include "comm/Clock.h"
#include "device/BetriebCalc.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace kadex {

class TMainCore;

class LeitwertFlow {
public:
    enum class Phase { Idle, Countdown, Sampling };

    // What the dialog shows.
    struct View {
        QString volumenstrom, druckMw;        // EditVolumenstrom, EditDruckMw
        QString lwAktiv, lwErmittelt;         // EditLwAktiv, EditLwErmittelt
        QString flowUnit, pressureUnit;
        QString calculateText;                // LabelCalculateLWText
        QString calculateResult;              // LabelCalculateLW
        bool resultIsError = false;           // LabelCalculateLW in red
        bool panelVisible = false;            // PanelDruckmessung
        bool startMeasVisible = false;        // ButtonStartMeas
        int progressMax = 100, progress = 0;
        bool okEnabled = true, abortEnabled = true, mitLuftEnabled = false, berechnenEnabled = true;
        bool busy = false;                    // busy cursor during the countdown
    };

    LeitwertFlow(TMainCore& core, IClock& clock);
    ~LeitwertFlow();

    const View& view() const { return v_; }
    Phase phase() const { return phase_; }
    int countdown() const { return countdown_; }
    bool applied() const { return applied_; }
    std::function<void()> OnChanged;

    // Showing the dialog: the active conductance, V'nom and the expected pressure.
    void Show();
    // Entry of the two input fields (the entry limits apply at once).
    void SetVolumenstrom(const QString& text);
    void SetDruckMw(const QString& text);
    // "Berechnen".
    void Berechnen();
    // "mit Luft": switches the operation mode on (fast open) where it is off and waits.
    void MitLuft();
    // "Start Messung": ends the countdown now.
    void StartNow();
    // Countdown and sampling supervision; returns true while a measurement runs.
    bool Tick();
    // "Übernehmen": the new value into the OEM tab's entry field, then closes.
    void Uebernehmen();
    // Closing in any way: ends a measurement and the operation mode.
    void Close();

    // Labels the measurement uses, from the language texts.
    QString PressureCaption = QStringLiteral("Druck");
    QString WaitingCaption = QStringLiteral("Ermittle aktuellen Druckwert:");

private:
    void changed();
    void compute();
    void startSampling();
    void supervise();
    void finishMeasurement();

    TMainCore& core_;
    IClock& clock_;
    View v_;
    Phase phase_ = Phase::Idle;
    int countdown_ = 0;
    int countdownStart_ = 0;
    uint64_t secondAt_ = 0;   // when the countdown next goes down
    uint64_t superviseAt_ = 0;
    bool abort_ = false, startNow_ = false, applied_ = false, closed_ = false;
};

} // namespace kadex
