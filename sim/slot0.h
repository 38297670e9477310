// The slot-0 controller of the simulated mainframe: a message-based
// commander at LA 0 that answers Read Servant Area.
#pragma once

#include "sim/message_device.h"

namespace sim {

class SlotZeroController : public MessageBasedDevice {
 public:
  static constexpr uint16_t readServantArea = 0xCEFF;

  DeviceIdentity identity() const override { return id; }
  std::string name() const override { return "slot0"; }

  DeviceIdentity id = [] {
    DeviceIdentity d;
    d.manfId = 0x0FF6;
    d.modelCode = 0x00FD;
    d.slot = 0;
    d.messageBased = true;
    d.commander = true;
    d.modelName = "Slot-0 controller";
    return d;
  }();
  uint8_t servantArea = 0xFF;  // the logical addresses it commands: 1 .. servantArea

 protected:
  std::optional<uint16_t> answer(uint16_t command) override {
    if (command == readServantArea) return static_cast<uint16_t>(0xFF00 | servantArea);
    return std::nullopt;
  }
};

}  // namespace sim
