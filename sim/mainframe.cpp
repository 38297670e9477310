// The simulated mainframe's devices, resource manager, sessions, searches
// and status texts. Bus accesses are in bus.cpp, attributes in
// attributes.cpp, events and locks in events.cpp, the call log and faults in
// call_log.cpp.
#include "sim/mainframe.h"

#include "sim/module/q7340_module.h"
#include "sim/traced.h"
#include "sim/resource_name.h"
#include "sim/slot0.h"

namespace sim {
namespace {
Mainframe* currentMainframe = nullptr;
}  // namespace

void setCurrent(Mainframe* mainframe) { currentMainframe = mainframe; }
Mainframe* current() { return currentMainframe; }

Mainframe::Mainframe(const MainframeConfig& config) : costs(config.costs) {
  if (config.slotZero) attach(0, std::make_unique<SlotZeroController>());
  if (config.q7340La >= 0 && config.q7340La <= 255)
    attach(config.q7340La, std::make_unique<module::Q7340Module>(config.module));
}

Mainframe::~Mainframe() {
  for (auto& [object, session] : sessions) releaseWindow(session);
  if (currentMainframe == this) currentMainframe = nullptr;
}

Device* Mainframe::attach(int la, std::unique_ptr<Device> device) {
  if (la < 0 || la > 255) return nullptr;
  devices[la] = std::move(device);
  memories.erase(la);
  return devices[la].get();
}

void Mainframe::detach(int la) {
  if (la < 0 || la > 255) return;
  devices[la].reset();
  memories.erase(la);
}

Device* Mainframe::device(int la) const {
  return la >= 0 && la <= 255 ? devices[la].get() : nullptr;
}

// ---- Sessions ---------------------------------------------------------------

Mainframe::Session* Mainframe::lookup(ViObject object, std::initializer_list<Kind> kinds) {
  auto it = sessions.find(object);
  if (it == sessions.end()) return nullptr;
  for (Kind kind : kinds)
    if (it->second.kind == kind) return &it->second;
  return nullptr;
}

ViSession Mainframe::newSession(Session session) {
  ViObject object = nextObject++;
  sessions.emplace(object, std::move(session));
  return object;
}

void Mainframe::closeSession(ViObject object) {
  auto it = sessions.find(object);
  if (it == sessions.end()) return;
  if (it->second.kind == Kind::ResourceManager) {
    // Closing a resource manager closes everything opened from it.
    std::vector<ViObject> children;
    for (auto& [child, session] : sessions)
      if (session.rm == object && child != object) children.push_back(child);
    for (ViObject child : children) closeSession(child);
  }
  releaseWindow(it->second);
  for (auto lock = lockOwners.begin(); lock != lockOwners.end();) {
    lock = lock->second == object ? lockOwners.erase(lock) : std::next(lock);
  }
  sessions.erase(object);
}

std::vector<std::string> Mainframe::instrumentDescriptors() const {
  std::vector<std::string> names;
  for (int la = 0; la < 256; ++la)
    if (devices[la]) names.push_back("VXI0::" + std::to_string(la) + "::INSTR");
  names.push_back("VXI0::MEMACC");
  return names;
}

ViStatus Mainframe::viOpenDefaultRM(ViSession* rm) {
  return traced("viOpenDefaultRM", 0, {}, "", std::nullopt, [&]() -> ViStatus {
    if (rm == nullptr) return VI_ERROR_INV_PARAMETER;
    Session session;
    session.kind = Kind::ResourceManager;
    *rm = newSession(session);
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeoutMs,
                           ViSession* vi) {
  std::string text = name != nullptr ? name : "";
  return traced("viOpen", rm, {mode, timeoutMs}, text, std::nullopt, [&]() -> ViStatus {
    if (lookup(rm, {Kind::ResourceManager}) == nullptr) return VI_ERROR_INV_OBJECT;
    if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
    if (name == nullptr) return VI_ERROR_INV_RSRC_NAME;
    if ((mode & ~(VI_EXCLUSIVE_LOCK | VI_LOAD_CONFIG)) != 0) return VI_ERROR_INV_ACC_MODE;
    ResourceName parsed;
    ViStatus status = parseResourceName(text, &parsed);
    if (status != VI_SUCCESS) return status;
    if (!parsed.memAcc && !devices[parsed.la]) return VI_ERROR_RSRC_NFOUND;
    Session session;
    session.kind = parsed.memAcc ? Kind::MemAcc : Kind::Instrument;
    session.rm = rm;
    session.la = parsed.la;
    session.name = canonicalName(parsed);
    if ((mode & VI_EXCLUSIVE_LOCK) && lockOwners.count(session.name)) return VI_ERROR_RSRC_LOCKED;
    ViSession opened = newSession(session);
    if (mode & VI_EXCLUSIVE_LOCK) {
      lockOwners[session.name] = opened;
      sessions[opened].lockCount = 1;
    }
    *vi = opened;
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viClose(ViObject object) {
  return traced("viClose", object, {}, "", std::nullopt, [&]() -> ViStatus {
    if (sessions.count(object) == 0) return VI_ERROR_INV_OBJECT;
    closeSession(object);
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viFindRsrc(ViSession rm, ViConstString expression, ViFindList* list,
                               ViUInt32* count, ViChar* descriptor) {
  std::string text = expression != nullptr ? expression : "";
  return traced("viFindRsrc", rm, {}, text, std::nullopt, [&]() -> ViStatus {
    if (list != nullptr) *list = 0;
    if (count != nullptr) *count = 0;
    if (lookup(rm, {Kind::ResourceManager}) == nullptr) return VI_ERROR_INV_OBJECT;
    if (text.empty()) return VI_ERROR_INV_EXPR;
    std::vector<std::string> found;
    for (const std::string& name : instrumentDescriptors())
      if (matchesExpression(text, name)) found.push_back(name);
    if (found.empty()) return VI_ERROR_RSRC_NFOUND;
    if (count != nullptr) *count = static_cast<ViUInt32>(found.size());
    if (descriptor != nullptr) snprintf(descriptor, VI_FIND_BUFLEN, "%s", found[0].c_str());
    if (list != nullptr) {
      Session session;
      session.kind = Kind::FindList;
      session.rm = rm;
      session.found = std::move(found);
      session.nextFound = 1;
      *list = newSession(std::move(session));
    }
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viFindNext(ViFindList list, ViChar* descriptor) {
  return traced("viFindNext", list, {}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(list, {Kind::FindList});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->nextFound >= session->found.size()) return VI_ERROR_RSRC_NFOUND;
    if (descriptor != nullptr)
      snprintf(descriptor, VI_FIND_BUFLEN, "%s", session->found[session->nextFound].c_str());
    ++session->nextFound;
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viParseRsrc(ViSession rm, ViConstRsrc name, ViUInt16* interfaceType,
                                ViUInt16* interfaceNumber) {
  std::string text = name != nullptr ? name : "";
  return traced("viParseRsrc", rm, {}, text, std::nullopt, [&]() -> ViStatus {
    if (lookup(rm, {Kind::ResourceManager}) == nullptr) return VI_ERROR_INV_OBJECT;
    ResourceName parsed;
    ViStatus status = parseResourceName(text, &parsed);
    if (status != VI_SUCCESS) return status;
    if (interfaceType != nullptr) *interfaceType = 2;  // VI_INTF_VXI
    if (interfaceNumber != nullptr) *interfaceNumber = static_cast<ViUInt16>(parsed.board);
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viClear(ViSession vi) {
  return traced("viClear", vi, {}, "", std::nullopt, [&]() -> ViStatus {
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->kind != Kind::Instrument) return VI_ERROR_NSUP_OPER;
    if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
    return VI_SUCCESS;
  });
}

ViStatus Mainframe::viStatusDesc(ViObject object, ViStatus status, ViChar* description) {
  return traced("viStatusDesc", object, {static_cast<uint32_t>(status)}, "", std::nullopt,
                [&]() -> ViStatus {
                  if (description == nullptr) return VI_ERROR_USER_BUF;
                  const char* text = statusText(status);
                  if (text != nullptr) {
                    snprintf(description, 256, "%s", text);
                    return VI_SUCCESS;
                  }
                  snprintf(description, 256, "Unknown status code 0x%08X.",
                           static_cast<unsigned>(status));
                  return VI_WARN_UNKNOWN_STATUS;
                });
}

ViStatus Mainframe::viWrite(ViSession vi, ViConstBuf buffer, ViUInt32 count, ViUInt32* written) {
  return traced("viWrite", vi, {count}, "", std::nullopt, [&]() -> ViStatus {
    if (written != nullptr) *written = 0;
    Session* session = lookup(vi, {Kind::Instrument, Kind::MemAcc, Kind::ResourceManager});
    if (session == nullptr) return VI_ERROR_INV_OBJECT;
    if (session->kind != Kind::Instrument || !devices[session->la]->identity().messageBased)
      return VI_ERROR_NSUP_OPER;
    if (lockedByOther(vi, *session)) return VI_ERROR_RSRC_LOCKED;
    if (buffer == nullptr && count > 0) return VI_ERROR_USER_BUF;
    messages[session->la].append(reinterpret_cast<const char*>(buffer), count);
    if (written != nullptr) *written = count;
    return VI_SUCCESS;
  });
}

}  // namespace sim
