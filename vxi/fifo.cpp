// Block moves into and out of a FIFO that sits at one bus address: the
// increment attribute of the moving side is saved, set to 0 for the move and
// always written back once it was changed.
#include <cstdio>

#include "common/console.h"
#include "vxi/vxi.h"
#include "vxi/window.h"

int32_t vxiPokeFifo(VxiDevice* device, void* address, uint32_t width, void* buffer,
                    uint32_t byteCount) {
  if (device->mapAddress == nullptr) return VI_ERROR_WINDOW_NMAPPED;
  ViInt32 savedIncrement = 1;
  ViStatus status = visa().viGetAttribute(device->sess, VI_ATTR_DEST_INCREMENT, &savedIncrement);
  if (status != VI_SUCCESS) {
    fprintf(consoleErr, "viGetAttribute(VI_ATTR_DEST_INCREMENT) failed\n");
    return status;
  }
  status = visa().viSetAttribute(device->sess, VI_ATTR_DEST_INCREMENT, 0);
  if (status != VI_SUCCESS) {
    fprintf(consoleErr, "viSetAttribute(VI_ATTR_DEST_INCREMENT) failed\n");
    return status;
  }

  ViBusAddress offset = windowOffset(device, address);
  ViStatus moveStatus;
  if (width == 4) {
    moveStatus = visa().viMoveOut32(device->sess, device->mapSpace, offset, byteCount / 4,
                                    static_cast<ViUInt32*>(buffer));
  } else {
    if (device->swapWords) vxiSwapWordsBytes(buffer, byteCount);
    moveStatus = visa().viMoveOut16(device->sess, device->mapSpace, offset, byteCount / width,
                                    static_cast<ViUInt16*>(buffer));
    if (device->swapWords) vxiSwapWordsBytes(buffer, byteCount);
  }

  status = visa().viSetAttribute(device->sess, VI_ATTR_DEST_INCREMENT,
                                 static_cast<ViAttrState>(savedIncrement));
  if (status != VI_SUCCESS) {
    fprintf(consoleErr, "viSetAttribute(VI_ATTR_DEST_INCREMENT) restore failed\n");
    return status;
  }
  return moveStatus;
}

int32_t vxiPeekFifo(VxiDevice* device, void* address, uint32_t width, void* buffer,
                    uint32_t byteCount) {
  if (device->mapAddress == nullptr) return VI_ERROR_WINDOW_NMAPPED;
  ViInt32 savedIncrement = 1;
  ViStatus status = visa().viGetAttribute(device->sess, VI_ATTR_SRC_INCREMENT, &savedIncrement);
  if (status != VI_SUCCESS) {
    fprintf(consoleErr, "viGetAttribute(VI_ATTR_SRC_INCREMENT) failed\n");
    return status;
  }
  status = visa().viSetAttribute(device->sess, VI_ATTR_SRC_INCREMENT, 0);
  if (status != VI_SUCCESS) {
    fprintf(consoleErr, "viSetAttribute(VI_ATTR_SRC_INCREMENT) failed\n");
    return status;
  }

  ViBusAddress offset = windowOffset(device, address);
  ViStatus moveStatus;
  if (width == 4) {
    moveStatus = visa().viMoveIn32(device->sess, device->mapSpace, offset, byteCount / 4,
                                   static_cast<ViUInt32*>(buffer));
    if (moveStatus != VI_SUCCESS) {
      char text[256] = {};
      visa().viStatusDesc(device->sess, moveStatus, text);
      text[sizeof text - 1] = '\0';
      fprintf(consoleErr, "vxiPeekFifo: error '%s' (0x%x)\n", text,
              static_cast<unsigned>(moveStatus));
      // The whole 64-bit host address: a 32-bit conversion would show half of it.
      fprintf(consoleErr, "vxiPeekFifo: buf addr 0x%llx, bytecnt %d\n",
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(buffer)),
              static_cast<int>(byteCount));
    }
  } else {
    moveStatus = visa().viMoveIn16(device->sess, device->mapSpace, offset, byteCount / width,
                                   static_cast<ViUInt16*>(buffer));
    if (device->swapWords) vxiSwapWordsBytes(buffer, byteCount);
  }

  status = visa().viSetAttribute(device->sess, VI_ATTR_SRC_INCREMENT,
                                 static_cast<ViAttrState>(savedIncrement));
  if (status != VI_SUCCESS) fprintf(consoleErr, "viSetAttribute(VI_ATTR_SRC_INCREMENT) failed\n");
  return moveStatus;
}
