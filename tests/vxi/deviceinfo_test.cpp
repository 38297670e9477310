// What vxiDeviceInfo reports, and which session it asks.
#include <cstring>

#include "tests/sim/test_devices.h"
#include "tests/vxi/fixture.h"

namespace {

class DeviceInfoTest : public VxiTest {
 protected:
  void SetUp() override {
    VxiTest::SetUp();
    memset(&info, 0x5A, sizeof info);
  }
  VxiDeviceInfo info;
};

TEST_F(DeviceInfoTest, OwnAddressUsesDeviceSession) {
  VxiDevice* controller = open(0);
  size_t opens = mainframe.calls("viOpen").size();
  ASSERT_EQ(vxiDeviceInfo(controller, 0, &info), 0);
  EXPECT_EQ(mainframe.calls("viOpen").size(), opens);
  EXPECT_TRUE(mainframe.calls("viClose").empty());
  EXPECT_EQ(info.la, 0);
  for (auto& name : info.names) EXPECT_STREQ(name, "FIXME");
  EXPECT_EQ(info.manfId, 0x0FF6);
  EXPECT_EQ(info.modelCode, 0x00FD);
  EXPECT_EQ(info.slot, 0);
  EXPECT_EQ(info.servantArea, 0xFF);  // a commander: asked with Read Servant Area
  EXPECT_EQ(mainframe.calls("viVxiCommandQuery").back().args[1], 0xCEFFu);
  EXPECT_EQ(info.memBits, 0);
  EXPECT_EQ(info.memSize, 0);
  EXPECT_EQ(info.memBase, 0);
  for (uint8_t byte : info.reservedA) EXPECT_EQ(byte, 0xFF);
  for (uint8_t byte : info.reservedB) EXPECT_EQ(byte, 0xFF);
}

TEST_F(DeviceInfoTest, OtherAddressOpensAndClosesSessionOfItsOwn) {
  VxiDevice* memAcc = open(-1);
  size_t start = mainframe.log.size();
  ASSERT_EQ(vxiDeviceInfo(memAcc, 128, &info), 0);
  auto opens = mainframe.calls("viOpen");
  EXPECT_EQ(opens.back().text, "VXI0::128");
  auto closes = mainframe.calls("viClose");
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_NE(closes[0].session, memAcc->sess);
  EXPECT_EQ(mainframe.openSessions(), 2u);
  // The module is no commander: its protocol register has bit 15 set, so no command goes out.
  EXPECT_EQ(info.servantArea, 0);
  EXPECT_TRUE(mainframe.calls("viVxiCommandQuery").empty());
  EXPECT_GT(mainframe.find("viIn16(A16, 0x8, 0) = 0", start), 0);
  EXPECT_EQ(info.la, 128);
  EXPECT_EQ(info.manfId, 0x0E7A);
  EXPECT_EQ(info.modelCode, 0x0734);
  EXPECT_EQ(info.slot, 2);
  EXPECT_EQ(info.memBits, 24);  // A24: 256 KB at 0x200000, in 64 KB units
  EXPECT_EQ(info.memSize, 0x4);
  EXPECT_EQ(info.memBase, 0x20);
}

TEST_F(DeviceInfoTest, A32MemoryScaledAndKeptTo16Bits) {
  auto* device = static_cast<testdev::RamDevice*>(
      mainframe.attach(12, std::make_unique<testdev::RamDevice>()));
  device->id.memSpace = VI_A32_SPACE;
  device->id.memBase = 0x12345600;
  device->id.memSize = 0x00400000;
  device->registers[4] = 0x8000;  // protocol register: no commander
  VxiDevice* memAcc = open(-1);
  ASSERT_EQ(vxiDeviceInfo(memAcc, 12, &info), 0);
  EXPECT_EQ(info.memBits, 32);
  EXPECT_EQ(info.memSize, 0x4000);
  EXPECT_EQ(info.memBase, 0x3456);
}

TEST_F(DeviceInfoTest, FailedReadsLeaveFieldsOrZeroMemory) {
  VxiDevice* memAcc = open(-1);
  mainframe.addFault({.function = "viGetAttribute", .attribute = VI_ATTR_SLOT,
                      .status = VI_ERROR_NSUP_ATTR});
  mainframe.addFault({.function = "viGetAttribute", .attribute = VI_ATTR_MEM_SPACE,
                      .status = VI_ERROR_NSUP_ATTR});
  ASSERT_EQ(vxiDeviceInfo(memAcc, 128, &info), 0);
  EXPECT_EQ(info.slot, 0x5A5A);
  EXPECT_EQ(info.manfId, 0x0E7A);
  EXPECT_EQ(info.memBits, 0);
  EXPECT_EQ(info.memSize, 0);
  EXPECT_EQ(info.memBase, 0);
}

TEST_F(DeviceInfoTest, FailedCommandGivesNoServantArea) {
  VxiDevice* controller = open(0);
  mainframe.addFault({.function = "viVxiCommandQuery", .status = VI_ERROR_TMO});
  ASSERT_EQ(vxiDeviceInfo(controller, 0, &info), 0);
  EXPECT_EQ(info.servantArea, 0);
}

TEST_F(DeviceInfoTest, FailedOpenLeavesInfoUntouched) {
  VxiDevice* memAcc = open(-1);
  VxiDeviceInfo before;
  memcpy(&before, &info, sizeof info);
  EXPECT_EQ(vxiDeviceInfo(memAcc, 77, &info), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(memcmp(&before, &info, sizeof info), 0);
}

TEST_F(DeviceInfoTest, NoInterfaceNameIsRefused) {
  VxiDevice* memAcc = open(-1);
  mainframe.addFault({.function = "viGetAttribute", .attribute = VI_ATTR_RSRC_NAME,
                      .status = VI_ERROR_NSUP_ATTR});
  size_t opens = mainframe.calls("viOpen").size();
  EXPECT_EQ(vxiDeviceInfo(memAcc, 128, &info), VXI_ERROR_ARGUMENT);
  EXPECT_EQ(mainframe.calls("viOpen").size(), opens);
}

}  // namespace
