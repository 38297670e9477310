// The simulated mainframe on its own: resource names and searches, windows
// and their translation, block moves and increments, attributes and their
// widths, status texts, faults, bus time, events, locks and the word-serial
// query.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "common/clock.h"
#include "sim/config_env.h"
#include "sim/mainframe.h"
#include "sim/message_device.h"
#include "sim/module/q7340_module.h"
#include "sim/resource_name.h"
#include "sim/slot0.h"
#include "sim/visa_extra.h"
#include "tests/sim/mainframe_fixture.h"
#include "tests/sim/test_devices.h"

namespace {

TEST(ResourceNames, Parse) {
  struct Case {
    const char* name;
    ViStatus status;
    bool memAcc;
    int la;
  } cases[] = {
      {"VXI0::MEMACC", VI_SUCCESS, true, -1},
      {"VXI::MEMACC", VI_SUCCESS, true, -1},
      {"vxi0::128::instr", VI_SUCCESS, false, 128},
      {"VXI0::128", VI_SUCCESS, false, 128},
      {"VXI0::0::INSTR", VI_SUCCESS, false, 0},
      {"VXI1::128::INSTR", VI_ERROR_RSRC_NFOUND, false, 0},
      {"GPIB0::5::INSTR", VI_ERROR_RSRC_NFOUND, false, 0},
      {"VXI0::0::BACKPLANE", VI_ERROR_RSRC_NFOUND, false, 0},
      {"VXI0::256", VI_ERROR_INV_RSRC_NAME, false, 0},
      {"VXI0::12x", VI_ERROR_INV_RSRC_NAME, false, 0},
      {"VXI0::128::INSTR::", VI_ERROR_INV_RSRC_NAME, false, 0},
      {"VXI0", VI_ERROR_INV_RSRC_NAME, false, 0},
      {"", VI_ERROR_INV_RSRC_NAME, false, 0},
  };
  for (const Case& c : cases) {
    sim::ResourceName parsed;
    EXPECT_EQ(sim::parseResourceName(c.name, &parsed), c.status) << c.name;
    if (c.status == VI_SUCCESS) {
      EXPECT_EQ(parsed.memAcc, c.memAcc) << c.name;
      EXPECT_EQ(parsed.la, c.la) << c.name;
    }
  }
}

TEST(ResourceNames, Expressions) {
  EXPECT_TRUE(sim::matchesExpression("VXI0::?*INSTR", "VXI0::128::INSTR"));
  EXPECT_TRUE(sim::matchesExpression("vxi0::?*instr", "VXI0::0::INSTR"));
  EXPECT_FALSE(sim::matchesExpression("VXI0::?*INSTR", "VXI0::MEMACC"));
  EXPECT_FALSE(sim::matchesExpression("VXI1::?*INSTR", "VXI0::0::INSTR"));
  EXPECT_TRUE(sim::matchesExpression("VXI0::1+2*::INSTR", "VXI0::11::INSTR"));
  EXPECT_FALSE(sim::matchesExpression("VXI0::1+::INSTR", "VXI0::::INSTR"));
}

TEST_F(MainframeTest, SessionsAndSearches) {
  ViSession vi = 0;
  EXPECT_EQ(mainframe.viOpen(rm, "VXI0::77::INSTR", VI_NULL, 0, &vi), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(mainframe.viOpen(rm, "VXI0::x", VI_NULL, 0, &vi), VI_ERROR_INV_RSRC_NAME);
  EXPECT_EQ(mainframe.viOpen(rm, "VXI0::0", 0x40, 0, &vi), VI_ERROR_INV_ACC_MODE);
  ViSession module = openSession("VXI0::128");
  EXPECT_EQ(mainframe.viOpen(module, "VXI0::0", VI_NULL, 0, &vi), VI_ERROR_INV_OBJECT);

  ViFindList list = 0;
  ViUInt32 count = 0;
  char descriptor[VI_FIND_BUFLEN];
  ASSERT_EQ(mainframe.viFindRsrc(rm, "VXI0::?*INSTR", &list, &count, descriptor), VI_SUCCESS);
  EXPECT_EQ(count, 2u);
  EXPECT_STREQ(descriptor, "VXI0::0::INSTR");
  EXPECT_EQ(mainframe.viFindNext(list, descriptor), VI_SUCCESS);
  EXPECT_STREQ(descriptor, "VXI0::128::INSTR");
  EXPECT_EQ(mainframe.viFindNext(list, descriptor), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(mainframe.viClose(list), VI_SUCCESS);
  EXPECT_EQ(mainframe.viFindNext(list, descriptor), VI_ERROR_INV_OBJECT);
  ASSERT_EQ(mainframe.viFindRsrc(rm, "?*", nullptr, &count, descriptor), VI_SUCCESS);
  EXPECT_EQ(count, 3u);  // MEMACC too
  EXPECT_EQ(mainframe.viFindRsrc(rm, "GPIB?*INSTR", &list, &count, descriptor),
            VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(count, 0u);

  char name[256];
  ASSERT_EQ(mainframe.viGetAttribute(module, VI_ATTR_RSRC_NAME, name), VI_SUCCESS);
  EXPECT_STREQ(name, "VXI0::128::INSTR");
  EXPECT_EQ(mainframe.viClose(module), VI_SUCCESS);
  EXPECT_EQ(mainframe.viClose(module), VI_ERROR_INV_OBJECT);
  // Closing the manager closes what was opened from it.
  openSession("VXI0::0");
  EXPECT_EQ(mainframe.viClose(rm), VI_SUCCESS);
  EXPECT_EQ(mainframe.openSessions(), 0u);
}

TEST_F(MainframeTest, WindowTranslatesAndGuardsAddresses) {
  ViSession vi = openA16();
  ASSERT_NE(window, nullptr);
  ViUInt16 value = 0;
  mainframe.viPeek16(vi, at(0xE004), &value);  // the module's Status register
  EXPECT_EQ(value, 1);
  mainframe.viPeek16(vi, at(0xC000 + 64 * 9), &value);  // nobody at LA 9
  EXPECT_EQ(value, 0xFFFF);
  mainframe.viPeek16(vi, at(0x1000), &value);  // below the device blocks
  EXPECT_EQ(value, 0xFFFF);
  EXPECT_EQ(mainframe.counters.outOfWindow, 0u);
  EXPECT_EQ(mainframe.counters.busErrors, 2u);

  value = 0;
  mainframe.viPeek16(vi, at(0x10000), &value);  // just past the window
  EXPECT_EQ(value, 0xFFFF);
  mainframe.viPeek16(vi, at(0xE005), &value);  // misaligned
  mainframe.viPoke16(vi, static_cast<char*>(window) - 2, 0);
  ViUInt32 word = 0;
  mainframe.viPeek32(vi, at(0xFFFE), &word);  // straddles the end
  EXPECT_EQ(word, 0xFFFFFFFFu);
  EXPECT_EQ(mainframe.counters.outOfWindow, 4u);
  EXPECT_EQ(mainframe.log.back().describe(), "viPeek32(outside window) -> 0xFFFFFFFF");

  EXPECT_EQ(mainframe.viMapAddress(vi, VI_A16_SPACE, 0, 64, VI_FALSE, nullptr, &window),
            VI_ERROR_WINDOW_MAPPED);
  EXPECT_EQ(mainframe.viUnmapAddress(vi), VI_SUCCESS);
  EXPECT_EQ(mainframe.viUnmapAddress(vi), VI_ERROR_WINDOW_NMAPPED);
  mainframe.viPeek16(vi, at(0xE004), &value);  // the old window is gone
  EXPECT_EQ(value, 0xFFFF);
  EXPECT_EQ(mainframe.counters.outOfWindow, 5u);

  void* other = nullptr;
  EXPECT_EQ(mainframe.viMapAddress(vi, VI_A16_SPACE, 0xFFF0, 0x20, VI_FALSE, nullptr, &other),
            VI_ERROR_INV_SIZE);
  EXPECT_EQ(mainframe.viMapAddress(vi, 7, 0, 0x20, VI_FALSE, nullptr, &other),
            VI_ERROR_INV_SPACE);
}

TEST_F(MainframeTest, DeviceSessionReachesItsOwnBlock) {
  ViSession module = openSession("VXI0::128::INSTR");
  ViUInt16 value = 0;
  EXPECT_EQ(mainframe.viIn16(module, VI_A16_SPACE, 4, &value), VI_SUCCESS);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(mainframe.viIn16(module, VI_A16_SPACE, 64, &value), VI_ERROR_INV_OFFSET);
  EXPECT_EQ(mainframe.viIn16(module, VI_A16_SPACE, 3, &value), VI_ERROR_NSUP_ALIGN_OFFSET);
  EXPECT_EQ(mainframe.viOut16(module, VI_A16_SPACE, 4, 8), VI_SUCCESS);
  EXPECT_EQ(mainframe.deviceAs<sim::module::Q7340Module>(128)->state().counters.controlWrites, 1u);

  void* block = nullptr;
  ASSERT_EQ(mainframe.viMapAddress(module, VI_A16_SPACE, 0, 64, VI_FALSE, nullptr, &block),
            VI_SUCCESS);
  mainframe.viPeek16(module, static_cast<char*>(block) + 2, &value);
  EXPECT_EQ(value, 0x0734);  // its model code

  ViSession memAcc = openSession("VXI0::MEMACC");
  EXPECT_EQ(mainframe.viIn16(memAcc, VI_A16_SPACE, 0xE002, &value), VI_SUCCESS);  // absolute
  EXPECT_EQ(value, 0x0734);
  EXPECT_EQ(mainframe.viIn16(memAcc, VI_A16_SPACE, 0xC000 + 64 * 9, &value), VI_ERROR_BERR);
}

TEST_F(MainframeTest, MovesHonourIncrements) {
  auto* ram = static_cast<testdev::RamDevice*>(
      mainframe.attach(3, std::make_unique<testdev::RamDevice>()));
  ViSession vi = openSession("VXI0::MEMACC");
  const uint64_t base = 0xC000 + 64 * 3 + 0x20;
  ViUInt16 out[4] = {1, 2, 3, 4};
  ASSERT_EQ(mainframe.viMoveOut16(vi, VI_A16_SPACE, base, 4, out), VI_SUCCESS);
  EXPECT_EQ(ram->registers[0x20 / 2 + 3], 4);

  ASSERT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_DEST_INCREMENT, 0), VI_SUCCESS);
  ram->writes.clear();
  ASSERT_EQ(mainframe.viMoveOut16(vi, VI_A16_SPACE, base, 4, out), VI_SUCCESS);
  ASSERT_EQ(ram->writes.size(), 4u);
  for (const auto& write : ram->writes) EXPECT_EQ(write.offset, 0x20u);  // every one at the FIFO

  ASSERT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_SRC_INCREMENT, 0), VI_SUCCESS);
  ViUInt16 in[3] = {};
  ram->reads.clear();
  ASSERT_EQ(mainframe.viMoveIn16(vi, VI_A16_SPACE, base + 2, 3, in), VI_SUCCESS);
  EXPECT_EQ(ram->reads, (std::vector<uint32_t>{0x22, 0x22, 0x22}));

  ViUInt32 words[2] = {};
  ASSERT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_SRC_INCREMENT, 1), VI_SUCCESS);
  ASSERT_EQ(mainframe.viMoveIn32(vi, VI_A16_SPACE, base, 2, words), VI_SUCCESS);
  EXPECT_EQ(words[0], 0x00040002u);  // high half at the lower address

  EXPECT_EQ(mainframe.viMoveIn16(vi, VI_A16_SPACE, base + 1, 1, in), VI_ERROR_NSUP_ALIGN_OFFSET);
  EXPECT_EQ(mainframe.viMoveIn16(vi, VI_A16_SPACE, 0xFFFE, 2, in), VI_ERROR_INV_LENGTH);
  EXPECT_EQ(mainframe.viMoveIn16(vi, VI_A16_SPACE, 0xC000 + 64 * 9, 1, in), VI_ERROR_BERR);
  EXPECT_EQ(mainframe.viMoveIn16(vi, VI_A24_SPACE, 0, 1, in), VI_ERROR_BERR);
  EXPECT_EQ(mainframe.viMoveIn16(vi, 9, 0, 1, in), VI_ERROR_INV_SPACE);
  EXPECT_EQ(mainframe.viMoveIn16(rm, VI_A16_SPACE, base, 1, in), VI_ERROR_NSUP_OPER);
}

TEST_F(MainframeTest, AttributesWriteTheirOwnWidth) {
  ViSession module = openSession("VXI0::128");
  unsigned char buffer[16];
  struct Case {
    ViAttr attribute;
    size_t width;
  } cases[] = {{VI_ATTR_MANF_ID, 2},  {VI_ATTR_MODEL_CODE, 2}, {VI_ATTR_SLOT, 2},
               {VI_ATTR_MEM_SPACE, 2}, {VI_ATTR_MEM_SIZE, 8},  {VI_ATTR_MEM_BASE, 8},
               {VI_ATTR_TMO_VALUE, 4}, {VI_ATTR_SRC_INCREMENT, 4}, {VI_ATTR_DEST_INCREMENT, 4}};
  for (const Case& c : cases) {
    memset(buffer, 0xAA, sizeof buffer);
    ASSERT_EQ(mainframe.viGetAttribute(module, c.attribute, buffer), VI_SUCCESS);
    for (size_t i = c.width; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xAA) << c.attribute;
  }
  ViBusAddress base = 0;
  mainframe.viGetAttribute(module, VI_ATTR_MEM_BASE, &base);
  EXPECT_EQ(base, 0x200000u);
  ViUInt32 timeout = 0;
  mainframe.viGetAttribute(module, VI_ATTR_TMO_VALUE, &timeout);
  EXPECT_EQ(timeout, 2000u);
  EXPECT_EQ(mainframe.viSetAttribute(module, VI_ATTR_TMO_VALUE, 5000), VI_SUCCESS);
  mainframe.viGetAttribute(module, VI_ATTR_TMO_VALUE, &timeout);
  EXPECT_EQ(timeout, 5000u);
  EXPECT_EQ(mainframe.viSetAttribute(module, VI_ATTR_SRC_INCREMENT, 2), VI_ERROR_NSUP_ATTR_STATE);
  EXPECT_EQ(mainframe.viSetAttribute(module, VI_ATTR_MANF_ID, 1), VI_ERROR_ATTR_READONLY);
  EXPECT_EQ(mainframe.viSetAttribute(module, 0x3FFF1234, 1), VI_ERROR_NSUP_ATTR);
  ViSession memAcc = openSession("VXI0::MEMACC");
  EXPECT_EQ(mainframe.viGetAttribute(memAcc, VI_ATTR_MANF_ID, buffer), VI_ERROR_NSUP_ATTR);
  EXPECT_EQ(mainframe.viGetAttribute(0x7777, VI_ATTR_TMO_VALUE, buffer), VI_ERROR_INV_OBJECT);
}

TEST_F(MainframeTest, StatusTexts) {
  char text[256];
  EXPECT_EQ(mainframe.viStatusDesc(rm, VI_ERROR_WINDOW_NMAPPED, text), VI_SUCCESS);
  EXPECT_STREQ(text, "The specified session is not currently mapped.");
  EXPECT_EQ(mainframe.viStatusDesc(rm, VI_SUCCESS, text), VI_SUCCESS);
  EXPECT_STREQ(text, "Operation completed successfully.");
  EXPECT_EQ(mainframe.viStatusDesc(rm, -5, text), VI_WARN_UNKNOWN_STATUS);
  EXPECT_STREQ(text, "Unknown status code 0xFFFFFFFB.");
}

TEST_F(MainframeTest, FaultsFireOnNthMatchingCall) {
  ViSession module = openSession("VXI0::128");
  mainframe.addFault({.function = "viSetAttribute", .attribute = VI_ATTR_DEST_INCREMENT,
                      .status = VI_ERROR_IO, .nth = 2});
  mainframe.addFault({.function = "viIn16", .status = VI_ERROR_BERR, .nth = 2, .always = true});
  EXPECT_EQ(mainframe.viSetAttribute(module, VI_ATTR_SRC_INCREMENT, 0), VI_SUCCESS);
  EXPECT_EQ(mainframe.viSetAttribute(module, VI_ATTR_DEST_INCREMENT, 0), VI_SUCCESS);
  EXPECT_EQ(mainframe.viSetAttribute(module, VI_ATTR_DEST_INCREMENT, 1), VI_ERROR_IO);
  EXPECT_EQ(mainframe.viSetAttribute(module, VI_ATTR_DEST_INCREMENT, 1), VI_SUCCESS);
  ViInt32 increment = -1;
  mainframe.viGetAttribute(module, VI_ATTR_DEST_INCREMENT, &increment);
  EXPECT_EQ(increment, 1);  // the failed call changed nothing, the next did

  ViUInt16 value = 0;
  EXPECT_EQ(mainframe.viIn16(module, VI_A16_SPACE, 4, &value), VI_SUCCESS);
  EXPECT_EQ(mainframe.viIn16(module, VI_A16_SPACE, 4, &value), VI_ERROR_BERR);
  EXPECT_EQ(mainframe.viIn16(module, VI_A16_SPACE, 4, &value), VI_ERROR_BERR);
  EXPECT_EQ(mainframe.faults()[1].fired, 2);

  ViSession vi = openA16();
  mainframe.addFault({.function = "viPeek16", .status = VI_ERROR_BERR});
  mainframe.viPeek16(vi, at(0xE004), &value);
  EXPECT_EQ(value, 0xFFFF);
  mainframe.viPeek16(vi, at(0xE004), &value);
  EXPECT_EQ(value, 1);

  mainframe.addFault({.function = "viOpen", .resource = "VXI0::0::INSTR",
                      .status = VI_ERROR_RSRC_LOCKED});
  ViSession other = 0;
  EXPECT_EQ(mainframe.viOpen(rm, "VXI0::128::INSTR", VI_NULL, 0, &other), VI_SUCCESS);
  EXPECT_EQ(mainframe.viOpen(rm, "VXI0::0::INSTR", VI_NULL, 0, &other), VI_ERROR_RSRC_LOCKED);
}

TEST_F(MainframeTest, BusTimeAndCounters) {
  ViSession vi = openA16();
  sim::BusCosts costs = mainframe.costs;
  double start = elapsedSeconds();
  ViUInt16 value = 0;
  mainframe.viPeek16(vi, at(0xE004), &value);
  EXPECT_NEAR(elapsedSeconds() - start, costs.single16, 1e-9);

  std::vector<ViUInt16> block(32);
  start = elapsedSeconds();
  ASSERT_EQ(mainframe.viMoveIn16(vi, VI_A16_SPACE, 0xE000, 32, block.data()), VI_SUCCESS);
  EXPECT_NEAR(elapsedSeconds() - start, costs.blockSetup + 32 * costs.block16, 1e-9);
  ASSERT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_SRC_INCREMENT, 0), VI_SUCCESS);
  mainframe.logEnabled = false;
  size_t logged = mainframe.log.size();
  start = elapsedSeconds();
  std::vector<ViUInt32> words(100);
  ASSERT_EQ(mainframe.viMoveIn32(vi, VI_A16_SPACE, 0xE020, 100, words.data()), VI_SUCCESS);
  EXPECT_NEAR(elapsedSeconds() - start, costs.blockSetup + 100 * costs.block32, 1e-9);
  EXPECT_EQ(mainframe.log.size(), logged);
  EXPECT_EQ(mainframe.counters.singleAccesses, 1u);
  EXPECT_EQ(mainframe.counters.blockMoves, 2u);
  EXPECT_EQ(mainframe.counters.blockElements, 132u);
}

TEST_F(MainframeTest, CallLogLines) {
  ViSession vi = openA16();
  ViUInt16 value = 0;
  mainframe.viPeek16(vi, at(0xE004), &value);
  mainframe.viPoke16(vi, at(0xE004), 8);
  mainframe.viSetAttribute(vi, VI_ATTR_DEST_INCREMENT, 0);
  ViUInt16 out = 1;
  mainframe.viMoveOut16(vi, VI_A16_SPACE, 0xE020, 1, &out);
  ViSession none = 0;
  mainframe.viOpen(rm, "VXI0::9", VI_NULL, 0, &none);
  std::vector<std::string> lines;
  for (size_t i = mainframe.log.size() - 5; i < mainframe.log.size(); ++i)
    lines.push_back(mainframe.log[i].describe());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "viPeek16(0xE004) -> 0x1",
                       "viPoke16(0xE004, 0x8)",
                       "viSetAttribute(VI_ATTR_DEST_INCREMENT, 0) = 0",
                       "viMoveOut16(A16, 0xE020, 1) = 0",
                       "viOpen(\"VXI0::9\", 0x0, 0x0) = 0xBFFF0011",
                   }));
  EXPECT_EQ(mainframe.find("viMoveOut16("), static_cast<int>(mainframe.log.size()) - 2);
}

namespace sigp {
std::vector<std::pair<ViSession, uint16_t>> seen;
sim::Mainframe* frame = nullptr;
ViStatus handler(ViSession vi, ViEventType type, ViEvent context, ViAddr user) {
  EXPECT_EQ(type, VI_EVENT_VXI_SIGP);
  EXPECT_EQ(user, &seen);
  ViUInt16 statusId = 0;
  EXPECT_EQ(frame->viGetAttribute(context, VI_ATTR_SIGP_STATUS_ID, &statusId), VI_SUCCESS);
  seen.push_back({vi, statusId});
  return VI_SUCCESS;
}
}  // namespace sigp

TEST_F(MainframeTest, SigpReachesEnabledHandlers) {
  sigp::frame = &mainframe;
  ViSession module = openSession("VXI0::128");
  ViSession controller = openSession("VXI0::0");
  EXPECT_EQ(mainframe.viEnableEvent(module, VI_EVENT_VXI_SIGP, VI_HNDLR, VI_NULL),
            VI_ERROR_HNDLR_NINSTALLED);
  for (ViSession vi : {module, controller}) {
    ASSERT_EQ(mainframe.viInstallHandler(vi, VI_EVENT_VXI_SIGP, sigp::handler, &sigp::seen),
              VI_SUCCESS);
    ASSERT_EQ(mainframe.viEnableEvent(vi, VI_EVENT_VXI_SIGP, VI_HNDLR, VI_NULL), VI_SUCCESS);
  }
  EXPECT_EQ(mainframe.viEnableEvent(module, VI_EVENT_VXI_SIGP, VI_HNDLR, VI_NULL),
            VI_SUCCESS_EVENT_EN);
  EXPECT_EQ(mainframe.raiseSigp(128, 0x80AB), 1);  // not the controller's session
  EXPECT_EQ(sigp::seen, (std::vector<std::pair<ViSession, uint16_t>>{{module, 0x80AB}}));

  ASSERT_EQ(mainframe.viDisableEvent(module, VI_EVENT_VXI_SIGP, VI_HNDLR), VI_SUCCESS);
  EXPECT_EQ(mainframe.raiseSigp(128, 1), 0);
  EXPECT_EQ(mainframe.viUninstallHandler(module, VI_EVENT_VXI_SIGP, sigp::handler, nullptr),
            VI_ERROR_INV_HNDLR_REF);
  EXPECT_EQ(mainframe.viUninstallHandler(module, VI_EVENT_VXI_SIGP, sigp::handler, &sigp::seen),
            VI_SUCCESS);
  EXPECT_EQ(mainframe.openSessions(), 3u);  // the event objects are gone again
}

// What a VISA client sends when it closes a session: every event type with
// every mechanism disabled, then the queues discarded.
TEST_F(MainframeTest, AClosingClientSwitchesEveryEventOff) {
  sigp::frame = &mainframe;
  sigp::seen.clear();
  ViSession module = openSession("VXI0::128");
  ASSERT_EQ(mainframe.viInstallHandler(module, VI_EVENT_VXI_SIGP, sigp::handler, &sigp::seen),
            VI_SUCCESS);
  ASSERT_EQ(mainframe.viEnableEvent(module, VI_EVENT_VXI_SIGP, VI_HNDLR, VI_NULL), VI_SUCCESS);
  EXPECT_EQ(mainframe.viDisableEvent(module, VI_EVENT_VXI_SIGP, VI_QUEUE), VI_SUCCESS_EVENT_DIS);
  EXPECT_EQ(mainframe.raiseSigp(128, 1), 1);  // still enabled for the handler

  EXPECT_EQ(mainframe.viDisableEvent(module, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH), VI_SUCCESS);
  EXPECT_EQ(mainframe.raiseSigp(128, 2), 0);
  EXPECT_EQ(mainframe.viDisableEvent(module, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH),
            VI_SUCCESS_EVENT_DIS);
  EXPECT_EQ(mainframe.viDiscardEvents(module, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH),
            VI_SUCCESS_QUEUE_EMPTY);

  struct Case {
    ViEventType type;
    ViUInt16 mechanism;
    ViStatus status;
  } refused[] = {{VI_EVENT_TRIG, VI_ALL_MECH, VI_ERROR_INV_EVENT},
                 {VI_EVENT_VXI_SIGP, 0, VI_ERROR_INV_MECH},
                 {VI_EVENT_VXI_SIGP, 8, VI_ERROR_INV_MECH}};
  for (const Case& c : refused) {
    EXPECT_EQ(mainframe.viDisableEvent(module, c.type, c.mechanism), c.status) << c.mechanism;
    EXPECT_EQ(mainframe.viDiscardEvents(module, c.type, c.mechanism), c.status) << c.mechanism;
  }
  EXPECT_EQ(mainframe.viDiscardEvents(rm, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH),
            VI_ERROR_INV_OBJECT);
}

TEST_F(MainframeTest, ExclusiveLocks) {
  ViSession first = openSession("VXI0::128");
  ViSession second = openSession("VXI0::128::INSTR");
  ASSERT_EQ(mainframe.viLock(first, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS);
  double start = elapsedSeconds();
  EXPECT_EQ(mainframe.viLock(second, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr),
            VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(elapsedSeconds(), start);
  EXPECT_EQ(mainframe.viLock(second, VI_EXCLUSIVE_LOCK, 250, nullptr, nullptr), VI_ERROR_TMO);
  EXPECT_NEAR(elapsedSeconds() - start, 0.25, 1e-9);
  ViUInt16 value = 0;
  EXPECT_EQ(mainframe.viIn16(second, VI_A16_SPACE, 4, &value), VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(mainframe.viIn16(first, VI_A16_SPACE, 4, &value), VI_SUCCESS);
  EXPECT_EQ(mainframe.viLock(first, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr),
            VI_SUCCESS_NESTED_EXCLUSIVE);
  EXPECT_EQ(mainframe.viUnlock(first), VI_SUCCESS);
  EXPECT_EQ(mainframe.viLock(second, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr),
            VI_ERROR_RSRC_LOCKED);  // one lock still held
  EXPECT_EQ(mainframe.viClose(first), VI_SUCCESS);  // closing releases it
  EXPECT_EQ(mainframe.viLock(second, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS);
  EXPECT_EQ(mainframe.viUnlock(second), VI_SUCCESS);
  EXPECT_EQ(mainframe.viUnlock(second), VI_ERROR_SESN_NLOCKED);
}

TEST_F(MainframeTest, CommandQuery) {
  auto* controller = mainframe.deviceAs<sim::SlotZeroController>(0);
  ViSession vi = openSession("VXI0::0");
  ViUInt32 response = 0;
  ASSERT_EQ(mainframe.viVxiCommandQuery(vi, VI_VXI_CMD16_RESP16, 0xCEFF, &response), VI_SUCCESS);
  EXPECT_EQ(response, 0xFFFFu);  // servant area 255

  controller->neverReadReady = true;
  double start = elapsedSeconds();
  EXPECT_EQ(mainframe.viVxiCommandQuery(vi, VI_VXI_CMD16_RESP16, 0xCEFF, &response), VI_ERROR_TMO);
  EXPECT_NEAR(elapsedSeconds() - start, 2.0, 1e-3);  // the session's time-out
  controller->neverReadReady = false;
  controller->neverWriteReady = true;
  EXPECT_EQ(mainframe.viVxiCommandQuery(vi, VI_VXI_CMD16_RESP16, 0xCEFF, &response), VI_ERROR_TMO);

  mainframe.commandQuerySupported = false;
  EXPECT_EQ(mainframe.viVxiCommandQuery(vi, VI_VXI_CMD16_RESP16, 0xCEFF, &response),
            VI_ERROR_NSUP_OPER);
  mainframe.commandQuerySupported = true;
  ViSession module = openSession("VXI0::128");  // register based
  EXPECT_EQ(mainframe.viVxiCommandQuery(module, VI_VXI_CMD16_RESP16, 0xCEFF, &response),
            VI_ERROR_NSUP_OPER);
}

TEST(MainframeConfig, FromEnvironment) {
  setenv("Q7SIM_Q7340_LA", "77", 1);
  setenv("Q7SIM_COST_SINGLE16_US", "2.5", 1);
  setenv("Q7SIM_COST_BLOCK32_US", "fast", 1);  // not a number: the default stays
  sim::MainframeConfig config = sim::configFromEnvironment();
  EXPECT_EQ(config.q7340La, 77);
  EXPECT_DOUBLE_EQ(config.costs.single16, 2.5e-6);
  EXPECT_DOUBLE_EQ(config.costs.block32, sim::BusCosts{}.block32);
  setenv("Q7SIM_Q7340_LA", "300", 1);
  EXPECT_EQ(sim::configFromEnvironment().q7340La, 128);
  sim::Mainframe mainframe(config);
  EXPECT_NE(mainframe.device(77), nullptr);
  EXPECT_EQ(mainframe.device(128), nullptr);
}

}  // namespace
