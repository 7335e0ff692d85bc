// The built-in simulated controller for --simulate.
#include "comm/Transport.h"
#include "sim/SimTransport.h"

#include <memory>

namespace kadex::cli {

std::unique_ptr<ITransport> MakeSimulatedTransport()
{
    return std::make_unique<sim::SimTransport>(std::make_shared<sim::SimBus>());
}

} // namespace kadex::cli
