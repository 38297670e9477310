// VISA resource names and search expressions as the simulated mainframe
// understands them: "VXI0::MEMACC", "VXI0::<la>", "VXI0::<la>::INSTR" (and
// "VXI::..." for board 0), in any letter case.
#pragma once

#include <string>

#include "vxi/visa.h"

namespace sim {

struct ResourceName {
  bool memAcc = false;  // true: the interface's MEMACC resource; false: an instrument
  int board = 0;
  int la = -1;
};

// VI_SUCCESS with *parsed filled; VI_ERROR_RSRC_NFOUND for a well-formed name
// of something the mainframe does not have (another interface or board, a
// BACKPLANE or SERVANT resource); VI_ERROR_INV_RSRC_NAME otherwise.
ViStatus parseResourceName(const std::string& name, ResourceName* parsed);

// "VXI0::MEMACC" or "VXI0::128::INSTR".
std::string canonicalName(const ResourceName& name);

// VISA's regular expressions as viFindRsrc takes them: '?' any one character,
// '*' zero or more and '+' one or more of the preceding character (or '?'),
// everything else itself, letter case ignored.
bool matchesExpression(const std::string& expression, const std::string& descriptor);

}  // namespace sim
