// Block moves of the simulated mainframe: viMoveIn and viMoveOut of every
// width with the increment attributes, and viMove between two bus ranges.
#include <cstring>

#include "common/clock.h"
#include "sim/traced.h"
#include "sim/visa_extra.h"

namespace sim {
namespace {

// An element of a caller's buffer, through memcpy: the buffer need not be
// aligned.
uint32_t loadElement(const void* buffer, uint64_t index, int width) {
  const char* element = static_cast<const char*>(buffer) + index * width;
  switch (width) {
    case 1: return static_cast<uint8_t>(*element);
    case 2: {
      uint16_t half;
      std::memcpy(&half, element, sizeof half);
      return half;
    }
    default: {
      uint32_t word;
      std::memcpy(&word, element, sizeof word);
      return word;
    }
  }
}

void storeElement(void* buffer, uint64_t index, int width, uint32_t value) {
  char* element = static_cast<char*>(buffer) + index * width;
  if (width == 1) {
    *element = static_cast<char>(value);
  } else if (width == 2) {
    auto half = static_cast<uint16_t>(value);
    std::memcpy(element, &half, sizeof half);
  } else {
    std::memcpy(element, &value, sizeof value);
  }
}

// A block move is one instant for the device it starts in
// (Device::blockMoveStarts), whichever way the move ends.
class BlockMoveScope {
 public:
  explicit BlockMoveScope(Device* device) : device_(device) {
    if (device_ != nullptr) device_->blockMoveStarts();
  }
  ~BlockMoveScope() {
    if (device_ != nullptr) device_->blockMoveEnds();
  }
  BlockMoveScope(const BlockMoveScope&) = delete;
  BlockMoveScope& operator=(const BlockMoveScope&) = delete;

 private:
  Device* device_;
};

}  // namespace

double Mainframe::elementCost(int width) const {
  return width == 4 ? costs.block32 : costs.block16;
}

// One side of a move: the bus range it covers from offset (one location when
// that side does not advance). *start gets its first bus address.
ViStatus Mainframe::moveRange(const Session& session, ViUInt16 space, ViBusAddress offset,
                              ViBusSize count, int width, bool advance, uint64_t* start) const {
  if (offset % width != 0) return VI_ERROR_NSUP_ALIGN_OFFSET;
  if (advance && count > UINT64_MAX / width) return VI_ERROR_INV_LENGTH;
  return busAddressOf(session, space, offset,
                      advance ? count * width : static_cast<uint64_t>(width), start);
}

// What both directions of a block move share: the session's checks, the bus
// range, and the set-up cost. The bus is D16/D32: no D64 cycle.
ViStatus Mainframe::startMove(ViSession vi, ViUInt16 space, ViBusAddress offset,
                              ViBusSize count, int width, bool incoming, const void* buffer,
                              uint64_t* start, bool* advance) {
  Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
  if (session == nullptr) return VI_ERROR_INV_OBJECT;
  if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
  if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
  if (buffer == nullptr && count > 0) return VI_ERROR_USER_BUF;
  if (width == 8) return VI_ERROR_NSUP_WIDTH;
  *advance = (incoming ? session->srcIncrement : session->destIncrement) != 0;
  ViStatus status = moveRange(*session, space, offset, count, width, *advance, start);
  if (status != VI_SUCCESS) return status;
  clockCharge(costs.blockSetup);
  ++counters.blockMoves;
  return VI_SUCCESS;
}

ViStatus Mainframe::moveIn(const char* function, ViSession vi, ViUInt16 space,
                           ViBusAddress offset, ViBusSize count, int width, void* buffer) {
  return traced(function, vi, {space, offset, count}, "", std::nullopt, [&]() -> ViStatus {
    uint64_t start = 0;
    bool advance = true;
    ViStatus status = startMove(vi, space, offset, count, width, true, buffer, &start, &advance);
    if (status != VI_SUCCESS) return status;
    BlockMoveScope instant(blockOwner(space, start));
    for (ViBusSize i = 0; i < count; ++i) {
      std::optional<uint32_t> value = busRead(space, advance ? start + i * width : start, width);
      if (!value) return VI_ERROR_BERR;
      clockCharge(elementCost(width));
      ++counters.blockElements;
      storeElement(buffer, i, width, *value);
    }
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::moveOut(const char* function, ViSession vi, ViUInt16 space,
                            ViBusAddress offset, ViBusSize count, int width,
                            const void* buffer) {
  return traced(function, vi, {space, offset, count}, "", std::nullopt, [&]() -> ViStatus {
    uint64_t start = 0;
    bool advance = true;
    ViStatus status = startMove(vi, space, offset, count, width, false, buffer, &start, &advance);
    if (status != VI_SUCCESS) return status;
    BlockMoveScope instant(blockOwner(space, start));
    for (ViBusSize i = 0; i < count; ++i) {
      uint32_t value = loadElement(buffer, i, width);
      if (!busWrite(space, advance ? start + i * width : start, width, value))
        return VI_ERROR_BERR;
      clockCharge(elementCost(width));
      ++counters.blockElements;
    }
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viMoveIn16(ViSession vi, ViUInt16 space, ViBusAddress offset,
                               ViBusSize count, ViUInt16* buffer) {
  return moveIn("viMoveIn16", vi, space, offset, count, 2, buffer);
}

ViStatus Mainframe::viMoveIn32(ViSession vi, ViUInt16 space, ViBusAddress offset,
                               ViBusSize count, ViUInt32* buffer) {
  return moveIn("viMoveIn32", vi, space, offset, count, 4, buffer);
}

ViStatus Mainframe::viMoveOut16(ViSession vi, ViUInt16 space, ViBusAddress offset,
                                ViBusSize count, ViUInt16* buffer) {
  return moveOut("viMoveOut16", vi, space, offset, count, 2, buffer);
}

ViStatus Mainframe::viMoveOut32(ViSession vi, ViUInt16 space, ViBusAddress offset,
                                ViBusSize count, ViUInt32* buffer) {
  return moveOut("viMoveOut32", vi, space, offset, count, 4, buffer);
}

// Bus to bus, both sides of one width (no conversion between widths), each
// side advancing as its increment attribute says. The local space (memory
// of viMemAlloc) is not modelled.
ViStatus Mainframe::move(const char* function, ViSession vi, ViUInt16 srcSpace,
                         ViBusAddress srcOffset, ViUInt16 srcWidth, ViUInt16 destSpace,
                         ViBusAddress destOffset, ViUInt16 destWidth, ViBusSize count) {
  return traced(function, vi, {srcSpace, srcOffset, count}, "", std::nullopt,
                [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
    if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
    for (ViUInt16 width : {srcWidth, destWidth})
      if (width != VI_WIDTH_8 && width != VI_WIDTH_16 && width != VI_WIDTH_32 &&
          width != VI_WIDTH_64)
        return VI_ERROR_INV_WIDTH;
    if (srcWidth != destWidth) return VI_ERROR_NSUP_VAR_WIDTH;
    if (srcWidth == VI_WIDTH_64) return VI_ERROR_NSUP_WIDTH;
    const int width = srcWidth;
    const bool srcAdvance = session->srcIncrement != 0;
    const bool destAdvance = session->destIncrement != 0;
    uint64_t from = 0, to = 0;
    ViStatus status = moveRange(*session, srcSpace, srcOffset, count, width, srcAdvance, &from);
    if (status == VI_SUCCESS)
      status = moveRange(*session, destSpace, destOffset, count, width, destAdvance, &to);
    if (status != VI_SUCCESS) return status;
    clockCharge(costs.blockSetup);
    ++counters.blockMoves;
    BlockMoveScope reading(blockOwner(srcSpace, from));
    BlockMoveScope writing(blockOwner(destSpace, to));
    for (ViBusSize i = 0; i < count; ++i) {
      std::optional<uint32_t> value = busRead(srcSpace, srcAdvance ? from + i * width : from, width);
      if (!value || !busWrite(destSpace, destAdvance ? to + i * width : to, width, *value))
        return VI_ERROR_BERR;
      clockCharge(2 * elementCost(width));  // read, then write
      counters.blockElements += 2;
    }
    return VI_SUCCESS;
  });
}

}  // namespace sim
