// Flash presets of the simulated module, taken from the carried records where
// a module is up to date.
#include "sim/module/module_config.h"

#include "payload/payload.h"

namespace sim::module {

namespace {
int32_t carriedRevision(const char* name) {
  const PayloadRecord* record = payloadFind(name);
  return record != nullptr ? record->revision : 0;
}
}  // namespace

FlashRevisions olderModuleFlash() {
  FlashRevisions flash;
  flash.segment[0] = 100000;
  flash.segment[1] = 2041200;
  flash.segment[2] = 2061000;
  flash.segment[3] = 3030500;
  flash.segment[4] = 10700;
  flash.lanboot = 100000;
  flash.selftestRecorded = 0;
  return flash;
}

FlashRevisions upToDateFlash() {
  FlashRevisions flash;
  for (int i = 0; i < SEGMENT_COUNT; ++i) flash.segment[i] = carriedRevision(romSegments[i].efile->name);
  flash.lanboot = carriedRevision("bootrom.hex");
  flash.selftestRecorded = flash.segment[4];
  return flash;
}

FlashRevisions newerGenerationFlash() {
  FlashRevisions flash = upToDateFlash();
  flash.segment[0] = 120500;
  flash.lanboot = 120500;
  return flash;
}

}  // namespace sim::module
