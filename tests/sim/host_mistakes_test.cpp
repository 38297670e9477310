// Host mistakes the simulated module catches because it answers only the
// data widths the hardware answers: a 16-bit FIFO driven with D32 moves, and
// the receive word read as two 16-bit halves (access32 forgotten). A lenient
// model would split each D32 access into two D16 ones and let both pass.
#include <gtest/gtest.h>

#include "lwf/lwf.h"
#include "tests/support/simulated_vxi.h"

namespace {

using sim::module::Q7340Module;

class HostMistakes : public ::testing::Test {
 protected:
  void* reg(uint32_t offset) {
    return static_cast<char*>(vxi.device->mapAddress) + vxi.busAddress(offset);
  }
  SimulatedVxi vxi{[] {
    sim::module::ModuleConfig config;
    config.drainRate = 0;  // what reaches the incoming FIFO stays there to be counted
    return config;
  }()};
};

TEST_F(HostMistakes, DrivingThe16BitFifoWithD32MovesIsABusError) {
  uint32_t frame[2] = {0, 0x5F};  // an empty request
  EXPECT_EQ(vxiPokeFifo(vxi.device, reg(LWF_REG_FIFO16), 4, frame, sizeof frame), VI_ERROR_BERR);
  EXPECT_EQ(vxi.module->read16(Q7340Module::REG_IN16_COUNT), 0);

  vxi.module->queueFrame16(0x11, {7});
  uint32_t words[3] = {};
  EXPECT_EQ(vxiPeekFifo(vxi.device, reg(LWF_REG_FIFO16), 4, words, sizeof words), VI_ERROR_BERR);
  EXPECT_EQ(vxi.module->read16(Q7340Module::REG_OUT16_COUNT), 6);  // nothing taken
  EXPECT_EQ(vxi.mainframe.counters.busErrors, 2u);

  // The right width passes.
  EXPECT_EQ(vxiPokeFifo(vxi.device, reg(LWF_REG_FIFO16), 2, frame, sizeof frame), VI_SUCCESS);
  EXPECT_EQ(vxi.module->read16(Q7340Module::REG_IN16_COUNT), 4);
}

TEST_F(HostMistakes, ReadingTheReceiveWordWithoutAccess32GivesNoBytesWaiting) {
  vxi.module->queueWords32({0xCAFEF00D, 0x12345678});
  ASSERT_EQ(vxi.device->access32, 0);
  EXPECT_EQ(vxiPeek32(vxi.device, reg(LWF_REG_RX_AVAIL)), 0u);
  vxi.device->access32 = 1;
  EXPECT_EQ(vxiPeek32(vxi.device, reg(LWF_REG_RX_AVAIL)), 8u);
  // And a D32 read of a 16-bit register with access32 set is a bus error,
  // not the register and its neighbour.
  EXPECT_EQ(vxiPeek32(vxi.device, reg(LWF_REG_STATUS)), 0xFFFFFFFFu);
  EXPECT_EQ(vxi.mainframe.counters.busErrors, 1u);
}

}  // namespace
