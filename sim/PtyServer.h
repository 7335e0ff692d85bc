#pragma once
// Serves a simulated bus on a pseudo-terminal, so that the tool can open it like a serial
// port. Used by kadex-sim, by the desktop program's simulation option and by end-to-end tests.
#include "sim/SimBus.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kadex::sim {

class PtyServer {
public:
    PtyServer();
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal (raw mode) and starts serving the bus on it.
    bool start(std::shared_ptr<SimBus> bus, std::string* error = nullptr);
    // The device path the tool opens, e.g. /dev/pts/5; empty before start.
    std::string slavePath() const;
    // Stops serving and closes the pseudo-terminal.
    void stop();
    // True from start until stop or a hang-up.
    bool serving() const { return serving_.load(); }

private:
    class Link;
    void loop();
    void closeFds();

    std::shared_ptr<SimBus> bus_;
    std::shared_ptr<Link> link_;
    std::string slavePath_;
    int master_ = -1;
    int slaveKeep_ = -1;  // our own slave descriptor: without it the master sees a hang-up between two opens
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> serving_{false};
};

} // namespace kadex::sim
