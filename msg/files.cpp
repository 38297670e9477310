// Files in the module's file system: write a whole file, read a whole file,
// ask for a file's size, remove a file. Each file travels as one request or
// one reply.
#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "msg/exchange.h"
#include "msg/msg.h"

namespace {

// The file-read reply: status word, size word, then the file bytes.
constexpr int32_t FILE_READ_HEADER = 8;

// Writes a name and its zero byte to msgBufOut when they end within `limit`
// bytes, then zero bytes up to a multiple of 4 when `padded`; the body length,
// or -1 when the name does not fit.
int32_t nameBody(const char* name, int32_t limit, bool padded) {
  int32_t length = 0;
  if (name != nullptr) {
    size_t n = std::strlen(name);
    if (n + 1 > static_cast<size_t>(limit)) return -1;
    std::memcpy(msgBufOut, name, n + 1);
    length = static_cast<int32_t>(n) + 1;
  }
  while (padded && length % 4 != 0) msgBufOut[length++] = 0;
  return length;
}

int32_t nameRequest(LwfChannel* channel, int32_t tag, const char* name, int32_t limit,
                    const char* operation) {
  int32_t length = nameBody(name, limit, true);
  if (length < 0) {
    std::fprintf(consoleErr, "%s: ERROR target filename too long, %d \n", operation,
                 static_cast<int>(std::strlen(name)));
    return -1;
  }
  return q7340MsgSendWait(channel, tag, msgBufOut, length, MSG_REPLY_WAIT);
}

int32_t peekReply(LwfChannel* channel) {
  return lwf_peek(channel, &msgTagIn, &payloadInLen, &payload_p);
}

int32_t replyWord(int32_t index) {
  int32_t word;
  std::memcpy(&word, static_cast<const uint8_t*>(payload_p) + 4 * index, 4);
  return word;
}

}  // namespace

int32_t q7340MsgFilePut(LwfChannel* channel, const char* name, const void* data, int32_t length) {
  size_t n = std::strlen(name);
  if (n > static_cast<size_t>(MSG_MAX_FILE_NAME)) {
    std::fprintf(consoleErr, "q7340MsgFilePut: ERROR target filename too long, %d \n",
                 static_cast<int>(n));
    return -1;
  }
  int64_t bodyLength = int64_t{length} + static_cast<int64_t>(n) + 5;
  int64_t padding = (4 - bodyLength % 4) % 4;
  bodyLength += padding;
  uint8_t* body = nullptr;
  if (length >= 0 && bodyLength <= INT32_MAX)
    body = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bodyLength)));
  if (body == nullptr) {
    std::fprintf(consoleErr, "q7340MsgFilePut: ERROR could not malloc space\n");
    return -1;
  }
  uint32_t lengthWord = htonl(static_cast<uint32_t>(length));
  std::memcpy(body, &lengthWord, 4);
  std::memcpy(body + 4, name, n + 1);
  if (length > 0) std::memcpy(body + 5 + n, data, static_cast<size_t>(length));
  std::memset(body + 5 + n + length, 0x0A, static_cast<size_t>(padding));
  int32_t result = q7340MsgSendWait(channel, MSG_TAG_FILE_WRITE, body,
                                    static_cast<int32_t>(bodyLength), MSG_REPLY_WAIT);
  std::free(body);
  return result;
}

int32_t q7340MsgFileGet(LwfChannel* channel, const char* name, void* destination,
                        int32_t capacity, int32_t* fileSize) {
  *fileSize = 0;
  int32_t length = nameBody(name, MSG_BUFFER_SIZE - FILE_READ_HEADER, false);
  if (length < 0) {
    std::fprintf(consoleErr, "q7340MsgFileGet: ERROR target filename too long, %d \n",
                 static_cast<int>(std::strlen(name)));
    return -1;
  }
  // A failed send shows as the time-out.
  (void)msg_detail::sendRequest(channel, MSG_TAG_FILE_READ, msgBufOut, length);
  int32_t status = msg_detail::awaitReply(channel, MSG_TAG_FILE_READ, MSG_REPLY_WAIT, peekReply,
                                          true, "q7340MsgFileGet");
  if (status == LWF_NOT_YET) {
    std::fprintf(consoleOut, "q7340MsgFileGet: ERROR no response, time out\n");
    return -1;
  }

  if (status == LWF_OK && payloadInLen >= FILE_READ_HEADER && replyWord(0) == 0) {
    int32_t size = replyWord(1);
    *fileSize = size;
    // The size comes from the module: a negative one, or one whose rounding
    // would overflow, is refused like a file larger than the destination.
    int64_t rounded = (int64_t{size} + 3) / 4 * 4;
    if (size >= 0 && destination != nullptr && rounded <= capacity &&
        lwf_readoffset(channel, static_cast<int32_t>(rounded), FILE_READ_HEADER, destination, 4) ==
            LWF_OK)
      return static_cast<int32_t>(rounded);
  }
  // Take the refused reply off the channel; after a receive error there is no
  // complete reply to take, and a read would take the next frame instead.
  if (status == LWF_OK) {
    int32_t dummySize;
    (void)lwf_read(channel, MSG_BUFFER_SIZE, nullptr, &dummySize, msgBufIn, 4);
  }
  std::fprintf(consoleErr, "q7340MsgFileGet: ERROR reading file, st = 0x%x\n",
               static_cast<unsigned>(status));
  return -1;
}

int32_t q7340MsgFileGetSize(LwfChannel* channel, const char* name) {
  return nameRequest(channel, MSG_TAG_FILE_SIZE, name, MSG_BUFFER_SIZE - FILE_READ_HEADER,
                     "q7340MsgFileGetSize");
}

int32_t q7340MsgRm(LwfChannel* channel, const char* name) {
  return nameRequest(channel, MSG_TAG_FILE_REMOVE, name, MSG_BUFFER_SIZE, "q7340MsgRm");
}
