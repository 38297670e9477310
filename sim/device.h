// A device in the simulated VXI mainframe: its 64-byte register block in the
// A16 configuration space (bus address 0xC000 + 64 x LA) and what the
// resource manager reports of it. The mainframe routes every access that
// falls into a device's block to that device; registers of an empty logical
// address read 0xFFFF.
//
// Devices keep no threads: a device that models time (a FIFO drained at a
// rate, a boot that takes seconds) compares elapsedSeconds() of the shared
// clock at each access with the time of its last change.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// What VISA's attributes and searches report of a device.
struct DeviceIdentity {
  uint16_t manfId = 0xFFF;
  uint16_t modelCode = 0;
  int16_t slot = -1;
  uint16_t memSpace = 1;   // VI_A16_SPACE: no A24/A32 memory
  uint64_t memBase = 0;
  uint64_t memSize = 0;
  bool messageBased = false;  // has the word-serial Response and Data Low registers
  bool commander = false;     // Protocol register bit 15 reads 0
  // Bit n set: the register at offset 4 x n answers D32 cycles. Every other
  // register is D16 only, and a D32 access to it ends in a bus error.
  uint16_t d32Registers = 0;
  // VI_ATTR_MANF_NAME and VI_ATTR_MODEL_NAME; empty: named by the numbers.
  std::string manfName;
  std::string modelName;
};

class Device {
 public:
  virtual ~Device() = default;

  // One 16-bit access at a byte offset 0..62 of the block.
  virtual uint16_t read16(uint32_t offset) = 0;
  virtual void write16(uint32_t offset, uint16_t value) = 0;

  // One D32 access at offset (0..60), made only where identity() says the
  // register answers D32. By default the two halves, the more significant at
  // the lower offset and read or written first.
  virtual uint32_t read32(uint32_t offset) {
    uint32_t high = read16(offset);
    return (high << 16) | read16(offset + 2);
  }
  virtual void write32(uint32_t offset, uint32_t value) {
    write16(offset, static_cast<uint16_t>(value >> 16));
    write16(offset + 2, static_cast<uint16_t>(value));
  }

  // A block move that starts in this block begins and ends (they nest, as
  // a viMove between two registers of one device does). The elements still
  // come one access each; a device that models time takes the whole move at
  // the instant it begins instead of catching up with the clock per element.
  virtual void blockMoveStarts() {}
  virtual void blockMoveEnds() {}

  virtual DeviceIdentity identity() const = 0;

  // A short name for logs ("slot0", "q7340").
  virtual std::string name() const = 0;
};

}  // namespace sim
