// Every member of the tracing table calls the provider's function, then
// writes one line: the time, the function, its arguments, its status, what it
// gave back, and the data of block moves in hexadecimal.
#include "vxi/visa_trace.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/clock.h"
#include "vxi/visa.h"

namespace {

constexpr ViAttr VI_ATTR_RSRC_IMPL_VERSION = 0x3FFF0003;

FILE* traceFile = nullptr;
const char* traceVersion = "";
bool headerWritten = false;

// One line of the trace, built field by field.
struct Line {
  std::string text;

  Line(const char* function) {
    char start[96];
    std::snprintf(start, sizeof start, "{\"t\":%.6f,\"fn\":\"%s\"", elapsedSeconds(), function);
    text = start;
  }
  Line& number(const char* name, int64_t value) {
    text += ",\"" + std::string(name) + "\":" + std::to_string(value);
    return *this;
  }
  Line& hexNumber(const char* name, uint64_t value) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "\"0x%" PRIx64 "\"", value);
    text += ",\"" + std::string(name) + "\":" + digits;
    return *this;
  }
  Line& string(const char* name, const char* value) {
    text += ",\"" + std::string(name) + "\":\"";
    for (const char* c = value != nullptr ? value : ""; *c != '\0'; ++c) {
      unsigned char byte = static_cast<unsigned char>(*c);
      if (byte == '"' || byte == '\\') {
        text += '\\';
        text += *c;
      } else if (byte < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
        text += escaped;
      } else {
        text += *c;
      }
    }
    text += '"';
    return *this;
  }
  // Elements of `width` bytes as hexadecimal numbers, one after the other.
  Line& data(const void* elements, uint64_t count, int width) {
    text += ",\"data\":\"";
    const uint8_t* bytes = static_cast<const uint8_t*>(elements);
    char digits[12];
    for (uint64_t i = 0; elements != nullptr && i < count; ++i) {
      uint32_t value = 0;
      std::memcpy(&value, bytes + i * width, width);  // little-endian host: the low bytes
      std::snprintf(digits, sizeof digits, width == 2 ? "%04x" : "%08x", value);
      text += digits;
    }
    text += '"';
    return *this;
  }
  ~Line() {
    if (traceFile == nullptr) return;
    std::fputs((text + "}\n").c_str(), traceFile);
    std::fflush(traceFile);
  }
};

const VisaFunctions& inner() { return visaProvider(); }

// The first line: the program, the library and its implementation version,
// known once the resource manager is open.
void writeHeader(ViSession rm) {
  if (headerWritten || traceFile == nullptr) return;
  headerWritten = true;
  ViUInt32 implementation = 0;
  bool known = inner().viGetAttribute(rm, VI_ATTR_RSRC_IMPL_VERSION, &implementation) == VI_SUCCESS;
  const char* library = visaLibraryLoaded();
  std::string header = "{\"trace\":\"q7340romupdate VISA calls\",\"version\":\"";
  header += traceVersion;
  header += "\",\"library\":\"";
  header += library != nullptr ? library : "(provider in the process)";
  header += "\",\"implVersion\":";
  if (known) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "\"0x%08x\"", implementation);
    header += digits;
  } else {
    header += "null";
  }
  std::fputs((header + "}\n").c_str(), traceFile);
  std::fflush(traceFile);
}

// The width of an attribute's value, for the attributes the program reads;
// 0 for others, whose value is not recorded.
int attributeWidth(ViAttr attribute) {
  switch (attribute) {
    case VI_ATTR_MANF_ID:
    case VI_ATTR_MODEL_CODE:
    case VI_ATTR_SLOT:
    case VI_ATTR_MEM_SPACE:
    case VI_ATTR_VXI_LA: return 2;
    case VI_ATTR_TMO_VALUE:
    case VI_ATTR_SRC_INCREMENT:
    case VI_ATTR_DEST_INCREMENT: return 4;
    case VI_ATTR_MEM_BASE:
    case VI_ATTR_MEM_SIZE: return 8;
    default: return 0;
  }
}

ViStatus traceOpenDefaultRM(ViSession* rm) {
  ViStatus status = inner().viOpenDefaultRM(rm);
  if (status == VI_SUCCESS) writeHeader(*rm);
  Line("viOpenDefaultRM").number("status", status).number("rm", status == VI_SUCCESS ? *rm : 0);
  return status;
}
ViStatus traceOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 ms, ViSession* vi) {
  ViStatus status = inner().viOpen(rm, name, mode, ms, vi);
  Line("viOpen").number("rm", rm).string("name", name).number("mode", mode).number("timeout", ms)
      .number("status", status).number("vi", status >= VI_SUCCESS ? *vi : 0);
  return status;
}
ViStatus traceClose(ViObject object) {
  ViStatus status = inner().viClose(object);
  Line("viClose").number("vi", object).number("status", status);
  return status;
}
ViStatus traceFindRsrc(ViSession rm, ViConstString expression, ViFindList* list, ViUInt32* count,
                       ViChar* descriptor) {
  ViStatus status = inner().viFindRsrc(rm, expression, list, count, descriptor);
  Line line("viFindRsrc");
  line.number("rm", rm).string("expr", expression).number("status", status);
  if (status >= VI_SUCCESS) {
    if (list != nullptr) line.number("list", *list);
    if (count != nullptr) line.number("count", *count);
    line.string("desc", descriptor);
  }
  return status;
}
ViStatus traceFindNext(ViFindList list, ViChar* descriptor) {
  ViStatus status = inner().viFindNext(list, descriptor);
  Line("viFindNext").number("list", list).number("status", status)
      .string("desc", status >= VI_SUCCESS ? descriptor : "");
  return status;
}
ViStatus traceClear(ViSession vi) {
  ViStatus status = inner().viClear(vi);
  Line("viClear").number("vi", vi).number("status", status);
  return status;
}
ViStatus traceStatusDesc(ViObject object, ViStatus described, ViChar* description) {
  ViStatus status = inner().viStatusDesc(object, described, description);
  Line("viStatusDesc").number("vi", object).number("of", described).number("status", status)
      .string("desc", status >= VI_SUCCESS ? description : "");
  return status;
}
ViStatus traceGetAttribute(ViObject object, ViAttr attribute, void* value) {
  ViStatus status = inner().viGetAttribute(object, attribute, value);
  Line line("viGetAttribute");
  line.number("vi", object).hexNumber("attr", attribute).number("status", status);
  int width = attributeWidth(attribute);
  if (status >= VI_SUCCESS && width > 0 && value != nullptr) {
    uint64_t read = 0;
    std::memcpy(&read, value, static_cast<size_t>(width));
    line.number("value", width == 2 && attribute == VI_ATTR_SLOT ? static_cast<int16_t>(read)
                                                                 : static_cast<int64_t>(read));
  }
  return status;
}
ViStatus traceSetAttribute(ViObject object, ViAttr attribute, ViAttrState value) {
  ViStatus status = inner().viSetAttribute(object, attribute, value);
  Line("viSetAttribute").number("vi", object).hexNumber("attr", attribute)
      .number("value", static_cast<int64_t>(value)).number("status", status);
  return status;
}
ViStatus traceMapAddress(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size,
                         ViBoolean access, ViAddr suggested, ViAddr* address) {
  ViStatus status = inner().viMapAddress(vi, space, offset, size, access, suggested, address);
  Line("viMapAddress").number("vi", vi).number("space", space).hexNumber("offset", offset)
      .number("size", static_cast<int64_t>(size)).number("status", status)
      .hexNumber("address", status >= VI_SUCCESS && address != nullptr
                                ? reinterpret_cast<uintptr_t>(*address) : 0);
  return status;
}
ViStatus traceUnmapAddress(ViSession vi) {
  ViStatus status = inner().viUnmapAddress(vi);
  Line("viUnmapAddress").number("vi", vi).number("status", status);
  return status;
}

template <typename Value>
void peekLine(const char* function, ViSession vi, ViAddr address, Value value) {
  Line(function).number("vi", vi).hexNumber("address", reinterpret_cast<uintptr_t>(address))
      .number("value", static_cast<int64_t>(value));
}
void tracePeek8(ViSession vi, ViAddr address, ViUInt8* value) {
  inner().viPeek8(vi, address, value);
  peekLine("viPeek8", vi, address, *value);
}
void tracePeek16(ViSession vi, ViAddr address, ViUInt16* value) {
  inner().viPeek16(vi, address, value);
  peekLine("viPeek16", vi, address, *value);
}
void tracePeek32(ViSession vi, ViAddr address, ViUInt32* value) {
  inner().viPeek32(vi, address, value);
  peekLine("viPeek32", vi, address, *value);
}
void tracePoke16(ViSession vi, ViAddr address, ViUInt16 value) {
  inner().viPoke16(vi, address, value);
  peekLine("viPoke16", vi, address, value);
}
void tracePoke32(ViSession vi, ViAddr address, ViUInt32 value) {
  inner().viPoke32(vi, address, value);
  peekLine("viPoke32", vi, address, value);
}

template <typename Element>
void moveLine(const char* function, ViSession vi, ViUInt16 space, ViBusAddress offset,
              ViBusSize count, const Element* buffer, ViStatus status, bool dataValid) {
  Line line(function);
  line.number("vi", vi).number("space", space).hexNumber("offset", offset)
      .number("count", static_cast<int64_t>(count)).number("status", status);
  if (dataValid) line.data(buffer, count, sizeof(Element));
}
ViStatus traceMoveIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                       ViUInt16* buffer) {
  ViStatus status = inner().viMoveIn16(vi, space, offset, count, buffer);
  moveLine("viMoveIn16", vi, space, offset, count, buffer, status, status >= VI_SUCCESS);
  return status;
}
ViStatus traceMoveIn32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                       ViUInt32* buffer) {
  ViStatus status = inner().viMoveIn32(vi, space, offset, count, buffer);
  moveLine("viMoveIn32", vi, space, offset, count, buffer, status, status >= VI_SUCCESS);
  return status;
}
ViStatus traceMoveOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                        ViUInt16* buffer) {
  ViStatus status = inner().viMoveOut16(vi, space, offset, count, buffer);
  moveLine("viMoveOut16", vi, space, offset, count, buffer, status, true);
  return status;
}
ViStatus traceMoveOut32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                        ViUInt32* buffer) {
  ViStatus status = inner().viMoveOut32(vi, space, offset, count, buffer);
  moveLine("viMoveOut32", vi, space, offset, count, buffer, status, true);
  return status;
}
ViStatus traceWrite(ViSession vi, ViConstBuf buffer, ViUInt32 count, ViUInt32* written) {
  ViStatus status = inner().viWrite(vi, buffer, count, written);
  Line("viWrite").number("vi", vi).number("count", count).number("status", status)
      .data(buffer, count, 1);
  return status;
}
ViStatus traceIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16* value) {
  ViStatus status = inner().viIn16(vi, space, offset, value);
  Line("viIn16").number("vi", vi).number("space", space).hexNumber("offset", offset)
      .number("status", status).number("value", status >= VI_SUCCESS ? *value : 0);
  return status;
}
ViStatus traceOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value) {
  ViStatus status = inner().viOut16(vi, space, offset, value);
  Line("viOut16").number("vi", vi).number("space", space).hexNumber("offset", offset)
      .number("value", value).number("status", status);
  return status;
}
ViStatus traceCommandQuery(ViSession vi, ViUInt16 mode, ViUInt32 command, ViUInt32* response) {
  ViStatus status = inner().viVxiCommandQuery(vi, mode, command, response);
  Line("viVxiCommandQuery").number("vi", vi).number("mode", mode).hexNumber("command", command)
      .number("status", status).hexNumber("response", status >= VI_SUCCESS ? *response : 0);
  return status;
}
ViStatus traceInstallHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user) {
  ViStatus status = inner().viInstallHandler(vi, type, handler, user);
  Line("viInstallHandler").number("vi", vi).hexNumber("event", type).number("status", status);
  return status;
}
ViStatus traceUninstallHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user) {
  ViStatus status = inner().viUninstallHandler(vi, type, handler, user);
  Line("viUninstallHandler").number("vi", vi).hexNumber("event", type).number("status", status);
  return status;
}
ViStatus traceEnableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism,
                          ViEventFilter context) {
  ViStatus status = inner().viEnableEvent(vi, type, mechanism, context);
  Line("viEnableEvent").number("vi", vi).hexNumber("event", type).number("mechanism", mechanism)
      .number("status", status);
  return status;
}
ViStatus traceDisableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism) {
  ViStatus status = inner().viDisableEvent(vi, type, mechanism);
  Line("viDisableEvent").number("vi", vi).hexNumber("event", type).number("mechanism", mechanism)
      .number("status", status);
  return status;
}
ViStatus traceLock(ViSession vi, ViAccessMode type, ViUInt32 ms, ViConstKeyId requested,
                   ViChar* key) {
  ViStatus status = inner().viLock(vi, type, ms, requested, key);
  Line("viLock").number("vi", vi).number("type", type).number("timeout", ms)
      .number("status", status);
  return status;
}
ViStatus traceUnlock(ViSession vi) {
  ViStatus status = inner().viUnlock(vi);
  Line("viUnlock").number("vi", vi).number("status", status);
  return status;
}

const VisaFunctions traceTable = {
    traceOpenDefaultRM, traceOpen,          traceClose,         traceFindRsrc,
    traceFindNext,      traceClear,         traceStatusDesc,    traceGetAttribute,
    traceSetAttribute,  traceMapAddress,    traceUnmapAddress,  tracePeek8,
    tracePeek16,        tracePeek32,        tracePoke16,        tracePoke32,
    traceMoveIn16,      traceMoveIn32,      traceMoveOut16,     traceMoveOut32,
    traceWrite,         traceIn16,          traceOut16,         traceCommandQuery,
    traceInstallHandler, traceUninstallHandler, traceEnableEvent, traceDisableEvent,
    traceLock,          traceUnlock,
};

}  // namespace

int32_t visaTraceOpen(const char* path, const char* programVersion) {
  FILE* file = std::fopen(path, "w");
  if (file == nullptr) return -1;
  visaTraceClose();
  traceFile = file;
  traceVersion = programVersion;
  headerWritten = false;
  visaUseTable(&traceTable);
  return 0;
}

void visaTraceClose() {
  if (traceFile == nullptr) return;
  visaUseTable(nullptr);
  std::fclose(traceFile);
  traceFile = nullptr;
}
