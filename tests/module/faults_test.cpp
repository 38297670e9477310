// Injected faults of the simulated module: lost, late and damaged answers,
// failing functions, reboots and handshakes that go wrong, a stalled module.
#include <gtest/gtest.h>

#include "common/clock.h"
#include "sim/module/module_codes.h"
#include "sim/module/q7340_module.h"
#include "tests/module/module_driver.h"

using module_test::Body;
using module_test::ModuleDriver;
using module_test::Reply;
using namespace sim::module;

namespace {

class ModuleFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockUseVirtual();
    config.flash = olderModuleFlash();
    config.programTime = 0.2;
  }
  ModuleConfig config;
};

TEST_F(ModuleFaultTest, SilentTagCarriesOutTheRequestWithoutAnswering) {
  config.faults.silentTags = {0x7B};
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  EXPECT_FALSE(driver.putFile("a.txt", "abc", 3).has_value());
  EXPECT_EQ(module.state().files.count("a.txt"), 1u);
}

TEST_F(ModuleFaultTest, LateCommandAnswerArrivesAfterTheHostGaveUp) {
  config.faults.lateCommands = {{"q7340FlashGetSelftestRev", 15.0}};
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  double start = elapsedSeconds();
  EXPECT_FALSE(driver.command("q7340FlashGetSelftestRev", {}, 10).has_value());
  std::optional<Reply> late = driver.readFrame(10);
  ASSERT_TRUE(late.has_value());
  EXPECT_GE(elapsedSeconds() - start, 15.0);
  EXPECT_EQ(late->payload, std::vector<uint32_t>{static_cast<uint32_t>(RESULT_ERROR)});
}

TEST_F(ModuleFaultTest, RevisionReplyWithWrongStatusOrLength) {
  struct Case {
    int32_t status;
    int32_t extraWords;
    size_t words;
  } cases[] = {{0, 1, 7}, {0, -2, 4}, {-3, 0, 6}};
  for (const Case& c : cases) {
    config.faults.revisionReplyStatus = c.status;
    config.faults.revisionReplyExtraWords = c.extraWords;
    Q7340Module module(config);
    ModuleDriver driver(module);
    driver.loadLibraries();
    std::optional<Reply> reply = driver.exchange(0x2B, Body{});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->payload.size(), c.words);
    EXPECT_EQ(static_cast<int32_t>(reply->payload[0]), c.status);
  }
}

TEST_F(ModuleFaultTest, FailingProgrammingFunctionLeavesTheSegment) {
  config.faults.failingCommands = {{"q7340FlashProgVxiga", -42}};
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  ASSERT_EQ(driver.putCarried("vxiga.hex"), 0);
  EXPECT_EQ(driver.command("q7340FlashProgVxiga"), -42);
  EXPECT_EQ(module.flash().segment[1], config.flash.segment[1]);
}

TEST_F(ModuleFaultTest, RebootThatNeverCompletes) {
  config.faults.rebootNeverCompletes = true;
  Q7340Module module(config);
  ModuleDriver driver(module);
  ASSERT_TRUE(driver.writeFrame(0x7D, {}));
  sleepMilliseconds(1000);
  EXPECT_EQ(driver.status() & Q7340Module::STATUS_READY, 0);
  EXPECT_FALSE(driver.waitReady(36).has_value());
}

TEST_F(ModuleFaultTest, HandshakeFaults) {
  {
    config.faults.readyBitStuck = true;
    Q7340Module module(config);
    ModuleDriver driver(module);
    module.write16(Q7340Module::REG_STATUS, Q7340Module::CONTROL_START_RESET);
    clockCharge(3.1);
    EXPECT_EQ(driver.status(), Q7340Module::STATUS_READY);
    EXPECT_TRUE(driver.exchangeWord(0x5F, Body{}).has_value());  // still serving
  }
  {
    config.faults.readyBitStuck = false;
    config.faults.handshakeBitNeverSet = true;
    Q7340Module module(config);
    ModuleDriver driver(module);
    module.write16(Q7340Module::REG_STATUS, Q7340Module::CONTROL_START_RESET);
    clockCharge(3.1);
    EXPECT_EQ(driver.status(), 0);
    EXPECT_FALSE(driver.waitReady(35).has_value());
  }
}

TEST_F(ModuleFaultTest, StalledModuleTakesNothingMore) {
  Q7340Module module(config);
  ModuleDriver driver(module);
  ASSERT_TRUE(driver.writeFrame(0x5F, {}));
  ASSERT_TRUE(driver.readFrame().has_value());
  module.config().drainRate = 0;
  std::vector<uint32_t> large(1000, 0);
  EXPECT_FALSE(driver.writeFrame(0x5F, large, 5));
  EXPECT_EQ(module.read16(Q7340Module::REG_IN16_COUNT), 512);
}

TEST_F(ModuleFaultTest, ReplyStopsHalfwayAndNothingFollows) {
  config.faults.stopSendingMidFrame = true;
  Q7340Module module(config);
  ModuleDriver driver(module);
  ASSERT_TRUE(driver.writeFrame(0x60, {7}));
  sleepMilliseconds(2);
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 2);  // 1 of the 3 words (6 halves)
  ASSERT_TRUE(driver.writeFrame(0x5F, {}));
  sleepMilliseconds(100);
  EXPECT_EQ(module.read16(Q7340Module::REG_OUT16_COUNT), 2);
}

TEST_F(ModuleFaultTest, ReplySizeWordLies) {
  struct Case {
    ReplySizeFault fault;
    int32_t size;
  } cases[] = {{ReplySizeFault::NotMultipleOf4, 6},
               {ReplySizeFault::Negative, -8},
               {ReplySizeFault::Huge, 0x7FFFFFF0}};
  for (const Case& c : cases) {
    config.faults.replySize = c.fault;
    Q7340Module module(config);
    ModuleDriver driver(module);
    std::optional<Reply> reply = driver.exchange(0x5F, Body{});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->size, c.size);
  }
}

// The words ahead of a reply, until its tag.
std::vector<uint32_t> wordsBeforeReply(uint32_t seed, uint32_t count) {
  ModuleConfig config;
  config.faults.garbageWordsBeforeReply = count;
  config.faults.seed = seed;
  Q7340Module module(config);
  ModuleDriver driver(module);
  EXPECT_TRUE(driver.writeFrame(0x5F, {}));
  sleepMilliseconds(2);
  std::vector<uint32_t> words;
  while (module.read16(Q7340Module::REG_OUT16_COUNT) >= 2) {
    uint32_t high = module.read16(Q7340Module::REG_FIFO16);
    words.push_back((high << 16) | module.read16(Q7340Module::REG_FIFO16));
  }
  return words;
}

TEST_F(ModuleFaultTest, GarbageWordsAreReproducibleFromTheSeed) {
  std::vector<uint32_t> first = wordsBeforeReply(7, 3);
  ASSERT_EQ(first.size(), 6u);
  EXPECT_EQ(std::vector<uint32_t>(first.begin() + 3, first.end()),
            (std::vector<uint32_t>{4, 0x5F, 0}));
  EXPECT_EQ(wordsBeforeReply(7, 3), first);
  EXPECT_NE(wordsBeforeReply(8, 3), first);
}

TEST_F(ModuleFaultTest, UnsoundSizeWordsFromTheHostAreSkipped) {
  Q7340Module module(config);
  ModuleDriver driver(module);
  for (uint32_t word : {0x00000003u, 0xFFFFFFF8u, 0x7FFFFFF0u}) {
    module.write16(Q7340Module::REG_FIFO16, static_cast<uint16_t>(word >> 16));
    module.write16(Q7340Module::REG_FIFO16, static_cast<uint16_t>(word));
  }
  EXPECT_EQ(driver.exchangeWord(0x5F, Body{}), 0);
  EXPECT_EQ(module.state().counters.badSizeWords, 3u);
}

TEST_F(ModuleFaultTest, QueuedFrameReachesTheHost) {
  Q7340Module module(config);
  ModuleDriver driver(module);
  module.queueFrame16(0x1234, {5, 6});
  std::optional<Reply> reply = driver.readFrame();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->tag, 0x1234);
  EXPECT_EQ(reply->payload, (std::vector<uint32_t>{5, 6}));
}

}  // namespace
