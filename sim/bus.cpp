// The bus of the simulated mainframe: routing of an access to the device
// block of the A16 space or to a device's memory, the data widths each
// answers, the session-relative addresses, viIn/viOut of every width, and
// the word-serial command query. Windows with their peeks and pokes are in
// windows.cpp, block moves in moves.cpp.
#include <cstring>

#include "common/clock.h"
#include "sim/message_device.h"
#include "sim/traced.h"
#include "sim/visa_extra.h"

namespace sim {
namespace {

constexpr uint64_t a16Devices = 0xC000;  // first byte of the device blocks
constexpr uint64_t blockBytes = 64;
// Memory a device advertises beyond this is not modelled (its accesses are
// bus errors), so that an A32 device cannot make the process huge.
constexpr uint64_t maxModelledMemory = uint64_t{64} << 20;

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

// A16: the register blocks. A D08 read takes its byte lane of a D16 read (the
// even address holds the upper byte); the blocks decode no D08 write. A D32
// access reaches only a register that answers D32 and is never split.
std::optional<uint32_t> Mainframe::registerRead(uint64_t address, int width) {
  if (address < a16Devices || address + width > spaceSize(VI_A16_SPACE)) return std::nullopt;
  Device* target = devices[(address - a16Devices) / blockBytes].get();
  if (target == nullptr) return std::nullopt;
  auto offset = static_cast<uint32_t>(address % blockBytes);
  switch (width) {
    case 1: {
      uint16_t both = target->read16(offset & ~1u);
      return (offset & 1) ? (both & 0xFF) : (both >> 8);
    }
    case 2: return target->read16(offset);
    case 4:
      if (!answersD32(*target, offset)) return std::nullopt;
      return target->read32(offset);
    default: return std::nullopt;
  }
}

bool Mainframe::registerWrite(uint64_t address, int width, uint32_t value) {
  if (address < a16Devices || address + width > spaceSize(VI_A16_SPACE)) return false;
  Device* target = devices[(address - a16Devices) / blockBytes].get();
  if (target == nullptr) return false;
  auto offset = static_cast<uint32_t>(address % blockBytes);
  switch (width) {
    case 2: target->write16(offset, static_cast<uint16_t>(value)); return true;
    case 4:
      if (!answersD32(*target, offset)) return false;
      target->write32(offset, value);
      return true;
    default: return false;
  }
}

Device* Mainframe::blockOwner(ViUInt16 space, uint64_t address) const {
  if (space != VI_A16_SPACE || address < a16Devices || address >= spaceSize(VI_A16_SPACE))
    return nullptr;
  return devices[(address - a16Devices) / blockBytes].get();
}

bool Mainframe::answersD32(const Device& device, uint32_t offset) {
  return offset % 4 == 0 && (device.identity().d32Registers >> (offset / 4) & 1) != 0;
}

// A24/A32: plain memory behind each device that advertises some, made on
// its first access. Bytes in bus order: the lower address is the more
// significant byte of a D16 or D32 access.
uint8_t* Mainframe::memoryAt(ViUInt16 space, uint64_t address, int width) {
  for (int la = 0; la < 256; ++la) {
    if (!devices[la]) continue;
    DeviceIdentity id = devices[la]->identity();
    if (id.memSpace != space || id.memSize == 0 || id.memSize > maxModelledMemory) continue;
    if (address < id.memBase || address + width > id.memBase + id.memSize) continue;
    std::vector<uint8_t>& bytes = memories[la];
    if (bytes.size() != id.memSize) bytes.assign(id.memSize, 0);
    return bytes.data() + (address - id.memBase);
  }
  return nullptr;
}

std::optional<uint32_t> Mainframe::busRead(ViUInt16 space, uint64_t address, int width) {
  std::optional<uint32_t> value;
  if (space == VI_A16_SPACE) {
    value = registerRead(address, width);
  } else if (const uint8_t* bytes = memoryAt(space, address, width)) {
    uint32_t word = 0;
    for (int i = 0; i < width; ++i) word = word << 8 | bytes[i];
    value = word;
  }
  if (!value) ++counters.busErrors;
  return value;
}

bool Mainframe::busWrite(ViUInt16 space, uint64_t address, int width, uint32_t value) {
  bool answered = false;
  if (space == VI_A16_SPACE) {
    answered = registerWrite(address, width, value);
  } else if (uint8_t* bytes = memoryAt(space, address, width)) {
    for (int i = width - 1; i >= 0; --i, value >>= 8) bytes[i] = static_cast<uint8_t>(value);
    answered = true;
  }
  if (!answered) ++counters.busErrors;
  return answered;
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

double Mainframe::singleCost(int width) const { return width == 4 ? costs.single32 : costs.single16; }

// ---- Register and memory access of a session ------------------------------------------

// What viIn and viOut of every width share: the session's checks and the
// bus address of the offset. The bus is D16/D32: no D64 cycle.
ViStatus Mainframe::startSingle(ViSession vi, ViUInt16 space, ViBusAddress offset, int width,
                                const void* buffer, uint64_t* address) {
  Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
  if (session == nullptr) return VI_ERROR_INV_OBJECT;
  if (session->kind == Kind::ResourceManager) return VI_ERROR_NSUP_OPER;
  if (buffer == nullptr) return VI_ERROR_USER_BUF;
  if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
  if (width == 8) return VI_ERROR_NSUP_WIDTH;
  if (offset % width != 0) return VI_ERROR_NSUP_ALIGN_OFFSET;
  ViStatus status = busAddressOf(*session, space, offset, width, address);
  if (status != VI_SUCCESS) return status;
  clockCharge(singleCost(width));
  ++counters.singleAccesses;
  return VI_SUCCESS;
}

ViStatus Mainframe::in(const char* function, ViSession vi, ViUInt16 space, ViBusAddress offset,
                       int width, uint64_t* value) {
  return traced(function, vi, {space, offset, 0}, "", std::nullopt, [&]() -> ViStatus {
    uint64_t address = 0;
    ViStatus status = startSingle(vi, space, offset, width, value, &address);
    if (status != VI_SUCCESS) return status;
    std::optional<uint32_t> read = busRead(space, address, width);
    if (!read) return VI_ERROR_BERR;
    *value = *read;
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::out(const char* function, ViSession vi, ViUInt16 space, ViBusAddress offset,
                        int width, uint64_t value) {
  return traced(function, vi, {space, offset, value}, "", std::nullopt, [&]() -> ViStatus {
    uint64_t address = 0;
    ViStatus status = startSingle(vi, space, offset, width, &value, &address);
    if (status != VI_SUCCESS) return status;
    return busWrite(space, address, width, static_cast<uint32_t>(value)) ? VI_SUCCESS
                                                                         : VI_ERROR_BERR;
  });
}

ViStatus Mainframe::viIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16* value) {
  uint64_t read = 0;
  ViStatus status = in("viIn16", vi, space, offset, 2, value != nullptr ? &read : nullptr);
  if (status == VI_SUCCESS) *value = static_cast<ViUInt16>(read);
  return status;
}

ViStatus Mainframe::viOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value) {
  return out("viOut16", vi, space, offset, 2, value);
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
