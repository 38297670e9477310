// The VISA function table in force, and its default provider: the host's VISA
// library, found with dlopen on the first call through the table and bound
// function by function with dlsym. No VISA SDK is needed to build or link.
//
// Each member of the host table is a small forwarder: it loads the library if
// that has not been tried yet, and then calls the library's function, or
// answers with a status of the binding's own when there is no library or the
// library lacks the function. The binding's viStatusDesc describes those
// statuses itself, so that the operator reads which libraries were tried, or
// which function is missing, instead of a crash.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "vxi/visa.h"

namespace {

// Tried in this order: the name the dynamic linker resolves on its own search
// path first (LD_LIBRARY_PATH, ld.so.cache), then the SONAMEs of LibreVisa and
// NI-VISA, NI's 64-bit install paths, Keysight's IO Libraries and R&S VISA.
const char* const libraryNames[] = {
    "libvisa.so",
    "libvisa.so.0",
    "libvisa.so.7",
    "/usr/vxipnp/linux/lib64/libvisa.so",
    "/opt/ni-visa/usr/local/vxipnp/linux/lib64/libvisa.so",
    "libiovisa.so",
    "/opt/keysight/iolibs/libktvisa32.so",
    "librsvisa.so",
    "/usr/lib64/librsvisa.so",
    nullptr,
};

// What the program cannot do without: a library that lacks one of these is
// refused as a whole, naming what it lacks, rather than failing halfway
// through an update. The others are bound where the library has them.
const char* const requiredFunctions[] = {
    "viOpenDefaultRM", "viOpen",       "viClose",  "viStatusDesc", "viGetAttribute",
    "viSetAttribute",  "viMapAddress", "viPeek16", "viPeek32",     "viPoke16",
    "viMoveIn16",      "viMoveOut16",  nullptr,
};

constexpr size_t PROBLEMS_SIZE = 2048;

struct HostLibrary {
  bool tried;                    // the candidates were tried (once per process)
  void* handle;                  // the library, or null when none could be used
  const char* name;              // the candidate it came from
  VisaFunctions functions;       // the library's functions; null where it lacks one
  const char* missingFunction;   // the last function a call found missing
  char problems[PROBLEMS_SIZE];  // why candidates that exist could not be used
};

HostLibrary host;
const VisaFunctions* installed = nullptr;
const VisaFunctions* front = nullptr;  // a table in front of the provider (the trace), or null
const char* onlyCandidate[] = {nullptr, nullptr};  // the library named by visaUseLibrary

const char* const* candidates() {
  return onlyCandidate[0] != nullptr ? onlyCandidate : libraryNames;
}

// Adds "first second" to the problems, separated from earlier ones by "; ".
void noteProblem(const char* first, const char* second) {
  size_t used = std::strlen(host.problems);
  snprintf(host.problems + used, PROBLEMS_SIZE - used, "%s%s%s", used > 0 ? "; " : "", first,
           second);
}

// A candidate that simply is not installed is no news; any other failure (a
// missing dependency, a file that is no library, the one library the operator
// named) is what the operator needs to read.
bool simplyAbsent(const char* name, const char* error) {
  if (onlyCandidate[0] != nullptr) return false;
  if (std::strchr(name, '/') != nullptr) {
    struct stat info;
    return stat(name, &info) != 0;
  }
  size_t length = std::strlen(name);
  static const char notFound[] = ": cannot open shared object file";
  return std::strncmp(error, name, length) == 0 &&
         std::strncmp(error + length, notFound, sizeof notFound - 1) == 0;
}

// The required functions the library lacks, comma-separated; empty when none.
void listMissing(void* handle, char* missing, size_t size) {
  size_t used = 0;
  missing[0] = '\0';
  for (const char* const* symbol = requiredFunctions; *symbol != nullptr; ++symbol)
    if (dlsym(handle, *symbol) == nullptr && used < size)
      used += snprintf(missing + used, size - used, "%s%s", used > 0 ? ", " : "", *symbol);
}

template <typename Function>
void bindSymbol(Function& slot, const char* symbol) {
  slot = reinterpret_cast<Function>(dlsym(host.handle, symbol));
}

bool hostLoaded() {
  if (host.tried) return host.handle != nullptr;
  host.tried = true;
  for (const char* const* name = candidates(); *name != nullptr; ++name) {
    void* handle = dlopen(*name, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* error = dlerror();
      if (error == nullptr) error = "cannot be loaded";
      // The loader's text names the file itself, or the dependency it lacks.
      if (simplyAbsent(*name, error)) continue;
      if (std::strncmp(error, *name, std::strlen(*name)) == 0)
        noteProblem(error, "");
      else
        noteProblem(*name, (std::string(": ") + error).c_str());
      continue;
    }
    char missing[512];
    listMissing(handle, missing, sizeof missing);
    if (missing[0] != '\0') {
      noteProblem(*name, (std::string(" lacks ") + missing).c_str());
      dlclose(handle);
      continue;
    }
    host.handle = handle;
    host.name = *name;
    break;
  }
  if (host.handle == nullptr) return false;
  VisaFunctions& f = host.functions;
#define VISA_BIND(member) bindSymbol(f.member, #member);
  VISA_BIND(viOpenDefaultRM) VISA_BIND(viOpen) VISA_BIND(viClose) VISA_BIND(viFindRsrc)
  VISA_BIND(viFindNext) VISA_BIND(viClear) VISA_BIND(viStatusDesc) VISA_BIND(viGetAttribute)
  VISA_BIND(viSetAttribute) VISA_BIND(viMapAddress) VISA_BIND(viUnmapAddress)
  VISA_BIND(viPeek8) VISA_BIND(viPeek16) VISA_BIND(viPeek32) VISA_BIND(viPoke16)
  VISA_BIND(viPoke32) VISA_BIND(viMoveIn16) VISA_BIND(viMoveIn32) VISA_BIND(viMoveOut16)
  VISA_BIND(viMoveOut32) VISA_BIND(viWrite) VISA_BIND(viIn16) VISA_BIND(viOut16)
  VISA_BIND(viVxiCommandQuery) VISA_BIND(viInstallHandler) VISA_BIND(viUninstallHandler)
  VISA_BIND(viEnableEvent) VISA_BIND(viDisableEvent) VISA_BIND(viLock) VISA_BIND(viUnlock)
#undef VISA_BIND
  return true;
}

// 0 when the library has the function; otherwise the binding's status for the call.
// The slot is read after the load, which fills it on the first call.
template <typename Function>
ViStatus available(const Function& function, const char* name, ViStatus missingStatus) {
  if (!hostLoaded()) return VI_ERROR_LIBRARY_NFOUND;
  if (function == nullptr) {
    host.missingFunction = name;
    return missingStatus;
  }
  return VI_SUCCESS;
}

// A forwarder for each function that returns a status.
#define VISA_FORWARD_AS(member, missingStatus, params, args)                             \
  ViStatus host_##member params {                                                       \
    ViStatus status = available(host.functions.member, #member, missingStatus);         \
    return status != VI_SUCCESS ? status : host.functions.member args;                  \
  }
#define VISA_FORWARD(member, params, args) \
  VISA_FORWARD_AS(member, VI_ERROR_NIMPL_OPER, params, args)

VISA_FORWARD(viOpenDefaultRM, (ViSession* rm), (rm))
VISA_FORWARD(viOpen, (ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 ms, ViSession* vi),
             (rm, name, mode, ms, vi))
VISA_FORWARD(viClose, (ViObject object), (object))
VISA_FORWARD(viFindRsrc,
             (ViSession rm, ViConstString expr, ViFindList* list, ViUInt32* count, ViChar* desc),
             (rm, expr, list, count, desc))
VISA_FORWARD(viFindNext, (ViFindList list, ViChar* desc), (list, desc))
VISA_FORWARD(viClear, (ViSession vi), (vi))
VISA_FORWARD(viGetAttribute, (ViObject object, ViAttr attribute, void* value),
             (object, attribute, value))
VISA_FORWARD(viSetAttribute, (ViObject object, ViAttr attribute, ViAttrState value),
             (object, attribute, value))
VISA_FORWARD(viMapAddress,
             (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size, ViBoolean access,
              ViAddr suggested, ViAddr* address),
             (vi, space, offset, size, access, suggested, address))
VISA_FORWARD(viUnmapAddress, (ViSession vi), (vi))
VISA_FORWARD(viMoveIn16,
             (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt16* buf),
             (vi, space, offset, count, buf))
VISA_FORWARD(viMoveIn32,
             (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt32* buf),
             (vi, space, offset, count, buf))
VISA_FORWARD(viMoveOut16,
             (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt16* buf),
             (vi, space, offset, count, buf))
VISA_FORWARD(viMoveOut32,
             (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt32* buf),
             (vi, space, offset, count, buf))
VISA_FORWARD(viWrite, (ViSession vi, ViConstBuf buf, ViUInt32 count, ViUInt32* written),
             (vi, buf, count, written))
VISA_FORWARD(viIn16, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16* value),
             (vi, space, offset, value))
VISA_FORWARD(viOut16, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value),
             (vi, space, offset, value))
// A VISA without the word-serial query does not support it: the caller's
// register-level path takes over.
VISA_FORWARD_AS(viVxiCommandQuery, VI_ERROR_NSUP_OPER,
                (ViSession vi, ViUInt16 mode, ViUInt32 command, ViUInt32* response),
                (vi, mode, command, response))
VISA_FORWARD(viInstallHandler, (ViSession vi, ViEventType type, ViHndlr handler, ViAddr user),
             (vi, type, handler, user))
VISA_FORWARD(viUninstallHandler, (ViSession vi, ViEventType type, ViHndlr handler, ViAddr user),
             (vi, type, handler, user))
VISA_FORWARD(viEnableEvent,
             (ViSession vi, ViEventType type, ViUInt16 mechanism, ViEventFilter context),
             (vi, type, mechanism, context))
VISA_FORWARD(viDisableEvent, (ViSession vi, ViEventType type, ViUInt16 mechanism),
             (vi, type, mechanism))
VISA_FORWARD(viLock,
             (ViSession vi, ViAccessMode type, ViUInt32 ms, ViConstKeyId requested, ViChar* key),
             (vi, type, ms, requested, key))
VISA_FORWARD(viUnlock, (ViSession vi), (vi))

#undef VISA_FORWARD
#undef VISA_FORWARD_AS

// Texts of the binding's own failures; everything else is the library's to describe.
ViStatus host_viStatusDesc(ViObject object, ViStatus status, ViChar* description) {
  if (!hostLoaded() && status == VI_ERROR_LIBRARY_NFOUND) {
    snprintf(description, 256, "%s", visaBindingProblem());
    return VI_SUCCESS;
  }
  if (!hostLoaded()) {
    snprintf(description, 256, "no VISA library found (status 0x%08X)",
             static_cast<unsigned>(status));
    return VI_SUCCESS;
  }
  if (status == VI_ERROR_NIMPL_OPER && host.missingFunction != nullptr) {
    snprintf(description, 256, "the VISA library %s lacks the function %s", host.name,
             host.missingFunction);
    return VI_SUCCESS;
  }
  if (host.functions.viStatusDesc == nullptr) {
    snprintf(description, 256, "VISA status 0x%08X (the VISA library %s lacks viStatusDesc)",
             static_cast<unsigned>(status), host.name);
    return VI_SUCCESS;
  }
  return host.functions.viStatusDesc(object, status, description);
}

// Peeks and pokes have no status: without the function a peek reads all ones
// (what an empty bus location gives) and a poke goes nowhere.
template <typename Value, typename Function>
void peekOrAllOnes(const Function& function, const char* name, ViSession vi, ViAddr address,
                   Value* value) {
  if (available(function, name, VI_ERROR_NIMPL_OPER) == VI_SUCCESS) {
    function(vi, address, value);
  } else if (value != nullptr) {
    *value = static_cast<Value>(~Value{0});
  }
}

void host_viPeek8(ViSession vi, ViAddr address, ViUInt8* value) {
  peekOrAllOnes(host.functions.viPeek8, "viPeek8", vi, address, value);
}
void host_viPeek16(ViSession vi, ViAddr address, ViUInt16* value) {
  peekOrAllOnes(host.functions.viPeek16, "viPeek16", vi, address, value);
}
void host_viPeek32(ViSession vi, ViAddr address, ViUInt32* value) {
  peekOrAllOnes(host.functions.viPeek32, "viPeek32", vi, address, value);
}
void host_viPoke16(ViSession vi, ViAddr address, ViUInt16 value) {
  if (available(host.functions.viPoke16, "viPoke16", VI_ERROR_NIMPL_OPER) == VI_SUCCESS)
    host.functions.viPoke16(vi, address, value);
}
void host_viPoke32(ViSession vi, ViAddr address, ViUInt32 value) {
  if (available(host.functions.viPoke32, "viPoke32", VI_ERROR_NIMPL_OPER) == VI_SUCCESS)
    host.functions.viPoke32(vi, address, value);
}

const VisaFunctions hostTable = {
    host_viOpenDefaultRM, host_viOpen,         host_viClose,       host_viFindRsrc,
    host_viFindNext,      host_viClear,        host_viStatusDesc,  host_viGetAttribute,
    host_viSetAttribute,  host_viMapAddress,   host_viUnmapAddress, host_viPeek8,
    host_viPeek16,        host_viPeek32,       host_viPoke16,      host_viPoke32,
    host_viMoveIn16,      host_viMoveIn32,     host_viMoveOut16,   host_viMoveOut32,
    host_viWrite,         host_viIn16,         host_viOut16,       host_viVxiCommandQuery,
    host_viInstallHandler, host_viUninstallHandler, host_viEnableEvent, host_viDisableEvent,
    host_viLock,          host_viUnlock,
};

}  // namespace

const VisaFunctions& visaProvider() { return installed != nullptr ? *installed : hostTable; }

const VisaFunctions& visa() { return front != nullptr ? *front : visaProvider(); }

void visaInstall(const VisaFunctions* provider) { installed = provider; }

void visaUseTable(const VisaFunctions* table) { front = table; }


const char* const* visaLibraryNames() { return libraryNames; }

const char* visaLibraryLoaded() { return host.name; }

void visaUseLibrary(const char* path) { onlyCandidate[0] = path; }

ViStatus visaLoadHostLibrary() { return hostLoaded() ? VI_SUCCESS : VI_ERROR_LIBRARY_NFOUND; }

const char* visaBindingProblem() {
  static char text[PROBLEMS_SIZE + 64];
  if (!host.tried || host.handle != nullptr) return nullptr;
  if (host.problems[0] != '\0') {
    snprintf(text, sizeof text, "no usable VISA library: %s", host.problems);
    return text;
  }
  int used = snprintf(text, sizeof text, "no VISA library found; tried");
  for (const char* const* name = candidates(); *name != nullptr; ++name)
    used += snprintf(text + used, sizeof text - static_cast<size_t>(used), "%s %s",
                     name == candidates() ? "" : ",", *name);
  return text;
}
