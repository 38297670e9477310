// The register and memory family at every width: the data widths a register
// block answers (D32 only where a register has it, never split into two D16
// cycles), D64 refused on the D16/D32 bus, the module's A24 memory with its
// byte lanes and bounds, block moves of every width and viMove.
#include <gtest/gtest.h>

#include "sim/module/q7340_module.h"
#include "sim/visa_extra.h"
#include "tests/sim/mainframe_fixture.h"
#include "tests/sim/test_devices.h"

namespace {

using sim::module::Q7340Module;

constexpr uint64_t memoryBase = 0x200000;  // the module's A24 memory
constexpr uint64_t memorySize = 0x40000;

TEST_F(MainframeTest, RegistersAnswerOnlyTheirWidths) {
  auto* module = mainframe.deviceAs<Q7340Module>(128);
  module->config().drainRate = 0;
  module->queueWords32({0xCAFEF00D, 0x12345678});  // 8 bytes behind the receive word
  module->queueWords16({0x1111});                   // two transfers on the 16-bit FIFO
  ViSession vi = openSession("VXI0::128::INSTR");
  struct Case {
    const char* what;
    uint32_t offset;
    int width;
    ViStatus status;
    uint64_t value;
  } cases[] = {
      {"ID", 0x00, 2, VI_SUCCESS, 0xCE7A},
      {"device type, upper byte", 0x02, 1, VI_SUCCESS, 0x07},
      {"device type, lower byte", 0x03, 1, VI_SUCCESS, 0x34},
      {"receive word", 0x3C, 4, VI_SUCCESS, 8},
      {"receive word, upper half", 0x3C, 2, VI_SUCCESS, 0},
      {"receive word, lower half", 0x3E, 2, VI_SUCCESS, 0},
      {"Status as D32", 0x04, 4, VI_ERROR_BERR, 0},
      {"ID and device type as one D32", 0x00, 4, VI_ERROR_BERR, 0},
      {"16-bit FIFO as D32", 0x2C, 4, VI_ERROR_BERR, 0},
      {"D64", 0x00, 8, VI_ERROR_NSUP_WIDTH, 0},
  };
  for (const Case& c : cases) {
    uint64_t value = 0;
    EXPECT_EQ(mainframe.in("viIn", vi, VI_A16_SPACE, c.offset, c.width, &value), c.status)
        << c.what;
    if (c.status == VI_SUCCESS) {
      EXPECT_EQ(value, c.value) << c.what;
    }
  }
  // The refused D32 read of the 16-bit FIFO took nothing off it.
  EXPECT_EQ(module->read16(Q7340Module::REG_OUT16_COUNT), 2);

  uint64_t before = module->state().counters.controlWrites;
  EXPECT_EQ(mainframe.out("viOut32", vi, VI_A16_SPACE, 0x04, 4, 1), VI_ERROR_BERR);
  EXPECT_EQ(mainframe.out("viOut8", vi, VI_A16_SPACE, 0x05, 1, 1), VI_ERROR_BERR);
  EXPECT_EQ(mainframe.out("viOut64", vi, VI_A16_SPACE, 0x00, 8, 1), VI_ERROR_NSUP_WIDTH);
  EXPECT_EQ(module->state().counters.controlWrites, before);
  EXPECT_EQ(mainframe.viOut16(vi, VI_A16_SPACE, 0x04, 0), VI_SUCCESS);
  EXPECT_EQ(module->state().counters.controlWrites, before + 1);
}

TEST_F(MainframeTest, AD32AccessIsNeverSplitIntoTwoD16Cycles) {
  auto* ram = static_cast<testdev::RamDevice*>(
      mainframe.attach(3, std::make_unique<testdev::RamDevice>()));
  ram->id.d32Registers = 1u << (0x20 / 4);  // only 0x20 answers D32
  ViSession vi = openA16();
  const uint64_t block = 0xC000 + 64 * 3;
  ViUInt32 word = 0;
  mainframe.viPeek32(vi, at(block + 0x24), &word);
  EXPECT_EQ(word, 0xFFFFFFFFu);
  mainframe.viPoke32(vi, at(block + 0x24), 0x12345678);
  EXPECT_TRUE(ram->reads.empty());
  EXPECT_TRUE(ram->writes.empty());
  EXPECT_EQ(mainframe.counters.busErrors, 2u);
  EXPECT_EQ(mainframe.log.back().describe(), "viPoke32(0xC0E4, 0x12345678)");
  EXPECT_EQ(mainframe.log.back().status, VI_ERROR_BERR);

  ViUInt32 words[2] = {};
  EXPECT_EQ(mainframe.viMoveIn32(vi, VI_A16_SPACE, block + 0x20, 2, words), VI_ERROR_BERR);
  EXPECT_EQ(ram->reads, (std::vector<uint32_t>{0x20, 0x22}));  // the first element only
  ram->reads.clear();
  mainframe.viPeek32(vi, at(block + 0x20), &word);
  EXPECT_EQ(ram->reads, (std::vector<uint32_t>{0x20, 0x22}));
}

TEST_F(MainframeTest, WindowPeeksAndPokesOfEveryWidth) {
  ViSession module = openSession("VXI0::128");
  void* memory = nullptr;
  ASSERT_EQ(mainframe.viMapAddress(module, VI_A24_SPACE, 0, memorySize, VI_FALSE, nullptr,
                                   &memory),
            VI_SUCCESS);
  char* base = static_cast<char*>(memory);
  EXPECT_EQ(mainframe.poke("viPoke8", module, base + 1, 1, 0xAB), VI_SUCCESS);
  EXPECT_EQ(mainframe.poke("viPoke16", module, base + 2, 2, 0xCDEF), VI_SUCCESS);
  uint64_t value = 0;
  EXPECT_EQ(mainframe.peek("viPeek32", module, base, 4, &value), VI_SUCCESS);
  EXPECT_EQ(value, 0x00ABCDEFu);
  EXPECT_EQ(mainframe.peek("viPeek64", module, base, 8, &value), VI_ERROR_NSUP_WIDTH);
  EXPECT_EQ(value, UINT64_MAX);
  EXPECT_EQ(mainframe.poke("viPoke64", module, base, 8, 0), VI_ERROR_NSUP_WIDTH);
  EXPECT_EQ(mainframe.peek("viPeek32", module, base, 4, &value), VI_SUCCESS);
  EXPECT_EQ(value, 0x00ABCDEFu);  // the refused poke wrote nothing
  EXPECT_EQ(mainframe.peek("viPeek8", module, base + memorySize, 1, &value),
            VI_ERROR_INV_OFFSET);  // past the window
}

TEST_F(MainframeTest, ModuleMemoryIsPlainMemoryOfItsAdvertisedSize) {
  ViSession memAcc = openSession("VXI0::MEMACC");
  ViSession module = openSession("VXI0::128");
  uint64_t value = 1;
  ASSERT_EQ(mainframe.in("viIn32", memAcc, VI_A24_SPACE, memoryBase, 4, &value), VI_SUCCESS);
  EXPECT_EQ(value, 0u);
  // The device session's offsets count from the memory's base.
  ASSERT_EQ(mainframe.out("viOut32", module, VI_A24_SPACE, 0x10, 4, 0x11223344), VI_SUCCESS);
  struct Case {
    uint64_t address;
    int width;
    uint64_t value;
  } lanes[] = {{memoryBase + 0x10, 2, 0x1122}, {memoryBase + 0x12, 2, 0x3344},
               {memoryBase + 0x10, 1, 0x11},   {memoryBase + 0x13, 1, 0x44}};
  for (const Case& c : lanes) {
    ASSERT_EQ(mainframe.in("viIn", memAcc, VI_A24_SPACE, c.address, c.width, &value), VI_SUCCESS);
    EXPECT_EQ(value, c.value) << std::hex << c.address;
  }

  const uint64_t last = memoryBase + memorySize - 1;
  ASSERT_EQ(mainframe.out("viOut8", memAcc, VI_A24_SPACE, last, 1, 0x5A), VI_SUCCESS);
  ASSERT_EQ(mainframe.in("viIn8", module, VI_A24_SPACE, memorySize - 1, 1, &value), VI_SUCCESS);
  EXPECT_EQ(value, 0x5Au);
  EXPECT_EQ(mainframe.in("viIn8", memAcc, VI_A24_SPACE, last + 1, 1, &value), VI_ERROR_BERR);
  EXPECT_EQ(mainframe.in("viIn16", memAcc, VI_A24_SPACE, memoryBase - 2, 2, &value),
            VI_ERROR_BERR);
  EXPECT_EQ(mainframe.in("viIn8", module, VI_A24_SPACE, memorySize, 1, &value),
            VI_ERROR_INV_OFFSET);
  EXPECT_EQ(mainframe.in("viIn64", memAcc, VI_A24_SPACE, memoryBase, 8, &value),
            VI_ERROR_NSUP_WIDTH);
}

TEST_F(MainframeTest, BlockMovesOfEveryWidthAndBusToBus) {
  auto* module = mainframe.deviceAs<Q7340Module>(128);
  module->config().drainRate = 0;
  ViSession vi = openSession("VXI0::MEMACC");
  const uint8_t bytes[4] = {1, 2, 3, 4};
  ASSERT_EQ(mainframe.moveOut("viMoveOut8", vi, VI_A24_SPACE, memoryBase, 4, 1, bytes),
            VI_SUCCESS);
  uint16_t halves[2] = {};
  ASSERT_EQ(mainframe.moveIn("viMoveIn16", vi, VI_A24_SPACE, memoryBase, 2, 2, halves),
            VI_SUCCESS);
  EXPECT_EQ(halves[0], 0x0102);
  EXPECT_EQ(halves[1], 0x0304);
  uint64_t wide[1] = {};
  EXPECT_EQ(mainframe.moveIn("viMoveIn64", vi, VI_A24_SPACE, memoryBase, 1, 8, wide),
            VI_ERROR_NSUP_WIDTH);
  EXPECT_EQ(mainframe.moveOut("viMoveOut64", vi, VI_A24_SPACE, memoryBase, 1, 8, wide),
            VI_ERROR_NSUP_WIDTH);

  ASSERT_EQ(mainframe.move("viMove", vi, VI_A24_SPACE, memoryBase, VI_WIDTH_16, VI_A24_SPACE,
                           memoryBase + 0x100, VI_WIDTH_16, 2),
            VI_SUCCESS);
  uint64_t value = 0;
  ASSERT_EQ(mainframe.in("viIn32", vi, VI_A24_SPACE, memoryBase + 0x100, 4, &value), VI_SUCCESS);
  EXPECT_EQ(value, 0x01020304u);
  // Into the module's 16-bit FIFO: the destination does not advance.
  ASSERT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_DEST_INCREMENT, 0), VI_SUCCESS);
  ASSERT_EQ(mainframe.move("viMove", vi, VI_A24_SPACE, memoryBase, VI_WIDTH_16, VI_A16_SPACE,
                           0xE000 + Q7340Module::REG_FIFO16, VI_WIDTH_16, 2),
            VI_SUCCESS);
  EXPECT_EQ(module->read16(Q7340Module::REG_IN16_COUNT), 2);

  struct Refusal {
    ViUInt16 srcWidth, destWidth;
    ViStatus status;
  } refusals[] = {{VI_WIDTH_16, VI_WIDTH_32, VI_ERROR_NSUP_VAR_WIDTH},
                  {3, 3, VI_ERROR_INV_WIDTH},
                  {VI_WIDTH_64, VI_WIDTH_64, VI_ERROR_NSUP_WIDTH}};
  for (const Refusal& r : refusals)
    EXPECT_EQ(mainframe.move("viMove", vi, VI_A24_SPACE, memoryBase, r.srcWidth, VI_A24_SPACE,
                             memoryBase + 0x200, r.destWidth, 1),
              r.status)
        << r.srcWidth << "/" << r.destWidth;
  EXPECT_EQ(mainframe.move("viMove", vi, VI_LOCAL_SPACE, 0, VI_WIDTH_8, VI_A24_SPACE,
                           memoryBase, VI_WIDTH_8, 1),
            VI_ERROR_INV_SPACE);
}

}  // namespace
