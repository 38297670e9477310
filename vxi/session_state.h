// Process-wide state of the VXI access library shared between its files; not
// for callers of the library.
#pragma once

#include "vxi/visa.h"

// The VISA default resource-manager session: 0 until the first vxiOpen opens
// it; then open until the process ends, serving every open, search and text.
extern ViSession defaultRM;
