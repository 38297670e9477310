#include "driver/interruption.h"

#include <signal.h>

#include <cstdio>
#include <ctime>

#include "common/console.h"

namespace {

bool holding = false;
int32_t firstSignal = 0;  // the first stop signal taken while holding
sigset_t previousMask;

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGQUIT);
  return set;
}

// Takes every pending stop signal without waiting.
void takePending() {
  sigset_t set = stopSignals();
  const timespec now = {0, 0};
  for (int taken = sigtimedwait(&set, nullptr, &now); taken > 0;
       taken = sigtimedwait(&set, nullptr, &now)) {
    if (firstSignal != 0) continue;
    firstSignal = taken;
    std::fflush(consoleOut);
    std::fprintf(consoleErr,
                 "%s received: programming continues, and the update stops after it.\n",
                 stopSignalName(taken));
    std::fflush(consoleErr);
  }
}

}  // namespace

void holdStopSignals() {
  sigset_t set = stopSignals();
  sigprocmask(SIG_BLOCK, &set, &previousMask);
  holding = true;
  firstSignal = 0;
}

void noteStopSignals() {
  if (holding) takePending();
}

int32_t releaseStopSignals() {
  if (!holding) return 0;
  takePending();
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  holding = false;
  return firstSignal;
}

const char* stopSignalName(int32_t signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: {
      static char name[24];
      std::snprintf(name, sizeof name, "signal %d", signal);
      return name;
    }
  }
}
