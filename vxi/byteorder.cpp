// Byte-order helpers: exchanging the 16-bit halves of 32-bit words for
// 16-bit moves, network-order conversion of word arrays, and a double from
// two words.
#include <arpa/inet.h>

#include <cstring>

#include "vxi/vxi.h"

void vxiSwapWords(uint32_t* words, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) words[i] = (words[i] << 16) | (words[i] >> 16);
}

// Works byte-wise: a FIFO buffer need not be aligned for 32-bit words.
void vxiSwapWordsBytes(void* buffer, uint32_t byteCount) {
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  for (uint32_t word = 0; word < byteCount / 4; ++word) {
    unsigned char* b = bytes + 4 * word;
    unsigned char first[2] = {b[0], b[1]};
    b[0] = b[2];
    b[1] = b[3];
    b[2] = first[0];
    b[3] = first[1];
  }
}

void vxiHtonlWords(const uint32_t* source, uint32_t* destination, uint32_t count) {
  if (source == nullptr || destination == nullptr) return;
  for (uint32_t i = 0; i < count; ++i) destination[i] = htonl(source[i]);
}

void vxiNtohlWords(const uint32_t* source, uint32_t* destination, uint32_t count) {
  vxiHtonlWords(source, destination, count);
}

double vxiWordsToDouble(uint32_t high, uint32_t low) {
  uint64_t bits = (static_cast<uint64_t>(high) << 32) | low;
  double value;
  memcpy(&value, &bits, sizeof value);
  return value;
}
