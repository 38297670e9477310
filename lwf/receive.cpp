// Receiving: the module's outgoing FIFO moves into a growing host cache, and
// complete frames are handed to the callers in arrival order. Nothing is read
// in the background: bytes come in only inside these operations, or while a
// send waits for room.
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "common/clock.h"
#include "common/console.h"
#include "lwf/internal.h"

using namespace lwf_detail;

namespace {

// Bytes from one FIFO count that an opportunistic read needs before it moves
// anything: one header.
constexpr int32_t MIN_OPPORTUNISTIC_READ = 8;

uintptr_t address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// Reports a bad payload and empties the cache. lwf_pump gives the cache's
// state as well, after flushing standard output so that the lines stay in
// order on a terminal.
int32_t badPayload(LwfChannel* channel, const char* operation, int32_t tag, int32_t size) {
  if (std::strcmp(operation, "lwf_pump") == 0) {
    std::fflush(consoleOut);
    std::fprintf(consoleErr, "lwf_pump: bad payload (tag=0x%x, size=%d)\n",
                 static_cast<unsigned>(tag), size);
    std::fprintf(consoleErr,
                 "lwf_pump: bad payload cacheReadPtr=0x%" PRIxPTR ", cacheBytesAvail=0x%x (%d),"
                 " sum=0x%" PRIxPTR "\n",
                 address(channel->cacheReadPtr), static_cast<unsigned>(channel->cacheBytesAvail),
                 channel->cacheBytesAvail,
                 address(channel->cacheReadPtr) + static_cast<uintptr_t>(channel->cacheBytesAvail));
    std::fprintf(consoleErr,
                 "lwf_pump: bad payload cacheBase=0x%" PRIxPTR ", cacheSize=0x%x (%d),"
                 " sum=0x%" PRIxPTR "\n",
                 address(channel->cacheBase), static_cast<unsigned>(channel->cacheSize),
                 channel->cacheSize,
                 address(channel->cacheBase) + static_cast<uintptr_t>(channel->cacheSize));
  } else {
    std::fprintf(consoleErr, "%s: bad payload (tag=%d, size=%d)\n", operation, tag, size);
  }
  emptyCache(channel);
  return LWF_ERROR;
}

// The header at the read position. The caller has made sure 8 bytes are cached.
void readHeader(const LwfChannel* channel, int32_t* size, int32_t* tag) {
  *size = wordAt(channel->cacheReadPtr);
  *tag = wordAt(channel->cacheReadPtr + 4);
}

// A word of value 1 where a header is expected is a marker: drop it, at most
// one per call, and only when at least 12 bytes are cached.
void dropMarker(LwfChannel* channel) {
  if (channel->cacheBytesAvail >= 12 && wordAt(channel->cacheReadPtr) == 1) {
    channel->cacheReadPtr += 4;
    channel->cacheBytesAvail -= 4;
  }
}

// Moves the live bytes to the start of the cache.
void compact(LwfChannel* channel) {
  if (channel->cacheReadPtr == channel->cacheBase) return;
  std::memmove(channel->cacheBase, channel->cacheReadPtr,
               static_cast<size_t>(channel->cacheBytesAvail));
  channel->cacheReadPtr = channel->cacheBase;
  channel->cacheWritePtr = channel->cacheBase + channel->cacheBytesAvail;
}

// Grows the cache, in steps of 16 x rxMinFree, when it has less room than
// wanted or than rxMinFree.
int32_t grow(LwfChannel* channel, int32_t want) {
  int64_t free = int64_t{channel->cacheSize} - channel->cacheBytesAvail;
  if (free >= want && free >= channel->rxMinFree) return LWF_OK;
  int64_t step = int64_t{16} * channel->rxMinFree;
  int64_t newSize = ((int64_t{want} + channel->cacheBytesAvail) / step + 1) * step;
  if (newSize > INT32_MAX) return LWF_NO_MEMORY;
  auto* grown = static_cast<uint8_t*>(std::realloc(channel->cacheBase, static_cast<size_t>(newSize)));
  if (grown == nullptr) return LWF_NO_MEMORY;
  channel->cacheBase = grown;
  channel->cacheReadPtr = grown;
  channel->cacheWritePtr = grown + channel->cacheBytesAvail;
  channel->cacheSize = static_cast<int32_t>(newSize);
  return LWF_OK;
}

int32_t readFifo(LwfChannel* channel, int32_t bytes) {
  int32_t status = vxiPeekFifo(channel->device, channel->rxFifoReg,
                               static_cast<uint32_t>(channel->fifoWidth), channel->cacheWritePtr,
                               static_cast<uint32_t>(bytes));
  if (status != 0) return status;
  channel->cacheWritePtr += bytes;
  channel->cacheBytesAvail += bytes;
  return LWF_OK;
}

// Reads in portions as the module's count allows, until `want` bytes came or
// nothing came for rxTimeout seconds. Four polls without a sleep, then 1 ms.
int32_t receivePortions(LwfChannel* channel, int32_t want) {
  double lastProgress = elapsedSeconds();
  int32_t idlePasses = 0;
  while (want > 0) {
    int32_t available = receiveCountBytes(channel);
    int64_t room = channel->cacheBase + channel->cacheSize - channel->cacheWritePtr;
    int64_t portion = available;
    if (room < portion) portion = room;
    if (want < portion) portion = want;
    portion -= portion % 4;
    if (portion > 0) {
      int32_t status = readFifo(channel, static_cast<int32_t>(portion));
      if (status != 0) return status;
      want -= static_cast<int32_t>(portion);
      lastProgress = elapsedSeconds();
      idlePasses = 0;
    } else if (idlePasses > 3) {
      sleepMilliseconds(1);
      idlePasses = 0;
    } else {
      ++idlePasses;
    }
    if (elapsedSeconds() - lastProgress > channel->rxTimeout) return LWF_RECEIVE_TIMEOUT;
  }
  return LWF_OK;
}

int32_t roundUpToWords(int32_t size) { return (size + 3) & ~3; }

// Completes the frame at the read position; operation names the caller in a
// bad-payload report.
int32_t fillFrame(LwfChannel* channel, const char* operation) {
  if (channel->cacheBytesAvail < 12) {
    int32_t status = lwf_receive(channel, 0);
    if (status != 0) return status;
    if (channel->cacheBytesAvail < 12) return LWF_OK;
  }
  dropMarker(channel);
  int32_t size, tag;
  readHeader(channel, &size, &tag);
  if (payloadSizeIsBad(size)) return badPayload(channel, operation, tag, size);
  // The module sends whole words, so a frame of part words ends at its size
  // rounded up: wait for that much, and its completion reports it as the bad
  // payload it is instead of failing on every call.
  int32_t missing = roundUpToWords(size) + 8 - channel->cacheBytesAvail;
  return missing > 0 ? lwf_receive(channel, missing) : LWF_OK;
}

// A complete frame must hold whole words: taking off any other length would
// leave the read position inside a word, every later header would be read
// from the wrong place, and the FIFO would be read into misaligned memory.
bool holdsWholeWords(int32_t size) { return size % 4 == 0; }

// The frame at the read position once it is complete: LWF_OK with its size
// and tag, -4 while it is not, -1 after a bad payload.
int32_t completeFrame(LwfChannel* channel, const char* operation, int32_t* size, int32_t* tag) {
  if (channel->cacheBytesAvail < 8) return LWF_NOT_YET;
  readHeader(channel, size, tag);
  if (payloadSizeIsBad(*size)) return badPayload(channel, operation, *tag, *size);
  if (*size + 8 > channel->cacheBytesAvail) return LWF_NOT_YET;
  if (!holdsWholeWords(*size)) return badPayload(channel, operation, *tag, *size);
  return LWF_OK;
}

// Copies bytes out of the cache: in byte-stream mode (data width 4) whole
// words with their bytes reversed, otherwise the bytes unchanged.
void copyOut(void* destination, const uint8_t* source, int32_t bytes, int32_t dataWidth) {
  if (dataWidth == 4)
    copyReversedWords(static_cast<uint8_t*>(destination), source, bytes / 4);
  else
    std::memcpy(destination, source, static_cast<size_t>(bytes));
}

// Takes the frame of the given size off and checks that the cache is still sound.
int32_t takeOff(LwfChannel* channel, const char* operation, int32_t size, int32_t tag) {
  channel->cacheBytesAvail -= size + 8;
  if (channel->cacheBytesAvail < 0) return badPayload(channel, operation, tag, size);
  channel->cacheReadPtr += size + 8;
  if (channel->cacheBytesAvail > 7 &&
      address(channel->cacheReadPtr) + static_cast<uintptr_t>(channel->cacheBytesAvail) >
          address(channel->cacheBase) + static_cast<uintptr_t>(channel->cacheSize))
    return badPayload(channel, operation, tag, size);
  return LWF_OK;
}

int32_t checkReceiver(const LwfChannel* channel) {
  if (channel == nullptr) return LWF_ERROR;
  if (!isReceivingKind(channel->kind)) return LWF_NO_RECEIVE_SIDE;
  return LWF_OK;
}

}  // namespace

namespace lwf_detail {

void copyReversedWords(uint8_t* destination, const uint8_t* source, int32_t words) {
  if (destination == nullptr || source == nullptr) return;
  for (int32_t i = 0; i < words; ++i, source += 4, destination += 4) {
    destination[0] = source[3];
    destination[1] = source[2];
    destination[2] = source[1];
    destination[3] = source[0];
  }
}

}  // namespace lwf_detail

int32_t lwf_receive(LwfChannel* channel, int32_t want) {
  int32_t status = checkReceiver(channel);
  if (status != LWF_OK) return status;
  if (isStreamKind(channel->kind)) return want == 0 ? LWF_OK : LWF_RECEIVE_TIMEOUT;
  bool portions = channel->kind == LWF_CMD;
  if (want == 0) {
    if (is32BitReceiveKind(channel->kind)) {
      uint32_t waiting = readRxAvail(channel);
      if (waiting == 0) return LWF_OK;
      portions = (waiting & 0x80000000u) != 0;
      waiting &= 0x7FFFFFFFu;
      // More than any frame of this system can hold: the register is not sane.
      if (waiting > uint32_t{LWF_MAX_PAYLOAD} + 8) return LWF_ERROR;
      want = static_cast<int32_t>(waiting);
    } else {
      int32_t bytes = receiveCountBytes(channel);
      if (bytes < MIN_OPPORTUNISTIC_READ) return LWF_OK;
      want = bytes - bytes % 4;
    }
  }
  if (want < 0 || want % 4 != 0) return LWF_ERROR;
  compact(channel);
  status = grow(channel, want);
  if (status != LWF_OK) return status;
  if (!portions) return readFifo(channel, want);
  return receivePortions(channel, want);
}

int32_t lwf_fill(LwfChannel* channel) { return fillFrame(channel, "lwf_fill"); }

int32_t lwf_read(LwfChannel* channel, int32_t capacity, int32_t* tagOut, int32_t* sizeOut,
                 void* destination, int32_t dataWidth) {
  int32_t status = checkReceiver(channel);
  if (status != LWF_OK) return status;
  if (destination == nullptr || capacity <= 0) return LWF_ERROR;
  if ((status = fillFrame(channel, "lwf_read")) != 0) return status;
  int32_t size, tag;
  if ((status = completeFrame(channel, "lwf_read", &size, &tag)) != LWF_OK) return status;
  int32_t copied = size;
  if (tagOut != nullptr) {
    copied = size < capacity ? size : capacity;
    if (copied > 0) copyOut(destination, channel->cacheReadPtr + 8, copied, dataWidth);
    *tagOut = tag;
  }
  if (sizeOut != nullptr) *sizeOut = copied;
  return takeOff(channel, "lwf_read", size, tag);
}

int32_t lwf_read_words(LwfChannel* channel, int32_t capacity, int32_t* tag, int32_t* size,
                       void* destination) {
  return lwf_read(channel, capacity, tag, size, destination, 0);
}

int32_t lwf_readoffset(LwfChannel* channel, int32_t length, int32_t offset, void* destination,
                       int32_t dataWidth) {
  int32_t status = checkReceiver(channel);
  if (status != LWF_OK) return status;
  if (destination == nullptr || length == 0 || length % 4 != 0) return LWF_ERROR;
  if ((status = fillFrame(channel, "lwf_readoffset")) != 0) return status;
  int32_t size, tag;
  if ((status = completeFrame(channel, "lwf_readoffset", &size, &tag)) != LWF_OK) return status;
  // Unsigned, and in 64 bits so that a large offset cannot wrap past the test.
  if (uint64_t{static_cast<uint32_t>(length)} + static_cast<uint32_t>(offset) >
      static_cast<uint32_t>(size))
    return LWF_BEYOND_PAYLOAD;
  copyOut(destination, channel->cacheReadPtr + 8 + static_cast<uint32_t>(offset),
          static_cast<int32_t>(static_cast<uint32_t>(length)), dataWidth);
  return takeOff(channel, "lwf_readoffset", size, tag);
}

int32_t lwf_peek(LwfChannel* channel, int32_t* tagOut, int32_t* sizeOut, const void** payloadOut) {
  int32_t status = checkReceiver(channel);
  if (status != LWF_OK) return status;
  bool complete = false;
  if (channel->cacheBytesAvail >= 12) {
    dropMarker(channel);
    int32_t size = wordAt(channel->cacheReadPtr);
    complete = !payloadSizeIsBad(size) && channel->cacheBytesAvail >= size + 8;
  }
  if (!complete) {
    if ((status = fillFrame(channel, "lwf_peek")) != 0) return status;
    if (channel->cacheBytesAvail < 12) return LWF_NOT_YET;
  }
  int32_t size, tag;
  readHeader(channel, &size, &tag);
  if (size == 1) std::fprintf(consoleOut, "PEEK payload size = 1\n");
  if (payloadSizeIsBad(size)) return badPayload(channel, "lwf_peek", tag, size);
  if (size + 8 > channel->cacheBytesAvail) return LWF_NOT_YET;
  if (!holdsWholeWords(size)) return badPayload(channel, "lwf_peek", tag, size);
  if (tagOut != nullptr) *tagOut = tag;
  if (sizeOut != nullptr) *sizeOut = size;
  if (payloadOut != nullptr) *payloadOut = channel->cacheReadPtr + 8;
  return LWF_OK;
}

int32_t lwf_dispose(LwfChannel* channel) {
  if (channel == nullptr) return LWF_ERROR;
  // Only a complete frame of whole words can be taken off; anything else
  // would break the cache.
  if (channel->cacheBytesAvail < 8) return LWF_ERROR;
  int32_t size = wordAt(channel->cacheReadPtr);
  if (size == 1) std::fprintf(consoleOut, "DISPOSE: payloadSize= 1\n");
  if (payloadSizeIsBad(size) || size + 8 > channel->cacheBytesAvail || !holdsWholeWords(size))
    return LWF_ERROR;
  channel->cacheReadPtr += size + 8;
  channel->cacheBytesAvail -= size + 8;
  return LWF_OK;
}

int32_t lwf_ready(LwfChannel* channel) {
  int32_t status = checkReceiver(channel);
  if (status != LWF_OK) return status;
  if ((status = fillFrame(channel, "lwf_ready")) != 0) return status;
  int32_t size, tag;
  status = completeFrame(channel, "lwf_ready", &size, &tag);
  if (status == LWF_NOT_YET) return 0;
  return status == LWF_OK ? 1 : status;
}

int32_t lwf_pump(LwfChannel* channel) {
  int32_t status = checkReceiver(channel);
  if (status != LWF_OK) return status;
  if (channel->handler == nullptr) return LWF_ERROR;
  if ((status = fillFrame(channel, "lwf_pump")) != 0) return status;
  int32_t count = 0;
  int32_t handlerResult = 0;
  while (handlerResult == 0 && channel->cacheBytesAvail > 7) {
    dropMarker(channel);  // a marker may stand ahead of any frame, not only the first
    int32_t size, tag;
    status = completeFrame(channel, "lwf_pump", &size, &tag);
    if (status == LWF_NOT_YET) return count;
    if (status != LWF_OK) return status;
    const uint8_t* payload = channel->cacheReadPtr + 8;
    if ((status = takeOff(channel, "lwf_pump", size, tag)) != LWF_OK) return status;
    handlerResult = channel->handler(channel, tag, size, payload);
    ++count;
  }
  return count;
}
