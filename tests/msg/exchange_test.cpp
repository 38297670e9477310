// The whole exchange of an update against the simulated module: load both
// libraries, ask for the revisions, store and program an image, read the new
// revision back, remove the image, unload.
#include "tests/msg/msg_fixture.h"

namespace {

TEST_F(MsgTest, UpdateExchangeProgramsTheCarriedImage) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::olderModuleFlash();
  start(config);

  loadLibraries();

  int32_t revisions[5] = {};
  ASSERT_EQ(getRomRevs(channel, revisions, 5), 0);
  EXPECT_EQ(revisions[1], 2041200);

  const RomSegment& segment = romSegments[1];
  const PayloadRecord* image = segment.efile;
  ASSERT_NE(revisions[1], image->revision);
  EXPECT_EQ(q7340MsgFilePut(channel, image->name, payloadData(image),
                            static_cast<int32_t>(image->fileSize)),
            0);
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgCmdXeq(channel, segment.progCmd, nullptr), 0);
  // Programming keeps the module busy; the command wait of 60 s covers it.
  EXPECT_GT(elapsedSeconds() - begin, module().config().programTime);

  ASSERT_EQ(getRomRevs(channel, revisions, 5), 0);
  EXPECT_EQ(revisions[1], image->revision);
  EXPECT_EQ(revisions[0], 100000);

  EXPECT_EQ(q7340MsgRm(channel, image->name), 0);
  MsgParameter unload[] = {{"S", "romupdate.out"}, {nullptr, nullptr}};
  EXPECT_EQ(q7340MsgCmdXeq(channel, "unld", unload), 0);

  std::string programmed = "program 1 " + std::to_string(image->revision);
  EXPECT_EQ(module().log(),
            (std::vector<std::string>{"load dldmsgLib.out",
                                      "start dldmsgLibInit param1=0 priority=0 stackSize=2000",
                                      "load romupdate.out",
                                      "start romupdateInit param1=0 priority=0 stackSize=2000",
                                      std::string("store ") + image->name, programmed,
                                      std::string("remove ") + image->name,
                                      "unload romupdate.out"}));
  EXPECT_EQ(module().flash().segment[1], image->revision);
  EXPECT_TRUE(module().state().files.empty());
  EXPECT_EQ(out->text() + err->text(), "");
}

}  // namespace
