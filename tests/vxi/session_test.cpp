// Opening and closing devices, resource names, status texts, time-out,
// interface name and device clear.
#include <cstring>

#include "tests/vxi/fixture.h"

namespace {

using SessionTest = VxiTest;

TEST_F(SessionTest, OpensShareOneResourceManager) {
  VxiDevice* memAcc = open(-1);
  VxiDevice* module = open(128);
  ASSERT_NE(memAcc, nullptr);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(mainframe.calls("viOpenDefaultRM").size(), 1u);
  auto opens = mainframe.calls("viOpen");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].session, opens[1].session);  // both from the same resource manager
  EXPECT_EQ(memAcc->la, -1);
  EXPECT_EQ(memAcc->swapWords, 1);
  EXPECT_EQ(memAcc->access32, 0);
  EXPECT_EQ(memAcc->mapAddress, nullptr);
  EXPECT_NE(memAcc->sess, module->sess);
  EXPECT_EQ(close(memAcc), 0);
  EXPECT_EQ(close(module), 0);
  EXPECT_EQ(mainframe.calls("viClose").size(), 2u);
}

TEST_F(SessionTest, ResourceNameFollowsLogicalAddress) {
  struct Case {
    int la;
    const char* name;
  } cases[] = {{-1, "VXI0::MEMACC"}, {-7, "VXI0::MEMACC"}, {128, "VXI0::128"}, {0, "VXI0::0"}};
  for (const Case& c : cases) {
    VxiDevice* device = open(c.la);
    ASSERT_NE(device, nullptr) << c.la;
    EXPECT_STREQ(device->rsrcName, c.name);
    EXPECT_EQ(mainframe.calls("viOpen").back().text, c.name);
    EXPECT_EQ(device->la, c.la);
    close(device);
  }
}

TEST_F(SessionTest, NullOutParameterOpensNothing) {
  EXPECT_EQ(vxiOpen("VXI0", -1, nullptr), VXI_ERROR_ARGUMENT);
  EXPECT_TRUE(mainframe.log.empty());
}

TEST_F(SessionTest, InterfaceNameTooLongForResourceNameOpensNothing) {
  VxiDevice* device = reinterpret_cast<VxiDevice*>(1);
  std::string longName(248, 'V');  // + "::MEMACC" is 256 characters
  EXPECT_EQ(vxiOpen(longName.c_str(), -1, &device), VXI_ERROR_ARGUMENT);
  EXPECT_EQ(device, nullptr);
  EXPECT_TRUE(mainframe.log.empty());

  // One character less fits exactly and reaches VISA whole.
  longName.pop_back();
  EXPECT_EQ(vxiOpen(longName.c_str(), -1, &device), VI_ERROR_RSRC_NFOUND);  // no such interface
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(mainframe.calls("viOpen").back().text.size(), 255u);
}

TEST_F(SessionTest, FailedOpenReturnsStatusAndKeepsResourceManager) {
  VxiDevice* device = reinterpret_cast<VxiDevice*>(1);
  EXPECT_EQ(vxiOpen("VXI0", 77, &device), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(device, nullptr);
  EXPECT_NE(open(128), nullptr);
  EXPECT_EQ(mainframe.calls("viOpenDefaultRM").size(), 1u);
  EXPECT_EQ(mainframe.openSessions(), 2u);  // the manager and the module: nothing leaked
}

TEST_F(SessionTest, FailedResourceManagerIsOpenedAgainNextTime) {
  mainframe.addFault({.function = "viOpenDefaultRM", .status = VI_ERROR_SYSTEM_ERROR});
  VxiDevice* device = nullptr;
  EXPECT_EQ(vxiOpen("VXI0", -1, &device), VI_ERROR_SYSTEM_ERROR);
  EXPECT_EQ(device, nullptr);
  EXPECT_TRUE(mainframe.calls("viOpen").empty());
  EXPECT_NE(open(-1), nullptr);
  EXPECT_EQ(mainframe.calls("viOpenDefaultRM").size(), 2u);
}

TEST_F(SessionTest, StatusTexts) {
  EXPECT_STREQ(vxiStatusText(-2), "invalid argument passed to vxi library function");
  EXPECT_STREQ(vxiStatusText(-1), "memory allocation (malloc) failed");
  EXPECT_TRUE(mainframe.log.empty());  // the two fixed texts ask nobody

  open(-1);
  EXPECT_STREQ(vxiStatusText(VI_ERROR_RSRC_NFOUND),
               "Insufficient location information or the requested device or resource is not "
               "present in the system.");
  auto asked = mainframe.calls("viStatusDesc");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].session, mainframe.calls("viOpen")[0].session);  // the resource manager
}

TEST_F(SessionTest, StatusTextStaysEmptyWhenVisaHasNone) {
  open(-1);
  mainframe.addFault({.function = "viStatusDesc", .status = VI_ERROR_INV_OBJECT});
  EXPECT_STREQ(vxiStatusText(VI_ERROR_TMO), "");
}

TEST_F(SessionTest, TimeoutAndAccessMode) {
  VxiDevice* device = open(128);
  uint32_t milliseconds = 0;
  EXPECT_EQ(vxiGetTimeout(device, &milliseconds), 0);
  EXPECT_EQ(milliseconds, 2000u);
  EXPECT_EQ(vxiSetTimeout(device, 5000), 0);
  EXPECT_EQ(vxiGetTimeout(device, &milliseconds), 0);
  EXPECT_EQ(milliseconds, 5000u);
  mainframe.addFault({.function = "viSetAttribute", .status = VI_ERROR_NSUP_ATTR_STATE});
  EXPECT_EQ(vxiSetTimeout(device, 1), VI_ERROR_NSUP_ATTR_STATE);
  EXPECT_EQ(vxiSetAccess32(device, 1), 0);
  EXPECT_EQ(device->access32, 1);
}

TEST_F(SessionTest, InterfaceNameIsFirstTokenOfResourceName) {
  VxiDevice* memAcc = open(-1);
  EXPECT_STREQ(vxiInterfaceName(memAcc), "VXI0");
  VxiDevice* module = nullptr;
  ASSERT_EQ(vxiOpen("vxi", 128, &module), 0);  // VISA reports "VXI0::128::INSTR"
  track(module);
  EXPECT_STREQ(vxiInterfaceName(module), "VXI0");
  mainframe.addFault({.function = "viGetAttribute", .attribute = VI_ATTR_RSRC_NAME,
                      .status = VI_ERROR_NSUP_ATTR});
  EXPECT_EQ(vxiInterfaceName(module), nullptr);
}

TEST_F(SessionTest, FixedEntryPoints) {
  int32_t major = 0, minor = -1;
  EXPECT_EQ(vxiInit(), 0);
  EXPECT_EQ(vxiGetVersion(nullptr, &major, &minor), 0);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 0);
  EXPECT_TRUE(mainframe.log.empty());
}

// ---- vxiClear ----

TEST_F(SessionTest, ClearOfDeviceClearsItsSession) {
  VxiDevice* module = open(128);
  EXPECT_EQ(vxiClear(module), 0);
  auto clears = mainframe.calls("viClear");
  ASSERT_EQ(clears.size(), 1u);
  EXPECT_EQ(clears[0].session, module->sess);
  EXPECT_TRUE(mainframe.calls("viFindRsrc").empty());
}

TEST_F(SessionTest, ClearOfInterfaceClearsEveryInstrument) {
  VxiDevice* memAcc = open(-1);
  size_t start = mainframe.log.size();
  EXPECT_EQ(vxiClear(memAcc), 0);
  std::vector<std::string> lines = logLines(start);
  std::vector<std::string> expected = {
      "viGetAttribute(VI_ATTR_RSRC_NAME) = 0",
      "viFindRsrc(\"VXI0::?*INSTR\") = 0",
      "viOpen(\"VXI0::0::INSTR\", 0x0, 0x0) = 0",
  };
  ASSERT_GE(lines.size(), 9u);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]);
  EXPECT_EQ(lines[3].rfind("viClear(", 0), 0u);
  EXPECT_EQ(lines[4].rfind("viClose(", 0), 0u);
  EXPECT_EQ(lines[5].rfind("viFindNext(", 0), 0u);
  EXPECT_EQ(lines[6], "viOpen(\"VXI0::128::INSTR\", 0x0, 0x0) = 0");
  EXPECT_EQ(mainframe.calls("viClear").size(), 2u);
  EXPECT_EQ(mainframe.openSessions(), 2u);  // instruments and find list closed again
  EXPECT_EQ(errorText(), "");
}

TEST_F(SessionTest, ClearGoesOnPastInstrumentItCannotOpen) {
  VxiDevice* memAcc = open(-1);
  mainframe.addFault({.function = "viOpen", .resource = "VXI0::0::INSTR",
                      .status = VI_ERROR_RSRC_LOCKED});
  EXPECT_EQ(vxiClear(memAcc), 0);
  EXPECT_EQ(errorText(), "ERROR: vxiClear unable to open 'VXI0::0::INSTR'\n");
  auto clears = mainframe.calls("viClear");
  ASSERT_EQ(clears.size(), 1u);  // the module's
  EXPECT_EQ(mainframe.openSessions(), 2u);
}

TEST_F(SessionTest, ClearReturnsSearchStatusWhenNothingMatches) {
  mainframe.detach(0);
  mainframe.detach(128);
  VxiDevice* memAcc = open(-1);
  EXPECT_EQ(vxiClear(memAcc), VI_ERROR_RSRC_NFOUND);
  EXPECT_TRUE(mainframe.calls("viClear").empty());
}

TEST_F(SessionTest, ClearTakesOnlyANegativeSearchStatusAsFailure) {
  VxiDevice* memAcc = open(-1);
  mainframe.addFault({.function = "viFindRsrc", .status = VI_SUCCESS_MAX_CNT});
  EXPECT_EQ(vxiClear(memAcc), 0);
}

TEST_F(SessionTest, ClearStopsAtFailedFindNextAndClosesList) {
  VxiDevice* memAcc = open(-1);
  mainframe.addFault({.function = "viFindNext", .status = VI_ERROR_SYSTEM_ERROR});
  EXPECT_EQ(vxiClear(memAcc), VI_ERROR_SYSTEM_ERROR);
  EXPECT_EQ(mainframe.calls("viClear").size(), 1u);
  EXPECT_EQ(mainframe.openSessions(), 2u);  // the find list was closed
}

TEST_F(SessionTest, ClearWithoutInterfaceNameIsRefused) {
  VxiDevice* memAcc = open(-1);
  mainframe.addFault({.function = "viGetAttribute", .attribute = VI_ATTR_RSRC_NAME,
                      .status = VI_ERROR_NSUP_ATTR});
  EXPECT_EQ(vxiClear(memAcc), VXI_ERROR_ARGUMENT);
  EXPECT_TRUE(mainframe.calls("viFindRsrc").empty());
}

}  // namespace
