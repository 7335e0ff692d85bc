#include "sim/SimLink.h"

#include "sim/SimTransport.h"

namespace kadex::sim {

SimulatedLink MakeSimulatedLink()
{
    SimulatedLink link;
    link.bus = std::make_shared<SimBus>();
    link.transport = std::make_unique<SimTransport>(link.bus);
    return link;
}

} // namespace kadex::sim
