// Bus accesses of the simulated mainframe: routing to the device blocks of the
// A16 space, mapped windows with their address translation, single accesses,
// block moves with the increment attributes, viIn16/viOut16, the word-serial
// command query, and the bus time each access costs.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "common/clock.h"
#include "sim/message_device.h"
#include "sim/traced.h"

namespace sim {
namespace {

constexpr uint64_t a16Devices = 0xC000;  // first byte of the device blocks
constexpr uint64_t blockBytes = 64;

uint64_t spaceSize(ViUInt16 space) {
  switch (space) {
    case VI_A16_SPACE: return uint64_t{1} << 16;
    case VI_A24_SPACE: return uint64_t{1} << 24;
    case VI_A32_SPACE: return uint64_t{1} << 32;
    default: return 0;
  }
}

}  // namespace

// ---- Routing ------------------------------------------------------------------

std::optional<uint32_t> Mainframe::busRead(ViUInt16 space, uint64_t address, int width) {
  if (space != VI_A16_SPACE || address < a16Devices || address + width > spaceSize(space)) {
    ++counters.busErrors;
    return std::nullopt;
  }
  Device* target = devices[(address - a16Devices) / blockBytes].get();
  if (target == nullptr) {
    ++counters.busErrors;
    return std::nullopt;
  }
  uint32_t offset = static_cast<uint32_t>(address % blockBytes);
  return width == 4 ? target->read32(offset) : target->read16(offset);
}

bool Mainframe::busWrite(ViUInt16 space, uint64_t address, int width, uint32_t value) {
  if (space != VI_A16_SPACE || address < a16Devices || address + width > spaceSize(space)) {
    ++counters.busErrors;
    return false;
  }
  Device* target = devices[(address - a16Devices) / blockBytes].get();
  if (target == nullptr) {
    ++counters.busErrors;
    return false;
  }
  uint32_t offset = static_cast<uint32_t>(address % blockBytes);
  if (width == 4) {
    target->write32(offset, value);
  } else {
    target->write16(offset, static_cast<uint16_t>(value));
  }
  return true;
}

ViStatus Mainframe::busAddressOf(const Session& session, ViUInt16 space, uint64_t offset,
                                 uint64_t length, uint64_t* address) const {
  uint64_t limit = spaceSize(space);
  if (limit == 0) return VI_ERROR_INV_SPACE;
  uint64_t base = 0;
  if (session.kind == Kind::Instrument) {
    // A device session reaches its own block in A16 and its own memory in A24/A32.
    DeviceIdentity id = devices[session.la]->identity();
    if (space == VI_A16_SPACE) {
      base = a16Devices + blockBytes * static_cast<uint64_t>(session.la);
      limit = blockBytes;
    } else if (space == id.memSpace) {
      base = id.memBase;
      limit = id.memSize;
    } else {
      return VI_ERROR_INV_SPACE;
    }
  }
  if (offset >= limit) return VI_ERROR_INV_OFFSET;
  if (length > limit - offset) return VI_ERROR_INV_LENGTH;
  *address = base + offset;
  return VI_SUCCESS;
}

// ---- Windows --------------------------------------------------------------------

ViStatus Mainframe::viMapAddress(ViSession vi, ViUInt16 space, ViBusAddress offset,
                                 ViBusSize size, ViBoolean access, ViAddr suggested,
                                 ViAddr* address) {
  return traced("viMapAddress", vi, {space, offset, size}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
    if (address == nullptr) return VI_ERROR_INV_PARAMETER;
    if (access != VI_FALSE || suggested != nullptr) return VI_ERROR_INV_PARAMETER;
    if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
    if (session->window) return VI_ERROR_WINDOW_MAPPED;
    if (size == 0) return VI_ERROR_INV_SIZE;
    uint64_t busBase = 0;
    ViStatus status = busAddressOf(*session, space, offset, size, &busBase);
    if (status == VI_ERROR_INV_LENGTH) return VI_ERROR_INV_SIZE;
    if (status != VI_SUCCESS) return status;
    // A range the program can hold addresses of but never read or write.
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t reserved = (static_cast<size_t>(size) + page - 1) / page * page;
    void* range = mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                       -1, 0);
    if (range == MAP_FAILED) return VI_ERROR_ALLOC;
    Window window;
    window.space = space;
    window.busBase = busBase;
    window.size = size;
    window.host = reinterpret_cast<uintptr_t>(range);
    window.reservedBytes = reserved;
    session->window = window;
    *address = range;
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viUnmapAddress(ViSession vi) {
  return traced("viUnmapAddress", vi, {}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
    if (!session->window) return VI_ERROR_WINDOW_NMAPPED;
    releaseWindow(*session);
    return VI_SUCCESS;
  });
}

void Mainframe::releaseWindow(Session& session) {
  if (!session.window) return;
  munmap(reinterpret_cast<void*>(session.window->host), session.window->reservedBytes);
  session.window.reset();
}

std::optional<uint64_t> Mainframe::windowTranslate(ViSession vi, ViAddr address, int width) {
  Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
  uintptr_t host = reinterpret_cast<uintptr_t>(address);
  if (session == nullptr || !session->window || host < session->window->host ||
      host - session->window->host + width > session->window->size || host % width != 0) {
    ++counters.outOfWindow;
    return std::nullopt;
  }
  return session->window->busBase + (host - session->window->host);
}

// ---- Single accesses --------------------------------------------------------------

void Mainframe::peek(ViSession vi, ViAddr address, int width, uint32_t* value,
                     const char* function) {
  uint32_t allOnes = width == 4 ? 0xFFFFFFFF : width == 2 ? 0xFFFF : 0xFF;
  *value = allOnes;
  ViStatus status = faultFor(function, std::nullopt, "").value_or(VI_SUCCESS);
  std::optional<uint64_t> bus;
  if (status == VI_SUCCESS) {
    bus = windowTranslate(vi, address, width);
    if (!bus) {
      status = VI_ERROR_INV_OFFSET;
    } else {
      Session& session = sessions[vi];
      clockCharge(width == 4 ? costs.single32 : costs.single16);
      ++counters.singleAccesses;
      int busWidth = width == 1 ? 2 : width;
      uint64_t aligned = width == 1 ? (*bus & ~uint64_t{1}) : *bus;
      std::optional<uint32_t> read = busRead(session.window->space, aligned, busWidth);
      if (!read) {
        status = VI_ERROR_BERR;
      } else if (width == 1) {
        // D08 of a 16-bit register: the even address holds the upper byte.
        *value = (*bus & 1) ? (*read & 0xFF) : (*read >> 8);
      } else {
        *value = *read;
      }
    }
  }
  if (logEnabled || trace != nullptr)
    record(CallRecord{function, vi, {bus.value_or(UINT64_MAX), *value}, "", status});
}

void Mainframe::poke(ViSession vi, ViAddr address, int width, uint32_t value,
                     const char* function) {
  ViStatus status = faultFor(function, std::nullopt, "").value_or(VI_SUCCESS);
  std::optional<uint64_t> bus;
  if (status == VI_SUCCESS) {
    bus = windowTranslate(vi, address, width);
    if (!bus) {
      status = VI_ERROR_INV_OFFSET;
    } else {
      clockCharge(width == 4 ? costs.single32 : costs.single16);
      ++counters.singleAccesses;
      if (!busWrite(sessions[vi].window->space, *bus, width, value)) status = VI_ERROR_BERR;
    }
  }
  if (logEnabled || trace != nullptr)
    record(CallRecord{function, vi, {bus.value_or(UINT64_MAX), value}, "", status});
}

void Mainframe::viPeek8(ViSession vi, ViAddr address, ViUInt8* value) {
  uint32_t read = 0;
  peek(vi, address, 1, &read, "viPeek8");
  if (value != nullptr) *value = static_cast<ViUInt8>(read);
}

void Mainframe::viPeek16(ViSession vi, ViAddr address, ViUInt16* value) {
  uint32_t read = 0;
  peek(vi, address, 2, &read, "viPeek16");
  if (value != nullptr) *value = static_cast<ViUInt16>(read);
}

void Mainframe::viPeek32(ViSession vi, ViAddr address, ViUInt32* value) {
  uint32_t read = 0;
  peek(vi, address, 4, &read, "viPeek32");
  if (value != nullptr) *value = read;
}

void Mainframe::viPoke16(ViSession vi, ViAddr address, ViUInt16 value) {
  poke(vi, address, 2, value, "viPoke16");
}

void Mainframe::viPoke32(ViSession vi, ViAddr address, ViUInt32 value) {
  poke(vi, address, 4, value, "viPoke32");
}

// ---- Block moves --------------------------------------------------------------------

// What both directions of a block move share: the session's checks, the bus
// range the move covers (one location when its side does not advance) and
// the set-up cost. *start gets the first bus address.
ViStatus Mainframe::startMove(ViSession vi, ViUInt16 space, ViBusAddress offset,
                              ViBusSize count, int width, bool incoming, const void* buffer,
                              uint64_t* start, bool* advance) {
  Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
  if (session == nullptr) return VI_ERROR_INV_OBJECT;
  if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
  if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
  if (buffer == nullptr && count > 0) return VI_ERROR_USER_BUF;
  if (offset % width != 0) return VI_ERROR_NSUP_ALIGN_OFFSET;
  *advance = (incoming ? session->srcIncrement : session->destIncrement) != 0;
  ViStatus status = busAddressOf(*session, space, offset,
                                 *advance ? count * width : static_cast<uint64_t>(width), start);
  if (status != VI_SUCCESS) return status;
  clockCharge(costs.blockSetup);
  ++counters.blockMoves;
  return VI_SUCCESS;
}

// Elements go through memcpy: a caller's buffer need not be aligned.
ViStatus Mainframe::moveIn(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                           int width, void* buffer) {
  uint64_t start = 0;
  bool advance = true;
  ViStatus status = startMove(vi, space, offset, count, width, true, buffer, &start, &advance);
  if (status != VI_SUCCESS) return status;
  for (ViBusSize i = 0; i < count; ++i) {
    std::optional<uint32_t> value = busRead(space, advance ? start + i * width : start, width);
    if (!value) return VI_ERROR_BERR;
    clockCharge(width == 4 ? costs.block32 : costs.block16);
    ++counters.blockElements;
    char* element = static_cast<char*>(buffer) + i * width;
    if (width == 4) {
      ViUInt32 word = *value;
      std::memcpy(element, &word, sizeof word);
    } else {
      ViUInt16 half = static_cast<ViUInt16>(*value);
      std::memcpy(element, &half, sizeof half);
    }
  }
  return VI_SUCCESS;
}

ViStatus Mainframe::moveOut(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                            int width, const void* buffer) {
  uint64_t start = 0;
  bool advance = true;
  ViStatus status = startMove(vi, space, offset, count, width, false, buffer, &start, &advance);
  if (status != VI_SUCCESS) return status;
  for (ViBusSize i = 0; i < count; ++i) {
    const char* element = static_cast<const char*>(buffer) + i * width;
    uint32_t value;
    if (width == 4) {
      std::memcpy(&value, element, sizeof value);
    } else {
      ViUInt16 half;
      std::memcpy(&half, element, sizeof half);
      value = half;
    }
    if (!busWrite(space, advance ? start + i * width : start, width, value)) return VI_ERROR_BERR;
    clockCharge(width == 4 ? costs.block32 : costs.block16);
    ++counters.blockElements;
  }
  return VI_SUCCESS;
}

ViStatus Mainframe::viMoveIn16(ViSession vi, ViUInt16 space, ViBusAddress offset,
                               ViBusSize count, ViUInt16* buffer) {
  return traced("viMoveIn16", vi, {space, offset, count}, "", std::nullopt,
                [&] { return moveIn(vi, space, offset, count, 2, buffer); });
}

ViStatus Mainframe::viMoveIn32(ViSession vi, ViUInt16 space, ViBusAddress offset,
                               ViBusSize count, ViUInt32* buffer) {
  return traced("viMoveIn32", vi, {space, offset, count}, "", std::nullopt,
                [&] { return moveIn(vi, space, offset, count, 4, buffer); });
}

ViStatus Mainframe::viMoveOut16(ViSession vi, ViUInt16 space, ViBusAddress offset,
                                ViBusSize count, ViUInt16* buffer) {
  return traced("viMoveOut16", vi, {space, offset, count}, "", std::nullopt,
                [&] { return moveOut(vi, space, offset, count, 2, buffer); });
}

ViStatus Mainframe::viMoveOut32(ViSession vi, ViUInt16 space, ViBusAddress offset,
                                ViBusSize count, ViUInt32* buffer) {
  return traced("viMoveOut32", vi, {space, offset, count}, "", std::nullopt,
                [&] { return moveOut(vi, space, offset, count, 4, buffer); });
}

// ---- Register access of a session's device ------------------------------------------

ViStatus Mainframe::viIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16* value) {
  return traced("viIn16", vi, {space, offset, 0}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
    if (value == nullptr) return VI_ERROR_USER_BUF;
    if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
    if (offset % 2 != 0) return VI_ERROR_NSUP_ALIGN_OFFSET;
    uint64_t address = 0;
    ViStatus status = busAddressOf(*session, space, offset, 2, &address);
    if (status != VI_SUCCESS) return status;
    clockCharge(costs.single16);
    ++counters.singleAccesses;
    std::optional<uint32_t> read = busRead(space, address, 2);
    if (!read) return VI_ERROR_BERR;
    *value = static_cast<ViUInt16>(*read);
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value) {
  return traced("viOut16", vi, {space, offset, value}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
    if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
    if (offset % 2 != 0) return VI_ERROR_NSUP_ALIGN_OFFSET;
    uint64_t address = 0;
    ViStatus status = busAddressOf(*session, space, offset, 2, &address);
    if (status != VI_SUCCESS) return status;
    clockCharge(costs.single16);
    ++counters.singleAccesses;
    return busWrite(space, address, 2, value) ? VI_SUCCESS : VI_ERROR_BERR;
  });
}

// ---- Word-serial command query ------------------------------------------------------------

ViStatus Mainframe::viVxiCommandQuery(ViSession vi, ViUInt16 mode, ViUInt32 command,
                                      ViUInt32* response) {
  return traced("viVxiCommandQuery", vi, {mode, command}, "", std::nullopt,
                [&] { return commandQuery(vi, mode, command, response); });
}

// The handshake a VISA runs on the device's registers: wait for Write Ready,
// write the command, wait for Read Ready, read the response. A wait that never
// ends costs the session's time-out and gives VI_ERROR_TMO.
ViStatus Mainframe::commandQuery(ViSession vi, ViUInt16 mode, ViUInt32 command,
                                 ViUInt32* response) {
  if (!commandQuerySupported) return VI_ERROR_NSUP_OPER;
  Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
  if (session == nullptr) return VI_ERROR_INV_OBJECT;
  if (session->kind != Kind::Instrument || !devices[session->la]->identity().messageBased)
    return VI_ERROR_NSUP_OPER;
  if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
  bool sends = mode == VI_VXI_CMD16 || mode == VI_VXI_CMD16_RESP16;
  bool answers = mode == VI_VXI_RESP16 || mode == VI_VXI_CMD16_RESP16;
  if (!sends && !answers) return VI_ERROR_INV_MODE;  // the simulated devices are 16-bit only
  if (answers && response == nullptr) return VI_ERROR_USER_BUF;
  Device& target = *devices[session->la];
  auto registerRead = [&](uint32_t offset) {
    clockCharge(costs.single16);
    ++counters.singleAccesses;
    return target.read16(offset);
  };
  auto timedOut = [&] {
    clockCharge(session->timeoutMs / 1000.0);
    return VI_ERROR_TMO;
  };
  if (sends) {
    if (!(registerRead(MessageBasedDevice::responseRegister) & MessageBasedDevice::writeReady))
      return timedOut();
    clockCharge(costs.single16);
    ++counters.singleAccesses;
    target.write16(MessageBasedDevice::dataLowRegister, static_cast<uint16_t>(command));
  }
  if (answers) {
    if (!(registerRead(MessageBasedDevice::responseRegister) & MessageBasedDevice::readReady))
      return timedOut();
    *response = registerRead(MessageBasedDevice::dataLowRegister);
  }
  return VI_SUCCESS;
}

}  // namespace sim
