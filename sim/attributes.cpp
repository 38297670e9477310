// The attributes of the simulated mainframe's sessions: which object answers
// which attribute, each value written with the attribute's own width, and
// the checks of viSetAttribute (read-only, out of the type's range, not a
// state the attribute has).
#include "sim/attributes.h"

#include <cstdio>
#include <cstring>

#include "sim/traced.h"
#include "sim/visa_extra.h"

namespace sim {
namespace {

// VISA's event-type attribute of an event object.
constexpr ViAttr attrEventType = 0x3FFF4010;

// What the simulator reports as its VISA: the standard's version it follows
// and its own version (major << 20 | minor << 8 | patch).
constexpr ViVersion specVersion = 0x00500400;  // VISA 5.4
constexpr ViVersion implVersion = Q7_SIM_IMPL_VERSION;
constexpr const char* visaManufacturer = "q7340romupdate simulated VXI mainframe";

enum class Type { U16, I16, U32, I32, U64, Text };
// Who answers: the resource manager and both kinds of resource; a MEMACC or
// an instrument session; an instrument only; an event.
enum class Scope { Any, Resource, Instrument, Event };

struct AttributeInfo {
  ViAttr id;
  const char* name;
  Type type;
  Scope scope;
  bool writable;
};

constexpr AttributeInfo table[] = {
    {VI_ATTR_TMO_VALUE, "VI_ATTR_TMO_VALUE", Type::U32, Scope::Any, true},
    {VI_ATTR_RSRC_MANF_NAME, "VI_ATTR_RSRC_MANF_NAME", Type::Text, Scope::Any, false},
    {VI_ATTR_RSRC_SPEC_VERSION, "VI_ATTR_RSRC_SPEC_VERSION", Type::U32, Scope::Any, false},
    {VI_ATTR_RSRC_IMPL_VERSION, "VI_ATTR_RSRC_IMPL_VERSION", Type::U32, Scope::Any, false},
    {VI_ATTR_RSRC_NAME, "VI_ATTR_RSRC_NAME", Type::Text, Scope::Resource, false},
    {VI_ATTR_RSRC_CLASS, "VI_ATTR_RSRC_CLASS", Type::Text, Scope::Resource, false},
    {VI_ATTR_RSRC_LOCK_STATE, "VI_ATTR_RSRC_LOCK_STATE", Type::U32, Scope::Resource, false},
    {VI_ATTR_INTF_TYPE, "VI_ATTR_INTF_TYPE", Type::U16, Scope::Resource, false},
    {VI_ATTR_INTF_NUM, "VI_ATTR_INTF_NUM", Type::U16, Scope::Resource, false},
    {VI_ATTR_SRC_INCREMENT, "VI_ATTR_SRC_INCREMENT", Type::I32, Scope::Resource, true},
    {VI_ATTR_DEST_INCREMENT, "VI_ATTR_DEST_INCREMENT", Type::I32, Scope::Resource, true},
    {VI_ATTR_MANF_NAME, "VI_ATTR_MANF_NAME", Type::Text, Scope::Instrument, false},
    {VI_ATTR_MODEL_NAME, "VI_ATTR_MODEL_NAME", Type::Text, Scope::Instrument, false},
    {VI_ATTR_MANF_ID, "VI_ATTR_MANF_ID", Type::U16, Scope::Instrument, false},
    {VI_ATTR_MODEL_CODE, "VI_ATTR_MODEL_CODE", Type::U16, Scope::Instrument, false},
    {VI_ATTR_SLOT, "VI_ATTR_SLOT", Type::I16, Scope::Instrument, false},
    {VI_ATTR_VXI_LA, "VI_ATTR_VXI_LA", Type::I16, Scope::Instrument, false},
    {VI_ATTR_MEM_SPACE, "VI_ATTR_MEM_SPACE", Type::U16, Scope::Instrument, false},
    {VI_ATTR_MEM_SIZE, "VI_ATTR_MEM_SIZE", Type::U64, Scope::Instrument, false},
    {VI_ATTR_MEM_BASE, "VI_ATTR_MEM_BASE", Type::U64, Scope::Instrument, false},
    {VI_ATTR_SIGP_STATUS_ID, "VI_ATTR_SIGP_STATUS_ID", Type::U16, Scope::Event, false},
    {attrEventType, "VI_ATTR_EVENT_TYPE", Type::U32, Scope::Event, false},
};

const AttributeInfo* infoOf(ViAttr attribute) {
  for (const AttributeInfo& info : table)
    if (info.id == attribute) return &info;
  return nullptr;
}

// A value of the type's width, passed as ViAttrState: an unsigned type takes
// it zero-extended, a signed one sign-extended, and nothing wider.
bool fitsType(Type type, ViAttrState value) {
  auto fitsSigned = [value](int64_t low, int64_t high) {
    auto v = static_cast<int64_t>(value);
    return v >= low && v <= high;
  };
  switch (type) {
    case Type::U16: return value <= 0xFFFF;
    case Type::I16: return fitsSigned(INT16_MIN, INT16_MAX);
    case Type::U32: return value <= 0xFFFFFFFF;
    case Type::I32: return fitsSigned(INT32_MIN, INT32_MAX);
    case Type::U64: return true;
    case Type::Text: return false;
  }
  return false;
}

template <typename T>
void store(void* destination, uint64_t value) {
  T narrowed = static_cast<T>(value);
  memcpy(destination, &narrowed, sizeof narrowed);  // exactly the attribute's own width
}

std::string numbered(const char* what, uint16_t number) {
  char text[48];
  snprintf(text, sizeof text, "%s 0x%03X", what, number);
  return text;
}

}  // namespace

const char* attributeName(ViAttr attribute) {
  const AttributeInfo* info = infoOf(attribute);
  return info != nullptr ? info->name : nullptr;
}

ViStatus Mainframe::viGetAttribute(ViObject object, ViAttr attribute, void* value) {
  return traced("viGetAttribute", object, {attribute}, "", attribute,
                [&] { return getAttribute(object, attribute, value); });
}

ViStatus Mainframe::viSetAttribute(ViObject object, ViAttr attribute, ViAttrState value) {
  return traced("viSetAttribute", object, {attribute, value}, "", attribute,
                [&] { return setAttribute(object, attribute, value); });
}

bool Mainframe::inScope(int scope, Kind kind) {
  switch (static_cast<Scope>(scope)) {
    case Scope::Any:
      return kind == Kind::ResourceManager || kind == Kind::MemAcc || kind == Kind::Instrument;
    case Scope::Resource: return kind == Kind::MemAcc || kind == Kind::Instrument;
    case Scope::Instrument: return kind == Kind::Instrument;
    case Scope::Event: return kind == Kind::Event;
  }
  return false;
}

ViStatus Mainframe::getAttribute(ViObject object, ViAttr attribute, void* value) {
  auto it = sessions.find(object);
  if (it == sessions.end()) return VI_ERROR_INV_OBJECT;
  const Session& session = it->second;
  if (value == nullptr) return VI_ERROR_USER_BUF;
  const AttributeInfo* info = infoOf(attribute);
  if (info == nullptr || !inScope(static_cast<int>(info->scope), session.kind))
    return VI_ERROR_NSUP_ATTR;

  uint64_t number = 0;
  std::string text;
  DeviceIdentity id;
  if (session.kind == Kind::Instrument) id = devices[session.la]->identity();
  switch (attribute) {
    case VI_ATTR_TMO_VALUE: number = session.timeoutMs; break;
    case VI_ATTR_RSRC_MANF_NAME: text = visaManufacturer; break;
    case VI_ATTR_RSRC_SPEC_VERSION: number = specVersion; break;
    case VI_ATTR_RSRC_IMPL_VERSION: number = implVersion; break;
    case VI_ATTR_RSRC_NAME: text = session.name; break;
    case VI_ATTR_RSRC_CLASS: text = session.kind == Kind::MemAcc ? "MEMACC" : "INSTR"; break;
    case VI_ATTR_RSRC_LOCK_STATE:
      number = lockOwners.count(session.name) ? VI_EXCLUSIVE_LOCK : VI_NO_LOCK;
      break;
    case VI_ATTR_INTF_TYPE: number = VI_INTF_VXI; break;
    case VI_ATTR_INTF_NUM: number = 0; break;  // the one interface, VXI0
    case VI_ATTR_SRC_INCREMENT: number = static_cast<uint32_t>(session.srcIncrement); break;
    case VI_ATTR_DEST_INCREMENT: number = static_cast<uint32_t>(session.destIncrement); break;
    case VI_ATTR_MANF_NAME:
      text = id.manfName.empty() ? numbered("VXI manufacturer", id.manfId) : id.manfName;
      break;
    case VI_ATTR_MODEL_NAME:
      text = id.modelName.empty() ? numbered("VXI model", id.modelCode) : id.modelName;
      break;
    case VI_ATTR_MANF_ID: number = id.manfId; break;
    case VI_ATTR_MODEL_CODE: number = id.modelCode; break;
    case VI_ATTR_SLOT: number = static_cast<uint16_t>(id.slot); break;
    case VI_ATTR_VXI_LA: number = static_cast<uint16_t>(session.la); break;
    case VI_ATTR_MEM_SPACE: number = id.memSpace; break;
    case VI_ATTR_MEM_SIZE: number = id.memSize; break;
    case VI_ATTR_MEM_BASE: number = id.memBase; break;
    case VI_ATTR_SIGP_STATUS_ID: number = session.sigpStatusId; break;
    case attrEventType: number = VI_EVENT_VXI_SIGP; break;
    default: return VI_ERROR_NSUP_ATTR;
  }
  switch (info->type) {
    case Type::U16:
    case Type::I16: store<ViUInt16>(value, number); break;
    case Type::U32:
    case Type::I32: store<ViUInt32>(value, number); break;
    case Type::U64: store<ViUInt64>(value, number); break;
    case Type::Text: snprintf(static_cast<char*>(value), 256, "%s", text.c_str()); break;
  }
  return VI_SUCCESS;
}

ViStatus Mainframe::setAttribute(ViObject object, ViAttr attribute, ViAttrState value) {
  auto it = sessions.find(object);
  if (it == sessions.end()) return VI_ERROR_INV_OBJECT;
  Session& session = it->second;
  const AttributeInfo* info = infoOf(attribute);
  if (info == nullptr || !inScope(static_cast<int>(info->scope), session.kind))
    return VI_ERROR_NSUP_ATTR;
  if (!info->writable) return VI_ERROR_ATTR_READONLY;
  // Never cut to the attribute's width: 0x100000000 is not an increment of 0.
  if (!fitsType(info->type, value)) return VI_ERROR_NSUP_ATTR_STATE;
  switch (attribute) {
    case VI_ATTR_TMO_VALUE:
      session.timeoutMs = static_cast<ViUInt32>(value);
      return VI_SUCCESS;
    case VI_ATTR_SRC_INCREMENT:
    case VI_ATTR_DEST_INCREMENT:
      if (value != 0 && value != 1) return VI_ERROR_NSUP_ATTR_STATE;
      (attribute == VI_ATTR_SRC_INCREMENT ? session.srcIncrement : session.destIncrement) =
          static_cast<ViInt32>(value);
      return VI_SUCCESS;
    default: return VI_ERROR_NSUP_ATTR;
  }
}

}  // namespace sim
