// The simulated mainframe's devices, resource manager, sessions, searches,
// attributes and status texts. Bus accesses are in bus.cpp, events and locks
// in events.cpp, the call log and faults in call_log.cpp.
#include "sim/mainframe.h"

#include <cstring>

#include "sim/module/q7340_module.h"
#include "sim/traced.h"
#include "sim/resource_name.h"
#include "sim/slot0.h"

namespace sim {
namespace {
Mainframe* currentMainframe = nullptr;

// VISA's event-type attribute of an event object.
constexpr ViAttr attrEventType = 0x3FFF4010;
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
  return devices[la].get();
}

void Mainframe::detach(int la) {
  if (la >= 0 && la <= 255) devices[la].reset();
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

// ---- Attributes -------------------------------------------------------------

ViStatus Mainframe::viGetAttribute(ViObject object, ViAttr attribute, void* value) {
  return traced("viGetAttribute", object, {attribute}, "", attribute,
                [&] { return getAttribute(object, attribute, value); });
}

ViStatus Mainframe::viSetAttribute(ViObject object, ViAttr attribute, ViAttrState value) {
  return traced("viSetAttribute", object, {attribute, value}, "", attribute,
                [&] { return setAttribute(object, attribute, value); });
}

namespace {
template <typename T>
ViStatus store(void* destination, T value) {
  memcpy(destination, &value, sizeof value);  // exactly the attribute's own width
  return VI_SUCCESS;
}
}  // namespace

ViStatus Mainframe::getAttribute(ViObject object, ViAttr attribute, void* value) {
  auto it = sessions.find(object);
  if (it == sessions.end()) return VI_ERROR_INV_OBJECT;
  Session& session = it->second;
  if (value == nullptr) return VI_ERROR_USER_BUF;
  if (session.kind == Kind::Event) {
    if (attribute == VI_ATTR_SIGP_STATUS_ID) return store<ViUInt16>(value, session.sigpStatusId);
    if (attribute == attrEventType) return store<ViEventType>(value, VI_EVENT_VXI_SIGP);
    return VI_ERROR_NSUP_ATTR;
  }
  if (attribute == VI_ATTR_TMO_VALUE) return store<ViUInt32>(value, session.timeoutMs);
  if (session.kind != Kind::Instrument && session.kind != Kind::MemAcc) return VI_ERROR_NSUP_ATTR;
  switch (attribute) {
    case VI_ATTR_RSRC_NAME: {
      char* text = static_cast<char*>(value);
      snprintf(text, 256, "%s", session.name.c_str());
      return VI_SUCCESS;
    }
    case VI_ATTR_SRC_INCREMENT: return store<ViInt32>(value, session.srcIncrement);
    case VI_ATTR_DEST_INCREMENT: return store<ViInt32>(value, session.destIncrement);
    default: break;
  }
  if (session.kind != Kind::Instrument) return VI_ERROR_NSUP_ATTR;
  DeviceIdentity id = devices[session.la]->identity();
  switch (attribute) {
    case VI_ATTR_MANF_ID: return store<ViUInt16>(value, id.manfId);
    case VI_ATTR_MODEL_CODE: return store<ViUInt16>(value, id.modelCode);
    case VI_ATTR_SLOT: return store<ViInt16>(value, id.slot);
    case VI_ATTR_VXI_LA: return store<ViInt16>(value, static_cast<ViInt16>(session.la));
    case VI_ATTR_MEM_SPACE: return store<ViUInt16>(value, id.memSpace);
    case VI_ATTR_MEM_SIZE: return store<ViBusSize>(value, id.memSize);
    case VI_ATTR_MEM_BASE: return store<ViBusAddress>(value, id.memBase);
    default: return VI_ERROR_NSUP_ATTR;
  }
}

ViStatus Mainframe::setAttribute(ViObject object, ViAttr attribute, ViAttrState value) {
  auto it = sessions.find(object);
  if (it == sessions.end()) return VI_ERROR_INV_OBJECT;
  Session& session = it->second;
  if (session.kind == Kind::Event || session.kind == Kind::FindList) return VI_ERROR_NSUP_ATTR;
  switch (attribute) {
    case VI_ATTR_TMO_VALUE:
      session.timeoutMs = static_cast<ViUInt32>(value);
      return VI_SUCCESS;
    case VI_ATTR_SRC_INCREMENT:
    case VI_ATTR_DEST_INCREMENT: {
      if (session.kind == Kind::ResourceManager) return VI_ERROR_NSUP_ATTR;
      ViInt32 increment = static_cast<ViInt32>(value);
      if (increment != 0 && increment != 1) return VI_ERROR_NSUP_ATTR_STATE;
      (attribute == VI_ATTR_SRC_INCREMENT ? session.srcIncrement : session.destIncrement) =
          increment;
      return VI_SUCCESS;
    }
    case VI_ATTR_RSRC_NAME:
    case VI_ATTR_MANF_ID:
    case VI_ATTR_MODEL_CODE:
    case VI_ATTR_SLOT:
    case VI_ATTR_VXI_LA:
    case VI_ATTR_MEM_SPACE:
    case VI_ATTR_MEM_SIZE:
    case VI_ATTR_MEM_BASE:
      return session.kind == Kind::ResourceManager ? VI_ERROR_NSUP_ATTR : VI_ERROR_ATTR_READONLY;
    default: return VI_ERROR_NSUP_ATTR;
  }
}

}  // namespace sim
