// The host binding with no VISA library anywhere on the search path: every
// call fails with a status whose text lists the libraries tried.
#include <gtest/gtest.h>

#include <string>

#include "vxi/vxi.h"

namespace {

TEST(BindingWithoutLibrary, StatusTextNamesLibrariesTried) {
  VxiDevice* device = nullptr;
  int32_t status = vxiOpen("VXI0", -1, &device);
  if (visaLibraryLoaded() != nullptr) {
    vxiClose(device);
    GTEST_SKIP() << "a VISA library is installed: " << visaLibraryLoaded();
  }
  EXPECT_EQ(status, VI_ERROR_LIBRARY_NFOUND);
  EXPECT_EQ(device, nullptr);
  std::string text = vxiStatusText(status);
  EXPECT_EQ(text.rfind("no VISA library found; tried libvisa.so, libvisa.so.0, ", 0), 0u) << text;
  for (const char* const* name = visaLibraryNames(); *name != nullptr; ++name)
    EXPECT_NE(text.find(*name), std::string::npos) << *name << " missing from: " << text;

  // Nothing is ever called through a null pointer.
  uint16_t value = 0;
  visa().viPeek16(1, &value, &value);
  EXPECT_EQ(value, 0xFFFF);
  visa().viPoke16(1, &value, 0);
  uint32_t response = 0;
  EXPECT_EQ(vxiCommandQuery(1, VI_VXI_CMD16_RESP16, 0xCEFF, &response), VI_ERROR_LIBRARY_NFOUND);
}

}  // namespace
