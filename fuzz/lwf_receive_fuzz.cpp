// Fuzz target: whatever the module puts into its outgoing 16-bit FIFO, run
// through the channel's receive operations in an order the input chooses.
//
// Input: byte 0 the number of operations (1 to 16), byte 1 how many words the
// module queues before the first one (x 4), then 4 bytes per operation
// (operation, three parameters), then the module's words (little-endian).
// One operation queues words that the module sends in pieces of 1 to 4
// words, so frames also arrive piecewise while a call waits for them.
//
// After every call it checks the cache invariants, and that the cached bytes
// are exactly the tail of what the module sent; after every frame handed out,
// that it is the frame at the read position (a marker at most skipped) and
// that the copied bytes are the module's.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/sim_harness.h"

using fuzz::fail;
using fuzz::harness;

namespace {

struct Run {
  LwfChannel* channel = nullptr;
  std::vector<uint8_t> sent;   // the module's output this input, as bytes in host order
  uint64_t readsAtStart = 0;   // FIFO data reads made before this input
  size_t readIndex = 0;        // byte in `sent` where cacheReadPtr stands
  int handlerCalls = 0;
  int handlerStopAt = 0;       // the handler asks lwf_pump to stop at this call
};
Run run;

int32_t wordAt(const uint8_t* place) {
  int32_t value;
  std::memcpy(&value, place, 4);
  return value;
}

// Words go out behind those still trickling, so the stream keeps its order.
void queueWords(const uint8_t* data, size_t words, size_t trickleStep = 0) {
  if (words == 0) return;
  std::vector<uint32_t> batch(words);
  std::memcpy(batch.data(), data, words * 4);
  run.sent.insert(run.sent.end(), data, data + words * 4);
  fuzz::CountingModule& block = *harness().block;
  if (trickleStep > 0) block.trickleStep = trickleStep;
  if (trickleStep > 0 || !block.trickle.empty())
    block.trickle.insert(block.trickle.end(), batch.begin(), batch.end());
  else
    block.module().queueWords16(batch);
}

// Checks the cache against the module's output; returns how far the read
// position moved in the stream.
size_t checkStream() {
  const LwfChannel* c = run.channel;
  fuzz::checkCache(c);
  uint64_t transfers = harness().block->fifo16Reads - run.readsAtStart;
  if (transfers % 2 != 0) fail("half a word read from the FIFO");
  uint64_t hostBytes = transfers * 2;
  if (hostBytes > run.sent.size()) fail("more bytes read than the module sent");
  if (static_cast<uint64_t>(c->cacheBytesAvail) > hostBytes) fail("more bytes cached than read");
  size_t index = static_cast<size_t>(hostBytes) - static_cast<size_t>(c->cacheBytesAvail);
  if (index < run.readIndex) fail("the read position went back");
  if (c->cacheBytesAvail > 0 &&
      std::memcmp(c->cacheReadPtr, run.sent.data() + index, static_cast<size_t>(c->cacheBytesAvail)))
    fail("cached bytes differ from what the module sent");
  size_t moved = index - run.readIndex;
  run.readIndex = index;
  return moved;
}

// After a call that took nothing off: the read position moved by a dropped
// marker at most.
void checkNothingTaken(size_t before) {
  size_t moved = checkStream();
  if (moved == 0) return;
  if (moved != 4 || wordAt(run.sent.data() + before) != 1) fail("a frame was lost");
}

// The payload bytes as a call with this data width copies them out.
std::vector<uint8_t> expectedCopy(size_t payloadAt, size_t bytes, int32_t dataWidth) {
  std::vector<uint8_t> expected(run.sent.begin() + static_cast<long>(payloadAt),
                                run.sent.begin() + static_cast<long>(payloadAt + bytes));
  if (dataWidth == 4)
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
      std::swap(expected[i], expected[i + 3]);
      std::swap(expected[i + 1], expected[i + 2]);
    }
  return expected;
}

// After a frame was taken off: it began at `before` or one marker later and
// ended at the new read position. Returns the header's index.
size_t takenFrame(size_t before, int32_t tag, bool tagKnown) {
  size_t after = run.readIndex;
  for (size_t header : {before, before + 4}) {
    if (header != before && wordAt(run.sent.data() + before) != 1) continue;
    if (header + 8 > after) continue;
    int32_t size = wordAt(run.sent.data() + header);
    if (size < 0 || header + 8 + static_cast<size_t>(size) != after) continue;
    if (tagKnown && wordAt(run.sent.data() + header + 4) != tag) continue;
    return header;
  }
  fail("the frame taken off is not the one at the read position");
  return 0;
}

void checkResult(int32_t result, std::initializer_list<int32_t> allowed) {
  for (int32_t code : allowed)
    if (result == code) return;
  fail("unexpected result code");
}

void opRead(uint8_t a, uint8_t b, uint8_t c) {
  int32_t dataWidth = (a & 1) ? 4 : 0;
  bool wantTag = (a & 2) == 0;
  bool wantSize = (a & 4) == 0;
  int32_t capacity = static_cast<int16_t>(b | (c << 8));
  // Exactly the capacity, so that a copy past it is caught.
  std::vector<uint8_t> destination(capacity > 0 ? static_cast<size_t>(capacity) : 1);
  int32_t tag = 0, size = -1;
  size_t before = run.readIndex;
  int32_t result = lwf_read(run.channel, capacity, wantTag ? &tag : nullptr,
                            wantSize ? &size : nullptr, destination.data(), dataWidth);
  checkResult(result, {LWF_OK, LWF_ERROR, LWF_NO_MEMORY, LWF_NOT_YET, LWF_RECEIVE_TIMEOUT});
  if (result != LWF_OK) {
    if (result != LWF_ERROR) checkNothingTaken(before);
    else checkStream();
    return;
  }
  checkStream();
  size_t header = takenFrame(before, tag, wantTag);
  int32_t frameSize = wordAt(run.sent.data() + header);
  if (!wantTag) {
    if (wantSize && size != frameSize) fail("lwf_read without a tag reports another size");
    return;
  }
  int32_t copied = frameSize < capacity ? frameSize : capacity;
  if (wantSize && size != copied) fail("lwf_read reports another byte count");
  size_t compared = dataWidth == 4 ? static_cast<size_t>(copied) / 4 * 4 : static_cast<size_t>(copied);
  if (compared > 0 &&
      std::memcmp(destination.data(), expectedCopy(header + 8, compared, dataWidth).data(), compared))
    fail("lwf_read copied other bytes than the module sent");
}

void opReadOffset(uint8_t a, uint8_t b, uint8_t c) {
  int32_t dataWidth = (c & 1) ? 4 : 0;
  int32_t length = b * 4 + ((c >> 1) & 3) * (c & 8 ? 1 : 0);
  int32_t offset = (c & 0x80) ? static_cast<int32_t>(0xFFFFFF00u | a) * 4 : a * ((c & 0x40) ? 1 : 4);
  std::vector<uint8_t> destination(length > 0 ? static_cast<size_t>(length) : 1);
  size_t before = run.readIndex;
  int32_t result = lwf_readoffset(run.channel, length, offset, destination.data(), dataWidth);
  checkResult(result, {LWF_OK, LWF_ERROR, LWF_NO_MEMORY, LWF_NOT_YET, LWF_RECEIVE_TIMEOUT,
                       LWF_BEYOND_PAYLOAD});
  if (result != LWF_OK) {
    if (result != LWF_ERROR) checkNothingTaken(before);
    else checkStream();
    return;
  }
  checkStream();
  size_t header = takenFrame(before, 0, false);
  int32_t frameSize = wordAt(run.sent.data() + header);
  if (offset < 0 || static_cast<int64_t>(offset) + length > frameSize)
    fail("lwf_readoffset copied from beyond the payload");
  size_t from = header + 8 + static_cast<size_t>(offset);
  if (std::memcmp(destination.data(), expectedCopy(from, static_cast<size_t>(length), dataWidth).data(),
                  static_cast<size_t>(length)))
    fail("lwf_readoffset copied other bytes than the module sent");
}

void opPeek(uint8_t a) {
  int32_t tag = 0, size = 0;
  const void* payload = nullptr;
  size_t before = run.readIndex;
  int32_t result = lwf_peek(run.channel, &tag, &size, &payload);
  checkResult(result, {LWF_OK, LWF_ERROR, LWF_NO_MEMORY, LWF_NOT_YET, LWF_RECEIVE_TIMEOUT});
  if (result == LWF_ERROR) {
    checkStream();
    return;
  }
  checkNothingTaken(before);
  if (result != LWF_OK) return;
  const LwfChannel* c = run.channel;
  auto* bytes = static_cast<const uint8_t*>(payload);
  if (bytes != c->cacheReadPtr + 8) fail("lwf_peek payload is not behind the header");
  if (size < 0 || bytes + size > c->cacheWritePtr) fail("lwf_peek reports a frame not complete");
  if (wordAt(c->cacheReadPtr) != size || wordAt(c->cacheReadPtr + 4) != tag)
    fail("lwf_peek reports another header");
  if (a & 1) {
    before = run.readIndex;
    if (lwf_dispose(run.channel) != LWF_OK) fail("lwf_dispose after lwf_peek failed");
    if (checkStream() != static_cast<size_t>(size) + 8) fail("lwf_dispose took off another length");
  }
}

int32_t pumpHandler(LwfChannel* channel, int32_t tag, int32_t size, const void* payload) {
  auto* bytes = static_cast<const uint8_t*>(payload);
  if (size < 0 || bytes < channel->cacheBase + 8 ||
      bytes + size > channel->cacheBase + channel->cacheSize)
    fail("lwf_pump payload outside the cache");
  if (wordAt(bytes - 8) != size || wordAt(bytes - 4) != tag) fail("lwf_pump payload is not behind its header");
  // Touch every byte, so that the sanitizer sees a pointer into freed memory.
  volatile uint8_t sum = 0;
  for (int32_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  (void)sum;
  return ++run.handlerCalls >= run.handlerStopAt ? 1 : 0;
}

void opPump(uint8_t a) {
  run.handlerCalls = 0;
  run.handlerStopAt = (a & 7) + 1;
  int32_t result = lwf_pump(run.channel);
  if (result < 0) checkResult(result, {LWF_ERROR, LWF_NO_MEMORY, LWF_RECEIVE_TIMEOUT});
  else if (result != run.handlerCalls) fail("lwf_pump count differs from the handler calls");
  else if (result > run.handlerStopAt) fail("lwf_pump went on after the handler said stop");
  checkStream();
}

void opReady() {
  size_t before = run.readIndex;
  int32_t result = lwf_ready(run.channel);
  checkResult(result, {0, 1, LWF_ERROR, LWF_NO_MEMORY, LWF_RECEIVE_TIMEOUT});
  if (result == LWF_ERROR) {
    checkStream();
    return;
  }
  checkNothingTaken(before);
  if (result == 1) {
    const LwfChannel* c = run.channel;
    if (c->cacheBytesAvail < 8 || wordAt(c->cacheReadPtr) + 8 > c->cacheBytesAvail)
      fail("lwf_ready reports a frame not complete");
  }
}

// lwf_dispose out of turn: the channel takes off only a complete frame.
void opDispose() {
  const LwfChannel* c = run.channel;
  int32_t size = c->cacheBytesAvail >= 8 ? wordAt(c->cacheReadPtr) : -1;
  int32_t result = lwf_dispose(run.channel);
  size_t moved = checkStream();
  if (result == LWF_OK && (size < 0 || moved != static_cast<size_t>(size) + 8))
    fail("lwf_dispose took off something other than the frame");
  if (result != LWF_OK && moved != 0) fail("a failed lwf_dispose took bytes off");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t operations = 1 + data[0] % 16;
  size_t initialWords = data[1] * 4u;
  if (size < 2 + 4 * operations) return 0;
  const uint8_t* program = data + 2;
  const uint8_t* words = program + 4 * operations;
  size_t wordsLeft = (size - 2 - 4 * operations) / 4;

  run.channel = fuzz::freshChannel(run.channel, pumpHandler);
  run.sent.clear();
  run.readsAtStart = harness().block->fifo16Reads;
  run.readIndex = 0;

  harness().block->trickle.clear();
  auto queueUpTo = [&](size_t count, size_t trickleStep = 0) {
    if (count > wordsLeft) count = wordsLeft;
    queueWords(words, count, trickleStep);
    words += count * 4;
    wordsLeft -= count;
  };
  queueUpTo(initialWords);
  for (size_t i = 0; i < operations; ++i) {
    const uint8_t* op = program + 4 * i;
    switch (op[0] % 9) {
      case 0: opRead(op[1], op[2], op[3]); break;
      case 1: opReadOffset(op[1], op[2], op[3]); break;
      case 2: opPeek(op[1]); break;
      case 3: opPump(op[1]); break;
      case 4: opReady(); break;
      case 5: opDispose(); break;
      case 6: queueUpTo(1 + (op[1] | (op[2] << 8)) % 1024); break;
      case 7:
        checkResult(lwf_fill(run.channel), {LWF_OK, LWF_ERROR, LWF_NO_MEMORY, LWF_RECEIVE_TIMEOUT});
        checkStream();
        break;
      case 8: queueUpTo(1 + (op[1] | (op[2] << 8)) % 1024, 1 + op[3] % 4); break;
    }
  }
  return 0;
}
