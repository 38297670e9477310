// Reading Q7SIM_* environment variables into a MainframeConfig. A value that
// is not sound is reported in one line on standard error and the default
// stays; an unset or empty variable keeps the default silently.
#include "sim/config_env.h"

#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/module/replay.h"
#include "sim/module/state_file.h"

namespace sim {
namespace {

// How long a run waits for another run on the same state file to end.
constexpr double DEFAULT_LOCK_WAIT_SECONDS = 5.0;

void report(const std::string& line) {
  std::fprintf(stderr, "q7340 simulator: %s\n", line.c_str());
}

const char* valueOf(const char* variable) {
  const char* text = getenv(variable);
  return text != nullptr && *text != '\0' ? text : nullptr;
}

std::string shortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// A finite number from low to high, and a whole one when `whole`. False when
// the variable is unset, or after reporting a value that is not such a number.
bool readNumber(const char* variable, double low, double high, double* value,
                bool whole = false) {
  const char* text = valueOf(variable);
  if (text == nullptr) return false;
  char* end = nullptr;
  double number = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(number) || number < low || number > high ||
      (whole && number != std::floor(number))) {
    report(std::string(variable) + "=" + text + " ignored: not a " +
           (whole ? "whole number" : "number") + " from " + shortNumber(low) + " to " +
           shortNumber(high));
    return false;
  }
  *value = number;
  return true;
}

void readMicroseconds(const char* variable, double* seconds) {
  double microseconds = 0;
  if (readNumber(variable, 0, 1e6, &microseconds)) *seconds = microseconds * 1e-6;
}

void readPreset(module::FlashRevisions* flash) {
  const char* preset = valueOf("Q7SIM_MODULE");
  if (preset == nullptr) return;
  if (strcmp(preset, "older") == 0) {
    *flash = module::olderModuleFlash();
  } else if (strcmp(preset, "uptodate") == 0) {
    *flash = module::upToDateFlash();
  } else if (strcmp(preset, "newer") == 0) {
    *flash = module::newerGenerationFlash();
  } else {
    report(std::string("Q7SIM_MODULE=") + preset + " ignored: not older, uptodate or newer");
  }
}

// How long programming and booting take, how fast the FIFO drains, whether
// the module asks for a reset at power-up.
void readModuleTimes(module::ModuleConfig* config) {
  readNumber("Q7SIM_PROGRAM_SECONDS", 0, 86400, &config->programTime);
  readNumber("Q7SIM_BOOT_SECONDS", 0, 86400, &config->bootTime);
  readNumber("Q7SIM_DRAIN_BYTES_PER_SECOND", 0, 1e12, &config->drainRate);
  double flag = 0;
  if (readNumber("Q7SIM_RESET_REQUEST", 0, 1, &flag, true))
    config->resetRequestAtPowerUp = flag != 0;
}

// Q7SIM_FAIL_COMMAND=NAME[:RESULT]: the module function NAME returns RESULT
// (a negative whole number, -1 when not given) and changes nothing, so that a
// failed programming can be rehearsed and recorded.
void readFailingCommand(module::ModuleConfig* config) {
  const char* text = valueOf("Q7SIM_FAIL_COMMAND");
  if (text == nullptr) return;
  std::string name = text;
  long result = -1;
  size_t colon = name.find(':');
  if (colon != std::string::npos) {
    const char* number = text + colon + 1;
    char* end = nullptr;
    result = std::strtol(number, &end, 10);
    if (colon == 0 || end == number || *end != '\0' || result >= 0 || result < INT32_MIN) {
      report(std::string("Q7SIM_FAIL_COMMAND=") + text +
             " ignored: not NAME or NAME:RESULT with a negative whole RESULT");
      return;
    }
    name.resize(colon);
  }
  config->faults.failingCommands[name] = static_cast<int32_t>(result);
}

// A state file that holds a flash wins over Q7SIM_MODULE. One that cannot be
// used leaves the module out of the mainframe: a module on its preset would
// hide the problem, and its first change would overwrite the file.
void openStateFile(MainframeConfig* config) {
  const char* path = valueOf("Q7SIM_STATE_FILE");
  if (path == nullptr) return;
  double lockWait = DEFAULT_LOCK_WAIT_SECONDS;
  readNumber("Q7SIM_STATE_LOCK_SECONDS", 0, 600, &lockWait);
  std::string error;
  std::unique_ptr<module::FlashStateFile> file =
      module::FlashStateFile::open(path, lockWait, &config->module.flash, &error);
  if (file == nullptr) {
    report(error + "; the simulated mainframe has no Q7340 module");
    config->q7340La = -1;
    return;
  }
  config->module.stateFile = std::move(file);
}

// A recorded module puts its reset request and, unless Q7SIM_Q7340_LA says
// otherwise, its logical address in place. A record that cannot be read
// leaves the module out, as an unusable state file does.
void openReplay(MainframeConfig* config, bool addressGiven) {
  const char* path = valueOf("Q7SIM_REPLAY");
  if (path == nullptr) return;
  std::string error;
  std::shared_ptr<module::ModuleReplay> replay = module::ModuleReplay::load(path, &error);
  if (replay == nullptr) {
    report(error + "; the simulated mainframe has no Q7340 module");
    config->q7340La = -1;
    return;
  }
  if (config->q7340La >= 0 && !addressGiven && replay->logicalAddress() >= 0)
    config->q7340La = replay->logicalAddress();
  config->module.resetRequestAtPowerUp = replay->resetRequestAtPowerUp();
  config->module.replay = std::move(replay);
}

}  // namespace

MainframeConfig configFromEnvironment() {
  MainframeConfig config;
  double la = 0;
  const bool addressGiven = readNumber("Q7SIM_Q7340_LA", 0, 255, &la, true);
  if (addressGiven) config.q7340La = static_cast<int>(la);
  readMicroseconds("Q7SIM_COST_SINGLE16_US", &config.costs.single16);
  readMicroseconds("Q7SIM_COST_SINGLE32_US", &config.costs.single32);
  readMicroseconds("Q7SIM_COST_BLOCK16_US", &config.costs.block16);
  readMicroseconds("Q7SIM_COST_BLOCK32_US", &config.costs.block32);
  readMicroseconds("Q7SIM_COST_BLOCK_SETUP_US", &config.costs.blockSetup);
  readPreset(&config.module.flash);
  readModuleTimes(&config.module);
  readFailingCommand(&config.module);
  openStateFile(&config);
  openReplay(&config, addressGiven);
  return config;
}

}  // namespace sim
