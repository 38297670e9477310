// The VISA types, constants and functions that this program uses, with the
// standard C ABI of 64-bit Linux, declared here so that no VISA SDK is needed
// to build. Every VISA call of the program goes through one table of function
// pointers (VisaFunctions); the table's provider is the VISA library installed
// on the host, loaded on first use, or one installed in-process (the simulated
// mainframe in tests and benchmarks).
#pragma once

#include <cstdint>

extern "C" {

typedef uint8_t ViUInt8;
typedef int8_t ViInt8;
typedef char ViChar;
typedef unsigned char ViByte;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef ViUInt16 ViBoolean;
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint64_t ViUInt64;
typedef int64_t ViInt64;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViObject ViFindList;
typedef ViObject ViEvent;
typedef ViUInt32 ViAttr;
typedef ViUInt32 ViEventType;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViEventFilter;
typedef ViUInt64 ViAttrState;  // 8 bytes on LP64
typedef ViUInt64 ViBusAddress;
typedef ViUInt64 ViBusSize;
typedef void* ViAddr;
typedef ViChar* ViString;
typedef const ViChar* ViConstString;
typedef ViChar* ViRsrc;
typedef const ViChar* ViConstRsrc;
typedef ViByte* ViBuf;
typedef const ViByte* ViConstBuf;
typedef const ViChar* ViConstKeyId;
typedef ViStatus (*ViHndlr)(ViSession vi, ViEventType eventType, ViEvent context,
                            ViAddr userHandle);

}  // extern "C"

static_assert(sizeof(ViSession) == 4 && sizeof(ViStatus) == 4 && sizeof(ViAttr) == 4);
static_assert(sizeof(ViAttrState) == 8 && sizeof(ViBusAddress) == 8 &&
              sizeof(ViBusSize) == 8 && sizeof(ViBoolean) == 2);

// Completion and error codes (error codes are negative as 32-bit statuses).
constexpr ViStatus VI_SUCCESS = 0;
constexpr ViStatus visaError(uint32_t code) { return static_cast<ViStatus>(code); }
constexpr ViStatus VI_SUCCESS_EVENT_EN = 0x3FFF0002;
constexpr ViStatus VI_SUCCESS_EVENT_DIS = 0x3FFF0003;
constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
constexpr ViStatus VI_SUCCESS_NESTED_EXCLUSIVE = 0x3FFF009A;
constexpr ViStatus VI_WARN_UNKNOWN_STATUS = 0x3FFF0085;
constexpr ViStatus VI_ERROR_SYSTEM_ERROR = visaError(0xBFFF0000);
constexpr ViStatus VI_ERROR_INV_OBJECT = visaError(0xBFFF000E);
constexpr ViStatus VI_ERROR_RSRC_LOCKED = visaError(0xBFFF000F);
constexpr ViStatus VI_ERROR_INV_EXPR = visaError(0xBFFF0010);
constexpr ViStatus VI_ERROR_RSRC_NFOUND = visaError(0xBFFF0011);
constexpr ViStatus VI_ERROR_INV_RSRC_NAME = visaError(0xBFFF0012);
constexpr ViStatus VI_ERROR_INV_ACC_MODE = visaError(0xBFFF0013);
constexpr ViStatus VI_ERROR_TMO = visaError(0xBFFF0015);
constexpr ViStatus VI_ERROR_NSUP_ATTR = visaError(0xBFFF001D);
constexpr ViStatus VI_ERROR_NSUP_ATTR_STATE = visaError(0xBFFF001E);
constexpr ViStatus VI_ERROR_ATTR_READONLY = visaError(0xBFFF001F);
constexpr ViStatus VI_ERROR_INV_LOCK_TYPE = visaError(0xBFFF0020);
constexpr ViStatus VI_ERROR_INV_EVENT = visaError(0xBFFF0026);
constexpr ViStatus VI_ERROR_INV_MECH = visaError(0xBFFF0027);
constexpr ViStatus VI_ERROR_HNDLR_NINSTALLED = visaError(0xBFFF0028);
constexpr ViStatus VI_ERROR_INV_HNDLR_REF = visaError(0xBFFF0029);
constexpr ViStatus VI_ERROR_NENABLED = visaError(0xBFFF002F);
constexpr ViStatus VI_ERROR_BERR = visaError(0xBFFF0038);
constexpr ViStatus VI_ERROR_INV_SETUP = visaError(0xBFFF003A);
constexpr ViStatus VI_ERROR_ALLOC = visaError(0xBFFF003C);
constexpr ViStatus VI_ERROR_IO = visaError(0xBFFF003E);
constexpr ViStatus VI_ERROR_INV_SPACE = visaError(0xBFFF004E);
constexpr ViStatus VI_ERROR_INV_OFFSET = visaError(0xBFFF0051);
constexpr ViStatus VI_ERROR_INV_WIDTH = visaError(0xBFFF0052);
constexpr ViStatus VI_ERROR_NSUP_OFFSET = visaError(0xBFFF0054);
constexpr ViStatus VI_ERROR_WINDOW_NMAPPED = visaError(0xBFFF0057);
constexpr ViStatus VI_ERROR_NSUP_OPER = visaError(0xBFFF0067);
constexpr ViStatus VI_ERROR_NSUP_ALIGN_OFFSET = visaError(0xBFFF0070);
constexpr ViStatus VI_ERROR_USER_BUF = visaError(0xBFFF0071);
constexpr ViStatus VI_ERROR_INV_PARAMETER = visaError(0xBFFF0078);
constexpr ViStatus VI_ERROR_INV_SIZE = visaError(0xBFFF007B);
constexpr ViStatus VI_ERROR_WINDOW_MAPPED = visaError(0xBFFF0080);
constexpr ViStatus VI_ERROR_NIMPL_OPER = visaError(0xBFFF0081);
constexpr ViStatus VI_ERROR_INV_LENGTH = visaError(0xBFFF0083);
constexpr ViStatus VI_ERROR_INV_MODE = visaError(0xBFFF0091);
constexpr ViStatus VI_ERROR_SESN_NLOCKED = visaError(0xBFFF009C);
constexpr ViStatus VI_ERROR_LIBRARY_NFOUND = visaError(0xBFFF009E);

constexpr int VI_NULL = 0;
constexpr ViBoolean VI_TRUE = 1;
constexpr ViBoolean VI_FALSE = 0;
constexpr ViUInt16 VI_LOCAL_SPACE = 0;
constexpr ViUInt16 VI_A16_SPACE = 1;
constexpr ViUInt16 VI_A24_SPACE = 2;
constexpr ViUInt16 VI_A32_SPACE = 3;
constexpr ViUInt16 VI_A64_SPACE = 4;
constexpr ViAccessMode VI_LOAD_CONFIG = 4;
constexpr ViEventType VI_EVENT_VXI_SIGP = 0x3FFF2020;
constexpr ViUInt16 VI_QUEUE = 1;
constexpr ViUInt16 VI_HNDLR = 2;
constexpr ViAccessMode VI_NO_LOCK = 0;
constexpr ViAccessMode VI_EXCLUSIVE_LOCK = 1;
constexpr ViAccessMode VI_SHARED_LOCK = 2;
constexpr int VI_FIND_BUFLEN = 256;
constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFF;
constexpr ViUInt16 VI_VXI_CMD16 = 0x0200;
constexpr ViUInt16 VI_VXI_CMD16_RESP16 = 0x0202;
constexpr ViUInt16 VI_VXI_RESP16 = 0x0002;
constexpr ViUInt16 VI_VXI_CMD32 = 0x0400;
constexpr ViUInt16 VI_VXI_CMD32_RESP16 = 0x0402;
constexpr ViUInt16 VI_VXI_CMD32_RESP32 = 0x0404;
constexpr ViUInt16 VI_VXI_RESP32 = 0x0004;

// Attributes (the 64-bit IDs where the standard has two).
constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001A;        // ViUInt32, ms
constexpr ViAttr VI_ATTR_RSRC_NAME = 0xBFFF0002;        // string, 256 bytes
constexpr ViAttr VI_ATTR_MANF_ID = 0x3FFF00D9;          // ViUInt16
constexpr ViAttr VI_ATTR_MODEL_CODE = 0x3FFF00DF;       // ViUInt16
constexpr ViAttr VI_ATTR_SLOT = 0x3FFF00E8;             // ViInt16
constexpr ViAttr VI_ATTR_MEM_SPACE = 0x3FFF00DE;        // ViUInt16
constexpr ViAttr VI_ATTR_MEM_SIZE = 0x3FFF00D1;         // ViBusSize (8)
constexpr ViAttr VI_ATTR_MEM_BASE = 0x3FFF00D0;         // ViBusAddress (8)
constexpr ViAttr VI_ATTR_SRC_INCREMENT = 0x3FFF0040;    // ViInt32, 0 or 1
constexpr ViAttr VI_ATTR_DEST_INCREMENT = 0x3FFF0041;   // ViInt32, 0 or 1
constexpr ViAttr VI_ATTR_VXI_LA = 0x3FFF00D5;           // ViInt16
constexpr ViAttr VI_ATTR_SIGP_STATUS_ID = 0x3FFF4011;   // ViUInt16, of a SIGP event

// One pointer per VISA function the program calls. Each member has the
// standard's prototype; statuses are VISA's (0 success, negative error,
// positive completion code). The peeks and pokes report nothing.
struct VisaFunctions {
  // Opens the process's default resource-manager session into *rm.
  ViStatus (*viOpenDefaultRM)(ViSession* rm);
  // Opens a session on a resource by name; mode VI_NULL, open time-out in ms.
  ViStatus (*viOpen)(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeoutMs,
                     ViSession* vi);
  // Closes a session, find list or event.
  ViStatus (*viClose)(ViObject object);
  // Starts a search: a find list, the match count and the first descriptor.
  ViStatus (*viFindRsrc)(ViSession rm, ViConstString expression, ViFindList* list,
                         ViUInt32* count, ViChar descriptor[VI_FIND_BUFLEN]);
  // Next descriptor of a find list.
  ViStatus (*viFindNext)(ViFindList list, ViChar descriptor[VI_FIND_BUFLEN]);
  // Device clear.
  ViStatus (*viClear)(ViSession vi);
  // Text of a status into a buffer of at least 256 characters.
  ViStatus (*viStatusDesc)(ViObject object, ViStatus status, ViChar description[256]);
  // Reads an attribute; the callee writes the attribute's own width.
  ViStatus (*viGetAttribute)(ViObject object, ViAttr attribute, void* value);
  // Writes an attribute (the value is 8 bytes wide on LP64).
  ViStatus (*viSetAttribute)(ViObject object, ViAttr attribute, ViAttrState value);
  // Maps a window of a bus address space; the host address goes to *address.
  ViStatus (*viMapAddress)(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size,
                           ViBoolean access, ViAddr suggested, ViAddr* address);
  ViStatus (*viUnmapAddress)(ViSession vi);
  // Single accesses at a host address inside a mapped window.
  void (*viPeek8)(ViSession vi, ViAddr address, ViUInt8* value);
  void (*viPeek16)(ViSession vi, ViAddr address, ViUInt16* value);
  void (*viPeek32)(ViSession vi, ViAddr address, ViUInt32* value);
  void (*viPoke16)(ViSession vi, ViAddr address, ViUInt16 value);
  void (*viPoke32)(ViSession vi, ViAddr address, ViUInt32 value);
  // Block moves; count is in elements. They honour VI_ATTR_SRC_INCREMENT
  // (moves in) and VI_ATTR_DEST_INCREMENT (moves out).
  ViStatus (*viMoveIn16)(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                         ViUInt16* buffer);
  ViStatus (*viMoveIn32)(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                         ViUInt32* buffer);
  ViStatus (*viMoveOut16)(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                          ViUInt16* buffer);
  ViStatus (*viMoveOut32)(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                          ViUInt32* buffer);
  // Message-based write.
  ViStatus (*viWrite)(ViSession vi, ViConstBuf buffer, ViUInt32 count, ViUInt32* written);
  // Register access relative to the session's device in the given space.
  ViStatus (*viIn16)(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16* value);
  ViStatus (*viOut16)(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value);
  // Word-serial command with response; VI_ERROR_NSUP_OPER where unsupported.
  ViStatus (*viVxiCommandQuery)(ViSession vi, ViUInt16 mode, ViUInt32 command,
                                ViUInt32* response);
  // Event handlers (VI_EVENT_VXI_SIGP with VI_HNDLR in this program).
  ViStatus (*viInstallHandler)(ViSession vi, ViEventType type, ViHndlr handler,
                               ViAddr userHandle);
  ViStatus (*viUninstallHandler)(ViSession vi, ViEventType type, ViHndlr handler,
                                 ViAddr userHandle);
  ViStatus (*viEnableEvent)(ViSession vi, ViEventType type, ViUInt16 mechanism,
                            ViEventFilter context);
  ViStatus (*viDisableEvent)(ViSession vi, ViEventType type, ViUInt16 mechanism);
  // Exclusive lock with a time-out; keys may be null.
  ViStatus (*viLock)(ViSession vi, ViAccessMode lockType, ViUInt32 timeoutMs,
                     ViConstKeyId requestedKey, ViChar accessKey[]);
  ViStatus (*viUnlock)(ViSession vi);
};

// The table in force. Until a provider is installed it is the binding of the
// host's VISA library, which is loaded on the first call through it.
const VisaFunctions& visa();

// Installs another provider (a test's or the simulator's); null restores the
// host library binding. The table must outlive its use.
void visaInstall(const VisaFunctions* provider);

// The provider in force, without any table in front of it.
const VisaFunctions& visaProvider();
// Puts a table in front of the provider (the trace, which calls through to
// visaProvider()); null takes it away.
void visaUseTable(const VisaFunctions* table);

// ---- The host library binding ----------------------------------------------
//
// The binding tries the names of visaLibraryNames() with dlopen, in order, on
// its first call, and takes the first library that loads and exports every
// function the program cannot do without; every other member is bound with
// dlsym where the library has it.
// Failures of the binding itself, which its viStatusDesc describes:
//  - no library: every call returns VI_ERROR_LIBRARY_NFOUND, and the text of
//    that status lists the names tried;
//  - a function the library lacks: that call returns VI_ERROR_NIMPL_OPER, whose
//    text names the function (viVxiCommandQuery answers VI_ERROR_NSUP_OPER, so
//    that the register-level path of vxiCommandQuery takes over); a missing peek
//    stores all ones, a missing poke does nothing.

// The file names tried, in order; the array ends with a null pointer.
const char* const* visaLibraryNames();
// The name of the library the binding loaded, or null (none loaded or tried yet).
const char* visaLibraryLoaded();
// Makes the binding try this one library file and no other; before its first call.
void visaUseLibrary(const char* path);
// Loads the host library now, if that was not tried yet: VI_SUCCESS, or
// VI_ERROR_LIBRARY_NFOUND with visaBindingProblem() saying why.
ViStatus visaLoadHostLibrary();
// Why the binding has no library, in full: the loader's error for each
// candidate that exists but could not be loaded, and the required functions
// each loadable one lacks ("no usable VISA library: ..."), or, when no
// candidate exists at all, "no VISA library found; tried ..." with the names.
// Null when a library is loaded or none was tried yet.
const char* visaBindingProblem();
