// Channel start and lifecycle: the drain, the table of channels, the kinds,
// the wait for the module's ready bit, and the channels over a descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "tests/lwf/channel_fixture.h"

namespace {

int registeredChannels() {
  return static_cast<int>(std::count_if(std::begin(lwfChannels), std::end(lwfChannels),
                                        [](LwfChannel* slot) { return slot != nullptr; }));
}

TEST_F(ChannelTest, DrainDropsWhatTheModuleQueuedBeforeTheStart) {
  vxi = std::make_unique<SimulatedVxi>();
  vxi->module->queueFrame16(0x11, std::vector<uint32_t>(3000, 0xAAAAAAAA));
  ASSERT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, &channel), 0);
  EXPECT_EQ(channel->cacheBytesAvail, 0);

  // The drain ends on the count read that found the FIFO empty and two more.
  int lastMove = -1;
  for (size_t i = 0; i < vxi->mainframe.log.size(); ++i)
    if (vxi->mainframe.log[i].function == "viMoveIn16") lastMove = static_cast<int>(i);
  ASSERT_GE(lastMove, 0);
  EXPECT_EQ(readsOf(LWF_REG_RX16_COUNT, static_cast<size_t>(lastMove)), 3);

  module().queueFrame16(0x22, {7});
  int32_t tag = 0, size = 0;
  uint32_t word = 0;
  ASSERT_EQ(lwf_read(channel, 4, &tag, &size, &word, 0), 0);
  EXPECT_EQ(tag, 0x22);
  EXPECT_EQ(word, 7u);
}

TEST_F(ChannelTest, TheTableHoldsSixtyFourChannels) {
  start();
  std::vector<LwfChannel*> more;
  for (int i = 1; i < LWF_MAX_CHANNELS; ++i) {
    LwfChannel* another = nullptr;
    ASSERT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, &another), 0);
    EXPECT_NE(another, channel);
    more.push_back(another);
  }
  LwfChannel* refused = nullptr;
  EXPECT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, &refused), LWF_ERROR);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(registeredChannels(), LWF_MAX_CHANNELS);

  EXPECT_EQ(lwf_free(more.back()), 0);
  more.pop_back();
  EXPECT_EQ(registeredChannels(), LWF_MAX_CHANNELS - 1);
  ASSERT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, &refused), 0);
  more.push_back(refused);
  for (LwfChannel* c : more) lwf_free(c);
  EXPECT_EQ(registeredChannels(), 1);
}

TEST_F(ChannelTest, KindsOtherThanTheRegisterKindsAreRefusedAfterTheStartReads) {
  vxi = std::make_unique<SimulatedVxi>();
  for (int32_t kind : {0, 2, 6, LWF_STREAM}) {
    size_t from = vxi->mainframe.log.size();
    LwfChannel* refused = nullptr;
    EXPECT_EQ(lwf_init(vxi->device, 128, kind, nullptr, &refused), LWF_BAD_KIND) << kind;
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(readsOf(LWF_REG_AUX16, from), 1) << kind;
    EXPECT_EQ(readsOf(LWF_REG_RX_AVAIL, from) + readsOf(LWF_REG_RX_AVAIL + 2, from), 2) << kind;
  }
  EXPECT_EQ(registeredChannels(), 0);
}

TEST_F(ChannelTest, BadArgumentsAreRefusedBeforeAnyAccess) {
  vxi = std::make_unique<SimulatedVxi>();
  LwfChannel* made = nullptr;
  EXPECT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, nullptr), LWF_ERROR);
  EXPECT_EQ(lwf_init(nullptr, 128, LWF_CMD, nullptr, &made), LWF_ERROR);
  // A logical address outside 0 to 255 has no register block in the window.
  for (int32_t la : {-1, 256, 100000}) {
    size_t from = vxi->mainframe.log.size();
    EXPECT_EQ(lwf_init(vxi->device, la, LWF_CMD, nullptr, &made), LWF_ERROR) << la;
    EXPECT_EQ(vxi->mainframe.log.size(), from) << la;
  }
  vxiUnmap(vxi->device);
  EXPECT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, &made), LWF_ERROR);
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(lwf_free(nullptr), 0);
}

TEST_F(ChannelTest, OnlyKindFourWritesEightToTheControlRegister) {
  vxi = std::make_unique<SimulatedVxi>();
  for (int32_t kind : {LWF_RX32, LWF_RX32_CTL, LWF_TX32}) {
    size_t from = vxi->mainframe.log.size();
    ASSERT_EQ(lwf_init(vxi->device, 128, kind, nullptr, &channel), 0);
    ASSERT_EQ(lwf_reset(channel), 0);
    std::vector<sim::CallRecord> pokes = callsSince(from, "viPoke16");
    size_t eights = static_cast<size_t>(std::count_if(pokes.begin(), pokes.end(), [&](auto& call) {
      return call.args[0] == vxi->busAddress(LWF_REG_STATUS) && call.args[1] == 8;
    }));
    EXPECT_EQ(eights, kind == LWF_RX32_CTL ? 2u : 0u) << kind;
    EXPECT_EQ(pokes.size(), eights) << kind;
    lwf_free(channel);
    channel = nullptr;
  }
}

TEST_F(ChannelTest, ResetDrainsAndEmptiesTheCacheKeepingItsSize) {
  start();
  module().queueFrame16(0x31, std::vector<uint32_t>(9000, 1));  // grows the cache
  int32_t tag = 0;
  uint8_t sink[4];
  ASSERT_EQ(lwf_read(channel, 4, &tag, nullptr, sink, 0), 0);
  int32_t grownSize = channel->cacheSize;
  module().queueFrame16(0x32, {1, 2});
  module().queueFrame16(0x33, {3});
  ASSERT_EQ(lwf_ready(channel), 1);
  EXPECT_EQ(lwf_reset(channel), 0);
  EXPECT_EQ(channel->cacheBytesAvail, 0);
  EXPECT_EQ(channel->cacheSize, grownSize);
  EXPECT_EQ(lwf_read(channel, 4, &tag, nullptr, sink, 0), LWF_NOT_YET);
}

TEST_F(ChannelTest, WaitReadyPollsTheStatusBitWithinItsLimit) {
  start();
  double before = elapsedSeconds();
  EXPECT_EQ(lwf_wait_ready(channel, 35), 0);  // up: one read, 10 ms and 5 ms of sleep
  EXPECT_NEAR(elapsedSeconds() - before, 0.015, 0.0001);

  module().config().bootTime = 20.0;
  module().reboot();
  before = elapsedSeconds();
  EXPECT_EQ(lwf_wait_ready(channel, 35), 0);
  EXPECT_GE(elapsedSeconds() - before, 20.0);
  EXPECT_LT(elapsedSeconds() - before, 20.1);

  // Other bits set do not count: only bit 0 ends the wait.
  vxi->block->pins[LWF_REG_STATUS] = 0xFFFE;
  before = elapsedSeconds();
  EXPECT_EQ(lwf_wait_ready(channel, 3), LWF_ERROR);
  EXPECT_GT(elapsedSeconds() - before, 3.0);
  EXPECT_LT(elapsedSeconds() - before, 3.02);
}

TEST(StreamChannel, DescriptorKindsAreMadeButMoveNothing) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  LwfChannel* channel = nullptr;
  EXPECT_EQ(lwf_init_stream(pipeEnds[0], LWF_STREAM, nullptr, nullptr), LWF_ERROR);
  EXPECT_EQ(lwf_init_stream(0, LWF_STREAM, nullptr, &channel), LWF_ERROR);
  EXPECT_EQ(lwf_init_stream(pipeEnds[0], LWF_STREAM_TX, nullptr, &channel), LWF_BAD_KIND);
  EXPECT_EQ(lwf_init_stream(pipeEnds[0], LWF_CMD, nullptr, &channel), LWF_BAD_KIND);

  ASSERT_EQ(lwf_init_stream(pipeEnds[0], LWF_STREAM, nullptr, &channel), 0);
  EXPECT_EQ(channel->cacheSize, 4096);
  EXPECT_EQ(lwf_write(channel, 1, 5, "hello", 4), LWF_ERROR);  // built, not sent
  uint8_t sink[4];
  EXPECT_EQ(lwf_read(channel, 4, nullptr, nullptr, sink, 0), LWF_NOT_YET);
  EXPECT_EQ(lwfChannelsReady, 0);  // never registered
  EXPECT_EQ(lwf_free(channel), 0);
  EXPECT_EQ(fcntl(pipeEnds[0], F_GETFD), -1);  // the descriptor was closed

  ASSERT_EQ(lwf_init_stream(pipeEnds[1], LWF_STREAM_TX_BARE, nullptr, &channel), 0);
  EXPECT_EQ(channel->cacheSize, 0);
  EXPECT_EQ(lwf_read(channel, 4, nullptr, nullptr, sink, 0), LWF_NO_RECEIVE_SIDE);
  EXPECT_EQ(lwf_free(channel), 0);
}

}  // namespace
