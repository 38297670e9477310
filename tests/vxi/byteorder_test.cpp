// Byte-order helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "vxi/vxi.h"

namespace {

TEST(ByteOrder, ExchangeHalves) {
  uint32_t words[2] = {0x11112222, 0xAAAABBBB};
  vxiSwapWords(words, 2);
  EXPECT_EQ(words[0], 0x22221111u);
  EXPECT_EQ(words[1], 0xBBBBAAAAu);

  unsigned char bytes[7] = {0, 1, 2, 3, 4, 5, 6};  // one whole word and three bytes left over
  vxiSwapWordsBytes(bytes + 0, 7);
  const unsigned char expected[7] = {2, 3, 0, 1, 4, 5, 6};
  EXPECT_EQ(memcmp(bytes, expected, 7), 0);
}

TEST(ByteOrder, NetworkOrderWords) {
  uint32_t source[2] = {0x01020304, 0xA0B0C0D0};
  uint32_t destination[2] = {};
  vxiHtonlWords(source, destination, 2);
  const unsigned char expected[8] = {1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0};
  EXPECT_EQ(memcmp(destination, expected, 8), 0);
  uint32_t back[2] = {};
  vxiNtohlWords(destination, back, 2);
  EXPECT_EQ(back[1], 0xA0B0C0D0u);
  vxiHtonlWords(nullptr, destination, 2);  // nothing happens
  vxiHtonlWords(source, nullptr, 2);
  EXPECT_EQ(memcmp(destination, expected, 8), 0);
}

TEST(ByteOrder, DoubleFromTwoWords) {
  EXPECT_EQ(vxiWordsToDouble(0x3FF00000, 0), 1.0);
  EXPECT_EQ(vxiWordsToDouble(0x400921FB, 0x54442D18), 3.141592653589793);
}

}  // namespace
