// The virtual clock every test and the simulator share: sleeps and charged
// bus time move it at once and exactly; on the real clock, bus time passes
// by itself and a charge adds nothing.
#include <gtest/gtest.h>

#include "common/clock.h"

namespace {

TEST(VirtualClock, SleepsAndChargesAddUpExactly) {
  clockUseVirtual(5.0);
  ASSERT_TRUE(clockIsVirtual());
  EXPECT_EQ(elapsedSeconds(), 5.0);
  // Four hours of 1 ms sleeps and a million microsecond charges, no drift.
  for (int i = 0; i < 14400 * 1000; ++i) sleepMilliseconds(1);
  for (int i = 0; i < 1000000; ++i) clockCharge(1e-6);
  EXPECT_DOUBLE_EQ(elapsedSeconds(), 5.0 + 14400.0 + 1.0);
  sleepMilliseconds(0);
  sleepMilliseconds(-10);
  clockCharge(-3.0);
  EXPECT_DOUBLE_EQ(elapsedSeconds(), 14406.0);
}

TEST(RealClock, IgnoresChargedBusTime) {
  ASSERT_FALSE(clockIsVirtual());
  double before = elapsedSeconds();
  clockCharge(3600.0);
  EXPECT_LT(elapsedSeconds() - before, 3600.0);
}

}  // namespace
