// The prompts that complete the connection settings before the update session.
#pragma once

#include <cstdint>

#include "driver/options.h"

// Asks for the interface, then for the IP address (interface "IP...") or the
// device address, echoing each value in hand. A line counts only when it has
// more than one character, its line end included; otherwise (an empty line or
// the end of input) the value in hand stays. A device address that names no
// module (outside 0 to 255) is refused right after its echo: an "Error: "
// line on consoleErr and -1, in place of the blank line that closes the
// prompts. Returns 0 otherwise.
int32_t askConnectionSettings(UpdateOptions* options);
