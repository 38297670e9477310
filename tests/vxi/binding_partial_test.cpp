// The host binding over a VISA library that lacks most functions (ctest puts
// partial_visa.cpp's libvisa.so first on LD_LIBRARY_PATH for this test).
#include <gtest/gtest.h>

#include "vxi/vxi.h"

namespace {

TEST(BindingToPartialLibrary, MissingFunctionsFailWithTheirNames) {
  VxiDevice* device = nullptr;
  ASSERT_EQ(vxiOpen("VXI0", -1, &device), 0);
  EXPECT_STREQ(visaLibraryLoaded(), "libvisa.so");

  EXPECT_EQ(vxiMap(device, VI_A16_SPACE, 0, 0x10000, nullptr), VI_ERROR_NIMPL_OPER);
  EXPECT_STREQ(vxiStatusText(VI_ERROR_NIMPL_OPER),
               "the VISA library libvisa.so lacks the function viMapAddress");

  // The query falls back to the registers, which need viIn16.
  uint32_t response = 0;
  EXPECT_EQ(vxiCommandQuery(device->sess, VI_VXI_CMD16_RESP16, 0xCEFF, &response),
            VI_ERROR_NIMPL_OPER);
  EXPECT_STREQ(vxiStatusText(VI_ERROR_NIMPL_OPER),
               "the VISA library libvisa.so lacks the function viIn16");

  // Peeks read all ones, pokes go nowhere.
  char somewhere[4];
  EXPECT_EQ(vxiPeek16(device, somewhere), 0xFFFF);
  EXPECT_EQ(vxiPeek32(device, somewhere), 0xFFFFFFFFu);
  EXPECT_EQ(vxiPoke32(device, somewhere, 1), 0);

  // Texts of the library's own statuses, when it has no viStatusDesc.
  EXPECT_STREQ(vxiStatusText(VI_ERROR_TMO),
               "VISA status 0xBFFF0015 (the VISA library libvisa.so lacks viStatusDesc)");
  EXPECT_EQ(vxiClose(device), 0);
}

}  // namespace
