// Pieces shared by the files of the message services: sending a request and
// waiting for the reply that belongs to it.
#pragma once

#include <cstdint>

#include "lwf/lwf.h"

namespace msg_detail {

constexpr int32_t REPLY_POLL_MS = 2;

// Takes the next frame off the channel, or looks at it in place: 0 with
// msgTagIn and payloadInLen set, -4 while none is complete, else a receive
// error.
typedef int32_t (*ReplyTake)(LwfChannel* channel);

// Sends one request in byte-stream mode. When a reply of an earlier exchange
// may still be on its way (one timed out, or was not waited for), the channel
// is made quiet first (q7340MsgSync), since that reply would carry the same
// tag as the reply to this request: -1 when that fails or the send fails.
int32_t sendRequest(LwfChannel* channel, int32_t tag, const void* body, int32_t length);

// Waits up to waitSeconds for the reply to the request `tag`, polling `take`
// every 2 ms. A reply is known by its tag, which repeats the request's: a frame
// of another tag is a stale reply of an earlier exchange, dropped with a line
// on standard error (with lwf_dispose when `take` left it in place), and the
// wait goes on within the same limit. Returns 0 with the reply taken (or in
// place), the receive error, or -4 after the time-out; the caller prints its
// own time-out line.
int32_t awaitReply(LwfChannel* channel, int32_t tag, int32_t waitSeconds, ReplyTake take,
                   bool leftInPlace, const char* operation);

}  // namespace msg_detail
