// Exclusive lock of a device's session, refused at once while another holds it.
#include "vxi/vxi.h"

int32_t vxiLock(VxiDevice* device) {
  return visa().viLock(device->sess, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr);
}

int32_t vxiUnlock(VxiDevice* device) { return visa().viUnlock(device->sess); }
