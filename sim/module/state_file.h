// The flash kept in a small text file between runs of the shared-library
// form, so that a second run finds the module as the first left it.
// One "key value" line each: segment0 .. segment4, lanboot, selftestRecorded.
#pragma once

#include <string>

#include "sim/module/module_config.h"

namespace sim::module {

// False when the file cannot be written.
bool saveFlash(const std::string& path, const FlashRevisions& flash);
// False (and *flash unchanged) when the file is missing or any line is not
// sound; every key must be present.
bool loadFlash(const std::string& path, FlashRevisions* flash);

}  // namespace sim::module
