// A message-based VXI device: the configuration registers every VXI device
// has, and the word-serial Response (0x0A) and Data Low (0x0E) registers
// through which a commander sends it 16-bit commands and reads 16-bit
// responses. What a command answers is up to the device (answer()).
#pragma once

#include <optional>
#include <vector>

#include "sim/device.h"

namespace sim {

class MessageBasedDevice : public Device {
 public:
  static constexpr uint32_t idRegister = 0x00;
  static constexpr uint32_t deviceTypeRegister = 0x02;
  static constexpr uint32_t statusRegister = 0x04;
  static constexpr uint32_t protocolRegister = 0x08;
  static constexpr uint32_t responseRegister = 0x0A;
  static constexpr uint32_t dataLowRegister = 0x0E;
  static constexpr uint16_t writeReady = 0x0200;
  static constexpr uint16_t readReady = 0x0400;

  uint16_t read16(uint32_t offset) override;
  void write16(uint32_t offset, uint16_t value) override;

  // Faults of the handshake: the device never accepts a command, or never
  // has a response ready.
  bool neverWriteReady = false;
  bool neverReadReady = false;
  // Every command written to Data Low, in order.
  std::vector<uint16_t> commands;

 protected:
  // The response to a command, or nothing when the command has none.
  virtual std::optional<uint16_t> answer(uint16_t command) = 0;

 private:
  std::optional<uint16_t> pendingResponse;
};

}  // namespace sim
