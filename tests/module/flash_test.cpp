// Flash programming on the simulated module: carried images stored and
// programmed, the revisions the module reports, refused images, the recorded
// self-test revision, the update's order of events and the state file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "common/clock.h"
#include "payload/payload.h"
#include "sim/module/module_codes.h"
#include "sim/module/q7340_module.h"
#include "tests/module/module_driver.h"

using module_test::ModuleDriver;
using namespace sim::module;

namespace {

std::vector<uint8_t> carried(const char* name) {
  const PayloadRecord* record = payloadFind(name);
  return std::vector<uint8_t>(payloadData(record), payloadData(record) + record->fileSize);
}

// One S-record line with its count and checksum.
std::string srecord(char type, const std::vector<uint8_t>& addressAndData) {
  char hex[4];
  unsigned sum = static_cast<unsigned>(addressAndData.size() + 1);
  std::snprintf(hex, sizeof hex, "%02X", sum);
  std::string line = std::string("S") + type + hex;
  for (uint8_t byte : addressAndData) {
    std::snprintf(hex, sizeof hex, "%02X", byte);
    line += hex;
    sum += byte;
  }
  std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
  return line + hex + "\r\n";
}

class ModuleFlashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockUseVirtual();
    config.flash = olderModuleFlash();
  }
  ModuleConfig config;
};

TEST_F(ModuleFlashTest, EachCarriedImageIsProgrammedWithTheRevisionItCarries) {
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  struct Case {
    const char* image;
    const char* function;
    int segment;  // -1: lanboot
  } cases[] = {
      {"vxWorks_rom.hex", "q7340FlashProgRomboot", 0}, {"vxiga.hex", "q7340FlashProgVxiga", 1},
      {"bbbga.hex", "q7340FlashProgBbbga", 2},         {"fibga.hex", "q7340FlashProgFibga", 3},
      {"selfTest.out", "q7340FlashProgSelftest", 4},   {"bootrom.hex", "q7340FlashProgLanboot", -1},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(driver.putCarried(c.image), 0) << c.image;
    double start = elapsedSeconds();
    EXPECT_EQ(driver.command(c.function), 0) << c.function;
    // The answer waits for the programming time (20 s by default).
    EXPECT_GE(elapsedSeconds() - start, 20.0) << c.function;
    EXPECT_LT(elapsedSeconds() - start, 21.0) << c.function;
    int32_t revision = payloadFind(c.image)->revision;
    EXPECT_EQ(c.segment < 0 ? module.flash().lanboot : module.flash().segment[c.segment], revision)
        << c.image;
  }
  std::optional<std::vector<int32_t>> revisions = driver.romRevisions();
  ASSERT_TRUE(revisions.has_value());
  std::vector<int32_t> expected;
  for (const RomSegment& segment : romSegments) expected.push_back(segment.efile->revision);
  EXPECT_EQ(*revisions, expected);
}

TEST_F(ModuleFlashTest, RefusedImagesLeaveTheSegmentAsItWas) {
  std::vector<uint8_t> badChecksum = carried("vxiga.hex");
  size_t secondLine = std::string(badChecksum.begin(), badChecksum.end()).find("\nS2") + 1;
  badChecksum[secondLine + 10] = badChecksum[secondLine + 10] == '0' ? '1' : '0';
  std::string noRevision = srecord('2', {0, 0, 0, 0xAB, 0xCD}) + srecord('9', {0, 0});
  std::string noEnd = srecord('2', {0, 0, 0, 0xAB, 0xCD});
  std::vector<uint8_t> notElf = carried("selfTest.out");
  notElf[18] = 0;
  notElf[19] = 3;  // e_machine: not PowerPC

  struct Case {
    const char* what;
    const char* image;
    std::vector<uint8_t> bytes;  // empty: no file stored
    const char* function;
    int segment;
    int32_t result;
  } cases[] = {
      {"bad checksum", "vxiga.hex", badChecksum, "q7340FlashProgVxiga", 1, RESULT_BAD_IMAGE},
      {"S3 records for an FPGA", "vxiga.hex", carried("bootrom.hex"), "q7340FlashProgVxiga", 1,
       RESULT_BAD_IMAGE},
      {"S2 records for the OS", "vxWorks_rom.hex", carried("fibga.hex"), "q7340FlashProgRomboot", 0,
       RESULT_BAD_IMAGE},
      {"no end record", "bbbga.hex", {noEnd.begin(), noEnd.end()}, "q7340FlashProgBbbga", 2,
       RESULT_BAD_IMAGE},
      {"no revision mark", "fibga.hex", {noRevision.begin(), noRevision.end()},
       "q7340FlashProgFibga", 3, RESULT_NO_REVISION},
      {"self test not PowerPC", "selfTest.out", notElf, "q7340FlashProgSelftest", 4,
       RESULT_BAD_IMAGE},
      {"no file", "vxiga.hex", {}, "q7340FlashProgVxiga", 1, RESULT_NO_FILE},
  };
  for (const Case& c : cases) {
    Q7340Module module(config);
    ModuleDriver driver(module);
    driver.loadLibraries();
    if (!c.bytes.empty()) {
      ASSERT_EQ(driver.putFile(c.image, c.bytes.data(), c.bytes.size()), 0);
    }
    double start = elapsedSeconds();
    EXPECT_EQ(driver.command(c.function), c.result) << c.what;
    EXPECT_LT(elapsedSeconds() - start, 1.0) << c.what;  // refused before programming
    EXPECT_EQ(module.flash().segment[c.segment], config.flash.segment[c.segment]) << c.what;
  }
}

TEST_F(ModuleFlashTest, SelftestRevisionIsKeptOnlyByTheNewerGeneration) {
  Q7340Module older(config);
  ModuleDriver olderHost(older);
  olderHost.loadLibraries();
  EXPECT_EQ(olderHost.command("q7340FlashProgSelftestRev", {{"I", "10800"}}), 0);
  EXPECT_EQ(olderHost.command("q7340FlashGetSelftestRev"), RESULT_ERROR);

  config.flash = newerGenerationFlash();
  config.flash.selftestRecorded = 10700;
  Q7340Module newer(config);
  ModuleDriver newerHost(newer);
  newerHost.loadLibraries();
  EXPECT_EQ(newerHost.command("q7340FlashGetSelftestRev"), 10700);
  EXPECT_EQ(newerHost.command("q7340FlashProgSelftestRev", {{"I", "10800"}}), 0);
  EXPECT_EQ(newerHost.command("q7340FlashGetSelftestRev"), 10800);
  EXPECT_EQ(newer.log().back(), "selftest-rev 10800");
}

TEST_F(ModuleFlashTest, FirstPassOfAnUpdateLeavesItsEventsInOrder) {
  config.programTime = 0.2;
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  const char* stored[] = {"vxWorks_rom.hex", "bootrom.hex", "vxiga.hex",
                          "bbbga.hex",       "fibga.hex",   "selfTest.out"};
  const char* functions[] = {"q7340FlashProgRomboot", "q7340FlashProgLanboot",
                             "q7340FlashProgVxiga",   "q7340FlashProgBbbga",
                             "q7340FlashProgFibga",   "q7340FlashProgSelftest"};
  for (const char* name : stored) {
    ASSERT_EQ(driver.putCarried(name), 0) << name;
  }
  for (const char* function : functions) {
    ASSERT_EQ(driver.command(function), 0) << function;
  }
  for (const char* name : stored) {
    ASSERT_EQ(driver.exchangeWord(0x79, module_test::Body{}.text(name).pad(0)), 0) << name;
  }
  ASSERT_EQ(driver.command("unld", {{"S", "romupdate.out"}}), 0);

  std::vector<std::string> expected = {
      "load dldmsgLib.out", "start dldmsgLibInit param1=0 priority=0 stackSize=2000",
      "load romupdate.out", "start romupdateInit param1=0 priority=0 stackSize=2000"};
  for (const char* name : stored) expected.push_back(std::string("store ") + name);
  expected.push_back("program 0 110000");
  expected.push_back("program lanboot 110000");
  expected.push_back("program 1 2051614");
  expected.push_back("program 2 2071509");
  expected.push_back("program 3 3041016");
  expected.push_back("program 4 10800");
  for (const char* name : stored) expected.push_back(std::string("remove ") + name);
  expected.push_back("unload romupdate.out");
  EXPECT_EQ(module.log(), expected);
  EXPECT_TRUE(module.state().files.empty());
}

TEST_F(ModuleFlashTest, StateFileCarriesTheFlashToTheNextRun) {
  std::string path = ::testing::TempDir() + "q7340_module_state.txt";
  config.flash.selftestRecorded = 10750;
  {
    Q7340Module first(config);
    ASSERT_TRUE(first.saveState(path));
  }
  ModuleConfig other;
  other.flash = upToDateFlash();
  Q7340Module second(other);
  ASSERT_TRUE(second.loadState(path));
  FlashRevisions loaded = second.flash();
  for (int i = 0; i < SEGMENT_COUNT; ++i) EXPECT_EQ(loaded.segment[i], config.flash.segment[i]);
  EXPECT_EQ(loaded.lanboot, config.flash.lanboot);
  EXPECT_EQ(loaded.selftestRecorded, 10750);

  // A damaged or missing file changes nothing.
  std::ofstream(path) << "segment0 1\nlanboot x\n";
  EXPECT_FALSE(second.loadState(path));
  EXPECT_FALSE(second.loadState(path + ".missing"));
  EXPECT_EQ(second.flash().segment[0], config.flash.segment[0]);
  std::remove(path.c_str());
}

}  // namespace
