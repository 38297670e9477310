// The attributes the simulated mainframe answers (sim/attributes.cpp).
#pragma once

#include "vxi/visa.h"

namespace sim {

// "VI_ATTR_TMO_VALUE" for an attribute the mainframe answers; null otherwise.
const char* attributeName(ViAttr attribute);

}  // namespace sim
