// The FIFO registers of the simulated module: drain rate in virtual time, a
// full incoming FIFO, the outgoing FIFO's order and its empty reads.
#include <gtest/gtest.h>

#include "common/clock.h"
#include "sim/module/q7340_module.h"
#include "tests/module/module_driver.h"

using sim::module::ModuleConfig;
using sim::module::Q7340Module;

namespace {

class ModuleFifoTest : public ::testing::Test {
 protected:
  void SetUp() override { clockUseVirtual(); }
  ModuleConfig config;
};

TEST_F(ModuleFifoTest, IncomingFifoDrainsAtTheConfiguredRate) {
  config.drainRate = 1024;  // bytes per second: 1024 bytes take 1 s
  Q7340Module module(config);
  // A frame announcing a large payload, so that the module keeps taking words.
  module.write16(Q7340Module::REG_FIFO16, 0x0010);
  module.write16(Q7340Module::REG_FIFO16, 0x0000);
  for (int i = 2; i < 512; ++i) module.write16(Q7340Module::REG_FIFO16, 0x5A5A);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 512);

  clockCharge(0.5);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 256);
  clockCharge(0.499);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 1);
  clockCharge(0.002);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 0);
  EXPECT_EQ(module.state().counters.overflowWrites, 0u);
}

TEST_F(ModuleFifoTest, WritesToAFullIncomingFifoAreDroppedAndCounted) {
  config.drainRate = 0;  // a stalled module
  Q7340Module module(config);
  for (int i = 0; i < 512 + 3; ++i) module.write16(Q7340Module::REG_FIFO16, 0x0000);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 512);
  EXPECT_EQ(module.state().counters.overflowWrites, 3u);
  clockCharge(100);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 512);
}

TEST_F(ModuleFifoTest, OutgoingWordsCrossMoreSignificantHalfFirstAndEmptyReadsAreCounted) {
  Q7340Module module(config);
  module.queueWords16({0x11223344, 0xAABBCCDD});
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 4);
  const uint16_t expected[] = {0x1122, 0x3344, 0xAABB, 0xCCDD};
  for (uint16_t half : expected) EXPECT_EQ(module.read16(Q7340Module::REG_FIFO16), half);
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 0);
  EXPECT_EQ(module.read16(Q7340Module::REG_FIFO16), 0xFFFF);
  EXPECT_EQ(module.state().counters.emptyReads, 1u);
}

TEST_F(ModuleFifoTest, OutgoingFifoHoldsItsCapacityAndRefillsAsTheHostReads) {
  config.outgoingCapacity = 64;  // 32 transfers, 16 words
  Q7340Module module(config);
  std::vector<uint32_t> words(40);
  for (uint32_t i = 0; i < words.size(); ++i) words[i] = i;
  module.queueWords16(words);
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 32);
  for (uint32_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(module.read16(Q7340Module::REG_FIFO16), 0);
    EXPECT_EQ(module.read16(Q7340Module::REG_FIFO16), i);
  }
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 0);
}

TEST_F(ModuleFifoTest, ThirtyTwoBitFifoAndReceiveWord) {
  config.polledPortions = true;
  Q7340Module module(config);
  module.queueWords32({0xCAFEF00D, 0x12345678});
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT32_COUNT), 2);
  EXPECT_EQ(module.read32(Q7340Module::REG_RX_AVAIL), 0x80000008u);
  // D32 only: its 16-bit halves do not read as the receive word.
  EXPECT_EQ(module.read16(Q7340Module::REG_RX_AVAIL), 0);
  EXPECT_EQ(module.read16(Q7340Module::REG_RX_AVAIL + 2), 0);
  EXPECT_EQ(module.read32(Q7340Module::REG_FIFO32), 0xCAFEF00Du);
  // D16: the more significant half first, the word taken with the second half.
  EXPECT_EQ(module.read16(Q7340Module::REG_FIFO32), 0x1234);
  EXPECT_EQ(module.read16(Q7340Module::REG_FIFO32 + 2), 0x5678);
  EXPECT_EQ(module.read32(Q7340Module::REG_RX_AVAIL), 0x80000000u);
  EXPECT_EQ(module.read32(Q7340Module::REG_FIFO32), 0xFFFFFFFFu);
}

TEST_F(ModuleFifoTest, RequestOnTheThirtyTwoBitChannelIsAnsweredThere) {
  Q7340Module module(config);
  module.write32(Q7340Module::REG_FIFO32, 0);     // size
  module.write32(Q7340Module::REG_FIFO32, 0x5F);  // tag
  EXPECT_EQ(module.read16(Q7340Module::REG_IN32_COUNT), 2);
  clockCharge(0.01);
  EXPECT_EQ(module.read16(Q7340Module::REG_IN32_COUNT), 0);
  ASSERT_EQ(module.read32(Q7340Module::REG_RX_AVAIL), 12u);
  EXPECT_EQ(module.read32(Q7340Module::REG_FIFO32), 4u);
  EXPECT_EQ(module.read32(Q7340Module::REG_FIFO32), 0x5Fu);
  EXPECT_EQ(module.read32(Q7340Module::REG_FIFO32), 0u);
}

TEST_F(ModuleFifoTest, MarkerWordPrecedesEveryReplyWhenConfigured) {
  config.markerBeforeReply = true;
  Q7340Module module(config);
  module_test::ModuleDriver driver(module);
  ASSERT_TRUE(driver.writeFrame(0x5F, {}));
  clockCharge(0.01);
  std::vector<uint32_t> words;
  while (module.read16(Q7340Module::REG_OUT16_COUNT) >= 2) {
    uint32_t high = module.read16(Q7340Module::REG_FIFO16);
    words.push_back((high << 16) | module.read16(Q7340Module::REG_FIFO16));
  }
  EXPECT_EQ(words, (std::vector<uint32_t>{1, 4, 0x5F, 0}));
}

}  // namespace
