// Register behaviour of a message-based device and its word-serial handshake.
#include "sim/message_device.h"

namespace sim {

uint16_t MessageBasedDevice::read16(uint32_t offset) {
  DeviceIdentity id = identity();
  switch (offset) {
    case idRegister:  // class 10 (message based), A16/A24 or A16 only, manufacturer
      return static_cast<uint16_t>(0x8000 | (id.memSpace == 1 ? 0x3000 : 0x0000) |
                                   (id.manfId & 0x0FFF));
    case deviceTypeRegister: return id.modelCode;
    case statusRegister: return 0x400C;  // MODID* high, Ready, Passed
    case protocolRegister: return id.commander ? 0x7FFF : 0xF7FF;
    case responseRegister: {
      // Err*, FHS Active* and Locked* read 1 (inactive); DIR and DOR set.
      uint16_t value = 0x3000 | 0x0800 | 0x0100 | 0x0080;
      if (!neverWriteReady) value |= writeReady;
      if (pendingResponse && !neverReadReady) value |= readReady;
      return value;
    }
    case dataLowRegister: {
      uint16_t value = pendingResponse.value_or(0xFFFF);
      pendingResponse.reset();
      return value;
    }
    default: return 0xFFFF;
  }
}

void MessageBasedDevice::write16(uint32_t offset, uint16_t value) {
  if (offset != dataLowRegister || neverWriteReady) return;
  commands.push_back(value);
  pendingResponse = answer(value);
}

}  // namespace sim
