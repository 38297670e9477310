// The simulated mainframe's configuration from environment variables, for
// its shared-library form (sim/README.md lists them). Only the simulator
// reads them; the program reads no environment variable.
#pragma once

#include "sim/mainframe.h"

namespace sim {

// The defaults, changed by each Q7SIM_* variable that is set and valid.
MainframeConfig configFromEnvironment();

}  // namespace sim
