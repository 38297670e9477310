// The real clock is CLOCK_MONOTONIC and nanosleep; the virtual clock is one
// process-wide counter of seconds.
#include "common/clock.h"

#include <cerrno>
#include <ctime>

namespace {
bool virtualClock = false;
int64_t virtualNanos = 0;  // whole nanoseconds, so that sums of sleeps stay exact
}  // namespace

double elapsedSeconds() {
  if (virtualClock) return static_cast<double>(virtualNanos) * 1e-9;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void sleepMilliseconds(int32_t milliseconds) {
  if (milliseconds <= 0) return;
  if (virtualClock) {
    virtualNanos += int64_t{milliseconds} * 1000000;
    return;
  }
  timespec rest{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

void clockUseVirtual(double startSeconds) {
  virtualClock = true;
  virtualNanos = static_cast<int64_t>(startSeconds * 1e9 + 0.5);
}

bool clockIsVirtual() { return virtualClock; }

void clockCharge(double seconds) {
  if (virtualClock && seconds > 0) virtualNanos += static_cast<int64_t>(seconds * 1e9 + 0.5);
}
