// The built-in simulated controller for --simulate.
#include "comm/Transport.h"

#include <memory>

namespace kadex::cli {

std::unique_ptr<ITransport> MakeSimulatedTransport()
{
    return nullptr; // replaced once the simulator library is in
}

} // namespace kadex::cli
