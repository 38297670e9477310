// Device clear: of one device, or of every instrument of the interface when
// the record is the interface's memory-access resource.
#include <cstdio>

#include "common/console.h"
#include "vxi/session_state.h"
#include "vxi/vxi.h"

namespace {

// Clears each instrument the search "%s::?*INSTR" finds; one that cannot be
// opened is reported and skipped.
int32_t clearInterface(VxiDevice* device) {
  const char* interfaceName = vxiInterfaceName(device);
  if (interfaceName == nullptr) return VXI_ERROR_ARGUMENT;
  char expression[sizeof(VxiDevice::rsrcName) + 16];
  snprintf(expression, sizeof expression, "%s::?*INSTR", interfaceName);

  ViFindList list = 0;
  ViUInt32 count = 0;
  ViChar descriptor[VI_FIND_BUFLEN] = {};
  // The search alone judges VISA's statuses by their sign.
  ViStatus status = visa().viFindRsrc(defaultRM, expression, &list, &count, descriptor);
  if (status < 0) return status;
  for (ViUInt32 i = 0; i < count; ++i) {
    ViSession instrument = 0;
    if (visa().viOpen(defaultRM, descriptor, VI_NULL, 0, &instrument) == VI_SUCCESS) {
      visa().viClear(instrument);
      visa().viClose(instrument);
    } else {
      fprintf(consoleErr, "ERROR: vxiClear unable to open '%s'\n", descriptor);
    }
    if (i + 1 < count) {
      status = visa().viFindNext(list, descriptor);
      if (status < 0) {
        visa().viClose(list);
        return status;
      }
    }
  }
  visa().viClose(list);
  return 0;
}

}  // namespace

int32_t vxiClear(VxiDevice* device) {
  if (device->la != -1) return visa().viClear(device->sess);
  return clearInterface(device);
}
