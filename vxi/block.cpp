// Block moves of 32-bit words between a buffer and consecutive bus addresses.
#include <cstdio>

#include "common/console.h"
#include "vxi/vxi.h"
#include "vxi/window.h"

int32_t viPokeBlk32(VxiDevice* device, void* address, uint32_t* buffer, uint32_t count) {
  if (device->mapAddress == nullptr) return VI_ERROR_WINDOW_NMAPPED;
  ViBusAddress offset = windowOffset(device, address);
  if (device->access32)
    return visa().viMoveOut32(device->sess, device->mapSpace, offset, count, buffer);
  // The buffer is exchanged in place for the move and back after it, so the
  // caller finds it as it was whatever the move's outcome.
  if (device->swapWords) vxiSwapWords(buffer, count);
  ViStatus status = visa().viMoveOut16(device->sess, device->mapSpace, offset,
                                       ViBusSize{2} * count, reinterpret_cast<ViUInt16*>(buffer));
  if (device->swapWords) vxiSwapWords(buffer, count);
  return status;
}

int32_t viPeekBlk32(VxiDevice* device, void* address, uint32_t* buffer, uint32_t count) {
  if (device->mapAddress == nullptr) return VI_ERROR_WINDOW_NMAPPED;
  ViBusAddress offset = windowOffset(device, address);
  ViStatus status;
  if (device->access32) {
    status = visa().viMoveIn32(device->sess, device->mapSpace, offset, count, buffer);
  } else {
    status = visa().viMoveIn16(device->sess, device->mapSpace, offset, ViBusSize{2} * count,
                               reinterpret_cast<ViUInt16*>(buffer));
    if (device->swapWords) vxiSwapWords(buffer, count);
  }
  if (status != VI_SUCCESS) {
    fprintf(consoleErr, "viPeekBlk32 error %d (0x%x) '%s'\n", status,
            static_cast<unsigned>(status), vxiStatusText(status));
  }
  return status;
}
