// The simulated mainframe's configuration from environment variables, for
// its shared-library form (sim/README.md lists them). Only the simulator
// reads them; the program reads no environment variable.
#pragma once

#include "sim/mainframe.h"

namespace sim {

// The defaults, changed by each Q7SIM_* variable that is set and valid; each
// one set to something else is reported in one line on standard error. With
// Q7SIM_STATE_FILE the module's state file is opened and locked for as long
// as the configuration (or a copy of it) lives; when it cannot be used, one
// line says why and the configuration has no Q7340 module (q7340La -1).
MainframeConfig configFromEnvironment();

}  // namespace sim
