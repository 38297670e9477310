// Pieces shared by the channel's start, send and receive files.
#pragma once

#include <cstdint>
#include <cstring>

#include "lwf/lwf.h"

namespace lwf_detail {

inline bool isStreamKind(int32_t kind) { return kind >= LWF_STREAM && kind <= LWF_STREAM_TX_BARE; }
inline bool is32BitReceiveKind(int32_t kind) { return kind == LWF_RX32 || kind == LWF_RX32_CTL; }
inline bool isReceivingKind(int32_t kind) {
  return kind == LWF_CMD || is32BitReceiveKind(kind) || kind == LWF_STREAM || kind == LWF_STREAM_RX;
}
inline bool isSendingKind(int32_t kind) {
  return kind == LWF_CMD || kind == LWF_TX32 || kind == LWF_STREAM || kind == LWF_STREAM_TX ||
         kind == LWF_STREAM_TX_BARE;
}

// A host-order 32-bit word of the cache (which need not be aligned).
inline int32_t wordAt(const uint8_t* place) {
  int32_t value;
  std::memcpy(&value, place, sizeof value);
  return value;
}

// A count register's value in bytes: the product is formed in 16 bits, signed.
inline int32_t countInBytes(uint16_t count, int32_t fifoWidth) {
  return static_cast<int16_t>(static_cast<uint16_t>(count * fifoWidth));
}

// Reads the channel's receive count register and turns it into bytes.
int32_t receiveCountBytes(LwfChannel* channel);

// Reads the 32-bit register at 0x3C with the device's access32 set for this
// one read.
uint32_t readRxAvail(LwfChannel* channel);

// Empties the cache: read and write positions at its start, nothing cached.
void emptyCache(LwfChannel* channel);

// Copies words with the bytes of each reversed (0,1,2,3 -> 3,2,1,0).
void copyReversedWords(uint8_t* destination, const uint8_t* source, int32_t words);

// A payload size from the module that no exchange of this system produces.
inline bool payloadSizeIsBad(int32_t size) { return size < 0 || size > LWF_MAX_PAYLOAD; }

}  // namespace lwf_detail
