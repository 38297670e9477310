// Small devices that tests put into the simulated mainframe: plain registers,
// a FIFO register, and a device with an identity of the test's choosing.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "sim/device.h"

namespace testdev {

// 32 read/write registers, each pair also a D32 register; every access is
// recorded in order.
class RamDevice : public sim::Device {
 public:
  RamDevice() { id.d32Registers = 0xFFFF; }
  uint16_t read16(uint32_t offset) override {
    reads.push_back(offset);
    return registers[offset / 2];
  }
  void write16(uint32_t offset, uint16_t value) override {
    writes.push_back({offset, value});
    registers[offset / 2] = value;
  }
  sim::DeviceIdentity identity() const override { return id; }
  std::string name() const override { return "ram"; }

  struct Write {
    uint32_t offset;
    uint16_t value;
    bool operator==(const Write&) const = default;
  };
  uint16_t registers[32] = {};
  std::vector<uint32_t> reads;
  std::vector<Write> writes;
  sim::DeviceIdentity id;
};

// A FIFO register at fifoOffset, D16 and D32: writes append to `received`, reads take the
// front of `toSend` (all ones when it is empty).
class FifoDevice : public sim::Device {
 public:
  static constexpr uint32_t fifoOffset = 0x20;
  uint16_t read16(uint32_t offset) override {
    if (offset != fifoOffset || toSend.empty()) return 0xFFFF;
    uint16_t value = toSend.front();
    toSend.pop_front();
    return value;
  }
  void write16(uint32_t offset, uint16_t value) override {
    if (offset == fifoOffset) received.push_back(value);
  }
  // A D32 access moves two entries, the more significant half first.
  uint32_t read32(uint32_t offset) override {
    uint32_t high = read16(offset);
    return (high << 16) | read16(offset);
  }
  void write32(uint32_t offset, uint32_t value) override {
    write16(offset, static_cast<uint16_t>(value >> 16));
    write16(offset, static_cast<uint16_t>(value));
  }
  sim::DeviceIdentity identity() const override {
    sim::DeviceIdentity id;
    id.d32Registers = 1u << (fifoOffset / 4);
    return id;
  }
  std::string name() const override { return "fifo"; }

  std::deque<uint16_t> toSend;
  std::vector<uint16_t> received;
};

}  // namespace testdev
