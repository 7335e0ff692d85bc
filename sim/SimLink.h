#pragma once
// The built-in simulated controller behind --simulate, the same for the command line and the
// desktop program: one controller on an in-process bus and the transport the tool opens
// instead of a port.
#include "comm/Transport.h"
#include "sim/SimBus.h"

#include <memory>

namespace kadex::sim {

struct SimulatedLink {
    std::shared_ptr<SimBus> bus;          // to look at or change the simulated controllers
    std::unique_ptr<ITransport> transport;
    const char* portName = "simulated";   // what the tool shows as its port
};

SimulatedLink MakeSimulatedLink();

} // namespace kadex::sim
