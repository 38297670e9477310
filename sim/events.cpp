// SIGP events with their handlers, and exclusive locks, of the simulated
// mainframe.
#include <algorithm>

#include "common/clock.h"
#include "sim/traced.h"
#include "sim/visa_extra.h"

namespace sim {

ViStatus Mainframe::viInstallHandler(ViSession vi, ViEventType type, ViHndlr handler,
                                     ViAddr userHandle) {
  return traced("viInstallHandler", vi, {type}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (type != VI_EVENT_VXI_SIGP) return VI_ERROR_INV_EVENT;
    if (handler == nullptr) return VI_ERROR_INV_HNDLR_REF;
    session->handlers.push_back(Handler{handler, userHandle});
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viUninstallHandler(ViSession vi, ViEventType type, ViHndlr handler,
                                       ViAddr userHandle) {
  return traced("viUninstallHandler", vi, {type}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (type != VI_EVENT_VXI_SIGP) return VI_ERROR_INV_EVENT;
    auto& handlers = session->handlers;
    auto it = std::find_if(handlers.begin(), handlers.end(), [&](const Handler& h) {
      return h.function == handler && h.userHandle == userHandle;
    });
    if (it == handlers.end()) return VI_ERROR_INV_HNDLR_REF;
    handlers.erase(it);
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viEnableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism,
                                  ViEventFilter context) {
  return traced("viEnableEvent", vi, {type, mechanism}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (type != VI_EVENT_VXI_SIGP) return VI_ERROR_INV_EVENT;
    if (mechanism != VI_HNDLR || context != VI_NULL) return VI_ERROR_INV_MECH;
    if (session->handlers.empty()) return VI_ERROR_HNDLR_NINSTALLED;
    if (session->sigpEnabled) return VI_SUCCESS_EVENT_EN;
    session->sigpEnabled = true;
    return VI_SUCCESS;
  });
}

namespace {

// The event types a session has: SIGP, or all of those enabled.
bool knownEvent(ViEventType type) {
  return type == VI_EVENT_VXI_SIGP || type == VI_ALL_ENABLED_EVENTS;
}

// VI_ALL_MECH, or any non-empty mix of queue, handler and suspended handler.
bool knownMechanisms(ViUInt16 mechanism) {
  return mechanism == VI_ALL_MECH ||
         (mechanism != 0 && (mechanism & ~(VI_QUEUE | VI_HNDLR | VI_SUSPEND_HNDLR)) == 0);
}

}  // namespace

// SIGP is only ever enabled for handlers; disabling any other mechanism
// finds it disabled already.
ViStatus Mainframe::viDisableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism) {
  return traced("viDisableEvent", vi, {type, mechanism}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (!knownEvent(type)) return VI_ERROR_INV_EVENT;
    if (!knownMechanisms(mechanism)) return VI_ERROR_INV_MECH;
    if (!session->sigpEnabled || (mechanism & VI_HNDLR) == 0) return VI_SUCCESS_EVENT_DIS;
    session->sigpEnabled = false;
    return VI_SUCCESS;
  });
}

// Handlers run at once, so no event is ever waiting in a queue.
ViStatus Mainframe::viDiscardEvents(ViSession vi, ViEventType type, ViUInt16 mechanism) {
  return traced("viDiscardEvents", vi, {type, mechanism}, "", std::nullopt, [&]() -> ViStatus {
    if (lookup(vi, {Kind::Instrument, Kind::MemAcc}) == nullptr) return VI_ERROR_INV_OBJECT;
    if (!knownEvent(type)) return VI_ERROR_INV_EVENT;
    if (!knownMechanisms(mechanism)) return VI_ERROR_INV_MECH;
    return VI_SUCCESS_QUEUE_EMPTY;
  });
}

int Mainframe::raiseSigp(int la, uint16_t statusId) {
  std::vector<ViSession> targets;
  for (auto& [object, session] : sessions) {
    bool reaches = session.kind == Kind::MemAcc || (session.kind == Kind::Instrument && session.la == la);
    if (reaches && session.sigpEnabled) targets.push_back(object);
  }
  int calls = 0;
  for (ViSession vi : targets) {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
    if (session == nullptr || !session->sigpEnabled) continue;  // closed by an earlier handler
    Session event;
    event.kind = Kind::Event;
    event.sigpStatusId = statusId;
    ViEvent context = newSession(event);
    // A copy: a handler may install or remove handlers.
    std::vector<Handler> handlers = session->handlers;
    for (const Handler& handler : handlers) {
      if (sessions.count(vi) == 0) break;
      handler.function(vi, VI_EVENT_VXI_SIGP, context, handler.userHandle);
      ++calls;
    }
    sessions.erase(context);
  }
  return calls;
}

bool Mainframe::lockedByOther(ViSession vi, const Session& session) const {
  auto owner = lockOwners.find(session.name);
  return owner != lockOwners.end() && owner->second != vi;
}

ViStatus Mainframe::viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeoutMs,
                           ViConstKeyId requestedKey, ViChar* accessKey) {
  return traced("viLock", vi, {lockType, timeoutMs}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    // Only exclusive locks are modelled; nothing here asks for shared ones.
    if (lockType != VI_EXCLUSIVE_LOCK || requestedKey != nullptr) return VI_ERROR_INV_LOCK_TYPE;
    if (accessKey != nullptr) accessKey[0] = '\0';
    if (lockedByOther(vi, *session)) {
      if (timeoutMs == 0) return VI_ERROR_RSRC_LOCKED;
      // One thread: nobody can release it while we wait.
      clockCharge(timeoutMs / 1000.0);
      return VI_ERROR_TMO;
    }
    lockOwners[session->name] = vi;
    return ++session->lockCount > 1 ? VI_SUCCESS_NESTED_EXCLUSIVE : VI_SUCCESS;
  });
}

ViStatus Mainframe::viUnlock(ViSession vi) {
  return traced("viUnlock", vi, {}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->lockCount == 0) return VI_ERROR_SESN_NLOCKED;
    if (--session->lockCount == 0) lockOwners.erase(session->name);
    return VI_SUCCESS;
  });
}

}  // namespace sim
