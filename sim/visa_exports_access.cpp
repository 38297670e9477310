// The register and memory family of the shared VISA library: viIn, viOut,
// viMoveIn, viMoveOut (each also as its Ex form with a 64-bit offset),
// viPeek and viPoke at 8, 16, 32 and 64 bits, viMapAddress(Ex) and
// viMove(Ex). Every width is exported so that a client finds each symbol;
// the bus itself has no D64 cycle and refuses the 64-bit ones.
#include "sim/visa_exports.h"

namespace {

sim::Mainframe& mainframe() { return sim::exportedMainframe(); }

template <typename T>
ViStatus inOf(const char* function, ViSession vi, ViUInt16 space, ViBusAddress64 offset,
              T* value) {
  uint64_t read = 0;
  ViStatus status = mainframe().in(function, vi, space, offset, sizeof(T),
                                   value != nullptr ? &read : nullptr);
  if (status == VI_SUCCESS) *value = static_cast<T>(read);
  return status;
}

template <typename T>
ViStatus peekOf(const char* function, ViSession vi, ViAddr address, T* value) {
  uint64_t read = 0;
  ViStatus status = mainframe().peek(function, vi, address, sizeof(T), &read);
  if (value != nullptr) *value = static_cast<T>(read);
  return status;
}

}  // namespace

// viIn, viOut, viMoveIn and viMoveOut of one width, with or without "Ex".
#define SIM_REGISTER_CALLS(BITS, OFFSET, SUFFIX)                                            \
  SIM_EXPORT ViStatus viIn##BITS##SUFFIX(ViSession vi, ViUInt16 space, OFFSET offset,       \
                                         ViUInt##BITS* value) {                             \
    return inOf("viIn" #BITS #SUFFIX, vi, space, offset, value);                            \
  }                                                                                         \
  SIM_EXPORT ViStatus viOut##BITS##SUFFIX(ViSession vi, ViUInt16 space, OFFSET offset,      \
                                          ViUInt##BITS value) {                             \
    return mainframe().out("viOut" #BITS #SUFFIX, vi, space, offset, BITS / 8, value);      \
  }                                                                                         \
  SIM_EXPORT ViStatus viMoveIn##BITS##SUFFIX(ViSession vi, ViUInt16 space, OFFSET offset,   \
                                             ViBusSize count, ViUInt##BITS* buffer) {       \
    return mainframe().moveIn("viMoveIn" #BITS #SUFFIX, vi, space, offset, count, BITS / 8, \
                              buffer);                                                      \
  }                                                                                         \
  SIM_EXPORT ViStatus viMoveOut##BITS##SUFFIX(ViSession vi, ViUInt16 space, OFFSET offset,  \
                                              ViBusSize count, ViUInt##BITS* buffer) {      \
    return mainframe().moveOut("viMoveOut" #BITS #SUFFIX, vi, space, offset, count,         \
                               BITS / 8, buffer);                                           \
  }

// VISA declares the peeks and pokes void. These leave the access's status
// in the return register, where a void caller ignores it and a client that
// declares a status (pyvisa 1.11 checks one) finds a real one, not whatever
// the register held.
#define SIM_WIDTH_FAMILY(BITS)                                                         \
  SIM_REGISTER_CALLS(BITS, ViBusAddress, )                                             \
  SIM_REGISTER_CALLS(BITS, ViBusAddress64, Ex)                                         \
  SIM_EXPORT ViStatus viPeek##BITS(ViSession vi, ViAddr address, ViUInt##BITS* value) { \
    return peekOf("viPeek" #BITS, vi, address, value);                                 \
  }                                                                                    \
  SIM_EXPORT ViStatus viPoke##BITS(ViSession vi, ViAddr address, ViUInt##BITS value) {  \
    return mainframe().poke("viPoke" #BITS, vi, address, BITS / 8, value);             \
  }

SIM_WIDTH_FAMILY(8)
SIM_WIDTH_FAMILY(16)
SIM_WIDTH_FAMILY(32)
SIM_WIDTH_FAMILY(64)

#undef SIM_WIDTH_FAMILY
#undef SIM_REGISTER_CALLS

SIM_EXPORT ViStatus viMapAddress(ViSession vi, ViUInt16 space, ViBusAddress offset,
                                 ViBusSize size, ViBoolean access, ViAddr suggested,
                                 ViAddr* address) {
  return mainframe().viMapAddress(vi, space, offset, size, access, suggested, address);
}
SIM_EXPORT ViStatus viMapAddressEx(ViSession vi, ViUInt16 space, ViBusAddress64 offset,
                                   ViBusSize size, ViBoolean access, ViAddr suggested,
                                   ViAddr* address) {
  return mainframe().viMapAddress(vi, space, offset, size, access, suggested, address);
}
SIM_EXPORT ViStatus viUnmapAddress(ViSession vi) { return mainframe().viUnmapAddress(vi); }

SIM_EXPORT ViStatus viMove(ViSession vi, ViUInt16 srcSpace, ViBusAddress srcOffset,
                           ViUInt16 srcWidth, ViUInt16 destSpace, ViBusAddress destOffset,
                           ViUInt16 destWidth, ViBusSize count) {
  return mainframe().move("viMove", vi, srcSpace, srcOffset, srcWidth, destSpace, destOffset,
                          destWidth, count);
}
SIM_EXPORT ViStatus viMoveEx(ViSession vi, ViUInt16 srcSpace, ViBusAddress64 srcOffset,
                             ViUInt16 srcWidth, ViUInt16 destSpace, ViBusAddress64 destOffset,
                             ViUInt16 destWidth, ViBusSize count) {
  return mainframe().move("viMoveEx", vi, srcSpace, srcOffset, srcWidth, destSpace, destOffset,
                          destWidth, count);
}
