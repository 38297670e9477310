// The wrapper every VISA entry point of the mainframe runs its body through:
// fault injection first, then the body, then the call log. Private to the
// mainframe's own files.
#pragma once

#include "sim/mainframe.h"

namespace sim {

template <typename Body>
ViStatus Mainframe::traced(const char* function, ViObject session, std::vector<uint64_t> args,
                           std::string text, std::optional<ViAttr> attribute, Body body) {
  std::optional<ViStatus> fault = faultFor(function, attribute, text);
  ViStatus status = fault ? *fault : body();
  if (logEnabled || trace != nullptr)
    record(CallRecord{function, session, std::move(args), std::move(text), status});
  return status;
}

}  // namespace sim
