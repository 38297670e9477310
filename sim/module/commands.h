// Command execution (tag 0x77): the body's function name and typed
// parameters, and the table of module functions the host can call by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/module/module_state.h"

namespace sim::module {

// One parsed parameter.
struct CommandParameter {
  char type = 0;       // 'I', 'S' or 'L'
  std::string text;    // the value text as sent
  int32_t integer = 0; // 'I': the value; 'L': the symbol's address
};

struct CommandOutcome {
  std::string name;          // the function name ("" when the body had none)
  int32_t result = 0;        // the function's 32-bit result
  double busySeconds = 0;    // execution time before the answer
  bool reboot = false;       // "reboot": the module reboots and does not answer
};

// Parses the body (name, then up to ten type/value pairs, then the channel's
// zero padding) and runs the function. An unknown name or a malformed
// parameter gives the result -1.
CommandOutcome executeCommand(ModuleState& state, const ModuleConfig& config,
                              const std::vector<uint8_t>& body);

}  // namespace sim::module
