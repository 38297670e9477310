// Mapped windows of the simulated mainframe and the single accesses through
// them: viMapAddress, viUnmapAddress, and the peeks and pokes of every width.
#include <sys/mman.h>
#include <unistd.h>

#include "common/clock.h"
#include "sim/traced.h"
#include "sim/visa_extra.h"

namespace sim {

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

// What a peek and a poke share: the fault, the window's translation (*bus
// gets the bus address when the access is in the window), the bus's widths
// and the bus time. A width the bus has no cycle for (D64) is refused like a
// failing access.
ViStatus Mainframe::startWindowAccess(const char* function, ViSession vi, ViAddr address,
                                      int width, std::optional<uint64_t>* bus) {
  ViStatus status = faultFor(function, std::nullopt, "").value_or(VI_SUCCESS);
  if (status != VI_SUCCESS) return status;
  *bus = windowTranslate(vi, address, width);
  if (!*bus) return VI_ERROR_INV_OFFSET;
  if (width == 8) return VI_ERROR_NSUP_WIDTH;
  clockCharge(singleCost(width));
  ++counters.singleAccesses;
  return VI_SUCCESS;
}

// VISA's peeks and pokes return nothing; the status is for the log and the
// exported functions. A failing peek reads all ones, a failing poke is dropped.
ViStatus Mainframe::peek(const char* function, ViSession vi, ViAddr address, int width,
                         uint64_t* value) {
  *value = width == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1;
  std::optional<uint64_t> bus;
  ViStatus status = startWindowAccess(function, vi, address, width, &bus);
  if (status == VI_SUCCESS) {
    std::optional<uint32_t> read = busRead(sessions[vi].window->space, *bus, width);
    if (read) {
      *value = *read;
    } else {
      status = VI_ERROR_BERR;
    }
  }
  if (logEnabled || trace != nullptr)
    record(CallRecord{function, vi, {bus.value_or(UINT64_MAX), *value}, "", status});
  return status;
}

ViStatus Mainframe::poke(const char* function, ViSession vi, ViAddr address, int width,
                         uint64_t value) {
  std::optional<uint64_t> bus;
  ViStatus status = startWindowAccess(function, vi, address, width, &bus);
  if (status == VI_SUCCESS &&
      !busWrite(sessions[vi].window->space, *bus, width, static_cast<uint32_t>(value)))
    status = VI_ERROR_BERR;
  if (logEnabled || trace != nullptr)
    record(CallRecord{function, vi, {bus.value_or(UINT64_MAX), value}, "", status});
  return status;
}

void Mainframe::viPeek8(ViSession vi, ViAddr address, ViUInt8* value) {
  uint64_t read = 0;
  peek("viPeek8", vi, address, 1, &read);
  if (value != nullptr) *value = static_cast<ViUInt8>(read);
}

void Mainframe::viPeek16(ViSession vi, ViAddr address, ViUInt16* value) {
  uint64_t read = 0;
  peek("viPeek16", vi, address, 2, &read);
  if (value != nullptr) *value = static_cast<ViUInt16>(read);
}

void Mainframe::viPeek32(ViSession vi, ViAddr address, ViUInt32* value) {
  uint64_t read = 0;
  peek("viPeek32", vi, address, 4, &read);
  if (value != nullptr) *value = static_cast<ViUInt32>(read);
}

void Mainframe::viPoke16(ViSession vi, ViAddr address, ViUInt16 value) {
  poke("viPoke16", vi, address, 2, value);
}

void Mainframe::viPoke32(ViSession vi, ViAddr address, ViUInt32 value) {
  poke("viPoke32", vi, address, 4, value);
}

}  // namespace sim
