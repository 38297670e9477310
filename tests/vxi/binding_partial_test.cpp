// The host binding over VISA libraries that lack functions (ctest puts the
// lean library of partial_visa.cpp first on LD_LIBRARY_PATH for this test).
#include <gtest/gtest.h>

#include <string>

#include "vxi/vxi.h"

namespace {

// A library with what the program cannot do without: the functions it lacks
// besides fail when they are called, naming themselves.
TEST(BindingToLeanLibrary, MissingFunctionsFailWithTheirNames) {
  VxiDevice* device = nullptr;
  ASSERT_EQ(vxiOpen("VXI0", -1, &device), 0);
  EXPECT_STREQ(visaLibraryLoaded(), "libvisa.so");
  EXPECT_EQ(visaBindingProblem(), nullptr);

  // The query falls back to the registers, which need viIn16.
  uint32_t response = 0;
  EXPECT_EQ(vxiCommandQuery(device->sess, VI_VXI_CMD16_RESP16, 0xCEFF, &response),
            VI_ERROR_NIMPL_OPER);
  EXPECT_STREQ(vxiStatusText(VI_ERROR_NIMPL_OPER),
               "the VISA library libvisa.so lacks the function viIn16");

  // A missing peek reads all ones, a missing poke goes nowhere.
  char somewhere[4];
  EXPECT_EQ(vxiPeek8(device, somewhere), 0xFF);
  EXPECT_EQ(vxiPoke32(device, somewhere, 1), 0);
  EXPECT_EQ(vxiClose(device), 0);
}

// A library without the functions an update needs is refused as a whole,
// before anything is opened, and the text names what it lacks.
TEST(BindingToPartialLibrary, IsRefusedNamingWhatItLacks) {
  visaUseLibrary(Q7_TINY_VISA);
  VxiDevice* device = nullptr;
  EXPECT_EQ(vxiOpen("VXI0", -1, &device), VI_ERROR_LIBRARY_NFOUND);
  EXPECT_EQ(visaLibraryLoaded(), nullptr);
  EXPECT_EQ(std::string(vxiStatusText(VI_ERROR_LIBRARY_NFOUND)),
            std::string("no usable VISA library: ") + Q7_TINY_VISA +
                " lacks viStatusDesc, viGetAttribute, viSetAttribute, viMapAddress, viPeek16,"
                " viPeek32, viPoke16, viMoveIn16, viMoveOut16");
}

}  // namespace
