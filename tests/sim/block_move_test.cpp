// A block move is one instant for the module it starts in: the module's FIFO
// still drains at its rate across moves, and a move that ends early in a bus
// error leaves the module catching up with the clock as before.
#include <memory>
#include <vector>

#include "sim/module/q7340_module.h"
#include "tests/sim/mainframe_fixture.h"

namespace {

using sim::module::Q7340Module;

constexpr uint64_t MODULE_BLOCK = 0xC000 + 64 * 128;

TEST_F(MainframeTest, TheFifoDrainsAtItsRateAcrossBlockMovesThatEndAnyWay) {
  sim::module::ModuleConfig config;
  config.drainRate = 1024;  // 512 transfers a second
  // Powered up on the virtual clock, which the fixture starts after the mainframe.
  mainframe.attach(128, std::make_unique<Q7340Module>(config));
  ViSession vi = openA16();
  auto queued = [&] {
    ViUInt16 count = 0;
    mainframe.viPeek16(vi, at(MODULE_BLOCK + Q7340Module::REG_IN16_COUNT), &count);
    return count;
  };
  // A frame announcing a large payload, so that the module keeps taking words.
  std::vector<ViUInt16> frame(512, 0x5A5A);
  frame[0] = 0x0010;
  frame[1] = 0x0000;
  ASSERT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_DEST_INCREMENT, 0), VI_SUCCESS);
  ASSERT_EQ(mainframe.viMoveOut16(vi, VI_A16_SPACE, MODULE_BLOCK + Q7340Module::REG_FIFO16, 512,
                                  frame.data()),
            VI_SUCCESS);
  EXPECT_EQ(queued(), 512);
  clockCharge(0.5);
  EXPECT_EQ(queued(), 256);

  // Over the last register of the module's block into the empty LA 129.
  ASSERT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_DEST_INCREMENT, 1), VI_SUCCESS);
  ViUInt16 two[] = {0, 0};
  EXPECT_EQ(mainframe.viMoveOut16(vi, VI_A16_SPACE, MODULE_BLOCK + 62, 2, two), VI_ERROR_BERR);
  clockCharge(0.25);
  EXPECT_EQ(queued(), 128);
}

}  // namespace
