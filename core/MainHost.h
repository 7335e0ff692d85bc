#pragma once
// What the core asks of the window it runs under.
#include <QString>

namespace kadex {

// What only a window can do; every call may come from any thread.
class IMainHost {
public:
    virtual ~IMainHost() = default;
    // The error box of a port that cannot be opened (not shown for the quiet retries after a
    // lost port).
    virtual void ShowPortError(const QString& text) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    // The command "Beenden": the window starts its close (which posts the closing flow).
    virtual void RequestClose() {}
    // The command "Hilfe": the window opens the manual.
    virtual void ShowHelp() {}
};

} // namespace kadex
