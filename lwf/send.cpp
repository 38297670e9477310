// Sending: a frame is assembled in the shared staging buffer and pushed
// through the module's incoming FIFO as fast as the module takes it. While
// the FIFO has too little room, the receive side of every channel of the same
// module goes on being served, and bytes gained there count as progress.
#include <cstdlib>
#include <cstring>

#include "common/clock.h"
#include "common/progress.h"
#include "lwf/internal.h"

using namespace lwf_detail;

LwfStaging lwfStaging = {nullptr, 0};

namespace {

// Partial writes go only when at least this much room is free.
constexpr int32_t MIN_PARTIAL_WRITE = 256;

// Makes the staging buffer hold at least `needed` bytes.
bool reserveStaging(int32_t needed) {
  if (lwfStaging.capacity >= needed) return true;
  std::free(lwfStaging.block);
  lwfStaging.block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(needed) + 8));
  lwfStaging.capacity = lwfStaging.block != nullptr ? needed : 0;
  return lwfStaging.block != nullptr;
}

// Header, payload and zero padding in the staging buffer; in byte-stream mode
// every payload word has its bytes reversed so that the module reads the
// caller's bytes in order.
int32_t buildFrame(int32_t tag, int32_t size, int32_t paddedSize, const void* data,
                   int32_t dataWidth) {
  if (!reserveStaging(paddedSize + 8)) return LWF_NO_MEMORY;
  uint8_t* frame = lwfStaging.block;
  std::memcpy(frame, &paddedSize, 4);
  std::memcpy(frame + 4, &tag, 4);
  uint8_t* payload = frame + 8;
  if (size > 0) std::memcpy(payload, data, static_cast<size_t>(size));
  std::memset(payload + size, 0, static_cast<size_t>(paddedSize - size));
  if (dataWidth == 4) {
    for (int32_t at = 0; at + 4 <= paddedSize; at += 4) {
      uint8_t* word = payload + at;
      uint8_t b0 = word[0], b1 = word[1];
      word[0] = word[3];
      word[1] = word[2];
      word[2] = b1;
      word[3] = b0;
    }
  }
  return LWF_OK;
}

// Room in the module's incoming FIFO, in bytes, rounded toward zero to a
// multiple of 4; negative when the count reads more than the capacity.
int32_t freeRoom(LwfChannel* channel) {
  int32_t queued = countInBytes(vxiPeek16(channel->device, channel->txCountReg), channel->fifoWidth);
  int32_t free = channel->txCapacity - queued;
  return free / 4 * 4;
}

int32_t pushFifo(LwfChannel* channel, uint8_t* from, int32_t bytes) {
  return vxiPokeFifo(channel->device, channel->txFifoReg, static_cast<uint32_t>(channel->fifoWidth),
                     from, static_cast<uint32_t>(bytes));
}

void reportSent(int32_t tag, int32_t done, int32_t frameBytes) {
  progressReport({PROGRESS_FRAME_SENT, tag, done, frameBytes, 0.0, 0.0});
}

int32_t transferFrame(LwfChannel* channel, int32_t tag, int32_t frameBytes) {
  int32_t remaining = frameBytes;
  uint8_t* position = lwfStaging.block;
  double lastProgress = elapsedSeconds();
  int32_t idlePasses = 0;
  for (;;) {
    if (remaining == 0) return LWF_OK;
    int32_t free = freeRoom(channel);
    if (remaining <= free) {
      int32_t status = pushFifo(channel, position, remaining);
      if (status == 0) reportSent(tag, frameBytes, frameBytes);
      return status;
    }
    if (free >= MIN_PARTIAL_WRITE) {
      int32_t status = pushFifo(channel, position, free);
      if (status != 0) return status;
      reportSent(tag, frameBytes - remaining + free, frameBytes);
      remaining -= free;
      position += free;
      lastProgress = elapsedSeconds();
      idlePasses = 0;
    } else {
      int32_t served = lwf_receive_all(channel);
      if (served < 0) return served;
      if (served == 1) lastProgress = elapsedSeconds();
      if (idlePasses > 3) {
        sleepMilliseconds(1);
        idlePasses = 0;
      } else {
        ++idlePasses;
      }
    }
    if (elapsedSeconds() - lastProgress > channel->txTimeout)
      return remaining < frameBytes ? LWF_ERROR : LWF_SEND_TIMEOUT;
  }
}

}  // namespace

int32_t lwf_write(LwfChannel* channel, int32_t tag, int32_t size, const void* data,
                  int32_t dataWidth) {
  if (channel == nullptr) return LWF_ERROR;
  if (!isSendingKind(channel->kind)) return LWF_NO_SEND_SIDE;
  // The frame, header included, must stay countable in 32 bits.
  if (size < 0 || size > INT32_MAX - 16 || (size > 0 && data == nullptr)) return LWF_ERROR;
  if (isStreamKind(channel->kind)) {
    // No transfer over a descriptor exists: the frame is built, not sent.
    int32_t status = buildFrame(tag, size, size, data, dataWidth);
    return status != LWF_OK ? status : LWF_ERROR;
  }
  int32_t paddedSize = (size + 3) / 4 * 4;
  int32_t status = buildFrame(tag, size, paddedSize, data, dataWidth);
  if (status != LWF_OK) return status;
  return transferFrame(channel, tag, paddedSize + 8);
}

int32_t lwf_write_words(LwfChannel* channel, int32_t tag, int32_t size, const void* data) {
  return lwf_write(channel, tag, size, data, 0);
}

int32_t lwf_receive_all(LwfChannel* channel) {
  if (channel == nullptr || !lwfChannelsReady) return LWF_ERROR;
  bool gained = false;
  for (LwfChannel* other : lwfChannels) {
    if (other == nullptr || other->logicalAddress != channel->logicalAddress) continue;
    if (other->kind != LWF_CMD && !is32BitReceiveKind(other->kind)) continue;
    int32_t before = other->cacheBytesAvail;
    int32_t status = lwf_receive(other, 0);
    if (status != 0) return status;
    if (other->cacheBytesAvail > before) gained = true;
  }
  return gained ? 1 : 0;
}
