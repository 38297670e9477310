// The attributes a lab tool reads of the simulated VISA (who answers which,
// with what value and width), and viSetAttribute's refusal of values outside
// an attribute's range.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/visa_extra.h"
#include "tests/sim/mainframe_fixture.h"

namespace {

TEST_F(MainframeTest, DescriptiveAttributes) {
  ViSession module = openSession("VXI0::128");
  ViSession memAcc = openSession("VXI0::MEMACC");
  ViSession controller = openSession("VXI0::0");
  struct Text {
    ViSession vi;
    ViAttr attribute;
    std::string value;
  } texts[] = {
      {module, VI_ATTR_RSRC_CLASS, "INSTR"},
      {memAcc, VI_ATTR_RSRC_CLASS, "MEMACC"},
      {module, VI_ATTR_MODEL_NAME, "Q7340"},
      {module, VI_ATTR_MANF_NAME, "VXI manufacturer 0xE7A"},
      {controller, VI_ATTR_MODEL_NAME, "Slot-0 controller"},
      {controller, VI_ATTR_MANF_NAME, "VXI manufacturer 0xFF6"},
  };
  for (const Text& t : texts) {
    char value[256] = {};
    ASSERT_EQ(mainframe.viGetAttribute(t.vi, t.attribute, value), VI_SUCCESS) << t.value;
    EXPECT_EQ(value, t.value);
  }
  char maker[256] = {}, makerOfRm[256] = {};
  ASSERT_EQ(mainframe.viGetAttribute(memAcc, VI_ATTR_RSRC_MANF_NAME, maker), VI_SUCCESS);
  ASSERT_EQ(mainframe.viGetAttribute(rm, VI_ATTR_RSRC_MANF_NAME, makerOfRm), VI_SUCCESS);
  EXPECT_GT(strlen(maker), 0u);
  EXPECT_STREQ(maker, makerOfRm);

  struct Number {
    ViSession vi;
    ViAttr attribute;
    size_t width;
    uint64_t value;
  } numbers[] = {
      {module, VI_ATTR_INTF_TYPE, 2, VI_INTF_VXI},
      {memAcc, VI_ATTR_INTF_NUM, 2, 0},
      {rm, VI_ATTR_RSRC_SPEC_VERSION, 4, 0x00500400},
      {module, VI_ATTR_VXI_LA, 2, 128},
      {memAcc, VI_ATTR_RSRC_LOCK_STATE, 4, VI_NO_LOCK},
  };
  for (const Number& n : numbers) {
    unsigned char buffer[16];
    memset(buffer, 0xAA, sizeof buffer);
    ASSERT_EQ(mainframe.viGetAttribute(n.vi, n.attribute, buffer), VI_SUCCESS) << n.attribute;
    uint64_t value = 0;
    memcpy(&value, buffer, n.width);
    EXPECT_EQ(value, n.value) << std::hex << n.attribute;
    for (size_t i = n.width; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xAA) << n.attribute;
  }
  ViVersion implementation = 0;
  ASSERT_EQ(mainframe.viGetAttribute(module, VI_ATTR_RSRC_IMPL_VERSION, &implementation),
            VI_SUCCESS);
  EXPECT_NE(implementation, 0u);

  // The lock state is the resource's, whichever session asks.
  ViSession other = openSession("VXI0::MEMACC");
  ASSERT_EQ(mainframe.viLock(memAcc, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS);
  ViAccessMode state = VI_NO_LOCK;
  ASSERT_EQ(mainframe.viGetAttribute(other, VI_ATTR_RSRC_LOCK_STATE, &state), VI_SUCCESS);
  EXPECT_EQ(state, VI_EXCLUSIVE_LOCK);

  // Who answers what.
  ViFindList list = 0;
  ViUInt32 count = 0;
  char descriptor[VI_FIND_BUFLEN];
  ASSERT_EQ(mainframe.viFindRsrc(rm, "?*", &list, &count, descriptor), VI_SUCCESS);
  char buffer[256];
  struct Refusal {
    ViObject object;
    ViAttr attribute;
  } unanswered[] = {{rm, VI_ATTR_INTF_TYPE},
                    {rm, VI_ATTR_RSRC_CLASS},
                    {memAcc, VI_ATTR_MODEL_NAME},
                    {memAcc, VI_ATTR_MANF_NAME},
                    {list, VI_ATTR_RSRC_MANF_NAME}};
  for (const Refusal& r : unanswered)
    EXPECT_EQ(mainframe.viGetAttribute(r.object, r.attribute, buffer), VI_ERROR_NSUP_ATTR)
        << std::hex << r.attribute;
  for (ViAttr readOnly : {VI_ATTR_INTF_TYPE, VI_ATTR_RSRC_CLASS, VI_ATTR_RSRC_LOCK_STATE,
                          VI_ATTR_MODEL_NAME, VI_ATTR_RSRC_SPEC_VERSION})
    EXPECT_EQ(mainframe.viSetAttribute(module, readOnly, 1), VI_ERROR_ATTR_READONLY)
        << std::hex << readOnly;
}

// A value is never cut to the attribute's width: 0x100000000 is not the
// increment 0 (which would turn a block move into a FIFO move), nor the
// time-out 0.
TEST_F(MainframeTest, ValuesOutsideAnAttributesRangeAreRefused) {
  ViSession vi = openSession("VXI0::MEMACC");
  struct Case {
    ViAttr attribute;
    ViAttrState value;
  } cases[] = {
      {VI_ATTR_TMO_VALUE, 0x100000000},
      {VI_ATTR_TMO_VALUE, UINT64_MAX},
      {VI_ATTR_SRC_INCREMENT, 0x100000000},
      {VI_ATTR_DEST_INCREMENT, 0x100000001},
      {VI_ATTR_DEST_INCREMENT, 0xFFFFFFFF},
      {VI_ATTR_SRC_INCREMENT, UINT64_MAX},  // -1, sign-extended
      {VI_ATTR_SRC_INCREMENT, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mainframe.viSetAttribute(vi, c.attribute, c.value), VI_ERROR_NSUP_ATTR_STATE)
        << std::hex << c.attribute << " " << c.value;
    ViUInt32 kept = 0;
    ASSERT_EQ(mainframe.viGetAttribute(vi, c.attribute, &kept), VI_SUCCESS);
    EXPECT_EQ(kept, c.attribute == VI_ATTR_TMO_VALUE ? 2000u : 1u) << std::hex << c.attribute;
  }
  EXPECT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
  EXPECT_EQ(mainframe.viSetAttribute(vi, VI_ATTR_SRC_INCREMENT, 0), VI_SUCCESS);
}

}  // namespace
