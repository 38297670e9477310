// Word-serial command with response, through VISA or through the registers.
#include "sim/slot0.h"
#include "tests/vxi/fixture.h"

namespace {

class WordSerialTest : public VxiTest {
 protected:
  void SetUp() override {
    VxiTest::SetUp();
    controller = mainframe.deviceAs<sim::SlotZeroController>(0);
    controller->servantArea = 0x42;
    session = open(0)->sess;
  }
  size_t responsePolls() {
    size_t polls = 0;
    for (const sim::CallRecord& call : mainframe.calls("viIn16"))
      if (call.args[1] == 0x0A) ++polls;
    return polls;
  }
  sim::SlotZeroController* controller = nullptr;
  ViSession session = 0;
};

TEST_F(WordSerialTest, VisaQueryAnswers) {
  uint32_t response = 0;
  EXPECT_EQ(vxiCommandQuery(session, VI_VXI_CMD16_RESP16, 0xCEFF, &response), 0);
  EXPECT_EQ(response, 0xFF42u);
  EXPECT_TRUE(mainframe.calls("viIn16").empty());
}

TEST_F(WordSerialTest, VisaQueryErrorsPassThrough) {
  mainframe.addFault({.function = "viVxiCommandQuery", .status = VI_ERROR_TMO});
  uint32_t response = 7;
  EXPECT_EQ(vxiCommandQuery(session, VI_VXI_CMD16_RESP16, 0xCEFF, &response), VI_ERROR_TMO);
  EXPECT_TRUE(mainframe.calls("viIn16").empty());
  // And the device's own refusal of a mode it does not serve.
  EXPECT_EQ(vxiCommandQuery(session, VI_VXI_CMD32_RESP32, 0xCEFF, &response), VI_ERROR_INV_MODE);
}

TEST_F(WordSerialTest, RegisterPathWhenVisaLacksQuery) {
  mainframe.commandQuerySupported = false;
  uint32_t response = 0;
  // A 32-bit mode still sends only the low 16 bits and gets a 16-bit answer.
  EXPECT_EQ(vxiCommandQuery(session, VI_VXI_CMD32_RESP32, 0x1234CEFF, &response), 0);
  EXPECT_EQ(response, 0xFF42u);
  EXPECT_EQ(controller->commands, std::vector<uint16_t>{0xCEFF});
  auto writes = mainframe.calls("viOut16");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].describe(), "viOut16(A16, 0xE, 52991) = 0");
}

TEST_F(WordSerialTest, RegisterPathNotWriteReady) {
  mainframe.commandQuerySupported = false;
  controller->neverWriteReady = true;
  uint32_t response = 7;
  EXPECT_EQ(vxiCommandQuery(session, VI_VXI_CMD16_RESP16, 0xCEFF, &response), -1);
  EXPECT_TRUE(mainframe.calls("viOut16").empty());
  EXPECT_EQ(response, 7u);
}

TEST_F(WordSerialTest, RegisterPathGivesUpAfterHalfASecond) {
  mainframe.commandQuerySupported = false;
  controller->neverReadReady = true;
  uint32_t response = 7;
  double start = elapsedSeconds();
  EXPECT_EQ(vxiCommandQuery(session, VI_VXI_CMD16_RESP16, 0xCEFF, &response), -2);
  double elapsed = elapsedSeconds() - start;
  EXPECT_GT(elapsed, 0.5);
  EXPECT_LT(elapsed, 0.505);
  // One poll per millisecond, plus the Write Ready check.
  EXPECT_GE(responsePolls(), 495u);
  EXPECT_LE(responsePolls(), 503u);
  EXPECT_EQ(response, 7u);
}

TEST_F(WordSerialTest, RegisterPathPassesRegisterErrors) {
  mainframe.commandQuerySupported = false;
  struct Case {
    const char* function;
    int nth;
  } cases[] = {{"viIn16", 1}, {"viOut16", 1}, {"viIn16", 2}, {"viIn16", 3}};
  for (const Case& c : cases) {
    size_t faults = mainframe.faults().size();
    mainframe.addFault({.function = c.function, .status = VI_ERROR_BERR, .nth = c.nth});
    uint32_t response = 0;
    // Each fault counts matching calls from when it was added.
    EXPECT_EQ(vxiCommandQuery(session, VI_VXI_CMD16_RESP16, 0xCEFF, &response), VI_ERROR_BERR)
        << c.function << c.nth;
    EXPECT_EQ(mainframe.faults()[faults].fired, 1);
  }
}

}  // namespace
