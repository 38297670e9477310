// The fixture of the simulated mainframe's own tests: a mainframe on the
// virtual clock with its default devices (the slot-0 controller at LA 0, the
// Q7340 module at LA 128) and a resource manager.
#pragma once

#include <gtest/gtest.h>

#include "common/clock.h"
#include "sim/mainframe.h"

class MainframeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockUseVirtual();
    ASSERT_EQ(mainframe.viOpenDefaultRM(&rm), VI_SUCCESS);
  }
  ViSession openSession(const char* name) {
    ViSession vi = 0;
    EXPECT_EQ(mainframe.viOpen(rm, name, VI_NULL, 0, &vi), VI_SUCCESS) << name;
    return vi;
  }
  // The memory-access session with the A16 space mapped.
  ViSession openA16() {
    ViSession vi = openSession("VXI0::MEMACC");
    EXPECT_EQ(mainframe.viMapAddress(vi, VI_A16_SPACE, 0, 0x10000, VI_FALSE, nullptr, &window),
              VI_SUCCESS);
    return vi;
  }
  void* at(uint64_t busAddress) { return static_cast<char*>(window) + busAddress; }

  sim::Mainframe mainframe;
  ViSession rm = 0;
  void* window = nullptr;
};
