// The ROM revision query: the reply's checks, the self-test revision of the
// newer operating-system generation, and an array left as it was on failure.
#include "tests/msg/msg_fixture.h"

namespace {

constexpr int32_t UNTOUCHED = 0x5EE5;

class RevisionsTest : public MsgTest {
 protected:
  void startLoaded(sim::module::ModuleConfig config) {
    start(config);
    loadLibraries();
  }
  std::vector<int32_t> revisions = std::vector<int32_t>(5, UNTOUCHED);
};

TEST_F(RevisionsTest, SixWordsFillFiveEntries) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::olderModuleFlash();
  startLoaded(config);
  EXPECT_EQ(getRomRevs(channel, revisions.data(), 5), 0);
  EXPECT_EQ(revisions, (std::vector<int32_t>{100000, 2041200, 2061000, 3030500, 10700}));
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_ROM_REVISIONS);
  EXPECT_EQ(request.body, "");
  EXPECT_EQ(out->text() + err->text(), "");
}

struct BadReplyCase {
  const char* what;
  int32_t status;
  int32_t extraWords;
  const char* message;
};
void PrintTo(const BadReplyCase& c, std::ostream* os) { *os << c.what; }


class BadRevisionReplyTest : public RevisionsTest,
                             public ::testing::WithParamInterface<BadReplyCase> {};

TEST_P(BadRevisionReplyTest, IsRefusedWithTheArrayUntouched) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::olderModuleFlash();
  config.faults.revisionReplyStatus = GetParam().status;
  config.faults.revisionReplyExtraWords = GetParam().extraWords;
  startLoaded(config);
  EXPECT_EQ(getRomRevs(channel, revisions.data(), 5), -1);
  EXPECT_EQ(revisions, std::vector<int32_t>(5, UNTOUCHED));
  EXPECT_EQ(err->text(), GetParam().message);
  EXPECT_EQ(out->text(), "");
  EXPECT_EQ(lwf_ready(channel), 0);  // the refused reply was taken off
}

INSTANTIATE_TEST_SUITE_P(
    Replies, BadRevisionReplyTest,
    ::testing::Values(BadReplyCase{"SevenWords", 0, 1, "getRomRevs: ERROR, st = 0x0\n"},
                      BadReplyCase{"FiveWords", 0, -1, "getRomRevs: ERROR, st = 0x0\n"},
                      BadReplyCase{"StatusOnly", 0, -5, "getRomRevs: ERROR, st = 0x0\n"},
                      BadReplyCase{"Empty", 0, -6, "getRomRevs: ERROR, st = 0x0\n"},
                      // 72 bytes, cut to the 64 of the reply area
                      BadReplyCase{"LongerThanTheArea", 0, 12, "getRomRevs: ERROR, st = 0x0\n"},
                      BadReplyCase{"Status3", 3, 0, "getRomRevs: ERROR, st = 0x3\n"},
                      BadReplyCase{"StatusNegative", -2, 0, "getRomRevs: ERROR, st = 0xfffffffe\n"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(RevisionsTest, NoReplyWithinTenSeconds) {
  sim::module::ModuleConfig config;
  config.faults.silentTags = {MSG_TAG_ROM_REVISIONS};
  startLoaded(config);
  double begin = elapsedSeconds();
  EXPECT_EQ(getRomRevs(channel, revisions.data(), 5), -1);
  double waited = elapsedSeconds() - begin;
  EXPECT_GT(waited, 10.0);
  EXPECT_LT(waited, 10.01);
  EXPECT_EQ(out->text(), "getRomRevs: ERROR no response, time out\n");
  EXPECT_EQ(err->text(), "getRomRevs: ERROR, st = 0xfffffffc\n");
  EXPECT_EQ(revisions, std::vector<int32_t>(5, UNTOUCHED));
}

TEST_F(RevisionsTest, ReceiveErrorShowsItsCode) {
  start();  // no library: the injected words are the reply
  module().queueWords16({0xFFFFFFF8u, MSG_TAG_ROM_REVISIONS, 0, 0});
  EXPECT_EQ(getRomRevs(channel, revisions.data(), 5), -1);
  EXPECT_EQ(err->text(),
            "lwf_read: bad payload (tag=43, size=-8)\n"
            "getRomRevs: ERROR, st = 0xffffffff\n");
  EXPECT_EQ(revisions, std::vector<int32_t>(5, UNTOUCHED));
}

// Entry 4 is the self-test revision the module reports (here 4242, whatever
// the flash says) when the OS revision, taken unsigned, is 120000 or more.
struct GenerationCase {
  const char* what;
  int32_t osRevision;
  bool asksForSelfTest;
};
void PrintTo(const GenerationCase& c, std::ostream* os) { *os << c.what; }


class GenerationTest : public RevisionsTest, public ::testing::WithParamInterface<GenerationCase> {};

TEST_P(GenerationTest, DecidesWhereEntryFourComesFrom) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::olderModuleFlash();
  config.flash.segment[0] = GetParam().osRevision;
  config.faults.failingCommands = {{"q7340FlashGetSelftestRev", 4242}};
  startLoaded(config);
  EXPECT_EQ(getRomRevs(channel, revisions.data(), 5), 0);
  EXPECT_EQ(revisions[0], GetParam().osRevision);
  EXPECT_EQ(revisions[3], 3030500);
  EXPECT_EQ(revisions[4], GetParam().asksForSelfTest ? 4242 : 10700);
  std::vector<SentRequest> requests = sent();
  ASSERT_EQ(requests.size(), GetParam().asksForSelfTest ? 2u : 1u);
  if (GetParam().asksForSelfTest) {
    EXPECT_EQ(requests[1].tag, MSG_TAG_COMMAND);
    EXPECT_EQ(requests[1].body, z("q7340FlashGetSelftestRev") + std::string(3, '\0'));
  }
  EXPECT_EQ(out->text() + err->text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Revisions, GenerationTest,
    ::testing::Values(GenerationCase{"Os119999", 119999, false},
                      GenerationCase{"Os120000", 120000, true},
                      GenerationCase{"TopBitSet", static_cast<int32_t>(0x80000001u), true},
                      GenerationCase{"MinusOne", -1, true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(RevisionsTest, TheSelfTestRevisionOfTheNewerGeneration) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::newerGenerationFlash();
  config.flash.segment[4] = 10800;
  config.flash.selftestRecorded = 10850;
  startLoaded(config);
  EXPECT_EQ(getRomRevs(channel, revisions.data(), 5), 0);
  EXPECT_EQ(revisions[0], 120500);
  EXPECT_EQ(revisions[4], 10850);
}

// A failed self-test query is not a failure of the revision query: its
// value lands in entry 4.
TEST_F(RevisionsTest, AFailedSelfTestQueryLandsInEntryFour) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::newerGenerationFlash();
  config.faults.silentCommands = {"q7340FlashGetSelftestRev"};
  startLoaded(config);
  double begin = elapsedSeconds();
  EXPECT_EQ(getRomRevs(channel, revisions.data(), 5), 0);
  EXPECT_GT(elapsedSeconds() - begin, 60.0);  // the command wait LibLoad set
  EXPECT_EQ(revisions[4], -1);
  EXPECT_EQ(out->text(), "ERROR: no response, time out\n");
  EXPECT_EQ(err->text(), "");
}

}  // namespace
