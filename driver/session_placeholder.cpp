// Stands in for the update session until it is built: says so and fails.
#include <cstdio>

#include "common/console.h"
#include "driver/session.h"

int32_t runUpdateSession(UpdateOptions* /*options*/) {
  std::fputs("Error: update session not available in this build\n", consoleErr);
  return -1;
}
