// Object modules: download one (from memory or from a host file) under a
// name and start its entry point as a task; load the module-side message
// library; unload a module; the module's self test.
#include <arpa/inet.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "msg/msg.h"
#include "payload/payload.h"

namespace {

// The block holds the three words, both names with their zero bytes, the
// object module and up to three bytes of padding: n + m + size + 30 bytes.
constexpr int64_t BLOCK_SLACK = 30;
// The most zero bytes the padding adds behind the object module.
constexpr size_t PADDING_ROOM = 3;

// A download body under construction in its heap block.
struct DownloadBody {
  uint8_t* block;
  int32_t blockSize;
  int32_t length;
};

bool allocateBody(DownloadBody* body, int64_t size) {
  body->block = nullptr;
  body->length = 0;
  body->blockSize = 0;
  if (size > INT32_MAX) return false;
  body->block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
  body->blockSize = static_cast<int32_t>(size);
  return body->block != nullptr;
}

bool appendWord(DownloadBody* body, int32_t value) {
  if (body->length + 4 >= body->blockSize) return false;
  uint32_t word = htonl(static_cast<uint32_t>(value));
  std::memcpy(body->block + body->length, &word, 4);
  body->length += 4;
  return true;
}

// A missing name adds nothing.
bool appendName(DownloadBody* body, const char* name) {
  if (name == nullptr) return true;
  size_t length = std::strlen(name);
  if (body->length + static_cast<int64_t>(length) >= body->blockSize) return false;
  std::memcpy(body->block + body->length, name, length + 1);
  body->length += static_cast<int32_t>(length) + 1;
  return true;
}

int32_t nameLength(const char* name) {
  return name != nullptr ? static_cast<int32_t>(std::strlen(name)) : 0;
}

// The three words and the two names, with the operation's own messages.
bool appendHeader(DownloadBody* body, const char* operation, const char* moduleName,
                  const char* entryName, int32_t priority, int32_t param1) {
  const char* failedAt = nullptr;
  if (!appendWord(body, param1))
    failedAt = "param1";
  else if (!appendWord(body, priority))
    failedAt = "priority";
  else if (!appendWord(body, MSG_DOWNLOAD_STACK_SIZE))
    failedAt = "stackSize";
  if (failedAt != nullptr) {
    std::fprintf(consoleErr, "%s: ERROR in message at %s\n", operation, failedAt);
    return false;
  }
  if (!appendName(body, moduleName)) {
    std::fprintf(consoleErr, "%s: ERROR target filename too long, %d \n", operation,
                 nameLength(moduleName));
    return false;
  }
  if (!appendName(body, entryName)) {
    std::fprintf(consoleErr, "%s: ERROR target entry point name too long, %d \n", operation,
                 nameLength(entryName));
    return false;
  }
  return true;
}

// Pads with zero bytes to a multiple of 4, sends, frees the block.
int32_t sendBody(LwfChannel* channel, DownloadBody* body) {
  while (body->length % 4 != 0) body->block[body->length++] = 0;
  int32_t result =
      q7340MsgSendWait(channel, MSG_TAG_DOWNLOAD, body->block, body->length, MSG_REPLY_WAIT);
  std::free(body->block);
  return result;
}

}  // namespace

int32_t q7340MsgBufDnldGo(LwfChannel* channel, const void* object, int32_t length,
                          const char* moduleName, const char* entryName, int32_t priority,
                          int32_t param1) {
  static const char operation[] = "q7340MsgBufDnldGo";
  if (nameLength(moduleName) > MSG_MAX_FILE_NAME) {
    std::fprintf(consoleErr, "%s: ERROR target filename too long, %d \n", operation,
                 nameLength(moduleName));
    return -1;
  }
  DownloadBody body{};
  if (length < 0 ||
      !allocateBody(&body, int64_t{nameLength(moduleName)} + nameLength(entryName) + length +
                               BLOCK_SLACK)) {
    std::free(body.block);
    std::fprintf(consoleErr, "%s: ERROR could not malloc space for hostfile\n", operation);
    return -1;
  }
  if (!appendHeader(&body, operation, moduleName, entryName, priority, param1)) {
    std::free(body.block);
    return -1;
  }
  if (length > 0) std::memcpy(body.block + body.length, object, static_cast<size_t>(length));
  body.length += length;
  return sendBody(channel, &body);
}

int32_t q7340MsgDnldGo(LwfChannel* channel, const char* path, const char* moduleName,
                       const char* entryName, int32_t priority, int32_t param1) {
  static const char operation[] = "q7340MsgDnldGo";
  struct stat status;
  if (stat(path, &status) != 0) {
    std::fprintf(consoleErr, "%s: ERROR hostfile, %s, not found\n", operation, path);
    return -1;
  }
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::fprintf(consoleErr, "%s: ERROR could not open hostfile, %s \n", operation, path);
    return -1;
  }
  DownloadBody body{};
  if (!allocateBody(&body, int64_t{nameLength(moduleName)} + nameLength(entryName) +
                               static_cast<int64_t>(status.st_size) + BLOCK_SLACK)) {
    std::free(body.block);
    std::fclose(file);
    std::fprintf(consoleErr, "%s: ERROR could not malloc space for hostfile\n", operation);
    return -1;
  }
  if (!appendHeader(&body, operation, moduleName, entryName, priority, param1)) {
    std::fclose(file);
    std::free(body.block);
    return -1;
  }
  // The rest of the block holds the file size plus 16 bytes. The read stops
  // three bytes short of its end so that the padding always fits: a file that
  // gives more than its size plus 13 bytes (one that grew since its status was
  // taken, or a pipe, whose status says 0 bytes) leaves the end-of-file
  // indicator unset.
  size_t room = static_cast<size_t>(body.blockSize - body.length) - PADDING_ROOM;
  size_t read = std::fread(body.block + body.length, 1, room, file);
  if (!std::feof(file)) {
    std::fprintf(consoleErr, "%s: ERROR reading target file\n", operation);
    std::fclose(file);
    std::free(body.block);
    return -1;
  }
  std::fclose(file);
  body.length += static_cast<int32_t>(read);
  return sendBody(channel, &body);
}

int32_t q7340MsgLibLoad(LwfChannel* channel) {
  q7340MsgCmdTimeoutSet(60);
  const PayloadRecord* library = payloadFind("dldmsgLib.out");
  if (library == nullptr) return -1;
  int32_t result = q7340MsgBufDnldGo(channel, payloadData(library),
                                     static_cast<int32_t>(library->fileSize), library->name,
                                     "dldmsgLibInit", 0, 0);
  return result == 0 ? 0 : -1;
}

int32_t q7340MsgUnld(LwfChannel* channel, const char* moduleName) {
  size_t n = std::strlen(moduleName);
  if (n >= static_cast<size_t>(MSG_BUFFER_SIZE)) {
    std::fprintf(consoleErr, "q7340MsgUnld: ERROR object module name too long, %d \n",
                 static_cast<int>(n));
    return -1;
  }
  int32_t length = static_cast<int32_t>(n) + 1;
  std::memcpy(msgBufOut, moduleName, static_cast<size_t>(length));
  while (length % 4 != 0) msgBufOut[length++] = 0;
  return q7340MsgSendWait(channel, MSG_TAG_FILE_REMOVE, msgBufOut, length, MSG_REPLY_WAIT);
}

int32_t q7340MsgBist(LwfChannel* channel, int32_t param1) {
  uint32_t word = htonl(static_cast<uint32_t>(param1));
  std::memcpy(msgBufOut, &word, 4);
  return q7340MsgSendWait(channel, MSG_TAG_SELF_TEST, msgBufOut, 4, MSG_REPLY_WAIT);
}
