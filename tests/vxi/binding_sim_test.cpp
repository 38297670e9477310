// The host binding loading the simulator's shared libvisa.so through dlopen,
// as the unchanged program does when the simulator's directory stands first
// on LD_LIBRARY_PATH (ctest sets it for this test).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "vxi/vxi.h"

namespace {

TEST(BindingToSimulator, OpensMemAccAndReachesModule) {
  // The simulator reads its configuration when the library is first called.
  setenv("Q7SIM_Q7340_LA", "77", 1);
  setenv("Q7SIM_DRAIN_BYTES_PER_SECOND", "0", 1);
  VxiDevice* device = nullptr;
  int32_t status = vxiOpen("VXI0", -1, &device);
  ASSERT_EQ(status, 0) << vxiStatusText(status);
  EXPECT_STREQ(visaLibraryLoaded(), "libvisa.so");
  EXPECT_STREQ(vxiInterfaceName(device), "VXI0");
  void* a16 = nullptr;
  ASSERT_EQ(vxiMap(device, VI_A16_SPACE, 0, 0x10000, &a16), 0);
  void* statusRegister = static_cast<char*>(a16) + 0xC000 + 64 * 77 + 4;
  EXPECT_EQ(vxiPeek16(device, statusRegister), 0x0001);  // the module, where the environment put it

  // 8-byte attributes and the increment attributes cross the C ABI intact:
  // four transfers land in the module's FIFO register, none beside it.
  uint32_t frame[2] = {0, 0x55};  // an empty frame; the module takes nothing (drain rate 0)
  char* block = static_cast<char*>(a16) + 0xC000 + 64 * 77;
  EXPECT_EQ(vxiPokeFifo(device, block + 0x2C, 2, frame, 8), 0);
  EXPECT_EQ(vxiPeek16(device, block + 0x2E), 4);
  VxiDeviceInfo info;
  EXPECT_EQ(vxiDeviceInfo(device, 77, &info), 0);
  EXPECT_EQ(info.memBits, 24);
  EXPECT_EQ(info.memBase, 0x20);
  EXPECT_EQ(info.slot, 2);

  VxiDevice* missing = nullptr;
  EXPECT_EQ(vxiOpen("VXI0", 128, &missing), VI_ERROR_RSRC_NFOUND);
  EXPECT_STREQ(vxiStatusText(VI_ERROR_RSRC_NFOUND),
               "Insufficient location information or the requested device or resource is not "
               "present in the system.");
  EXPECT_EQ(vxiUnmap(device), 0);
  EXPECT_EQ(vxiClose(device), 0);
}

}  // namespace
