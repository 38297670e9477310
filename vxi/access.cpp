// Mapping a window and the single reads and writes through it, with the rule
// that puts 32-bit values together from, and splits them into, 16-bit
// accesses; also the message write.
#include "vxi/vxi.h"
#include "vxi/window.h"

int32_t vxiMap(VxiDevice* device, uint16_t space, uint32_t offset, uint32_t size, void** address) {
  if (device->mapAddress != nullptr) {
    int32_t status = vxiUnmap(device);
    if (status != 0) return status;
  }
  device->mapSpace = space;
  device->mapOffset = offset;
  device->mapSize = size;
  ViAddr mapped = nullptr;
  ViStatus status = visa().viMapAddress(device->sess, space, offset, size, VI_FALSE, nullptr,
                                        &mapped);
  if (status != VI_SUCCESS) return status;
  device->mapAddress = mapped;
  if (address != nullptr) *address = mapped;
  return 0;
}

int32_t vxiUnmap(VxiDevice* device) {
  if (device->mapAddress == nullptr) return 0;
  ViStatus status = visa().viUnmapAddress(device->sess);
  if (status != VI_SUCCESS) return status;
  device->mapAddress = nullptr;
  return 0;
}

uint8_t vxiPeek8(VxiDevice* device, void* address) {
  ViUInt8 value = 0xFF;
  visa().viPeek8(device->sess, address, &value);
  return value;
}

uint16_t vxiPeek16(VxiDevice* device, void* address) {
  ViUInt16 value = 0xFFFF;
  visa().viPeek16(device->sess, address, &value);
  return value;
}

// On the 16-bit path the less significant half is always read first.
uint32_t vxiPeek32(VxiDevice* device, void* address) {
  if (device->access32) {
    ViUInt32 value = 0xFFFFFFFF;
    visa().viPeek32(device->sess, address, &value);
    return value;
  }
  void* lowAddress = device->swapWords ? addressPlus(address, 2) : address;
  void* highAddress = device->swapWords ? address : addressPlus(address, 2);
  ViUInt16 low = 0xFFFF;
  ViUInt16 high = 0xFFFF;
  visa().viPeek16(device->sess, lowAddress, &low);
  visa().viPeek16(device->sess, highAddress, &high);
  return (static_cast<uint32_t>(high) << 16) | low;
}

// On the 16-bit path the less significant half is always written first.
int32_t vxiPoke32(VxiDevice* device, void* address, uint32_t value) {
  if (device->access32) {
    visa().viPoke32(device->sess, address, value);
    return 0;
  }
  void* lowAddress = device->swapWords ? addressPlus(address, 2) : address;
  void* highAddress = device->swapWords ? address : addressPlus(address, 2);
  visa().viPoke16(device->sess, lowAddress, static_cast<ViUInt16>(value));
  visa().viPoke16(device->sess, highAddress, static_cast<ViUInt16>(value >> 16));
  return 0;
}

int32_t vxiWrite(VxiDevice* device, const void* buffer, uint32_t count, uint32_t* written) {
  return visa().viWrite(device->sess, static_cast<ViConstBuf>(buffer), count, written);
}
