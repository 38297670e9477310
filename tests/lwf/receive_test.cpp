// Receiving: when frames count as complete, markers, capacities, offsets,
// byte order, cache growth, the pump, and what the host does with payload
// sizes that no exchange produces.
#include "common/console.h"
#include "tests/lwf/channel_fixture.h"
#include "tests/support/stream_capture.h"

namespace {

constexpr int32_t T = 0x5A;

TEST_F(ChannelTest, FewerThanEightBytesWaitingAreLeftInTheFifo) {
  start();
  vxi->block->pins[LWF_REG_RX16_COUNT] = 3;  // 6 bytes
  size_t from = vxi->mainframe.log.size();
  uint8_t sink[4];
  EXPECT_EQ(lwf_read(channel, 4, nullptr, nullptr, sink, 0), LWF_NOT_YET);
  EXPECT_TRUE(callsSince(from, "viMoveIn16").empty());
}

TEST_F(ChannelTest, AHeaderAloneWaitsForTwelveBytesBeforeTheRestIsAwaited) {
  start();
  uint32_t payload[2] = {};
  int32_t tag = 0, size = 0;
  module().queueWords16({8, T});  // header of an 8-byte payload: 8 bytes cached
  EXPECT_EQ(lwf_read(channel, 8, &tag, &size, payload, 0), LWF_NOT_YET);
  EXPECT_EQ(channel->cacheBytesAvail, 8);
  module().queueWords16({0xA});  // 4 more waiting: too few for an opportunistic read
  EXPECT_EQ(lwf_read(channel, 8, &tag, &size, payload, 0), LWF_NOT_YET);
  EXPECT_EQ(channel->cacheBytesAvail, 8);
  module().queueWords16({0xB});
  EXPECT_EQ(lwf_read(channel, 8, &tag, &size, payload, 0), 0);
  EXPECT_EQ(tag, T);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(payload[1], 0xBu);
}

TEST_F(ChannelTest, AnEmptyPayloadIsReadAtOnceButPeekedOnlyWithTwelveBytesCached) {
  start();
  int32_t tag = 0, size = -1;
  uint8_t sink[4];
  module().queueWords16({0, T});
  EXPECT_EQ(lwf_read(channel, 4, &tag, &size, sink, 0), 0);
  EXPECT_EQ(size, 0);

  module().queueWords16({0, T + 1});
  const void* payload = nullptr;
  EXPECT_EQ(lwf_peek(channel, &tag, &size, &payload), LWF_NOT_YET);
  module().queueWords16({0, T + 2});
  ASSERT_EQ(lwf_peek(channel, &tag, &size, &payload), 0);
  EXPECT_EQ(tag, T + 1);
  EXPECT_EQ(lwf_dispose(channel), 0);
  ASSERT_EQ(lwf_read(channel, 4, &tag, &size, sink, 0), 0);
  EXPECT_EQ(tag, T + 2);
  EXPECT_EQ(lwf_dispose(channel), LWF_ERROR);  // nothing left to take off
}

TEST_F(ChannelTest, AMarkerAheadOfAFrameIsDropped) {
  start();
  module().queueWords16({1, 8, T, 0xA, 0xB});
  ASSERT_EQ(lwf_ready(channel), 1);
  int32_t before = channel->cacheBytesAvail + 4;  // the ready test dropped the marker
  uint32_t payload[2] = {};
  int32_t tag = 0, size = 0;
  ASSERT_EQ(lwf_read(channel, 8, &tag, &size, payload, 0), 0);
  EXPECT_EQ(tag, T);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(payload[0], 0xAu);
  EXPECT_EQ(payload[1], 0xBu);
  EXPECT_EQ(before - channel->cacheBytesAvail, 20);
}

TEST_F(ChannelTest, TheCapacityCutsTheCopyNotTheFrame) {
  start();
  std::vector<uint32_t> hundred(25);
  for (uint32_t i = 0; i < 25; ++i) hundred[i] = 0x01010101u * i;
  module().queueFrame16(T, hundred);
  module().queueFrame16(T + 1, hundred);
  module().queueFrame16(T + 2, {});

  uint8_t destination[100];
  std::fill(std::begin(destination), std::end(destination), 0xEE);
  int32_t tag = 0, size = 0;
  ASSERT_EQ(lwf_read(channel, 64, &tag, &size, destination, 0), 0);
  EXPECT_EQ(size, 64);
  EXPECT_EQ(destination[64], 0xEE);

  std::fill(std::begin(destination), std::end(destination), 0xEE);
  ASSERT_EQ(lwf_read(channel, 63, &tag, &size, destination, 4), 0);
  EXPECT_EQ(tag, T + 1);
  EXPECT_EQ(size, 63);
  EXPECT_EQ(destination[59], 14);    // word 14's last byte in byte-stream order
  EXPECT_EQ(destination[60], 0xEE);  // 15 whole words only

  // Without a tag destination nothing is copied and the whole size reported.
  module().queueFrame16(T + 3, hundred);
  ASSERT_EQ(lwf_read(channel, 4, &tag, &size, destination, 0), 0);
  EXPECT_EQ(tag, T + 2);
  std::fill(std::begin(destination), std::end(destination), 0xEE);
  ASSERT_EQ(lwf_read(channel, 4, nullptr, &size, destination, 0), 0);
  EXPECT_EQ(size, 100);
  EXPECT_EQ(destination[0], 0xEE);
  EXPECT_EQ(channel->cacheBytesAvail, 0);
}

TEST_F(ChannelTest, ReadOffsetCopiesARangeOfThePayload) {
  start();
  module().queueFrame16(T, {0x10, 0x20, 0x30});  // a 12-byte payload
  uint32_t word = 0;
  EXPECT_EQ(lwf_readoffset(channel, 8, 8, &word, 0), LWF_BEYOND_PAYLOAD);
  EXPECT_EQ(lwf_readoffset(channel, 6, 0, &word, 0), LWF_ERROR);
  EXPECT_EQ(lwf_readoffset(channel, 0, 0, &word, 0), LWF_ERROR);
  // An offset that would wrap the unsigned sum does not pass the range test.
  EXPECT_EQ(lwf_readoffset(channel, 8, -4, &word, 0), LWF_BEYOND_PAYLOAD);
  EXPECT_EQ(lwf_ready(channel), 1);  // the frame stayed
  ASSERT_EQ(lwf_readoffset(channel, 4, 8, &word, 0), 0);
  EXPECT_EQ(word, 0x30u);
  EXPECT_EQ(channel->cacheBytesAvail, 0);
}

TEST_F(ChannelTest, ByteStreamModeKeepsTheModulesByteOrder) {
  start();
  std::vector<uint32_t> words = bigEndianWords("abcdefgh");
  for (int i = 0; i < 4; ++i) module().queueFrame16(T, words);
  char text[9] = {};
  ASSERT_EQ(lwf_read(channel, 8, nullptr, nullptr, text, 4), 0);  // dropped: no tag out
  int32_t tag = 0;
  ASSERT_EQ(lwf_read(channel, 8, &tag, nullptr, text, 4), 0);
  EXPECT_STREQ(text, "abcdefgh");
  ASSERT_EQ(lwf_read(channel, 8, &tag, nullptr, text, 0), 0);
  EXPECT_STREQ(text, "dcbahgfe");  // word mode on a little-endian host
  const void* payload = nullptr;
  ASSERT_EQ(lwf_peek(channel, &tag, nullptr, &payload), 0);
  EXPECT_EQ(std::string(static_cast<const char*>(payload), 8), "dcbahgfe");
}

TEST_F(ChannelTest, TheCacheGrowsInStepsOfSixteenTimesTheMinimumFreeSpace) {
  start();
  ASSERT_EQ(channel->cacheSize, 16384);
  module().queueFrame16(T, std::vector<uint32_t>(9000, 0x12345678));  // 36008 bytes in all
  uint32_t first = 0;
  int32_t size = 0, tag = 0;
  ASSERT_EQ(lwf_read(channel, 4, &tag, &size, &first, 0), 0);
  EXPECT_EQ(first, 0x12345678u);
  EXPECT_EQ(channel->cacheSize, 49152);
  module().queueFrame16(T, {1});
  ASSERT_EQ(lwf_read(channel, 4, &tag, &size, &first, 0), 0);
  EXPECT_EQ(channel->cacheSize, 49152);  // it never shrinks
}

int32_t stopAtOnce(LwfChannel*, int32_t, int32_t, const void*) { return 1; }

TEST_F(ChannelTest, ThePumpStopsAfterAHandlerAsksItTo) {
  start();
  for (int i = 0; i < 3; ++i) module().queueFrame16(T + i, {static_cast<uint32_t>(i)});
  ASSERT_EQ(lwf_ready(channel), 1);
  EXPECT_EQ(lwf_pump(channel), LWF_ERROR);  // no handler
  channel->handler = stopAtOnce;
  EXPECT_EQ(lwf_pump(channel), 1);
  EXPECT_EQ(channel->cacheBytesAvail, 24);  // two frames stay cached
}

TEST_F(ChannelTest, PeekAndDisposeSayWhenTheyFindASizeOfOne) {
  start();
  module().queueWords16({1, T});  // a size of 1 with 8 bytes cached: no frame
  ASSERT_EQ(lwf_ready(channel), 0);
  {
    StreamCapture out(consoleOut);
    EXPECT_EQ(lwf_dispose(channel), LWF_ERROR);
    EXPECT_EQ(out.text(), "DISPOSE: payloadSize= 1\n");
  }
  EXPECT_EQ(channel->cacheBytesAvail, 8);  // nothing taken off

  ASSERT_EQ(lwf_reset(channel), 0);
  module().queueWords16({1, 1, T, 0xA});  // behind the marker, a size of 1 again
  StreamCapture out(consoleOut);
  StreamCapture err(consoleErr);
  const void* payload = nullptr;
  EXPECT_EQ(lwf_peek(channel, nullptr, nullptr, &payload), LWF_ERROR);
  EXPECT_EQ(out.text(), "PEEK payload size = 1\n");
  EXPECT_EQ(err.text(), "lwf_peek: bad payload (tag=90, size=1)\n");
  EXPECT_EQ(channel->cacheBytesAvail, 0);
}

int32_t countFrames(LwfChannel*, int32_t, int32_t, const void*) { return 0; }

TEST_F(ChannelTest, ThePumpDropsAMarkerAheadOfAnyFrame) {
  start();
  channel->handler = countFrames;
  module().queueWords16({1, 4, T, 0xA, 1, 0, T + 1, 1, 4, T + 2, 0xB});
  ASSERT_EQ(lwf_ready(channel), 1);
  EXPECT_EQ(lwf_pump(channel), 3);
  EXPECT_EQ(channel->cacheBytesAvail, 0);
}

TEST_F(ChannelTest, AFrameOfPartWordsArrivingInPiecesIsABadPayloadAndTheChannelGoesOn) {
  start();
  module().queueWords16({6, T, 0xA});  // 12 bytes cached, 2 missing
  bool restSent = false;
  vxi->block->onAccess = [&](sim::module::Q7340Module& m) {
    if (restSent || m.read16(sim::module::Q7340Module::REG_OUT16_COUNT) != 0) return;
    restSent = true;  // the module sends the rest of the frame as a whole word, then a frame
    m.queueWords16({0xB});
    m.queueFrame16(T + 1, {9});
  };
  StreamCapture err(consoleErr);
  uint8_t sink[8];
  EXPECT_EQ(lwf_read(channel, 8, nullptr, nullptr, sink, 0), LWF_ERROR);
  EXPECT_EQ(err.text(), "lwf_read: bad payload (tag=90, size=6)\n");
  EXPECT_EQ(channel->cacheBytesAvail, 0);
  int32_t tag = 0;
  EXPECT_EQ(lwf_read(channel, 8, &tag, nullptr, sink, 0), 0);
  EXPECT_EQ(tag, T + 1);
}

TEST_F(ChannelTest, ACompleteFrameOfPartWordsIsABadPayload) {
  start();
  module().queueWords16({6, T, 0xA, 0xB, 0xC});  // complete, but 6 is no multiple of 4
  StreamCapture err(consoleErr);
  uint8_t sink[8];
  EXPECT_EQ(lwf_read(channel, 8, nullptr, nullptr, sink, 0), LWF_ERROR);
  EXPECT_EQ(channel->cacheBytesAvail, 0);
  EXPECT_EQ(err.text(), "lwf_read: bad payload (tag=90, size=6)\n");
  module().queueFrame16(T + 1, {9});
  int32_t tag = 0;
  EXPECT_EQ(lwf_read(channel, 8, &tag, nullptr, sink, 0), 0);
  EXPECT_EQ(tag, T + 1);
}

struct BadSize {
  uint32_t size;
  const char* expected;
};

class BadPayloadTest : public ChannelTest, public ::testing::WithParamInterface<BadSize> {};

TEST_P(BadPayloadTest, EmptiesTheCacheAndSaysSo) {
  start();
  module().queueWords16({GetParam().size, T, 1, 2, 3});
  StreamCapture err(consoleErr);
  uint8_t sink[8];
  EXPECT_EQ(lwf_read(channel, 8, nullptr, nullptr, sink, 0), LWF_ERROR);
  EXPECT_EQ(channel->cacheBytesAvail, 0);
  EXPECT_EQ(channel->cacheSize, 16384);  // nothing was allocated for it
  EXPECT_EQ(err.text(), GetParam().expected);
  module().queueFrame16(T + 1, {9});
  int32_t tag = 0;
  EXPECT_EQ(lwf_read(channel, 8, &tag, nullptr, sink, 0), 0);  // the channel goes on
  EXPECT_EQ(tag, T + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BadPayloadTest,
    ::testing::Values(BadSize{0xFFFFFFF8u, "lwf_read: bad payload (tag=90, size=-8)\n"},
                      BadSize{0x80000000u, "lwf_read: bad payload (tag=90, size=-2147483648)\n"},
                      BadSize{LWF_MAX_PAYLOAD + 4u, "lwf_read: bad payload (tag=90, size=16777220)\n"}),
    [](const auto& info) { return "Size" + std::to_string(info.index); });

TEST_F(ChannelTest, ThePumpReportsABadPayloadWithTheCacheState) {
  start();
  channel->handler = stopAtOnce;
  module().queueWords16({0xFFFFFFF0u, T, 1, 2});
  StreamCapture err(consoleErr);
  EXPECT_EQ(lwf_pump(channel), LWF_ERROR);
  std::string text = err.text();
  EXPECT_EQ(text.rfind("lwf_pump: bad payload (tag=0x5a, size=-16)\n", 0), 0u) << text;
  EXPECT_NE(text.find("\nlwf_pump: bad payload cacheReadPtr=0x"), std::string::npos) << text;
  EXPECT_NE(text.find("\nlwf_pump: bad payload cacheBase=0x"), std::string::npos) << text;
  EXPECT_EQ(channel->cacheBytesAvail, 0);
}

TEST_F(ChannelTest, AFrameThatStopsHalfwayTimesOutKeepingWhatCame) {
  start();
  channel->rxTimeout = 5.0;
  module().queueWords16({40, T, 1, 2, 3});  // 12 of 40 payload bytes
  uint8_t sink[40];
  double before = elapsedSeconds();
  EXPECT_EQ(lwf_read(channel, 40, nullptr, nullptr, sink, 0), LWF_RECEIVE_TIMEOUT);
  EXPECT_GT(elapsedSeconds() - before, 5.0);
  EXPECT_LT(elapsedSeconds() - before, 5.01);
  EXPECT_EQ(channel->cacheBytesAvail, 20);
}

TEST_F(ChannelTest, FifoReadFailuresArePassedOn) {
  start();
  module().queueFrame16(T, {1, 2});
  sim::Fault fault;
  fault.function = "viMoveIn16";
  fault.status = VI_ERROR_BERR;
  vxi->mainframe.addFault(fault);
  uint8_t sink[8];
  EXPECT_EQ(lwf_read(channel, 8, nullptr, nullptr, sink, 0), VI_ERROR_BERR);
}

TEST_F(ChannelTest, ReceivingNeedsAReceivingSide) {
  start({}, LWF_TX32);
  uint8_t sink[8];
  const void* payload = nullptr;
  EXPECT_EQ(lwf_read(channel, 8, nullptr, nullptr, sink, 0), LWF_NO_RECEIVE_SIDE);
  EXPECT_EQ(lwf_readoffset(channel, 4, 0, sink, 0), LWF_NO_RECEIVE_SIDE);
  EXPECT_EQ(lwf_peek(channel, nullptr, nullptr, &payload), LWF_NO_RECEIVE_SIDE);
  EXPECT_EQ(lwf_ready(channel), LWF_NO_RECEIVE_SIDE);
  EXPECT_EQ(lwf_pump(channel), LWF_NO_RECEIVE_SIDE);
  EXPECT_EQ(lwf_read(nullptr, 8, nullptr, nullptr, sink, 0), LWF_ERROR);
}

class ThirtyTwoBitReceive : public ChannelTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ThirtyTwoBitReceive, ReadsAtOnceOrInPolledPortions) {
  sim::module::ModuleConfig config;
  config.polledPortions = GetParam();
  start(config, LWF_RX32);
  module().queueWords32({12, T, 0xA, 0xB, 0xC});
  uint32_t payload[3] = {};
  int32_t tag = 0, size = 0;
  ASSERT_EQ(lwf_read(channel, 12, &tag, &size, payload, 0), 0);
  EXPECT_EQ(tag, T);
  EXPECT_EQ(payload[2], 0xCu);
}

INSTANTIATE_TEST_SUITE_P(Modes, ThirtyTwoBitReceive, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Portions" : "AtOnce"; });

}  // namespace
