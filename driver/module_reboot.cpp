// Module reboot and wait. The start-up reset works on the Status/Control
// register alone; the other reboots ask the module through the channel.
#include "driver/module_reboot.h"

#include "common/clock.h"
#include "common/console.h"
#include "msg/msg.h"

namespace {

constexpr uint32_t A16_DEVICE_BLOCKS = 0xC000;
constexpr uint32_t A16_BLOCK_SIZE = 64;
constexpr uint32_t STATUS_OFFSET = 4;
constexpr double HANDSHAKE_HALF_SECONDS = 3.0;
constexpr double STARTUP_WAIT_SECONDS = 35.0;
constexpr int32_t AFTER_REBOOT_PAUSE_MS = 200;

// Host address of the module's Status/Control register, or null when it lies
// outside the device's window.
void* statusRegister(VxiDevice* device, int32_t logicalAddress) {
  if (device == nullptr || device->mapAddress == nullptr || device->mapOffset != 0 ||
      logicalAddress < 0 || logicalAddress > 255)
    return nullptr;
  uint32_t offset =
      A16_DEVICE_BLOCKS + A16_BLOCK_SIZE * static_cast<uint32_t>(logicalAddress) + STATUS_OFFSET;
  if (offset + 2 > device->mapSize) return nullptr;
  return static_cast<uint8_t*>(device->mapAddress) + offset;
}

// Polls the register every millisecond until `done` holds for its value, or
// more than the limit has passed: true when it held.
template <typename Done>
bool pollStatus(VxiDevice* device, void* reg, double limitSeconds, int32_t sleepAfterRead,
                Done done) {
  double start = elapsedSeconds();
  for (;;) {
    sleepMilliseconds(1);
    uint16_t value = vxiPeek16(device, reg);
    if (elapsedSeconds() - start > limitSeconds) return false;
    sleepMilliseconds(sleepAfterRead);
    if (done(value)) return true;
  }
}

void sayUnlessQuiet(const UpdateOptions* options, const char* line) {
  if (!options->quiet) std::fputs(line, consoleOut);
}

void announceReboot(const UpdateOptions* options) {
  sayUnlessQuiet(options, "\nRebooting Q7340\n");
  if (!options->quiet)
    std::fprintf(consoleOut, "Waiting up to %d Sec for reboot to complete\n", REBOOT_WAIT_SECONDS);
}

void reportReboot(const UpdateOptions* options, int32_t result) {
  sayUnlessQuiet(options, result == 0 ? "Reboot complete\n"
                                      : "Error: reboot NOT complete, check address\n");
}

}  // namespace

int32_t readModuleStatus(VxiDevice* device, int32_t logicalAddress, int32_t* value) {
  void* reg = statusRegister(device, logicalAddress);
  if (reg == nullptr) return -1;
  *value = static_cast<int16_t>(vxiPeek16(device, reg));
  return 0;
}

int32_t resetModule(VxiDevice* device, int32_t logicalAddress) {
  void* reg = statusRegister(device, logicalAddress);
  if (reg == nullptr) return -1;
  visa().viPoke16(device->sess, reg, CONTROL_RESET_START);
  if (!pollStatus(device, reg, HANDSHAKE_HALF_SECONDS, 0,
                  [](uint16_t status) { return (status & STATUS_READY) == 0; }))
    return -1;
  if (!pollStatus(device, reg, HANDSHAKE_HALF_SECONDS, 1,
                  [](uint16_t status) { return (status & STATUS_RESET_ACK) != 0; }))
    return -1;
  visa().viPoke16(device->sess, reg, CONTROL_RESET_END);
  return 0;
}

int32_t startupReset(const UpdateOptions* options, VxiDevice* device, int32_t* vxistatus,
                     int32_t* resetDone) {
  *resetDone = 0;
  if (readModuleStatus(device, options->logicalAddress, vxistatus) != 0) return -1;
  // All ones is what an address where no device answers reads: no module
  // there asks for anything.
  if ((*vxistatus & 0xFFFF) == STATUS_NO_DEVICE) return 0;
  if ((*vxistatus & STATUS_RESET_REQUEST) == 0) return 0;
  sayUnlessQuiet(options, "Rebooting Q7340\n");
  // The handshake's own outcome decides nothing: the wait for bit 0 does.
  (void)resetModule(device, options->logicalAddress);
  sleepMilliseconds(AFTER_REBOOT_PAUSE_MS);
  double start = elapsedSeconds();
  for (;;) {
    sleepMilliseconds(1);
    (void)readModuleStatus(device, options->logicalAddress, vxistatus);
    if (elapsedSeconds() - start > STARTUP_WAIT_SECONDS) {
      sayUnlessQuiet(options, "Error: reboot NOT complete, check address\n");
      return -1;
    }
    if (*vxistatus & STATUS_READY) break;
  }
  sayUnlessQuiet(options, "Reboot complete\n\n");
  *resetDone = 1;
  return 0;
}

int32_t requestedReboot(const UpdateOptions* options, LwfChannel* channel) {
  if (!options->quiet) {
    std::fputs("Rebooting Q7340 ", consoleOut);
    std::fprintf(consoleOut, "%s::%d\n", options->vxiInterface, options->logicalAddress);
    std::fprintf(consoleOut, "Waiting up to %d Sec for reboot to complete\n", REBOOT_WAIT_SECONDS);
  }
  int32_t result = q7340MsgReboot(channel, REBOOT_WAIT_SECONDS);
  sleepMilliseconds(AFTER_REBOOT_PAUSE_MS);
  reportReboot(options, result);
  return result;
}

int32_t selftestReboot(const UpdateOptions* options, LwfChannel* channel) {
  announceReboot(options);
  int32_t result = q7340MsgReboot(channel, REBOOT_WAIT_SECONDS);
  if (result == 0) sleepMilliseconds(AFTER_REBOOT_PAUSE_MS);
  reportReboot(options, result);
  return result;
}

int32_t confirmedReboot(const UpdateOptions* options, LwfChannel* channel) {
  announceReboot(options);
  int32_t result = q7340MsgReboot(channel, REBOOT_WAIT_SECONDS);
  reportReboot(options, result);
  return result;
}
