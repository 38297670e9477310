// FIFO moves: the increment attribute saved, set to 0 and always restored,
// the half-word exchange of the 16-bit path, and the failure lines.
#include <cinttypes>

#include "tests/sim/test_devices.h"
#include "tests/vxi/fixture.h"

namespace {

constexpr int fifoLa = 9;

class FifoTest : public VxiTest {
 protected:
  void SetUp() override {
    VxiTest::SetUp();
    fifo = static_cast<testdev::FifoDevice*>(
        mainframe.attach(fifoLa, std::make_unique<testdev::FifoDevice>()));
    device = openMapped();
    start = mainframe.log.size();
  }
  void* fifoAddress() { return reg(fifoLa, testdev::FifoDevice::fifoOffset); }
  std::string fifoBus() {
    char text[16];
    snprintf(text, sizeof text, "0x%X", 0xC000 + 64 * fifoLa + testdev::FifoDevice::fifoOffset);
    return text;
  }
  ViInt32 increment(ViAttr attribute) {
    ViInt32 value = -1;
    EXPECT_EQ(visa().viGetAttribute(device->sess, attribute, &value), 0);
    return value;
  }

  testdev::FifoDevice* fifo = nullptr;
  VxiDevice* device = nullptr;
  size_t start = 0;
};

TEST_F(FifoTest, PokeFifo16MovesHalvesInOrderAndRestoresIncrement) {
  uint32_t words[2] = {0x11112222, 0x33334444};
  EXPECT_EQ(vxiPokeFifo(device, fifoAddress(), 2, words, 8), 0);
  EXPECT_EQ(fifo->received, (std::vector<uint16_t>{0x1111, 0x2222, 0x3333, 0x4444}));
  EXPECT_EQ(words[0], 0x11112222u);  // exchanged back
  EXPECT_EQ(words[1], 0x33334444u);
  EXPECT_EQ(logLines(start), (std::vector<std::string>{
                                 "viGetAttribute(VI_ATTR_DEST_INCREMENT) = 0",
                                 "viSetAttribute(VI_ATTR_DEST_INCREMENT, 0) = 0",
                                 "viMoveOut16(A16, " + fifoBus() + ", 4) = 0",
                                 "viSetAttribute(VI_ATTR_DEST_INCREMENT, 1) = 0",
                             }));
  EXPECT_EQ(increment(VI_ATTR_DEST_INCREMENT), 1);
  EXPECT_EQ(errorText(), "");
}

TEST_F(FifoTest, PokeFifo32IsOneMoveWithoutExchange) {
  uint32_t words[2] = {0x11112222, 0x33334444};
  EXPECT_EQ(vxiPokeFifo(device, fifoAddress(), 4, words, 8), 0);
  EXPECT_EQ(mainframe.calls("viMoveOut32").back().describe(),
            "viMoveOut32(A16, " + fifoBus() + ", 2) = 0");
  // Each D32 write reaches the register as its high half, then its low half.
  EXPECT_EQ(fifo->received, (std::vector<uint16_t>{0x1111, 0x2222, 0x3333, 0x4444}));
}

TEST_F(FifoTest, PokeFifoKeepsSavedIncrement) {
  ASSERT_EQ(visa().viSetAttribute(device->sess, VI_ATTR_DEST_INCREMENT, 0), 0);
  uint16_t half = 0x5555;
  EXPECT_EQ(vxiPokeFifo(device, fifoAddress(), 2, &half, 2), 0);
  EXPECT_EQ(increment(VI_ATTR_DEST_INCREMENT), 0);
  EXPECT_EQ(fifo->received, std::vector<uint16_t>{0x5555});
}

TEST_F(FifoTest, PeekFifo16OfSixBytesExchangesOneWord) {
  fifo->toSend = {0xAAAA, 0xBBBB, 0xCCCC};
  uint16_t halves[3] = {};
  EXPECT_EQ(vxiPeekFifo(device, fifoAddress(), 2, halves, 6), 0);
  EXPECT_EQ(halves[0], 0xBBBB);
  EXPECT_EQ(halves[1], 0xAAAA);
  EXPECT_EQ(halves[2], 0xCCCC);
  EXPECT_EQ(logLines(start), (std::vector<std::string>{
                                 "viGetAttribute(VI_ATTR_SRC_INCREMENT) = 0",
                                 "viSetAttribute(VI_ATTR_SRC_INCREMENT, 0) = 0",
                                 "viMoveIn16(A16, " + fifoBus() + ", 3) = 0",
                                 "viSetAttribute(VI_ATTR_SRC_INCREMENT, 1) = 0",
                             }));
}

TEST_F(FifoTest, PeekFifo16GivesWordsInHostOrder) {
  fifo->toSend = {0x1111, 0x2222};
  uint32_t word = 0;
  EXPECT_EQ(vxiPeekFifo(device, fifoAddress(), 2, &word, 4), 0);
  EXPECT_EQ(word, 0x11112222u);  // more significant half came first
}

TEST_F(FifoTest, PeekFifo32FailurePrintsTextAndWholeBufferAddress) {
  mainframe.addFault({.function = "viMoveIn32", .status = VI_ERROR_BERR});
  uint32_t words[2] = {};
  EXPECT_EQ(vxiPeekFifo(device, fifoAddress(), 4, words, 8), VI_ERROR_BERR);
  char expected[256];
  snprintf(expected, sizeof expected,
           "vxiPeekFifo: error 'Bus error occurred during transfer.' (0xbfff0038)\n"
           "vxiPeekFifo: buf addr 0x%" PRIxPTR ", bytecnt 8\n",
           reinterpret_cast<uintptr_t>(words));
  EXPECT_EQ(errorText(), expected);
  EXPECT_EQ(increment(VI_ATTR_SRC_INCREMENT), 1);  // restored after the failed move
  EXPECT_EQ(mainframe.calls("viStatusDesc").back().session, device->sess);
}

TEST_F(FifoTest, FailedMoveStillRestoresIncrementAndPrintsNothing) {
  mainframe.addFault({.function = "viMoveOut16", .status = VI_ERROR_BERR});
  uint32_t word = 0x11112222;
  EXPECT_EQ(vxiPokeFifo(device, fifoAddress(), 2, &word, 4), VI_ERROR_BERR);
  EXPECT_EQ(word, 0x11112222u);
  EXPECT_EQ(increment(VI_ATTR_DEST_INCREMENT), 1);
  EXPECT_EQ(errorText(), "");

  mainframe.addFault({.function = "viMoveIn16", .status = VI_ERROR_BERR});
  uint16_t halves[2] = {0x1111, 0x2222};
  EXPECT_EQ(vxiPeekFifo(device, fifoAddress(), 2, halves, 4), VI_ERROR_BERR);
  EXPECT_EQ(halves[0], 0x2222);  // exchanged whether or not the move succeeded
  EXPECT_EQ(increment(VI_ATTR_SRC_INCREMENT), 1);
  EXPECT_EQ(errorText(), "");
}

// The restore is the second viSetAttribute of the attribute.
TEST_F(FifoTest, RestoreFailure) {
  mainframe.addFault({.function = "viSetAttribute", .attribute = VI_ATTR_DEST_INCREMENT,
                      .status = VI_ERROR_NSUP_ATTR_STATE, .nth = 2});
  mainframe.addFault({.function = "viSetAttribute", .attribute = VI_ATTR_SRC_INCREMENT,
                      .status = VI_ERROR_NSUP_ATTR_STATE, .nth = 2});
  uint32_t word = 0x11112222;
  EXPECT_EQ(vxiPokeFifo(device, fifoAddress(), 2, &word, 4), VI_ERROR_NSUP_ATTR_STATE);
  EXPECT_EQ(errorText(), "viSetAttribute(VI_ATTR_DEST_INCREMENT) restore failed\n");
  fifo->toSend = {1, 2};
  EXPECT_EQ(vxiPeekFifo(device, fifoAddress(), 2, &word, 4), 0);  // the move's status
  EXPECT_EQ(errorText(),
            "viSetAttribute(VI_ATTR_DEST_INCREMENT) restore failed\n"
            "viSetAttribute(VI_ATTR_SRC_INCREMENT) failed\n");
}

struct AttributeFault {
  bool poke;
  const char* function;
  ViAttr attribute;
  const char* line;
};

class FifoAttributeFailure : public FifoTest,
                             public ::testing::WithParamInterface<AttributeFault> {};

// The operation stops at the failed attribute call: no move, nothing to restore.
TEST_P(FifoAttributeFailure, StopsBeforeMove) {
  const AttributeFault& c = GetParam();
  mainframe.addFault({.function = c.function, .attribute = c.attribute,
                      .status = VI_ERROR_INV_OBJECT});
  uint32_t word = 0x11112222;
  fifo->toSend = {1, 2};
  int32_t status = c.poke ? vxiPokeFifo(device, fifoAddress(), 2, &word, 4)
                          : vxiPeekFifo(device, fifoAddress(), 2, &word, 4);
  EXPECT_EQ(status, VI_ERROR_INV_OBJECT);
  EXPECT_EQ(errorText(), c.line);
  EXPECT_EQ(word, 0x11112222u);
  EXPECT_TRUE(mainframe.calls(c.poke ? "viMoveOut16" : "viMoveIn16").empty());
  bool setFailed = std::string(c.function) == "viSetAttribute";
  EXPECT_EQ(mainframe.calls("viSetAttribute").size(), setFailed ? 1u : 0u);
  EXPECT_EQ(increment(c.attribute), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FifoAttributeFailure,
    ::testing::Values(
        AttributeFault{true, "viGetAttribute", VI_ATTR_DEST_INCREMENT,
                       "viGetAttribute(VI_ATTR_DEST_INCREMENT) failed\n"},
        AttributeFault{true, "viSetAttribute", VI_ATTR_DEST_INCREMENT,
                       "viSetAttribute(VI_ATTR_DEST_INCREMENT) failed\n"},
        AttributeFault{false, "viGetAttribute", VI_ATTR_SRC_INCREMENT,
                       "viGetAttribute(VI_ATTR_SRC_INCREMENT) failed\n"},
        AttributeFault{false, "viSetAttribute", VI_ATTR_SRC_INCREMENT,
                       "viSetAttribute(VI_ATTR_SRC_INCREMENT) failed\n"}),
    [](const ::testing::TestParamInfo<AttributeFault>& info) {
      return std::string(info.param.poke ? "Poke" : "Peek") + (info.param.function + 2);
    });

}  // namespace
