// The ROM revision query: the revisions of the module's segments, and on
// modules whose operating system is of the newer generation the self-test
// revision the module reports.
#include <cstring>

#include "common/console.h"
#include "msg/exchange.h"
#include "msg/msg.h"

namespace {

constexpr uint32_t NEWER_OS_GENERATION = 120000;
constexpr int32_t SELF_TEST_SEGMENT = 4;

int32_t readRevisions(LwfChannel* channel) {
  return lwf_read(channel, MSG_ROM_REVISION_AREA, &msgTagIn, &payloadInLen, romRevBuf, 0);
}

int32_t failed(int32_t shown) {
  std::fprintf(consoleErr, "getRomRevs: ERROR, st = 0x%x\n", static_cast<unsigned>(shown));
  return -1;
}

int32_t revisionWord(int32_t index) {
  int32_t word;
  std::memcpy(&word, romRevBuf + 4 * index, 4);
  return word;
}

}  // namespace

int32_t getRomRevs(LwfChannel* channel, int32_t* revisions, int32_t count) {
  // A failed send shows as the time-out below.
  (void)msg_detail::sendRequest(channel, MSG_TAG_ROM_REVISIONS, nullptr, 0);
  payloadInLen = 0;
  int32_t status = msg_detail::awaitReply(channel, MSG_TAG_ROM_REVISIONS, MSG_REPLY_WAIT,
                                          readRevisions, false, "getRomRevs");
  if (status == LWF_NOT_YET) std::fprintf(consoleOut, "getRomRevs: ERROR no response, time out\n");
  if (status != 0) return failed(status);
  // The status word counts only when the reply holds one.
  if (payloadInLen >= 4 && revisionWord(0) != 0) return failed(revisionWord(0));
  if (count < 1 || payloadInLen / 4 != count + 1) return failed(0);
  for (int32_t i = 0; i < count; ++i) revisions[i] = revisionWord(i + 1);
  // Only an array that has a self-test entry gets one.
  if (static_cast<uint32_t>(revisions[0]) >= NEWER_OS_GENERATION && count > SELF_TEST_SEGMENT)
    revisions[SELF_TEST_SEGMENT] = q7340MsgCmdXeq(channel, "q7340FlashGetSelftestRev", nullptr);
  return 0;
}
