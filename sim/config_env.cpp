// Reading Q7SIM_* environment variables into a MainframeConfig.
#include "sim/config_env.h"

#include <cstdlib>
#include <cstring>

namespace sim {
namespace {

bool readNumber(const char* variable, double* value) {
  const char* text = getenv(variable);
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  double number = strtod(text, &end);
  if (*end != '\0' || number < 0) return false;
  *value = number;
  return true;
}

void readMicroseconds(const char* variable, double* seconds) {
  double microseconds = 0;
  if (readNumber(variable, &microseconds)) *seconds = microseconds * 1e-6;
}

// The module: which flash it starts with, where its flash is kept between
// runs, and how long programming and booting take.
void readModule(module::ModuleConfig* config) {
  if (const char* preset = getenv("Q7SIM_MODULE"); preset != nullptr) {
    if (strcmp(preset, "older") == 0) config->flash = module::olderModuleFlash();
    if (strcmp(preset, "uptodate") == 0) config->flash = module::upToDateFlash();
    if (strcmp(preset, "newer") == 0) config->flash = module::newerGenerationFlash();
  }
  if (const char* path = getenv("Q7SIM_STATE_FILE"); path != nullptr) config->stateFile = path;
  readNumber("Q7SIM_PROGRAM_SECONDS", &config->programTime);
  readNumber("Q7SIM_BOOT_SECONDS", &config->bootTime);
  readNumber("Q7SIM_DRAIN_BYTES_PER_SECOND", &config->drainRate);
  double flag = 0;
  if (readNumber("Q7SIM_RESET_REQUEST", &flag)) config->resetRequestAtPowerUp = flag != 0;
}

}  // namespace

MainframeConfig configFromEnvironment() {
  MainframeConfig config;
  double la = 0;
  if (readNumber("Q7SIM_Q7340_LA", &la) && la <= 255 && la == static_cast<int>(la))
    config.q7340La = static_cast<int>(la);
  readMicroseconds("Q7SIM_COST_SINGLE16_US", &config.costs.single16);
  readMicroseconds("Q7SIM_COST_SINGLE32_US", &config.costs.single32);
  readMicroseconds("Q7SIM_COST_BLOCK16_US", &config.costs.block16);
  readMicroseconds("Q7SIM_COST_BLOCK32_US", &config.costs.block32);
  readMicroseconds("Q7SIM_COST_BLOCK_SETUP_US", &config.costs.blockSetup);
  readModule(&config.module);
  return config;
}

}  // namespace sim
