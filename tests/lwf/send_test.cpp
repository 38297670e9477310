// Sending: frame layout and byte order as the module sees them, the transfer
// loop's partial writes, its time-outs, and the receive side served while a
// send waits for room.
#include "tests/lwf/channel_fixture.h"

namespace {

constexpr double SHORT_TIMEOUT = 10.0;  // stands in for the four hours of kind 1

TEST_F(ChannelTest, PayloadsArePaddedToWholeWordsInBothDataWidths) {
  start();
  ASSERT_EQ(lwf_write(channel, 0x41, 0, nullptr, 4), 0);
  ASSERT_EQ(lwf_write(channel, 0x42, 5, "abcde", 4), 0);
  const uint32_t words[] = {0x01020304, 0xA0B0C0D0};
  ASSERT_EQ(lwf_write(channel, 0x43, 8, words, 0), 0);
  ASSERT_EQ(lwf_write(channel, 0x44, 8, words, 2), 0);  // any width but 4 is word mode
  ASSERT_EQ(lwf_write_words(channel, 0x45, 8, words), 0);
  clockCharge(1.0);

  const auto& frames = framesReceived();
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[0].tag, 0x41);
  EXPECT_TRUE(frames[0].payload.empty());
  EXPECT_EQ(frames[1].tag, 0x42);
  EXPECT_EQ(frames[1].payload, bigEndianWords(std::string("abcde\0\0\0", 8)));
  for (int i = 2; i < 5; ++i)
    EXPECT_EQ(frames[i].payload, (std::vector<uint32_t>{0x01020304, 0xA0B0C0D0})) << i;
}

TEST_F(ChannelTest, ALargeFrameGoesInPartialWritesOfAtLeast256Bytes) {
  sim::module::ModuleConfig config;
  config.drainRate = 100000;  // bytes per second: the FIFO frees slowly
  start(config);
  std::string payload(3000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  size_t from = vxi->mainframe.log.size();
  ASSERT_EQ(lwf_write(channel, 0x51, 3000, payload.data(), 4), 0);

  std::vector<sim::CallRecord> writes = callsSince(from, "viMoveOut16");
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes.front().args[2], 512u);  // an empty FIFO takes 1024 bytes at once
  uint64_t elements = 0;
  for (size_t i = 0; i < writes.size(); ++i) {
    uint64_t bytes = writes[i].args[2] * 2;
    EXPECT_EQ(bytes % 4, 0u) << i;
    if (i + 1 < writes.size()) {
      EXPECT_GE(bytes, 256u) << i;
    }
    elements += writes[i].args[2];
  }
  EXPECT_EQ(elements, (3000u + 8) / 2);
  clockCharge(1.0);
  module().catchUp();
  ASSERT_EQ(framesReceived().size(), 1u);
  EXPECT_EQ(framesReceived()[0].payload, bigEndianWords(payload));
}

TEST_F(ChannelTest, ASendTimesOutWithMinusThreeBeforeItsFrameStartedAndMinusOneAfter) {
  sim::module::ModuleConfig config;
  config.drainRate = 0;  // the module takes nothing
  start(config);
  channel->txTimeout = SHORT_TIMEOUT;
  std::string bytes(2000, 'x');
  ASSERT_EQ(lwf_write(channel, 1, 900, bytes.data(), 4), 0);  // fits: 908 of 1024 bytes

  double before = elapsedSeconds();
  EXPECT_EQ(lwf_write(channel, 2, 2000, bytes.data(), 4), LWF_SEND_TIMEOUT);
  EXPECT_GT(elapsedSeconds() - before, SHORT_TIMEOUT);
  EXPECT_LT(elapsedSeconds() - before, SHORT_TIMEOUT + 0.01);

  LwfChannel* fresh = nullptr;
  module().reboot();  // an empty incoming FIFO again
  clockCharge(module().config().bootTime + 1);
  ASSERT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, &fresh), 0);
  fresh->txTimeout = SHORT_TIMEOUT;
  ASSERT_EQ(lwf_write(fresh, 1, 100, bytes.data(), 4), 0);
  before = elapsedSeconds();
  EXPECT_EQ(lwf_write(fresh, 2, 2000, bytes.data(), 4), LWF_ERROR);  // 916 bytes went
  EXPECT_GT(elapsedSeconds() - before, SHORT_TIMEOUT);
  lwf_free(fresh);
}

TEST_F(ChannelTest, TheChannelKindsKeepTheFourHourTimeouts) {
  start();
  EXPECT_EQ(channel->txTimeout, 14400.0);
  EXPECT_EQ(channel->rxTimeout, 14400.0);
  EXPECT_EQ(channel->txCapacity, 1024);
}

TEST_F(ChannelTest, ACountAboveTheCapacityWritesNothingAndServesTheReceiveSide) {
  start();
  channel->txTimeout = SHORT_TIMEOUT;
  vxi->block->pins[LWF_REG_TX16_COUNT] = 600;  // 1200 bytes queued in a 1024-byte FIFO
  module().queueFrame16(0x61, {5, 6});
  size_t from = vxi->mainframe.log.size();
  EXPECT_EQ(lwf_write(channel, 1, 16, "0123456789abcdef", 4), LWF_SEND_TIMEOUT);
  EXPECT_TRUE(callsSince(from, "viMoveOut16").empty());
  EXPECT_EQ(channel->cacheBytesAvail, 16);  // the module's frame came in while waiting
  int32_t tag = 0;
  uint32_t words[2] = {};
  ASSERT_EQ(lwf_read(channel, 8, &tag, nullptr, words, 0), 0);
  EXPECT_EQ(tag, 0x61);
  EXPECT_EQ(words[1], 6u);
}

TEST_F(ChannelTest, SendingNeedsASendingSideAndPassesFifoFailuresOn) {
  start();
  LwfChannel* receiveOnly = nullptr;
  ASSERT_EQ(lwf_init(vxi->device, 128, LWF_RX32, nullptr, &receiveOnly), 0);
  size_t from = vxi->mainframe.log.size();
  EXPECT_EQ(lwf_write(receiveOnly, 1, 4, "abcd", 4), LWF_NO_SEND_SIDE);
  EXPECT_EQ(vxi->mainframe.log.size(), from);  // no bus access
  lwf_free(receiveOnly);

  EXPECT_EQ(lwf_write(nullptr, 1, 4, "abcd", 4), LWF_ERROR);
  EXPECT_EQ(lwf_write(channel, 1, -4, "abcd", 4), LWF_ERROR);
  EXPECT_EQ(lwf_write(channel, 1, 4, nullptr, 4), LWF_ERROR);

  sim::Fault fault;
  fault.function = "viMoveOut16";
  fault.status = VI_ERROR_BERR;
  vxi->mainframe.addFault(fault);
  EXPECT_EQ(lwf_write(channel, 1, 4, "abcd", 4), VI_ERROR_BERR);
}

TEST_F(ChannelTest, ThirtyTwoBitSendsGoWordByWord) {
  start({}, LWF_TX32);
  const uint32_t words[] = {0x11223344, 0x55667788, 0x99AABBCC};
  size_t from = vxi->mainframe.log.size();
  ASSERT_EQ(lwf_write(channel, 0x81, 12, words, 0), 0);
  std::vector<sim::CallRecord> moves = callsSince(from, "viMoveOut32");
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].args[2], 5u);  // header and three payload words
  clockCharge(1.0);
  module().catchUp();
  ASSERT_EQ(framesReceived().size(), 1u);
  EXPECT_EQ(framesReceived()[0].payload, (std::vector<uint32_t>{0x11223344, 0x55667788, 0x99AABBCC}));
}

}  // namespace
