// Mapping, single accesses with the half-word rules, and 32-bit block moves.
#include "tests/sim/test_devices.h"
#include "tests/vxi/fixture.h"

namespace {

constexpr int ramLa = 5;
constexpr uint32_t ramOffset = 0x20;  // a register pair: H at 0x20, L at 0x22

class AccessTest : public VxiTest {
 protected:
  void SetUp() override {
    VxiTest::SetUp();
    ram = static_cast<testdev::RamDevice*>(
        mainframe.attach(ramLa, std::make_unique<testdev::RamDevice>()));
  }
  // Bus address of the RAM device's register.
  static std::string busHex(uint32_t offset) {
    char text[16];
    snprintf(text, sizeof text, "0x%X", 0xC000 + 64 * ramLa + offset);
    return text;
  }
  testdev::RamDevice* ram = nullptr;
};

TEST_F(AccessTest, MapRecordsWindowAndReachesModule) {
  VxiDevice* device = open(-1);
  void* address = nullptr;
  ASSERT_EQ(vxiMap(device, VI_A16_SPACE, 0, 0x10000, &address), 0);
  EXPECT_NE(address, nullptr);
  EXPECT_EQ(device->mapAddress, address);
  EXPECT_EQ(device->mapSpace, VI_A16_SPACE);
  EXPECT_EQ(device->mapOffset, 0u);
  EXPECT_EQ(device->mapSize, 0x10000u);
  a16 = address;
  EXPECT_EQ(vxiPeek16(device, reg(128, 4)), 0x0001);  // the module is ready
  EXPECT_EQ(vxiPeek8(device, reg(128, 5)), 1);        // its low byte
}

TEST_F(AccessTest, MapOverWindowUnmapsFirst) {
  VxiDevice* device = openMapped();
  size_t start = mainframe.log.size();
  void* again = nullptr;
  ASSERT_EQ(vxiMap(device, VI_A16_SPACE, 0xC000, 0x4000, &again), 0);
  auto lines = logLines(start);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("viUnmapAddress(", 0), 0u);
  EXPECT_EQ(lines[1].rfind("viMapAddress(", 0), 0u);
  EXPECT_EQ(device->mapAddress, again);
  EXPECT_EQ(device->mapOffset, 0xC000u);
}

TEST_F(AccessTest, MapKeepsOldWindowWhenUnmapFails) {
  VxiDevice* device = openMapped();
  mainframe.addFault({.function = "viUnmapAddress", .status = VI_ERROR_INV_OBJECT});
  EXPECT_EQ(vxiMap(device, VI_A16_SPACE, 0, 64, nullptr), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(device->mapAddress, a16);
  EXPECT_EQ(device->mapSize, 0x10000u);
  EXPECT_EQ(mainframe.calls("viMapAddress").size(), 1u);
}

TEST_F(AccessTest, MapFailureReturnsStatus) {
  VxiDevice* device = open(-1);
  EXPECT_EQ(vxiMap(device, 9, 0, 64, nullptr), VI_ERROR_INV_SPACE);
  EXPECT_EQ(device->mapAddress, nullptr);
}

TEST_F(AccessTest, Unmap) {
  VxiDevice* device = open(-1);
  EXPECT_EQ(vxiUnmap(device), 0);  // no window: nothing asked
  EXPECT_TRUE(mainframe.calls("viUnmapAddress").empty());
  openMapped();
  device = opened.back();
  mainframe.addFault({.function = "viUnmapAddress", .status = VI_ERROR_INV_OBJECT});
  EXPECT_EQ(vxiUnmap(device), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(device->mapAddress, a16);
  EXPECT_EQ(vxiUnmap(device), 0);
  EXPECT_EQ(device->mapAddress, nullptr);
}

// The half-word at the lower address is H (0x1234), the one at address + 2 is L (0xABCD).
TEST_F(AccessTest, Peek32PutsHalvesTogether) {
  struct Case {
    int32_t swapWords;
    int32_t access32;
    uint32_t expected;
    std::vector<std::string> calls;  // in order
  } cases[] = {
      {1, 0, 0x1234ABCD,
       {"viPeek16(" + busHex(ramOffset + 2) + ") -> 0xABCD",
        "viPeek16(" + busHex(ramOffset) + ") -> 0x1234"}},
      {0, 0, 0xABCD1234,
       {"viPeek16(" + busHex(ramOffset) + ") -> 0x1234",
        "viPeek16(" + busHex(ramOffset + 2) + ") -> 0xABCD"}},
      {1, 1, 0x1234ABCD, {"viPeek32(" + busHex(ramOffset) + ") -> 0x1234ABCD"}},
  };
  VxiDevice* device = openMapped();
  ram->registers[ramOffset / 2] = 0x1234;
  ram->registers[ramOffset / 2 + 1] = 0xABCD;
  for (const Case& c : cases) {
    device->swapWords = c.swapWords;
    device->access32 = c.access32;
    size_t start = mainframe.log.size();
    EXPECT_EQ(vxiPeek32(device, reg(ramLa, ramOffset)), c.expected) << c.swapWords << c.access32;
    EXPECT_EQ(logLines(start), c.calls);
  }
}

TEST_F(AccessTest, Poke32SplitsLessSignificantHalfFirst) {
  using W = testdev::RamDevice::Write;
  struct Case {
    int32_t swapWords;
    int32_t access32;
    std::vector<W> writes;
  } cases[] = {
      {1, 0, {{ramOffset + 2, 0xABCD}, {ramOffset, 0x1234}}},
      {0, 0, {{ramOffset, 0xABCD}, {ramOffset + 2, 0x1234}}},
      {1, 1, {{ramOffset, 0x1234}, {ramOffset + 2, 0xABCD}}},  // one D32 access, high half first
  };
  VxiDevice* device = openMapped();
  for (const Case& c : cases) {
    device->swapWords = c.swapWords;
    device->access32 = c.access32;
    ram->writes.clear();
    size_t pokes = mainframe.calls("viPoke32").size();
    EXPECT_EQ(vxiPoke32(device, reg(ramLa, ramOffset), 0x1234ABCD), 0);
    EXPECT_EQ(ram->writes, c.writes) << c.swapWords << c.access32;
    EXPECT_EQ(mainframe.calls("viPoke32").size(), pokes + (c.access32 ? 1 : 0));
  }
}

TEST_F(AccessTest, PokeBlk32On16BitPathKeepsCallersBuffer) {
  VxiDevice* device = openMapped();
  uint32_t words[2] = {0x11112222, 0x33334444};
  EXPECT_EQ(viPokeBlk32(device, reg(ramLa, ramOffset), words, 2), 0);
  EXPECT_EQ(words[0], 0x11112222u);
  EXPECT_EQ(words[1], 0x33334444u);
  // More significant half at the lower address.
  EXPECT_EQ(ram->registers[ramOffset / 2], 0x1111);
  EXPECT_EQ(ram->registers[ramOffset / 2 + 1], 0x2222);
  EXPECT_EQ(ram->registers[ramOffset / 2 + 2], 0x3333);
  EXPECT_EQ(ram->registers[ramOffset / 2 + 3], 0x4444);
  EXPECT_EQ(mainframe.calls("viMoveOut16").back().describe(),
            "viMoveOut16(A16, " + busHex(ramOffset) + ", 4) = 0");
}

TEST_F(AccessTest, PokeBlk32RestoresBufferAfterFailedMove) {
  VxiDevice* device = openMapped();
  uint32_t words[1] = {0x11112222};
  EXPECT_EQ(viPokeBlk32(device, reg(77, 0x20), words, 1), VI_ERROR_BERR);  // nobody at LA 77
  EXPECT_EQ(words[0], 0x11112222u);
  EXPECT_EQ(errorText(), "");
}

TEST_F(AccessTest, PokeBlk32With32BitAccess) {
  VxiDevice* device = openMapped();
  device->access32 = 1;
  uint32_t words[2] = {0x11112222, 0x33334444};
  EXPECT_EQ(viPokeBlk32(device, reg(ramLa, ramOffset), words, 2), 0);
  EXPECT_EQ(mainframe.calls("viMoveOut32").back().describe(),
            "viMoveOut32(A16, " + busHex(ramOffset) + ", 2) = 0");
  EXPECT_EQ(ram->registers[ramOffset / 2 + 2], 0x3333);
}

TEST_F(AccessTest, PeekBlk32OfTwoWordsMovesFourHalfWords) {
  VxiDevice* device = openMapped();
  const uint16_t halves[4] = {0x1111, 0x2222, 0x3333, 0x4444};
  for (int i = 0; i < 4; ++i) ram->registers[ramOffset / 2 + i] = halves[i];
  uint32_t words[2] = {};
  EXPECT_EQ(viPeekBlk32(device, reg(ramLa, ramOffset), words, 2), 0);
  EXPECT_EQ(mainframe.calls("viMoveIn16").back().describe(),
            "viMoveIn16(A16, " + busHex(ramOffset) + ", 4) = 0");
  EXPECT_EQ(words[0], 0x11112222u);
  EXPECT_EQ(words[1], 0x33334444u);

  device->swapWords = 0;
  EXPECT_EQ(viPeekBlk32(device, reg(ramLa, ramOffset), words, 2), 0);
  EXPECT_EQ(words[0], 0x22221111u);
  device->access32 = 1;
  EXPECT_EQ(viPeekBlk32(device, reg(ramLa, ramOffset), words, 2), 0);
  EXPECT_EQ(mainframe.calls("viMoveIn32").size(), 1u);
  EXPECT_EQ(words[1], 0x33334444u);
}

TEST_F(AccessTest, PeekBlk32ReportsFailure) {
  VxiDevice* device = openMapped();
  uint32_t words[1];
  EXPECT_EQ(viPeekBlk32(device, reg(77, 0x20), words, 1), VI_ERROR_BERR);
  EXPECT_EQ(errorText(),
            "viPeekBlk32 error -1073807304 (0xbfff0038) 'Bus error occurred during transfer.'\n");
}

TEST_F(AccessTest, BlockAndFifoMovesNeedWindow) {
  VxiDevice* device = open(-1);
  uint32_t words[2] = {};
  size_t start = mainframe.log.size();
  void* somewhere = words;
  EXPECT_EQ(viPokeBlk32(device, somewhere, words, 2), VI_ERROR_WINDOW_NMAPPED);
  EXPECT_EQ(viPeekBlk32(device, somewhere, words, 2), VI_ERROR_WINDOW_NMAPPED);
  EXPECT_EQ(vxiPokeFifo(device, somewhere, 2, words, 8), VI_ERROR_WINDOW_NMAPPED);
  EXPECT_EQ(vxiPeekFifo(device, somewhere, 4, words, 8), VI_ERROR_WINDOW_NMAPPED);
  EXPECT_EQ(mainframe.log.size(), start);  // no attribute touched, no move made
  EXPECT_EQ(errorText(), "");
}

TEST_F(AccessTest, MessageWrite) {
  VxiDevice* controller = open(0);
  uint32_t written = 0;
  EXPECT_EQ(vxiWrite(controller, "*IDN?\n", 6, &written), 0);
  EXPECT_EQ(written, 6u);
  EXPECT_EQ(mainframe.messages[0], "*IDN?\n");
  VxiDevice* module = open(128);  // register based: no messages
  EXPECT_EQ(vxiWrite(module, "x", 1, &written), VI_ERROR_NSUP_OPER);
}

}  // namespace
