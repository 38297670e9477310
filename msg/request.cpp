// Requests and replies: send one request and wait for its one reply, execute
// a named module function with typed parameters, and ask for a reboot.
#include <cstring>

#include "common/clock.h"
#include "common/console.h"
#include "msg/exchange.h"
#include "msg/msg.h"

uint8_t msgBufOut[MSG_BUFFER_SIZE];
uint8_t msgBufIn[MSG_BUFFER_SIZE];
int32_t msgCmdTimeout = 0;
uint8_t romRevBuf[MSG_ROM_REVISION_AREA];
int32_t msgTagIn = 0;
int32_t payloadInLen = 0;
const void* payload_p = nullptr;
int32_t msgReplyOwed = 0;

namespace {

int32_t readReply(LwfChannel* channel) {
  return lwf_read(channel, MSG_BUFFER_SIZE, &msgTagIn, &payloadInLen, msgBufIn, 0);
}

// Appends a text and its zero byte to msgBufOut when it ends within the buffer.
bool appendText(int32_t* position, const char* text) {
  size_t length = std::strlen(text);
  if (*position + length >= static_cast<size_t>(MSG_BUFFER_SIZE)) return false;
  std::memcpy(msgBufOut + *position, text, length + 1);
  *position += static_cast<int32_t>(length) + 1;
  return true;
}

}  // namespace

int32_t q7340MsgSendWait(LwfChannel* channel, int32_t tag, const void* body, int32_t length,
                         int32_t waitSeconds) {
  if (msg_detail::sendRequest(channel, tag, body, length) != 0) return -1;
  if (waitSeconds == 0) {
    msgReplyOwed = 1;
    return 0;
  }
  payloadInLen = 0;
  int32_t status =
      msg_detail::awaitReply(channel, tag, waitSeconds, readReply, false, "q7340MsgSendWait");
  if (status == LWF_NOT_YET) {
    std::fprintf(consoleOut, "ERROR: no response, time out\n");
    return -1;
  }
  if (payloadInLen == 4) {
    int32_t value;
    std::memcpy(&value, msgBufIn, 4);
    return value;
  }
  return status;
}

int32_t q7340MsgCmdXeq(LwfChannel* channel, const char* name, const MsgParameter* parameters) {
  int32_t length = 0;
  if (name != nullptr && !appendText(&length, name)) {
    std::fprintf(consoleErr, "q7340MsgCmdXeq: ERROR command name too long, %d \n",
                 static_cast<int>(std::strlen(name)));
    return -1;
  }
  for (int32_t i = 0; parameters != nullptr && i < MSG_MAX_PARAMETERS; ++i) {
    const MsgParameter& parameter = parameters[i];
    if (parameter.type == nullptr) break;
    char type = parameter.type[0];
    if (type != 'I' && type != 'L' && type != 'S') {
      std::fprintf(consoleErr, "ERROR: invalid parameter type %c \n", type);
      return -1;
    }
    if (!appendText(&length, parameter.type)) {
      std::fprintf(consoleErr, "ERROR: message is too long\n");
      return -1;
    }
    if (parameter.value == nullptr || parameter.value[0] == '\0') {
      std::fprintf(consoleErr, "ERROR: invalid parameter\n");
      return -1;
    }
    if (!appendText(&length, parameter.value)) {
      std::fprintf(consoleErr, "ERROR: message is too long\n");
      return -1;
    }
  }
  // A rebooting module does not answer.
  static const char reboot[] = "reboot";
  bool isReboot = length >= static_cast<int32_t>(sizeof reboot) &&
                  std::memcmp(msgBufOut, reboot, sizeof reboot) == 0;
  return q7340MsgSendWait(channel, MSG_TAG_COMMAND, msgBufOut, length,
                          isReboot ? 0 : msgCmdTimeout);
}

int32_t q7340MsgCmdTimeoutSet(int32_t seconds) {
  msgCmdTimeout = seconds;
  return 0;
}

int32_t q7340MsgCmdTimeoutGet() { return msgCmdTimeout; }

int32_t q7340MsgReboot(LwfChannel* channel, int32_t limitSeconds) {
  int32_t status = q7340MsgSendWait(channel, MSG_TAG_REBOOT, nullptr, 0, 0);
  if (status != 0 || limitSeconds == 0) return status;
  // The module needs a moment before its ready bit means anything again.
  double sent = elapsedSeconds();
  while (elapsedSeconds() - sent < 1.0) sleepMilliseconds(200);
  if (lwf_wait_ready(channel, limitSeconds) != LWF_OK) return -1;
  msgReplyOwed = 0;  // a rebooted module has nothing left to answer
  return 0;
}

int32_t q7340MsgEmpty(LwfChannel* channel) {
  return q7340MsgSendWait(channel, MSG_TAG_EMPTY, nullptr, 0, MSG_REPLY_WAIT);
}
