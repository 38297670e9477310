// Channel start and lifecycle: the register map and the kinds table, the
// table of channels, the drain of whatever the module queued before the
// channel started, and the wait for the module's ready bit.
#include <unistd.h>

#include <cstdlib>

#include "common/clock.h"
#include "common/progress.h"
#include "lwf/internal.h"

using namespace lwf_detail;

LwfChannel* lwfChannels[LWF_MAX_CHANNELS];
int32_t lwfChannelsReady = 0;

namespace {

constexpr uint32_t A16_DEVICE_BLOCKS = 0xC000;  // block of LA n at 0xC000 + 64 n
constexpr uint32_t A16_BLOCK_SIZE = 64;
constexpr double FOUR_HOURS = 14400.0;
// A module's outgoing FIFO holds a few kilobytes; a drain that has thrown
// away this much faces a module that never stops sending, and gives up.
constexpr int64_t DRAIN_LIMIT_BYTES = 1 << 20;

int32_t registerChannel(LwfChannel* channel) {
  if (!lwfChannelsReady) {
    for (auto& slot : lwfChannels) slot = nullptr;
    lwfChannelsReady = 1;
  }
  for (auto* slot : lwfChannels)
    if (slot == channel) return LWF_OK;
  for (auto& slot : lwfChannels) {
    if (slot == nullptr) {
      slot = channel;
      return LWF_OK;
    }
  }
  return LWF_ERROR;
}

int32_t unregisterChannel(LwfChannel* channel) {
  if (!lwfChannelsReady) return LWF_ERROR;
  for (auto& slot : lwfChannels)
    if (slot == channel) slot = nullptr;
  return LWF_OK;
}

// The kinds table: registers, FIFO width, limits. Returns false for a kind
// that is not a register kind.
bool applyKind(LwfChannel* channel, uint8_t* block) {
  switch (channel->kind) {
    case LWF_CMD:
      channel->fifoWidth = 2;
      channel->rxFifoReg = block + LWF_REG_FIFO16;
      channel->rxCountReg = block + LWF_REG_RX16_COUNT;
      channel->txFifoReg = block + LWF_REG_FIFO16;
      channel->txCountReg = block + LWF_REG_TX16_COUNT;
      channel->cacheSize = 16384;
      channel->rxMinFree = 1024;
      channel->rxTimeout = FOUR_HOURS;
      channel->txCapacity = 1024;
      channel->txTimeout = FOUR_HOURS;
      return true;
    case LWF_RX32:
    case LWF_RX32_CTL:
      channel->fifoWidth = 4;
      channel->rxFifoReg = block + LWF_REG_FIFO32;
      channel->rxCountReg = block + LWF_REG_RX32_COUNT;
      channel->cacheSize = 32768;
      channel->rxMinFree = 2048;
      channel->rxTimeout = FOUR_HOURS;
      return true;
    case LWF_TX32:
      channel->fifoWidth = 4;
      channel->txFifoReg = block + LWF_REG_FIFO32;
      channel->txCountReg = block + LWF_REG_TX32_COUNT;
      channel->txCapacity = 2048;
      channel->txTimeout = 10.0;
      return true;
    default:
      return false;
  }
}

void writeControl(LwfChannel* channel, uint16_t value) {
  visa().viPoke16(channel->device->sess, channel->statusReg, value);
}

// The start-up reads of the registers at 0x38 and 0x3C; values unused.
void readStartRegisters(LwfChannel* channel) {
  (void)vxiPeek16(channel->device, channel->aux16Reg);
  (void)vxiPeek32(channel->device, channel->rxAvailReg);
}

// Reads bytes from the receive FIFO into the start of the cache, in blocks
// of at most the cache's size; false when a read failed.
bool readAndDrop(LwfChannel* channel, int32_t bytes) {
  while (bytes > 0) {
    int32_t block = bytes < channel->cacheSize ? bytes : channel->cacheSize;
    if (vxiPeekFifo(channel->device, channel->rxFifoReg, static_cast<uint32_t>(channel->fifoWidth),
                    channel->cacheBase, static_cast<uint32_t>(block)) != 0)
      return false;
    bytes -= block;
  }
  return true;
}

int32_t finishDrain(LwfChannel* channel) {
  lwf_detail::emptyCache(channel);
  return LWF_OK;
}

// Throws away what the module queued for the host. The drain ends after the
// count has read 0 three times in a row once the FIFO was emptied.
int32_t lwf_drain(LwfChannel* channel) {
  if (channel->kind != LWF_CMD && !is32BitReceiveKind(channel->kind)) return LWF_OK;
  bool wide = is32BitReceiveKind(channel->kind);
  if (wide) (void)readRxAvail(channel);
  int64_t drained = 0;
  int32_t bytes = receiveCountBytes(channel);
  for (;;) {
    // A negative count, a failed read or the limit ends the drain as well.
    while (bytes > 0) {
      if (drained >= DRAIN_LIMIT_BYTES || !readAndDrop(channel, bytes)) return finishDrain(channel);
      drained += bytes;
      bytes = receiveCountBytes(channel);
    }
    if (bytes != 0) return finishDrain(channel);
    if (wide) (void)readRxAvail(channel);
    if ((bytes = receiveCountBytes(channel)) != 0) continue;
    if ((bytes = receiveCountBytes(channel)) != 0) continue;
    return finishDrain(channel);
  }
}

}  // namespace

namespace lwf_detail {

int32_t receiveCountBytes(LwfChannel* channel) {
  return countInBytes(vxiPeek16(channel->device, channel->rxCountReg), channel->fifoWidth);
}

uint32_t readRxAvail(LwfChannel* channel) {
  int32_t saved = channel->device->access32;
  channel->device->access32 = 1;
  uint32_t value = vxiPeek32(channel->device, channel->rxAvailReg);
  channel->device->access32 = saved;
  return value;
}

void emptyCache(LwfChannel* channel) {
  channel->cacheReadPtr = channel->cacheBase;
  channel->cacheWritePtr = channel->cacheBase;
  channel->cacheBytesAvail = 0;
}

}  // namespace lwf_detail

int32_t lwf_init(VxiDevice* device, int32_t logicalAddress, int32_t kind, LwfHandler handler,
                 LwfChannel** channelOut) {
  if (channelOut == nullptr || device == nullptr) return LWF_ERROR;
  // The register block must lie inside the device's window, mapped from bus
  // address 0: logical addresses 0 to 255 fill 0xC000 to 0xFFFF.
  if (device->mapAddress == nullptr || device->mapOffset != 0 || logicalAddress < 0 ||
      logicalAddress > 255 ||
      device->mapSize < A16_DEVICE_BLOCKS + A16_BLOCK_SIZE * (logicalAddress + 1))
    return LWF_ERROR;

  auto* channel = static_cast<LwfChannel*>(std::calloc(1, sizeof(LwfChannel)));
  if (channel == nullptr) return LWF_NO_MEMORY;
  uint8_t* block = static_cast<uint8_t*>(device->mapAddress) + A16_DEVICE_BLOCKS +
                   A16_BLOCK_SIZE * static_cast<uint32_t>(logicalAddress);
  channel->kind = kind;
  channel->handler = handler;
  channel->device = device;
  channel->logicalAddress = logicalAddress;
  channel->statusReg = block + LWF_REG_STATUS;
  channel->aux16Reg = block + LWF_REG_AUX16;
  channel->rxAvailReg = block + LWF_REG_RX_AVAIL;
  channel->swapWords = device->swapWords;

  readStartRegisters(channel);
  if (!applyKind(channel, block)) {
    std::free(channel);
    return LWF_BAD_KIND;
  }
  if (kind == LWF_RX32_CTL) writeControl(channel, 8);

  if (channel->cacheSize > 0) {
    channel->cacheBase = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(channel->cacheSize)));
    if (channel->cacheBase == nullptr) {
      std::free(channel);
      return LWF_NO_MEMORY;
    }
  }
  if (registerChannel(channel) != LWF_OK) {
    std::free(channel->cacheBase);
    std::free(channel);
    return LWF_ERROR;
  }
  emptyCache(channel);
  (void)lwf_drain(channel);
  *channelOut = channel;
  return LWF_OK;
}

int32_t lwf_init_stream(int32_t descriptor, int32_t kind, LwfHandler handler,
                        LwfChannel** channelOut) {
  if (channelOut == nullptr || descriptor <= 0) return LWF_ERROR;
  if (kind != LWF_STREAM && kind != LWF_STREAM_RX && kind != LWF_STREAM_TX_BARE)
    return LWF_BAD_KIND;
  auto* channel = static_cast<LwfChannel*>(std::calloc(1, sizeof(LwfChannel)));
  if (channel == nullptr) return LWF_NO_MEMORY;
  channel->kind = kind;
  channel->handler = handler;
  channel->descriptor = descriptor;
  channel->fifoWidth = 4;
  if (kind != LWF_STREAM_TX_BARE) {
    channel->cacheSize = 4096;
    channel->rxMinFree = 1024;
    channel->cacheBase = static_cast<uint8_t*>(std::malloc(4096));
    if (channel->cacheBase == nullptr) {
      std::free(channel);
      return LWF_NO_MEMORY;
    }
  }
  emptyCache(channel);
  *channelOut = channel;
  return LWF_OK;
}

int32_t lwf_reset(LwfChannel* channel) {
  if (channel == nullptr) return LWF_ERROR;
  if (isStreamKind(channel->kind)) {
    emptyCache(channel);
    return LWF_OK;
  }
  readStartRegisters(channel);
  if (channel->kind == LWF_RX32_CTL) writeControl(channel, 8);
  (void)lwf_drain(channel);
  return LWF_OK;
}

int32_t lwf_free(LwfChannel* channel) {
  if (channel == nullptr) return LWF_OK;
  (void)unregisterChannel(channel);
  if (isStreamKind(channel->kind)) close(channel->descriptor);
  std::free(channel->cacheBase);
  std::free(channel);
  return LWF_OK;
}

int32_t lwf_wait_ready(LwfChannel* channel, int32_t seconds) {
  if (channel == nullptr || channel->device == nullptr) return LWF_ERROR;
  double start = elapsedSeconds();
  for (;;) {
    if (elapsedSeconds() - start > seconds) return LWF_ERROR;
    uint16_t status = vxiPeek16(channel->device, channel->statusReg);
    progressReport({PROGRESS_READY_WAIT, 0, 0, 0, elapsedSeconds() - start, double(seconds)});
    sleepMilliseconds(10);
    if (status & 1) {
      sleepMilliseconds(5);
      return LWF_OK;
    }
  }
}
