// The simulated mainframe as a VISA provider: a VisaFunctions table whose
// members act on sim::current(). With no current mainframe every call fails
// with VI_ERROR_SYSTEM_ERROR (peeks read all ones).
#pragma once

#include "sim/mainframe.h"
#include "vxi/visa.h"

namespace sim {

const VisaFunctions& visaTable();

// Makes the mainframe current and the program's VISA, for a test's or a
// benchmark's process; uninstall() restores the host binding.
inline void install(Mainframe& mainframe) {
  setCurrent(&mainframe);
  visaInstall(&visaTable());
}

inline void uninstall() {
  visaInstall(nullptr);
  setCurrent(nullptr);
}

}  // namespace sim
