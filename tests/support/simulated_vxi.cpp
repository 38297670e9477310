#include "tests/support/simulated_vxi.h"

#include <gtest/gtest.h>

#include "common/clock.h"
#include "sim/visa_table.h"

namespace {

sim::MainframeConfig withoutModule() {
  sim::MainframeConfig config;
  config.q7340La = -1;
  return config;
}

}  // namespace

SimulatedMainframe::SimulatedMainframe(const sim::module::ModuleConfig& config, int la)
    : mainframe(withoutModule()), logicalAddress(la) {
  clockUseVirtual();
  mainframe.logEnabled = false;
  auto pinnable =
      std::make_unique<PinnableModule>(std::make_unique<sim::module::Q7340Module>(config));
  block = pinnable.get();
  module = pinnable->module();
  mainframe.attach(la, std::move(pinnable));
  sim::install(mainframe);
}

SimulatedMainframe::~SimulatedMainframe() { sim::uninstall(); }

SimulatedVxi::SimulatedVxi(const sim::module::ModuleConfig& config, int la)
    : SimulatedMainframe(config, la) {
  mainframe.logEnabled = true;
  EXPECT_EQ(vxiOpen("VXI0", -1, &device), 0);
  EXPECT_EQ(vxiMap(device, VI_A16_SPACE, 0, 65536, nullptr), 0);
}

SimulatedVxi::~SimulatedVxi() {
  if (device != nullptr) {
    vxiUnmap(device);
    vxiClose(device);
  }
}
