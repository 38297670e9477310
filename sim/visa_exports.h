// What the two files of the shared VISA library share: the one mainframe the
// exported functions act on, and the attribute that exports a C name.
#pragma once

#include "sim/mainframe.h"
#include "sim/visa_extra.h"

#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace sim {

// Made on the first call from the Q7SIM_* environment variables; lives as
// long as the process.
Mainframe& exportedMainframe();

}  // namespace sim
