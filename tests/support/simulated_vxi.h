// The program's view of a simulated VXI system for tests: a mainframe with
// the Q7340 module at a logical address, installed as the program's VISA on
// the virtual clock, and the program's VxiDevice on the interface's
// memory-access resource with the whole A16 space mapped.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "sim/mainframe.h"
#include "sim/module/q7340_module.h"
#include "vxi/vxi.h"

// The module behind a register block whose 16-bit registers a test can pin
// to fixed values (a count that reads more than the FIFO holds, say).
class PinnableModule : public sim::Device {
 public:
  explicit PinnableModule(std::unique_ptr<sim::module::Q7340Module> module)
      : module_(std::move(module)) {}
  uint16_t read16(uint32_t offset) override {
    if (onAccess) onAccess(*module_);
    auto pinned = pins.find(offset);
    return pinned != pins.end() ? pinned->second : module_->read16(offset);
  }
  void write16(uint32_t offset, uint16_t value) override {
    if (onAccess) onAccess(*module_);
    module_->write16(offset, value);
  }
  uint32_t read32(uint32_t offset) override {
    if (pins.count(offset) || pins.count(offset + 2)) return sim::Device::read32(offset);
    return module_->read32(offset);
  }
  void write32(uint32_t offset, uint32_t value) override { module_->write32(offset, value); }
  sim::DeviceIdentity identity() const override { return module_->identity(); }
  std::string name() const override { return module_->name(); }
  sim::module::Q7340Module* module() { return module_.get(); }

  std::map<uint32_t, uint16_t> pins;  // register offset -> value every read gives
  // Called before every 16-bit access: a test can watch the module's log and
  // change its faults at a given point of a run.
  std::function<void(sim::module::Q7340Module&)> onAccess;

 private:
  std::unique_ptr<sim::module::Q7340Module> module_;
};

// Only the mainframe with the module at a logical address, installed as the
// program's VISA on the virtual clock, its call log off: for runs of the
// whole program, which opens and maps its own device.
struct SimulatedMainframe {
  explicit SimulatedMainframe(const sim::module::ModuleConfig& config = {},
                              int logicalAddress = 128);
  ~SimulatedMainframe();
  SimulatedMainframe(const SimulatedMainframe&) = delete;
  SimulatedMainframe& operator=(const SimulatedMainframe&) = delete;

  sim::Mainframe mainframe;
  PinnableModule* block;              // the register block the mainframe sees
  sim::module::Q7340Module* module;   // the module behind it
  int logicalAddress;

  // Bus address of a register of the module's block.
  uint64_t busAddress(uint32_t offset) const { return 0xC000u + 64u * logicalAddress + offset; }
};

// The same with the call log on, and the program's VxiDevice on the
// interface's memory-access resource with the whole A16 space mapped: for
// tests of the program's layers.
struct SimulatedVxi : SimulatedMainframe {
  explicit SimulatedVxi(const sim::module::ModuleConfig& config = {}, int logicalAddress = 128);
  ~SimulatedVxi();

  VxiDevice* device = nullptr;
};
