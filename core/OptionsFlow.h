#pragma once
// The options dialog without widgets: the tool's own settings (port, unit set, folders, OEM
// password, OEM text, density). Its entries are model fields of the window "OptSetForm"; the
// password and density rules stay installed while the dialog is closed, because the
// calibration record and the ambient conditions dialog write those fields too.
//
// Threads: Show, Accept and Cancel run on the window thread (they read and write the tool
// settings records, which belong to it); what OK changes in the model or on the bus is posted
// to the core's flow runner as one flow, in the order of the OK steps.
#include <QString>
#include <QStringList>
#include <functional>

namespace kadex {

class TMainCore;

class OptionsFlow {
public:
    // Installs the password and density rules on the core's model.
    explicit OptionsFlow(TMainCore& core);

    // The machine's serial ports (device paths), filled once; the port in use is added at
    // show time when it is not among them (a pseudo-terminal, the simulator).
    void SetPorts(const QStringList& ports);
    // The error box of a folder that cannot be used (window thread).
    std::function<void(const QString& text)> OnError;
    // Called on the flow runner when the flow posted by Accept has ended.
    std::function<void()> OnApplied;

    // The port the link uses now: its path, else the device of its number.
    QString PortInUse() const;

    void Show();
    // OK. Returns true when a flow was posted (always, for the V'min limit and the buttons).
    bool Accept();
    // Cancel, Escape and the title bar: the password, OEM text and density get their texts
    // from the show back, without their change rules.
    void Cancel();

    // The folder test of OK: not empty, and existing or created with its parents.
    static bool FolderUsable(const QString& dir);
    // The password field's rule: not a number or below 1 gives "0", above 2^32-1 its maximum.
    static QString PasswordText(const QString& text);
    // The density field's rule: outside 0 .. 2 the bound with three decimals, else unchanged.
    static QString DensityText(const QString& text);

private:
    void installRules();

    TMainCore& core_;
    QStringList ports_;
    QString shownPassword_, shownOemText_, shownDensity_;
};

} // namespace kadex
