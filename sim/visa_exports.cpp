// The simulated mainframe as a shared VISA library (libvisa.so): the standard
// VISA functions with their C names and ABI, acting on one mainframe made on
// the first call from the Q7SIM_* environment variables. Built only into the
// simulator's own build directory, never installed. The register and memory
// family is in visa_exports_access.cpp.
#include <cstdio>
#include <cstdlib>

#include "sim/config_env.h"
#include "sim/resource_name.h"
#include "sim/visa_exports.h"

sim::Mainframe& sim::exportedMainframe() {
  static sim::Mainframe* shared = [] {
    auto* made = new sim::Mainframe(sim::configFromEnvironment());  // lives as long as the process
    made->logEnabled = false;
    if (const char* path = getenv("Q7SIM_TRACE"); path != nullptr && *path != '\0')
      made->trace = fopen(path, "a");
    sim::setCurrent(made);
    return made;
  }();
  return *shared;
}

namespace {
sim::Mainframe& mainframe() { return sim::exportedMainframe(); }
}  // namespace

SIM_EXPORT ViStatus viOpenDefaultRM(ViSession* rm) { return mainframe().viOpenDefaultRM(rm); }
SIM_EXPORT ViStatus viGetDefaultRM(ViSession* rm) { return mainframe().viOpenDefaultRM(rm); }
SIM_EXPORT ViStatus viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 ms,
                           ViSession* vi) {
  return mainframe().viOpen(rm, name, mode, ms, vi);
}
SIM_EXPORT ViStatus viClose(ViObject object) { return mainframe().viClose(object); }
SIM_EXPORT ViStatus viFindRsrc(ViSession rm, ViConstString expr, ViFindList* list,
                               ViUInt32* count, ViChar* desc) {
  return mainframe().viFindRsrc(rm, expr, list, count, desc);
}
SIM_EXPORT ViStatus viFindNext(ViFindList list, ViChar* desc) {
  return mainframe().viFindNext(list, desc);
}
SIM_EXPORT ViStatus viParseRsrc(ViSession rm, ViConstRsrc name, ViUInt16* type, ViUInt16* number) {
  return mainframe().viParseRsrc(rm, name, type, number);
}
// pyvisa opens resources after this: the class is "MEMACC" or "INSTR", the
// expanded name the canonical one; there are no aliases.
SIM_EXPORT ViStatus viParseRsrcEx(ViSession rm, ViConstRsrc name, ViUInt16* type,
                                  ViUInt16* number, ViChar* rsrcClass, ViChar* expanded,
                                  ViChar* alias) {
  ViStatus status = mainframe().viParseRsrc(rm, name, type, number);
  if (status != VI_SUCCESS) return status;
  sim::ResourceName parsed;
  sim::parseResourceName(name, &parsed);
  if (rsrcClass != nullptr) snprintf(rsrcClass, 256, "%s", parsed.memAcc ? "MEMACC" : "INSTR");
  if (expanded != nullptr) snprintf(expanded, 256, "%s", sim::canonicalName(parsed).c_str());
  if (alias != nullptr) alias[0] = '\0';
  return VI_SUCCESS;
}
SIM_EXPORT ViStatus viClear(ViSession vi) { return mainframe().viClear(vi); }
SIM_EXPORT ViStatus viStatusDesc(ViObject object, ViStatus status, ViChar* desc) {
  return mainframe().viStatusDesc(object, status, desc);
}
SIM_EXPORT ViStatus viGetAttribute(ViObject object, ViAttr attribute, void* value) {
  return mainframe().viGetAttribute(object, attribute, value);
}
SIM_EXPORT ViStatus viSetAttribute(ViObject object, ViAttr attribute, ViAttrState value) {
  return mainframe().viSetAttribute(object, attribute, value);
}
SIM_EXPORT ViStatus viWrite(ViSession vi, ViConstBuf buffer, ViUInt32 count, ViUInt32* written) {
  return mainframe().viWrite(vi, buffer, count, written);
}
SIM_EXPORT ViStatus viVxiCommandQuery(ViSession vi, ViUInt16 mode, ViUInt32 command,
                                      ViUInt32* response) {
  return mainframe().viVxiCommandQuery(vi, mode, command, response);
}
SIM_EXPORT ViStatus viInstallHandler(ViSession vi, ViEventType type, ViHndlr handler,
                                     ViAddr user) {
  return mainframe().viInstallHandler(vi, type, handler, user);
}
SIM_EXPORT ViStatus viUninstallHandler(ViSession vi, ViEventType type, ViHndlr handler,
                                       ViAddr user) {
  return mainframe().viUninstallHandler(vi, type, handler, user);
}
SIM_EXPORT ViStatus viEnableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism,
                                  ViEventFilter context) {
  return mainframe().viEnableEvent(vi, type, mechanism, context);
}
SIM_EXPORT ViStatus viDisableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism) {
  return mainframe().viDisableEvent(vi, type, mechanism);
}
SIM_EXPORT ViStatus viDiscardEvents(ViSession vi, ViEventType type, ViUInt16 mechanism) {
  return mainframe().viDiscardEvents(vi, type, mechanism);
}
SIM_EXPORT ViStatus viLock(ViSession vi, ViAccessMode type, ViUInt32 ms, ViConstKeyId requested,
                           ViChar* key) {
  return mainframe().viLock(vi, type, ms, requested, key);
}
SIM_EXPORT ViStatus viUnlock(ViSession vi) { return mainframe().viUnlock(vi); }
