// The SIGP callback of a device, and exclusive locks.
#include "tests/vxi/fixture.h"

namespace {

std::vector<std::pair<char, ViSession>> delivered;
void callbackA(ViSession session) { delivered.push_back({'A', session}); }
void callbackB(ViSession session) { delivered.push_back({'B', session}); }

using EventTest = VxiTest;

std::vector<std::string> names(const std::vector<std::string>& lines) {
  std::vector<std::string> result;
  for (const std::string& line : lines) result.push_back(line.substr(0, line.find('(')));
  return result;
}

TEST_F(EventTest, InstallReplaceRemove) {
  VxiDevice* module = open(128);
  size_t start = mainframe.log.size();
  ASSERT_EQ(vxiSetInterruptCallback(module, callbackA), 0);
  EXPECT_EQ(names(logLines(start)),
            (std::vector<std::string>{"viInstallHandler", "viEnableEvent"}));
  EXPECT_EQ(module->callback, callbackA);

  start = mainframe.log.size();
  EXPECT_EQ(vxiSetInterruptCallback(module, callbackA), 0);  // already installed
  EXPECT_EQ(mainframe.log.size(), start);

  EXPECT_EQ(mainframe.raiseSigp(128, 0x1234), 1);
  EXPECT_EQ(delivered, (std::vector<std::pair<char, ViSession>>{{'A', module->sess}}));

  start = mainframe.log.size();
  ASSERT_EQ(vxiSetInterruptCallback(module, callbackB), 0);
  EXPECT_EQ(names(logLines(start)),
            (std::vector<std::string>{"viDisableEvent", "viUninstallHandler", "viInstallHandler",
                                      "viEnableEvent"}));
  delivered.clear();
  EXPECT_EQ(mainframe.raiseSigp(128, 0x1234), 1);  // A's handler is gone
  EXPECT_EQ(delivered, (std::vector<std::pair<char, ViSession>>{{'B', module->sess}}));

  start = mainframe.log.size();
  ASSERT_EQ(vxiSetInterruptCallback(module, nullptr), 0);
  EXPECT_EQ(names(logLines(start)),
            (std::vector<std::string>{"viDisableEvent", "viUninstallHandler"}));
  EXPECT_EQ(module->callback, nullptr);
  EXPECT_EQ(mainframe.raiseSigp(128, 0x1234), 0);

  start = mainframe.log.size();
  EXPECT_EQ(vxiSetInterruptCallback(module, nullptr), 0);  // nothing installed: no call
  EXPECT_EQ(mainframe.log.size(), start);
}

TEST_F(EventTest, InstallFailureLeavesCallbackUnset) {
  VxiDevice* module = open(128);
  mainframe.addFault({.function = "viEnableEvent", .status = VI_ERROR_INV_MECH});
  EXPECT_EQ(vxiSetInterruptCallback(module, callbackA), VI_ERROR_INV_MECH);
  EXPECT_EQ(module->callback, nullptr);
  mainframe.addFault({.function = "viInstallHandler", .status = VI_ERROR_INV_HNDLR_REF});
  EXPECT_EQ(vxiSetInterruptCallback(module, callbackA), VI_ERROR_INV_HNDLR_REF);
  EXPECT_TRUE(mainframe.calls("viEnableEvent").size() == 1);
}

TEST_F(EventTest, CompletionCodeCountsAsFailure) {
  VxiDevice* module = open(128);
  mainframe.addFault({.function = "viEnableEvent", .status = VI_SUCCESS_EVENT_EN});
  EXPECT_EQ(vxiSetInterruptCallback(module, callbackA), VI_SUCCESS_EVENT_EN);
  EXPECT_EQ(module->callback, nullptr);
}

TEST_F(EventTest, RemoveFailureKeepsCallback) {
  VxiDevice* module = open(128);
  ASSERT_EQ(vxiSetInterruptCallback(module, callbackA), 0);
  mainframe.addFault({.function = "viUninstallHandler", .status = VI_ERROR_INV_HNDLR_REF});
  EXPECT_EQ(vxiSetInterruptCallback(module, nullptr), VI_ERROR_INV_HNDLR_REF);
  EXPECT_EQ(module->callback, callbackA);
}

TEST_F(EventTest, LockRefusedAtOnceWhileAnotherHoldsIt) {
  VxiDevice* first = open(128);
  VxiDevice* second = open(128);
  EXPECT_EQ(vxiLock(first), 0);
  double before = elapsedSeconds();
  EXPECT_EQ(vxiLock(second), VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(elapsedSeconds(), before);
  EXPECT_EQ(mainframe.calls("viLock").back().describe().substr(0, 16), "viLock(0x1, 0x0)");
  EXPECT_EQ(vxiUnlock(second), VI_ERROR_SESN_NLOCKED);
  EXPECT_EQ(vxiUnlock(first), 0);
  EXPECT_EQ(vxiLock(second), 0);
}

}  // namespace
