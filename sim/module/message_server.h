// The module's message server: one handler per request tag, served only
// while the software that adds it is loaded. A frame whose tag nobody serves
// gets no answer at all, so the host's time-out is real.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/module/frame_assembler.h"
#include "sim/module/module_state.h"

namespace sim::module {

constexpr int32_t TAG_EMPTY = 0x5F;
constexpr int32_t TAG_SELF_TEST = 0x60;
constexpr int32_t TAG_DOWNLOAD = 0x68;
constexpr int32_t TAG_REBOOT = 0x7D;

// What the server does with one request.
struct ServerAnswer {
  bool reply = true;               // false: nothing is sent back
  std::vector<uint32_t> payload;   // the reply payload words
  double delaySeconds = 0;         // extra time before the reply (an injected late answer)
  double busySeconds = 0;          // execution time: nothing else runs, the reply waits
  bool reboot = false;             // the module reboots once the request is handled
  bool stayDown = false;           // ... and never comes back up
  bool raw = false;                // payload holds whole frames, sent as they stand
};

// True when a handler for the tag is in place now.
bool tagIsServed(const ModuleState& state, int32_t tag);

// Handles one request frame.
ServerAnswer serveRequest(ModuleState& state, const ModuleConfig& config, const Frame& frame);

}  // namespace sim::module
