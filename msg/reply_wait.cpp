// Replies belong to their requests. The module's reply repeats the request's
// tag, so a reply of another tag is stale: an earlier exchange's answer that
// came after its time-out, or the answer to a request of a run that was killed
// while the module was still working on it. Such a reply is dropped. A stale
// reply with the same tag as the one awaited cannot be told apart, so whenever
// one may still be on its way the channel is made quiet first with an empty
// request, which no other exchange uses: once its reply is in, the module has
// answered everything sent before it.
#include <cstdio>

#include "common/clock.h"
#include "common/console.h"
#include "common/progress.h"
#include "msg/exchange.h"
#include "msg/msg.h"

namespace {

int32_t takeWordReply(LwfChannel* channel) {
  return lwf_read(channel, MSG_BUFFER_SIZE, &msgTagIn, &payloadInLen, msgBufIn, 0);
}

}  // namespace

namespace msg_detail {

int32_t sendRequest(LwfChannel* channel, int32_t tag, const void* body, int32_t length) {
  if (msgReplyOwed && q7340MsgSync(channel) != 0) return -1;
  return lwf_write(channel, tag, length, body, 4) == 0 ? 0 : -1;
}

int32_t awaitReply(LwfChannel* channel, int32_t tag, int32_t waitSeconds, ReplyTake take,
                   bool leftInPlace, const char* operation) {
  bool timing = false;
  double start = 0;
  int32_t status = take(channel);
  for (;;) {
    if (status == LWF_OK && msgTagIn != tag) {
      std::fprintf(consoleErr, "%s: stale reply (tag=0x%x) dropped, awaiting the reply to 0x%x\n",
                   operation, static_cast<unsigned>(msgTagIn), static_cast<unsigned>(tag));
      if (leftInPlace) (void)lwf_dispose(channel);
      status = take(channel);
      continue;
    }
    if (status != LWF_NOT_YET) {
      if (status != LWF_OK) msgReplyOwed = 1;  // the reply itself may still come
      return status;
    }
    if (!timing) {
      start = elapsedSeconds();
      timing = true;
    }
    double waited = elapsedSeconds() - start;
    if (waited > waitSeconds) {
      msgReplyOwed = 1;  // it may still come, as the reply to a later request
      return LWF_NOT_YET;
    }
    progressReport({PROGRESS_REPLY_WAIT, tag, 0, 0, waited, double(waitSeconds)});
    sleepMilliseconds(REPLY_POLL_MS);
    status = take(channel);
  }
}

}  // namespace msg_detail

int32_t q7340MsgSync(LwfChannel* channel) {
  if (lwf_write(channel, MSG_TAG_EMPTY, 0, nullptr, 4) != 0) return -1;
  payloadInLen = 0;
  int32_t status = msg_detail::awaitReply(channel, MSG_TAG_EMPTY, MSG_SYNC_WAIT, takeWordReply,
                                          false, "q7340MsgSync");
  if (status == LWF_NOT_YET) std::fprintf(consoleOut, "q7340MsgSync: ERROR no response, time out\n");
  if (status != LWF_OK) return -1;
  msgReplyOwed = 0;
  return 0;
}
