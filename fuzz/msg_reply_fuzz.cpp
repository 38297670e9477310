// Fuzz target: arbitrary replies from the module to the ROM revision query
// (getRomRevs) and to a file read (q7340MsgFileGet).
//
// The module serves neither request until its libraries are loaded, so it
// stays silent and the input's words, queued as its output before the call,
// are the only reply the host sees.
//
// Input: byte 0 chooses the call (bit 0) and whether the words go out as one
// well-formed reply frame (bit 1) or raw; bytes 1-2 the revision count or the
// destination's capacity; then the words (little-endian).
//
// Checks: the cache invariants; getRomRevs leaves the array untouched when it
// fails and otherwise reports the reply's words; q7340MsgFileGet never writes
// past its capacity, and what it reports read is the reply's bytes in order.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/sim_harness.h"
#include "msg/msg.h"

using fuzz::fail;
using fuzz::harness;

namespace {

constexpr int32_t SENTINEL = 0x5A5A5A5A;
constexpr uint32_t NEWER_OS_GENERATION = 120000;
constexpr int32_t SELF_TEST_SEGMENT = 4;

LwfChannel* channel = nullptr;

void revisions(const std::vector<uint32_t>& words, bool framed, uint16_t parameter) {
  int32_t count = parameter % 12;
  // Exactly count entries, so that a write past them is caught.
  std::vector<int32_t> revs(count > 0 ? static_cast<size_t>(count) : 1, SENTINEL);
  int32_t result = getRomRevs(channel, revs.data(), count);
  if (result != 0 && result != -1) fail("getRomRevs result");
  if (result != 0) {
    for (int32_t rev : revs)
      if (rev != SENTINEL) fail("getRomRevs failed but changed the revisions");
    return;
  }
  if (!framed) return;
  if (words.size() != static_cast<size_t>(count) + 1 || words[0] != 0)
    fail("getRomRevs accepted a reply of the wrong form");
  for (int32_t i = 0; i < count; ++i) {
    bool selfTest = i == SELF_TEST_SEGMENT && words[1] >= NEWER_OS_GENERATION;
    if (!selfTest && revs[static_cast<size_t>(i)] != static_cast<int32_t>(words[static_cast<size_t>(i) + 1]))
      fail("getRomRevs reports another revision than the module sent");
  }
}

void fileRead(const std::vector<uint32_t>& words, bool framed, uint16_t parameter) {
  int32_t capacity = parameter % 8192;
  std::vector<uint8_t> destination(capacity > 0 ? static_cast<size_t>(capacity) : 1);
  int32_t fileSize = -1;
  int32_t result = q7340MsgFileGet(channel, "fuzz.bin", destination.data(), capacity, &fileSize);
  if (result == -1) return;
  if (result < 0 || result % 4 != 0 || result > capacity) fail("q7340MsgFileGet result");
  if (fileSize < 0 || fileSize > result || result - fileSize >= 4)
    fail("q7340MsgFileGet size does not match the bytes read");
  if (!framed) return;
  if (words.size() < 2 || words[0] != 0 || static_cast<int32_t>(words[1]) != fileSize)
    fail("q7340MsgFileGet accepted a reply of the wrong form");
  if (words.size() < 2 + static_cast<size_t>(result) / 4)
    fail("q7340MsgFileGet reports more bytes than the reply holds");
  // The file's bytes follow the two status words, most significant byte first.
  for (int32_t i = 0; i < result; ++i) {
    uint32_t word = words[2 + static_cast<size_t>(i) / 4];
    if (destination[static_cast<size_t>(i)] != static_cast<uint8_t>(word >> (24 - 8 * (i % 4))))
      fail("q7340MsgFileGet copied other bytes than the module sent");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  bool readFile = data[0] & 1;
  bool framed = data[0] & 2;
  uint16_t parameter = static_cast<uint16_t>(data[1] | (data[2] << 8));
  std::vector<uint32_t> words((size - 3) / 4);
  if (!words.empty()) std::memcpy(words.data(), data + 3, words.size() * 4);

  channel = fuzz::freshChannel(channel);
  sim::module::Q7340Module& module = harness().block->module();
  if (framed)
    module.queueFrame16(readFile ? MSG_TAG_FILE_READ : MSG_TAG_ROM_REVISIONS, words);
  else
    module.queueWords16(words);

  if (readFile)
    fileRead(words, framed, parameter);
  else
    revisions(words, framed, parameter);
  fuzz::checkCache(channel);
  return 0;
}
