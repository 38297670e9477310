// The update session: from the connection to the module to the reboot, run
// once the settings are known.
#pragma once

#include <cstdint>

#include "driver/options.h"

// Runs the session with the settings in hand (it may change segment, force,
// lanboot and reboot). Returns the exit status: 0, or negative on failure
// after an error line.
int32_t runUpdateSession(UpdateOptions* options);
