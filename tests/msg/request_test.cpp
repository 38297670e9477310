// Sending a request and waiting for its reply, command execution by name,
// and the reboot request.
#include "tests/msg/msg_fixture.h"

namespace {

constexpr int32_t ANY_TAG = 0x55;  // a tag the module never answers

// ---- q7340MsgSendWait -------------------------------------------------------

TEST_F(MsgTest, NoReplyTimesOutJustAfterTheWait) {
  sim::module::ModuleConfig config;
  config.faults.silentTags = {MSG_TAG_EMPTY};
  start(config);
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgSendWait(channel, MSG_TAG_EMPTY, nullptr, 0, 10), -1);
  double waited = elapsedSeconds() - begin;
  EXPECT_GT(waited, 10.0);
  EXPECT_LT(waited, 10.01);
  EXPECT_EQ(out->text(), "ERROR: no response, time out\n");
  EXPECT_EQ(err->text(), "");
}

struct ReplyCase {
  const char* what;
  std::vector<uint32_t> reply;
  int32_t result;
};
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.what; }


class SendWaitReplyTest : public MsgTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(SendWaitReplyTest, OnlyAFourByteReplyGivesItsValue) {
  start();
  module().queueFrame16(ANY_TAG, GetParam().reply);
  EXPECT_EQ(q7340MsgSendWait(channel, ANY_TAG, nullptr, 0, 10), GetParam().result);
  EXPECT_EQ(payloadInLen, static_cast<int32_t>(4 * GetParam().reply.size()));
  EXPECT_EQ(out->text(), "");
  EXPECT_EQ(lwf_ready(channel), 0);  // the reply was taken off
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SendWaitReplyTest,
    ::testing::Values(ReplyCase{"Minus5", {static_cast<uint32_t>(-5)}, -5},
                      ReplyCase{"Word", {0x12345678}, 0x12345678},
                      ReplyCase{"EightBytes", {7, 9}, 0},
                      ReplyCase{"Empty", {}, 0}),
    [](const auto& info) { return std::string(info.param.what); });

// ---- Replies belong to their requests ----------------------------------------

TEST_F(MsgTest, AReplyOfAnotherTagIsDroppedAsStaleAndTheWaitGoesOn) {
  start();
  module().queueFrame16(ANY_TAG, {static_cast<uint32_t>(-3)});  // an earlier exchange's answer
  EXPECT_EQ(q7340MsgEmpty(channel), 0);
  EXPECT_EQ(msgTagIn, MSG_TAG_EMPTY);
  EXPECT_EQ(err->text(),
            "q7340MsgSendWait: stale reply (tag=0x55) dropped, awaiting the reply to 0x5f\n");
  EXPECT_EQ(out->text(), "");
}

// A reply no wait took could carry the tag of the next request: the next
// request first makes the channel quiet, so each answer reaches its own request.
TEST_F(MsgTest, AReplyNotWaitedForNeverAnswersALaterRequest) {
  start();
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgSendWait(channel, MSG_TAG_SELF_TEST, "\0\0\0\0", 4, 0), 0);
  EXPECT_LT(elapsedSeconds() - begin, 0.001);
  EXPECT_EQ(msgReplyOwed, 1);
  module().queueFrame16(ANY_TAG, {static_cast<uint32_t>(-3)});
  EXPECT_EQ(q7340MsgSendWait(channel, MSG_TAG_SELF_TEST, "\0\0\0\0", 4, 10), 0);
  EXPECT_EQ(msgReplyOwed, 0);
  EXPECT_EQ(err->text(),
            "q7340MsgSync: stale reply (tag=0x55) dropped, awaiting the reply to 0x5f\n"
            "q7340MsgSync: stale reply (tag=0x60) dropped, awaiting the reply to 0x5f\n");
  EXPECT_EQ(lwf_ready(channel), 0);  // nothing left over
}

TEST_F(MsgTest, WithNoCommandWaitTheReplyIsNotTakenForALaterOne) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::newerGenerationFlash();
  config.flash.selftestRecorded = 10987;
  start(config);
  loadLibraries();
  q7340MsgCmdTimeoutSet(0);
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashGetSelftestRev", nullptr), 0);
  EXPECT_EQ(q7340MsgEmpty(channel), 0);
  q7340MsgCmdTimeoutSet(60);
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashGetSelftestRev", nullptr), 10987);
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashGetSelftestRev", nullptr), 10987);
}

// A command that timed out answers later with the same tag as the next
// command: the next command waits for the late answer to pass first.
TEST_F(MsgTest, ALateAnswerWithTheSameTagIsNotTakenForTheNextCommand) {
  sim::module::ModuleConfig config;
  config.flash = sim::module::newerGenerationFlash();
  config.flash.selftestRecorded = 10987;
  config.faults.lateCommands = {{"q7340FlashProgSelftestRev", 30}};
  start(config);
  loadLibraries();
  q7340MsgCmdTimeoutSet(10);
  MsgParameter parameters[] = {{"I", "-77"}, {nullptr, nullptr}};
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashProgSelftestRev", parameters), -1);
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashGetSelftestRev", nullptr), -77);
  EXPECT_EQ(err->text(),
            "q7340MsgSync: stale reply (tag=0x77) dropped, awaiting the reply to 0x5f\n");
}

TEST_F(MsgTest, ASyncThatGetsNoAnswerFailsAfterItsWait) {
  sim::module::ModuleConfig config;
  config.faults.silentTags = {MSG_TAG_EMPTY};
  start(config);
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgSync(channel), -1);
  double waited = elapsedSeconds() - begin;
  EXPECT_GT(waited, MSG_SYNC_WAIT);
  EXPECT_LT(waited, MSG_SYNC_WAIT + 0.01);
  EXPECT_EQ(out->text(), "q7340MsgSync: ERROR no response, time out\n");
}

// ---- q7340MsgCmdXeq: the body ----------------------------------------------

// Commands are sent with a wait of 0 here (the state at program start), so
// only the body counts.
TEST_F(MsgTest, CommandBodyIsTheNameThenTheTypedPairs) {
  start();
  ASSERT_EQ(q7340MsgCmdTimeoutGet(), 0);
  MsgParameter parameters[] = {{"I", "-12"}, {"S", "romupdate.out"}, {"L", "sym"}, {nullptr, "x"}};
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashProgSelftestRev", parameters), 0);
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_COMMAND);
  // No padding of its own: the channel rounds the frame to whole words with zeros.
  std::string body = z("q7340FlashProgSelftestRev") + z("I") + z("-12") + z("S") +
                     z("romupdate.out") + z("L") + z("sym");
  EXPECT_EQ(request.body, body + std::string(4 - body.size() % 4, '\0'));
  EXPECT_EQ(err->text(), "");
}

TEST_F(MsgTest, UnloadCommandBodyIsTwentyOneBytes) {
  start();
  MsgParameter parameters[] = {{"S", "romupdate.out"}, {nullptr, nullptr}};
  EXPECT_EQ(q7340MsgCmdXeq(channel, "unld", parameters), 0);
  SentRequest request = onlySent();
  EXPECT_EQ(request.body, std::string("unld\0S\0romupdate.out\0\0\0\0", 24));
  // The frame's size word says 24: the channel's own rounding of the 21 bytes.
  EXPECT_EQ(module().state().frames.back().payload.size(), 6u);
}

TEST_F(MsgTest, OnlyTenPairsAreSentAndTheEleventhIsNotLookedAt) {
  start();
  std::vector<std::string> values;
  for (int i = 0; i < 11; ++i) values.push_back(std::to_string(i));
  std::vector<MsgParameter> parameters;
  for (const std::string& value : values) parameters.push_back({"I", value.c_str()});
  parameters.back() = {"x", ""};  // the eleventh would be refused twice over
  parameters.push_back({nullptr, nullptr});
  EXPECT_EQ(q7340MsgCmdXeq(channel, "f", parameters.data()), 0);
  std::string body = z("f");
  for (int i = 0; i < 10; ++i) body += z("I") + z(values[i]);
  body.resize((body.size() + 3) / 4 * 4, '\0');
  EXPECT_EQ(onlySent().body, body);
  EXPECT_EQ(err->text(), "");
}

TEST_F(MsgTest, ATypeIsJudgedByItsFirstCharacterAndSentWhole) {
  start();
  MsgParameter parameters[] = {{"Int", "5"}, {nullptr, nullptr}};
  EXPECT_EQ(q7340MsgCmdXeq(channel, nullptr, parameters), 0);
  EXPECT_EQ(onlySent().body, z("Int") + z("5") + std::string(2, '\0'));  // the channel's rounding
}

TEST_F(MsgTest, ACommandNameThatEndsAtTheBufferEndIsSent) {
  start();
  std::string name(4095, 'n');
  EXPECT_EQ(q7340MsgCmdXeq(channel, name.c_str(), nullptr), 0);
  EXPECT_EQ(onlySent().body, z(name));
  EXPECT_EQ(err->text(), "");
}

// ---- q7340MsgCmdXeq: refusals ----------------------------------------------

struct RefusalCase {
  const char* what;
  size_t nameLength;
  std::vector<MsgParameter> parameters;  // the terminator is added
  const char* message;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }


class CmdXeqRefusalTest : public MsgTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CmdXeqRefusalTest, PrintsItsMessageAndSendsNothing) {
  start();
  const RefusalCase& refusal = GetParam();
  std::string name(refusal.nameLength, 'c');
  std::vector<MsgParameter> parameters = refusal.parameters;
  parameters.push_back({nullptr, nullptr});
  EXPECT_EQ(q7340MsgCmdXeq(channel, name.c_str(), parameters.data()), -1);
  EXPECT_EQ(err->text(), refusal.message);
  EXPECT_EQ(out->text(), "");
  EXPECT_TRUE(sent().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, CmdXeqRefusalTest,
    ::testing::Values(
        RefusalCase{"NameOf4096", 4096, {}, "q7340MsgCmdXeq: ERROR command name too long, 4096 \n"},
        RefusalCase{"LowerCaseType", 4, {{"I", "1"}, {"i", "2"}}, "ERROR: invalid parameter type i \n"},
        RefusalCase{"EmptyValue", 4, {{"S", ""}}, "ERROR: invalid parameter\n"},
        RefusalCase{"MissingValue", 4, {{"S", nullptr}}, "ERROR: invalid parameter\n"},
        // 4094 + 1 bytes of name leave one byte: the type and its zero byte do not fit.
        RefusalCase{"TypeDoesNotFit", 4094, {{"I", "1"}}, "ERROR: message is too long\n"},
        // 4093 + 1 + 2 bytes leave none for the value.
        RefusalCase{"ValueDoesNotFit", 4093, {{"I", "1"}}, "ERROR: message is too long\n"}),
    [](const auto& info) { return std::string(info.param.what); });

// ---- q7340MsgCmdXeq: the reply wait ----------------------------------------

TEST_F(MsgTest, RebootIsNotAwaitedWhateverTheCommandWait) {
  start();
  loadLibraries();
  ASSERT_EQ(q7340MsgCmdTimeoutGet(), 60);
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgCmdXeq(channel, "reboot", nullptr), 0);
  EXPECT_LT(elapsedSeconds() - begin, 0.01);
  EXPECT_EQ(out->text(), "");
  sleepMilliseconds(10);
  EXPECT_EQ(module().log().back(), "reboot");
}

TEST_F(MsgTest, ANameThatOnlyBeginsWithRebootIsAwaited) {
  start();
  loadLibraries();
  // The module knows no such function and answers -1 within the wait.
  EXPECT_EQ(q7340MsgCmdXeq(channel, "rebootx", nullptr), -1);
  EXPECT_EQ(payloadInLen, 4);
  EXPECT_EQ(out->text(), "");
}

TEST_F(MsgTest, ACommandWaitsForItsReplyUpToTheCommandWait) {
  sim::module::ModuleConfig config;
  config.faults.lateCommands = {{"q7340FlashProgSelftestRev", 59.5}};
  config.faults.silentCommands = {"q7340FlashGetSelftestRev"};
  start(config);
  loadLibraries();
  MsgParameter parameters[] = {{"I", "10900"}, {nullptr, nullptr}};
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashProgSelftestRev", parameters), 0);
  EXPECT_EQ(module().log().back(), "selftest-rev 10900");
  EXPECT_EQ(out->text(), "");
  q7340MsgCmdTimeoutSet(3);
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgCmdXeq(channel, "q7340FlashGetSelftestRev", nullptr), -1);
  double waited = elapsedSeconds() - begin;
  EXPECT_GT(waited, 3.0);
  EXPECT_LT(waited, 3.01);
  EXPECT_EQ(out->text(), "ERROR: no response, time out\n");
}

// ---- q7340MsgReboot ---------------------------------------------------------

TEST_F(MsgTest, RebootWithLimitZeroReturnsRightAfterTheSend) {
  start();
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgReboot(channel, 0), 0);
  EXPECT_LT(elapsedSeconds() - begin, 0.001);
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_REBOOT);
  EXPECT_EQ(request.body, "");
  EXPECT_EQ(module().log(), std::vector<std::string>{"reboot"});
}

TEST_F(MsgTest, RebootWaitsForTheModuleToComeBack) {
  sim::module::ModuleConfig config;
  config.bootTime = 3.0;
  start(config);
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgReboot(channel, 35), 0);
  double waited = elapsedSeconds() - begin;
  // The boot runs from the request's arrival; the ready bit is polled every 10 ms.
  EXPECT_GT(waited, 3.0);
  EXPECT_LT(waited, 3.05);
  EXPECT_EQ(vxi->block->read16(LWF_REG_STATUS) & 1, 1);
}

TEST_F(MsgTest, RebootGivesTheModuleOneSecondBeforeLookingAtTheReadyBit) {
  sim::module::ModuleConfig config;
  config.bootTime = 0.2;  // back before the second is over
  start(config);
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgReboot(channel, 35), 0);
  double waited = elapsedSeconds() - begin;
  EXPECT_GE(waited, 1.0);
  EXPECT_LT(waited, 1.05);
}

TEST_F(MsgTest, RebootOfAModuleThatNeverComesBackFailsAfterTheLimit) {
  sim::module::ModuleConfig config;
  config.faults.rebootNeverCompletes = true;
  start(config);
  double begin = elapsedSeconds();
  EXPECT_LT(q7340MsgReboot(channel, 5), 0);
  double waited = elapsedSeconds() - begin;
  EXPECT_GT(waited, 6.0);
  EXPECT_LT(waited, 6.05);
  EXPECT_EQ(out->text(), "");
  EXPECT_EQ(err->text(), "");
}

}  // namespace
