// The FIFO pair of one channel, as the module's hardware presents it.
#include "sim/module/fifo_end.h"

namespace sim::module {

FifoEnd::FifoEnd(uint32_t unitBytes, uint32_t incomingCapacity, uint32_t outgoingCapacity,
                 int32_t maxPayload)
    : unitBytes_(unitBytes),
      incomingCapacityUnits_(incomingCapacity / unitBytes),
      outgoingCapacityUnits_(outgoingCapacity / unitBytes),
      assembler_(maxPayload) {}

bool FifoEnd::hostWrite(uint32_t unit) {
  if (incoming_.size() >= incomingCapacityUnits_) return false;
  incoming_.push_back(unit);
  return true;
}

bool FifoEnd::hostRead(uint32_t* unit) {
  if (outgoing_.empty()) return false;
  *unit = outgoing_.front();
  outgoing_.pop_front();
  refill();
  return true;
}

bool FifoEnd::hostPeek(uint32_t* unit) const {
  if (outgoing_.empty()) return false;
  *unit = outgoing_.front();
  return true;
}

uint64_t FifoEnd::drain(uint64_t units) {
  uint64_t moved = 0;
  while (moved < units && !incoming_.empty() && !assembler_.hasFrame()) {
    uint32_t unit = incoming_.front();
    incoming_.pop_front();
    ++moved;
    if (unitBytes_ == 4) {
      assembler_.feed(unit);
    } else if (!haveHigh_) {
      high_ = unit & 0xFFFF;
      haveHigh_ = true;
    } else {
      haveHigh_ = false;
      assembler_.feed((high_ << 16) | (unit & 0xFFFF));
    }
  }
  return moved;
}

void FifoEnd::send(const std::vector<uint32_t>& words) {
  stream_.insert(stream_.end(), words.begin(), words.end());
  refill();
}

void FifoEnd::refill() {
  uint32_t unitsPerWord = 4 / unitBytes_;
  while (!stream_.empty() && outgoing_.size() + unitsPerWord <= outgoingCapacityUnits_) {
    uint32_t word = stream_.front();
    stream_.pop_front();
    if (unitBytes_ == 4) {
      outgoing_.push_back(word);
    } else {
      outgoing_.push_back(word >> 16);
      outgoing_.push_back(word & 0xFFFF);
    }
  }
}

void FifoEnd::clear() {
  incoming_.clear();
  haveHigh_ = false;
  assembler_.clear();
  stream_.clear();
  outgoing_.clear();
  credit = 0;
}

void FifoEnd::clearOutgoing() {
  stream_.clear();
  outgoing_.clear();
}

}  // namespace sim::module
