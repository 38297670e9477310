// The module's end of one FIFO channel: the incoming FIFO the host writes
// and the module drains at its rate into a frame assembler, and the outgoing
// FIFO the host reads, fed from a stream of whole reply frames as room frees.
// The 16-bit channel moves each 32-bit word as two transfers, the more
// significant half first; the 32-bit channel moves whole words.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "sim/module/frame_assembler.h"

namespace sim::module {

class FifoEnd {
 public:
  // unitBytes 2 or 4; capacities in bytes.
  FifoEnd(uint32_t unitBytes, uint32_t incomingCapacity, uint32_t outgoingCapacity,
          int32_t maxPayload);

  // ---- Host side -----------------------------------------------------------
  // One transfer into the incoming FIFO; false when it is full (dropped).
  bool hostWrite(uint32_t unit);
  // One transfer out of the outgoing FIFO; false when it is empty.
  bool hostRead(uint32_t* unit);
  // The next transfer without taking it; false when the FIFO is empty.
  bool hostPeek(uint32_t* unit) const;
  uint32_t incomingUnits() const { return static_cast<uint32_t>(incoming_.size()); }
  uint32_t outgoingUnits() const { return static_cast<uint32_t>(outgoing_.size()); }
  uint32_t unitBytes() const { return unitBytes_; }

  // ---- Module side ---------------------------------------------------------
  // Moves up to `units` transfers from the incoming FIFO into the assembler,
  // stopping early when a frame completes or the FIFO runs empty; the number
  // moved.
  uint64_t drain(uint64_t units);
  FrameAssembler& assembler() { return assembler_; }
  // Appends words to the outgoing stream; they enter the FIFO as room frees.
  void send(const std::vector<uint32_t>& words);
  // Moves stream words into the outgoing FIFO while whole words fit.
  void refill();
  // Bytes waiting for the host: in the FIFO.
  uint32_t outgoingBytes() const { return outgoingUnits() * unitBytes_; }
  // Empties both FIFOs, the stream and the assembler (a reboot).
  void clear();
  // Empties the outgoing FIFO and the stream behind it; the incoming side stays.
  void clearOutgoing();

  // Drain bookkeeping of the module's time model.
  double drainedUntil = 0;  // the incoming side has been drained up to this time
  double credit = 0;        // bytes of drain time not yet used (less than a transfer)

 private:
  uint32_t unitBytes_;
  size_t incomingCapacityUnits_;
  size_t outgoingCapacityUnits_;
  std::deque<uint32_t> incoming_;  // transfers the host wrote, oldest first
  bool haveHigh_ = false;          // 16-bit channel: the more significant half was taken
  uint32_t high_ = 0;
  FrameAssembler assembler_;
  std::deque<uint32_t> stream_;    // reply words waiting for room
  std::deque<uint32_t> outgoing_;  // transfers the host can read
};

}  // namespace sim::module
