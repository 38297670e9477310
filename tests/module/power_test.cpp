// Reboot and reset handshake of the simulated module, timed on the virtual clock.
#include <gtest/gtest.h>

#include "common/clock.h"
#include "sim/module/q7340_module.h"
#include "tests/module/module_driver.h"

using module_test::Body;
using module_test::ModuleDriver;
using namespace sim::module;

namespace {

class ModulePowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockUseVirtual();
    config.flash = olderModuleFlash();
  }
  ModuleConfig config;
};

TEST_F(ModulePowerTest, RebootRequestTakesTheBootTimeAndForgetsEverythingButTheFlash) {
  config.bootTime = 20.0;
  config.programTime = 0.2;
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  ASSERT_EQ(driver.putCarried("vxiga.hex"), 0);
  ASSERT_EQ(driver.command("q7340FlashProgVxiga"), 0);
  const int32_t programmed = module.flash().segment[1];

  ASSERT_TRUE(driver.writeFrame(0x7D, {}));
  double requested = elapsedSeconds();
  sleepMilliseconds(1);
  EXPECT_EQ(driver.status() & Q7340Module::STATUS_READY, 0);
  std::optional<double> took = driver.waitReady(36);
  ASSERT_TRUE(took.has_value());
  EXPECT_NEAR(elapsedSeconds() - requested, 20.0, 0.002);

  EXPECT_EQ(module.log().back(), "reboot");
  EXPECT_TRUE(module.state().loaded.empty());
  EXPECT_TRUE(module.state().files.empty());
  EXPECT_EQ(module.flash().segment[1], programmed);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 0);
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 0);
  EXPECT_FALSE(driver.exchange(0x77, Body{}.text("q7340FlashGetSelftestRev")).has_value());
  driver.loadLibraries();
  EXPECT_EQ(driver.romRevisions()->at(1), programmed);
}

TEST_F(ModulePowerTest, ResetHandshakeSequence) {
  config.resetRequestAtPowerUp = true;
  config.handshakeTime = 0.05;
  config.bootTime = 10.0;
  Q7340Module module(config);
  ModuleDriver driver(module);
  EXPECT_EQ(driver.status(), Q7340Module::STATUS_READY | Q7340Module::STATUS_RESET_REQUEST);

  module.write16(Q7340Module::REG_STATUS, Q7340Module::CONTROL_START_RESET);
  EXPECT_EQ(driver.status(), Q7340Module::STATUS_RESET_REQUEST);
  clockCharge(0.049);
  EXPECT_EQ(driver.status() & Q7340Module::STATUS_HANDSHAKE, 0);
  clockCharge(0.002);
  EXPECT_EQ(driver.status(), Q7340Module::STATUS_RESET_REQUEST | Q7340Module::STATUS_HANDSHAKE);

  module.write16(Q7340Module::REG_STATUS, Q7340Module::CONTROL_END_RESET);
  EXPECT_EQ(driver.status(), 0);
  EXPECT_EQ(module.log(), std::vector<std::string>{"reset"});
  clockCharge(9.99);
  EXPECT_EQ(driver.status(), 0);
  clockCharge(0.02);
  EXPECT_EQ(driver.status(), Q7340Module::STATUS_READY);
}

TEST_F(ModulePowerTest, WriteOfEightOutsideTheHandshakeChangesNothing) {
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  module.write16(Q7340Module::REG_STATUS, Q7340Module::CONTROL_END_RESET);
  EXPECT_EQ(driver.status(), Q7340Module::STATUS_READY);
  EXPECT_EQ(driver.romRevisions()->at(0), config.flash.segment[0]);
}

TEST_F(ModulePowerTest, RepliesNotYetReadAreDroppedByAReboot) {
  Q7340Module module(config);
  ModuleDriver driver(module);
  ASSERT_TRUE(driver.writeFrame(0x5F, {}));
  sleepMilliseconds(2);
  ASSERT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 6);
  module.reboot();
  ASSERT_TRUE(driver.waitReady(36).has_value());
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 0);
}

}  // namespace
