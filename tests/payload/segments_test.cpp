// The ROM segment table, the lanboot segment beside it, and the revision
// table printers, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "payload/payload.h"

namespace {

// Runs print against a temporary file and returns what it wrote.
template <typename Print>
std::string printed(Print print) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return "<no tmpfile>";
  print(file);
  std::string text;
  std::rewind(file);
  int c;
  while ((c = std::fgetc(file)) != EOF) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

TEST(RomSegments, TableRows) {
  struct Row {
    const char* segDesc;
    const char* image;
    const char* progCmd;
  };
  const Row expected[ROM_SEGMENT_COUNT] = {
      {"OS      ", "vxWorks_rom.hex", "q7340FlashProgRomboot"},
      {"FPGA1   ", "vxiga.hex", "q7340FlashProgVxiga"},
      {"FPGA2   ", "bbbga.hex", "q7340FlashProgBbbga"},
      {"FPGA3   ", "fibga.hex", "q7340FlashProgFibga"},
      {"selfTest", "selfTest.out", "q7340FlashProgSelftest"},
  };
  for (int32_t i = 0; i < ROM_SEGMENT_COUNT; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(romSegments[i].number, i);
    EXPECT_STREQ(romSegments[i].segDesc, expected[i].segDesc);
    EXPECT_EQ(std::strlen(romSegments[i].segDesc), 8u);
    EXPECT_EQ(romSegments[i].efile, payloadFind(expected[i].image));
    EXPECT_STREQ(romSegments[i].progCmd, expected[i].progCmd);
  }
}

TEST(RomSegments, LanbootStandsOutsideTheTable) {
  ASSERT_NE(lanbootImage(), nullptr);
  EXPECT_EQ(lanbootImage(), payloadFind("bootrom.hex"));
  EXPECT_STREQ(lanbootProgCmd, "q7340FlashProgLanboot");
  EXPECT_EQ(LANBOOT_SEGMENT, 99);
  for (const RomSegment& segment : romSegments) {
    EXPECT_NE(segment.efile, lanbootImage());
    EXPECT_NE(segment.number, LANBOOT_SEGMENT);
  }
}

TEST(RevisionTable, HeadAndRowsOfTheCarriedRevisions) {
  std::string table = printed([](FILE* out) {
    printRevisionHead(out);
    for (const RomSegment& segment : romSegments) printRevisionRow(out, segment, segment.efile->revision);
  });
  EXPECT_EQ(table,
            "ROM Segment   Segment Desc    Revision\n"
            "0             OS              110000\n"
            "1             FPGA1           2051614\n"
            "2             FPGA2           2071509\n"
            "3             FPGA3           3041016\n"
            "4             selfTest        10800\n");
}

TEST(RevisionTable, RowColumns) {
  // "4", 13 blanks, "selfTest", 8 blanks, the revision.
  EXPECT_EQ(printed([](FILE* out) { printRevisionRow(out, romSegments[4], 10800); }),
            "4" + std::string(13, ' ') + "selfTest" + std::string(8, ' ') + "10800\n");
  // "OS", its 6 blanks of padding, then the 8 blanks of the format.
  EXPECT_EQ(printed([](FILE* out) { printRevisionRow(out, romSegments[0], 0); }),
            "0" + std::string(13, ' ') + "OS" + std::string(6 + 8, ' ') + "0\n");
  EXPECT_EQ(printed([](FILE* out) { printRevisionRow(out, romSegments[2], -1); }),
            "2             FPGA2           -1\n");
}

}  // namespace
