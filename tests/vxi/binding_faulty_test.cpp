// The host binding when the VISA library on the search path exists but cannot
// be loaded (ctest puts a libvisa.so whose dependency is missing first on
// LD_LIBRARY_PATH), and when the operator names one library.
#include <gtest/gtest.h>

#include <string>

#include "vxi/vxi.h"

namespace {

std::string openFailure() {
  VxiDevice* device = nullptr;
  EXPECT_EQ(vxiOpen("VXI0", -1, &device), VI_ERROR_LIBRARY_NFOUND);
  EXPECT_EQ(device, nullptr);
  return vxiStatusText(VI_ERROR_LIBRARY_NFOUND);
}

// Not "no VISA library found": the loader's own reason, naming the dependency.
TEST(BindingToBrokenLibrary, SaysWhyTheLibraryFailedToLoad) {
  EXPECT_EQ(openFailure(),
            "no usable VISA library: libvisa.so: libq7visadep.so: cannot open shared object file: "
            "No such file or directory");
}

TEST(BindingToNamedLibrary, TriesThatLibraryAlone) {
  visaUseLibrary("/nonexistent/libvisa.so");
  EXPECT_EQ(openFailure(),
            "no usable VISA library: /nonexistent/libvisa.so: cannot open shared object file: No "
            "such file or directory");
}

}  // namespace
