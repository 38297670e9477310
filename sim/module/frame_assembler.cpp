// Frame assembly on the module's receiving side.
#include "sim/module/frame_assembler.h"

#include <utility>

namespace sim::module {

void FrameAssembler::feed(uint32_t word) {
  switch (expect_) {
    case Expect::Size: {
      auto size = static_cast<int32_t>(word);
      if (size < 0 || size % 4 != 0 || size > maxPayload_) {
        ++badSizeWords_;
        return;
      }
      wordsLeft_ = static_cast<uint32_t>(size) / 4;
      building_ = Frame{};
      building_.payload.reserve(wordsLeft_);
      expect_ = Expect::Tag;
      return;
    }
    case Expect::Tag:
      building_.tag = static_cast<int32_t>(word);
      expect_ = Expect::Payload;
      break;
    case Expect::Payload:
      building_.payload.push_back(word);
      --wordsLeft_;
      break;
  }
  if (expect_ == Expect::Payload && wordsLeft_ == 0) {
    complete_ = std::move(building_);
    building_ = Frame{};
    expect_ = Expect::Size;
  }
}

Frame FrameAssembler::take() {
  Frame frame = std::move(*complete_);
  complete_.reset();
  return frame;
}

void FrameAssembler::clear() {
  expect_ = Expect::Size;
  wordsLeft_ = 0;
  building_ = Frame{};
  complete_.reset();
}

}  // namespace sim::module
