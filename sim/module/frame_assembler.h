// Builds whole frames (size word, tag word, payload words) out of the words
// the module takes off an incoming FIFO. A frame may be megabytes long; it is
// held here until the message server takes it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sim::module {

struct Frame {
  int32_t tag = 0;
  std::vector<uint32_t> payload;  // the payload words as they crossed
};

class FrameAssembler {
 public:
  explicit FrameAssembler(int32_t maxPayload) : maxPayload_(maxPayload) {}

  // Takes one word. A size word that is negative, not a multiple of 4 or
  // larger than the limit cannot start a frame: it is dropped and counted,
  // and the next word is taken as a size word again.
  void feed(uint32_t word);
  bool hasFrame() const { return complete_.has_value(); }
  // The completed frame; only while hasFrame().
  Frame take();
  void clear();
  uint64_t badSizeWords() const { return badSizeWords_; }

 private:
  enum class Expect { Size, Tag, Payload };
  int32_t maxPayload_;
  Expect expect_ = Expect::Size;
  uint32_t wordsLeft_ = 0;          // payload words still to come
  Frame building_;
  std::optional<Frame> complete_;   // a finished frame the server has not taken
  uint64_t badSizeWords_ = 0;
};

}  // namespace sim::module
