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
    // A stable path for the port: a symbolic link to the pseudo-terminal, made (or replaced)
    // by start and plug and removed by a hang-up, unplug and stop, so the port "comes back at
    // the same path" like a re-plugged adapter. Set before start; empty: none.
    void setLinkPath(const std::string& path) { linkPath_ = path; }
    const std::string& linkPath() const { return linkPath_; }
    // The path to open: the link when there is one, else the pseudo-terminal.
    std::string portPath() const { return linkPath_.empty() ? slavePath() : linkPath_; }
    // Pulls the adapter: the port hangs up and the link disappears.
    void unplug();
    // Plugs it in again: a new pseudo-terminal on the same bus, the link pointing at it.
    bool plug(std::string* error = nullptr);
    // Stops serving and closes the pseudo-terminal.
    void stop();
    // True from start until stop or a hang-up.
    bool serving() const { return serving_.load(); }

private:
    class Link;
    void loop();
    void closeFds();
    bool makeLink(std::string* error);
    void removeLink();

    std::shared_ptr<SimBus> bus_;
    std::shared_ptr<Link> link_;
    std::string slavePath_;
    std::string linkPath_;
    int master_ = -1;
    int slaveKeep_ = -1;  // our own slave descriptor: without it the master sees a hang-up between two opens
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> serving_{false};
};

} // namespace kadex::sim
